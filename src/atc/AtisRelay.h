#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "atc/AtisSelection.h"
#include "core/Timer.h"

namespace tavoro {

// Shows one text in the simulator; returns the failure's text, or nothing when it was shown.
using ShowInSimulator = std::function<std::optional<std::string>(std::string_view text)>;

// The selected station's ATIS texts on their way to the simulator, one per tick of its
// Timer1 (10 s), which runs while the simulator is polled.
class AtisRelay {
public:
    using FailureReport = std::function<void(const std::string& text)>;

    AtisRelay(AtisSelection& selection, ShowInSimulator show, FailureReport report_failure = {},
              TimerFactory& timers = EventLoopTimers());

    // The relay runs while the simulator link polls, and pauses with it.
    void Start() { timer1_->Start(); }
    void Stop() { timer1_->Stop(); }

    // Timer1's step: shows the selected station's oldest ATIS text in the simulator.
    // Returns the text for status panel 0 when that failed; the tick reports it.
    std::optional<std::string> RelayAtisLine();

private:
    AtisSelection& selection_;
    ShowInSimulator show_;
    FailureReport report_failure_;
    std::unique_ptr<Timer> timer1_;
};

}  // namespace tavoro
