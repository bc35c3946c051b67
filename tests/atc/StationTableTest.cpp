#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <ostream>
#include <random>

#include "StationPipeline.h"
#include "atc/StationTable.h"
#include "support/Seed.h"

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
    EXPECT_EQ(pipe.table.StationDistanceNm(0), c.nm);
    ASSERT_EQ(pipe.list.line_count(), 1u);
    EXPECT_EQ(pipe.list.line(0),
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
// The table

TEST(StationTableTest, AFreedSlotIsReusedHighestFirstWithItsOldValues) {
    StationPipeline pipe;
    pipe.Receive({"#AAA_TWR", PositionLine("A_TWR", "18.100", "TWR", "48.0", "2.0"), "#AAB_APP",
                  "#AAC_CTR", "#DAA_TWR", "#DAC_CTR"});
    ASSERT_EQ(pipe.table.stations().size(), 3u);
    EXPECT_EQ(pipe.table.station_order(), std::vector<std::size_t>{1});

    pipe.Receive({"#AAD_TWR"});
    EXPECT_EQ(pipe.table.stations()[2].callsign, "D_TWR");
    pipe.Receive({"#AAE_TWR"});
    const AtcStation& reused = pipe.table.stations()[0];
    EXPECT_EQ(reused.callsign, "E_TWR");
    EXPECT_EQ(reused.latitude, StationTable::kRemovedLatitude);
    EXPECT_EQ(pipe.table.stations().size(), 3u);
    EXPECT_EQ(pipe.table.station_order(), (std::vector<std::size_t>{1, 2, 0}));
    // The new station shows the removed one's frequency and facility.
    ASSERT_EQ(pipe.list.line_count(), 3u);
    EXPECT_EQ(pipe.list.line(2).substr(0, 28), "E_TWR    Tour       118.100 ");

    // Its first "%" gives it values of its own, shown at the next rebuild.
    pipe.Receive({PositionLine("E_TWR", "19.000", "APP", "0", "0")});
    EXPECT_EQ(pipe.list.line(2).substr(0, 28), "E_TWR    Tour       118.100 ");
    pipe.list.RefreshAtcList();
    EXPECT_EQ(pipe.list.line(2), "E_TWR    Approche   119.000 0nm (20nm)");
}

TEST(StationTableTest, PositionOfAnUnannouncedStationAddsAndShowsIt) {
    StationPipeline pipe;
    pipe.aircraft.latitude = 49.0;
    pipe.aircraft.longitude = 2.0;
    pipe.Receive({PositionLine("X_TWR", "18.7", "TWR", "48.0", "2.0")});
    EXPECT_EQ(pipe.table.station_order(), std::vector<std::size_t>{0});
    EXPECT_TRUE(pipe.list.list_mode());
    EXPECT_EQ(pipe.Shown(), std::vector<std::string>{"X_TWR    Tour       118.7 60nm (20nm)"});
}

TEST(StationTableTest, ASecondPositionChangesValuesButNotTheShownLine) {
    StationPipeline pipe;
    pipe.aircraft.latitude = 49.0;
    pipe.aircraft.longitude = 2.0;
    pipe.Receive({PositionLine("X_TWR", "18.7", "TWR", "48.0", "2.0")});
    const std::vector<std::string> before = pipe.Shown();
    const auto generation = pipe.list.list_generation();

    pipe.Receive({PositionLine("X_TWR", "19.1", "APP", "47.0", "2.0", "40")});
    // The aircraft moving does not redraw the list either.
    pipe.aircraft.latitude = 50.0;
    const AtcStation& station = pipe.table.stations()[0];
    EXPECT_EQ(station.frequency, "119.1");
    EXPECT_EQ(station.facility, "Approche");
    EXPECT_EQ(station.visual_range, "40");
    EXPECT_EQ(station.latitude, 47.0);
    EXPECT_EQ(pipe.Shown(), before);
    EXPECT_EQ(pipe.list.list_generation(), generation);

    pipe.list.RefreshAtcList();
    EXPECT_EQ(pipe.Shown(), std::vector<std::string>{"X_TWR    Approche   119.1 180nm (40nm)"});
}

TEST(StationTableTest, ARepeatedCallsignIsListedTwiceAndTheHigherSlotAnswers) {
    StationPipeline pipe;
    pipe.Receive({"#AAX_TWR", "#AAX_TWR"});
    EXPECT_EQ(pipe.table.station_order(), (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(pipe.list.line_count(), 2u);

    pipe.Receive({PositionLine("X_TWR", "18.5", "TWR", "0", "0")});
    EXPECT_EQ(pipe.table.stations()[1].frequency, "118.5");
    EXPECT_EQ(pipe.table.stations()[0].frequency, "");

    pipe.Receive({"#DAX_TWR"});
    EXPECT_EQ(pipe.table.station_order(), std::vector<std::size_t>{0});
    EXPECT_EQ(pipe.table.stations()[0].callsign, "X_TWR");
    EXPECT_EQ(pipe.table.stations()[1].callsign, "");
    EXPECT_EQ(pipe.list.line_count(), 1u);
}

TEST(StationTableTest, RemovingAnUnknownStationChangesNothing) {
    StationPipeline pipe;
    pipe.Receive({"#DAX_TWR"});
    EXPECT_TRUE(pipe.table.stations().empty());
    EXPECT_FALSE(pipe.list.list_mode());

    pipe.Receive({"#AAA_TWR", "#AAB_TWR"});
    const auto generation = pipe.list.list_generation();
    const std::vector<std::string> shown = pipe.Shown();
    pipe.Receive({"#DAX_TWR", "#DAA_TW"});
    EXPECT_EQ(pipe.table.station_order(), (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(pipe.list.list_generation(), generation);
    EXPECT_EQ(pipe.Shown(), shown);
}

TEST(StationTableTest, ABadAltitudeKeepsTheValuesSetBeforeIt) {
    StationPipeline pipe;
    pipe.Receive({"#AAA_TWR"});
    const std::vector<std::string> shown = pipe.Shown();
    const auto generation = pipe.list.list_generation();

    // Known station: every value up to the altitude is set; the next line still runs.
    pipe.Receive({PositionLine("A_TWR", "18.1", "TWR", "48.5", "2.5", "25", "abc"), "#AAB_TWR"});
    const AtcStation& known = pipe.table.stations()[0];
    EXPECT_EQ(known.frequency, "118.1");
    EXPECT_EQ(known.facility, "Tour");
    EXPECT_EQ(known.visual_range, "25");
    EXPECT_EQ(known.latitude, 48.5);
    EXPECT_EQ(known.longitude, 2.5);
    EXPECT_EQ(pipe.table.station_order(), (std::vector<std::size_t>{0, 1}));

    // New station: the slot holds it, but it is not listed and nothing is redrawn.
    const std::vector<std::string> before_new = pipe.Shown();
    const auto generation_before_new = pipe.list.list_generation();
    EXPECT_NE(generation_before_new, generation);
    pipe.Receive({PositionLine("N_APP", "18.2", "APP", "47", "3", "30", "1x")});
    ASSERT_EQ(pipe.table.stations().size(), 3u);
    const AtcStation& fresh = pipe.table.stations()[2];
    EXPECT_EQ(fresh.callsign, "N_APP");
    EXPECT_EQ(fresh.frequency, "118.2");
    EXPECT_EQ(fresh.facility, "Approche");
    EXPECT_EQ(fresh.visual_range, "30");
    EXPECT_EQ(fresh.latitude, 47.0);
    EXPECT_EQ(fresh.longitude, 3.0);
    EXPECT_EQ(pipe.table.station_order(), (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(pipe.list.list_generation(), generation_before_new);
    EXPECT_EQ(pipe.Shown(), before_new);
    EXPECT_NE(shown, before_new);
}

TEST(StationTableTest, APositionThatIsNotANumberPutsTheStationAtZero) {
    StationPipeline pipe;
    pipe.Receive({PositionLine("A_TWR", "18.1", "TWR", "48.5", "2.5"),
                  PositionLine("A_TWR", "18.1", "TWR", "N48", "")});
    EXPECT_EQ(pipe.table.stations()[0].latitude, 0.0);
    EXPECT_EQ(pipe.table.stations()[0].longitude, 0.0);
}

// The slots and the listing order as a plain walk through the table finds them: the
// highest free slot first, a removal unlisting the slot's first entry.
struct PlainTable {
    std::vector<std::string> callsigns;
    std::vector<std::size_t> order;

    std::optional<std::size_t> highestSlotOf(const std::string& callsign) const {
        for (std::size_t slot = callsigns.size(); slot-- > 0;) {
            if (callsigns[slot] == callsign) {
                return slot;
            }
        }
        return std::nullopt;
    }
    void Add(const std::string& callsign) {
        std::optional<std::size_t> slot = highestSlotOf("");
        if (!slot) {
            callsigns.emplace_back();
            slot = callsigns.size() - 1;
        }
        callsigns[*slot] = callsign;
        order.push_back(*slot);
    }
    // A "%" line: an unknown callsign is added and listed, a known one keeps its place.
    void Position(const std::string& callsign) {
        if (!highestSlotOf(callsign)) {
            Add(callsign);
        }
    }
    void Remove(const std::string& callsign) {
        if (std::optional<std::size_t> slot = highestSlotOf(callsign)) {
            callsigns[*slot].clear();
            auto entry = std::find(order.begin(), order.end(), *slot);
            if (entry != order.end()) {
                order.erase(entry);
            }
        }
    }
};

// Removals mixed with announcements and positions, with repeated callsigns and the empty
// one (which lists a free slot again), and the order read now and then: it is always the
// order a plain walk gives.
TEST(StationTableTest, RemovalsKeepTheListingOrderWhateverTheMix) {
    const std::vector<std::string> callsigns = {"", "A_TWR", "B_APP", "C_CTR", "D_GND", "E_DEL"};
    std::mt19937 random(test::TestSeed());
    auto pick = [&](std::size_t below) {
        return std::uniform_int_distribution<std::size_t>(0, below - 1)(random);
    };
    StationPipeline pipe;
    PlainTable plain;
    for (int step = 0; step < 4000; ++step) {
        const std::string& callsign = callsigns[pick(callsigns.size())];
        const std::size_t action = pick(100);
        if (action < 55) {
            pipe.table.StationAdded(callsign);
            plain.Add(callsign);
        } else if (action < 70) {
            pipe.Receive({PositionLine(callsign, "18.1", "TWR", "48.5", "2.5")});
            plain.Position(callsign);
        } else {
            pipe.table.StationRemoved(callsign);
            plain.Remove(callsign);
        }
        if (pick(20) == 0) {
            SCOPED_TRACE("step " + std::to_string(step));
            ASSERT_EQ(pipe.table.station_order(), plain.order);
            std::vector<std::string> table_callsigns;
            for (const AtcStation& station : pipe.table.stations()) {
                table_callsigns.push_back(station.callsign);
            }
            ASSERT_EQ(table_callsigns, plain.callsigns);
        }
    }
    EXPECT_EQ(pipe.table.station_order(), plain.order);
}

// Facility texts are read once per tick: an edit of the configuration shows from the next
// block on, for new and known stations alike.
TEST(StationTableTest, FacilityTextsFollowTheConfigurationFromTheNextTick) {
    StationPipeline pipe;
    pipe.Receive({PositionLine("A_TWR", "18.7", "TWR", "48.0", "2.0"),
                  PositionLine("B_TWR", "18.8", "TWR", "48.0", "2.0")});
    EXPECT_EQ(pipe.table.stations()[0].facility, "Tour");
    EXPECT_EQ(pipe.table.stations()[1].facility, "Tour");
    pipe.config.Write("[facility]\nTWR=Tower\n");
    pipe.Receive({PositionLine("C_TWR", "18.9", "TWR", "48.0", "2.0"),
                  PositionLine("A_TWR", "18.7", "TWR", "48.0", "2.0")});
    EXPECT_EQ(pipe.table.stations()[2].facility, "Tower");
    EXPECT_EQ(pipe.table.stations()[0].facility, "Tower");
    EXPECT_EQ(pipe.table.stations()[1].facility, "Tour");
}

}  // namespace
}  // namespace tavoro
