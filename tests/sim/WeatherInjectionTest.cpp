#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "sim/WeatherInjection.h"
#include "support/FakeSimulator.h"

namespace tavoro {
namespace {

using test::FakeSimConnect;

const std::string kMetar = "LFPG 101030Z 27010KT 9999 FEW030 12/08 Q1015";

class WeatherInjectionTest : public ::testing::Test {
protected:
    WeatherInjectionTest() { library.open = true; }

    WeatherInjection injection{simconnect,
                               InjectionView{
                                   [this] { return object_mode; },
                                   [this](const std::string& line) { log.push_back(line); },
                                   [this] { ++repaints; },
                               }};

    FakeSimConnect library;
    SimConnectClient simconnect{library};
    bool object_mode = true;
    std::vector<std::string> log;
    int repaints = 0;
};

struct InjectionCase {
    const char* name;
    bool object_mode;
    std::vector<std::string> failing;
    std::vector<std::string> calls;
    std::vector<std::string> log;
    int repaints;
};

TEST_F(WeatherInjectionTest, AppliesTheObservationAndTellsTheObjectViewOnly) {
    const std::vector<InjectionCase> cases = {
        {"object mode",
         true,
         {},
         {"WeatherSetModeCustom()", "WeatherSetObservation(0, " + kMetar + ")"},
         {kMetar, "OK"},
         1},
        // Listing filed plans: the weather is applied all the same, silently.
        {"plan listing",
         false,
         {},
         {"WeatherSetModeCustom()", "WeatherSetObservation(0, " + kMetar + ")"},
         {},
         0},
        {"refused observation call",
         true,
         {"WeatherSetObservation"},
         {"WeatherSetModeCustom()", "WeatherSetObservation(0, " + kMetar + ")"},
         {kMetar},
         1},
        // Only the observation's result counts: a failed mode switch is overwritten.
        {"refused mode switch",
         true,
         {"WeatherSetModeCustom"},
         {"WeatherSetModeCustom()", "WeatherSetObservation(0, " + kMetar + ")"},
         {kMetar, "OK"},
         1},
    };
    for (const InjectionCase& c : cases) {
        SCOPED_TRACE(c.name);
        library.calls.clear();
        library.failing = c.failing;
        log.clear();
        repaints = 0;
        object_mode = c.object_mode;
        injection.InjectServerMetar(kMetar);
        EXPECT_EQ(library.CallTexts(), c.calls);
        EXPECT_EQ(log, c.log);
        EXPECT_EQ(repaints, c.repaints);
        EXPECT_EQ(injection.metar_buffer(), kMetar);
    }
}

TEST_F(WeatherInjectionTest, EveryCommandSwitchesToCustomModeAgain) {
    const std::string second = "LFPO 101100Z 09005KT CAVOK 15/05 Q1020";
    injection.InjectServerMetar(kMetar);
    injection.InjectServerMetar(second);
    EXPECT_EQ(library.CallTexts(),
              (std::vector<std::string>{
                  "WeatherSetModeCustom()", "WeatherSetObservation(0, " + kMetar + ")",
                  "WeatherSetModeCustom()", "WeatherSetObservation(0, " + second + ")"}));
    EXPECT_EQ(log, (std::vector<std::string>{kMetar, "OK", second, "OK"}));
    EXPECT_EQ(injection.metar_buffer(), second);
}

TEST_F(WeatherInjectionTest, AClosedLinkShowsOnlyAsTheMissingOk) {
    library.open = false;
    injection.InjectServerMetar(kMetar);
    EXPECT_EQ(library.calls.size(), 2u);
    EXPECT_EQ(log, std::vector<std::string>{kMetar});
}

TEST_F(WeatherInjectionTest, AnEmptyTextIsPassedOnAsAnEmptyObservation) {
    injection.InjectServerMetar(std::string());
    EXPECT_EQ(library.CallTexts(),
              (std::vector<std::string>{"WeatherSetModeCustom()", "WeatherSetObservation(0, )"}));
    EXPECT_EQ(log, (std::vector<std::string>{"", "OK"}));
}

TEST_F(WeatherInjectionTest, TextsThatCannotBeHandedOverAreRefusedInTheLog) {
    const std::string longest(WeatherInjection::kMaxMetarLength, 'A');
    struct Case {
        const char* name;
        std::optional<std::string> metar;
        bool object_mode;
        bool applied;
        std::string sent;
        std::string log_line;
    };
    const std::vector<Case> cases = {
        {"511 characters fit", longest, true, true, longest, longest},
        {"512 do not", longest + "B", true, false, "",
         "METAR of 512 characters refused (at most 511): weather left unchanged"},
        {"refused also while plans are listed", longest + "B", false, false, "",
         "METAR of 512 characters refused (at most 511): weather left unchanged"},
        {"no text field", std::nullopt, true, false, "",
         "METAR without text: weather left unchanged"},
        // A C string ends at its NUL: what follows would never reach the simulator.
        {"embedded NUL", std::string("LFPG 101030Z\0junk", 17), true, true, "LFPG 101030Z",
         "LFPG 101030Z"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        library.calls.clear();
        log.clear();
        object_mode = c.object_mode;
        injection.InjectServerMetar(c.metar);
        if (c.applied) {
            EXPECT_EQ(library.CallTexts(),
                      (std::vector<std::string>{"WeatherSetModeCustom()",
                                                "WeatherSetObservation(0, " + c.sent + ")"}));
            EXPECT_EQ(injection.metar_buffer(), c.sent);
        } else {
            EXPECT_TRUE(library.calls.empty());
        }
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.front(), c.log_line);
    }
}

}  // namespace
}  // namespace tavoro
