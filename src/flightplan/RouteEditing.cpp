#include "flightplan/RouteEditing.h"

#include "core/Fields.h"

namespace tavoro {
namespace {

bool validSelection(const FlightPlan& plan, const std::optional<std::size_t>& selected) {
    return selected && *selected < plan.route_points.size();
}

EntryRequest pointRequest(std::string caption) {
    return {std::move(caption), 170, 120, "Entrez un point de la route", ""};
}

RouteEditResult changed(FlightPlan& plan) {
    RebuildRouteText(plan);
    return {std::nullopt, true};
}

}  // namespace

RouteEditResult DeleteRoutePoint(FlightPlan& plan, const RouteSelection& selection) {
    const std::optional<std::size_t> selected = selection();
    if (!validSelection(plan, selected)) {
        return {std::string(kSelectLineMessage), false};
    }
    plan.route_points.erase(plan.route_points.begin() + static_cast<std::ptrdiff_t>(*selected));
    return changed(plan);
}

RouteEditResult InsertRoutePoint(FlightPlan& plan, const RouteSelection& selection,
                                 const EnterLineFunction& enter_line) {
    if (!validSelection(plan, selection())) {
        return {std::string(kSelectLineMessage), false};
    }
    const std::optional<std::string> entered = enter_line(pointRequest("Insérer un point"));
    if (!entered) {
        return {};
    }
    // The selection as the dialog closes: the list may have been refilled meanwhile. With no
    // valid line left there is nowhere to insert, and the user is asked to select again.
    const std::optional<std::size_t> selected = selection();
    if (!validSelection(plan, selected)) {
        return {std::string(kSelectLineMessage), false};
    }
    plan.route_points.insert(plan.route_points.begin() + static_cast<std::ptrdiff_t>(*selected),
                             UpperCaseLetters(*entered));
    return changed(plan);
}

RouteEditResult AppendRoutePoint(FlightPlan& plan, const EnterLineFunction& enter_line) {
    const std::optional<std::string> entered = enter_line(pointRequest("Ajouter un point"));
    if (!entered) {
        return {};
    }
    plan.route_points.push_back(UpperCaseLetters(*entered));
    return changed(plan);
}

RouteEditResult EnterRoute(FlightPlan& plan, const EnterLineFunction& enter_line) {
    const std::optional<std::string> entered = enter_line(
        {"Entrer la route", 340, 300, "Entrez les points de la route, séparés par des /", ""});
    if (!entered) {
        return {};
    }
    plan.route_points = SplitText(UpperCaseLetters(*entered), '/');
    return changed(plan);
}

}  // namespace tavoro
