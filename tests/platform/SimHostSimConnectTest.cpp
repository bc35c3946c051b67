#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonObject>
#include <chrono>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string_view>

#include "platform/SimConnectMessages.h"
#include "platform/SimHostWire.h"
#include "platform/linux/LocalSimConnect.h"
#include "support/EventLoop.h"
#include "support/SimHostProcess.h"

namespace tavoro {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace offset = sim_recv;

constexpr char kMetar[] = "LFPG 121200Z 24010KT CAVOK 18/09 Q1015";

std::uint32_t word(const Bytes& message, std::uint32_t at) {
    return SimRecvWord(message.data(), static_cast<std::uint32_t>(message.size()), at);
}

std::vector<Bytes> dispatch(LocalSimConnect& sim) {
    std::vector<Bytes> messages;
    EXPECT_EQ(sim.CallDispatch([&](const std::uint8_t* message, std::uint32_t size) {
        messages.emplace_back(message, message + size);
    }),
              kSimOk);
    return messages;
}

void expectException(const std::vector<Bytes>& messages, std::uint32_t code, std::uint32_t send_id,
                     std::uint32_t index) {
    ASSERT_EQ(messages.size(), 1u);
    const Bytes& message = messages[0];
    EXPECT_EQ(message, MakeSimException(code, send_id, index));
}

// Every message delivered by dispatches until `condition` holds on what has arrived.
std::vector<Bytes> dispatchUntil(LocalSimConnect& sim,
                                 const std::function<bool(const std::vector<Bytes>&)>& condition) {
    std::vector<Bytes> messages;
    test::WaitUntil([&] {
        for (Bytes& message : dispatch(sim)) {
            messages.push_back(std::move(message));
        }
        return condition(messages);
    });
    return messages;
}

// The client's own set-up, in its order; every call must be accepted without exception.
void setUpLikeTheClient(LocalSimConnect& sim) {
    static const char* const kEvents[] = {
        "TOGGLE_ENGINE1_FAILURE",
        "TOGGLE_ENGINE2_FAILURE",
        "TOGGLE_ENGINE3_FAILURE",
        "TOGGLE_ENGINE4_FAILURE",
        "TOGGLE_ELECTRICAL_FAILURE",
        "TOGGLE_PITOT_BLOCKAGE",
        "TOGGLE_STATIC_PORT_BLOCKAGE",
        "TOGGLE_HYDRAULIC_FAILURE",
        "TOGGLE_TOTAL_BRAKE_FAILURE",
        "TOGGLE_VACUUM_FAILURE",
        "ZULU_HOURS_SET",
        "ZULU_MINUTES_SET",
        "ZULU_DAY_SET",
    };
    ASSERT_EQ(sim.MenuAddItem("Tavoro_Client", 0, 12345), kSimOk);
    ASSERT_EQ(sim.MenuAddSubItem(0, "Afficher", 1, 12345), kSimOk);
    ASSERT_EQ(sim.MenuAddSubItem(0, "Masquer", 2, 12345), kSimOk);
    ASSERT_EQ(sim.MenuAddSubItem(0, "Terminer", 3, 12345), kSimOk);
    for (int engine = 1; engine <= 4; ++engine) {
        ASSERT_EQ(sim.AddToDataDefinition(0, "GENERAL ENG FAILED:" + std::to_string(engine), "Bool",
                                          kSimDataFloat32, 0, kSimUnused),
                  kSimOk);
    }
    ASSERT_EQ(
        sim.AddToDataDefinition(1, "AI Waypoint List", "number", kSimDataWaypoint, 0, kSimUnused),
        kSimOk);
    for (std::uint32_t event = 4; event <= 16; ++event) {
        ASSERT_EQ(sim.MapClientEventToSimEvent(event, kEvents[event - 4]), kSimOk);
    }
    for (std::uint32_t event = 4; event <= 16; ++event) {
        ASSERT_EQ(sim.AddClientEventToNotificationGroup(0, event, false), kSimOk);
    }
    ASSERT_EQ(sim.SetNotificationGroupPriority(0, kSimGroupPriorityHighest), kSimOk);
    ASSERT_EQ(sim.SubscribeToSystemEvent(17, "ObjectAdded"), kSimOk);
    ASSERT_EQ(sim.SubscribeToSystemEvent(18, "ObjectRemoved"), kSimOk);
}

class StandInSimConnect : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host_.started());
        ASSERT_EQ(sim_.Open("MYAPP"), kSimOk);
    }

    std::string folder() const { return host_.folder().toStdString(); }
    QJsonObject dump() { return host_.Dump(); }

    test::SimHostProcess host_;
    // The stand-in answers at once; the long time-out only keeps a loaded machine from
    // failing a test.
    LocalSimConnect sim_{folder(), test::kDeadline};
};

