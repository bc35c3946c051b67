#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "atc/PositionReports.h"
#include "core/Numbers.h"
#include "sim/SimCommands.h"
#include "sim/SimulatorLink.h"
#include "support/FakeSimulator.h"

namespace tavoro {
namespace {

using test::FakeFsuipcServer;
using test::FakeSimConnect;

// The commands against an in-memory simulator whose events were mapped by the link's own
// set-up, so that each transmission is checked by the simulator event it names.
class SimCommandsTest : public ::testing::Test {
protected:
    SimCommandsTest() {
        link.OpenSimulatorLink();
        for (const FakeSimConnect::Call& call : library.calls) {
            if (call.name == "MapClientEventToSimEvent") {
                event_names[call.args[0]] = call.args[1];
            }
        }
        library.calls.clear();
    }

    // The transmissions made, as "SIM_EVENT(data)"; every one must go to the user aircraft
    // with group 1 as the highest priority.
    std::vector<std::string> sent() {
        std::vector<std::string> events;
        for (const FakeSimConnect::Call& call : library.calls) {
            if (call.name != "TransmitClientEvent") {
                ADD_FAILURE() << "unexpected call " << call.name;
                continue;
            }
            EXPECT_EQ(call.args[0], "0");   // object: the user aircraft
            EXPECT_EQ(call.args[3], "1");   // group 1 ...
            EXPECT_EQ(call.args[4], "16");  // ... taken as a priority
            const auto name = event_names.find(call.args[1]);
            events.push_back(
                (name == event_names.end() ? "unmapped " + call.args[1] : name->second) + "(" +
                call.args[2] + ")");
        }
        library.calls.clear();
        return events;
    }

