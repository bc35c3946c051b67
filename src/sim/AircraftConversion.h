#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/Aircraft.h"

namespace tavoro {

// The raw offsets one polling exchange reads, as the simulator keeps them.
struct PollingOffsets {
    std::uint32_t ground_speed = 0;       // 0x02B4: metres per second × 65536
    std::int64_t latitude = 0;            // 0x0560
    std::int64_t longitude = 0;           // 0x0568
    std::uint32_t altitude_fraction = 0;  // 0x0570: counts up from the whole metres
    std::int32_t altitude_metres = 0;     // 0x0574: the metre at or below; negative below sea level
    std::uint32_t pitch = 0;              // 0x0578: 2^32 per turn
    std::uint32_t bank = 0;               // 0x057C
    std::uint32_t heading = 0;            // 0x0580
    std::uint16_t transponder = 0;        // 0x0354: four hexadecimal digits
    std::uint8_t local_hour = 0;          // 0x0238
    std::uint8_t local_minute = 0;        // 0x0239
    std::uint8_t zulu_hour = 0;           // 0x023B
    std::uint8_t zulu_minute = 0;         // 0x023C
    std::uint8_t second = 0;              // 0x023A
    std::uint16_t engines = 0;            // 0x0AEC
    std::uint8_t not_ready = 0;           // 0x3364: non-zero while the simulator is not ready
};

// Turns one exchange's offsets into the aircraft's state.
void ApplyPollingOffsets(const PollingOffsets& raw, AircraftState& state);

// A turn of 2^32 as whole degrees, 0 to 360, rounded to the nearest (ties to even).
std::int32_t AngleDegrees(std::uint32_t word);

// The metres after the point as the simulator's fraction word is read: the value of "0."
// followed by the word's decimal digits.
double AltitudeFraction(std::uint32_t word);

// A text field of the offset space: its bytes up to the first zero, or all of them.
std::string FieldText(const char* field, std::size_t length);

// The main window's caption while polling: the product caption, then the zulu and local
// times as hours and minutes.
std::string ClockCaption(const char* product_caption, const AircraftState& state);

}  // namespace tavoro
