#include "flightplan/PlanStates.h"

#include "flightplan/PlanCharge.h"

namespace tavoro {

PanelState PanelStateOf(const FlightPlan& plan) {
    return {plan.filed, plan.active};
}

void ModifyPlan(FlightPlan& plan) {
    plan.filed = false;
    plan.active = false;
}

std::optional<StatusText> DeletePlan(FlightPlan& plan, const WriteSimulator& write) {
    plan.title.clear();
    plan.departure.clear();
    plan.destination.clear();
    plan.alternate.clear();
    plan.cruise_level.clear();
    plan.speed = kLoadedSpeed;
    plan.actual_time = kLoadedActualTime;
    plan.time_enroute = kLoadedTimeEnroute;
    plan.time_fuel = kLoadedTimeFuel;
    plan.route_points.clear();
    plan.route_text.clear();
    plan.filed = false;
    if (!plan.active) {
        return std::nullopt;
    }
    // An empty text: the first byte zero; the rest carries no meaning and is zero too.
    const SimulatorWrite written =
        write ? write(kSimulatorPlanPathOffset, std::string(kSimulatorPlanPathSize, '\0'))
              : SimulatorWrite{SimulatorWrite::Outcome::NotQueued, ""};
    switch (written.outcome) {
        case SimulatorWrite::Outcome::Written:
            plan.active = false;
            return std::nullopt;
        case SimulatorWrite::Outcome::NotQueued:
            // The write's failure is announced with the read's word, as pilots know it.
            return StatusText{0, "Reading: " + written.error_text};
        case SimulatorWrite::Outcome::ProcessFailed:
            return StatusText{1, "Processing: " + written.error_text};
    }
    return std::nullopt;
}

}  // namespace tavoro
