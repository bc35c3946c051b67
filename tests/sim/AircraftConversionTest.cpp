#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "core/Numbers.h"
#include "sim/AircraftConversion.h"

namespace tavoro {
namespace {

constexpr double kTwoTo32 = 4294967296.0;

std::uint32_t angleWord(double degrees) {
    // What the simulator keeps for an angle: a turn is 2^32, negative angles wrap.
    return static_cast<std::uint32_t>(
        static_cast<std::int64_t>(std::llround(degrees * kTwoTo32 / 360.0)));
}

struct AngleCase {
    const char* name;
    std::uint32_t word;
    std::int32_t degrees;
};

TEST(AircraftConversionTest, AnglesAreWholeDegreesOfATurn) {
    const AngleCase cases[] = {
        {"zero", 0, 0},
        {"a quarter turn", 0x40000000u, 90},
        {"half a turn", 0x80000000u, 180},
        {"pitch of minus one degree", angleWord(-1), 359},
        {"just below a whole turn", 0xFFFFFFFFu, 360},
        {"just under half a degree", angleWord(0.49), 0},
        {"just over half a degree", angleWord(0.51), 1},
        // 2^32 / 720 is not a whole word; the words on each side of it round apart.
        {"half a degree, just below", 5965232u, 0},
        {"half a degree, just above", 5965233u, 1},
        {"heading 270", angleWord(270), 270},
        // 22.5 and 67.5 degrees are exact words: ties go to the even neighbour.
        {"22.5 degrees", 0x10000000u, 22},
        {"67.5 degrees", 0x30000000u, 68},
    };
    for (const AngleCase& c : cases) {
        EXPECT_EQ(AngleDegrees(c.word), c.degrees) << c.name;
    }
}

TEST(AircraftConversionTest, AltitudeFractionReadsAsDecimalDigits) {
    const struct {
        std::uint32_t metres;
        std::uint32_t fraction;
        double expected_metres;
    } cases[] = {
        {100, 0, 100.0},
        {100, 5, 100.5},
        {0, 2147483648u, 0.2147483648},
        {1524, 25, 1524.25},
        {1, 4294967295u, 1.4294967295},
    };
    for (const auto& c : cases) {
        PollingOffsets raw;
        raw.altitude_metres = c.metres;
        raw.altitude_fraction = c.fraction;
        AircraftState state;
        ApplyPollingOffsets(raw, state);
        EXPECT_DOUBLE_EQ(state.altitude_ft, c.expected_metres / 0.3048)
            << c.metres << " m, fraction word " << c.fraction;
    }
}

// The whole metres and the fraction are one signed number: below sea level the whole
// metres are the metre below, and the fraction counts up from there.
TEST(AircraftConversionTest, AltitudeBelowSeaLevelIsNegative) {
    const struct {
        const char* name;
        std::int32_t metres;
        std::uint32_t fraction;
        double expected_metres;
        const char* report;  // the altitude field of a position report
    } cases[] = {
        {"a whole metre below", -1, 0, -1.0, "   -3"},
        {"half a metre below", -1, 5, -0.5, "   -2"},
        {"the lowest airfields", -381, 0, -381.0, "-1250"},
        // What the simulator keeps for -11 ft: -4 m and 0.6472 m as a binary fraction,
        // whose word read as decimal digits gives 0.278 m, as for altitudes above sea level.
        {"-11 ft", -4, 2779702834u, -3.7220297166, "  -12"},
        {"the lowest the word holds", std::numeric_limits<std::int32_t>::min(), 0, -2147483648.0,
         "-7045550026"},
        {"the highest stays above sea level", std::numeric_limits<std::int32_t>::max(), 0,
         2147483647.0, "7045550023"},
    };
    for (const auto& c : cases) {
        PollingOffsets raw;
        raw.altitude_metres = c.metres;
        raw.altitude_fraction = c.fraction;
        AircraftState state;
        ApplyPollingOffsets(raw, state);
        EXPECT_DOUBLE_EQ(state.altitude_ft, c.expected_metres / 0.3048) << c.name;
        EXPECT_EQ(FormatFixed(state.altitude_ft, 5, 0), c.report) << c.name;
    }
}

TEST(AircraftConversionTest, PositionAndSpeedScales) {
    const struct {
        const char* name;
        std::int64_t latitude;
        std::int64_t longitude;
        std::uint32_t ground_speed;
        double expected_latitude;
        double expected_longitude;
        double expected_speed_kt;
    } cases[] = {
        {"origin, standing", 0, 0, 0, 0, 0, 0},
        {"north pole, antimeridian, one metre per second", 42957189152768000LL,
         std::numeric_limits<std::int64_t>::min(), 65536, 90, -180, 3600.0 / 1852.0},
        {"south, east", -21478594576384000LL, 4611686018427387904LL, 65536 * 100, -45, 90,
         100 * 3600.0 / 1852.0},
        {"the biggest speed word", 0, 0, 0xFFFFFFFFu, 0, 0, 0xFFFFFFFFu / 65536.0 / 1852 * 3600},
    };
    for (const auto& c : cases) {
        PollingOffsets raw;
        raw.latitude = c.latitude;
        raw.longitude = c.longitude;
        raw.ground_speed = c.ground_speed;
        AircraftState state;
        ApplyPollingOffsets(raw, state);
        EXPECT_DOUBLE_EQ(state.latitude, c.expected_latitude) << c.name;
        EXPECT_DOUBLE_EQ(state.longitude, c.expected_longitude) << c.name;
        EXPECT_NEAR(state.ground_speed_kt, c.expected_speed_kt, 1e-9) << c.name;
    }
    PollingOffsets one_ms;
    one_ms.ground_speed = 65536;
    AircraftState state;
    ApplyPollingOffsets(one_ms, state);
    EXPECT_NEAR(state.ground_speed_kt, 1.9438, 0.0001);
}

TEST(AircraftConversionTest, TransponderClockAndEngines) {
    const struct {
        std::uint16_t transponder;
        const char* code;
        std::uint8_t zulu_hour, zulu_minute, second;
        std::int32_t zulu_seconds;
    } cases[] = {
        {0x1200, "1200", 0, 0, 0, 0},
        {0x7A0F, "7A0F", 12, 30, 2, 45002},
        {0x0012, "0012", 23, 59, 59, 86399},
        {0xFFFF, "FFFF", 1, 0, 1, 3601},
    };
    for (const auto& c : cases) {
        PollingOffsets raw;
        raw.transponder = c.transponder;
        raw.zulu_hour = c.zulu_hour;
        raw.zulu_minute = c.zulu_minute;
        raw.second = c.second;
        raw.local_hour = 7;
        raw.local_minute = 45;
        raw.engines = 65535;
        AircraftState state;
        ApplyPollingOffsets(raw, state);
        EXPECT_EQ(state.transponder_code, c.code);
        EXPECT_EQ(state.zulu_seconds, c.zulu_seconds) << c.code;
        EXPECT_EQ(state.zulu_time.hours, c.zulu_hour);
        EXPECT_EQ(state.zulu_time.minutes, c.zulu_minute);
        EXPECT_EQ(state.local_time.hours, 7);
        EXPECT_EQ(state.local_time.minutes, 45);
        EXPECT_EQ(state.engine_count, 65535);
    }
}

TEST(AircraftConversionTest, CaptionShowsZuluAndLocalHoursAndMinutes) {
    AircraftState state;
    state.zulu_time = {9, 5};
    state.local_time = {23, 0};
    EXPECT_EQ(ClockCaption("Tavoro 3.81", state), "Tavoro 3.81    Zulu:09:05 Local:23:00");
}

TEST(AircraftConversionTest, FieldTextStopsAtZeroOrFieldEnd) {
    char full[12];
    std::memcpy(full, "ABCDEFGHIJKL", 12);
    EXPECT_EQ(FieldText(full, sizeof full), "ABCDEFGHIJKL");
    char padded[12] = "F-GTAV";
    EXPECT_EQ(FieldText(padded, sizeof padded), "F-GTAV");
    char empty[12] = {};
    EXPECT_EQ(FieldText(empty, sizeof empty), "");
    char after_zero[12] = {'A', 0, 'B'};
    EXPECT_EQ(FieldText(after_zero, sizeof after_zero), "A");
}

}  // namespace
}  // namespace tavoro
