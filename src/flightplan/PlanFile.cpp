#include "flightplan/PlanFile.h"

#include <QFile>
#include <QFileInfo>
#include <QString>
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "core/Fields.h"
#include "core/IniFile.h"
#include "core/Numbers.h"
#include "core/Settings.h"
#include "core/Text.h"

namespace tavoro {
namespace {

constexpr std::string_view kIniHeader = "[FLIGHTPLAN]";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf8Declaration = R"(<?xml version="1.0" encoding="UTF-8"?>)";
// Planning tools declare the Windows code page their texts are written in.
constexpr std::string_view kWindowsDeclaration = R"(<?xml version="1.0" encoding="Windows-1252"?>)";
constexpr std::string_view kClosingLine = "</SimBase.Document>";
// Longer than either header: a first line this long is neither, whatever follows.
constexpr qint64 kHeaderReadLimit = 4096;

// Spaces and control characters off both ends, as plan lines are compared.
std::string_view trimControls(std::string_view text) {
    auto isControlOrSpace = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!text.empty() && isControlOrSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isControlOrSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The characters Windows-1252 puts at 0x80 to 0x9F; the five it leaves undefined keep their
// own code, as Windows decodes them.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::string windows1252ToUtf8(std::string_view bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        text += code >= 0x80 && code < 0xA0 ? QChar(kWindows1252High[code - 0x80]) : QChar(code);
    }
    return text.toStdString();
}

enum class TextEncoding { Utf8, Windows1252 };

// The encoding the XML declaration names, with or without a byte-order mark before it;
// nothing when the line is no declaration of the form.
std::optional<TextEncoding> xmlDeclaration(std::string_view first_line) {
    if (StartsWith(first_line, kByteOrderMark)) {
        first_line.remove_prefix(kByteOrderMark.size());
    }
    if (first_line == kUtf8Declaration) {
        return TextEncoding::Utf8;
    }
    if (first_line == kWindowsDeclaration) {
        return TextEncoding::Windows1252;
    }
    return std::nullopt;
}

// The line end at or after `from`: its position and length (LF, CR LF or a lone CR); the
// text's size and 0 when the rest is one unended line.
std::pair<std::size_t, std::size_t> lineEnd(std::string_view text, std::size_t from) {
    std::size_t at = text.find_first_of("\r\n", from);
    if (at == std::string_view::npos) {
        return {text.size(), 0};
    }
    if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
        return {at, 2};
    }
    return {at, 1};
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        auto [end, length] = lineEnd(text, start);
        lines.push_back(text.substr(start, end - start));
        start = end + length;
    }
    return lines;
}