TEST_F(StandInSimConnect, TheClientsSetUpIsRecordedWithoutException) {
    setUpLikeTheClient(sim_);
    EXPECT_EQ(dispatch(sim_), std::vector<Bytes>{});

    const QJsonObject state = dump();
    EXPECT_TRUE(state["simconnect_client"].toBool());
    const QJsonArray menu = state["menu_items"].toArray();
    ASSERT_EQ(menu.size(), 4);
    const struct {
        int event;
        QJsonValue parent;
        const char* text;
    } items[] = {{0, QJsonValue::Null, "Tavoro_Client"},
                 {1, 0, "Afficher"},
                 {2, 0, "Masquer"},
                 {3, 0, "Terminer"}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(items[i].text);
        EXPECT_EQ(menu[i]["event_id"].toInt(), items[i].event);
        EXPECT_EQ(menu[i]["parent_event"], items[i].parent);
        EXPECT_EQ(menu[i]["text"].toString(), items[i].text);
        EXPECT_EQ(menu[i]["data"].toInt(), 12345);
    }

    const QJsonArray sessions = state["simconnect_sessions"].toArray();
    ASSERT_EQ(sessions.size(), 1);
    const QJsonObject session = sessions[0].toObject();
    EXPECT_EQ(session["name"].toString(), "MYAPP");
    const QJsonObject definitions = session["definitions"].toObject();
    const QJsonArray engines = definitions["0"].toArray();
    ASSERT_EQ(engines.size(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(engines[i]["name"].toString(), QString("GENERAL ENG FAILED:%1").arg(i + 1));
        EXPECT_EQ(engines[i]["units"].toString(), "Bool");
        EXPECT_EQ(engines[i]["type"].toInt(), static_cast<int>(kSimDataFloat32));
    }
    const QJsonArray route = definitions["1"].toArray();
    ASSERT_EQ(route.size(), 1);
    EXPECT_EQ(route[0]["name"].toString(), "AI Waypoint List");
    EXPECT_EQ(route[0]["type"].toInt(), static_cast<int>(kSimDataWaypoint));

    const QJsonObject mapped = session["mapped_events"].toObject();
    EXPECT_EQ(mapped.size(), 13);
    EXPECT_EQ(mapped["4"].toString(), "TOGGLE_ENGINE1_FAILURE");
    EXPECT_EQ(mapped["13"].toString(), "TOGGLE_VACUUM_FAILURE");
    EXPECT_EQ(mapped["16"].toString(), "ZULU_DAY_SET");
    const QJsonArray group = session["notification_groups"].toObject()["0"].toArray();
    ASSERT_EQ(group.size(), 13);
    for (int i = 0; i < 13; ++i) {
        EXPECT_EQ(group[i]["event_id"].toInt(), i + 4);
        EXPECT_FALSE(group[i]["maskable"].toBool());
    }
    EXPECT_EQ(session["group_priorities"].toObject()["0"].toInt(), 1);
    const QJsonObject system = session["system_events"].toObject();
    EXPECT_EQ(system["17"].toString(), "ObjectAdded");
    EXPECT_EQ(system["18"].toString(), "ObjectRemoved");
}

TEST_F(StandInSimConnect, CloseOrADroppedConnectionForgetsTheClient) {
    setUpLikeTheClient(sim_);
    ASSERT_EQ(sim_.Close(), kSimOk);
    QJsonObject state = dump();
    EXPECT_EQ(state["menu_items"].toArray().size(), 0);
    EXPECT_FALSE(state["simconnect_client"].toBool());
    EXPECT_EQ(state["simconnect_sessions"].toArray().size(), 0);

    // Reopened, it starts from nothing, and the earlier client's ids are free again.
    ASSERT_EQ(sim_.Open("MYAPP"), kSimOk);
    setUpLikeTheClient(sim_);
    EXPECT_EQ(dispatch(sim_), std::vector<Bytes>{});
    EXPECT_EQ(dump()["menu_items"].toArray().size(), 4);

    // Gone without a word: the stand-in notices the hang-up by itself.
    auto other = std::make_unique<LocalSimConnect>(folder(), test::kDeadline);
    ASSERT_EQ(other->Open("OTHER"), kSimOk);
    ASSERT_EQ(other->MenuAddItem("Autre", 50, 7), kSimOk);
    EXPECT_EQ(dump()["menu_items"].toArray().size(), 5);
    other.reset();
    EXPECT_TRUE(test::WaitUntil([&] {
        state = dump();
        return state["simconnect_sessions"].toArray().size() == 1;
    }));
    EXPECT_EQ(state["menu_items"].toArray().size(), 4);
    EXPECT_TRUE(state["simconnect_client"].toBool());
}

TEST_F(StandInSimConnect, AFailureToggleShowsInStateAndInTheNextData) {
    setUpLikeTheClient(sim_);
    auto requestFloats = [&] {
        EXPECT_EQ(sim_.RequestDataOnSimObjectType(0, 0, 0, kSimObjectUser), kSimOk);
        const std::vector<Bytes> messages = dispatch(sim_);
        std::vector<float> floats;
        if (messages.size() != 1) {
            ADD_FAILURE() << messages.size() << " messages";
            return floats;
        }
        const Bytes& m = messages[0];
        EXPECT_EQ(word(m, offset::kId), kSimRecvSimObjectDataByType);
        EXPECT_EQ(word(m, offset::kDataRequestId), 0u);
        EXPECT_EQ(word(m, offset::kDataDefineId), 0u);
        EXPECT_EQ(word(m, offset::kDataDefineCount), 4u);
        EXPECT_EQ(m.size(), offset::kDataBlock + 16);
        for (std::uint32_t i = 0; i < 4; ++i) {
            floats.push_back(SimRecvFloat(m.data(), static_cast<std::uint32_t>(m.size()),
                                          offset::kDataBlock + 4 * i));
        }
        return floats;
    };
    EXPECT_EQ(requestFloats(), (std::vector<float>{0, 0, 0, 0}));

    ASSERT_EQ(sim_.TransmitClientEvent(kSimUserObject, 5, 0, 1, kSimEventFlagGroupIdIsPriority),
              kSimOk);
    ASSERT_EQ(sim_.TransmitClientEvent(kSimUserObject, 9, 0, 1, kSimEventFlagGroupIdIsPriority),
              kSimOk);
    QJsonObject failures = dump()["failures"].toObject();
    EXPECT_TRUE(failures["TOGGLE_ENGINE2_FAILURE"].toBool());
    EXPECT_TRUE(failures["TOGGLE_PITOT_BLOCKAGE"].toBool());
    EXPECT_FALSE(failures["TOGGLE_ENGINE1_FAILURE"].toBool());
    EXPECT_EQ(requestFloats(), (std::vector<float>{0, 1, 0, 0}));

    // A toggle: the second one repairs.
    ASSERT_EQ(sim_.TransmitClientEvent(kSimUserObject, 5, 0, 1, kSimEventFlagGroupIdIsPriority),
              kSimOk);
    EXPECT_FALSE(dump()["failures"].toObject()["TOGGLE_ENGINE2_FAILURE"].toBool());
    EXPECT_EQ(requestFloats(), (std::vector<float>{0, 0, 0, 0}));
}

TEST_F(StandInSimConnect, ZuluEventsSetTheClockAndKeepTheLocalOffset) {
    setUpLikeTheClient(sim_);
    ASSERT_EQ(host_.Command("set zulu 12:00:00"), "ok");
    ASSERT_EQ(host_.Command("set local 14:00"), "ok");
    ASSERT_EQ(sim_.TransmitClientEvent(kSimUserObject, 14, 5, 1, 16), kSimOk);
    ASSERT_EQ(sim_.TransmitClientEvent(kSimUserObject, 15, 30, 1, 16), kSimOk);
    ASSERT_EQ(sim_.TransmitClientEvent(kSimUserObject, 16, 200, 1, 16), kSimOk);
    EXPECT_EQ(dispatch(sim_), std::vector<Bytes>{});

    const QJsonObject state = dump();
    const QJsonObject set = state["zulu_set"].toObject();
    EXPECT_EQ(set["hours"].toInt(), 5);
    EXPECT_EQ(set["minutes"].toInt(), 30);
    EXPECT_EQ(set["day"].toInt(), 200);
    // Seconds run on from the "set zulu" command, well under a minute ago.
    const QJsonObject clock = state["clock"].toObject();
    EXPECT_TRUE(clock["zulu"].toString().startsWith("05:30:"))
        << clock["zulu"].toString().toStdString();
    EXPECT_EQ(clock["local"].toString(), "07:30");
}

TEST_F(StandInSimConnect, RefusedCallsAnswerOkAndReportTheFaultyArgument) {
    setUpLikeTheClient(sim_);
    struct Case {
        const char* name;
        std::function<SimResult(LocalSimConnect&)> call;
        std::uint32_t code;
        std::uint32_t index;
    };
    const Case cases[] = {
        {"event never mapped", [](auto& s) { return s.TransmitClientEvent(0, 99, 0, 1, 16); }, 3,
         2},
        {"event to another object", [](auto& s) { return s.TransmitClientEvent(7, 4, 0, 1, 16); },
         3, 1},
        {"hour 24", [](auto& s) { return s.TransmitClientEvent(0, 14, 24, 1, 16); }, 20, 3},
        {"minute 60", [](auto& s) { return s.TransmitClientEvent(0, 15, 60, 1, 16); }, 20, 3},
        {"day 0", [](auto& s) { return s.TransmitClientEvent(0, 16, 0, 1, 16); }, 20, 3},
        {"unknown simulator event",
         [](auto& s) { return s.MapClientEventToSimEvent(30, "TOGGLE_WATER_RUDDER"); }, 7, 2},
        {"event id mapped twice",
         [](auto& s) { return s.MapClientEventToSimEvent(4, "ZULU_DAY_SET"); }, 9, 1},
        {"unknown system event",
         [](auto& s) { return s.SubscribeToSystemEvent(30, "FlightLoaded"); }, 7, 2},
        {"data of an unknown definition",
         [](auto& s) { return s.RequestDataOnSimObjectType(0, 9, 0, 0); }, 3, 2},
        {"data the stand-in does not have",
         [](auto& s) { return s.RequestDataOnSimObjectType(0, 1, 0, 0); }, 7, 2},
        {"sub-item of an unknown item", [](auto& s) { return s.MenuAddSubItem(8, "Perdu", 9, 0); },
         3, 1},
        {"menu event used twice", [](auto& s) { return s.MenuAddItem("Encore", 2, 0); }, 9, 2},
        {"delete an unknown sub-item", [](auto& s) { return s.MenuDeleteSubItem(0, 9); }, 3, 2},
        {"delete an unknown item", [](auto& s) { return s.MenuDeleteItem(9); }, 3, 1},
        {"priority of an unknown group",
         [](auto& s) { return s.SetNotificationGroupPriority(5, 1); }, 3, 1},
        {"object with no title",
         [](auto& s) { return s.AICreateSimulatedObject("", SimInitPosition{}, 2); }, 22, 1},
        {"remove an unknown object", [](auto& s) { return s.AIRemoveObject(4242, 2); }, 3, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.call(sim_), kSimOk);
        expectException(dispatch(sim_), c.code, sim_.last_send_id(), c.index);
    }

    // None of them changed anything.
    const QJsonObject state = dump();
    for (const QJsonValue failed : state["failures"].toObject()) {
        EXPECT_FALSE(failed.toBool());
    }
    const QJsonObject set = state["zulu_set"].toObject();
    EXPECT_TRUE(set["hours"].isNull());
    EXPECT_TRUE(set["minutes"].isNull());
    EXPECT_TRUE(set["day"].isNull());
    EXPECT_EQ(state["menu_items"].toArray().size(), 4);
    EXPECT_EQ(state["ai_objects"].toArray().size(), 0);
    const QJsonObject session = state.value("simconnect_sessions")[0].toObject();
    EXPECT_EQ(session["mapped_events"].toObject().size(), 13);
    EXPECT_EQ(session["system_events"].toObject().size(), 2);
}

TEST_F(StandInSimConnect, AnAiObjectIsCreatedRoutedAndRemoved) {
    setUpLikeTheClient(sim_);
    SimInitPosition position;
    position.latitude = 43.5;
    position.longitude = 7.1;
    position.heading = 90;
    position.on_ground = 1;
    ASSERT_EQ(sim_.AICreateSimulatedObject("Ferry Boat Blue", position, 2), kSimOk);
    std::vector<Bytes> messages = dispatch(sim_);
    ASSERT_EQ(messages.size(), 2u);
    const Bytes& assigned = messages[0];
    ASSERT_EQ(assigned.size(), offset::kAssignedSize);
    EXPECT_EQ(word(assigned, offset::kSize), offset::kAssignedSize);
    EXPECT_EQ(word(assigned, offset::kId), kSimRecvAssignedObjectId);
    EXPECT_EQ(word(assigned, offset::kAssignedRequestId), 2u);
    const std::uint32_t object_id = word(assigned, offset::kAssignedObjectId);
    EXPECT_GE(object_id, 1000u);
    EXPECT_EQ(messages[1], MakeSimObjectAddRemove(kSimUnused, 17, object_id, kSimObjectBoat));

    AiWaypoint route[3];
    for (int i = 0; i < 3; ++i) {
        route[i].latitude = 43.5 + i * 0.01;
        route[i].longitude = 7.1;
        route[i].speed_kt = 12;
        route[i].throttle_percent = 50;
        route[i].flags = 4;
    }
    ASSERT_EQ(sim_.SetDataOnSimObject(1, object_id, 0, 3, sizeof(AiWaypoint), route), kSimOk);
    EXPECT_EQ(dispatch(sim_), std::vector<Bytes>{});
    QJsonArray objects = dump()["ai_objects"].toArray();
    ASSERT_EQ(objects.size(), 1);
    EXPECT_EQ(objects.at(0)["id"].toInteger(), object_id);
    EXPECT_EQ(objects.at(0)["title"].toString(), "Ferry Boat Blue");
    EXPECT_EQ(objects.at(0)["position"]["latitude"].toDouble(), 43.5);
    const QJsonArray waypoints = objects.at(0)["waypoints"].toArray();
    ASSERT_EQ(waypoints.size(), 3);
    EXPECT_EQ(waypoints[2]["latitude"].toDouble(), 43.52);
    EXPECT_EQ(waypoints[2]["speed_kt"].toDouble(), 12);
    EXPECT_EQ(waypoints[2]["throttle_percent"].toDouble(), 50);
    EXPECT_EQ(waypoints[2]["flags"].toInt(), 4);

    ASSERT_EQ(sim_.AIRemoveObject(object_id, 2), kSimOk);
    messages = dispatch(sim_);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], MakeSimObjectAddRemove(kSimUnused, 18, object_id, kSimObjectBoat));
    objects = dump()["ai_objects"].toArray();
    EXPECT_TRUE(objects.at(0)["removed"].toBool());

    // Gone is gone: a second removal and a late route both name an unknown object.
    ASSERT_EQ(sim_.AIRemoveObject(object_id, 2), kSimOk);
    expectException(dispatch(sim_), 3, sim_.last_send_id(), 1);
    ASSERT_EQ(sim_.SetDataOnSimObject(1, object_id, 0, 3, sizeof(AiWaypoint), route), kSimOk);
    expectException(dispatch(sim_), 3, sim_.last_send_id(), 2);
}

