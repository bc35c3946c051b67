#include "atc/AtisRelay.h"

namespace tavoro {

AtisRelay::AtisRelay(AtisSelection& selection, ShowInSimulator show)
    : selection_(selection), show_(std::move(show)) {}

std::optional<std::string> AtisRelay::RelayAtisLine() {
    std::optional<std::string> line = selection_.TakeRelayLine();
    if (!line) {
        return std::nullopt;
    }
    // The line leaves the list whether or not it could be shown: one line every tick.
    return show_(*line);
}

}  // namespace tavoro
