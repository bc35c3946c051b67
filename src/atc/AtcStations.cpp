#include "atc/AtcStations.h"

#include <QStringDecoder>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/Numbers.h"
#include "core/Settings.h"

namespace tavoro {
namespace {

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The same test the display makes: UTF-8 texts show as UTF-8, others byte by byte.
bool isUtf8(std::string_view text) {
    if (isAscii(text)) {
        return true;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    // The decoder works when its result is taken.
    QString decoded = utf8.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    return !utf8.hasError();
}

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Columns and cuts count characters as the list shows them, so an accented facility
// name is padded like a plain one and a cut never splits a character in two.
std::size_t characterCount(std::string_view text) {
    if (!isUtf8(text)) {
        return text.size();
    }
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return !isContinuationByte(c); }));
}

// How many bytes the first `count` characters of `text` take.
std::size_t bytesOfFirstCharacters(std::string_view text, std::size_t count) {
    if (!isUtf8(text)) {
        return std::min(count, text.size());
    }
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!isContinuationByte(text[i])) {
            if (seen == count) {
                return i;
            }
            ++seen;
        }
    }
    return text.size();
}

// `text` followed by blanks up to `width` characters; nothing added when it is as wide.
std::string padded(std::string_view text, std::size_t width) {
    std::string out(text);
    std::size_t characters = characterCount(text);
    if (characters < width) {
        out.append(width - characters, ' ');
    }
    return out;
}

double radians(double degrees) {
    return degrees * 2 * std::numbers::pi / 360;
}

}  // namespace

double CentralAngle(double c) {
    c = std::clamp(c, -1.0, 1.0);
    return std::atan2(std::sqrt(1 - c * c), c);
}

int DistanceNm(double station_latitude, double station_longitude, double aircraft_latitude,
               double aircraft_longitude) {
    const double phi_s = radians(station_latitude);
    const double lambda_s = radians(station_longitude);
    const double phi_a = radians(aircraft_latitude);
    const double lambda_a = radians(aircraft_longitude);
    const double c = std::sin(phi_s) * std::sin(phi_a) +
                     std::cos(phi_s) * std::cos(phi_a) * std::cos(lambda_a - lambda_s);
    // nearbyint rounds in the default mode: to nearest, ties to even.
    const double nm = std::nearbyint(CentralAngle(c) * kEarthRadiusNm);
    // Only a position beyond any number (none the parser gives) could leave no distance.
    return std::isfinite(nm) ? static_cast<int>(nm) : 0;
}

AtcStations::AtcStations(const IniFile& ini, const AircraftState& aircraft,
                         const AircraftIdentity& identity, SendLine send_line)
    : ini_(ini), aircraft_(aircraft), identity_(identity), send_line_(std::move(send_line)) {}

void AtcStations::SetTargets(DispatchTargets& targets) {
    targets.station_added = [this](const std::string& callsign) { StationAdded(callsign); };
    targets.station_position = [this](const std::string& callsign, const FieldList& fields) {
        StationPosition(callsign, fields);
    };
    targets.station_removed = [this](const std::string& callsign) { StationRemoved(callsign); };
    targets.is_selected_station = [this](std::string_view callsign) {
        return IsSelectedStation(callsign);
    };
    targets.selected_station_text = [this](const std::string& text) { SelectedStationText(text); };
}

void AtcStations::StationAdded(const std::string& callsign) {
    std::size_t slot = takeSlot();
    setCallsign(slot, callsign);
    listSlot(slot);
}