TEST_F(StandInSimConnect, AnAiObjectsTypeFollowsTheWordsOfItsTitle) {
    ASSERT_EQ(sim_.SubscribeToSystemEvent(17, "ObjectAdded"), kSimOk);
    const struct {
        const char* title;
        std::uint32_t type;
    } cases[] = {
        {"Ferry Boat", kSimObjectBoat},
        {"container SHIP", kSimObjectBoat},
        {"Tanker jet", kSimObjectBoat},  // the boat words win
        {"Boeing 737 Airliner", kSimObjectAircraft},
        {"Bell-Helicopter", kSimObjectAircraft},
        {"Fuel truck", kSimObjectGround},
        {"Jetway", kSimObjectGround},  // words, not parts of words
        {"Airplanes", kSimObjectGround},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        ASSERT_EQ(sim_.AICreateSimulatedObject(c.title, SimInitPosition{}, 2), kSimOk);
        const std::vector<Bytes> messages = dispatch(sim_);
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_EQ(word(messages[1], offset::kEventObjectType), c.type);
    }
}

TEST_F(StandInSimConnect, ARouteMustMatchTheWaypointDefinition) {
    setUpLikeTheClient(sim_);
    ASSERT_EQ(sim_.AICreateSimulatedObject("Ferry", SimInitPosition{}, 2), kSimOk);
    const std::uint32_t object_id = word(dispatch(sim_).at(0), offset::kAssignedObjectId);
    const std::uint8_t block[2 * sizeof(AiWaypoint)] = {};
    struct Case {
        const char* name;
        std::uint32_t define_id;
        std::uint32_t object_id;
        std::uint32_t unit_size;
        std::uint32_t code;
        std::uint32_t index;
    };
    const Case cases[] = {
        {"unknown definition", 7, object_id, sizeof(AiWaypoint), 3, 1},
        {"unknown object", 1, object_id + 1, sizeof(AiWaypoint), 3, 2},
        {"the user aircraft", 1, kSimUserObject, sizeof(AiWaypoint), 3, 2},
        {"not a waypoint definition", 0, object_id, sizeof(AiWaypoint), 2, 1},
        {"wrong unit size", 1, object_id, 40, 2, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(sim_.SetDataOnSimObject(c.define_id, c.object_id, 0, 2, c.unit_size, block),
                  kSimOk);
        expectException(dispatch(sim_), c.code, sim_.last_send_id(), c.index);
    }
    EXPECT_EQ(dump().value("ai_objects")[0]["waypoints"].toArray().size(), 0);
}

TEST_F(StandInSimConnect, ObservationRequestsAnswerTheMetarOrException15) {
    setUpLikeTheClient(sim_);
    const struct {
        const char* name;
        std::function<SimResult(LocalSimConnect&)> request;
        // What answers once the weather is set; empty: exception 15 all the same.
        std::string answer;
        std::uint32_t index;  // the argument exception 15 names
    } requests[] = {
        {"its station", [](auto& s) { return s.WeatherRequestObservationAtStation(1, "LFPG"); },
         kMetar, 3},
        {"another station", [](auto& s) { return s.WeatherRequestObservationAtStation(1, "EGLL"); },
         "", 3},
        {"nearest",
         [](auto& s) { return s.WeatherRequestObservationAtNearestStation(1, 48.7f, 2.4f); },
         kMetar, 2},
        // Interpolated weather is no station's: the simulator names it "????".
        {"interpolated",
         [](auto& s) { return s.WeatherRequestInterpolatedObservation(1, 48.7f, 2.4f, 300.0f); },
         std::string("????") + (kMetar + 4), 2},
    };
    for (const auto& r : requests) {
        SCOPED_TRACE(r.name);
        ASSERT_EQ(r.request(sim_), kSimOk);
        expectException(dispatch(sim_), 15, sim_.last_send_id(), r.index);
    }
    ASSERT_EQ(host_.Command(QString("metar ") + kMetar), "ok");
    for (const auto& r : requests) {
        SCOPED_TRACE(r.name);
        ASSERT_EQ(r.request(sim_), kSimOk);
        const std::vector<Bytes> messages = dispatch(sim_);
        if (r.answer.empty()) {
            expectException(messages, 15, sim_.last_send_id(), r.index);
        } else {
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0], MakeSimWeatherObservation(1, r.answer));
        }
    }
    // A station keeps its last observation when the weather moves on elsewhere, and one
    // that was set becomes known.
    const std::string heathrow = "EGLL 121150Z 25012KT 9999 BKN020 14/10 Q1009";
    ASSERT_EQ(sim_.WeatherSetObservation(0, heathrow), kSimOk);
    EXPECT_EQ(dispatch(sim_), std::vector<Bytes>{});
    for (const auto& [icao, answer] :
         {std::pair<const char*, std::string>{"EGLL", heathrow}, {"LFPG", kMetar}}) {
        ASSERT_EQ(sim_.WeatherRequestObservationAtStation(1, icao), kSimOk);
        EXPECT_EQ(dispatch(sim_), std::vector<Bytes>{MakeSimWeatherObservation(1, answer)}) << icao;
    }
    EXPECT_EQ(dump()["weather"].toObject()["stations"].toObject().keys(),
              (QStringList{"EGLL", "LFPG"}));
}

