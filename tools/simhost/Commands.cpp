#include "simhost/Commands.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QString>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>

namespace tavoro::simhost {
namespace {

// The most a ground speed may be: its offset holds metres per second × 65536 in 32 bits.
constexpr double kMaxGroundSpeedKt = 100000;
// Kept well inside what the whole-metres word can hold.
constexpr double kMaxAltitudeFt = 1000000;

// The whole text must be the number: no blanks, no sign other than a leading minus, no
// trailing characters; "." is the decimal point whatever the locale.
std::optional<double> parseNumber(std::string_view text) {
    double value = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::uint32_t> parseWhole(std::string_view text) {
    std::uint32_t value = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> twoDigits(std::string_view text, int limit) {
    if (text.size() != 2 || text[0] < '0' || text[0] > '9' || text[1] < '0' || text[1] > '9') {
        return std::nullopt;
    }
    const int value = (text[0] - '0') * 10 + (text[1] - '0');
    return value < limit ? std::optional<int>(value) : std::nullopt;
}

// "HH:MM" or "HH:MM:SS" as seconds of the day.
std::optional<int> parseTimeOfDay(std::string_view text, bool with_seconds) {
    if (text.size() != (with_seconds ? 8u : 5u) || text[2] != ':' ||
        (with_seconds && text[5] != ':')) {
        return std::nullopt;
    }
    auto hours = twoDigits(text.substr(0, 2), 24);
    auto minutes = twoDigits(text.substr(3, 2), 60);
    auto seconds = with_seconds ? twoDigits(text.substr(6, 2), 60) : std::optional<int>(0);
    if (!hours || !minutes || !seconds) {
        return std::nullopt;
    }
    return *hours * 3600 + *minutes * 60 + *seconds;
}

std::optional<std::uint16_t> parseTransponder(std::string_view text) {
    if (text.size() != 4) {
        return std::nullopt;
    }
    std::uint16_t value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return std::nullopt;
        }
        value = static_cast<std::uint16_t>(value << 4 | digit);
    }
    return value;
}

// Splits off the first blank-separated word; `rest` is what follows the one blank after
// it, kept as it is (texts may hold blanks or be empty).
std::string_view firstWord(std::string_view line, std::string_view& rest) {
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos) {
        rest = {};
        return line;
    }
    rest = line.substr(blank + 1);
    return line.substr(0, blank);
}

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

QJsonValue optionalNumber(const std::optional<std::uint32_t>& value) {
    return value ? QJsonValue(static_cast<double>(*value)) : QJsonValue(QJsonValue::Null);
}

// The library's position and waypoint records are packed, so their fields are taken by
// value: a reference to a misaligned double is undefined behaviour.
QJsonValue number(double value) {
    return value;
}

QJsonObject position(const SimInitPosition& at) {
    return QJsonObject{
        {"latitude", number(at.latitude)},   {"longitude", number(at.longitude)},
        {"altitude", number(at.altitude)},   {"pitch", number(at.pitch)},
        {"bank", number(at.bank)},           {"heading", number(at.heading)},
        {"on_ground", number(at.on_ground)}, {"airspeed", number(at.airspeed)},
    };
}

QJsonObject waypoint(const AiWaypoint& point) {
    return QJsonObject{
        {"latitude", number(point.latitude)}, {"longitude", number(point.longitude)},
        {"altitude", number(point.altitude)}, {"flags", number(point.flags)},
        {"speed_kt", number(point.speed_kt)}, {"throttle_percent", number(point.throttle_percent)},
    };
}

QJsonArray texts(const std::vector<std::string>& values) {
    QJsonArray array;
    for (const std::string& value : values) {
        array.append(text(value));
    }
    return array;
}

// A map keyed by number as a JSON object keyed by the number's text.
template <typename Value, typename Convert>
QJsonObject numberedObject(const std::map<std::uint32_t, Value>& map, Convert convert) {
    QJsonObject object;
    for (const auto& [key, value] : map) {
        object[QString::number(key)] = convert(value);
    }
    return object;
}

QJsonObject session(const SimConnectSession& session) {
    return QJsonObject{
        {"connection", static_cast<double>(session.connection)},
        {"name", text(session.name)},
        {"definitions", numberedObject(session.definitions,
                                       [](const std::vector<SimDatum>& data) {
                                           QJsonArray array;
                                           for (const SimDatum& datum : data) {
                                               array.append(QJsonObject{
                                                   {"name", text(datum.name)},
                                                   {"units", text(datum.units)},
                                                   {"type", static_cast<double>(datum.type)},
                                               });
                                           }
                                           return array;
                                       })},
        {"mapped_events", numberedObject(session.mapped_events, text)},
        {"notification_groups",
         numberedObject(session.notification_groups,
                        [](const std::vector<SimGroupEvent>& events) {
                            QJsonArray array;
                            for (const SimGroupEvent& event : events) {
                                array.append(QJsonObject{
                                    {"event_id", static_cast<double>(event.event_id)},
                                    {"maskable", event.maskable},
                                });
                            }
                            return array;
                        })},
        {"group_priorities",
         numberedObject(session.group_priorities,
                        [](std::uint32_t priority) { return static_cast<double>(priority); })},
        {"system_events", numberedObject(session.system_events, text)},
    };
}

}  // namespace

