#pragma once

#include <chrono>
#include <functional>

#include "simhost/SimState.h"

namespace tavoro::simhost {

// One minute of arc is one nautical mile on this sphere, so 60 kt due north for an hour
// is exactly one degree of latitude: the stand-in's motion is easy to check by hand.
inline constexpr double kEarthRadiusM = 1852.0 * 60.0 * 180.0 / 3.14159265358979323846;
inline constexpr double kSecondsPerDay = 86400.0;

// Moves the aircraft along its heading at its ground speed for `seconds`. The step follows
// the great circle that leaves along the heading; the heading itself is kept, as an
// autopilot holding a track would, so a run of small steps flies a constant course.
void AdvanceAircraft(SimAircraft& aircraft, double seconds);

// Advances both clocks by `seconds`, wrapping at midnight.
void AdvanceClock(SimClock& clock, double seconds);

// `value` brought into [low, low + 360).
double WrapDegrees(double value, double low);

// A light single at a stand of a large airport, engine off: what the stand-in flies until
// told otherwise.
void ParkAtDefaultAirport(SimAircraft& aircraft);

// The simulator's world over time: brings the state up to the clock's present on
// demand. The clock is injected so tests can move time by hand.
class SimModel {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    explicit SimModel(SimState& state, Clock clock = &std::chrono::steady_clock::now);

    // Applies the time passed since the last call (or since construction).
    void Update();

    SimState& state() { return state_; }

private:
    SimState& state_;
    Clock clock_;
    std::chrono::steady_clock::time_point last_;
};

}  // namespace tavoro::simhost
