#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "atc/Dispatcher.h"
#include "atc/Protocol.h"
#include "core/Aircraft.h"
#include "core/IniFile.h"

namespace tavoro {

// Radius of the sphere the station distances are measured on, nautical miles.
inline constexpr double kEarthRadiusNm = 3443.8;

// The angle, in radians, whose cosine is `c`, taken as the angle whose tangent is
// √(1 − c²) / c in the quadrant of (c, √(1 − c²)). A `c` that rounding put a hair past
// −1 or 1 counts as −1 or 1, so the same point gives 0 and the antipode π.
double CentralAngle(double c);

// Great-circle distance from a station to the aircraft (degrees) by the spherical law of
// cosines, in whole nautical miles rounded to nearest, ties to even.
int DistanceNm(double station_latitude, double station_longitude, double aircraft_latitude,
               double aircraft_longitude);

// One slot of the station table. The empty callsign marks a free slot; a reused slot keeps
// the other values of its previous station until a "%" line overwrites them.
struct AtcStation {
    std::string callsign;
    std::string frequency;  // "1" followed by field 1 of the last "%" line
    std::string facility;   // text of the facility code in [facility], "error" when absent
    std::string visual_range;
    double latitude = 0;
    double longitude = 0;
    // Texts of the station received while it was selected, oldest first; Timer1 takes
    // them one at a time.
    std::vector<std::string> atis_lines;
};

// The ATC stations on line, the list of them that ListBox_ATC shows, and the selected
// station's ATIS texts.
//
// The server may announce thousands of stations in one received block, each "#AA" asking
// for the whole list to be rebuilt. Rebuilding costs nothing here: the table only notes
// that the list now shows `station_order` as it is, and remembers, for a station whose
// values change before the list has been rebuilt again, the values the list showed. The
// lines are then formed once, when a window asks for them (line_count, line), and are
// exactly those that a rebuild at every step would have shown.
class AtcStations {
public:
    // Writes one composed line to the server ("$CQ" ATIS requests).
    using SendLine = std::function<void(std::string_view line)>;

    static constexpr double kRemovedLatitude = 9999;
    // Text lines longer than this show as two list lines.
    static constexpr std::size_t kTextLineWidth = 45;

    AtcStations(const IniFile& ini, const AircraftState& aircraft, const AircraftIdentity& identity,
                SendLine send_line);

    // Points the dispatcher's station targets at this table.
    void SetTargets(DispatchTargets& targets);

    // "#AA": a new station in the highest free slot (or a new one), listed at the end. A
    // repeated callsign gives a second entry.
    void StationAdded(const std::string& callsign);
    // "%": the station's frequency, facility, range and position. An unknown station is
    // added and listed; a known one changes without a rebuild of the list. Raises
    // ConversionError when field 7 is not a whole number, after the values are set.
    void StationPosition(const std::string& callsign, const FieldList& fields);
    // "#DA": removes the highest slot of that callsign, if any.
    void StationRemoved(const std::string& callsign);
    bool IsSelectedStation(std::string_view callsign) const;
    // "#TM" of the selected station: shown below whatever the list shows, cut at
    // kTextLineWidth characters, and kept whole for the relay to the simulator.
    void SelectedStationText(const std::string& text);

    void RefreshAtcList();
    void RemoveStation(std::size_t slot);
    // Distance from the station in `slot` to the aircraft now.
    int StationDistanceNm(std::size_t slot) const;
    // A click on line `row` of the list (-1: on no line): while the list shows the
    // stations, asks the station on that line for its ATIS and shows its header.
    void ListBox_ATCClick(int row);
    // Timer1's line: the selected station's oldest ATIS text, taken off its list.
    std::optional<std::string> TakeRelayLine();

    const std::vector<AtcStation>& stations() const { return stations_; }
    // Slot numbers in the order the stations were listed.
    const std::vector<std::size_t>& station_order() const { return station_order_; }
    std::optional<std::size_t> selected_station() const { return selected_station_; }
    bool list_mode() const { return list_mode_; }

    // What ListBox_ATC shows. The generation changes each time the list box is emptied;
    // within one generation lines are only appended.
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
    };

    std::size_t takeSlot();
    void setCallsign(std::size_t slot, const std::string& callsign);
    void setValues(std::size_t slot, const FieldList& fields);
    void listSlot(std::size_t slot);
    void keepShownValues(std::size_t slot);
    std::optional<std::size_t> highestSlotOf(const std::string& callsign) const;
    std::string stationLine(std::size_t slot) const;

    const IniFile& ini_;
    const AircraftState& aircraft_;
    const AircraftIdentity& identity_;
    SendLine send_line_;

    std::vector<AtcStation> stations_;
    // Kept as numbers: the decimal texts would only be parsed back at every use.
    std::vector<std::size_t> station_order_;
    // None until the pilot asks a station for its ATIS: no station's texts are taken,
    // spoken or relayed before the pilot chose one.
    std::optional<std::size_t> selected_station_;
    bool list_mode_ = false;
    // Slot numbers of each callsign, so a lookup is not a walk through the table; the
    // empty callsign holds the free slots.
    std::unordered_map<std::string, std::set<std::size_t>> slots_by_callsign_;

    // The list box's content: stations (station_order, unchanged since the rebuild, since
    // every change to it rebuilds) or an ATIS header, then the appended text lines.
    Shown shown_ = Shown::Nothing;
    std::uint64_t generation_ = 0;
    std::string header_;
    std::vector<std::string> appended_lines_;
    // Where the aircraft was at the rebuild: the distances shown are from there.
    double shown_aircraft_latitude_ = 0;
    double shown_aircraft_longitude_ = 0;
    // By slot: how many lines of the list show it (a free slot listed by an "#AA" without
    // callsign can show twice), so that slots the list does not show keep nothing.
    std::vector<std::uint32_t> times_listed_;
    // By slot: the values shown, kept at the station's first change after the rebuild.
    std::vector<std::optional<ShownValues>> shown_values_;
    std::vector<std::size_t> kept_slots_;
};

// Shows one text in the simulator; returns the failure's text, or nothing when it was shown.
using ShowInSimulator = std::function<std::optional<std::string>(std::string_view text)>;

// Timer1's step: shows the selected station's oldest ATIS text in the simulator. Returns
// the text for status panel 0 when that failed.
std::optional<std::string> RelayAtisLine(AtcStations& stations, const ShowInSimulator& show);

}  // namespace tavoro