std::string FormatTimeOfDay(double seconds, bool with_seconds) {
    const long whole = static_cast<long>(std::floor(seconds)) % 86400;
    char buffer[16];
    if (with_seconds) {
        std::snprintf(buffer, sizeof buffer, "%02ld:%02ld:%02ld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    } else {
        std::snprintf(buffer, sizeof buffer, "%02ld:%02ld", whole / 3600, whole / 60 % 60);
    }
    return buffer;
}

CommandChannel::CommandChannel(SimModel& model, MenuFirer fire_menu)
    : model_(model), fire_menu_(std::move(fire_menu)) {}

CommandResult CommandChannel::Run(std::string_view line) {
    // A line typed in a terminal or sent from Windows may end in a carriage return.
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    // Time passes before every command, so a value set now starts from now and a dump
    // shows the present.
    model_.Update();
    SimState& state = model_.state();

    std::string_view rest;
    const std::string_view command = firstWord(line, rest);
    const bool has_rest = command.size() < line.size();
    if (command == "set") {
        std::string_view value;
        const std::string_view name = firstWord(rest, value);
        if (!has_rest || name.empty()) {
            return {"error: set needs a name and a value"};
        }
        return {set(name, value)};
    }
    if (command == "menu") {
        auto event = has_rest ? parseWhole(rest) : std::nullopt;
        if (!event) {
            return {"error: menu needs an event number"};
        }
        if (!fire_menu_ || !fire_menu_(*event)) {
            return {"error: no SimConnect client has menu event " + std::to_string(*event)};
        }
        return {"ok"};
    }
    if (command == "simconnect") {
        static const std::map<std::string_view, SimConnectAction> kActions = {
            {"hold", SimConnectAction::kHold},
            {"release", SimConnectAction::kRelease},
            {"drop", SimConnectAction::kDrop}};
        const auto action = kActions.find(rest);
        if (action == kActions.end()) {
            return {"error: simconnect needs hold, release or drop"};
        }
        if (!control_) {
            return {"error: no SimConnect side"};
        }
        control_(action->second);
        return {"ok"};
    }
    if (command == "metar") {
        if (rest.empty()) {
            state.weather.metar.reset();
            state.weather.stations.clear();
        } else {
            state.weather.Observe(std::string(rest));
        }
        return {"ok"};
    }
    if (command == "dump" && !has_rest) {
        return {DumpLine(state)};
    }
    if (command == "quit" && !has_rest) {
        return {"ok", true};
    }
    if (command.empty()) {
        return {"error: empty command"};
    }
    return {"error: unknown command: " + std::string(line)};
}

std::string CommandChannel::set(std::string_view name, std::string_view value) {
    SimAircraft& aircraft = model_.state().aircraft;
    SimClock& clock = model_.state().clock;

    // Texts take the rest of the line as it is.
    for (auto [key, field] : {std::pair{"title", &aircraft.title},
                              {"type", &aircraft.type},
                              {"model", &aircraft.model},
                              {"id", &aircraft.id},
                              {"airline", &aircraft.airline},
                              {"plan_path", &model_.state().plan_path}}) {
        if (name == key) {
            *field = std::string(value);
            return "ok";
        }
    }

    if (name == "xpd") {
        auto code = parseTransponder(value);
        if (!code) {
            return "error: xpd needs exactly four hexadecimal digits";
        }
        aircraft.transponder = *code;
        return "ok";
    }
    if (name == "engines") {
        auto count = parseWhole(value);
        if (!count || *count > 0xFFFF) {
            return "error: engines needs a whole number from 0 to 65535";
        }
        aircraft.engines = static_cast<std::uint16_t>(*count);
        return "ok";
    }
    if (name == "ready") {
        if (value != "0" && value != "1") {
            return "error: ready needs 1 (ready) or 0 (not ready)";
        }
        aircraft.ready = value == "1";
        return "ok";
    }
    if (name == "zulu") {
        auto seconds = parseTimeOfDay(value, true);
        if (!seconds) {
            return "error: zulu needs HH:MM:SS";
        }
        clock.zulu_seconds = *seconds;
        return "ok";
    }
    if (name == "local") {
        auto seconds = parseTimeOfDay(value, false);
        if (!seconds) {
            return "error: local needs HH:MM";
        }
        // The local clock takes the zulu clock's seconds, so both turn the minute together
        // as they do in a simulator whose time zones differ by whole minutes.
        clock.local_seconds = *seconds + std::fmod(clock.zulu_seconds, 60.0);
        return "ok";
    }

    struct Range {
        const char* name;
        double* field;
        double low;
        double high;
    };
    const Range ranges[] = {
        {"lat", &aircraft.latitude, -90, 90},
        {"lon", &aircraft.longitude, -180, 180},
        {"alt_ft", &aircraft.altitude_ft, -kMaxAltitudeFt, kMaxAltitudeFt},
        {"gs_kt", &aircraft.ground_speed_kt, 0, kMaxGroundSpeedKt},
        {"heading", &aircraft.heading_deg, -1e9, 1e9},
        {"pitch", &aircraft.pitch_deg, -1e9, 1e9},
        {"bank", &aircraft.bank_deg, -1e9, 1e9},
    };
    for (const Range& range : ranges) {
        if (name != range.name) {
            continue;
        }
        auto number = parseNumber(value);
        if (!number || *number < range.low || *number > range.high) {
            char reason[128];
            std::snprintf(reason, sizeof reason, "error: %s needs a number from %g to %g",
                          range.name, range.low, range.high);
            return reason;
        }
        *range.field = *number;
        // Angles are kept in the ranges the simulator reports: heading 0 to 360, pitch
        // and bank -180 to 180.
        aircraft.heading_deg = WrapDegrees(aircraft.heading_deg, 0);
        aircraft.pitch_deg = WrapDegrees(aircraft.pitch_deg, -180);
        aircraft.bank_deg = WrapDegrees(aircraft.bank_deg, -180);
        return "ok";
    }
    return "error: unknown value to set: " + std::string(name);
}

QJsonObject DumpState(const SimState& state) {
    const SimAircraft& aircraft = state.aircraft;
    char transponder[8];
    std::snprintf(transponder, sizeof transponder, "%04X", aircraft.transponder);

    QJsonObject failures;
    for (std::size_t i = 0; i < kFailureEvents.size(); ++i) {
        failures[kFailureEvents[i]] = state.failures[i];
    }

    QJsonArray menu_items;
    for (const SimMenuItem& item : state.menu_items) {
        menu_items.append(QJsonObject{
            {"event_id", static_cast<double>(item.event_id)},
            {"parent_event", item.parent_event == kSimUnused
                                 ? QJsonValue(QJsonValue::Null)
                                 : QJsonValue(static_cast<double>(item.parent_event))},
            {"text", text(item.text)},
            {"data", static_cast<double>(item.data)},
        });
    }

    QJsonArray ai_objects;
    for (const SimAiObject& object : state.ai_objects) {
        QJsonArray waypoints;
        for (const AiWaypoint& point : object.waypoints) {
            waypoints.append(waypoint(point));
        }
        ai_objects.append(QJsonObject{
            {"id", static_cast<double>(object.object_id)},
            {"type", static_cast<double>(object.object_type)},
            {"title", text(object.title)},
            {"position", position(object.position)},
            {"waypoints", waypoints},
            {"removed", object.removed},
        });
    }

    QJsonArray sessions;
    for (const SimConnectSession& open : state.simconnect_sessions) {
        sessions.append(session(open));
    }
    QJsonObject stations;
    for (const auto& [station, observation] : state.weather.stations) {
        stations[text(station)] = text(observation);
    }

    return QJsonObject{
        {"aircraft",
         QJsonObject{
             {"lat", aircraft.latitude},
             {"lon", aircraft.longitude},
             {"alt_ft", aircraft.altitude_ft},
             {"gs_kt", aircraft.ground_speed_kt},
             {"heading", aircraft.heading_deg},
             {"pitch", aircraft.pitch_deg},
             {"bank", aircraft.bank_deg},
             {"xpd", QString::fromLatin1(transponder)},
             {"engines", aircraft.engines},
             {"ready", aircraft.ready},
             {"title", text(aircraft.title)},
             {"type", text(aircraft.type)},
             {"model", text(aircraft.model)},
             {"id", text(aircraft.id)},
             {"airline", text(aircraft.airline)},
         }},
        {"clock",
         QJsonObject{
             {"zulu", text(FormatTimeOfDay(state.clock.zulu_seconds, true))},
             {"local", text(FormatTimeOfDay(state.clock.local_seconds, false))},
         }},
        {"failures", failures},
        {"zulu_set",
         QJsonObject{
             {"hours", optionalNumber(state.zulu_set.hours)},
             {"minutes", optionalNumber(state.zulu_set.minutes)},
             {"day", optionalNumber(state.zulu_set.day)},
         }},
        {"texts_shown", texts(state.texts_shown)},
        {"plan_path", text(state.plan_path)},
        {"library_version", state.library_version},
        {"display_control", state.display_control},
        {"fsuipc_clients", state.fsuipc_clients},
        {"menu_items", menu_items},
        {"ai_objects", ai_objects},
        {"weather",
         QJsonObject{
             {"metar", state.weather.metar ? QJsonValue(text(*state.weather.metar))
                                           : QJsonValue(QJsonValue::Null)},
             {"custom_mode", state.weather.custom_mode},
             {"injected", texts(state.weather.injected)},
             {"stations", stations},
         }},
        {"simconnect_client", state.simconnect_client},
        {"simconnect_sessions", sessions},
    };
}

std::string DumpLine(const SimState& state) {
    return QJsonDocument(DumpState(state)).toJson(QJsonDocument::Compact).toStdString();
}

}  // namespace tavoro::simhost
