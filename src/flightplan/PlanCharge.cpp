#include "flightplan/PlanCharge.h"

#include "core/IniFile.h"
#include "core/Settings.h"

namespace tavoro {

std::optional<std::string> ReadSimulatorPlanPath(FlightPlan& plan, const ReadSimulator& read) {
    const SimulatorRead answer = read(kSimulatorPlanPathOffset, kSimulatorPlanPathSize);
    switch (answer.outcome) {
        case SimulatorRead::Outcome::Read: {
            const std::string_view bytes(answer.bytes);
            plan.plan_path = std::string(bytes.substr(0, bytes.find('\0')));
            return std::nullopt;
        }
        case SimulatorRead::Outcome::NotQueued:
            plan.plan_path.clear();
            return "Reading: " + answer.error_text;
        case SimulatorRead::Outcome::ProcessFailed:
            // The path held from before may be a file the user picked, which loading it
            // again would pass off as the simulator's own plan: the dialog is offered instead.
            plan.plan_path.clear();
            return "Processing: " + answer.error_text;
    }
    return std::nullopt;
}

ChargeResult ChargePlan(FlightPlan& plan, const PlanLoadSources& sources) {
    ChargeResult result;
    if (sources.read_simulator) {
        if (auto status = ReadSimulatorPlanPath(plan, sources.read_simulator)) {
            if (sources.show_status) {
                sources.show_status(*status);
            }
        }
    }
    const std::string remembered = sources.plan_folder ? *sources.plan_folder : std::string();
    const std::string dialog_folder = remembered.empty() ? sources.working_folder : remembered;
    const PlanFileAccess access{sources.config, sources.choose_file, dialog_folder};

    if (!plan.plan_path.empty()) {
        result.load = LoadPlanFile(plan, plan.plan_path, access);
        result.config_unwritable = result.load->config_unwritable;
        if (!result.load->loaded()) {
            return result;
        }
        plan.active = true;
    } else {
        std::optional<std::string> chosen;
        if (sources.choose_file) {
            chosen = sources.choose_file(FileDialogRequest{
                std::string(kPlanDialogTitle), dialog_folder, std::string(kPlanFileFilter)});
        }
        if (chosen) {
            const std::string folder = FolderOf(*chosen);
            if (sources.plan_folder && folder != *sources.plan_folder) {
                *sources.plan_folder = folder;
                if (sources.config && !SavePlanFolder(*sources.config, folder)) {
                    result.config_unwritable = true;
                }
            }
            result.load = LoadPlanFile(plan, *chosen, access);
            result.config_unwritable |= result.load->config_unwritable;
            if (!result.load->loaded()) {
                return result;
            }
            // Only a file that loaded becomes the plan's path.
            plan.plan_path = *chosen;
            plan.active = false;
        }
    }
    plan.filed = false;
    result.state_changed = true;
    return result;
}

}  // namespace tavoro