TEST_F(StandInSimConnect, ASetObservationIsTakenWhenItLooksLikeOne) {
    setUpLikeTheClient(sim_);
    ASSERT_EQ(sim_.WeatherSetModeCustom(), kSimOk);
    EXPECT_TRUE(dump().value("weather")["custom_mode"].toBool());

    const struct {
        const char* text;
        bool accepted;
    } cases[] = {
        {"LFPO 121230Z 27015KT 9999 FEW030 15/08 Q1012", true},
        {"  K2G4  AUTO", true},
        {"LFPO", false},
        {"", false},
        {"METAR LFPO 121230Z", false},
        {"LF-O 121230Z", false},
        {"LFP 121230Z", false},
    };
    QString last_taken;
    int taken = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\"");
        ASSERT_EQ(sim_.WeatherSetObservation(0, c.text), kSimOk);
        const std::vector<Bytes> messages = dispatch(sim_);
        if (c.accepted) {
            EXPECT_EQ(messages, std::vector<Bytes>{});
            last_taken = c.text;
            ++taken;
        } else {
            expectException(messages, 14, sim_.last_send_id(), 2);
        }
        const QJsonObject weather = dump()["weather"].toObject();
        ASSERT_EQ(weather["injected"].toArray().size(), taken);
        if (taken > 0) {
            EXPECT_EQ(weather["injected"].toArray().last().toString(), last_taken);
            EXPECT_EQ(weather["metar"].toString(), last_taken);
        } else {
            EXPECT_TRUE(weather["metar"].isNull());
        }
    }
    // The simulator reports the weather it was given, and each station its own.
    ASSERT_EQ(sim_.WeatherRequestObservationAtNearestStation(1, 48.7f, 2.4f), kSimOk);
    EXPECT_EQ(dispatch(sim_),
              std::vector<Bytes>{MakeSimWeatherObservation(1, last_taken.toStdString())});
    ASSERT_EQ(sim_.WeatherRequestObservationAtStation(1, "K2G4"), kSimOk);
    EXPECT_EQ(dispatch(sim_),
              std::vector<Bytes>{MakeSimWeatherObservation(1, last_taken.toStdString())});
    ASSERT_EQ(sim_.WeatherRequestObservationAtStation(1, "LFPO"), kSimOk);
    EXPECT_EQ(dispatch(sim_), std::vector<Bytes>{MakeSimWeatherObservation(
                                  1, "LFPO 121230Z 27015KT 9999 FEW030 15/08 Q1012")});
}

