#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "atc/AtisSelection.h"

namespace tavoro {

// Shows one text in the simulator; returns the failure's text, or nothing when it was shown.
using ShowInSimulator = std::function<std::optional<std::string>(std::string_view text)>;

// The selected station's ATIS texts on their way to the simulator, one per Timer1 tick.
class AtisRelay {
public:
    AtisRelay(AtisSelection& selection, ShowInSimulator show);

    // Timer1's step: shows the selected station's oldest ATIS text in the simulator.
    // Returns the text for status panel 0 when that failed.
    std::optional<std::string> RelayAtisLine();

private:
    AtisSelection& selection_;
    ShowInSimulator show_;
};

}  // namespace tavoro