// The file-name part of a path as Windows or Linux writes it: the simulator names its
// plans with backslashes.
std::string fileNamePart(const std::string& path) {
    auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isFile(const std::string& path) {
    return QFileInfo(QString::fromStdString(path)).isFile();
}

std::string unreadableMessage(const std::string& path, const QString& reason) {
    return "Impossible de lire le plan de vol " + path + " (" + reason.toStdString() + ")";
}

// The name to open: `name` when it is a file, else the same file name in the remembered
// folder, else in the folder the user picks, which is then remembered.
std::string locate(const std::string& name, const PlanFileAccess& access, PlanLoadResult& result) {
    if (isFile(name)) {
        return name;
    }
    const std::string file_name = fileNamePart(name);
    const std::string remembered =
        access.config ? access.config->ReadString("FSX_plan", "path", "error") : "error";
    std::string fallback = remembered + file_name;
    if (isFile(fallback)) {
        return fallback;
    }
    std::optional<std::string> chosen;
    if (access.choose_file) {
        chosen = access.choose_file(FileDialogRequest{std::string(kMissingPlanDialogTitle),
                                                      access.dialog_folder,
                                                      std::string(kPlanFileFilter)});
    }
    if (!chosen) {
        result.status = PlanLoadStatus::Unreadable;
        result.message = std::string(kPlanNotFoundMessage) + name;
        return fallback;
    }
    // The folder only: the user pointed at where the plans are, the name stays the one the
    // simulator gave.
    const std::string folder = FolderOf(*chosen);
    if (access.config && !SavePlanFolder(*access.config, folder)) {
        result.config_unwritable = true;
    }
    return folder + file_name;
}

struct XmlValues {
    std::optional<std::string> rules;
    std::optional<std::string> altitude;
};

// The characters after `prefix` up to the line's first "</"; empty when it has none.
std::string elementValue(std::string_view line, std::size_t prefix_length) {
    auto close = line.find("</");
    if (close == std::string_view::npos || close < prefix_length) {
        return {};
    }
    return std::string(line.substr(prefix_length, close - prefix_length));
}

// The identifier of an `<ATCWaypoint id="...">` line: from its 18th character up to the
// one before the character that precedes the first ">".
std::string waypointIdentifier(std::string_view line) {
    constexpr std::size_t kStart = 17;
    auto greater = line.find('>');
    if (greater == std::string_view::npos || greater < kStart + 1) {
        return {};
    }
    return std::string(line.substr(kStart, greater - 1 - kStart));
}

void applyLoadedDefaults(FlightPlan& plan) {
    plan.speed = kLoadedSpeed;
    plan.actual_time = kLoadedActualTime;
    plan.time_enroute = kLoadedTimeEnroute;
    plan.time_fuel = kLoadedTimeFuel;
}

void loadXml(FlightPlan& plan, std::string_view body, TextEncoding encoding) {
    // Texts are kept as UTF-8, which is what the panel and the wire take.
    auto text = [encoding](std::string value) {
        return encoding == TextEncoding::Windows1252 ? windows1252ToUtf8(value) : value;
    };
    plan.route_points.clear();
    plan.route_text.clear();
    XmlValues raw;
    // A file that ends before its closing line (a copy cut short) is applied as far as it
    // was read: what it holds is the plan as far as it goes.
    for (std::string_view whole_line : splitLines(body)) {
        const std::string_view line = trimControls(whole_line);
        if (line == kClosingLine) {
            break;
        }
        if (StartsWith(line, "<Title>")) {
            plan.title = text(elementValue(line, 7));
        }
        if (StartsWith(line, "<FPType>")) {
            raw.rules = text(elementValue(line, 8));
        }
        if (StartsWith(line, "<CruisingAlt>")) {
            raw.altitude = text(elementValue(line, 13));
        }
        if (StartsWith(line, "<DepartureID>")) {
            plan.departure = text(elementValue(line, 13));
        }
        if (StartsWith(line, "<DestinationID>")) {
            plan.destination = text(elementValue(line, 15));
        }
        if (StartsWith(line, "<ATCWaypoint id=")) {
            std::string id = text(waypointIdentifier(line));
            if (id != plan.departure && id != plan.destination) {
                plan.route_text = plan.route_text.empty() ? id : plan.route_text + "/" + id;
                plan.route_points.push_back(std::move(id));
            }
        }
    }
    // An element the file does not have leaves its field as it was.
    if (raw.rules) {
        plan.flight_rules = *raw.rules == "IFR" ? "I" : "V";
    }
    if (raw.altitude) {
        plan.cruise_level = CruiseLevelFromFeet(*raw.altitude);
    }
    applyLoadedDefaults(plan);
}

void removeFirst(std::vector<std::string>& points, const std::string& value) {
    auto found = std::find(points.begin(), points.end(), value);
    if (found != points.end()) {
        points.erase(found);
    }
}

// "N43* 38.10'": a latitude as the INI form writes it.
bool isIniLatitude(std::string_view text) {
    text = TrimBlanks(text);
    return text.size() >= 2 && (text[0] == 'N' || text[0] == 'S') && text[1] >= '0' &&
           text[1] <= '9';
}

// The identifier of a waypoint value. Two layouts are found in real files: the later one
// "region, ident, , name, type, lat, lon, alt, airway", where the identifier is the second
// part, and the older "ident, type, lat, lon, alt," whose second part is only the type
// letter, told apart by the latitude in its third part. A value without a comma names no
// point of either layout and is skipped.
std::optional<std::string> iniWaypointIdentifier(const FieldList& parts) {
    if (parts.size() < 2) {
        return std::nullopt;
    }
    const bool older_layout = parts.size() >= 3 && isIniLatitude(parts[2]);
    return std::string(TrimBlanks(older_layout ? parts[0] : parts[1]));
}

void loadIni(FlightPlan& plan, const std::string& path, const std::string& section) {
    IniFile ini(Utf8Path(path));
    plan.route_points.clear();
    plan.route_text.clear();
    const std::vector<std::string> keys = ini.ReadKeyNames(section);
    // The section's first key is never examined: the files put a version or the title there.
    for (std::size_t k = 1; k < keys.size(); ++k) {
        const std::string& key = keys[k];
        const std::string value = ini.ReadString(section, key, "error");
        const FieldList parts = SplitText(value, ',');
        if (key == "title") {
            plan.title = value;
        } else if (key == "type") {
            plan.flight_rules = value == "IFR" ? "I" : "V";
        } else if (key == "departure_id") {
            plan.departure = parts[0];
        } else if (key == "destination_id") {
            plan.destination = parts[0];
        } else if (key == "alternate_name") {
            plan.alternate = value;
        } else if (key == "cruising_altitude") {
            plan.cruise_level = CruiseLevelFromFeet(value);
        } else if (StartsWith(key, "waypoint")) {
            if (std::optional<std::string> id = iniWaypointIdentifier(parts)) {
                plan.route_points.push_back(std::move(*id));
            }
        }
    }
    removeFirst(plan.route_points, plan.departure);
    removeFirst(plan.route_points, plan.destination);
    RebuildRouteText(plan);
    applyLoadedDefaults(plan);
}

}  // namespace

