#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tavoro {

struct TimeOfDay {
    int hours = 0;
    int minutes = 0;
};

// Altitudes are kept in feet; the simulator and the weather speak metres.
inline constexpr double kMetresPerFoot = 0.3048;

// The aircraft values the polling loop refreshes every second; zeros and empty texts
// until the first poll.
struct AircraftState {
    double ground_speed_kt = 0;
    double latitude = 0;
    double longitude = 0;
    double altitude_ft = 0;
    std::int32_t heading_deg = 0;
    std::int32_t pitch_deg = 0;
    std::int32_t bank_deg = 0;
    std::string transponder_code;
    // The simulator's 16-bit word, sent as a whole number 0 to 65535.
    std::uint16_t engine_count = 0;
    TimeOfDay zulu_time;
    TimeOfDay local_time;
    std::int32_t zulu_seconds = 0;
};

// The aircraft's texts, read each time the simulator becomes ready; empty until then.
struct AircraftIdentity {
    std::string aircraft_title;
    std::string atc_type;
    std::string atc_model;
    std::string atc_identifier;  // the pilot's callsign on the server link
    std::string atc_airline;
};

// The ten failures the server can toggle, by failure number; the number is also the bit
// of the position report's failure field. All false at start.
using FailureState = std::array<bool, 10>;

}  // namespace tavoro
