#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/Aircraft.h"
#include "platform/SimConnectLibrary.h"

namespace tavoro {

// Every weather request goes out under this id; the simulator answers under it.
inline constexpr std::uint32_t kObservationRequestId = 1;

// The three observation calls, as the composition root makes them (each keeps its result
// as the connection's last one).
struct WeatherCalls {
    std::function<SimResult(float latitude, float longitude, float altitude_m)> interpolated;
    std::function<SimResult(std::string_view icao)> at_station;
    std::function<SimResult(float latitude, float longitude)> nearest;
};

// The texts `weather_origin` takes.
inline constexpr char kOriginLocal[] = "local avion";
inline constexpr char kOriginStation[] = "selected station";
inline constexpr char kOriginNearest[] = "nearest station";
inline constexpr char kOriginNoAnswer[] = "no answer";

// What the station dialog's answer asks for: a to z upper-cased, the rest as typed, the
// first four characters ("lfpgx" asks for LFPG; nothing typed asks with an empty text).
std::string StationIdentifier(std::string_view typed);

// Rounds to a whole number, halves to the even neighbour (2500.5 gives 2500, 2501.5 2502).
long long RoundHalfEven(double value);

// The weather requests and what their answers leave: the observation text and the
// origin the panel shows with it. Requests change the origin at once; the panel only
// changes when an answer, or a failure, reaches it.
class WeatherRequests {
public:
    WeatherRequests(WeatherCalls calls, const AircraftState& aircraft);

    // The weather interpolated at the aircraft. The aircraft's altitude label text
    // (whole feet, no unit) is returned for the panel.
    QString RequestLocalWeather();
    // The observation of the station typed; false when the call failed, in which case the
    // observation is cleared and the origin is "no answer".
    bool RequestStation(std::string_view typed);
    void RequestNearest();

    // The simulator's answer, and its refusal to give one.
    void ObservationArrived(std::string text);
    void NoAnswer();

    const std::string& observation_text() const { return observation_text_; }
    const QString& weather_origin() const { return weather_origin_; }

private:
    WeatherCalls calls_;
    const AircraftState& aircraft_;
    std::string observation_text_;
    QString weather_origin_;
};

}  // namespace tavoro
