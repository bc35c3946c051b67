#include "sim/AircraftConversion.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace tavoro {
namespace {

constexpr double kTwoTo32 = 4294967296.0;
constexpr double kTwoTo64 = 18446744073709551616.0;
// 10001750 × 65536 × 65536: the latitude word of the pole, 90 degrees.
constexpr double kLatitudeScale = 42957189152768000.0;

std::string hoursMinutes(const TimeOfDay& time) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", time.hours % 100, time.minutes % 100);
    return text;
}

}  // namespace

std::int32_t AngleDegrees(std::uint32_t word) {
    // nearbyint follows the current rounding mode, which nothing here changes from
    // to-nearest-even.
    return static_cast<std::int32_t>(std::nearbyint(word * 360.0 / kTwoTo32));
}

double AltitudeFraction(std::uint32_t word) {
    if (word == 0) {
        return 0;
    }
    // Both numbers are exact in a double, so the quotient is the correctly rounded value
    // of the decimal text, as parsing it would give.
    double scale = 1;
    for (std::uint32_t rest = word; rest != 0; rest /= 10) {
        scale *= 10;
    }
    return word / scale;
}

void ApplyPollingOffsets(const PollingOffsets& raw, AircraftState& state) {
    state.ground_speed_kt = raw.ground_speed / 65536.0 / 1852.0 * 3600.0;
    state.latitude = static_cast<double>(raw.latitude) * 90.0 / kLatitudeScale;
    state.longitude = static_cast<double>(raw.longitude) * 360.0 / kTwoTo64;
    // The fraction counts up from the whole metres, below sea level too.
    state.altitude_ft =
        (raw.altitude_metres + AltitudeFraction(raw.altitude_fraction)) / kMetresPerFoot;
    state.pitch_deg = AngleDegrees(raw.pitch);
    state.bank_deg = AngleDegrees(raw.bank);
    state.heading_deg = AngleDegrees(raw.heading);
    char code[8];
    std::snprintf(code, sizeof code, "%04X", static_cast<unsigned>(raw.transponder));
    state.transponder_code = code;
    state.engine_count = raw.engines;
    state.local_time = {raw.local_hour, raw.local_minute};
    state.zulu_time = {raw.zulu_hour, raw.zulu_minute};
    state.zulu_seconds = raw.zulu_hour * 3600 + raw.zulu_minute * 60 + raw.second;
}

std::string FieldText(const char* field, std::size_t length) {
    const void* zero = std::memchr(field, 0, length);
    return std::string(field, zero ? static_cast<const char*>(zero) - field : length);
}

std::string ClockCaption(const char* product_caption, const AircraftState& state) {
    // Always hours and minutes on the 24-hour clock: a regional long time format such as
    // "h:mm:ss AP" would cut to "2:30:" and read wrongly.
    return std::string(product_caption) + "    Zulu:" + hoursMinutes(state.zulu_time) +
           " Local:" + hoursMinutes(state.local_time);
}

}  // namespace tavoro
