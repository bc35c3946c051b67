#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <string>
#include <vector>

#include "simhost/Commands.h"
#include "simhost/SimModel.h"

namespace tavoro::simhost {
namespace {

// A channel over a model whose clock stands still unless a test moves it, so values set
// are read back exactly.
class CommandsTest : public testing::Test {
protected:
    CommandsTest()
        : model(state, [this] { return now; }), channel(model, [this](std::uint32_t event) {
              fired.push_back(event);
              return event == 7;  // the only menu event a client has
          }) {
        channel.SetSimConnectControl([this](CommandChannel::SimConnectAction action) {
            simconnect_actions.push_back(action);
        });
    }

    QJsonValue dumped(const QString& path) {
        const CommandResult result = channel.Run("dump");
        QJsonValue value =
            QJsonDocument::fromJson(QByteArray::fromStdString(result.answer)).object();
        for (const QString& key : path.split('/')) {
            value = value.toObject().value(key);
        }
        return value;
    }

    std::chrono::steady_clock::time_point now{};
    SimState state;
    SimModel model;
    std::vector<std::uint32_t> fired;
    std::vector<CommandChannel::SimConnectAction> simconnect_actions;
    CommandChannel channel;
};

struct GoodCase {
    const char* line;
    const char* path;  // in the dump
    QJsonValue want;
};

class GoodCommandTest : public CommandsTest, public testing::WithParamInterface<GoodCase> {};

TEST_P(GoodCommandTest, IsAppliedAndShowsInTheDump) {
    const GoodCase& c = GetParam();
    const CommandResult result = channel.Run(c.line);
    EXPECT_EQ(result.answer, "ok");
    EXPECT_FALSE(result.quit);
    EXPECT_EQ(dumped(c.path), c.want) << c.line;
}

INSTANTIATE_TEST_SUITE_P(Table, GoodCommandTest,
                         testing::Values(GoodCase{"set lat 48.5", "aircraft/lat", 48.5},
                                         GoodCase{"set lat -90", "aircraft/lat", -90},
                                         GoodCase{"set lon -0.25", "aircraft/lon", -0.25},
                                         GoodCase{"set lon 180", "aircraft/lon", 180},
                                         GoodCase{"set alt_ft 35000", "aircraft/alt_ft", 35000},
                                         GoodCase{"set alt_ft -1200.5", "aircraft/alt_ft", -1200.5},
                                         GoodCase{"set gs_kt 0", "aircraft/gs_kt", 0},
                                         GoodCase{"set gs_kt 451.5", "aircraft/gs_kt", 451.5},
                                         GoodCase{"set heading 359.5", "aircraft/heading", 359.5},
                                         GoodCase{"set heading -90", "aircraft/heading", 270},
                                         GoodCase{"set heading 360", "aircraft/heading", 0},
                                         GoodCase{"set pitch -1", "aircraft/pitch", -1},
                                         GoodCase{"set bank 270", "aircraft/bank", -90},
                                         GoodCase{"set xpd 7700", "aircraft/xpd", "7700"},
                                         GoodCase{"set xpd 0a5f", "aircraft/xpd", "0A5F"},
                                         GoodCase{"set engines 0", "aircraft/engines", 0},
                                         GoodCase{"set engines 65535", "aircraft/engines", 65535},
                                         GoodCase{"set ready 0", "aircraft/ready", false},
                                         GoodCase{"set zulu 23:59:58", "clock/zulu", "23:59:58"},
                                         GoodCase{"set zulu 00:00:00", "clock/zulu", "00:00:00"},
                                         GoodCase{"set local 06:30", "clock/local", "06:30"},
                                         GoodCase{"set title Boeing 737-800  Air France",
                                                  "aircraft/title", "Boeing 737-800  Air France"},
                                         GoodCase{"set title", "aircraft/title", ""},
                                         GoodCase{"set type  B738", "aircraft/type", " B738"},
                                         GoodCase{"set model B738", "aircraft/model", "B738"},
                                         GoodCase{"set id AFR1234", "aircraft/id", "AFR1234"},
                                         GoodCase{"set airline Air France", "aircraft/airline",
                                                  "Air France"},
                                         GoodCase{"set plan_path C:\\My Plans\\a.PLN", "plan_path",
                                                  "C:\\My Plans\\a.PLN"},
                                         GoodCase{"set lat 12\r", "aircraft/lat", 12},
                                         GoodCase{"metar LFPO 121230Z 27010KT CAVOK",
                                                  "weather/metar", "LFPO 121230Z 27010KT CAVOK"},
                                         GoodCase{"metar", "weather/metar", QJsonValue::Null}));

// Each observation given is also its station's, named by its first word without the
// extensions; "metar" alone leaves no observation anywhere.
TEST_F(CommandsTest, ObservationsAreKeptByStationUntilClearedTogether) {
    const char* const paris = "LFPG&A119 101030Z 27010KT&D985NG 9999 Q1015";
    const char* const orly = "  LFPO 101030Z 09005KT CAVOK 15/05 Q1020";
    ASSERT_EQ(channel.Run(std::string("metar ") + paris).answer, "ok");
    ASSERT_EQ(channel.Run(std::string("metar ") + orly).answer, "ok");
    EXPECT_EQ(dumped("weather/metar"), QString(orly));
    EXPECT_EQ(dumped("weather/stations").toObject(),
              (QJsonObject{{"LFPG", paris}, {"LFPO", orly}}));
    EXPECT_EQ(InterpolatedObservation(paris), "????&A119 101030Z 27010KT&D985NG 9999 Q1015");

    ASSERT_EQ(channel.Run("metar").answer, "ok");
    EXPECT_TRUE(dumped("weather/metar").isNull());
    EXPECT_TRUE(dumped("weather/stations").toObject().isEmpty());
}

// Every malformed line answers one error line and changes nothing.
class BadCommandTest : public CommandsTest, public testing::WithParamInterface<const char*> {};

TEST_P(BadCommandTest, AnswersAnErrorAndChangesNothing) {
    state.weather.metar = "LFPO 121230Z CAVOK";
    const std::string before = channel.Run("dump").answer;
    const CommandResult result = channel.Run(GetParam());
    EXPECT_EQ(result.answer.rfind("error: ", 0), 0u) << result.answer;
    EXPECT_EQ(result.answer.find('\n'), std::string::npos);
    EXPECT_FALSE(result.quit);
    EXPECT_EQ(channel.Run("dump").answer, before);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadCommandTest,
    testing::Values("", "frobnicate", "SET lat 1", "set", "set ", "set lat", "set lat ",
                    "set lat 91", "set lat -90.0001", "set lat 48,5", "set lat  48.5",
                    "set lat 48.5 ", "set lat +1", "set lat 1e400", "set lat nan", "set lat inf",
                    "set lat 0x10", "set lat 12abc", "set lon 180.5", "set lon -181",
                    "set gs_kt -1", "set gs_kt 100001", "set alt_ft 1e7", "set heading",
                    "set pitch north", "set xpd 770", "set xpd 77000", "set xpd 77g0",
                    "set xpd  770", "set engines 65536", "set engines -1", "set engines 1.5",
                    "set engines 4294967296", "set zulu 24:00:00", "set zulu 12:60:00",
                    "set zulu 12:00:60", "set zulu 1:00:00", "set zulu 12:00", "set zulu 12-00-00",
                    "set local 12:00:00", "set local 7:30", "set ready 2", "set ready",
                    "set ready yes", "set colour red", "dump now", "quit now", "menu", "menu x",
                    "menu -1", "menu 7 8", "menu 3", "simconnect", "simconnect ",
                    "simconnect stall", "simconnect hold now", "simconnect HOLD"));

TEST_F(CommandsTest, MenuFiresTheEventAtTheClient) {
    EXPECT_EQ(channel.Run("menu 7").answer, "ok");
    EXPECT_EQ(channel.Run("menu 3").answer.rfind("error: ", 0), 0u);
    EXPECT_EQ(fired, (std::vector<std::uint32_t>{7, 3}));
}

TEST_F(CommandsTest, SimConnectCommandsReachTheSimConnectSide) {
    using Action = CommandChannel::SimConnectAction;
    for (const char* line : {"simconnect hold", "simconnect release", "simconnect drop"}) {
        EXPECT_EQ(channel.Run(line).answer, "ok") << line;
    }
    EXPECT_EQ(simconnect_actions,
              (std::vector<Action>{Action::kHold, Action::kRelease, Action::kDrop}));
    EXPECT_EQ(channel.Run("simconnect stall").answer.rfind("error: ", 0), 0u);
    EXPECT_EQ(simconnect_actions.size(), 3u);

    SimState other_state;
    SimModel other_model(other_state);
    CommandChannel without_side(other_model, nullptr);
    EXPECT_EQ(without_side.Run("simconnect hold").answer, "error: no SimConnect side");
}

TEST_F(CommandsTest, QuitAnswersAndAsksToStop) {
    const CommandResult result = channel.Run("quit");
    EXPECT_EQ(result.answer, "ok");
    EXPECT_TRUE(result.quit);
}

TEST_F(CommandsTest, TimePassesBeforeEachCommand) {
    ASSERT_EQ(channel.Run("set zulu 10:00:00").answer, "ok");
    ASSERT_EQ(channel.Run("set lat 0").answer, "ok");
    ASSERT_EQ(channel.Run("set heading 0").answer, "ok");
    ASSERT_EQ(channel.Run("set gs_kt 60").answer, "ok");
    now += std::chrono::hours(1);
    EXPECT_EQ(dumped("clock/zulu"), "11:00:00");
    EXPECT_NEAR(dumped("aircraft/lat").toDouble(), 1.0, 1e-9);
    // A value set now starts from now: the hour already flown is not flown again.
    ASSERT_EQ(channel.Run("set lat 10").answer, "ok");
    EXPECT_NEAR(dumped("aircraft/lat").toDouble(), 10.0, 1e-9);
}

TEST_F(CommandsTest, LocalTimeTurnsItsMinuteWithZulu) {
    ASSERT_EQ(channel.Run("set zulu 10:00:50").answer, "ok");
    ASSERT_EQ(channel.Run("set local 12:30").answer, "ok");
    now += std::chrono::seconds(10);
    EXPECT_EQ(dumped("clock/zulu"), "10:01:00");
    EXPECT_EQ(dumped("clock/local"), "12:31");
}

TEST_F(CommandsTest, DumpShowsTheSimConnectSideAsOneLine) {
    state.failures[1] = true;
    state.zulu_set.hours = 14;
    state.menu_items.push_back(SimMenuItem{10, kSimUnused, "Tavoro", 0});
    state.menu_items.push_back(SimMenuItem{11, 10, "Connect \"now\"", 5});
    SimAiObject object;
    object.object_id = 42;
    object.object_type = kSimObjectAircraft;
    object.title = "Boeing 737-800";
    object.position.latitude = 48.7;
    object.waypoints.push_back(AiWaypoint{48.8, 2.5, 3000, 0x4, 250, 80});
    state.ai_objects.push_back(object);
    state.weather.custom_mode = true;
    state.weather.injected = {"LFPO 1", "LFPG 2"};
    state.texts_shown = {"hello"};
    state.library_version = 2005;
    state.display_control = -1;
    SimConnectSession open;
    open.connection = 1;
    open.name = "Tavoro";
    open.definitions[0] = {SimDatum{"GENERAL ENG FAILED:1", "Bool", kSimDataFloat32}};
    open.mapped_events[4] = "TOGGLE_ENGINE1_FAILURE";
    open.notification_groups[0] = {SimGroupEvent{4, false}, SimGroupEvent{5, true}};
    open.group_priorities[0] = 1;
    open.system_events[17] = "ObjectAdded";
    state.simconnect_sessions.push_back(open);

    const std::string line = channel.Run("dump").answer;
    EXPECT_EQ(line.find('\n'), std::string::npos);
    QJsonParseError error;
    const QJsonObject dump =
        QJsonDocument::fromJson(QByteArray::fromStdString(line), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << line;

    EXPECT_EQ(dump["failures"]["TOGGLE_ENGINE2_FAILURE"], true);
    EXPECT_EQ(dump["failures"]["TOGGLE_ENGINE1_FAILURE"], false);
    EXPECT_EQ(dump["failures"].toObject().size(), static_cast<qsizetype>(kFailureEvents.size()));
    EXPECT_EQ(dump["zulu_set"]["hours"], 14);
    EXPECT_TRUE(dump["zulu_set"]["minutes"].isNull());
    const QJsonArray items = dump["menu_items"].toArray();
    ASSERT_EQ(items.size(), 2);
    EXPECT_TRUE(items[0]["parent_event"].isNull());
    EXPECT_EQ(items[1]["parent_event"], 10);
    EXPECT_EQ(items[1]["text"], "Connect \"now\"");
    EXPECT_EQ(items[1]["data"], 5);
    const QJsonObject ai = dump["ai_objects"][0].toObject();
    EXPECT_EQ(ai["id"], 42);
    EXPECT_EQ(ai["type"], 2);
    EXPECT_EQ(ai["title"], "Boeing 737-800");
    EXPECT_EQ(ai["position"]["latitude"], 48.7);
    EXPECT_EQ(ai["removed"], false);
    const QJsonObject point = ai["waypoints"][0].toObject();
    EXPECT_EQ(point["latitude"], 48.8);
    EXPECT_EQ(point["longitude"], 2.5);
    EXPECT_EQ(point["altitude"], 3000);
    EXPECT_EQ(point["flags"], 4);
    EXPECT_EQ(point["speed_kt"], 250);
    EXPECT_EQ(point["throttle_percent"], 80);
    EXPECT_EQ(dump["weather"]["custom_mode"], true);
    EXPECT_EQ(dump["weather"]["injected"], QJsonArray({"LFPO 1", "LFPG 2"}));
    EXPECT_EQ(dump["texts_shown"], QJsonArray({"hello"}));
    EXPECT_EQ(dump["library_version"], 2005);
    EXPECT_EQ(dump["display_control"], -1);
    EXPECT_EQ(dump["simconnect_client"], false);
    const QJsonObject session = dump["simconnect_sessions"][0].toObject();
    EXPECT_EQ(session["connection"], 1);
    EXPECT_EQ(session["name"], "Tavoro");
    EXPECT_EQ(session["definitions"]["0"][0]["name"], "GENERAL ENG FAILED:1");
    EXPECT_EQ(session["definitions"]["0"][0]["units"], "Bool");
    EXPECT_EQ(session["definitions"]["0"][0]["type"], 3);
    EXPECT_EQ(session["mapped_events"]["4"], "TOGGLE_ENGINE1_FAILURE");
    EXPECT_EQ(session["notification_groups"]["0"][1]["event_id"], 5);
    EXPECT_EQ(session["notification_groups"]["0"][1]["maskable"], true);
    EXPECT_EQ(session["group_priorities"]["0"], 1);
    EXPECT_EQ(session["system_events"]["17"], "ObjectAdded");
}

}  // namespace
}  // namespace tavoro::simhost
