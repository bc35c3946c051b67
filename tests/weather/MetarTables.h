#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Settings.h"
#include "weather/ReportJson.h"
#include "weather/WeatherReport.h"

namespace tavoro {

// A failed comparison of two records prints both whole, as the JSON tool does.
inline void PrintTo(const WeatherReport& report, std::ostream* out) {
    *out << WeatherReportJson(report);
}

namespace test {

// The code tables by their place in CodeTables.
enum CodeTableIndex : std::size_t {
    kTurbulence,
    kShear,
    kDescriptor,
    kPhenomenon,
    kCloudType,
    kCloudTop,
    kPrecipitationIntensity,
    kPrecipitationType,
    kIcingRate,
};

// The text a code has in the tables below: its table's name and the code, so that a code
// looked up in the wrong table or at the wrong place shows.
inline std::string Word(CodeTableIndex table, std::string_view code) {
    return std::string(kCodeTableSections[table]) + " " + std::string(code);
}

// Tables with the codes the decoder's tests use. "cb" is written in lower case: a look-up
// ignores letter case.
inline const CodeTables& WordTables() {
    static const CodeTables tables = [] {
        const std::pair<CodeTableIndex, std::vector<std::string>> codes[] = {
            {kTurbulence, {"N", "O", "L", "M", "H", "S"}},
            {kShear, {"G", "M", "S", "I"}},
            {kDescriptor, {"TS", "SH", "FZ", "BL"}},
            {kPhenomenon, {"RA", "SN", "DZ", "FG"}},
            {kCloudType, {"CLR", "FEW", "SCT", "BKN", "OVC", "SC", "CU", "ST", "CI", "cb"}},
            {kCloudTop, {"F", "R", "A"}},
            {kPrecipitationIntensity, {"V", "L", "M", "H", "D"}},
            {kPrecipitationType, {"N", "R", "F", "H", "S"}},
            {kIcingRate, {"N", "T", "L", "M", "S"}},
        };
        CodeTables built;
        for (const auto& [index, keys] : codes) {
            built[index].section = std::string(kCodeTableSections[index]);
            for (const std::string& key : keys) {
                built[index].keys.push_back(key);
                built[index].texts.push_back(Word(index, key));
            }
        }
        return built;
    }();
    return tables;
}

}  // namespace test
}  // namespace tavoro
