// The plan-file loader on any bytes a .pln file may hold: both forms, their headers, the
// lines of either, and the cruising altitude's conversion. A load that is refused must leave
// the plan as it was; one that loads must leave a route text that joins its points.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "ScratchFile.h"
#include "flightplan/FlightPlan.h"
#include "flightplan/PlanFile.h"

namespace {

const std::filesystem::path& scratchFile() {
    static const std::filesystem::path path =
        tavoro::fuzz::ScratchFilePath("tavoro-fuzz-plan", ".pln");
    return path;
}

tavoro::FlightPlan earlierPlan() {
    tavoro::FlightPlan plan;
    plan.title = "earlier";
    plan.departure = "AAAA";
    plan.destination = "BBBB";
    plan.cruise_level = "350";
    plan.route_points = {"OLD"};
    plan.route_text = "OLD";
    plan.filed = true;
    return plan;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavoro;
    const std::filesystem::path& path = scratchFile();
    fuzz::WriteScratchFile(path, data, size);
    FlightPlan plan = earlierPlan();
    const PlanLoadResult result = LoadPlanFile(plan, path.string(), {});
    switch (result.status) {
        case PlanLoadStatus::Loaded:
            if (plan.route_text != JoinRoute(plan.route_points) || plan.speed != "000" ||
                !plan.filed) {
                __builtin_trap();
            }
            break;
        case PlanLoadStatus::NotConforming:
        case PlanLoadStatus::Unreadable:
            if (!(plan == earlierPlan()) || result.message.empty()) {
                __builtin_trap();
            }
            break;
        case PlanLoadStatus::ConversionFailed:
            if (result.message.empty() || plan.cruise_level != "350") {
                __builtin_trap();
            }
            break;
    }
    return 0;
}
