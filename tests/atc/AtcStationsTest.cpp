#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <ostream>

#include "StationPipeline.h"
#include "atc/AtcStations.h"
#include "sim/FsuipcClient.h"
#include "support/AtcServerProcess.h"
#include "support/EventLoop.h"
#include "support/FakeSimulator.h"

namespace tavoro {
namespace {

using test::PositionLine;
using test::StationPipeline;

// Half the circumference of the sphere: the distance to the opposite point.
const int kHalfwayNm = static_cast<int>(std::nearbyint(std::numbers::pi * kEarthRadiusNm));

// ---------------------------------------------------------------------------------------
// Distances

struct DistanceCase {
    const char* name;
    const char* station_latitude;
    const char* station_longitude;
    double aircraft_latitude;
    double aircraft_longitude;
    int nm;
};

void PrintTo(const DistanceCase& c, std::ostream* out) {
    *out << c.name;
}

class StationDistanceTest : public ::testing::TestWithParam<DistanceCase> {};

TEST_P(StationDistanceTest, IsTheGreatCircleInWholeMilesAndShowsInTheList) {
    const DistanceCase& c = GetParam();
    StationPipeline pipe;
    pipe.aircraft.latitude = c.aircraft_latitude;
    pipe.aircraft.longitude = c.aircraft_longitude;
    pipe.Receive(
        {PositionLine("LFPG_TWR", "18.250", "TWR", c.station_latitude, c.station_longitude)});
    EXPECT_EQ(pipe.stations.StationDistanceNm(0), c.nm);
    ASSERT_EQ(pipe.stations.line_count(), 1u);
    EXPECT_EQ(pipe.stations.line(0),
              "LFPG_TWR Tour       118.250 " + std::to_string(c.nm) + "nm (20nm)");
}

INSTANTIATE_TEST_SUITE_P(
    Points, StationDistanceTest,
    ::testing::Values(
        // One degree of latitude is 60.1 nm on this sphere.
        DistanceCase{"one_degree_of_latitude", "48.0", "2.0", 49.0, 2.0, 60},
        DistanceCase{"same_point", "48.72528", "2.35944", 48.72528, 2.35944, 0},
        DistanceCase{"opposite_point", "10.0", "20.0", -10.0, -160.0, kHalfwayNm},
        // One degree of longitude on the equator, across the date line.
        DistanceCase{"across_the_date_line", "0.0", "179.5", 0.0, -179.5, 60}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CentralAngleTest, ACosineRoundedPastOneGivesTheEndAngle) {
    EXPECT_EQ(CentralAngle(std::nextafter(1.0, 2.0)), 0.0);
    EXPECT_EQ(CentralAngle(std::nextafter(-1.0, -2.0)), std::numbers::pi);
    EXPECT_DOUBLE_EQ(CentralAngle(0.0), std::numbers::pi / 2);
}

// Rounding puts the cosine a hair past 1 for some points seen from themselves, and past
// -1 for some opposite points: each must still give its distance.
TEST(CentralAngleTest, EveryPointAndItsOppositeGiveZeroAndHalfway) {
    int same_wrong = 0;
    int opposite_wrong = 0;
    double first_wrong = 0;
    for (int i = -89999; i <= 89999; ++i) {
        const double latitude = i / 1000.0;
        if (DistanceNm(latitude, 2.35, latitude, 2.35) != 0) {
            first_wrong = same_wrong++ == 0 ? latitude : first_wrong;
        }
        if (DistanceNm(latitude, 2.35, -latitude, 182.35) != kHalfwayNm) {
            first_wrong = opposite_wrong++ == 0 ? latitude : first_wrong;
        }
    }
    EXPECT_EQ(same_wrong, 0) << "first at latitude " << first_wrong;
    EXPECT_EQ(opposite_wrong, 0) << "first at latitude " << first_wrong;
}

// ---------------------------------------------------------------------------------------
// List lines and the ATIS header

struct PaddingCase {
    const char* name;
    const char* callsign;
    const char* facility_code;
    const char* line;
    const char* header;
};

void PrintTo(const PaddingCase& c, std::ostream* out) {
    *out << c.name;
}

class StationLineTest : public ::testing::TestWithParam<PaddingCase> {};

TEST_P(StationLineTest, PadsCallsignAndFacilityByCharacters) {
    const PaddingCase& c = GetParam();
    StationPipeline pipe;
    pipe.Receive({PositionLine(c.callsign, "18.250", c.facility_code, "0", "0")});
    EXPECT_EQ(pipe.Shown(), std::vector<std::string>{c.line});

    pipe.stations.ListBox_ATCClick(0);
    EXPECT_EQ(pipe.Shown(), std::vector<std::string>{c.header});
}

INSTANTIATE_TEST_SUITE_P(
    Widths, StationLineTest,
    ::testing::Values(
        PaddingCase{"eight_characters", "LFPG_TWR", "TWR", "LFPG_TWR Tour       118.250 0nm (20nm)",
                    "LFPG_TWR   118.250    ATIS:"},
        PaddingCase{"nine_characters", "LFMN_ATIS", "APP",
                    "LFMN_ATIS Approche   118.250 0nm (20nm)", "LFMN_ATIS  118.250    ATIS:"},
        PaddingCase{"ten_characters", "EDDF_N_TWR", "TWR",
                    "EDDF_N_TWR Tour       118.250 0nm (20nm)", "EDDF_N_TWR  118.250    ATIS:"},
        PaddingCase{"short_callsign_accented_facility", "EGLL", "CTR",
                    "EGLL     Contrôle   118.250 0nm (20nm)", "EGLL       118.250    ATIS:"},
        PaddingCase{"facility_wider_than_its_column", "LFPG_FSS", "FSS",
                    "LFPG_FSS Information de vol 118.250 0nm (20nm)",
                    "LFPG_FSS   118.250    ATIS:"},
        PaddingCase{"unknown_facility", "LFPB_TWR", "XXX", "LFPB_TWR error      118.250 0nm (20nm)",
                    "LFPB_TWR   118.250    ATIS:"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------
// The table

TEST(StationTableTest, AFreedSlotIsReusedHighestFirstWithItsOldValues) {
    StationPipeline pipe;
    pipe.Receive({"#AAA_TWR", PositionLine("A_TWR", "18.100", "TWR", "48.0", "2.0"), "#AAB_APP",
                  "#AAC_CTR", "#DAA_TWR", "#DAC_CTR"});
    ASSERT_EQ(pipe.stations.stations().size(), 3u);
    EXPECT_EQ(pipe.stations.station_order(), std::vector<std::size_t>{1});

    pipe.Receive({"#AAD_TWR"});
    EXPECT_EQ(pipe.stations.stations()[2].callsign, "D_TWR");
    pipe.Receive({"#AAE_TWR"});
    const AtcStation& reused = pipe.stations.stations()[0];
    EXPECT_EQ(reused.callsign, "E_TWR");
    EXPECT_EQ(reused.latitude, AtcStations::kRemovedLatitude);
    EXPECT_EQ(pipe.stations.stations().size(), 3u);
    EXPECT_EQ(pipe.stations.station_order(), (std::vector<std::size_t>{1, 2, 0}));
    // The new station shows the removed one's frequency and facility.
    ASSERT_EQ(pipe.stations.line_count(), 3u);
    EXPECT_EQ(pipe.stations.line(2).substr(0, 28), "E_TWR    Tour       118.100 ");

    // Its first "%" gives it values of its own, shown at the next rebuild.
    pipe.Receive({PositionLine("E_TWR", "19.000", "APP", "0", "0")});
    EXPECT_EQ(pipe.stations.line(2).substr(0, 28), "E_TWR    Tour       118.100 ");
    pipe.stations.RefreshAtcList();
    EXPECT_EQ(pipe.stations.line(2), "E_TWR    Approche   119.000 0nm (20nm)");
}

TEST(StationTableTest, PositionOfAnUnannouncedStationAddsAndShowsIt) {
    StationPipeline pipe;
    pipe.aircraft.latitude = 49.0;
    pipe.aircraft.longitude = 2.0;
    pipe.Receive({PositionLine("X_TWR", "18.7", "TWR", "48.0", "2.0")});
    EXPECT_EQ(pipe.stations.station_order(), std::vector<std::size_t>{0});
    EXPECT_TRUE(pipe.stations.list_mode());
    EXPECT_EQ(pipe.Shown(), std::vector<std::string>{"X_TWR    Tour       118.7 60nm (20nm)"});
}

TEST(StationTableTest, ASecondPositionChangesValuesButNotTheShownLine) {
    StationPipeline pipe;
    pipe.aircraft.latitude = 49.0;
    pipe.aircraft.longitude = 2.0;
    pipe.Receive({PositionLine("X_TWR", "18.7", "TWR", "48.0", "2.0")});
    const std::vector<std::string> before = pipe.Shown();
    const auto generation = pipe.stations.list_generation();

    pipe.Receive({PositionLine("X_TWR", "19.1", "APP", "47.0", "2.0", "40")});
    // The aircraft moving does not redraw the list either.
    pipe.aircraft.latitude = 50.0;
    const AtcStation& station = pipe.stations.stations()[0];
    EXPECT_EQ(station.frequency, "119.1");
    EXPECT_EQ(station.facility, "Approche");
    EXPECT_EQ(station.visual_range, "40");
    EXPECT_EQ(station.latitude, 47.0);
    EXPECT_EQ(pipe.Shown(), before);
    EXPECT_EQ(pipe.stations.list_generation(), generation);

    pipe.stations.RefreshAtcList();
    EXPECT_EQ(pipe.Shown(), std::vector<std::string>{"X_TWR    Approche   119.1 180nm (40nm)"});
}

TEST(StationTableTest, ARepeatedCallsignIsListedTwiceAndTheHigherSlotAnswers) {
    StationPipeline pipe;
    pipe.Receive({"#AAX_TWR", "#AAX_TWR"});
    EXPECT_EQ(pipe.stations.station_order(), (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(pipe.stations.line_count(), 2u);

    pipe.Receive({PositionLine("X_TWR", "18.5", "TWR", "0", "0")});
    EXPECT_EQ(pipe.stations.stations()[1].frequency, "118.5");
    EXPECT_EQ(pipe.stations.stations()[0].frequency, "");

    pipe.Receive({"#DAX_TWR"});
    EXPECT_EQ(pipe.stations.station_order(), std::vector<std::size_t>{0});
    EXPECT_EQ(pipe.stations.stations()[0].callsign, "X_TWR");
    EXPECT_EQ(pipe.stations.stations()[1].callsign, "");
    EXPECT_EQ(pipe.stations.line_count(), 1u);
}

TEST(StationTableTest, RemovingAnUnknownStationChangesNothing) {
    StationPipeline pipe;
    pipe.Receive({"#DAX_TWR"});
    EXPECT_TRUE(pipe.stations.stations().empty());
    EXPECT_FALSE(pipe.stations.list_mode());

    pipe.Receive({"#AAA_TWR", "#AAB_TWR"});
    const auto generation = pipe.stations.list_generation();
    const std::vector<std::string> shown = pipe.Shown();
    pipe.Receive({"#DAX_TWR", "#DAA_TW"});
    EXPECT_EQ(pipe.stations.station_order(), (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(pipe.stations.list_generation(), generation);
    EXPECT_EQ(pipe.Shown(), shown);
}

TEST(StationTableTest, ABadAltitudeKeepsTheValuesSetBeforeIt) {
    StationPipeline pipe;
    pipe.Receive({"#AAA_TWR"});
    const std::vector<std::string> shown = pipe.Shown();
    const auto generation = pipe.stations.list_generation();

    // Known station: every value up to the altitude is set; the next line still runs.
    pipe.Receive({PositionLine("A_TWR", "18.1", "TWR", "48.5", "2.5", "25", "abc"), "#AAB_TWR"});
    const AtcStation& known = pipe.stations.stations()[0];
    EXPECT_EQ(known.frequency, "118.1");
    EXPECT_EQ(known.facility, "Tour");
    EXPECT_EQ(known.visual_range, "25");
    EXPECT_EQ(known.latitude, 48.5);
    EXPECT_EQ(known.longitude, 2.5);
    EXPECT_EQ(pipe.stations.station_order(), (std::vector<std::size_t>{0, 1}));

    // New station: the slot holds it, but it is not listed and nothing is redrawn.
    const std::vector<std::string> before_new = pipe.Shown();
    const auto generation_before_new = pipe.stations.list_generation();
    EXPECT_NE(generation_before_new, generation);
    pipe.Receive({PositionLine("N_APP", "18.2", "APP", "47", "3", "30", "1x")});
    ASSERT_EQ(pipe.stations.stations().size(), 3u);
    const AtcStation& fresh = pipe.stations.stations()[2];
    EXPECT_EQ(fresh.callsign, "N_APP");
    EXPECT_EQ(fresh.frequency, "118.2");
    EXPECT_EQ(fresh.facility, "Approche");
    EXPECT_EQ(fresh.visual_range, "30");
    EXPECT_EQ(fresh.latitude, 47.0);
    EXPECT_EQ(fresh.longitude, 3.0);
    EXPECT_EQ(pipe.stations.station_order(), (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(pipe.stations.list_generation(), generation_before_new);
    EXPECT_EQ(pipe.Shown(), before_new);
    EXPECT_NE(shown, before_new);
}

TEST(StationTableTest, APositionThatIsNotANumberPutsTheStationAtZero) {
    StationPipeline pipe;
    pipe.Receive({PositionLine("A_TWR", "18.1", "TWR", "48.5", "2.5"),
                  PositionLine("A_TWR", "18.1", "TWR", "N48", "")});
    EXPECT_EQ(pipe.stations.stations()[0].latitude, 0.0);
    EXPECT_EQ(pipe.stations.stations()[0].longitude, 0.0);
}

// ---------------------------------------------------------------------------------------
// Clicks and the selected station's texts

TEST(StationClickTest, AsksTheClickedStationForItsAtisAndShowsItsHeader) {
    StationPipeline pipe;
    pipe.Receive({"#AAA_TWR", PositionLine("B_APP", "19.45", "APP", "0", "0")});
    ASSERT_EQ(pipe.stations.station_order(), (std::vector<std::size_t>{0, 1}));

    pipe.stations.ListBox_ATCClick(1);
    EXPECT_EQ(pipe.stations.selected_station(), std::optional<std::size_t>(1));
    EXPECT_EQ(pipe.sent, std::vector<std::string>{"$CQABC12:B_APP:ATIS\r\n"});
    EXPECT_FALSE(pipe.stations.list_mode());
    EXPECT_EQ(pipe.Shown(), std::vector<std::string>{"B_APP      119.45    ATIS:"});

    // Further clicks do nothing until the list is rebuilt.
    pipe.stations.ListBox_ATCClick(0);
    EXPECT_EQ(pipe.sent.size(), 1u);
    EXPECT_EQ(pipe.stations.selected_station(), std::optional<std::size_t>(1));
}

TEST(StationClickTest, ClicksOffTheStationLinesDoNothing) {
    StationPipeline pipe;
    // Nothing listed yet: the box does not show the station list.
    pipe.stations.ListBox_ATCClick(0);
    EXPECT_TRUE(pipe.sent.empty());

    pipe.Receive({"#AAA_TWR", "#AAB_TWR"});
    pipe.stations.ListBox_ATCClick(0);
    pipe.Receive({"#TMA_TWR:ABC12:first text"});
    // A rebuild brings the list back; the selected station's texts show below it.
    pipe.Receive({"#AAC_TWR", "#TMA_TWR:ABC12:second text"});
    ASSERT_EQ(pipe.stations.line_count(), 4u);
    EXPECT_EQ(pipe.stations.line(3), "second text");
    pipe.sent.clear();

    for (int row : {-1, 3, 4}) {
        pipe.stations.ListBox_ATCClick(row);
        EXPECT_TRUE(pipe.sent.empty()) << row;
        EXPECT_TRUE(pipe.stations.list_mode()) << row;
        EXPECT_EQ(pipe.stations.selected_station(), std::optional<std::size_t>(0)) << row;
    }
}

TEST(StationClickTest, AClickEmptiesTheStationsUnrelayedTexts) {
    StationPipeline pipe;
    pipe.Receive({"#AAA_TWR"});
    pipe.stations.ListBox_ATCClick(0);
    pipe.Receive({"#TMA_TWR:ABC12:one", "#TMA_TWR:ABC12:two"});
    EXPECT_EQ(pipe.stations.stations()[0].atis_lines, (std::vector<std::string>{"one", "two"}));

    pipe.stations.RefreshAtcList();
    pipe.stations.ListBox_ATCClick(0);
    EXPECT_TRUE(pipe.stations.stations()[0].atis_lines.empty());
}

TEST(StationClickTest, TheAtisRequestReachesTheServer) {
    test::AtcServerProcess server;
    ASSERT_TRUE(server.started());
    StationPipeline pipe;
    pipe.settings.server_address = "127.0.0.1";
    pipe.settings.server_port = std::to_string(server.port());
    pipe.link.ConnectToServer();
    ASSERT_TRUE(test::WaitUntil([&] { return pipe.link.socket_connected(); }));

    pipe.Receive({"#AALFPG_TWR"});
    pipe.stations.ListBox_ATCClick(0);
    EXPECT_TRUE(server.WaitForReceived("$CQABC12:LFPG_TWR:ATIS"));
    pipe.link.DisconnectFromServer();
}

struct CutCase {
    const char* name;
    std::string text;
    std::vector<std::string> lines;
};

void PrintTo(const CutCase& c, std::ostream* out) {
    *out << c.name;
}

std::string repeated(std::string_view piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

class StationTextTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(StationTextTest, ShowsInLinesOf45CharactersAndIsKeptWhole) {
    const CutCase& c = GetParam();
    StationPipeline pipe;
    pipe.Receive({"#AALFPG_TWR"});
    pipe.stations.ListBox_ATCClick(0);
    pipe.Receive({"#TMLFPG_TWR:ABC12:" + c.text});

    // No "%" yet: the header has no frequency between its blanks.
    std::vector<std::string> expected{"LFPG_TWR" + std::string(7, ' ') + "ATIS:"};
    expected.insert(expected.end(), c.lines.begin(), c.lines.end());
    EXPECT_EQ(pipe.Shown(), expected);
    EXPECT_EQ(pipe.stations.stations()[0].atis_lines, std::vector<std::string>{c.text});
}

const std::string kHundred = repeated("0123456789", 10);

INSTANTIATE_TEST_SUITE_P(
    Lengths, StationTextTest,
    ::testing::Values(
        CutCase{"hundred", kHundred, {kHundred.substr(0, 45), kHundred.substr(45)}},
        CutCase{"exactly_45", kHundred.substr(0, 45), {kHundred.substr(0, 45)}},
        CutCase{"46", kHundred.substr(0, 46), {kHundred.substr(0, 45), "5"}},
        CutCase{"empty", "", {""}},
        // Cut at characters, not bytes: "é" is two bytes in UTF-8.
        CutCase{"accented", repeated("é", 50), {repeated("é", 45), repeated("é", 5)}},
        // Bytes that are not UTF-8 are 8-bit characters, one byte each.
        CutCase{"eight_bit", repeated("\xE9", 50), {repeated("\xE9", 45), repeated("\xE9", 5)}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StationTextTest, TextsOfOtherStationsOrWithoutSelectionAreIgnored) {
    StationPipeline pipe;
    pipe.Receive({"#AAA_TWR", "#AAB_TWR", "#TMA_TWR:ABC12:before any choice"});
    EXPECT_EQ(pipe.stations.line_count(), 2u);
    EXPECT_FALSE(pipe.stations.selected_station());

    pipe.stations.ListBox_ATCClick(0);
    pipe.Receive({"#TMB_TWR:ABC12:not ours", "#TMA_TWR:ABC12:ours"});
    EXPECT_EQ(pipe.Shown(),
              (std::vector<std::string>{"A_TWR" + std::string(10, ' ') + "ATIS:", "ours"}));
    EXPECT_TRUE(pipe.stations.stations()[1].atis_lines.empty());
}

// ---------------------------------------------------------------------------------------
// Relay to the simulator

std::string shownText(test::FakeFsuipcServer& server) {
    std::string text;
    for (std::uint32_t at = 0x3380; server.memory[at] != 0 && at < 0x3380 + 128; ++at) {
        text += static_cast<char>(server.memory[at]);
    }
    return text;
}

ShowInSimulator showThrough(FsuipcClient& client) {
    return [&client](std::string_view text) { return ShowTextInSimulator(client, text); };
}

TEST(AtisRelayTest, OneLineLeavesPerTickInArrivalOrder) {
    test::FakeFsuipcServer server;
    FsuipcClient client(server);
    ASSERT_TRUE(client.Open(0));
    StationPipeline pipe;
    pipe.Receive({"#AALFPG_TWR"});
    // Nothing selected: nothing to relay.
    const int sends = server.sends;
    EXPECT_EQ(RelayAtisLine(pipe.stations, showThrough(client)), std::nullopt);
    EXPECT_EQ(server.sends, sends);

    pipe.stations.ListBox_ATCClick(0);
    pipe.Receive({"#TMLFPG_TWR:ABC12:one", "#TMLFPG_TWR:ABC12:two", "#TMLFPG_TWR:ABC12:three"});
    // All three show in the window at once.
    EXPECT_EQ(pipe.stations.line_count(), 4u);

    for (const char* expected : {"one", "two", "three"}) {
        EXPECT_EQ(RelayAtisLine(pipe.stations, showThrough(client)), std::nullopt);
        EXPECT_EQ(shownText(server), expected);
    }
    const int after = server.sends;
    EXPECT_EQ(RelayAtisLine(pipe.stations, showThrough(client)), std::nullopt);
    EXPECT_EQ(server.sends, after);
}

TEST(AtisRelayTest, AFailureIsReportedAndTheLineLeavesAnyway) {
    test::FakeFsuipcServer server;
    FsuipcClient client(server);  // never opened
    StationPipeline pipe;
    pipe.Receive({"#AALFPG_TWR"});
    pipe.stations.ListBox_ATCClick(0);
    pipe.Receive({"#TMLFPG_TWR:ABC12:one"});

    EXPECT_EQ(RelayAtisLine(pipe.stations, showThrough(client)),
              std::optional<std::string>("Reading: Call cannot execute, link not Open"));
    EXPECT_TRUE(pipe.stations.stations()[0].atis_lines.empty());
}

}  // namespace
}  // namespace tavoro
