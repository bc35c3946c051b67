#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "simhost/SimModel.h"

namespace tavoro::simhost {
namespace {

struct MotionCase {
    const char* name;
    double latitude, longitude, heading, knots, seconds;
    double want_latitude, want_longitude;
};

// On the stand-in's sphere a nautical mile is one minute of arc, so an hour at 60 kt is
// one degree of arc along the great circle.
class MotionTest : public testing::TestWithParam<MotionCase> {};

TEST_P(MotionTest, MovesAlongTheHeadingAtTheGroundSpeed) {
    const MotionCase& c = GetParam();
    SimAircraft aircraft;
    aircraft.latitude = c.latitude;
    aircraft.longitude = c.longitude;
    aircraft.heading_deg = c.heading;
    aircraft.ground_speed_kt = c.knots;
    AdvanceAircraft(aircraft, c.seconds);
    EXPECT_NEAR(aircraft.latitude, c.want_latitude, 1e-9);
    EXPECT_NEAR(aircraft.longitude, c.want_longitude, 1e-9);
    EXPECT_GE(aircraft.longitude, -180.0);
    EXPECT_LT(aircraft.longitude, 180.0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MotionTest,
    testing::Values(MotionCase{"North", 0, 0, 0, 60, 3600, 1, 0},
                    MotionCase{"South", 10, 5, 180, 120, 1800, 9, 5},
                    MotionCase{"EastOnTheEquator", 0, 0, 90, 60, 3600, 0, 1},
                    MotionCase{"WestOnTheEquator", 0, 0, 270, 30, 7200, 0, -1},
                    MotionCase{"EastAcrossTheDateLine", 0, 179.5, 90, 60, 3600, 0, -179.5},
                    MotionCase{"WestAcrossTheDateLine", 0, -179.75, 270, 60, 1800, 0, 179.75},
                    MotionCase{"OverThePole", 89.5, 10, 0, 60, 3600, 89.5, -170},
                    MotionCase{"Parked", 48.7, 2.4, 62, 0, 3600, 48.7, 2.4},
                    MotionCase{"NoTimePassed", 48.7, 2.4, 62, 450, 0, 48.7, 2.4}),
    [](const testing::TestParamInfo<MotionCase>& info) { return info.param.name; });

TEST(MotionTest, ADistanceFlownAtAnAngleKeepsItsLength) {
    // 600 kt for 10 min is 100 NM whatever the heading: the arc between the start and the
    // end must be 100 minutes.
    for (double heading : {15.0, 135.0, 225.0, 300.0}) {
        SimAircraft aircraft;
        aircraft.latitude = 45;
        aircraft.longitude = 7;
        aircraft.heading_deg = heading;
        aircraft.ground_speed_kt = 600;
        AdvanceAircraft(aircraft, 600);
        const double rad = 3.14159265358979323846 / 180;
        const double cosine = std::sin(45 * rad) * std::sin(aircraft.latitude * rad) +
                              std::cos(45 * rad) * std::cos(aircraft.latitude * rad) *
                                  std::cos((aircraft.longitude - 7) * rad);
        EXPECT_NEAR(std::acos(cosine) / rad * 60, 100, 1e-6) << "heading " << heading;
    }
}

TEST(ClockTest, AdvancesAndWrapsAtMidnight) {
    SimClock clock;
    clock.zulu_seconds = 86399;
    clock.local_seconds = 3600;
    AdvanceClock(clock, 2.5);
    EXPECT_DOUBLE_EQ(clock.zulu_seconds, 1.5);
    EXPECT_DOUBLE_EQ(clock.local_seconds, 3602.5);
    AdvanceClock(clock, 3 * 86400.0);
    EXPECT_DOUBLE_EQ(clock.zulu_seconds, 1.5);
}

TEST(SimModelTest, UpdateAppliesOnlyTheTimePassedSinceTheLastUpdate) {
    using namespace std::chrono_literals;
    std::chrono::steady_clock::time_point now{};
    SimState state;
    state.aircraft.ground_speed_kt = 60;
    state.clock.zulu_seconds = 0;
    SimModel model(state, [&] { return now; });

    now += 30min;
    model.Update();
    EXPECT_NEAR(state.aircraft.latitude, 0.5, 1e-9);
    EXPECT_DOUBLE_EQ(state.clock.zulu_seconds, 1800);

    // A second update with no time passed moves nothing: time is never applied twice.
    model.Update();
    EXPECT_NEAR(state.aircraft.latitude, 0.5, 1e-9);
    EXPECT_DOUBLE_EQ(state.clock.zulu_seconds, 1800);

    // Many small steps fly the same course as one long one.
    for (int i = 0; i < 1800; ++i) {
        now += 1s;
        model.Update();
    }
    EXPECT_NEAR(state.aircraft.latitude, 1.0, 1e-9);
    EXPECT_DOUBLE_EQ(state.clock.zulu_seconds, 3600);
}

TEST(WrapDegreesTest, BringsAnglesIntoRange) {
    EXPECT_DOUBLE_EQ(WrapDegrees(-90, 0), 270);
    EXPECT_DOUBLE_EQ(WrapDegrees(720, 0), 0);
    EXPECT_DOUBLE_EQ(WrapDegrees(180, -180), -180);
    EXPECT_DOUBLE_EQ(WrapDegrees(270, -180), -90);
    EXPECT_LT(WrapDegrees(-1e-20, 0), 360.0);
}

}  // namespace
}  // namespace tavoro::simhost
