#include "weather/MetarDecoder.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>

namespace tavoro {
namespace {

// The code tables by their place in CodeTables (the load order).
enum Table : std::size_t {
    kTurbulence,
    kShear,
    kConditionsDescriptor,
    kConditionsPhenomena,
    kCloudType,
    kCloudTop,
    kPrecipitationIntensity,
    kPrecipitationType,
    kIcingRate,
};
static_assert(kIcingRate + 1 == kCodeTableSections.size());

constexpr auto npos = std::string_view::npos;

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// EqualsIgnoringCase, here where the compiler can fold it into the look-up loop: codes are
// one to three letters and a decode compares a few hundred of them.
bool EqualCodes(std::string_view key, std::string_view code) {
    if (key.size() != code.size()) {
        return false;
    }
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (LowerAscii(key[i]) != LowerAscii(code[i])) {
            return false;
        }
    }
    return true;
}

// The text of the first key equal to `code` ignoring letter case; none on a miss. A pointer,
// not a copy: decoding looks up a dozen codes and should not copy each text.
const std::string* Find(const CodeTables& tables, Table table, std::string_view code) {
    const CodeTable& codes = tables[table];
    for (std::size_t i = 0; i < codes.keys.size(); ++i) {
        if (EqualCodes(codes.keys[i], code)) {
            return i < codes.texts.size() ? &codes.texts[i] : nullptr;
        }
    }
    return nullptr;
}

// Sets `field` to the text of `code`; a miss leaves it as it was.
void AssignCode(std::string& field, const CodeTables& tables, Table table, std::string_view code) {
    if (const std::string* text = Find(tables, table, code)) {
        field = *text;
    }
}

// The one-character code at `index` (from 0) of `group`; a group too short for it has no
// code there, which counts as a miss.
void AssignCodeAt(std::string& field, const CodeTables& tables, Table table, std::string_view group,
                  std::size_t index) {
    if (index < group.size()) {
        AssignCode(field, tables, table, group.substr(index, 1));
    }
}

// Characters of `text` from position `start` (from 1) on, at most `count` of them: a start
// below 1 counts as 1, a count past the end stops there, a count of 0 or less is empty.
std::string_view Take(std::string_view text, std::ptrdiff_t start, std::ptrdiff_t count) {
    start = start < 1 ? 1 : start;
    if (count <= 0 || start > static_cast<std::ptrdiff_t>(text.size())) {
        return {};
    }
    return text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(count));
}

// Everything of `text` from index `from` (from 0) on; empty past the end.
std::string_view From(std::string_view text, std::size_t from) {
    return from < text.size() ? text.substr(from) : std::string_view();
}

// Decimal digits with an optional sign, in the 32-bit range; anything else is no number.
std::optional<std::int32_t> ReadInteger(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        i = 1;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - '0');
        if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) {
            return std::nullopt;
        }
    }
    value = negative ? -value : value;
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

// A number given in hundreds of feet, in feet ("30" gives "3000"); a text that is no
// number is kept as it stands.
void AssignHundreds(std::string& field, std::string_view text) {
    const std::optional<std::int32_t> hundreds = ReadInteger(text);
    if (!hundreds) {
        field.assign(text);
        return;
    }
    char digits[24];
    const auto result =
        std::to_chars(digits, digits + sizeof digits, std::int64_t{*hundreds} * 100);
    field.assign(digits, result.ptr);
}

// The groups of the text to decode, cut at single blanks, read one at a time without
// copying. Empty groups from doubled or trailing blanks count.
class Groups {
public:
    explicit Groups(std::string_view text) : text_(text) { FindEnd(); }

    // False once the cursor has passed the last group: decoding ends there.
    bool any() const { return !past_end_; }
    std::string_view current() const { return text_.substr(start_, end_ - start_); }

    void Advance() {
        if (end_ == text_.size()) {
            past_end_ = true;
            return;
        }
        start_ = end_ + 1;
        FindEnd();
    }

private:
    void FindEnd() {
        end_ = text_.find(' ', start_);
        end_ = end_ == npos ? text_.size() : end_;
    }

    std::string_view text_;
    std::size_t start_ = 0;
    std::size_t end_ = 0;
    bool past_end_ = false;
};

bool IsBlankOrControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= ' ' || byte == 0x7f;
}

