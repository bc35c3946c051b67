#include "atc/Protocol.h"

#include <initializer_list>

#include "core/Numbers.h"

namespace tavoro {
namespace {

std::string wireText(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return out;
}

// Field 0 is written as given; the other fields pass through wireText.
std::string composeLine(std::string_view type_and_callsign,
                        std::initializer_list<std::string_view> fields) {
    std::string line = wireText(type_and_callsign);
    for (std::string_view field : fields) {
        line += ':';
        line += wireText(field);
    }
    line += kLineEnd;
    return line;
}

std::string glued(std::string_view type_word, std::string_view callsign) {
    return std::string(type_word) + std::string(callsign);
}

}  // namespace

std::string ComposeLogin(std::string_view callsign, std::string_view server_name,
                         std::string_view server_password, std::string_view atc_type,
                         std::string_view atc_model, std::uint16_t engine_count) {
    return composeLine(glued("#AP", callsign), {"SERVER", server_name, server_password, atc_type,
                                                atc_model, std::to_string(engine_count)});
}

std::string ComposeLogoff(std::string_view callsign) {
    return composeLine(glued("#DP", callsign), {});
}

std::string ComposePositionReport(const PositionReport& r) {
    return composeLine(r.mode_c ? "@N" : "@S",
                       {r.callsign, r.transponder_code, "1", FormatFixed(r.latitude, 8, 5),
                        FormatFixed(r.longitude, 8, 5), FormatFixed(r.altitude_ft, 5, 0),
                        FormatFixed(r.ground_speed_kt, 4, 0), std::to_string(r.heading_deg), "1",
                        std::to_string(r.failure_mask)});
}

std::string ComposeFlightPlan(std::string_view callsign, const FlightPlanLine& p) {
    return composeLine(
        glued("$FP", callsign),
        {"SERVER", p.flight_rules, p.aircraft, p.cruise_speed, p.departure, p.departure_date,
         p.departure_time, p.cruise_level, p.destination, p.enroute_hours, p.enroute_minutes,
         p.fuel_hours, p.fuel_minutes, p.alternate, p.remarks, p.route});
}

std::string ComposeAtisQuery(std::string_view callsign, std::string_view station_callsign) {
    return composeLine(glued("$CQ", callsign), {station_callsign, "ATIS"});
}

std::string ComposeAllFiledPlansQuery(std::string_view callsign) {
    return composeLine(glued("$CQ", callsign), {"SERVER", "DEPOTFPA", "TOUS"});
}

std::string ComposeFiledPlansByDateQuery(std::string_view callsign, std::string_view date) {
    return composeLine(glued("$CQ", callsign), {"SERVER", "DEPOTFPA", date});
}

}  // namespace tavoro
