#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "atc/StationTable.h"
#include "core/Aircraft.h"

namespace tavoro {

// What ListBox_ATC shows: the table's stations, one line each with its distance from the
// aircraft, or the ATIS header of the selected station; below either, the texts appended
// since.
//
// The server may announce thousands of stations in one received block, each "#AA" asking
// for the whole list to be rebuilt. Rebuilding costs nothing here: the list only notes
// that it now shows the table's `station_order` as it is, and remembers, for a station
// whose values change before the list has been rebuilt again, the values it showed. The
// lines are then formed once, when a window asks for them (line_count, line), and are
// exactly those that a rebuild at every step would have shown.
class AtcList : private StationTable::Listener {
public:
    // Text lines longer than this show as two list lines.
    static constexpr std::size_t kTextLineWidth = 45;

    // Follows `table` from now on, until the list is destroyed.
    AtcList(StationTable& table, const AircraftState& aircraft);
    ~AtcList();
    AtcList(const AtcList&) = delete;
    AtcList& operator=(const AtcList&) = delete;

    // Shows the table's stations, with their distances from where the aircraft is now.
    void RefreshAtcList();
    // Shows the ATIS header of the station in `slot` instead of the stations.
    void ShowAtisHeader(std::size_t slot);
    // Shows `text` below whatever the list shows, cut at kTextLineWidth characters.
    void AppendText(const std::string& text);

    // True while the list shows the stations, so that a line is a station.
    bool list_mode() const { return shown_ == Shown::Stations; }
    // The generation changes each time the list box is emptied; within one generation
    // lines are only appended.
    std::uint64_t list_generation() const { return generation_; }
    std::size_t line_count() const;
    std::string line(std::size_t index) const;

private:
    enum class Shown { Nothing, Stations, Header };

    // The values of a station line, as the list showed them at its last rebuild.
    struct ShownValues {
        std::string callsign;
        std::string facility;
        std::string frequency;
        std::string visual_range;
        double latitude = 0;
        double longitude = 0;
        std::size_t slot = 0;  // the station's, so that a rebuild can forget them
    };

    void ListedStationChanging(std::size_t slot) override;
    void StationListChanged() override;
    std::string stationLine(std::size_t slot) const;

    StationTable& table_;
    const AircraftState& aircraft_;

    // Stations (the table's station_order, unchanged since the rebuild, since every
    // change to it rebuilds) or an ATIS header, then the appended text lines.
    Shown shown_ = Shown::Nothing;
    std::uint64_t generation_ = 0;
    std::string header_;
    std::vector<std::string> appended_lines_;
    // Where the aircraft was at the rebuild: the distances shown are from there.
    // The aircraft's position at the last refresh, which every line's distance is from.
    DistanceFromAircraft shown_distances_{0, 0};
    // The values shown, kept at a station's first change after the rebuild. By slot: one
    // more than where its values are in kept_values_, or 0. At login the server announces
    // every station and then its values, so a rebuild can be followed by thousands of
    // changes: the deque keeps them without moving any.
    const ShownValues* keptValues(std::size_t slot) const;
    std::deque<ShownValues> kept_values_;
    std::vector<std::uint32_t> kept_index_;
};

}  // namespace tavoro
