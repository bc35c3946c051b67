#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "flightplan/FlightPlan.h"

namespace tavoro {

// One write to the simulator's offsets, as the FSUIPC client does it: queued, then exchanged.
struct SimulatorWrite {
    enum class Outcome {
        Written,
        NotQueued,      // the write could not be queued
        ProcessFailed,  // the exchange failed
    };
    Outcome outcome = Outcome::Written;
    std::string error_text;  // the client's text for its error code
};

using WriteSimulator =
    std::function<SimulatorWrite(std::uint32_t offset, const std::string& bytes)>;

// How the panel shows the plan's two flags.
struct PanelState {
    bool locked = false;        // filed: the boxes yellow and read-only, "Deposé" shown
    bool active_shown = false;  // "plan de vol Actif" shown
};

PanelState PanelStateOf(const FlightPlan& plan);

// "modifier le plan": the panel is editable again; the server is told nothing, the plan is
// filed again with "Envoi du plan".
void ModifyPlan(FlightPlan& plan);

// A text for one of the two status-bar panels.
struct StatusText {
    int panel = 0;
    std::string text;
};

// "supprimer le plan": empties the plan (its rules, date, remarks and path stay), unlocks it,
// and, when it came from the simulator, clears the simulator's flight-plan path. Returns the
// status text of a failed write, after which the plan stays active.
std::optional<StatusText> DeletePlan(FlightPlan& plan, const WriteSimulator& write);

}  // namespace tavoro