void AtcStations::StationPosition(const std::string& callsign, const FieldList& fields) {
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

void AtcStations::StationRemoved(const std::string& callsign) {
    if (auto slot = highestSlotOf(callsign)) {
        RemoveStation(*slot);
    }
}

bool AtcStations::IsSelectedStation(std::string_view callsign) const {
    return selected_station_ && stations_[*selected_station_].callsign == callsign;
}

void AtcStations::SelectedStationText(const std::string& text) {
    if (!selected_station_) {
        return;
    }
    std::size_t cut = bytesOfFirstCharacters(text, kTextLineWidth);
    appended_lines_.push_back(text.substr(0, cut));
    if (cut < text.size()) {
        appended_lines_.push_back(text.substr(cut));
    }
    stations_[*selected_station_].atis_lines.push_back(text);
}

void AtcStations::RefreshAtcList() {
    list_mode_ = true;
    shown_ = Shown::Stations;
    ++generation_;
    appended_lines_.clear();
    for (std::size_t slot : kept_slots_) {
        shown_values_[slot].reset();
    }
    kept_slots_.clear();
    shown_aircraft_latitude_ = aircraft_.latitude;
    shown_aircraft_longitude_ = aircraft_.longitude;
}

void AtcStations::RemoveStation(std::size_t slot) {
    if (slot >= stations_.size()) {
        return;
    }
    setCallsign(slot, "");
    stations_[slot].latitude = kRemovedLatitude;
    auto entry = std::find(station_order_.begin(), station_order_.end(), slot);
    if (entry != station_order_.end()) {
        station_order_.erase(entry);
        --times_listed_[slot];
    }
    RefreshAtcList();
}

int AtcStations::StationDistanceNm(std::size_t slot) const {
    const AtcStation& station = stations_.at(slot);
    return DistanceNm(station.latitude, station.longitude, aircraft_.latitude, aircraft_.longitude);
}

void AtcStations::ListBox_ATCClick(int row) {
    if (!list_mode_ || row < 0 || static_cast<std::size_t>(row) >= station_order_.size()) {
        return;
    }
    const std::size_t slot = station_order_[static_cast<std::size_t>(row)];
    selected_station_ = slot;
    AtcStation& station = stations_[slot];
    // Sent whether or not the link is up; the link drops it when it is not.
    send_line_(ComposeAtisQuery(identity_.atc_identifier, station.callsign));

    station.atis_lines.clear();
    ++generation_;
    appended_lines_.clear();
    shown_ = Shown::Header;
    header_ = padded(station.callsign, 9) + "  " + station.frequency + "    ATIS:";
    list_mode_ = false;
}

std::optional<std::string> AtcStations::TakeRelayLine() {
    if (stations_.empty() || !selected_station_) {
        return std::nullopt;
    }
    std::vector<std::string>& lines = stations_[*selected_station_].atis_lines;
    if (lines.empty()) {
        return std::nullopt;
    }
    std::string line = std::move(lines.front());
    lines.erase(lines.begin());
    return line;
}

std::size_t AtcStations::line_count() const {
    switch (shown_) {
        case Shown::Stations:
            return station_order_.size() + appended_lines_.size();
        case Shown::Header:
            return 1 + appended_lines_.size();
        case Shown::Nothing:
            break;
    }
    return appended_lines_.size();
}

std::string AtcStations::line(std::size_t index) const {
    std::size_t base = 0;
    if (shown_ == Shown::Stations) {
        if (index < station_order_.size()) {
            return stationLine(station_order_[index]);
        }
        base = station_order_.size();
    } else if (shown_ == Shown::Header) {
        if (index == 0) {
            return header_;
        }
        base = 1;
    }
    return appended_lines_.at(index - base);
}

std::size_t AtcStations::takeSlot() {
    auto free = slots_by_callsign_.find(std::string());
    if (free != slots_by_callsign_.end() && !free->second.empty()) {
        return *free->second.rbegin();
    }
    stations_.emplace_back();
    times_listed_.push_back(0);
    std::size_t slot = stations_.size() - 1;
    slots_by_callsign_[std::string()].insert(slot);
    return slot;
}

void AtcStations::setCallsign(std::size_t slot, const std::string& callsign) {
    keepShownValues(slot);
    std::string& current = stations_[slot].callsign;
    auto old = slots_by_callsign_.find(current);
    if (old != slots_by_callsign_.end()) {
        old->second.erase(slot);
        if (old->second.empty()) {
            slots_by_callsign_.erase(old);
        }
    }
    slots_by_callsign_[callsign].insert(slot);
    current = callsign;
}

void AtcStations::setValues(std::size_t slot, const FieldList& fields) {
    keepShownValues(slot);
    AtcStation& station = stations_[slot];
    station.frequency = "1" + Field(fields, 1);
    station.facility = LookupFacility(ini_, Field(fields, 2));
    station.visual_range = Field(fields, 3);
    // A position that is not a number puts the station at 0, as before its first "%".
    station.latitude = ParseDecimalNumber(Field(fields, 5)).value_or(0);
    station.longitude = ParseDecimalNumber(Field(fields, 6)).value_or(0);
    // The altitude is not kept, but a line without a whole number there is refused.
    (void)ParseWholeNumber(Field(fields, 7));
}

void AtcStations::listSlot(std::size_t slot) {
    station_order_.push_back(slot);
    ++times_listed_[slot];
    RefreshAtcList();
}

void AtcStations::keepShownValues(std::size_t slot) {
    if (shown_ != Shown::Stations || times_listed_[slot] == 0) {
        return;
    }
    if (shown_values_.size() < stations_.size()) {
        shown_values_.resize(stations_.size());
    }
    std::optional<ShownValues>& kept = shown_values_[slot];
    if (kept) {
        return;
    }
    const AtcStation& station = stations_[slot];
    kept = ShownValues{station.callsign,     station.facility, station.frequency,
                       station.visual_range, station.latitude, station.longitude};
    kept_slots_.push_back(slot);
}

std::optional<std::size_t> AtcStations::highestSlotOf(const std::string& callsign) const {
    auto found = slots_by_callsign_.find(callsign);
    if (found == slots_by_callsign_.end() || found->second.empty()) {
        return std::nullopt;
    }
    return *found->second.rbegin();
}

std::string AtcStations::stationLine(std::size_t slot) const {
    const AtcStation& station = stations_[slot];
    const ShownValues* kept =
        slot < shown_values_.size() && shown_values_[slot] ? &*shown_values_[slot] : nullptr;
    const std::string& callsign = kept ? kept->callsign : station.callsign;
    const std::string& facility = kept ? kept->facility : station.facility;
    const std::string& frequency = kept ? kept->frequency : station.frequency;
    const std::string& visual_range = kept ? kept->visual_range : station.visual_range;
    const int distance = DistanceNm(kept ? kept->latitude : station.latitude,
                                    kept ? kept->longitude : station.longitude,
                                    shown_aircraft_latitude_, shown_aircraft_longitude_);
    return padded(callsign, 8) + " " + padded(facility, 10) + " " + frequency + " " +
           std::to_string(distance) + "nm (" + visual_range + "nm)";
}

std::optional<std::string> RelayAtisLine(AtcStations& stations, const ShowInSimulator& show) {
    std::optional<std::string> line = stations.TakeRelayLine();
    if (!line) {
        return std::nullopt;
    }
    // The line leaves the list whether or not it could be shown: one line every tick.
    return show(*line);
}

}  // namespace tavoro
