#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "atc/AtcList.h"
#include "atc/Dispatcher.h"
#include "atc/StationTable.h"
#include "core/Aircraft.h"

namespace tavoro {

// The station whose ATIS the pilot asked for with a click on the list, and its texts on
// their way to the simulator.
class AtisSelection {
public:
    // Writes one composed line to the server ("$CQ" ATIS requests).
    using SendLine = std::function<void(std::string_view line)>;

    AtisSelection(const StationTable& table, AtcList& list, const AircraftIdentity& identity,
                  SendLine send_line);

    // Points the dispatcher's selected-station targets here.
    void SetTargets(DispatchTargets& targets);

    // A click on line `row` of the list (-1: on no line): while the list shows the
    // stations, asks the station on that line for its ATIS and shows its header.
    void SelectStation(int row);
    bool IsSelectedStation(std::string_view callsign) const;
    // "#TM" of the selected station: shown below whatever the list shows, and kept whole
    // for the relay to the simulator.
    void SelectedStationText(const std::string& text);
    // Timer1's line: the selected station's oldest ATIS text, taken off its list.
    std::optional<std::string> TakeRelayLine();

    // The slot of the selected station.
    std::optional<std::size_t> selected_station() const { return selected_station_; }
    // The selected station's texts received since it was chosen and not relayed yet,
    // oldest first.
    const std::vector<std::string>& atis_lines() const { return atis_lines_; }

private:
    const StationTable& table_;
    AtcList& list_;
    const AircraftIdentity& identity_;
    SendLine send_line_;

    // None until the pilot asks a station for its ATIS: no station's texts are taken,
    // spoken or relayed before the pilot chose one.
    std::optional<std::size_t> selected_station_;
    std::vector<std::string> atis_lines_;
};

}  // namespace tavoro
