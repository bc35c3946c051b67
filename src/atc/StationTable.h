#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <queue>
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

// Distances from one aircraft position to many stations: the sine and cosine of the
// aircraft's latitude are taken once, and each distance is the one DistanceNm gives.
class DistanceFromAircraft {
public:
    DistanceFromAircraft(double aircraft_latitude, double aircraft_longitude);
    int To(double station_latitude, double station_longitude) const;

private:
    double sin_latitude_;
    double cos_latitude_;
    double longitude_;  // radians
};

// One slot of the station table. The empty callsign marks a free slot; a reused slot keeps
// the other values of its previous station until a "%" line overwrites them.
struct AtcStation {
    std::string callsign;
    std::string frequency;  // "1" followed by field 1 of the last "%" line
    std::string facility;   // text of the facility code in [facility], "error" when absent
    std::string visual_range;
    double latitude = 0;
    double longitude = 0;
};

// The ATC stations on line, in slots, and the order in which they were listed. Slots are
// never given back: a removed station frees its slot, and the highest free slot is taken
// first.
class StationTable {
public:
    // The list that shows the table. It is told before a listed station's values change,
    // so that it can keep the values it shows, and after each station listed or removed.
    class Listener {
    public:
        virtual void ListedStationChanging(std::size_t slot) = 0;
        virtual void StationListChanged() = 0;

    protected:
        ~Listener() = default;
    };

    static constexpr double kRemovedLatitude = 9999;

    StationTable(const IniFile& ini, const AircraftState& aircraft);

    // One listener at a time; nullptr for none.
    void SetListener(Listener* listener) { listener_ = listener; }

    // Points the dispatcher's "#AA", "%" and "#DA" targets at this table.
    void SetTargets(DispatchTargets& targets);

    // "#AA": a new station in the highest free slot (or a new one), listed at the end. A
    // repeated callsign gives a second entry.
    void StationAdded(const std::string& callsign);
    // "%": the station's frequency, facility, range and position. An unknown station is
    // added and listed; a known one changes without a change of the order. Raises
    // ConversionError when field 7 is not a whole number, after the values are set.
    void StationPosition(const std::string& callsign, const FieldList& fields);
    // "#DA": removes the highest slot of that callsign, if any.
    void StationRemoved(const std::string& callsign);
    void RemoveStation(std::size_t slot);

    // Facility texts are looked up in the configuration once per code and kept until
    // this is called, at the end of each receive tick: a block of thousands of stations
    // then reads the file a handful of times, and an edit to it counts from the next tick.
    void ForgetFacilityTexts() { facility_texts_.clear(); }

    // Distance from the station in `slot` to the aircraft now.
    int StationDistanceNm(std::size_t slot) const;

    const std::deque<AtcStation>& stations() const { return stations_; }
    // Slot numbers in the order the stations were listed. The first read after removals
    // takes one pass through the order, however many they were.
    const std::vector<std::size_t>& station_order() const;

private:
    std::size_t takeSlot();
    void setCallsign(std::size_t slot, const std::string& callsign);
    void setValues(std::size_t slot, const FieldList& fields);
    void listSlot(std::size_t slot);
    void changing(std::size_t slot);
    void listChanged();
    std::optional<std::size_t> highestSlotOf(const std::string& callsign);
    std::optional<std::size_t> highestFreeSlot();
    void addSlotOf(const std::string& callsign, std::size_t slot);
    void removeSlotOf(const std::string& callsign, std::size_t slot);
    void compactOrder() const;

    const IniFile& ini_;
    const AircraftState& aircraft_;
    Listener* listener_ = nullptr;

    // A deque: a busy network announced at once grows the table by thousands of slots in
    // one tick, and a deque grows without moving the stations it already holds.
    std::deque<AtcStation> stations_;
    // Kept as numbers: the decimal texts would only be parsed back at every use.
    //
    // A server may remove thousands of stations in one tick: a removal only marks its
    // entry kUnlisted, and the marks are swept out in one pass when the order is read
    // (or when they outnumber the rest), so that each removal costs the same however
    // long the list is.
    static constexpr std::size_t kUnlisted = static_cast<std::size_t>(-1);
    mutable std::vector<std::size_t> station_order_;
    mutable std::size_t unlisted_entries_ = 0;
    // By entry of station_order_: the next entry of the same slot, or kUnlisted. By slot:
    // its first and last entries. A removal takes the slot's first entry.
    mutable std::vector<std::size_t> next_listing_;
    mutable std::vector<std::size_t> first_listing_;
    mutable std::vector<std::size_t> last_listing_;
    // The slot of each callsign, so a lookup is not a walk through the table: one flat
    // hash map, as a callsign is nearly always on one slot. A callsign on several slots
    // holds kSeveralSlots there and its slots in several_slots_, which stays empty on a
    // sound network.
    static constexpr std::size_t kSeveralSlots = static_cast<std::size_t>(-1);
    std::unordered_map<std::string, std::size_t> slot_of_callsign_;
    std::unordered_map<std::string, std::set<std::size_t>> several_slots_;
    // The slots with the empty callsign, highest on top, each at most once (in_free_slots_
    // says which are in): takeSlot pops the slot it takes and setCallsign pushes a slot it
    // frees unless it is in already, so neither a station added and removed again and again
    // nor "#DA" lines naming no station make it grow. A slot that got a callsign while in
    // stays until it comes to the top, where it is dropped.
    std::priority_queue<std::size_t> free_slots_;
    std::vector<bool> in_free_slots_;
    // By slot: how many times station_order holds it (a free slot listed by an "#AA"
    // without callsign stands there twice), so that the listener hears only of slots it
    // shows.
    std::vector<std::uint32_t> times_listed_;
    // Facility code to text, as the configuration gave them this tick.
    std::unordered_map<std::string, std::string> facility_texts_;
};

}  // namespace tavoro
