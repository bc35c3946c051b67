#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "flightplan/FlightPlan.h"
#include "flightplan/PlanFile.h"

namespace tavoro {

class IniFile;

// Where the simulator keeps the path of its flight plan, a zero-ended text.
inline constexpr std::uint32_t kSimulatorPlanPathOffset = 0x0130;
inline constexpr std::uint32_t kSimulatorPlanPathSize = 256;

inline constexpr std::string_view kPlanDialogTitle = "Plan FSX";

// One read of the simulator's offsets, as the FSUIPC client does it: queued, then exchanged.
struct SimulatorRead {
    enum class Outcome {
        Read,           // `bytes` holds what was read
        NotQueued,      // the read could not be queued
        ProcessFailed,  // the exchange failed
    };
    Outcome outcome = Outcome::Read;
    std::string bytes;
    std::string error_text;  // the client's text for its error code
};

using ReadSimulator = std::function<SimulatorRead(std::uint32_t offset, std::uint32_t size)>;

// Sets plan_path to the path the simulator reports. Returns the text for status-bar
// panel 1 when the read failed; plan_path is then empty, so the load button asks for a file.
std::optional<std::string> ReadSimulatorPlanPath(FlightPlan& plan, const ReadSimulator& read);

// What the load button needs beyond the record.
struct PlanLoadSources {
    IniFile* config = nullptr;
    // [FSX_plan] path as read at start-up, updated when the user picks another folder.
    std::string* plan_folder = nullptr;
    // Where the dialog starts when no folder is remembered.
    std::string working_folder;
    ChooseFile choose_file;
    ReadSimulator read_simulator;
    // Shows a text in status-bar panel 1 at once, before any dialog opens.
    std::function<void(const std::string&)> show_status;
};

struct ChargeResult {
    // The load, when a file was loaded or tried; nothing when the user cancelled the dialog.
    std::optional<PlanLoadResult> load;
    // The flags changed and the panel must apply its state: every case but an error.
    bool state_changed = false;
    // The remembered folder could not be written to the configuration.
    bool config_unwritable = false;

    // The message to show: the load's failure.
    std::optional<std::string> error() const {
        if (load && !load->loaded()) {
            return load->message;
        }
        return std::nullopt;
    }
};

// The load button: the simulator's own plan when it reports one, else a file the user
// picks. A failed load (refused, unreadable, a bad altitude) leaves the flags as they were.
ChargeResult ChargePlan(FlightPlan& plan, const PlanLoadSources& sources);

}  // namespace tavoro
