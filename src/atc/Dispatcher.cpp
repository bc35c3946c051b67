#include "atc/Dispatcher.h"

#include "core/Text.h"

namespace tavoro {
namespace {

// Field 0 without the type word it begins with: the callsign glued to it.
std::string after(const std::string& field, std::string_view word) {
    return field.substr(word.size());
}

template <typename Function, typename... Args>
void call(const Function& function, Args&&... args) {
    if (function) {
        function(std::forward<Args>(args)...);
    }
}

}  // namespace

Dispatcher::Dispatcher(LoginState& login, const Settings& settings,
                       const AircraftIdentity& identity)
    : login_(login), settings_(settings), identity_(identity) {}

void Dispatcher::DispatchLine(const FieldList& fields) {
    if (login_.logged_in()) {
        dispatchLoggedIn(fields);
    } else {
        dispatchLoggedOut(fields);
    }
}

void Dispatcher::dispatchLoggedOut(const FieldList& fields) {
    const std::string& type = Field(fields, 0);
    if (type == "$ERserver") {
        login_.RefuseLogin(JoinFields(fields, 1));
    }
    // A "#TMserver" still queued from a connection that has closed logs nobody in:
    // the button would turn green with no connection behind it.
    if (type == "#TMserver" && login_.socket_connected()) {
        login_.AcceptLogin();
    }
}

void Dispatcher::dispatchLoggedIn(const FieldList& fields) {
    const std::string& type = Field(fields, 0);
    const DispatchTargets& t = targets_;

    // Station lines come by the thousand and no other type word begins like theirs, so
    // they leave before the other tests.
    if (StartsWith(type, "#AA")) {
        call(t.station_added, after(type, "#AA"));
        return;
    }
    if (StartsWith(type, "%")) {
        call(t.station_position, after(type, "%"), fields);
        return;
    }
    if (StartsWith(type, "#DA")) {
        call(t.station_removed, after(type, "#DA"));
        return;
    }
    // "#TMAUDIO" lines pass this prefix too, but the text after "#TM" then begins with
    // "AUDIO" and names no station.
    if (StartsWith(type, "#TM") && t.is_selected_station &&
        t.is_selected_station(after(type, "#TM"))) {
        call(t.selected_station_text, Field(fields, 2));
    }
    if (StartsWith(type, "#TMAUDIO") && t.is_selected_station &&
        t.is_selected_station(after(type, "#TMAUDIO")) && settings_.atis_audio) {
        call(t.selected_station_speech, Field(fields, 2));
    }
    if (type == "$ACUDEPOT") {
        call(t.filing_acknowledged, fields);
    }
    if (type == "$FPDEPOT" && Field(fields, 1) == identity_.atc_identifier) {
        call(t.own_filed_plan, fields);
    }
    if (type == "ZULU") {
        call(t.zulu, Field(fields, 1), Field(fields, 2));
    }
    if (type == "METAR") {
        call(t.metar, fields.size() > 1 ? std::optional<std::string>(fields[1]) : std::nullopt);
    }
    if (type == "$ADMIN" && Field(fields, 1) == "FAILURE") {
        call(t.failure, Field(fields, 2));
    }
    if (type == "$ControlAI") {
        const std::string& sub_command = Field(fields, 1);
        call(t.ai_status, ToDisplay(type + sub_command + Field(fields, 2)));
        if (sub_command == "CREATE") {
            call(t.ai_create, fields);
        }
        if (sub_command == "REMOVE") {
            call(t.ai_remove, fields);
        }
        if (sub_command == "ROUTE") {
            call(t.ai_route, fields);
        }
        if (sub_command == "START") {
            call(t.ai_start, fields);
        }
    }
    if (StartsWith(type, "$DEPOTFP")) {
        call(t.filed_plan_listed, fields);
    }
}

}  // namespace tavoro
