#include "atc/AtisSelection.h"

#include "atc/Protocol.h"

namespace tavoro {

AtisSelection::AtisSelection(const StationTable& table, AtcList& list,
                             const AircraftIdentity& identity, SendLine send_line)
    : table_(table), list_(list), identity_(identity), send_line_(std::move(send_line)) {}

void AtisSelection::SetTargets(DispatchTargets& targets) {
    targets.is_selected_station = [this](std::string_view callsign) {
        return IsSelectedStation(callsign);
    };
    targets.selected_station_text = [this](const std::string& text) { SelectedStationText(text); };
}

void AtisSelection::SelectStation(int row) {
    const std::vector<std::size_t>& order = table_.station_order();
    if (!list_.list_mode() || row < 0 || static_cast<std::size_t>(row) >= order.size()) {
        return;
    }
    const std::size_t slot = order[static_cast<std::size_t>(row)];
    selected_station_ = slot;
    // Sent whether or not the link is up; the link drops it when it is not.
    send_line_(ComposeAtisQuery(identity_.atc_identifier, table_.stations()[slot].callsign));
    // Texts still waiting belong to the previous choice, or to an earlier one of the same.
    atis_lines_.clear();
    list_.ShowAtisHeader(slot);
}

bool AtisSelection::IsSelectedStation(std::string_view callsign) const {
    return selected_station_ && table_.stations()[*selected_station_].callsign == callsign;
}

void AtisSelection::SelectedStationText(const std::string& text) {
    if (!selected_station_) {
        return;
    }
    list_.AppendText(text);
    atis_lines_.push_back(text);
}

std::optional<std::string> AtisSelection::TakeRelayLine() {
    if (atis_lines_.empty()) {
        return std::nullopt;
    }
    std::string line = std::move(atis_lines_.front());
    atis_lines_.erase(atis_lines_.begin());
    return line;
}

}  // namespace tavoro