std::string CruiseLevelFromFeet(std::string_view feet) {
    double value = 0;
    try {
        value = ParseWholeNumber(feet);
    } catch (const ConversionError&) {
        // Later planners write "25000.000": a decimal number is read alike, within the range
        // of a whole number, and the message for anything else stays the whole number's.
        const std::optional<double> decimal = ParseDecimalNumber(feet);
        if (!decimal || std::fabs(*decimal) > std::numeric_limits<int>::max()) {
            throw;
        }
        value = *decimal;
    }
    // A half of a hundred is exact in a double, so the default rounding takes it to even.
    const auto level = static_cast<long long>(std::nearbyint(value / 100.0));
    return std::to_string(level);
}

std::string FolderOf(const std::string& file_path) {
    std::string folder = QFileInfo(QString::fromStdString(file_path)).absolutePath().toStdString();
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

PlanLoadResult LoadPlanFile(FlightPlan& plan, const std::string& name,
                            const PlanFileAccess& access) {
    PlanLoadResult result;
    result.path = locate(name, access, result);
    if (!result.loaded()) {
        return result;
    }

    QFile file(QString::fromStdString(result.path));
    if (!file.open(QIODevice::ReadOnly)) {
        result.status = PlanLoadStatus::Unreadable;
        result.message = unreadableMessage(result.path, file.errorString());
        return result;
    }
    const QByteArray head = file.read(kHeaderReadLimit);
    if (file.error() != QFileDevice::NoError) {
        result.status = PlanLoadStatus::Unreadable;
        result.message = unreadableMessage(result.path, file.errorString());
        return result;
    }
    const std::string_view head_view(head.constData(), static_cast<std::size_t>(head.size()));
    auto [first_end, first_end_length] = lineEnd(head_view, 0);
    const std::string_view first_line = head_view.substr(0, first_end);

    if (EqualsIgnoringCase(first_line, kIniHeader)) {
        result.form = PlanFileForm::Ini;
        file.close();
        try {
            loadIni(plan, result.path, std::string(first_line.substr(1, 10)));
        } catch (const ConversionError& error) {
            result.status = PlanLoadStatus::ConversionFailed;
            result.message = error.what();
        }
        return result;
    }
    const std::optional<TextEncoding> encoding = xmlDeclaration(first_line);
    if (!encoding) {
        result.status = PlanLoadStatus::NotConforming;
        result.message = kNotConformingMessage;
        return result;
    }
    result.form = PlanFileForm::Xml;
    // The whole file is read before anything changes, so a read error leaves the plan as it
    // was.
    const QByteArray rest = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.status = PlanLoadStatus::Unreadable;
        result.message = unreadableMessage(result.path, file.errorString());
        return result;
    }
    std::string body(head_view.substr(first_end + first_end_length));
    body.append(rest.constData(), static_cast<std::size_t>(rest.size()));
    try {
        loadXml(plan, body, *encoding);
    } catch (const ConversionError& error) {
        result.status = PlanLoadStatus::ConversionFailed;
        result.message = error.what();
    }
    return result;
}

}  // namespace tavoro
