#include "atc/AtcList.h"

#include <QStringDecoder>
#include <algorithm>
#include <charconv>
#include <string_view>

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

// Appends `text` to `out`, followed by blanks up to `width` characters; nothing added
// when it is as wide.
void appendPadded(std::string& out, std::string_view text, std::size_t width) {
    out += text;
    std::size_t characters = characterCount(text);
    if (characters < width) {
        out.append(width - characters, ' ');
    }
}

std::string padded(std::string_view text, std::size_t width) {
    std::string out;
    appendPadded(out, text, width);
    return out;
}

}  // namespace

AtcList::AtcList(StationTable& table, const AircraftState& aircraft)
    : table_(table), aircraft_(aircraft) {
    table_.SetListener(this);
}

AtcList::~AtcList() {
    table_.SetListener(nullptr);
}

void AtcList::RefreshAtcList() {
    shown_ = Shown::Stations;
    ++generation_;
    appended_lines_.clear();
    for (const ShownValues& kept : kept_values_) {
        kept_index_[kept.slot] = 0;
    }
    kept_values_.clear();
    shown_distances_ = DistanceFromAircraft(aircraft_.latitude, aircraft_.longitude);
}

void AtcList::ShowAtisHeader(std::size_t slot) {
    const AtcStation& station = table_.stations().at(slot);
    ++generation_;
    appended_lines_.clear();
    shown_ = Shown::Header;
    header_ = padded(station.callsign, 9) + "  " + station.frequency + "    ATIS:";
}

void AtcList::AppendText(const std::string& text) {
    std::size_t cut = bytesOfFirstCharacters(text, kTextLineWidth);
    appended_lines_.push_back(text.substr(0, cut));
    if (cut < text.size()) {
        appended_lines_.push_back(text.substr(cut));
    }
}

std::size_t AtcList::line_count() const {
    switch (shown_) {
        case Shown::Stations:
            return table_.station_order().size() + appended_lines_.size();
        case Shown::Header:
            return 1 + appended_lines_.size();
        case Shown::Nothing:
            break;
    }
    return appended_lines_.size();
}

std::string AtcList::line(std::size_t index) const {
    std::size_t base = 0;
    if (shown_ == Shown::Stations) {
        const std::vector<std::size_t>& order = table_.station_order();
        if (index < order.size()) {
            return stationLine(order[index]);
        }
        base = order.size();
    } else if (shown_ == Shown::Header) {
        if (index == 0) {
            return header_;
        }
        base = 1;
    }
    return appended_lines_.at(index - base);
}

void AtcList::ListedStationChanging(std::size_t slot) {
    if (shown_ != Shown::Stations) {
        return;
    }
    if (kept_index_.size() <= slot) {
        kept_index_.resize(table_.stations().size());
    }
    if (kept_index_[slot] != 0) {
        return;
    }
    const AtcStation& station = table_.stations()[slot];
    kept_values_.push_back(ShownValues{station.callsign, station.facility, station.frequency,
                                       station.visual_range, station.latitude, station.longitude,
                                       slot});
    kept_index_[slot] = static_cast<std::uint32_t>(kept_values_.size());
}

const AtcList::ShownValues* AtcList::keptValues(std::size_t slot) const {
    if (slot >= kept_index_.size() || kept_index_[slot] == 0) {
        return nullptr;
    }
    return &kept_values_[kept_index_[slot] - 1];
}

void AtcList::StationListChanged() {
    RefreshAtcList();
}

std::string AtcList::stationLine(std::size_t slot) const {
    const AtcStation& station = table_.stations()[slot];
    const ShownValues* kept = keptValues(slot);
    const std::string& callsign = kept ? kept->callsign : station.callsign;
    const std::string& facility = kept ? kept->facility : station.facility;
    const std::string& frequency = kept ? kept->frequency : station.frequency;
    const std::string& visual_range = kept ? kept->visual_range : station.visual_range;
    const int distance = shown_distances_.To(kept ? kept->latitude : station.latitude,
                                             kept ? kept->longitude : station.longitude);
    // Formed in one buffer: the list box asks for thousands of these in one tick.
    char digits[16];
    const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, distance);
    std::string out;
    appendPadded(out, callsign, 8);
    out += ' ';
    appendPadded(out, facility, 10);
    out += ' ';
    out += frequency;
    out += ' ';
    out.append(digits, end.ptr);
    out += "nm (";
    out += visual_range;
    out += "nm)";
    return out;
}

}  // namespace tavoro
