#include "weather/WeatherRequests.h"

#include <cmath>
#include <utility>

namespace tavoro {
namespace {

SimResult Invoke(const auto& call, auto... args) {
    return call ? call(args...) : kSimFail;
}

}  // namespace

std::string StationIdentifier(std::string_view typed) {
    // Four characters, not four bytes: a typed accent stays whole (its UTF-8 continuation
    // bytes belong to the character before them).
    std::size_t end = 0;
    for (int characters = 0; end < typed.size(); ++end) {
        const bool starts_character = (static_cast<unsigned char>(typed[end]) & 0xC0) != 0x80;
        if (starts_character && ++characters > 4) {
            break;
        }
    }
    std::string identifier(typed.substr(0, end));
    for (char& c : identifier) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return identifier;
}

long long RoundHalfEven(double value) {
    const double floor = std::floor(value);
    const double rest = value - floor;
    auto whole = static_cast<long long>(floor);
    if (rest > 0.5 || (rest == 0.5 && whole % 2 != 0)) {
        ++whole;
    }
    return whole;
}

WeatherRequests::WeatherRequests(WeatherCalls calls, const AircraftState& aircraft)
    : calls_(std::move(calls)), aircraft_(aircraft) {}

QString WeatherRequests::RequestLocalWeather() {
    Invoke(calls_.interpolated, static_cast<float>(aircraft_.latitude),
           static_cast<float>(aircraft_.longitude),
           static_cast<float>(aircraft_.altitude_ft * kMetresPerFoot));
    weather_origin_ = kOriginLocal;
    return QString::number(RoundHalfEven(aircraft_.altitude_ft));
}

bool WeatherRequests::RequestStation(std::string_view typed) {
    const std::string icao = StationIdentifier(typed);
    if (Invoke(calls_.at_station, std::string_view(icao)) == kSimOk) {
        weather_origin_ = kOriginStation;
        return true;
    }
    NoAnswer();
    return false;
}

void WeatherRequests::RequestNearest() {
    Invoke(calls_.nearest, static_cast<float>(aircraft_.latitude),
           static_cast<float>(aircraft_.longitude));
    weather_origin_ = kOriginNearest;
}

void WeatherRequests::ObservationArrived(std::string text) {
    observation_text_ = std::move(text);
}

void WeatherRequests::NoAnswer() {
    weather_origin_ = kOriginNoAnswer;
    observation_text_.clear();
}

}  // namespace tavoro
