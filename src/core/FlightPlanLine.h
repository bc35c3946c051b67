#pragma once

#include <string>

namespace tavoro {

// The values of a "$FP" line after the callsign and "SERVER", in their wire order, as the
// plan holds them: nothing is trimmed or escaped. Filing fills it; the protocol writes it.
struct FlightPlanLine {
    std::string flight_rules;  // "I" or "V"
    std::string aircraft;
    std::string cruise_speed;
    std::string departure;
    std::string departure_date;
    std::string departure_time;
    std::string cruise_level;
    std::string destination;
    // time_enroute and time_fuel are HH:MM, so each goes out as two fields.
    std::string enroute_hours;
    std::string enroute_minutes;
    std::string fuel_hours;
    std::string fuel_minutes;
    std::string alternate;
    std::string remarks;
    std::string route;

    friend bool operator==(const FlightPlanLine&, const FlightPlanLine&) = default;
};

}  // namespace tavoro