TEST_F(StandInSimConnect, AMenuPickReachesTheClientThatAddedIt) {
    setUpLikeTheClient(sim_);
    LocalSimConnect other(folder(), test::kDeadline);
    ASSERT_EQ(other.Open("OTHER"), kSimOk);
    ASSERT_EQ(other.MenuAddItem("Autre", 50, 77), kSimOk);

    ASSERT_EQ(host_.Command("menu 1"), "ok");
    std::vector<Bytes> messages =
        dispatchUntil(sim_, [](const std::vector<Bytes>& got) { return !got.empty(); });
    EXPECT_EQ(messages, std::vector<Bytes>{MakeSimEvent(kSimUnused, 1, 12345)});

    ASSERT_EQ(host_.Command("menu 50"), "ok");
    messages = dispatchUntil(other, [](const std::vector<Bytes>& got) { return !got.empty(); });
    EXPECT_EQ(messages, std::vector<Bytes>{MakeSimEvent(kSimUnused, 50, 77)});
    // Anything the stand-in sent this client before answering a call has arrived with the
    // answer: the pick for the other client is not among it.
    ASSERT_EQ(sim_.RequestDataOnSimObjectType(0, 0, 0, 0), kSimOk);
    messages = dispatch(sim_);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(word(messages[0], offset::kId), kSimRecvSimObjectDataByType);

    EXPECT_TRUE(host_.Command("menu 42").startsWith("error: "));
    ASSERT_EQ(sim_.MenuDeleteSubItem(0, 1), kSimOk);
    EXPECT_TRUE(host_.Command("menu 1").startsWith("error: "));
    ASSERT_EQ(sim_.Close(), kSimOk);
    EXPECT_TRUE(host_.Command("menu 2").startsWith("error: "));
}

