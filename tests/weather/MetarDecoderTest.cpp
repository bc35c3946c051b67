#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "support/Seed.h"
#include "weather/MetarDecoder.h"
#include "weather/MetarTables.h"

namespace tavoro {
namespace {

using test::kCloudTop;
using test::kCloudType;
using test::kDescriptor;
using test::kIcingRate;
using test::kPhenomenon;
using test::kPrecipitationIntensity;
using test::kPrecipitationType;
using test::kShear;
using test::kTurbulence;
using test::Word;

constexpr char kWorkedExample[] =
    "KXYZ&A131 121756Z 27010G20KT&D980NG 150V210 28025KT&A1500NG 15SM&B-131&D3048 "
    "R16L/1200FT +TSRA 6SC023&SC001FNMN020N 12/08&A0 A2992 @@@ 30 a 270 15|";

WeatherReport Decoded(std::string_view text, WeatherReport report = {}) {
    DecodeMetar(text, test::WordTables(), report);
    return report;
}

WeatherReport WorkedExample() {
    return WeatherReport{
        .station = "KXYZ",
        .elevation = 131,
        .time = "121756Z",
        .surface_wind = {.direction = "270",
                         .variable_from = "150",
                         .variable_to = "210",
                         .speed = "10",
                         .unit = "KT",
                         .gust = "20",
                         .depth = "980",
                         .turbulence = Word(kTurbulence, "N"),
                         .shear = Word(kShear, "G")},
        .winds_aloft = {{.altitude = "3000",
                         .appendix_value = "a",
                         .direction = "270",
                         .speed = "15",
                         .unit = "KT",
                         .depth = "1500",
                         .turbulence = Word(kTurbulence, "N"),
                         .shear = Word(kShear, "G")}},
        .visibility = {{"15SM", "-131", "3048"}},
        .runway_ranges = {{"16L", "1200FT"}},
        .weather_prefix = "+",
        .weather_descriptor = Word(kDescriptor, "TS"),
        .weather_phenomenon = Word(kPhenomenon, "RA"),
        .clouds = {{.height = "02300",
                    .cover = "6/8 " + Word(kCloudType, "SC"),
                    .top = Word(kCloudTop, "F"),
                    .turbulence = Word(kTurbulence, "N"),
                    .precipitation_intensity = Word(kPrecipitationIntensity, "M"),
                    .precipitation_type = Word(kPrecipitationType, "N"),
                    .base = "2000",
                    .icing = Word(kIcingRate, "N")}},
        .temperatures = {{"12", "08", "0"}},
        .pressure = "2992inchHG",
    };
}

TEST(MetarDecoderTest, WorkedExampleFieldForField) {
    EXPECT_EQ(Decoded(kWorkedExample), WorkedExample());
}

TEST(MetarDecoderTest, PlainMetar) {
    const WeatherReport report = Decoded("KXYZ 121756Z 27010KT 9999 FEW020 12/08 Q1013");
    EXPECT_EQ(report.time, "121756Z");
    EXPECT_EQ(report.surface_wind.direction, "270");
    EXPECT_EQ(report.surface_wind.speed, "10");
    EXPECT_EQ(report.surface_wind.unit, "KT");
    EXPECT_TRUE(report.visibility.empty());
    // 9999 is taken for a cloud group whose cover no key matches.
    EXPECT_EQ(report.clouds, (std::vector<CloudLayer>{
                                 {.height = "900"},
                                 {.height = "02000", .cover = Word(kCloudType, "FEW")},
                             }));
    EXPECT_EQ(report.temperatures, (std::vector<TemperatureLayer>{{"12", "08", ""}}));
    EXPECT_EQ(report.pressure, "1013mB");
}

// What a decode leaves of the record an earlier one filled: only the fields of the steps it
// reaches change, except the winds aloft, which every decode clears first.
struct CarriedCase {
    const char* name;
    const char* text;
    std::function<void(WeatherReport&)> change;
};

class CarriedStateTest : public ::testing::TestWithParam<CarriedCase> {};

TEST_P(CarriedStateTest, LaterStepsKeepTheEarlierObservation) {
    WeatherReport expected = WorkedExample();
    expected.report_type = "SPECI";
    expected.automatic = true;
    expected.corrected = true;
    expected.winds_aloft.clear();
    GetParam().change(expected);

    WeatherReport earlier = WorkedExample();
    earlier.report_type = "SPECI";
    earlier.automatic = true;
    earlier.corrected = true;
    EXPECT_EQ(Decoded(GetParam().text, earlier), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CarriedStateTest,
    ::testing::Values(
        CarriedCase{"Nil", "KABC 130000Z NIL",
                    [](WeatherReport& r) {
                        r.station = "KABC";
                        r.time = "130000Z";
                        r.automatic = r.corrected = false;
                    }},
        CarriedCase{"NilKeepsLaterGroupsUnread", "KABC 130000Z NIL 09005KT CAVOK Q1001",
                    [](WeatherReport& r) {
                        r.station = "KABC";
                        r.time = "130000Z";
                        r.automatic = r.corrected = false;
                    }},
        CarriedCase{"StationOnly", "KABC", [](WeatherReport& r) { r.station = "KABC"; }},
        CarriedCase{"Empty", "", [](WeatherReport& r) { r.station = ""; }},
        CarriedCase{"AppendixOnly", "@@@ 30 a 270 15|",
                    [](WeatherReport& r) {
                        r.station = "";
                        r.winds_aloft = {{.altitude = "3000",
                                          .appendix_value = "a",
                                          .direction = "270",
                                          .speed = "15",
                                          .unit = "KT"}};
                    }},
        CarriedCase{"EndsAfterTheWind", "KABC&A20 130000Z 09005",
                    [](WeatherReport& r) {
                        r.station = "KABC";
                        r.elevation = 20;
                        r.automatic = r.corrected = false;
                        r.time = "130000Z";
                        // No unit and no extension: unit, depth and codes stay; the
                        // variable direction's step is not reached.
                        r.surface_wind.direction = "090";
                        r.surface_wind.speed = "05";
                        r.surface_wind.gust = "";
                    }},
        CarriedCase{"EndsAfterTheVisibility", "KABC 130000Z 09005KT 9999&B0&D100",
                    [](WeatherReport& r) {
                        r.station = "KABC";
                        r.automatic = r.corrected = false;
                        r.time = "130000Z";
                        r.surface_wind.direction = "090";
                        r.surface_wind.speed = "05";
                        r.surface_wind.gust = "";
                        r.surface_wind.variable_from = r.surface_wind.variable_to = "";
                        r.visibility = {{"9999", "0", "100"}};
                    }},
        CarriedCase{"EndsAfterTheClouds", "KABC 130000Z 09005KT CAVOK CLR",
                    [](WeatherReport& r) {
                        r.station = "KABC";
                        r.automatic = r.corrected = false;
                        r.time = "130000Z";
                        r.surface_wind.direction = "090";
                        r.surface_wind.speed = "05";
                        r.surface_wind.gust = "";
                        r.surface_wind.variable_from = r.surface_wind.variable_to = "";
                        r.cavok = true;
                        r.visibility.clear();
                        r.runway_ranges.clear();
                        // The weather codes are cleared, the prefix stays.
                        r.weather_descriptor = r.weather_phenomenon = "";
                        r.clouds = {{.height = "00", .cover = Word(kCloudType, "CLR")}};
                    }},
        CarriedCase{"PlainAfterExtended", "KABC 130000Z 09005KT 9999 OVC010 05/03 Q1001",
                    [](WeatherReport& r) {
                        r.station = "KABC";
                        r.automatic = r.corrected = false;
                        r.time = "130000Z";
                        r.surface_wind.direction = "090";
                        r.surface_wind.speed = "05";
                        r.surface_wind.gust = "";
                        r.surface_wind.variable_from = r.surface_wind.variable_to = "";
                        r.visibility.clear();
                        r.runway_ranges.clear();
                        r.weather_descriptor = r.weather_phenomenon = "";
                        r.clouds = {{.height = "900"},
                                    {.height = "01000", .cover = Word(kCloudType, "OVC")}};
                        r.temperatures = {{"05", "03", ""}};
                        r.pressure = "1001mB";
                    }}),
    [](const auto& info) { return info.param.name; });

struct AppendixCase {
    const char* name;
    std::string appendix;
    std::vector<WindLayer> layers;
};

WindLayer Aloft(std::string altitude, std::string value, std::string direction, std::string speed) {
    return {.altitude = std::move(altitude),
            .appendix_value = std::move(value),
            .direction = std::move(direction),
            .speed = std::move(speed),
            .unit = "KT"};
}

class AppendixTest : public ::testing::TestWithParam<AppendixCase> {};

TEST_P(AppendixTest, EveryTerminatedEntryIsALayer) {
    const std::string text = "KXYZ 121756Z 27010KT 9999 @@@" + GetParam().appendix;
    EXPECT_EQ(Decoded(text).winds_aloft, GetParam().layers);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AppendixTest,
    ::testing::Values(
        AppendixCase{"TwoEntries",
                     "30 a 270 15| 60 b 280 25|",
                     {Aloft("3000", "a", "270", "15"), Aloft("6000", "b", "280", "25")}},
        AppendixCase{
            "LastEntryUnterminated", "30 a 270 15| 60 b 280 25", {Aloft("3000", "a", "270", "15")}},
        AppendixCase{"AsTheSimulatorWritesIt",
                     " 47 -9 63 15 | 80 -17 59 20 |",
                     {Aloft("4700", "-9", "63", "15"), Aloft("8000", "-17", "59", "20")}},
        AppendixCase{"NoBar", " 30 a 270 15", {}}, AppendixCase{"Nothing", "", {}},
        AppendixCase{"EmptyEntry", "|", {Aloft("", "", "", "")}},
        AppendixCase{
            "ControlCharactersTrimmed", "\t30 a 270 15\r\n|", {Aloft("3000", "a", "270", "15")}},
        AppendixCase{"AltitudeNotANumber", "3O a 270 15|", {Aloft("3O", "a", "270", "15")}},
        AppendixCase{"AltitudeOutOfRange",
                     "99999999999 a 270 15|",
                     {Aloft("99999999999", "a", "270", "15")}},
        AppendixCase{"NegativeAltitude", "-5 a 270 15|", {Aloft("-500", "a", "270", "15")}},
        AppendixCase{"MissingValuesEmpty", "30|", {Aloft("3000", "", "", "")}},
        AppendixCase{"FifthValueIgnored", "30 a 270 15 99|", {Aloft("3000", "a", "270", "15")}},
        AppendixCase{"DoubledBlankIsAnEmptyValue", "30  a 270|", {Aloft("3000", "", "a", "270")}},
        AppendixCase{"OnlyTheFirstMarkerOpensIt",
                     "30 a 270 15|@@@ 60|",
                     {Aloft("3000", "a", "270", "15"), Aloft("@@@", "60", "", "")}}),
    [](const auto& info) { return info.param.name; });

TEST(MetarDecoderTest, NoAppendixTakesNoWindGroup) {
    // The group after the wind is left to the later steps: here the cloud step.
    const WeatherReport report =
        Decoded("KXYZ 121756Z 27010KT 28025KT&A1500NG 12/08 Q1013", WorkedExample());
    EXPECT_TRUE(report.winds_aloft.empty());
    ASSERT_EQ(report.clouds.size(), 1u);
    EXPECT_EQ(report.clouds[0].height, "25K00");
}

TEST(MetarDecoderTest, AloftGroupsFillTheirLayersInOrder) {
    const WeatherReport report = Decoded(
        "CWEZ&A24 000000Z 04612G15KT&D985NG 036V056 06315G18KT&A1416LG 058V068 "
        "05920G25KT&A2416MS 32KM&B-33&D2000 7ST046&ST001FNHS000L -2/-4 -9/-11&A1416 Q1001 "
        "@@@ 47 -9 63 15 | 80 -17 59 20 |");
    WindLayer first = Aloft("4700", "-9", "63", "15");
    first.variable_from = "058";
    first.variable_to = "068";
    first.depth = "1416";
    first.turbulence = Word(kTurbulence, "L");
    first.shear = Word(kShear, "G");
    WindLayer second = Aloft("8000", "-17", "59", "20");
    second.depth = "2416";
    second.turbulence = Word(kTurbulence, "M");
    second.shear = Word(kShear, "S");
    EXPECT_EQ(report.winds_aloft, (std::vector<WindLayer>{first, second}));
    EXPECT_EQ(report.surface_wind.variable_from, "036");
    EXPECT_EQ(report.surface_wind.variable_to, "056");
    EXPECT_EQ(report.visibility, (std::vector<VisibilityLayer>{{"32KM", "-33", "2000"}}));
}

// A real observation: the appendix lists two levels, the body has no wind group for them,
// and its cloud layer ends its precipitation below the station.
TEST(MetarDecoderTest, AppendixWithoutAloftGroupsKeepsVisibilityAndClouds) {
    const WeatherReport report = Decoded(
        "KSEA&A131 000000Z 00000KT&D985NG 100KM&B-581&D3048 2CU053&CU000FNMN-19N 15/05 Q1013 "
        "@@@ 65 15 270 20 | 196 15 270 25 |");
    EXPECT_EQ(report.winds_aloft, (std::vector<WindLayer>{Aloft("6500", "15", "270", "20"),
                                                          Aloft("19600", "15", "270", "25")}));
    EXPECT_EQ(report.visibility, (std::vector<VisibilityLayer>{{"100KM", "-581", "3048"}}));
    EXPECT_EQ(report.weather_phenomenon, "");
    EXPECT_EQ(report.weather_prefix, "");
    ASSERT_EQ(report.clouds.size(), 1u);
    EXPECT_EQ(report.clouds[0].cover, "2/8 " + Word(kCloudType, "CU"));
    EXPECT_EQ(report.clouds[0].base, "-1900");
    EXPECT_EQ(report.temperatures, (std::vector<TemperatureLayer>{{"15", "05", ""}}));
    EXPECT_EQ(report.pressure, "1013mB");
}

struct StationCase {
    std::string first_group;
    std::string station;
    std::int16_t elevation;
};

void PrintTo(const StationCase& c, std::ostream* out) {
    *out << '"' << c.first_group << '"';
}

class StationTest : public ::testing::TestWithParam<StationCase> {};

TEST_P(StationTest, StationAndElevation) {
    WeatherReport earlier;
    earlier.station = "OLD";
    earlier.elevation = 77;
    const WeatherReport report = Decoded(GetParam().first_group + " 121756Z", earlier);
    EXPECT_EQ(report.station, GetParam().station);
    EXPECT_EQ(report.elevation, GetParam().elevation);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StationTest,
    ::testing::Values(StationCase{"KXYZ&A131", "KXYZ", 131}, StationCase{"KXYZ&A0", "KXYZ", 0},
                      // Every digit is read: 1655 m is not 165 m.
                      StationCase{"KDEN&A1655", "KDEN", 1655}, StationCase{"EHAM&A-3", "EHAM", -3},
                      StationCase{"KXYZ", "KXYZ", 77}, StationCase{"KXYZW", "KXYZ", 77},
                      StationCase{"KXYZ&B12", "KXYZ", 77}, StationCase{"KXYZ&A", "KXYZ", 0},
                      StationCase{"KXYZ&A1x", "KXYZ", 0}, StationCase{"KXYZ&A40000", "KXYZ", 0},
                      StationCase{"ABC&A12", "ABC", 12}, StationCase{"????&A0", "????", 0},
                      StationCase{"", "", 77}));

struct TypeCase {
    const char* text;
    const char* station;
    const char* report_type;
    bool automatic;
    bool corrected;
    const char* time;
    const char* wind_direction;
};

void PrintTo(const TypeCase& c, std::ostream* out) {
    *out << '"' << c.text << '"';
}

class ReportTypeTest : public ::testing::TestWithParam<TypeCase> {};

TEST_P(ReportTypeTest, TypeAutoAndCorrection) {
    WeatherReport earlier;
    earlier.report_type = "old";
    earlier.automatic = earlier.corrected = true;
    const WeatherReport report = Decoded(GetParam().text, earlier);
    EXPECT_EQ(report.station, GetParam().station);
    EXPECT_EQ(report.report_type, GetParam().report_type);
    EXPECT_EQ(report.automatic, GetParam().automatic);
    EXPECT_EQ(report.corrected, GetParam().corrected);
    EXPECT_EQ(report.time, GetParam().time);
    EXPECT_EQ(report.surface_wind.direction, GetParam().wind_direction);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReportTypeTest,
    ::testing::Values(
        TypeCase{"KXYZ 121756Z 27010KT", "KXYZ", "old", false, false, "121756Z", "270"},
        TypeCase{"KXYZ METAR 121756Z 27010KT", "KXYZ", "METAR", false, false, "121756Z", "270"},
        TypeCase{"KXYZ SPECI AUTO COR 121756Z 27010KT", "KXYZ", "SPECI", true, true, "121756Z",
                 "270"},
        // A ground station's order: the type before the station, AUTO and COR after the time.
        TypeCase{"METAR WSSS 280900Z 26009KT", "WSSS", "METAR", false, false, "280900Z", "260"},
        TypeCase{"EGLL 181350Z AUTO VRB02KT", "EGLL", "old", true, false, "181350Z", "VRB"},
        TypeCase{"METAR KADW 252356Z COR AUTO 10008KT", "KADW", "METAR", true, true, "252356Z",
                 "100"},
        // The word alone is the first group like any other.
        TypeCase{"METAR", "META", "old", true, true, "", ""},
        // The words count only in capitals.
        TypeCase{"KXYZ metar auto 27010KT", "KXYZ", "old", false, false, "metar", "aut"}));

struct WindCase {
    std::string group;
    WindLayer wind;
};

void PrintTo(const WindCase& c, std::ostream* out) {
    *out << '"' << c.group << '"';
}

class SurfaceWindTest : public ::testing::TestWithParam<WindCase> {};

// An earlier wind whose every text shows when a group leaves it.
WindLayer EarlierWind() {
    return {.variable_from = "100",
            .variable_to = "120",
            .unit = "old unit",
            .gust = "old gust",
            .depth = "old depth",
            .turbulence = "old turbulence",
            .shear = "old shear"};
}

WindLayer Wind(std::string direction, std::string speed, std::string unit, std::string gust) {
    WindLayer wind = EarlierWind();
    wind.direction = std::move(direction);
    wind.speed = std::move(speed);
    wind.unit = std::move(unit);
    wind.gust = std::move(gust);
    return wind;
}

WindLayer WithExtension(WindLayer wind, std::string depth, std::string turbulence,
                        std::string shear) {
    wind.depth = std::move(depth);
    wind.turbulence = std::move(turbulence);
    wind.shear = std::move(shear);
    return wind;
}

TEST_P(SurfaceWindTest, DirectionSpeedGustUnitAndExtension) {
    WeatherReport earlier;
    earlier.surface_wind = EarlierWind();
    // The group after the wind is no variable direction, so those two are cleared.
    WindLayer expected = GetParam().wind;
    expected.variable_from = expected.variable_to = "";
    EXPECT_EQ(Decoded("KXYZ 121756Z " + GetParam().group + " 9999", earlier).surface_wind,
              expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SurfaceWindTest,
    ::testing::Values(
        WindCase{"27010G20KT", Wind("270", "10", "KT", "20")},
        WindCase{"27010KMH", Wind("270", "10", "KMH", "")},
        WindCase{"27010MPS", Wind("270", "10", "MPS", "")},
        WindCase{"VRB03KT", Wind("VRB", "03", "KT", "")},
        WindCase{"22805G152KT", Wind("228", "05", "KT", "152")},
        WindCase{"27010", Wind("270", "10", "old unit", "")},
        WindCase{"270KT", Wind("270", "", "KT", "")},
        WindCase{"G20KT", Wind("G20", "", "KT", "20")}, WindCase{"KT", Wind("", "", "KT", "")},
        WindCase{"", Wind("", "", "old unit", "")},
        WindCase{"27010KT&D980NG", WithExtension(Wind("270", "10", "KT", ""), "980",
                                                 Word(kTurbulence, "N"), Word(kShear, "G"))},
        WindCase{"27010G20KT&D980HS", WithExtension(Wind("270", "10", "KT", "20"), "980",
                                                    Word(kTurbulence, "H"), Word(kShear, "S"))},
        // Codes no key matches leave their texts.
        WindCase{"27010KT&D980XY",
                 WithExtension(Wind("270", "10", "KT", ""), "980", "old turbulence", "old shear")},
        // Extensions too short for their codes read none they do not hold.
        WindCase{"27010KT&D",
                 WithExtension(Wind("270", "10", "KT", ""), "", "old turbulence", "old shear")},
        WindCase{"27010KT&",
                 WithExtension(Wind("270", "10", "KT", ""), "", "old turbulence", "old shear")},
        WindCase{"27010KT&DG", WithExtension(Wind("270", "10", "KT", ""), "", "old turbulence",
                                             Word(kShear, "G"))}));

struct VariableCase {
    const char* group;
    const char* from;
    const char* to;
    bool cavok;
};

void PrintTo(const VariableCase& c, std::ostream* out) {
    *out << '"' << c.group << '"';
}

class VariableDirectionTest : public ::testing::TestWithParam<VariableCase> {};

TEST_P(VariableDirectionTest, OnlyTheThreeDigitFormIsAVariableDirection) {
    WeatherReport earlier;
    earlier.surface_wind.variable_from = "100";
    earlier.surface_wind.variable_to = "120";
    const WeatherReport report =
        Decoded(std::string("KXYZ 121756Z 27010KT ") + GetParam().group + " 12/08 Q1013", earlier);
    EXPECT_EQ(report.surface_wind.variable_from, GetParam().from);
    EXPECT_EQ(report.surface_wind.variable_to, GetParam().to);
    EXPECT_EQ(report.cavok, GetParam().cavok);
}

INSTANTIATE_TEST_SUITE_P(Cases, VariableDirectionTest,
                         ::testing::Values(VariableCase{"150V210", "150", "210", false},
                                           VariableCase{"CAVOK", "", "", true},
                                           VariableCase{"15V210", "", "", false},
                                           VariableCase{"150V21", "", "", false},
                                           VariableCase{"150V2100", "", "", false},
                                           VariableCase{"VRBV210", "", "", false},
                                           VariableCase{"150X210", "", "", false}));

TEST(MetarDecoderTest, CavokAfterAVariableDirection) {
    const WeatherReport report = Decoded("KXYZ 121756Z 27010KT 150V210 CAVOK 12/08 Q1013");
    EXPECT_EQ(report.surface_wind.variable_from, "150");
    EXPECT_TRUE(report.cavok);
    EXPECT_TRUE(report.clouds.empty());
    EXPECT_EQ(report.pressure, "1013mB");
}

TEST(MetarDecoderTest, VisibilityLayersAndRunwayRanges) {
    const WeatherReport report = Decoded(
        "KXYZ 121756Z 27010KT 59KM&B-600&D1600 100KM&B1001&D23999 R16L/1200FT "
        "R04R/3000VP6000FT R16L1200FT R20R/1900D 12/08 Q1013");
    EXPECT_EQ(report.visibility,
              (std::vector<VisibilityLayer>{{"59KM", "-600", "1600"}, {"100KM", "1001", "23999"}}));
    // A range without "FT" is none: with its "/" it ends the clouds and reads as a temperature.
    EXPECT_EQ(
        report.runway_ranges,
        (std::vector<RunwayRange>{{"16L", "1200FT"}, {"04R", "3000VP6000FT"}, {"16L1200FT", ""}}));
    ASSERT_EQ(report.clouds.size(), 0u);
    EXPECT_EQ(report.temperatures.front().temperature, "R20R");
}

struct WeatherCase {
    const char* group;
    const char* prefix;
    std::string descriptor;
    std::string phenomenon;
};

void PrintTo(const WeatherCase& c, std::ostream* out) {
    *out << '"' << c.group << '"';
}

class PresentWeatherTest : public ::testing::TestWithParam<WeatherCase> {};

TEST_P(PresentWeatherTest, PrefixDescriptorAndPhenomenon) {
    WeatherReport earlier;
    earlier.weather_prefix = "old prefix";
    earlier.weather_descriptor = "old descriptor";
    earlier.weather_phenomenon = "old phenomenon";
    const WeatherReport report = Decoded(
        std::string("KXYZ 121756Z 27010KT 15SM&B0&D3048 ") + GetParam().group + " 12/08 Q1013",
        earlier);
    EXPECT_EQ(report.weather_prefix, GetParam().prefix);
    EXPECT_EQ(report.weather_descriptor, GetParam().descriptor);
    EXPECT_EQ(report.weather_phenomenon, GetParam().phenomenon);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PresentWeatherTest,
    ::testing::Values(WeatherCase{"+TSRA", "+", Word(kDescriptor, "TS"), Word(kPhenomenon, "RA")},
                      WeatherCase{"+VCTSRA", "+VC", Word(kDescriptor, "TS"),
                                  Word(kPhenomenon, "RA")},
                      WeatherCase{"-SHSN", "-", Word(kDescriptor, "SH"), Word(kPhenomenon, "SN")},
                      // Three characters: the descriptor code is "-R", which no key matches.
                      WeatherCase{"-RA", "", "old descriptor", Word(kPhenomenon, "RA")},
                      WeatherCase{"+SN", "", "old descriptor", Word(kPhenomenon, "SN")},
                      WeatherCase{"VCFG", "", "old descriptor", Word(kPhenomenon, "FG")},
                      WeatherCase{"+XXYY", "+", "old descriptor", "old phenomenon"},
                      WeatherCase{"-", "", "old descriptor", "old phenomenon"},
                      // No intensity and no "VC": no present weather.
                      WeatherCase{"TSRA", "old prefix", "", ""},
                      // A cloud whose precipitation ends below the station and a temperature below
                      // zero are no present weather.
                      WeatherCase{"2CU053&CU000FNMN-19N", "old prefix", "", ""},
                      WeatherCase{"-5/-10", "old prefix", "", ""}));

TEST(MetarDecoderTest, NegativeTemperatureRightAfterTheVisibility) {
    const WeatherReport report = Decoded("KXYZ 121756Z 27010KT 15SM&B0&D3048 -5/-10 Q1013");
    EXPECT_EQ(report.temperatures, (std::vector<TemperatureLayer>{{"-5", "-10", ""}}));
    EXPECT_EQ(report.pressure, "1013mB");
}

struct CloudCase {
    const char* name;
    const char* groups;
    const char* obscuration;
    std::vector<CloudLayer> clouds;
};

class CloudTest : public ::testing::TestWithParam<CloudCase> {};

TEST_P(CloudTest, ObscurationAndCloudLayers) {
    WeatherReport earlier;
    earlier.obscuration = "old";
    const WeatherReport report = Decoded(
        std::string("KXYZ 121756Z 27010KT +RA ") + GetParam().groups + " 12/08 Q1013", earlier);
    EXPECT_EQ(report.obscuration, GetParam().obscuration);
    EXPECT_EQ(report.clouds, GetParam().clouds);
    EXPECT_EQ(report.temperatures.size(), 1u);
}

CloudLayer Extended(std::string height, std::string cover, std::string base) {
    return {.height = std::move(height),
            .cover = std::move(cover),
            .top = Word(kCloudTop, "F"),
            .turbulence = Word(kTurbulence, "N"),
            .precipitation_intensity = Word(kPrecipitationIntensity, "M"),
            .precipitation_type = Word(kPrecipitationType, "N"),
            .base = std::move(base),
            .icing = Word(kIcingRate, "N")};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CloudTest,
    ::testing::Values(
        CloudCase{"BrokenIsObscuration", "BKN023", "BKN023", {}},
        CloudCase{"OnlyTheFirstIsObscuration",
                  "FEW020 SCT030",
                  "FEW020",
                  {{.height = "03000", .cover = Word(kCloudType, "SCT")}}},
        CloudCase{"OvercastIsACloud",
                  "OVC010",
                  "",
                  {{.height = "01000", .cover = Word(kCloudType, "OVC")}}},
        CloudCase{
            "Octas", "6SC023", "", {{.height = "02300", .cover = "6/8 " + Word(kCloudType, "SC")}}},
        CloudCase{"LetterCaseOfTheKey",
                  "8CB016",
                  "",
                  {{.height = "01600", .cover = "8/8 " + Word(kCloudType, "cb")}}},
        CloudCase{"Clear", "CLR", "", {{.height = "00", .cover = Word(kCloudType, "CLR")}}},
        CloudCase{"UnknownCover", "9999", "", {{.height = "900"}}},
        CloudCase{"Extension",
                  "6SC023&SC001FNMN020N",
                  "",
                  {Extended("02300", "6/8 " + Word(kCloudType, "SC"), "2000")}},
        CloudCase{"BaseBelowTheStation",
                  "2CU053&CU000FNMN-19N",
                  "",
                  {Extended("05300", "2/8 " + Word(kCloudType, "CU"), "-1900")}},
        CloudCase{"BaseNotANumber",
                  "6SC023&SC001FNMNx2yN",
                  "",
                  {Extended("02300", "6/8 " + Word(kCloudType, "SC"), "x2y")}},
        CloudCase{"ExtensionCutShort",
                  "6SC023&SC001F",
                  "",
                  {{.height = "02300",
                    .cover = "6/8 " + Word(kCloudType, "SC"),
                    .top = Word(kCloudTop, "F")}}},
        CloudCase{"ExtensionCutInItsBase",
                  "6SC023&SC001FNMN02",
                  "",
                  {{.height = "02300",
                    .cover = "6/8 " + Word(kCloudType, "SC"),
                    .top = Word(kCloudTop, "F"),
                    .turbulence = Word(kTurbulence, "N"),
                    .precipitation_intensity = Word(kPrecipitationIntensity, "M"),
                    .precipitation_type = Word(kPrecipitationType, "N"),
                    .base = "200"}}},
        CloudCase{"UnknownCodesStayEmpty",
                  "6SC023&SC001XXXX000X",
                  "",
                  {{.height = "02300", .cover = "6/8 " + Word(kCloudType, "SC"), .base = "0"}}},
        CloudCase{"SeveralLayers",
                  "8ST007&ST001FNMN000N 5CI294",
                  "",
                  {Extended("00700", "8/8 " + Word(kCloudType, "ST"), "0"),
                   {.height = "29400", .cover = "5/8 " + Word(kCloudType, "CI")}}}),
    [](const auto& info) { return info.param.name; });

TEST(MetarDecoderTest, TemperatureLayers) {
    const WeatherReport report =
        Decoded("KXYZ 121756Z 27010KT CLR 12/08 07/05&A987 -9/-11&A1416 M05/M07 5&A1/2 Q1013");
    EXPECT_EQ(report.temperatures, (std::vector<TemperatureLayer>{{"12", "08", ""},
                                                                  {"07", "05", "987"},
                                                                  {"-9", "-11", "1416"},
                                                                  {"M05", "M07", ""},
                                                                  {"5&A1", "", "1/2"}}));
}

struct PressureCase {
    const char* group;
    const char* pressure;
};

void PrintTo(const PressureCase& c, std::ostream* out) {
    *out << '"' << c.group << '"';
}

class PressureTest : public ::testing::TestWithParam<PressureCase> {};

TEST_P(PressureTest, InchesOrMillibars) {
    WeatherReport earlier;
    earlier.pressure = "old";
    EXPECT_EQ(Decoded(std::string("KXYZ 121756Z 27010KT CLR 12/08 ") + GetParam().group, earlier)
                  .pressure,
              GetParam().pressure);
}

INSTANTIATE_TEST_SUITE_P(Cases, PressureTest,
                         ::testing::Values(PressureCase{"A2992", "2992inchHG"},
                                           PressureCase{"Q1013", "1013mB"},
                                           PressureCase{"Q0989", "0989mB"},
                                           PressureCase{"Q1013 A2992", "1013mB"},
                                           PressureCase{"A", "inchHG"}, PressureCase{"1013", "old"},
                                           PressureCase{"q1013", "old"}, PressureCase{"", "old"}));

// Texts shaped to end each step inside a group, or in the middle of its own form. Each is
// decoded from a buffer of exactly its size, so the sanitizer build catches any read past
// it, and decoded twice over the same record, which must change nothing the second time.
TEST(MetarDecoderTest, OddTextsReadNothingOutsideAndDecodeTheSameTwice) {
    const std::string texts[] = {
        "",
        " ",
        "  ",
        "@@@",
        "@@@|",
        "|||",
        "&",
        "&A",
        "K&A1",
        "KXYZ 1",
        "KXYZ 1 &",
        "KXYZ 1 2&",
        "KXYZ 1 2&D",
        "KXYZ 1 G",
        "KXYZ 1 KT",
        "KXYZ 1 MPS&",
        "KXYZ 1 2 &B&D",
        "KXYZ 1 2 X&D5&B3",
        "KXYZ 1 2 &D&B",
        "KXYZ 1 2 R",
        "KXYZ 1 2 RFT",
        "KXYZ 1 2 R/FT",
        "KXYZ 1 2 +",
        "KXYZ 1 2 VC",
        "KXYZ 1 2 /",
        "KXYZ 1 2 &",
        "KXYZ 1 2 A",
        "KXYZ 1 2 Q",
        "KXYZ 1 2 X&",
        "KXYZ 1 2 X&Y",
        "KXYZ 1 2 9 /&",
        "KXYZ 1 2 9 &/",
        "KXYZ 1 2 9 &A/",
        "KXYZ 1 2KT&A1NG 2KT&A @@@ 1| 2| 3|",
        "KXYZ 1 2KT&A1NG 150V210 2KT&A1NG @@@ 1|",
        std::string("K\0YZ 1\0 2\0&\0 \0/\0", 16),
        "KXYZ 1 2 \xff\xfe&\x80 \x01/\x7f Q\xff",
        kWorkedExample,
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(testing::PrintToString(text));
        const auto exact = std::make_unique<char[]>(text.size());
        std::copy(text.begin(), text.end(), exact.get());
        const std::string_view view(exact.get(), text.size());
        for (const WeatherReport& start : {WeatherReport{}, WorkedExample()}) {
            WeatherReport once = start;
            DecodeMetar(view, test::WordTables(), once);
            WeatherReport twice = once;
            DecodeMetar(view, test::WordTables(), twice);
            EXPECT_EQ(twice, once);
        }
    }
}

// Observations made of real and broken groups in random order, decoded one after the other
// over one record: a second decode of the same text changes nothing.
TEST(MetarDecoderTest, RandomGroupsDecodeTheSameTwice) {
    const std::string pieces[] = {
        "KXYZ&A131",
        "METAR",
        "AUTO",
        "COR",
        "NIL",
        "121756Z",
        "27010G20KT&D980NG",
        "150V210",
        "28025KT&A1500NG",
        "CAVOK",
        "15SM&B-131&D3048",
        "R16L/1200FT",
        "+TSRA",
        "-RA",
        "BKN023",
        "6SC023&SC001FNMN020N",
        "2CU053&CU000FNMN-19N",
        "CLR",
        "12/08&A0",
        "-3/-8",
        "A2992",
        "Q1013",
        "@@@",
        " 30 a 270 15|",
        "|",
        "&",
        "/",
        "",
        "9999",
        "VRB03KT",
    };
    std::mt19937 random(test::TestSeed());
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> length(1, 20);
    WeatherReport report;
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        for (int i = length(random); i > 0; --i) {
            std::string piece = pieces[pick(random)];
            // Now and then a group cut short, as a truncated observation ends.
            if (!piece.empty() && random() % 8 == 0) {
                piece.resize(random() % piece.size());
            }
            text += (text.empty() ? "" : " ") + piece;
        }
        SCOPED_TRACE(text);
        DecodeMetar(text, test::WordTables(), report);
        WeatherReport again = report;
        DecodeMetar(text, test::WordTables(), again);
        ASSERT_EQ(again, report);
    }
}

}  // namespace
}  // namespace tavoro
