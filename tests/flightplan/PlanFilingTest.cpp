#include <gtest/gtest.h>

#include <QDate>
#include <QLocale>
#include <optional>
#include <string>
#include <vector>

#include "core/Fields.h"
#include "flightplan/PlanFiling.h"
#include "flightplan/PlanFixtures.h"
#include "flightplan/PlanStates.h"

namespace tavoro {
namespace {

using test::EarlierPlan;

const QDate kToday(2026, 3, 14);

FilingInput Input(const std::string& memo = "\n") {
    FilingInput input;
    input.atc_model = "C172SP";
    input.logged_in = true;
    input.memo_text = memo;
    input.today = kToday;
    input.locale = QLocale("fr_FR");
    return input;
}

TEST(PlanFilingTest, RemarksAreTheLinesEachAfterOneBlank) {
    struct {
        const char* memo;
        const char* comments;
    } const cases[] = {
        {"", ""},
        {"\n", " "},  // the box as it starts: one empty line
        {"RVSM", " RVSM"},
        {"RVSM\n", " RVSM"},
        {"RVSM\nPBN/B2", " RVSM PBN/B2"},
        {"\nsecond", "  second"},
        {"a\n\n", " a "},
        {"a\r\nb", " a b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.memo);
        EXPECT_EQ(CommentsFromMemo(c.memo), c.comments);
    }
}

TEST(PlanFilingTest, AnUntouchedPanelGoesWithItsDefaults) {
    FlightPlan plan;
    const FilingPreparation prepared = PrepareFiling(plan, Input());
    ASSERT_FALSE(prepared.refusal);
    FlightPlanLine expected;
    expected.flight_rules = "V";
    expected.aircraft = "C172SP";
    expected.departure_date = "14/03/2026";
    expected.departure_time = "0000";
    expected.enroute_hours = "00";
    expected.enroute_minutes = "00";
    expected.fuel_hours = "00";
    expected.fuel_minutes = "00";
    expected.remarks = " ";
    EXPECT_EQ(prepared.values, expected);
    // The plan keeps what it was given, but is not filed until the server says so.
    EXPECT_EQ(plan.departure_date, kToday);
    EXPECT_EQ(plan.comments, " ");
    EXPECT_EQ(plan.flight_rules, "V");
    EXPECT_FALSE(plan.filed);
}

TEST(PlanFilingTest, ValuesGoAsTheyStand) {
    FlightPlan plan = EarlierPlan();
    plan.flight_rules = "I";
    plan.speed = "45 ";
    plan.actual_time = "930";
    plan.time_enroute = " 1:45";
    plan.time_fuel = "04:30";
    plan.cruise_level = "   ";  // blanks are no empty text: no default
    plan.route_points = {"ABC", " ", "DE"};
    plan.route_text = "ABC/ /DE";
    const FilingPreparation prepared = PrepareFiling(plan, Input("a: b\nc"));
    ASSERT_FALSE(prepared.refusal);
    const FlightPlanLine& v = prepared.values;
    EXPECT_EQ(v.flight_rules, "I");
    EXPECT_EQ(v.cruise_speed, "45 ");
    EXPECT_EQ(v.departure, "AAAA");
    EXPECT_EQ(v.destination, "BBBB");
    EXPECT_EQ(v.alternate, "LFPO");
    EXPECT_EQ(v.departure_date, "06/05/2030");  // the plan's own date
    EXPECT_EQ(v.departure_time, "930");
    EXPECT_EQ(v.cruise_level, "   ");
    EXPECT_EQ(v.enroute_hours, " 1");
    EXPECT_EQ(v.enroute_minutes, "45");
    EXPECT_EQ(v.fuel_hours, "04");
    EXPECT_EQ(v.fuel_minutes, "30");
    EXPECT_EQ(v.remarks, " a: b c");
    EXPECT_EQ(v.route, "ABC/ /DE");
    EXPECT_EQ(plan.departure_date, QDate(2030, 5, 6));
}

TEST(PlanFilingTest, NoAircraftOrNoLoginSendsNothing) {
    struct {
        const char* name;
        const char* model;
        bool logged_in;
        const char* message;
    } const cases[] = {
        {"no_aircraft", "", true, "appareil inconnu"},
        {"no_aircraft_nor_login", "", false, "appareil inconnu"},
        {"no_login", "C172SP", false, "connect ATC server"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FlightPlan plan;
        FilingInput input = Input("remark");
        input.atc_model = c.model;
        input.logged_in = c.logged_in;
        const FilingPreparation prepared = PrepareFiling(plan, input);
        EXPECT_EQ(prepared.refusal, std::optional<std::string>(c.message));
        // Nothing taken from the panel.
        EXPECT_EQ(plan, FlightPlan());
    }
}

TEST(PlanFilingTest, AcknowledgementFilesThePlanWithOrWithoutItsText) {
    FlightPlan plan;
    EXPECT_EQ(AcknowledgeFiling(plan, {"$ACUDEPOT", "F-GTAV", "FP depose"}),
              std::optional<std::string>("FP depose"));
    EXPECT_TRUE(plan.filed);
    plan.filed = false;
    EXPECT_EQ(AcknowledgeFiling(plan, {"$ACUDEPOT", "F-GTAV"}), std::nullopt);
    EXPECT_TRUE(plan.filed);
}

// "$FPDEPOT" as a controller sends it back, fields 2 to 16 as those of "$FP".
FieldList ServerCopy(const std::string& date = "20/03/2026") {
    return {"$FPDEPOT", "F-GTAV", "I",  "C172SP", "450", "LIRF", date,       "930",  "120",
            "LIRN",     " 1",     "45", "04",     "30",  "LIRQ", " amended", "/A//B"};
}

TEST(PlanFilingTest, ServerCopyFillsThePlan) {
    FlightPlan plan = EarlierPlan();
    plan.filed = false;
    const ServerCopyResult result = ApplyServerCopy(plan, ServerCopy(), QLocale("fr_FR"), kToday);
    EXPECT_EQ(result.outcome, ServerCopyOutcome::Applied);
    EXPECT_EQ(result.date_text, "20/03/2026");
    FlightPlan expected = EarlierPlan();
    expected.flight_rules = "I";
    expected.speed = "450";
    expected.departure = "LIRF";
    expected.departure_date = QDate(2026, 3, 20);
    expected.actual_time = "930";
    expected.cruise_level = "120";
    expected.destination = "LIRN";
    expected.time_enroute = " 1:45";
    expected.time_fuel = "04:30";
    expected.alternate = "LIRQ";
    expected.comments = " amended";
    // The route as received; its points cut at every "/", empty ones kept.
    expected.route_text = "/A//B";
    expected.route_points = {"", "A", "", "B"};
    expected.filed = true;
    EXPECT_EQ(plan, expected);
}

TEST(PlanFilingTest, ServerCopyWithoutAReadableDateStopsAtIt) {
    FlightPlan plan = EarlierPlan();
    plan.filed = false;
    const ServerCopyResult result =
        ApplyServerCopy(plan, ServerCopy("2026-03-20"), QLocale("fr_FR"), kToday);
    EXPECT_EQ(result.outcome, ServerCopyOutcome::DateUnreadable);
    FlightPlan expected = EarlierPlan();
    expected.filed = false;
    expected.flight_rules = "I";
    expected.speed = "450";
    expected.departure = "LIRF";
    EXPECT_EQ(plan, expected);
}

TEST(PlanFilingTest, ServerCopyMissingFieldsChangesNothing) {
    FieldList copy = ServerCopy();
    copy.pop_back();
    FlightPlan plan = EarlierPlan();
    plan.filed = false;
    EXPECT_EQ(ApplyServerCopy(plan, copy, QLocale("fr_FR"), kToday).outcome,
              ServerCopyOutcome::TooShort);
    FlightPlan expected = EarlierPlan();
    expected.filed = false;
    EXPECT_EQ(plan, expected);
}

// "$DEPOTFP" with the values a test changes: rules, speed and time.
FieldList Listed(const std::string& rules, const std::string& speed, const std::string& time) {
    return {"$DEPOTFP", "ASKER", "F-GTAV", rules, "C172SP", speed, "LIRF", "20/03/2026", time,
            "120",      "LIRN",  " 1",     "45",  "04",     "30",  "LIRQ", " RVSM",      "A/B"};
}

TEST(PlanFilingTest, ListedPlansShowAsColumns) {
    struct {
        const char* name;
        FieldList fields;
        std::optional<std::string> line;
    } const cases[] = {
        {"ifr_knots", Listed("I", "450", "1415"),
         "F-GTAV\tIFR\tC172SP\tLIRF\tA/B\tLIRN\tFL120\t450kts\t20/03/2026\tZ14:15\t RVSM"},
        {"vfr_mach_three_digit_time", Listed("V", "082", "930"),
         "F-GTAV\tVFR\tC172SP\tLIRF\tA/B\tLIRN\tFL120\tM082\t20/03/2026\tZ09:30\t RVSM"},
        // Neither rule: one column fewer.
        {"no_rules", Listed("X", "450", "1415"),
         "F-GTAV\tC172SP\tLIRF\tA/B\tLIRN\tFL120\t450kts\t20/03/2026\tZ14:15\t RVSM"},
        // A time too short gives what it has, read no further.
        {"short_time", Listed("I", "", "5"),
         "F-GTAV\tIFR\tC172SP\tLIRF\tA/B\tLIRN\tFL120\tkts\t20/03/2026\tZ5:\t RVSM"},
        {"field_0_with_more",
         [] {
             FieldList fields = Listed("I", "450", "1415");
             fields[0] = "$DEPOTFPXYZ";
             return fields;
         }(),
         "F-GTAV\tIFR\tC172SP\tLIRF\tA/B\tLIRN\tFL120\t450kts\t20/03/2026\tZ14:15\t RVSM"},
        {"missing_route",
         [] {
             FieldList fields = Listed("I", "450", "1415");
             fields.pop_back();
             return fields;
         }(),
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ListedPlanLine(c.fields), c.line);
    }
}

struct DeleteCase {
    const char* name;
    bool active;
    SimulatorWrite::Outcome outcome;
    bool written;  // the simulator was asked to write
    std::optional<int> status_panel;
    const char* status;
    bool active_after;
};

void PrintTo(const DeleteCase& c, std::ostream* out) {
    *out << c.name;
}

class DeletePlanTest : public ::testing::TestWithParam<DeleteCase> {};

TEST_P(DeletePlanTest, EmptiesThePlanAndClearsTheSimulatorsPath) {
    const DeleteCase& c = GetParam();
    FlightPlan plan = EarlierPlan();
    plan.active = c.active;
    std::vector<std::pair<std::uint32_t, std::string>> writes;
    const WriteSimulator write = [&](std::uint32_t offset, const std::string& bytes) {
        writes.emplace_back(offset, bytes);
        return SimulatorWrite{c.outcome, "Link not open"};
    };
    const std::optional<StatusText> status = DeletePlan(plan, write);

    FlightPlan expected = EarlierPlan();
    expected.title.clear();
    expected.departure.clear();
    expected.destination.clear();
    expected.alternate.clear();
    expected.cruise_level.clear();
    expected.speed = "000";
    expected.actual_time = "0000";
    expected.time_enroute = "00:00";
    expected.time_fuel = "00:00";
    expected.route_points.clear();
    expected.route_text.clear();
    expected.filed = false;
    expected.active = c.active_after;
    // Rules, date, remarks and path stay.
    EXPECT_EQ(plan, expected);
    if (c.written) {
        ASSERT_EQ(writes.size(), 1u);
        EXPECT_EQ(writes[0].first, 0x0130u);
        EXPECT_EQ(writes[0].second, std::string(256, '\0'));
    } else {
        EXPECT_TRUE(writes.empty());
    }
    ASSERT_EQ(status.has_value(), c.status_panel.has_value());
    if (status) {
        EXPECT_EQ(status->panel, *c.status_panel);
        EXPECT_EQ(status->text, c.status);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Writes, DeletePlanTest,
    ::testing::Values(DeleteCase{"not_active", false, SimulatorWrite::Outcome::Written, false,
                                 std::nullopt, "", false},
                      DeleteCase{"active_cleared", true, SimulatorWrite::Outcome::Written, true,
                                 std::nullopt, "", false},
                      DeleteCase{"not_queued", true, SimulatorWrite::Outcome::NotQueued, true, 0,
                                 "Reading: Link not open", true},
                      DeleteCase{"process_failed", true, SimulatorWrite::Outcome::ProcessFailed,
                                 true, 1, "Processing: Link not open", true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavoro
