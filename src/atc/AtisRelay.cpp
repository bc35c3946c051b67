#include "atc/AtisRelay.h"

namespace tavoro {

AtisRelay::AtisRelay(AtisSelection& selection, ShowInSimulator show, FailureReport report_failure,
                     TimerFactory& timers)
    : selection_(selection),
      show_(std::move(show)),
      report_failure_(std::move(report_failure)),
      timer1_(timers.Create("Timer1", 10000)) {
    timer1_->OnTick([this] {
        if (auto failure = RelayAtisLine(); failure && report_failure_) {
            report_failure_(*failure);
        }
    });
}

std::optional<std::string> AtisRelay::RelayAtisLine() {
    std::optional<std::string> line = selection_.TakeRelayLine();
    if (!line) {
        return std::nullopt;
    }
    // The line leaves the list whether or not it could be shown: one line every tick.
    return show_(*line);
}

}  // namespace tavoro