    FakeFsuipcServer server;
    FakeSimConnect library;
    FsuipcClient fsuipc{server};
    SimConnectClient simconnect{library};
    AircraftState aircraft;
    AircraftIdentity identity;
    FailureState failures{};
    SimulatorLink link{fsuipc, simconnect, aircraft, identity, failures};
    std::map<std::string, std::string> event_names;
    std::vector<std::string> log;
    SimCommands commands{simconnect, aircraft, failures,
                         [this](const std::string& line) { log.push_back(line); }};
};

TEST_F(SimCommandsTest, EachFailureNumberTogglesItsOwnSimulatorEvent) {
    struct Case {
        const char* number;
        std::optional<int> failure;  // none: nothing is sent
        const char* event;
    };
    const Case cases[] = {
        {"0", 0, "TOGGLE_ENGINE1_FAILURE"},
        {"1", 1, "TOGGLE_ENGINE2_FAILURE"},
        {"2", 2, "TOGGLE_ENGINE3_FAILURE"},
        {"3", 3, "TOGGLE_ENGINE4_FAILURE"},
        {"4", 4, "TOGGLE_PITOT_BLOCKAGE"},
        {"5", 5, "TOGGLE_STATIC_PORT_BLOCKAGE"},
        {"6", 6, "TOGGLE_ELECTRICAL_FAILURE"},
        {"7", 7, "TOGGLE_HYDRAULIC_FAILURE"},
        {"8", 8, "TOGGLE_TOTAL_BRAKE_FAILURE"},
        {"9", 9, "TOGGLE_VACUUM_FAILURE"},
        // Only the low 8 bits of the number count.
        {"256", 0, "TOGGLE_ENGINE1_FAILURE"},
        {"265", 9, "TOGGLE_VACUUM_FAILURE"},
        {"-255", 1, "TOGGLE_ENGINE2_FAILURE"},
        {"10", std::nullopt, nullptr},
        {"-1", std::nullopt, nullptr},
        {"255", std::nullopt, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        failures = {};
        commands.FailureCommand(c.number);
        if (!c.failure) {
            EXPECT_TRUE(library.calls.empty());
            EXPECT_EQ(FailureMask(failures), 0);
            continue;
        }
        EXPECT_EQ(sent(), std::vector<std::string>{std::string(c.event) + "(0)"});
        FailureState expected{};
        expected[*c.failure] = true;
        EXPECT_EQ(failures, expected);
    }
}

TEST_F(SimCommandsTest, ASecondToggleClearsTheFailureAndItsReportBit) {
    commands.FailureCommand("4");
    commands.FailureCommand("7");
    EXPECT_EQ(FailureMask(failures), 16 + 128);
    commands.FailureCommand("4");
    EXPECT_FALSE(failures[4]);
    EXPECT_EQ(FailureMask(failures), 128);
    EXPECT_EQ(sent(),
              (std::vector<std::string>{"TOGGLE_PITOT_BLOCKAGE(0)", "TOGGLE_HYDRAULIC_FAILURE(0)",
                                        "TOGGLE_PITOT_BLOCKAGE(0)"}));
}

TEST_F(SimCommandsTest, AFailureTheSimulatorDidNotTakeLeavesTheState) {
    failures[2] = true;
    library.failing = {"TransmitClientEvent"};
    EXPECT_EQ(commands.TransmitFailure(2), -1);
    commands.FailureCommand("2");
    commands.FailureCommand("5");
    EXPECT_EQ(sent().size(), 3u);
    EXPECT_EQ(FailureMask(failures), 4);
    EXPECT_NE(simconnect.last_result(), kSimOk);

    library.failing.clear();
    EXPECT_EQ(commands.TransmitFailure(2), 2);
    EXPECT_EQ(commands.TransmitFailure(10), -1);
}

TEST_F(SimCommandsTest, WhileSimConnectIsClosedNothingChanges) {
    simconnect.Close();
    library.calls.clear();
    commands.FailureCommand("0");
    commands.FailureCommand("9");
    EXPECT_EQ(failures, FailureState{});
    // The commands still try: they do not look at the link, the library refuses.
    EXPECT_EQ(sent().size(), 2u);
    EXPECT_FALSE(commands.SetZuluTime(10, 0));
}

TEST_F(SimCommandsTest, AFailureNumberThatIsNotANumberSendsNothing) {
    for (const char* text : {"", "x", "4.0", "4 "}) {
        SCOPED_TRACE(text);
        EXPECT_THROW(commands.FailureCommand(text), ConversionError);
        EXPECT_TRUE(library.calls.empty());
    }
    EXPECT_EQ(failures, FailureState{});
}

TEST_F(SimCommandsTest, TheClockIsSetOnlyWhenMoreThanTwoSecondsAway) {
    struct Case {
        int zulu_seconds;
        const char* hours;
        const char* minutes;
        std::vector<std::string> sent;
    };
    const std::vector<std::string> set_12_30 = {"ZULU_HOURS_SET(12)", "ZULU_MINUTES_SET(30)"};
    const Case cases[] = {
        {12 * 3600 + 30 * 60 + 2, "12", "30", {}},
        {12 * 3600 + 30 * 60 + 3, "12", "30", set_12_30},
        {12 * 3600 + 29 * 60 + 58, "12", "30", {}},
        {12 * 3600 + 29 * 60 + 57, "12", "30", set_12_30},
        // No wrap at midnight: 23:59:59 is a whole day less one second from 00:00.
        {23 * 3600 + 59 * 60 + 59, "00", "00", {"ZULU_HOURS_SET(0)", "ZULU_MINUTES_SET(0)"}},
        {0, " 7", "+5", {"ZULU_HOURS_SET(7)", "ZULU_MINUTES_SET(5)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.zulu_seconds) + " " + c.hours + ":" + c.minutes);
        aircraft.zulu_seconds = c.zulu_seconds;
        log.clear();
        commands.ZuluCommand(c.hours, c.minutes);
        EXPECT_EQ(sent(), c.sent);
        // The log keeps the texts as they came.
        EXPECT_EQ(log, std::vector<std::string>{std::string(c.hours) + ":" + c.minutes});
    }
}

TEST_F(SimCommandsTest, AZuluTimeThatIsNotANumberIsLoggedThenEndsTheLine) {
    aircraft.zulu_seconds = 3 * 3600;
    for (auto [hours, minutes] : {std::pair{"1a", "30"}, std::pair{"12", ""}}) {
        SCOPED_TRACE(std::string(hours) + ":" + minutes);
        log.clear();
        EXPECT_THROW(commands.ZuluCommand(hours, minutes), ConversionError);
        EXPECT_EQ(log, std::vector<std::string>{std::string(hours) + ":" + minutes});
        EXPECT_TRUE(library.calls.empty());
    }
}

TEST_F(SimCommandsTest, SettingTheClockReportsTheLastTransmission) {
    // The n-th transmission of each case fails.
    struct Case {
        int failing_call;
        bool result;
    };
    for (Case c : {Case{0, true}, Case{1, true}, Case{2, false}}) {
        SCOPED_TRACE(c.failing_call);
        int count = 0;
        library.failing.clear();
        library.on_call = [&](const std::string&) {
            if (++count == c.failing_call) {
                library.failing = {"TransmitClientEvent"};
            } else {
                library.failing.clear();
            }
        };
        EXPECT_EQ(commands.SetZuluTime(6, 45), c.result);
        EXPECT_EQ(sent(), (std::vector<std::string>{"ZULU_HOURS_SET(6)", "ZULU_MINUTES_SET(45)"}));
    }
}

}  // namespace
}  // namespace tavoro
