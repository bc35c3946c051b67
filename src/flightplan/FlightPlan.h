#pragma once

#include <QDate>
#include <string>
#include <string_view>
#include <vector>

namespace tavoro {

// The one flight plan in memory: the plan the panel shows and files. Texts are bytes, as
// everywhere in the logic; a plan file's texts are UTF-8 once loaded.
struct FlightPlan {
    std::string title;
    std::string flight_rules;  // "I" for IFR, "V" for VFR
    std::string departure;
    std::string destination;
    std::string alternate;
    std::string cruise_level;  // hundreds of feet: "350" is 35,000 ft
    std::string route_text;    // route_points joined with "/"
    std::string speed;
    QDate departure_date;      // a null date: unset, which means today when filed
    std::string actual_time;   // HHMM, or HMM when the first hour digit is left out
    std::string time_enroute;  // HH:MM
    std::string time_fuel;     // HH:MM
    std::string comments;
    std::vector<std::string> route_points;  // in flight order, without the two airports
    std::string plan_path;
    bool filed = false;   // the server has accepted the plan
    bool active = false;  // the plan came from the simulator's own flight-plan path

    friend bool operator==(const FlightPlan&, const FlightPlan&) = default;
};

// The values every load gives the boxes a plan file does not fill.
inline constexpr std::string_view kLoadedSpeed = "000";
inline constexpr std::string_view kLoadedActualTime = "0000";
inline constexpr std::string_view kLoadedTimeEnroute = "00:00";
inline constexpr std::string_view kLoadedTimeFuel = "00:00";

// Joins `points` with "/": empty points at the head leave no trace, an empty point after
// a non-empty one gives "//".
std::string JoinRoute(const std::vector<std::string>& points);

// Recomputes route_text from route_points; run after every change of the points.
void RebuildRouteText(FlightPlan& plan);

// The letters a to z made capitals; every other byte (accents included) unchanged, nothing
// trimmed. Airports and route points are taken this way.
std::string UpperCaseLetters(std::string_view text);

}  // namespace tavoro
