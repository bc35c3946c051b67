#include <gtest/gtest.h>

#include "atcserver/Stations.h"

namespace {

TEST(StationLineTest, AStationWithItsAtisAndSpokenText) {
    StationLine parsed = ParseStationLine(
        "  LIRF_TWR | 18.700 | 4 | 30 | 4 | 41.80028 | -12.23889 | 14 | Fiumicino information "
        "Alpha | Runway 16R, 16L | Fiumicino information Alpha, runway 16 right  \r");
    ASSERT_TRUE(parsed.station) << parsed.error.toStdString();
    const Station& s = *parsed.station;
    EXPECT_EQ(s.callsign, "LIRF_TWR");
    EXPECT_EQ(s.frequency, "18.700");
    EXPECT_EQ(s.facility, "4");
    EXPECT_EQ(s.visual_range, "30");
    EXPECT_EQ(s.rating, "4");
    EXPECT_EQ(s.latitude, "41.80028");
    EXPECT_EQ(s.longitude, "-12.23889");
    EXPECT_EQ(s.altitude, "14");
    EXPECT_EQ(s.atis_lines, (QList<QByteArray>{"Fiumicino information Alpha", "Runway 16R, 16L"}));
    EXPECT_EQ(s.spoken_text, "Fiumicino information Alpha, runway 16 right");
    EXPECT_EQ(AnnounceLine(s), "#AALIRF_TWR");
    EXPECT_EQ(PositionLine(s), "%LIRF_TWR:18.700:4:30:4:41.80028:-12.23889:14");
}

TEST(StationLineTest, TheLastFieldIsAlwaysTheSpokenText) {
    StationLine bare = ParseStationLine("LIRR_CTR|25.500|6|300|7|41.9|12.5|0|");
    ASSERT_TRUE(bare.station) << bare.error.toStdString();
    EXPECT_TRUE(bare.station->atis_lines.isEmpty());
    EXPECT_TRUE(bare.station->spoken_text.isEmpty());

    StationLine spoken_only = ParseStationLine("LIRR_CTR|25.500|6|300|7|41.9|12.5|0|Roma");
    ASSERT_TRUE(spoken_only.station);
    EXPECT_TRUE(spoken_only.station->atis_lines.isEmpty());
    EXPECT_EQ(spoken_only.station->spoken_text, "Roma");
}

TEST(StationLineTest, CommentsAndBlankLinesHoldNothing) {
    for (const char* line :
         {"", "   ", "\r", "# LIRF_TWR|18.700|4|30|4|41.8|12.2|14|x|y", "   # indented comment"}) {
        StationLine parsed = ParseStationLine(line);
        EXPECT_FALSE(parsed.station) << line;
        EXPECT_TRUE(parsed.error.isEmpty()) << line;
    }
}

struct BadLine {
    const char* line;
    const char* reason;  // a part of the error text
};

TEST(StationLineTest, MalformedLinesAreRefusedWithTheirReason) {
    const BadLine cases[] = {
        {"LIRF_TWR|18.700|4|30|4|41.8|12.2|14", "8 fields, a station needs at least 9"},
        {"LIRF_TWR", "1 fields"},
        {"|18.700|4|30|4|41.8|12.2|14|x", "callsign ''"},
        {"LIRF TWR|18.700|4|30|4|41.8|12.2|14|x", "callsign 'LIRF TWR'"},
        {"LIRF_TWR|118.700a|4|30|4|41.8|12.2|14|x", "frequency '118.700a'"},
        {"LIRF_TWR|18|4|30|4|41.8|12.2|14|x", "frequency '18'"},
        {"LIRF_TWR|18.700||30|4|41.8|12.2|14|x", "facility ''"},
        {"LIRF_TWR|18.700|4|-30|4|41.8|12.2|14|x", "range '-30'"},
        {"LIRF_TWR|18.700|4|30|A|41.8|12.2|14|x", "rating 'A'"},
        {"LIRF_TWR|18.700|4|30|4|90.5|12.2|14|x", "latitude '90.5'"},
        {"LIRF_TWR|18.700|4|30|4|41,8|12.2|14|x", "latitude '41,8'"},
        {"LIRF_TWR|18.700|4|30|4|41.8|-180.01|14|x", "longitude '-180.01'"},
        {"LIRF_TWR|18.700|4|30|4|41.8|12.2|14.5|x", "altitude '14.5'"},
        {"LIRF_TWR|18.700|4|30|4|41.8|12.2|99999999999|x", "altitude '99999999999'"},
        {"LIRF_TWR|18.700|4|30|4|41.8|12.2|14|Time 10:50|x", "'Time 10:50' holds a ':'"},
        {"LIRF_TWR|18.700|4|30|4|41.8|12.2|14|x|Spoken: text", "'Spoken: text' holds a ':'"},
    };
    for (const BadLine& c : cases) {
        StationLine parsed = ParseStationLine(c.line);
        EXPECT_FALSE(parsed.station) << c.line;
        EXPECT_TRUE(parsed.error.contains(c.reason))
            << c.line << " gave: " << parsed.error.toStdString();
    }
}

TEST(StationsFileTest, EveryBadLineIsReportedWithItsNumber) {
    StationsFile file = ParseStations(
        "# demo\n"
        "LIRF_TWR|18.700|4|30|4|41.8|12.2|14|a|b\n"
        "\n"
        "LIRF_GND|21.900|3|10|3|41.8|12.2|nope|a|b\n"
        "LIRA_TWR|20.200|4|25|4|41.79944|12.595|427|c|d\n"
        "LIRF_TWR|18.800|4|30|4|41.8|12.2|14|a|b\n",
        "stations.txt");
    EXPECT_EQ(file.errors,
              (QStringList{"stations.txt:4: altitude 'nope' is not a whole number of feet",
                           "stations.txt:6: station 'LIRF_TWR' is already listed"}));
    ASSERT_EQ(file.stations.size(), 2u);
    EXPECT_EQ(file.stations[0].callsign, "LIRF_TWR");
    EXPECT_EQ(file.stations[0].frequency, "18.700");
    EXPECT_EQ(file.stations[1].callsign, "LIRA_TWR");
}

TEST(StationsFileTest, AMissingFileIsAnError) {
    StationsFile file = ReadStationsFile("/nonexistent/stations.txt");
    ASSERT_EQ(file.errors.size(), 1);
    EXPECT_TRUE(file.errors[0].startsWith("/nonexistent/stations.txt: "));
    EXPECT_TRUE(file.stations.empty());
}

}  // namespace
