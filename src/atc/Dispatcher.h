#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "atc/LoginState.h"
#include "atc/Protocol.h"
#include "core/Aircraft.h"
#include "core/Settings.h"

namespace tavoro {

// Where the lines received while logged in go. Each target is a handler of the subsystem
// that owns the work; an empty one is skipped, so a subsystem that is not wired simply
// does not hear of its lines. Handlers may raise ConversionError on a field that is not
// a whole number; the rest of the line is then skipped.
struct DispatchTargets {
    // The station table: "#AA", "%", "#DA", and the selected station's texts.
    std::function<void(const std::string& callsign)> station_added;
    std::function<void(const std::string& callsign, const FieldList& fields)> station_position;
    std::function<void(const std::string& callsign)> station_removed;
    // True when a station is selected and its callsign is `callsign`.
    std::function<bool(std::string_view callsign)> is_selected_station;
    std::function<void(const std::string& text)> selected_station_text;
    std::function<void(const std::string& text)> selected_station_speech;

    // Flight plans: the filing acknowledgement, our own filed plan, one filed plan listed.
    std::function<void(const FieldList& fields)> filing_acknowledged;
    std::function<void(const FieldList& fields)> own_filed_plan;
    std::function<void(const FieldList& fields)> filed_plan_listed;

    // The simulator: the clock, the weather, the failures.
    std::function<void(const std::string& hours, const std::string& minutes)> zulu;
    // The observation, or nullopt for a line that carries no text field at all.
    std::function<void(const std::optional<std::string>& metar)> metar;
    std::function<void(const std::string& failure_number)> failure;

    // AI objects: the command echoed in status panel 1, then its sub-command.
    std::function<void(const QString& text)> ai_status;
    std::function<void(const FieldList& fields)> ai_create;
    std::function<void(const FieldList& fields)> ai_remove;
    std::function<void(const FieldList& fields)> ai_route;
    std::function<void(const FieldList& fields)> ai_start;
};

// Hands each received line to the handlers of its type: a flat sequence of independent
// tests tried in a fixed order, one sequence before login and one after. A line that
// passes several tests is handled by each, in order.
class Dispatcher {
public:
    // `login` is read for every line: a line may log in or close the connection, and the
    // lines after it in the same block see the new state.
    Dispatcher(LoginState& login, const Settings& settings, const AircraftIdentity& identity);

    void SetTargets(DispatchTargets targets) { targets_ = std::move(targets); }

    void DispatchLine(const FieldList& fields);

private:
    void dispatchLoggedOut(const FieldList& fields);
    void dispatchLoggedIn(const FieldList& fields);

    LoginState& login_;
    const Settings& settings_;
    const AircraftIdentity& identity_;
    DispatchTargets targets_;
};

}  // namespace tavoro