std::string_view TrimBlanksAndControls(std::string_view text) {
    while (!text.empty() && IsBlankOrControl(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlankOrControl(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// One "|"-terminated entry: altitude in hundreds of feet, a second value, direction and
// speed in knots, separated by single blanks. A value the entry lacks is empty.
void ReadAppendixEntry(std::string_view entry, WindLayer& layer) {
    std::string_view values[4];
    std::size_t start = 0;
    for (std::string_view& value : values) {
        const std::size_t blank = entry.find(' ', start);
        if (blank == npos) {
            value = entry.substr(start);
            break;
        }
        value = entry.substr(start, blank - start);
        start = blank + 1;
    }
    AssignHundreds(layer.altitude, values[0]);
    layer.appendix_value.assign(values[1]);
    layer.direction.assign(values[2]);
    layer.speed.assign(values[3]);
    layer.unit = "KT";
}

// Every piece before a "|" is an entry; what follows the last "|" is none.
void ReadAppendix(std::string_view appendix, std::vector<WindLayer>& layers) {
    std::size_t start = 0;
    for (std::size_t bar = appendix.find('|'); bar != npos; bar = appendix.find('|', start)) {
        ReadAppendixEntry(TrimBlanksAndControls(appendix.substr(start, bar - start)),
                          layers.emplace_back());
        start = bar + 1;
    }
}

// The first group: the station, then optionally "&A" and the elevation in metres.
void ReadStation(std::string_view group, WeatherReport& report) {
    // The identifier ends at the extension: a three-letter station keeps its elevation.
    const std::string_view identifier = group.substr(0, group.find('&'));
    report.station.assign(identifier.substr(0, 4));
    const std::string_view extension = group.substr(identifier.size());
    if (extension.starts_with("&A")) {
        // Every digit counts: a station 1655 m high is not 165 m high.
        const std::optional<std::int32_t> metres = ReadInteger(extension.substr(2));
        report.elevation = metres && *metres >= std::numeric_limits<std::int16_t>::min() &&
                                   *metres <= std::numeric_limits<std::int16_t>::max()
                               ? static_cast<std::int16_t>(*metres)
                               : std::int16_t{0};
    }
}

// The wind's "&" extension: a marker letter, the depth, a turbulence and a shear code. A
// code the extension is too short to hold, or that no key matches, leaves its field.
void ReadWindExtension(std::string_view group, const CodeTables& tables, WindLayer& wind) {
    const std::string_view extension = From(group, group.find('&') + 2);
    const std::size_t size = extension.size();
    if (size >= 2) {
        AssignCode(wind.turbulence, tables, kTurbulence, extension.substr(size - 2, 1));
    }
    if (size >= 1) {
        AssignCode(wind.shear, tables, kShear, extension.substr(size - 1, 1));
    }
    wind.depth.assign(extension.substr(0, size >= 2 ? size - 2 : 0));
}

bool EndsWithWindUnit(std::string_view text) {
    return text.ends_with("KT") || text.ends_with("KMH") || text.ends_with("MPS");
}

// A winds-aloft group: a wind with its unit, then the "&" extension. Any group with an "&"
// would also take the visibility group ("100KM&B-581&D3048") of an observation whose
// appendix lists more layers than its body has wind groups, and lose it.
bool IsWindWithExtension(std::string_view group) {
    const std::size_t amp = group.find('&');
    return amp != npos && EndsWithWindUnit(group.substr(0, amp));
}

void ReadSurfaceWind(std::string_view group, const CodeTables& tables, WindLayer& wind) {
    std::string_view speeds = group;
    if (const std::size_t amp = group.find('&'); amp != npos) {
        ReadWindExtension(group, tables, wind);
        speeds = group.substr(0, amp);
    }
    if (speeds.ends_with("KMH") || speeds.ends_with("MPS")) {
        wind.unit.assign(speeds.substr(speeds.size() - 3));
        speeds.remove_suffix(3);
    } else if (speeds.ends_with("KT")) {
        wind.unit = "KT";
        speeds.remove_suffix(2);
    }
    wind.direction.assign(speeds.substr(0, 3));
    if (const std::size_t gust = speeds.find('G'); gust != npos) {
        wind.speed.assign(gust > 3 ? speeds.substr(3, gust - 3) : std::string_view());
        wind.gust.assign(speeds.substr(gust + 1));
    } else {
        wind.speed.assign(From(speeds, 3));
        wind.gust.clear();
    }
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Three digits, "V", three digits: a variable direction. Only that form, so that a "CAVOK"
// right after a wind is not taken for one and still reaches its own step.
bool IsVariableDirection(std::string_view group) {
    return group.size() == 7 && IsDigit(group[0]) && IsDigit(group[1]) && IsDigit(group[2]) &&
           group[3] == 'V' && IsDigit(group[4]) && IsDigit(group[5]) && IsDigit(group[6]);
}

void ReadVariableDirection(std::string_view group, WindLayer& wind) {
    wind.variable_from.assign(group.substr(0, 3));
    wind.variable_to.assign(group.substr(4));
}

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != npos;
}

bool Contains(std::string_view text, char c) {
    return text.find(c) != npos;
}

// A present-weather group has an intensity or "VC". It never has an extension or a "/":
// "-" alone would also take a cloud layer whose precipitation base is negative
// ("2CU053&CU000FNMN-19N") or a temperature below zero ("-3/-8"), and lose it.
bool IsPresentWeather(std::string_view group) {
    return (Contains(group, '+') || Contains(group, '-') || Contains(group, "VC")) &&
           !Contains(group, '&') && !Contains(group, '/');
}

void ReadPresentWeather(std::string_view group, const CodeTables& tables, WeatherReport& report) {
    const auto length = static_cast<std::ptrdiff_t>(group.size());
    AssignCode(report.weather_phenomenon, tables, kConditionsPhenomena, Take(group, length - 1, 2));
    AssignCode(report.weather_descriptor, tables, kConditionsDescriptor,
               Take(group, length - 3, 2));
    report.weather_prefix.assign(Take(group, 1, length - 4));
}

bool IsObscuration(std::string_view group) {
    return group.starts_with("FEW") || group.starts_with("SCT") || group.starts_with("BKN");
}

// A cloud group: a cover code of three letters, or an octas digit and a two-letter type;
// three height digits in hundreds of feet; optionally "&" and type (2), 3 digits, top,
// turbulence, precipitation intensity and type, 3 base digits and the icing code.
void ReadCloud(std::string_view group, const CodeTables& tables, CloudLayer& cloud) {
    if (const std::string* cover = Find(tables, kCloudType, Take(group, 1, 3))) {
        cloud.cover = *cover;
    } else if (const std::string* type = Find(tables, kCloudType, Take(group, 2, 2))) {
        cloud.cover.assign(Take(group, 1, 1)).append("/8 ").append(*type);
    }
    cloud.height.assign(Take(group, 4, 3)).append("00");
    const std::size_t amp = group.find('&');
    if (amp == npos) {
        return;
    }
    AssignCodeAt(cloud.top, tables, kCloudTop, group, amp + 6);
    AssignCodeAt(cloud.turbulence, tables, kTurbulence, group, amp + 7);
    AssignCodeAt(cloud.precipitation_intensity, tables, kPrecipitationIntensity, group, amp + 8);
    AssignCodeAt(cloud.precipitation_type, tables, kPrecipitationType, group, amp + 9);
    AssignHundreds(cloud.base, From(group, amp + 10).substr(0, 3));
    AssignCodeAt(cloud.icing, tables, kIcingRate, group, amp + 13);
}

void ReadTemperature(std::string_view group, TemperatureLayer& layer) {
    const std::size_t slash = group.find('/');
    layer.temperature.assign(group.substr(0, slash));
    if (const std::size_t amp = group.find('&'); amp != npos) {
        layer.dewpoint.assign(amp > slash ? group.substr(slash + 1, amp - slash - 1)
                                          : std::string_view());
        layer.altitude.assign(From(group, amp + 2));
    } else {
        layer.dewpoint.assign(group.substr(slash + 1));
    }
}

// The groups after the station, one step after the other. A step reads the group at the
// cursor only while one is left; once they run out, the later steps touch nothing.
void DecodeGroups(Groups& groups, const CodeTables& tables, WeatherReport& report) {
    if (!groups.any()) {
        return;
    }
    if (groups.current() == "METAR" || groups.current() == "SPECI") {
        report.report_type.assign(groups.current());
        groups.Advance();
        if (!groups.any()) {
            return;
        }
    }
    report.automatic = groups.current() == "AUTO";
    if (report.automatic) {
        groups.Advance();
        if (!groups.any()) {
            return;
        }
    }
    report.corrected = groups.current() == "COR";
    if (report.corrected) {
        groups.Advance();
        if (!groups.any()) {
            return;
        }
    }

    report.time.assign(groups.current());
    groups.Advance();
    // Reports from the ground stations give "AUTO" and "COR" after the time, where they
    // would otherwise be taken for the wind.
    while (groups.any() && (groups.current() == "AUTO" || groups.current() == "COR")) {
        (groups.current() == "AUTO" ? report.automatic : report.corrected) = true;
        groups.Advance();
    }
    if (!groups.any()) {
        return;
    }
    if (groups.current() == "NIL") {
        return;
    }

    WindLayer& surface = report.surface_wind;
    ReadSurfaceWind(groups.current(), tables, surface);
    groups.Advance();
    if (!groups.any()) {
        return;
    }
    if (IsVariableDirection(groups.current())) {
        ReadVariableDirection(groups.current(), surface);
        groups.Advance();
    } else {
        surface.variable_from.clear();
        surface.variable_to.clear();
    }

    // Each appendix layer takes the next wind group's extension and the variable direction
    // that may follow it; its own direction and speed stay those of the appendix.
    for (WindLayer& layer : report.winds_aloft) {
        if (!groups.any()) {
            return;
        }
        if (!IsWindWithExtension(groups.current())) {
            break;
        }
        ReadWindExtension(groups.current(), tables, layer);
        groups.Advance();
        if (!groups.any()) {
            return;
        }
        if (IsVariableDirection(groups.current())) {
            ReadVariableDirection(groups.current(), layer);
            groups.Advance();
        }
    }
    if (!groups.any()) {
        return;
    }

    report.cavok = groups.current() == "CAVOK";
    if (report.cavok) {
        groups.Advance();
        if (!groups.any()) {
            return;
        }
    }

    report.visibility.clear();
    for (std::string_view group;
         groups.any() && Contains(group = groups.current(), "&B") && Contains(group, "&D");
         groups.Advance()) {
        VisibilityLayer& layer = report.visibility.emplace_back();
        const std::size_t base = group.find("&B");
        const std::size_t depth = group.find("&D");
        layer.distance.assign(group.substr(0, base));
        layer.base.assign(depth > base + 2 ? group.substr(base + 2, depth - base - 2)
                                           : std::string_view());
        layer.depth.assign(group.substr(depth + 2));
    }
    if (!groups.any()) {
        return;
    }

    report.runway_ranges.clear();
    for (std::string_view group;
         groups.any() && (group = groups.current()).starts_with('R') && Contains(group, "FT");
         groups.Advance()) {
        RunwayRange& range = report.runway_ranges.emplace_back();
        // Without a "/" the group is all runway and gives no range.
        const std::size_t slash = group.find('/');
        range.runway.assign(group.substr(1, slash == npos ? npos : slash - 1));
        range.range.assign(slash == npos ? std::string_view() : group.substr(slash + 1));
    }
    if (!groups.any()) {
        return;
    }

    if (IsPresentWeather(groups.current())) {
        ReadPresentWeather(groups.current(), tables, report);
        groups.Advance();
        if (!groups.any()) {
            return;
        }
    } else {
        report.weather_phenomenon.clear();
        report.weather_descriptor.clear();
    }

    if (IsObscuration(groups.current())) {
        report.obscuration.assign(groups.current());
        groups.Advance();
        if (!groups.any()) {
            return;
        }
    } else {
        report.obscuration.clear();
    }

    report.clouds.clear();
    for (; groups.any() && !Contains(groups.current(), '/'); groups.Advance()) {
        ReadCloud(groups.current(), tables, report.clouds.emplace_back());
    }
    if (!groups.any()) {
        return;
    }

    report.temperatures.clear();
    for (; groups.any() && Contains(groups.current(), '/'); groups.Advance()) {
        ReadTemperature(groups.current(), report.temperatures.emplace_back());
    }
    if (!groups.any()) {
        return;
    }

    const std::string_view pressure = groups.current();
    if (pressure.starts_with('A')) {
        report.pressure.assign(pressure.substr(1)).append("inchHG");
    } else if (pressure.starts_with('Q')) {
        report.pressure.assign(pressure.substr(1)).append("mB");
    }
}

}  // namespace

void DecodeMetar(std::string_view observation, const CodeTables& tables, WeatherReport& report) {
    report.winds_aloft.clear();
    std::string_view body = observation;
    if (const std::size_t appendix = observation.find("@@@"); appendix != npos) {
        body = observation.substr(0, appendix);
        ReadAppendix(observation.substr(appendix + 3), report.winds_aloft);
    }
    Groups groups(body);
    // A ground station's report may name its type before the station ("METAR WSSS ...");
    // alone, the word is read as any first group is.
    if (const std::string_view first = groups.current();
        (first == "METAR" || first == "SPECI") && first.size() < body.size()) {
        report.report_type.assign(first);
        groups.Advance();
    }
    ReadStation(groups.current(), report);
    groups.Advance();
    DecodeGroups(groups, tables, report);
}

}  // namespace tavoro