TEST_F(StandInSimConnect, TheDispatchProcedureMayCallTheLibrary) {
    setUpLikeTheClient(sim_);
    ASSERT_EQ(sim_.RequestDataOnSimObjectType(0, 0, 0, 0), kSimOk);
    ASSERT_EQ(sim_.RequestDataOnSimObjectType(0, 0, 0, 0), kSimOk);
    int delivered = 0;
    auto requestAgain = [&](const std::uint8_t*, std::uint32_t) {
        ++delivered;
        EXPECT_EQ(sim_.RequestDataOnSimObjectType(0, 0, 0, 0), kSimOk);
    };
    // What the procedure's own calls provoke waits for the next dispatch.
    ASSERT_EQ(sim_.CallDispatch(requestAgain), kSimOk);
    EXPECT_EQ(delivered, 2);
    ASSERT_EQ(sim_.CallDispatch(requestAgain), kSimOk);
    EXPECT_EQ(delivered, 4);
    EXPECT_EQ(dispatch(sim_).size(), 2u);
}

TEST_F(StandInSimConnect, AThrowingProcedureLosesOnlyItsMessage) {
    setUpLikeTheClient(sim_);
    ASSERT_EQ(sim_.WeatherRequestObservationAtStation(1, "LFPG"), kSimOk);
    ASSERT_EQ(sim_.RequestDataOnSimObjectType(0, 0, 0, 0), kSimOk);
    EXPECT_THROW(sim_.CallDispatch([](const std::uint8_t*, std::uint32_t) {
        throw std::runtime_error("the procedure failed");
    }),
                 std::runtime_error);
    const std::vector<Bytes> rest = dispatch(sim_);
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(word(rest[0], offset::kId), kSimRecvSimObjectDataByType);
}

