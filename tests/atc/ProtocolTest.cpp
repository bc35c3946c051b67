#include <gtest/gtest.h>

#include "atc/Protocol.h"

namespace tavoro {
namespace {

struct SplitCase {
    const char* text;
    char separator;
    FieldList pieces;
};

class SplitTextTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitTextTest, Splits) {
    EXPECT_EQ(SplitText(GetParam().text, GetParam().separator), GetParam().pieces)
        << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SplitTextTest,
    ::testing::Values(SplitCase{"a:b:", ':', {"a", "b", ""}}, SplitCase{":", ':', {"", ""}},
                      SplitCase{"", ':', {""}}, SplitCase{"abc", ':', {"abc"}},
                      SplitCase{"::a", ':', {"", "", "a"}},
                      SplitCase{"#AAEGLL_TWR:SERVER", ':', {"#AAEGLL_TWR", "SERVER"}},
                      SplitCase{"LFPG/RESMI/UL612", '/', {"LFPG", "RESMI", "UL612"}},
                      SplitCase{"a b", ' ', {"a", "b"}}, SplitCase{"x|y|", '|', {"x", "y", ""}}));

TEST(FieldTest, MissingFieldsReadAsEmptyText) {
    FieldList fields = SplitText("ZULU:12", ':');
    EXPECT_EQ(Field(fields, 0), "ZULU");
    EXPECT_EQ(Field(fields, 1), "12");
    EXPECT_EQ(Field(fields, 2), "");
    EXPECT_EQ(Field(fields, 1000), "");
    EXPECT_EQ(Field(FieldList{}, 0), "");
}

TEST(FieldTest, FieldAfterTypeWord) {
    EXPECT_EQ(FieldAfter({"#AAEGLL_TWR", "x"}, "#AA"), "EGLL_TWR");
    EXPECT_EQ(FieldAfter({"#TMAUDIOLFPG_APP"}, "#TM"), "AUDIOLFPG_APP");
    EXPECT_EQ(FieldAfter({"#AA"}, "#AA"), "");
    EXPECT_EQ(FieldAfter({"#A"}, "#AA"), "");
    EXPECT_EQ(FieldAfter({}, "#AA"), "");
}

TEST(FieldTest, JoinFieldsFromOne) {
    // A refusal's fields 1 to the last joined without separator.
    EXPECT_EQ(JoinFields({"$ERserver", "ABC12", "2", "", "Invalid callsign"}, 1),
              "ABC122Invalid callsign");
    EXPECT_EQ(JoinFields({"$ERserver"}, 1), "");
}

TEST(ComposeTest, PositionReportExampleByteForByte) {
    PositionReport report;
    report.mode_c = true;
    report.callsign = "ABC12";
    report.transponder_code = "1200";
    report.latitude = 48.7251;
    report.longitude = 2.3552;
    report.altitude_ft = 350;
    report.ground_speed_kt = 0;
    report.heading_deg = 274;
    report.failure_mask = 0;
    EXPECT_EQ(ComposePositionReport(report),
              "@N:ABC12:1200:1:48.72510: 2.35520:  350:   0:274:1:0\r\n");
}

TEST(ComposeTest, PositionReportEdgeValues) {
    PositionReport standby;  // nothing known yet: zeros in the fixed widths
    EXPECT_EQ(ComposePositionReport(standby), "@S:::1: 0.00000: 0.00000:    0:   0:0:1:0\r\n");

    PositionReport report;
    report.mode_c = true;
    report.callsign = "AFR123";
    report.transponder_code = "7A00";
    report.latitude = 5.5;
    report.longitude = -0.25;
    report.altitude_ft = 35000.4;
    report.ground_speed_kt = 451.5;
    report.heading_deg = 360;
    report.failure_mask = 1023;
    EXPECT_EQ(ComposePositionReport(report),
              "@N:AFR123:7A00:1: 5.50000:-0.25000:35000: 452:360:1:1023\r\n");
}

TEST(ComposeTest, LoginAndLogoff) {
    EXPECT_EQ(ComposeLogin("ABC12", "Tavoro", "secret", "Boeing", "B738", 2),
              "#APABC12:SERVER:Tavoro:secret:Boeing:B738:2\r\n");
    EXPECT_EQ(ComposeLogin("", "error", "error", "", "", 65535),
              "#AP:SERVER:error:error:::65535\r\n");
    EXPECT_EQ(ComposeLogoff("ABC12"), "#DPABC12\r\n");
}

TEST(ComposeTest, FlightPlanKeepsColonsInRemarks) {
    FlightPlanLine plan;
    plan.flight_rules = "I";
    plan.aircraft = "B738";
    plan.cruise_speed = "450";
    plan.departure = "LFPG";
    plan.departure_date = "09/12/2026";
    plan.departure_time = "930";
    plan.cruise_level = "FL350";
    plan.destination = "EGLL";
    plan.enroute_hours = "01";
    plan.enroute_minutes = "05";
    plan.fuel_hours = "03";
    plan.fuel_minutes = "30";
    plan.alternate = "EGKK";
    plan.remarks = " RMK/TCAS SEL:ABCD";
    plan.route = "LFPG/ABB/EGLL";
    EXPECT_EQ(ComposeFlightPlan("ABC12", plan),
              "$FPABC12:SERVER:I:B738:450:LFPG:09/12/2026:930:FL350:EGLL:01:05:03:30:EGKK:"
              " RMK/TCAS SEL:ABCD:LFPG/ABB/EGLL\r\n");
}

TEST(ComposeTest, Queries) {
    EXPECT_EQ(ComposeAtisQuery("ABC12", "LFPG_TWR"), "$CQABC12:LFPG_TWR:ATIS\r\n");
    EXPECT_EQ(ComposeAllFiledPlansQuery("ABC12"), "$CQABC12:SERVER:DEPOTFPA:TOUS\r\n");
    EXPECT_EQ(ComposeFiledPlansByDateQuery("ABC12", "09/12/2026"),
              "$CQABC12:SERVER:DEPOTFPA:09/12/2026\r\n");
}

TEST(ComposeTest, LineBreaksInValuesCannotEndTheLine) {
    FlightPlanLine plan;
    plan.remarks = " line one\r\n line two\n$FPEVIL:SERVER";
    std::string line = ComposeFlightPlan("ABC12\r\n#DPOTHER", plan);
    EXPECT_EQ(line.find('\r'), line.size() - 2);
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    EXPECT_EQ(line.substr(0, 22), "$FPABC12  #DPOTHER:SER");
    EXPECT_EQ(ComposeLogin("A\rB", "x\ny", "", "", "", 1), "#APA B:SERVER:x y::::1\r\n");
}

}  // namespace
}  // namespace tavoro
