#include "flightplan/FlightPlan.h"

namespace tavoro {

std::string JoinRoute(const std::vector<std::string>& points) {
    std::string text;
    for (const std::string& point : points) {
        if (text.empty()) {
            text = point;
        } else {
            text += '/';
            text += point;
        }
    }
    return text;
}

void RebuildRouteText(FlightPlan& plan) {
    plan.route_text = JoinRoute(plan.route_points);
}

std::string UpperCaseLetters(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

}  // namespace tavoro