TEST_F(StandInSimConnect, AProcedureThatClosesEndsTheDispatch) {
    setUpLikeTheClient(sim_);
    ASSERT_EQ(sim_.RequestDataOnSimObjectType(0, 0, 0, 0), kSimOk);
    ASSERT_EQ(sim_.RequestDataOnSimObjectType(0, 0, 0, 0), kSimOk);
    int delivered = 0;
    EXPECT_EQ(sim_.CallDispatch([&](const std::uint8_t*, std::uint32_t) {
        ++delivered;
        sim_.Close();
    }),
              kSimOk);
    EXPECT_EQ(delivered, 1);
    EXPECT_EQ(sim_.CallDispatch([&](const std::uint8_t*, std::uint32_t) { ++delivered; }),
              kSimFail);
    EXPECT_EQ(delivered, 1);
}

Bytes quitMessage() {
    return SimRecvBuilder(kSimRecvQuit).bytes();
}

// A stand-in that is gone, or that cut the connection: the library closes, says so once
// with the quit message, and opens again only where a stand-in serves.
TEST_F(StandInSimConnect, ALostStandInClosesTheLibraryWithAQuitMessage) {
    for (const char* how : {"simconnect drop", "kill"}) {
        SCOPED_TRACE(how);
        setUpLikeTheClient(sim_);
        if (std::string_view(how) == "kill") {
            host_.Kill();
        } else {
            ASSERT_EQ(host_.Command(how), "ok");
        }
        EXPECT_EQ(sim_.RequestDataOnSimObjectType(0, 0, 0, 0), kSimFail);
        EXPECT_FALSE(sim_.connected());
        EXPECT_EQ(sim_.TransmitClientEvent(0, 4, 0, 1, 16), kSimFail);
        EXPECT_EQ(dispatch(sim_), std::vector<Bytes>{quitMessage()});
        EXPECT_EQ(sim_.CallDispatch([](const std::uint8_t*, std::uint32_t) {}), kSimFail);
        if (std::string_view(how) == "kill") {
            EXPECT_EQ(sim_.Open("MYAPP"), kSimFail);
        } else {
            ASSERT_EQ(sim_.Open("MYAPP"), kSimOk);
            EXPECT_TRUE(test::WaitUntil(
                [&] { return dump()["simconnect_sessions"].toArray().size() == 1; }));
        }
    }
}

// A call the stand-in holds fails once its time is up, but the connection stays: the
// reply, when it comes, is passed over, and the data the call asked for still arrives.
TEST_F(StandInSimConnect, AHeldCallFailsAndItsLateReplyIsPassedOver) {
    setUpLikeTheClient(sim_);
    ASSERT_EQ(host_.Command("simconnect hold"), "ok");
    sim_.set_reply_timeout(std::chrono::milliseconds(300));
    EXPECT_EQ(sim_.RequestDataOnSimObjectType(0, 0, 0, 0), kSimFail);
    EXPECT_TRUE(sim_.connected());
    sim_.set_reply_timeout(test::kDeadline);
    ASSERT_EQ(host_.Command("simconnect release"), "ok");

    ASSERT_EQ(sim_.TransmitClientEvent(0, 4, 0, 1, 16), kSimOk);
    const std::vector<Bytes> messages = dispatch(sim_);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(word(messages[0], offset::kId), kSimRecvSimObjectDataByType);
    EXPECT_TRUE(dump()["failures"].toObject()["TOGGLE_ENGINE1_FAILURE"].toBool());
    EXPECT_EQ(dump()["simconnect_sessions"].toArray().size(), 1);
}

// A client that speaks the wire directly, to send what the library never would.
class RawClient {
public:
    explicit RawClient(const std::string& folder) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = folder + "/" + kSimConnectSocket;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ADD_FAILURE() << "cannot connect: " << std::strerror(errno);
        }
        const timeval limit{test::kDeadline.count() / 1000, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    }
    ~RawClient() { ::close(fd_); }

    void Send(const Bytes& bytes) {
        ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }
    // The next frame's payload; none when the stand-in hung up or said nothing in time.
    std::optional<Bytes> Next() {
        Bytes payload;
        while (decoder_.Next(payload) != WireFrameDecoder::Status::kFrame) {
            std::uint8_t buffer[4096];
            const ssize_t count = ::recv(fd_, buffer, sizeof buffer, 0);
            if (count <= 0) {
                return std::nullopt;
            }
            decoder_.Feed(buffer, static_cast<std::size_t>(count));
        }
        return payload;
    }
    // True once the stand-in has closed the connection; anything before is dropped.
    bool HungUp() {
        std::uint8_t buffer[4096];
        for (;;) {
            const ssize_t count = ::recv(fd_, buffer, sizeof buffer, 0);
            if (count == 0) {
                return true;
            }
            if (count < 0) {
                return false;
            }
        }
    }

