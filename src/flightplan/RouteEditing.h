#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "flightplan/FlightPlan.h"

namespace tavoro {

// What the entry dialog is asked: caption, window and entry widths, prompt, initial text.
struct EntryRequest {
    std::string caption;
    int window_width = 0;
    int entry_width = 0;
    std::string prompt;
    std::string initial_text;
};

// Shows the entry dialog: the text entered on "OK", nothing on "annuler".
using EnterLineFunction = std::function<std::optional<std::string>(const EntryRequest&)>;

// The line selected in the route list, asked when it is needed: a dialog runs the event
// loop, in which a server copy of the plan may refill the list.
using RouteSelection = std::function<std::optional<std::size_t>()>;

inline constexpr std::string_view kSelectLineMessage = "Sélectionner une ligne";

// What a route operation did: a message to show, and whether the route changed, after
// which the list is refilled from route_points and route_text is rebuilt.
struct RouteEditResult {
    std::optional<std::string> message;
    bool changed = false;
};

// "supprimer le point": removes the selected point.
RouteEditResult DeleteRoutePoint(FlightPlan& plan, const RouteSelection& selection);
// "insérer un point": asks for a point and puts it before the selected one.
RouteEditResult InsertRoutePoint(FlightPlan& plan, const RouteSelection& selection,
                                 const EnterLineFunction& enter_line);
// "ajouter un point": asks for a point and puts it at the end.
RouteEditResult AppendRoutePoint(FlightPlan& plan, const EnterLineFunction& enter_line);
// "entrer la route": asks for the whole route, points separated by "/".
RouteEditResult EnterRoute(FlightPlan& plan, const EnterLineFunction& enter_line);

}  // namespace tavoro
