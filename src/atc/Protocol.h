#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/Fields.h"
#include "core/FlightPlanLine.h"

namespace tavoro {

// Every line the client sends ends with this.
inline constexpr std::string_view kLineEnd = "\r\n";

// Composers of the lines the client sends; each returns the whole line, "\r\n" included.
// Texts go on the wire as they are, except line breaks, which become blanks: a value can
// never end a line early and smuggle a line of its own to the server.

std::string ComposeLogin(std::string_view callsign, std::string_view server_name,
                         std::string_view server_password, std::string_view atc_type,
                         std::string_view atc_model, std::uint16_t engine_count);

std::string ComposeLogoff(std::string_view callsign);

struct PositionReport {
    bool mode_c = false;
    std::string callsign;
    std::string transponder_code;
    double latitude = 0;
    double longitude = 0;
    double altitude_ft = 0;
    double ground_speed_kt = 0;
    int heading_deg = 0;
    int failure_mask = 0;
};

std::string ComposePositionReport(const PositionReport& report);

std::string ComposeFlightPlan(std::string_view callsign, const FlightPlanLine& plan);

std::string ComposeAtisQuery(std::string_view callsign, std::string_view station_callsign);

std::string ComposeAllFiledPlansQuery(std::string_view callsign);

std::string ComposeFiledPlansByDateQuery(std::string_view callsign, std::string_view date);

}  // namespace tavoro