private:
    int fd_ = -1;
    WireFrameDecoder decoder_;
};

Bytes payloadOf(const Bytes& frame) {
    return Bytes(frame.begin() + 4, frame.end());
}

Bytes openFrame(std::uint32_t send_id) {
    return SimCallFrame(SimCall::kOpen, send_id).text("RAW").Frame();
}

TEST_F(StandInSimConnect, AClientThatBreaksTheWireIsDroppedAndNobodyElse) {
    setUpLikeTheClient(sim_);
    Bytes oversized = SimCallFrame(SimCall::kWeatherSetModeCustom, 2).Frame();
    oversized[2] = 0x20;
    Bytes with_stray_byte = SimCallFrame(SimCall::kMenuDeleteItem, 2).word(0).Frame();
    with_stray_byte.push_back(0);
    with_stray_byte[0] += 1;
    Bytes short_call = SimCallFrame(SimCall::kTransmitClientEvent, 2).word(0).word(4).Frame();
    struct Case {
        const char* name;
        Bytes frame;
    };
    const Case cases[] = {
        {"oversized frame", oversized},
        {"unknown call", SimCallFrame(static_cast<SimCall>(99), 2).Frame()},
        {"call number 0", SimCallFrame(static_cast<SimCall>(0), 2).Frame()},
        {"stray byte after the arguments", with_stray_byte},
        {"arguments missing", short_call},
        {"no send id", WireWriter().word(1).Frame()},
        {"text beyond its frame", SimCallFrame(SimCall::kOpen, 1).word(1000).Frame()},
        {"oversized text", SimCallFrame(SimCall::kMenuAddItem, 2)
                               .text(std::string(5000, 'x'))
                               .word(60)
                               .word(0)
                               .Frame()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RawClient raw(folder());
        raw.Send(openFrame(1));
        ASSERT_EQ(raw.Next(), payloadOf(MakeReplyFrame(1, kSimOk)));
        raw.Send(c.frame);
        EXPECT_TRUE(raw.HungUp());
    }
    // The well-behaved client and the stand-in go on as before.
    EXPECT_TRUE(
        test::WaitUntil([&] { return dump()["simconnect_sessions"].toArray().size() == 1; }));
    ASSERT_EQ(sim_.TransmitClientEvent(0, 4, 0, 1, 16), kSimOk);
    EXPECT_EQ(dispatch(sim_), std::vector<Bytes>{});
    EXPECT_EQ(dump()["menu_items"].toArray().size(), 4);
}

TEST_F(StandInSimConnect, CallsBeforeOpenFailAndBlocksMustMatchTheirCount) {
    RawClient raw(folder());
    raw.Send(SimCallFrame(SimCall::kWeatherSetModeCustom, 1).Frame());
    EXPECT_EQ(raw.Next(), payloadOf(MakeReplyFrame(1, kSimFail)));
    EXPECT_FALSE(dump().value("weather")["custom_mode"].toBool());

    raw.Send(openFrame(2));
    EXPECT_EQ(raw.Next(), payloadOf(MakeReplyFrame(2, kSimOk)));
    raw.Send(openFrame(3));
    EXPECT_EQ(raw.Next(), payloadOf(MakeReplyFrame(3, kSimFail)));

    raw.Send(SimCallFrame(SimCall::kAddToDataDefinition, 4)
                 .word(1)
                 .text("AI Waypoint List")
                 .text("number")
                 .word(kSimDataWaypoint)
                 .real(0)
                 .word(kSimUnused)
                 .Frame());
    EXPECT_EQ(raw.Next(), payloadOf(MakeReplyFrame(4, kSimOk)));
    raw.Send(SimCallFrame(SimCall::kAICreateSimulatedObject, 5)
                 .text("Ferry")
                 .real64(0)
                 .real64(0)
                 .real64(0)
                 .real64(0)
                 .real64(0)
                 .real64(0)
                 .word(0)
                 .word(0)
                 .word(2)
                 .Frame());
    const std::optional<Bytes> assigned = raw.Next();
    ASSERT_TRUE(assigned);
    const Bytes message(assigned->begin() + 4, assigned->end());
    EXPECT_EQ(raw.Next(), payloadOf(MakeReplyFrame(5, kSimOk)));

    // Three waypoints announced, two sent.
    const std::uint8_t block[2 * sizeof(AiWaypoint)] = {};
    raw.Send(SimCallFrame(SimCall::kSetDataOnSimObject, 6)
                 .word(1)
                 .word(word(message, offset::kAssignedObjectId))
                 .word(0)
                 .word(3)
                 .word(sizeof(AiWaypoint))
                 .blob(block, sizeof block)
                 .Frame());
    EXPECT_EQ(raw.Next(), payloadOf(MakeMessageFrame(MakeSimException(2, 6, 4))));
    EXPECT_EQ(raw.Next(), payloadOf(MakeReplyFrame(6, kSimOk)));
}

}  // namespace
}  // namespace tavoro
