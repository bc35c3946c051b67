#include "simhost/SimModel.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tavoro::simhost {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMetresPerSecondPerKnot = 1852.0 / 3600.0;

double radians(double degrees) {
    return degrees * kPi / 180.0;
}

double degrees(double radians) {
    return radians * 180.0 / kPi;
}

}  // namespace

double WrapDegrees(double value, double low) {
    double wrapped = std::fmod(value - low, 360.0);
    if (wrapped < 0) {
        wrapped += 360.0;
    }
    // fmod of a tiny negative number can round up to exactly 360.
    if (wrapped >= 360.0) {
        wrapped = 0;
    }
    return wrapped + low;
}

void AdvanceAircraft(SimAircraft& aircraft, double seconds) {
    if (seconds <= 0 || aircraft.ground_speed_kt <= 0) {
        return;
    }
    const double angle =
        aircraft.ground_speed_kt * kMetresPerSecondPerKnot * seconds / kEarthRadiusM;
    const double lat1 = radians(aircraft.latitude);
    const double lon1 = radians(aircraft.longitude);
    const double course = radians(aircraft.heading_deg);
    // The destination on the great circle (spherical law of cosines form), which stays
    // well conditioned over the poles, unlike a flat-earth step.
    const double sin_lat2 =
        std::sin(lat1) * std::cos(angle) + std::cos(lat1) * std::sin(angle) * std::cos(course);
    const double lat2 = std::asin(std::clamp(sin_lat2, -1.0, 1.0));
    const double lon2 = lon1 + std::atan2(std::sin(course) * std::sin(angle) * std::cos(lat1),
                                          std::cos(angle) - std::sin(lat1) * sin_lat2);
    aircraft.latitude = degrees(lat2);
    aircraft.longitude = WrapDegrees(degrees(lon2), -180.0);
}

void AdvanceClock(SimClock& clock, double seconds) {
    clock.zulu_seconds = std::fmod(clock.zulu_seconds + seconds, kSecondsPerDay);
    clock.local_seconds = std::fmod(clock.local_seconds + seconds, kSecondsPerDay);
    if (clock.zulu_seconds < 0) {
        clock.zulu_seconds += kSecondsPerDay;
    }
    if (clock.local_seconds < 0) {
        clock.local_seconds += kSecondsPerDay;
    }
}

void ParkAtDefaultAirport(SimAircraft& aircraft) {
    aircraft = SimAircraft{};
    aircraft.latitude = 48.7233;
    aircraft.longitude = 2.3794;
    aircraft.altitude_ft = 291;
    aircraft.heading_deg = 62;
    aircraft.engines = 1;
    aircraft.title = "Cessna Skyhawk 172SP Paint1";
    aircraft.type = "Cessna";
    aircraft.model = "C172";
    aircraft.id = "F-GTAV";
    aircraft.airline = "";
}

SimModel::SimModel(SimState& state, Clock clock)
    : state_(state), clock_(std::move(clock)), last_(clock_()) {}

void SimModel::Update() {
    const auto now = clock_();
    const double seconds = std::chrono::duration<double>(now - last_).count();
    last_ = now;
    AdvanceAircraft(state_.aircraft, seconds);
    AdvanceClock(state_.clock, seconds);
}

namespace {

// The station word's length: up to the first blank or "&".
std::size_t StationLength(std::string_view observation) {
    const std::size_t end = observation.find_first_of(" &");
    return end == std::string_view::npos ? observation.size() : end;
}

}  // namespace

std::string ObservationStation(std::string_view observation) {
    // Blanks may stand before the station, as the set-observation rule allows.
    const std::size_t start = std::min(observation.find_first_not_of(' '), observation.size());
    observation.remove_prefix(start);
    return std::string(observation.substr(0, StationLength(observation)));
}

std::string InterpolatedObservation(std::string_view observation) {
    return "????" + std::string(observation.substr(StationLength(observation)));
}

void SimWeather::Observe(const std::string& observation) {
    metar = observation;
    stations[ObservationStation(observation)] = observation;
}

}  // namespace tavoro::simhost
