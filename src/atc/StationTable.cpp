#include "atc/StationTable.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/Numbers.h"
#include "core/Settings.h"

namespace tavoro {
namespace {

double radians(double degrees) {
    return degrees * 2 * std::numbers::pi / 360;
}

}  // namespace

double CentralAngle(double c) {
    c = std::clamp(c, -1.0, 1.0);
    return std::atan2(std::sqrt(1 - c * c), c);
}

DistanceFromAircraft::DistanceFromAircraft(double aircraft_latitude, double aircraft_longitude)
    : sin_latitude_(std::sin(radians(aircraft_latitude))),
      cos_latitude_(std::cos(radians(aircraft_latitude))),
      longitude_(radians(aircraft_longitude)) {}

int DistanceFromAircraft::To(double station_latitude, double station_longitude) const {
    const double phi_s = radians(station_latitude);
    const double lambda_s = radians(station_longitude);
    const double c = std::sin(phi_s) * sin_latitude_ +
                     std::cos(phi_s) * cos_latitude_ * std::cos(longitude_ - lambda_s);
    // nearbyint rounds in the default mode: to nearest, ties to even.
    const double nm = std::nearbyint(CentralAngle(c) * kEarthRadiusNm);
    // Only a position beyond any number (none the parser gives) could leave no distance.
    return std::isfinite(nm) ? static_cast<int>(nm) : 0;
}

int DistanceNm(double station_latitude, double station_longitude, double aircraft_latitude,
               double aircraft_longitude) {
    return DistanceFromAircraft(aircraft_latitude, aircraft_longitude)
        .To(station_latitude, station_longitude);
}

StationTable::StationTable(const IniFile& ini, const AircraftState& aircraft)
    : ini_(ini), aircraft_(aircraft) {}

void StationTable::SetTargets(DispatchTargets& targets) {
    targets.station_added = [this](const std::string& callsign) { StationAdded(callsign); };
    targets.station_position = [this](const std::string& callsign, const FieldList& fields) {
        StationPosition(callsign, fields);
    };
    targets.station_removed = [this](const std::string& callsign) { StationRemoved(callsign); };
}

void StationTable::StationAdded(const std::string& callsign) {
    std::size_t slot = takeSlot();
    setCallsign(slot, callsign);
    listSlot(slot);
}

void StationTable::StationPosition(const std::string& callsign, const FieldList& fields) {
    if (auto slot = highestSlotOf(callsign)) {
        setValues(*slot, fields);
        return;
    }
    std::size_t slot = takeSlot();
    setCallsign(slot, callsign);
    // A field 7 that is not a number stops here: the slot keeps the callsign and the
    // values but is neither listed nor shown.
    setValues(slot, fields);
    listSlot(slot);
}

void StationTable::StationRemoved(const std::string& callsign) {
    if (auto slot = highestSlotOf(callsign)) {
        RemoveStation(*slot);
    }
}

void StationTable::RemoveStation(std::size_t slot) {
    if (slot >= stations_.size()) {
        return;
    }
    setCallsign(slot, "");
    stations_[slot].latitude = kRemovedLatitude;
    if (times_listed_[slot] != 0) {
        const std::size_t entry = first_listing_[slot];
        station_order_[entry] = kUnlisted;
        first_listing_[slot] = next_listing_[entry];
        --times_listed_[slot];
        ++unlisted_entries_;
        // Swept now and then even if nobody reads the order, so it does not grow.
        if (unlisted_entries_ > station_order_.size() / 2) {
            compactOrder();
        }
    }
    listChanged();
}

const std::vector<std::size_t>& StationTable::station_order() const {
    if (unlisted_entries_ != 0) {
        compactOrder();
    }
    return station_order_;
}

int StationTable::StationDistanceNm(std::size_t slot) const {
    const AtcStation& station = stations_.at(slot);
    return DistanceNm(station.latitude, station.longitude, aircraft_.latitude, aircraft_.longitude);
}

std::size_t StationTable::takeSlot() {
    // The slot taken leaves the free set now; setCallsign puts it back if it stays free.
    if (auto free = highestFreeSlot()) {
        free_slots_.pop();
        in_free_slots_[*free] = false;
        return *free;
    }
    stations_.emplace_back();
    in_free_slots_.push_back(false);
    times_listed_.push_back(0);
    first_listing_.push_back(kUnlisted);
    last_listing_.push_back(kUnlisted);
    return stations_.size() - 1;
}

void StationTable::setCallsign(std::size_t slot, const std::string& callsign) {
    changing(slot);
    std::string& current = stations_[slot].callsign;
    if (callsign.empty() && !in_free_slots_[slot]) {
        free_slots_.push(slot);
        in_free_slots_[slot] = true;
    }
    if (current == callsign) {
        return;
    }
    if (!current.empty()) {
        removeSlotOf(current, slot);
    }
    if (!callsign.empty()) {
        addSlotOf(callsign, slot);
    }
    current = callsign;
}

void StationTable::addSlotOf(const std::string& callsign, std::size_t slot) {
    auto [entry, added] = slot_of_callsign_.try_emplace(callsign, slot);
    if (added) {
        return;
    }
    if (entry->second == kSeveralSlots) {
        several_slots_[callsign].insert(slot);
    } else {
        several_slots_[callsign] = {entry->second, slot};
        entry->second = kSeveralSlots;
    }
}

void StationTable::removeSlotOf(const std::string& callsign, std::size_t slot) {
    auto entry = slot_of_callsign_.find(callsign);
    if (entry == slot_of_callsign_.end()) {
        return;
    }
    if (entry->second != kSeveralSlots) {
        if (entry->second == slot) {
            slot_of_callsign_.erase(entry);
        }
        return;
    }
    auto several = several_slots_.find(callsign);
    several->second.erase(slot);
    if (several->second.size() == 1) {
        entry->second = *several->second.begin();
        several_slots_.erase(several);
    }
}

void StationTable::setValues(std::size_t slot, const FieldList& fields) {
    changing(slot);
    AtcStation& station = stations_[slot];
    station.frequency = "1" + Field(fields, 1);
    const std::string& code = Field(fields, 2);
    auto known = facility_texts_.find(code);
    if (known == facility_texts_.end()) {
        known = facility_texts_.emplace(code, LookupFacility(ini_, code)).first;
    }
    station.facility = known->second;
    station.visual_range = Field(fields, 3);
    // A position that is not a number puts the station at 0, as before its first "%".
    station.latitude = ParseDecimalNumber(Field(fields, 5)).value_or(0);
    station.longitude = ParseDecimalNumber(Field(fields, 6)).value_or(0);
    // The altitude is not kept, but a line without a whole number there is refused.
    (void)ParseWholeNumber(Field(fields, 7));
}

void StationTable::listSlot(std::size_t slot) {
    const std::size_t entry = station_order_.size();
    station_order_.push_back(slot);
    next_listing_.push_back(kUnlisted);
    if (times_listed_[slot] == 0) {
        first_listing_[slot] = entry;
    } else {
        next_listing_[last_listing_[slot]] = entry;
    }
    last_listing_[slot] = entry;
    ++times_listed_[slot];
    listChanged();
}

void StationTable::compactOrder() const {
    std::fill(first_listing_.begin(), first_listing_.end(), kUnlisted);
    std::size_t kept = 0;
    for (const std::size_t slot : station_order_) {
        if (slot == kUnlisted) {
            continue;
        }
        station_order_[kept] = slot;
        next_listing_[kept] = kUnlisted;
        if (first_listing_[slot] == kUnlisted) {
            first_listing_[slot] = kept;
        } else {
            next_listing_[last_listing_[slot]] = kept;
        }
        last_listing_[slot] = kept;
        ++kept;
    }
    station_order_.resize(kept);
    next_listing_.resize(kept);
    unlisted_entries_ = 0;
}

void StationTable::changing(std::size_t slot) {
    if (listener_ != nullptr && times_listed_[slot] != 0) {
        listener_->ListedStationChanging(slot);
    }
}

void StationTable::listChanged() {
    if (listener_ != nullptr) {
        listener_->StationListChanged();
    }
}

std::optional<std::size_t> StationTable::highestFreeSlot() {
    while (!free_slots_.empty() && !stations_[free_slots_.top()].callsign.empty()) {
        in_free_slots_[free_slots_.top()] = false;
        free_slots_.pop();
    }
    if (free_slots_.empty()) {
        return std::nullopt;
    }
    return free_slots_.top();
}

std::optional<std::size_t> StationTable::highestSlotOf(const std::string& callsign) {
    if (callsign.empty()) {
        return highestFreeSlot();
    }
    auto entry = slot_of_callsign_.find(callsign);
    if (entry == slot_of_callsign_.end()) {
        return std::nullopt;
    }
    if (entry->second != kSeveralSlots) {
        return entry->second;
    }
    return *several_slots_.at(callsign).rbegin();
}

}  // namespace tavoro
