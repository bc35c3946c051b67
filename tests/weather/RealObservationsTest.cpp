// Every observation of tests/data/metar, decoded in file order over one record with the
// code tables of a configuration file, checked against what the line itself shows.

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QString>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "core/Fields.h"
#include "core/IniFile.h"
#include "core/Settings.h"
#include "weather/MetarDecoder.h"
#include "weather/MetarTables.h"

namespace tavoro {
namespace {

const std::filesystem::path kData = TAVORO_METAR_DATA;

std::vector<std::string> Lines(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

bool Matches(const char* pattern, const std::string& text) {
    return QRegularExpression(pattern).match(QString::fromStdString(text)).hasMatch();
}

// The texts of the record that are pieces of the observation, each with a name to show
// when it is wrong.
std::vector<std::pair<std::string, const std::string*>> Pieces(const WeatherReport& report) {
    std::vector<std::pair<std::string, const std::string*>> pieces = {
        {"station", &report.station},
        {"report_type", &report.report_type},
        {"time", &report.time},
        {"weather_prefix", &report.weather_prefix},
        {"obscuration", &report.obscuration},
        {"pressure", &report.pressure},
    };
    auto wind = [&](const std::string& name, const WindLayer& layer) {
        for (const std::string* text :
             {&layer.altitude, &layer.appendix_value, &layer.direction, &layer.variable_from,
              &layer.variable_to, &layer.speed, &layer.unit, &layer.gust, &layer.depth}) {
            pieces.emplace_back(name, text);
        }
    };
    wind("surface_wind", report.surface_wind);
    for (const WindLayer& layer : report.winds_aloft) {
        wind("winds_aloft", layer);
    }
    for (const VisibilityLayer& layer : report.visibility) {
        for (const std::string* text : {&layer.distance, &layer.base, &layer.depth}) {
            pieces.emplace_back("visibility", text);
        }
    }
    for (const RunwayRange& range : report.runway_ranges) {
        pieces.emplace_back("runway", &range.runway);
        pieces.emplace_back("range", &range.range);
    }
    for (const CloudLayer& cloud : report.clouds) {
        pieces.emplace_back("cloud height", &cloud.height);
        pieces.emplace_back("cloud base", &cloud.base);
    }
    for (const TemperatureLayer& layer : report.temperatures) {
        for (const std::string* text : {&layer.temperature, &layer.dewpoint, &layer.altitude}) {
            pieces.emplace_back("temperatures", text);
        }
    }
    return pieces;
}

// The texts of the record that are looked up, each with its table.
std::vector<std::pair<test::CodeTableIndex, const std::string*>> Words(
    const WeatherReport& report) {
    std::vector<std::pair<test::CodeTableIndex, const std::string*>> words = {
        {test::kDescriptor, &report.weather_descriptor},
        {test::kPhenomenon, &report.weather_phenomenon},
    };
    for (const WindLayer* layer : {&report.surface_wind}) {
        words.emplace_back(test::kTurbulence, &layer->turbulence);
        words.emplace_back(test::kShear, &layer->shear);
    }
    for (const WindLayer& layer : report.winds_aloft) {
        words.emplace_back(test::kTurbulence, &layer.turbulence);
        words.emplace_back(test::kShear, &layer.shear);
    }
    for (const CloudLayer& cloud : report.clouds) {
        words.emplace_back(test::kCloudTop, &cloud.top);
        words.emplace_back(test::kTurbulence, &cloud.turbulence);
        words.emplace_back(test::kPrecipitationIntensity, &cloud.precipitation_intensity);
        words.emplace_back(test::kPrecipitationType, &cloud.precipitation_type);
        words.emplace_back(test::kIcingRate, &cloud.icing);
    }
    return words;
}

// No piece holds a separator of the observation: none runs into the next group, an
// extension or the appendix. Every looked-up text is empty or a word of its own table.
void ExpectNoGarbage(const WeatherReport& report, const CodeTables& tables) {
    for (const auto& [name, text] : Pieces(report)) {
        EXPECT_EQ(text->find_first_of(" &@|"), std::string::npos) << name << ": " << *text;
    }
    for (const auto& [table, text] : Words(report)) {
        const std::vector<std::string>& texts = tables[table].texts;
        EXPECT_TRUE(text->empty() || std::find(texts.begin(), texts.end(), *text) != texts.end())
            << kCodeTableSections[table] << ": " << *text;
    }
}

class RealObservationsTest : public ::testing::Test {
protected:
    void SetUp() override {
        IniFile ini(kData / "codes.ini");
        Settings settings;
        ASSERT_FALSE(LoadSettings(ini, settings, tables_).conversion_error);
        ASSERT_FALSE(tables_[test::kCloudType].keys.empty());
    }

    // Decodes `line` over the carried record, and again: the second decode must change
    // nothing.
    void Decode(const std::string& line) {
        DecodeMetar(line, tables_, report_);
        WeatherReport again = report_;
        DecodeMetar(line, tables_, again);
        EXPECT_EQ(again, report_);
    }

    CodeTables tables_;
    WeatherReport report_;
};

TEST_F(RealObservationsTest, SimulatorObservations) {
    const std::vector<std::string> lines = Lines(kData / "extended.txt");
    ASSERT_EQ(lines.size(), 160u);
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        Decode(line);

        const std::size_t marker = line.find("@@@");
        const FieldList groups = SplitText(line.substr(0, marker), ' ');
        const std::size_t entries =
            marker == std::string::npos ? 0 : SplitText(line.substr(marker), '|').size() - 1;
        std::vector<std::string> aloft, visibility, clouds, temperatures, weather;
        std::string pressure;
        for (std::size_t i = 3; i < groups.size(); ++i) {
            const std::string& group = groups[i];
            if (Matches("^\\d{5}(G\\d+)?KT&A\\d+[A-Z]{2}$", group)) {
                aloft.push_back(group);
            } else if (Matches("&B.*&D", group)) {
                visibility.push_back(group.substr(0, group.find('&')));
            } else if (Matches("^(\\d[A-Z]{2}\\d{3}&|CLR$|\\d{4}$)", group)) {
                clouds.push_back(group);
            } else if (Matches("^-?\\d+/-?\\d+", group)) {
                temperatures.push_back(group);
            } else if (Matches("^[+-]|VC", group)) {
                weather.push_back(group);
            } else if (Matches("^Q\\d{4}$", group)) {
                pressure = group.substr(1) + "mB";
            }
        }

        EXPECT_EQ(report_.station, line.substr(0, 4));
        EXPECT_EQ(report_.time, groups[1]);
        EXPECT_EQ(report_.elevation, std::stoi(groups[0].substr(6)));
        EXPECT_EQ(report_.surface_wind.direction, groups[2].substr(0, 3));
        EXPECT_EQ(report_.surface_wind.unit, "KT");
        EXPECT_TRUE(Matches("^\\d+$", report_.surface_wind.depth)) << report_.surface_wind.depth;
        EXPECT_FALSE(report_.surface_wind.turbulence.empty());
        EXPECT_FALSE(report_.surface_wind.shear.empty());

        ASSERT_EQ(report_.winds_aloft.size(), entries);
        for (std::size_t i = 0; i < entries; ++i) {
            const WindLayer& layer = report_.winds_aloft[i];
            EXPECT_TRUE(Matches("^\\d+00$", layer.altitude)) << layer.altitude;
            // A layer with its wind group in the body has that group's extension.
            if (i < aloft.size()) {
                const std::string& group = aloft[i];
                const std::size_t depth = group.find("&A") + 2;
                EXPECT_EQ(layer.depth, group.substr(depth, group.size() - depth - 2));
                EXPECT_FALSE(layer.turbulence.empty());
                EXPECT_FALSE(layer.shear.empty());
            } else {
                EXPECT_EQ(layer.depth, "");
            }
        }

        ASSERT_EQ(report_.visibility.size(), visibility.size());
        for (std::size_t i = 0; i < visibility.size(); ++i) {
            EXPECT_EQ(report_.visibility[i].distance, visibility[i]);
        }
        EXPECT_TRUE(report_.runway_ranges.empty());
        EXPECT_EQ(report_.obscuration, "");
        if (!weather.empty()) {
            EXPECT_FALSE(report_.weather_phenomenon.empty());
        }
        ASSERT_EQ(report_.clouds.size(), clouds.size());
        for (std::size_t i = 0; i < clouds.size(); ++i) {
            const CloudLayer& cloud = report_.clouds[i];
            if (clouds[i].size() == 4) {
                // A visibility in metres without its extension is taken for a cloud layer
                // whose cover no key matches.
                EXPECT_EQ(cloud, (CloudLayer{.height = "900"}));
                continue;
            }
            EXPECT_FALSE(cloud.cover.empty()) << clouds[i];
            if (clouds[i] != "CLR") {
                EXPECT_EQ(cloud.height, clouds[i].substr(3, 3) + "00");
                EXPECT_TRUE(Matches("^-?\\d+$", cloud.base)) << cloud.base;
                EXPECT_FALSE(cloud.top.empty());
                EXPECT_FALSE(cloud.icing.empty());
            }
        }
        ASSERT_EQ(report_.temperatures.size(), temperatures.size());
        for (std::size_t i = 0; i < temperatures.size(); ++i) {
            EXPECT_EQ(report_.temperatures[i].temperature,
                      temperatures[i].substr(0, temperatures[i].find('/')));
        }
        EXPECT_EQ(report_.pressure, pressure);
        ExpectNoGarbage(report_, tables_);
    }
}

TEST_F(RealObservationsTest, GroundStationReports) {
    const std::vector<std::string> lines = Lines(kData / "plain.txt");
    ASSERT_EQ(lines.size(), 74u);
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        Decode(line);

        FieldList groups = SplitText(line, ' ');
        std::string report_type;
        if (groups[0] == "METAR" || groups[0] == "SPECI") {
            report_type = groups[0];
            groups.erase(groups.begin());
        }
        EXPECT_EQ(report_.station, groups[0].substr(0, 4));
        if (!report_type.empty()) {
            EXPECT_EQ(report_.report_type, report_type);
        }
        EXPECT_EQ(report_.time, groups[1]);
        std::size_t wind = 2;
        while (groups[wind] == "AUTO" || groups[wind] == "COR") {
            ++wind;
        }
        EXPECT_EQ(report_.automatic, std::find(groups.begin() + 2, groups.begin() + wind, "AUTO") !=
                                         groups.begin() + wind);
        EXPECT_EQ(report_.surface_wind.direction, groups[wind].substr(0, 3));

        // When the temperature is the first group with a "/", the pressure right after it
        // is read.
        for (std::size_t i = wind; i + 1 < groups.size(); ++i) {
            if (groups[i].find('/') == std::string::npos) {
                continue;
            }
            if (Matches("^M?\\d\\d/(M?\\d\\d)?$", groups[i]) &&
                Matches("^[AQ]\\d{4}$", groups[i + 1])) {
                EXPECT_EQ(report_.pressure,
                          groups[i + 1].substr(1) + (groups[i + 1][0] == 'A' ? "inchHG" : "mB"));
            }
            break;
        }
        ExpectNoGarbage(report_, tables_);
    }
}

}  // namespace
}  // namespace tavoro
