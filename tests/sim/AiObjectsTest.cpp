#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "atc/Protocol.h"
#include "core/Numbers.h"
#include "sim/AiObjects.h"
#include "support/FakeSimulator.h"

namespace tavoro {
namespace {

using test::FakeSimConnect;

// Keeps what the plain fake drops: the starting position of each creation and the
// waypoints of each route handed over.
class RecordingSimConnect : public FakeSimConnect {
public:
    SimResult AICreateSimulatedObject(std::string_view title, const SimInitPosition& position,
                                      std::uint32_t request_id) override {
        positions.push_back(position);
        return FakeSimConnect::AICreateSimulatedObject(title, position, request_id);
    }
    SimResult SetDataOnSimObject(std::uint32_t define_id, std::uint32_t object_id,
                                 std::uint32_t flags, std::uint32_t count, std::uint32_t unit_size,
                                 const void* data) override {
        std::vector<AiWaypoint> block(count);
        std::memcpy(block.data(), data, std::size_t{count} * unit_size);
        routes.push_back(block);
        return FakeSimConnect::SetDataOnSimObject(define_id, object_id, flags, count, unit_size,
                                                  data);
    }

    std::vector<SimInitPosition> positions;
    std::vector<std::vector<AiWaypoint>> routes;
};

// The packed records' values, copied out: a packed field cannot be bound to a reference.
std::vector<double> values(const SimInitPosition& at) {
    return {at.latitude, at.longitude, at.altitude,          at.pitch,
            at.bank,     at.heading,   double(at.on_ground), double(at.airspeed)};
}
std::vector<double> values(const AiWaypoint& point) {
    return {point.latitude,      point.longitude, point.altitude,
            double(point.flags), point.speed_kt,  point.throttle_percent};
}

class AiObjectsTest : public ::testing::Test {
protected:
    AiObjectsTest() { simconnect.Open("MYAPP"); }

    void line(const std::string& text) {
        const FieldList fields = SplitText(text, ':');
        const std::string& sub_command = fields.at(1);
        if (sub_command == "CREATE") {
            objects.Create(fields);
        } else if (sub_command == "ROUTE") {
            objects.Route(fields);
        } else if (sub_command == "START") {
            objects.Start(fields);
        } else if (sub_command == "REMOVE") {
            objects.Remove(fields);
        }
    }
    void create(const std::string& send_id, const std::string& title = "Ferry boat") {
        line("$ControlAI:CREATE:" + send_id + ":" + title + ":45.5:7.25:1200:2:3:270:1:12");
    }
    // The simulator's answer to the last creation, delivered by one polling step.
    void assignId(std::uint32_t id) {
        objects.ObjectIdAssigned(id);
        objects.AfterDispatch();
    }
    const AiObject& slot(std::size_t index) { return objects.ai_objects().at(index); }
    std::vector<std::string> callsOf(const std::string& name) {
        std::vector<std::string> texts;
        const std::vector<std::string> all = library.CallTexts();
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (library.calls[i].name == name) {
                texts.push_back(all[i]);
            }
        }
        return texts;
    }

    RecordingSimConnect library;
    SimConnectClient simconnect{library};
    AircraftState aircraft;
    std::vector<std::string> log;
    AiObjects objects{simconnect, aircraft,
                      [this](const std::string& text) { log.push_back(text); }};
};

TEST_F(AiObjectsTest, TheFirstCreationTakesSlotZero) {
    create("AF123");
    EXPECT_EQ(callsOf("AICreateSimulatedObject"),
              std::vector<std::string>{"AICreateSimulatedObject(Ferry boat, 2)"});
    ASSERT_EQ(library.positions.size(), 1u);
    // Fields 4 to 11 in the library's order.
    EXPECT_EQ(values(library.positions[0]),
              (std::vector<double>{45.5, 7.25, 1200, 2, 3, 270, 1, 12}));

    ASSERT_EQ(objects.ai_objects().size(), 1u);
    const AiObject& object = slot(0);
    EXPECT_TRUE(object.in_use);
    EXPECT_EQ(object.send_id, "AF123");
    EXPECT_EQ(object.TitleText(), "Ferry boat");
    const AiInitialPosition& kept = object.initial_position;
    EXPECT_EQ((std::vector<double>{kept.altitude, kept.latitude, kept.longitude, kept.heading,
                                   kept.bank, kept.pitch}),
              (std::vector<double>{1200, 45.5, 7.25, 270, 3, 2}));
    EXPECT_EQ(objects.current_object(), 0u);
    EXPECT_EQ(log, std::vector<std::string>{"objet0 sendid:AF123"});
}

TEST_F(AiObjectsTest, AFailedCreationStoresNothing) {
    library.failing = {"AICreateSimulatedObject"};
    create("A");
    EXPECT_EQ(callsOf("AICreateSimulatedObject").size(), 1u);
    EXPECT_TRUE(objects.ai_objects().empty());
    EXPECT_TRUE(log.empty());

    // Nor does it move the slot that a late id goes to.
    library.failing.clear();
    create("B");
    create("C");
    library.failing = {"AICreateSimulatedObject"};
    create("D");
    EXPECT_EQ(objects.current_object(), 1u);
    assignId(1002);
    EXPECT_EQ(slot(1).sim_object_id, 1002u);
}

TEST_F(AiObjectsTest, ALongTitleIsCutTo255Characters) {
    std::string title(300, 'x');
    title.replace(250, 10, "0123456789");
    create("A", title);
    const std::string kept = title.substr(0, 255);
    EXPECT_EQ(callsOf("AICreateSimulatedObject"),
              std::vector<std::string>{"AICreateSimulatedObject(" + kept + ", 2)"});
    EXPECT_EQ(slot(0).TitleText(), kept);
    EXPECT_EQ(slot(0).title.back(), '\0');
}

TEST_F(AiObjectsTest, AFreedSlotIsReusedBeforeTheTableGrows) {
    create("A");
    assignId(1000);
    create("B");
    assignId(1001);
    line("$ControlAI:ROUTE:A:45.6:7.3:1000:0:40");
    log.clear();

    objects.ObjectRemoved(1000);
    EXPECT_EQ(log, std::vector<std::string>{"remove objet0 simid:1000"});
    const AiObject& freed = slot(0);
    EXPECT_FALSE(freed.in_use);
    EXPECT_EQ(freed.send_id, "");
    EXPECT_EQ(freed.title, (std::array<char, AiObject::kTitleSize>{}));
    EXPECT_TRUE(freed.waypoints.empty());
    EXPECT_EQ(freed.sim_object_id, 1000u);  // kept until a new id comes

    create("C", "Fuel truck");
    EXPECT_EQ(objects.ai_objects().size(), 2u);
    EXPECT_EQ(objects.current_object(), 0u);
    EXPECT_EQ(slot(0).send_id, "C");
    EXPECT_EQ(slot(0).TitleText(), "Fuel truck");
    EXPECT_TRUE(slot(0).in_use);
    EXPECT_EQ(slot(1).send_id, "B");
    EXPECT_EQ(log.back(), "objet0 sendid:C");

    create("D");
    EXPECT_EQ(objects.ai_objects().size(), 3u);
    EXPECT_EQ(log.back(), "objet2 sendid:D");
}

TEST_F(AiObjectsTest, RoutesCollectWaypointsInArrivalOrder) {
    create("A");
    create("B");
    line("$ControlAI:ROUTE:B:45.6:7.3:1000:4:40");
    line("$ControlAI:ROUTE:B:-45.7:-7.4:1100.5:0:55.5");
    line("$ControlAI:ROUTE:Z:1:1:1:1:1");
    EXPECT_TRUE(slot(0).waypoints.empty());
    const std::vector<AiWaypoint>& points = slot(1).waypoints;
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(values(points[0]), (std::vector<double>{45.6, 7.3, 1000, 4, 40, 0}));
    EXPECT_EQ(values(points[1]), (std::vector<double>{-45.7, -7.4, 1100.5, 0, 55.5, 0}));
    EXPECT_EQ(library.calls.size(), 3u);  // Open and the two creations: routes wait
}

// A table of its own over a fresh simulator, for tests whose cases each start anew.
struct FreshTable {
    explicit FreshTable(const AircraftState& aircraft) : objects(simconnect, aircraft, {}) {
        simconnect.Open("MYAPP");
    }
    void send(const std::string& text) {
        const FieldList fields = SplitText(text, ':');
        if (fields[1] == "CREATE") {
            objects.Create(fields);
        } else if (fields[1] == "ROUTE") {
            objects.Route(fields);
        } else {
            objects.Start(fields);
        }
    }
    std::vector<std::string> routeCalls() const {
        std::vector<std::string> texts;
        for (const std::string& text : library.CallTexts()) {
            if (text.starts_with("SetDataOnSimObject")) {
                texts.push_back(text);
            }
        }
        return texts;
    }

    RecordingSimConnect library;
    SimConnectClient simconnect{library};
    AiObjects objects;
};

TEST_F(AiObjectsTest, ARouteIsHandedOverWithinTwoSecondsOfItsStart) {
    struct Case {
        int start;
        int zulu_seconds;
        bool sent;
    };
    // The clock is a time of day: the window runs on across midnight both ways.
    for (Case c : {Case{3600, 3597, false}, Case{3600, 3598, false}, Case{3600, 3599, true},
                   Case{3600, 3600, true}, Case{3600, 3601, true}, Case{3600, 3602, false},
                   Case{86399, 86397, false}, Case{86399, 86398, true}, Case{86399, 86399, true},
                   Case{86399, 0, true}, Case{86399, 1, false}, Case{0, 86398, false},
                   Case{0, 86399, true}, Case{0, 0, true}, Case{0, 1, true}, Case{0, 2, false},
                   Case{1, 86399, false}, Case{43200, 0, false}, Case{0, 43200, false}}) {
        SCOPED_TRACE(testing::Message() << "start " << c.start << ", zulu " << c.zulu_seconds);
        FreshTable table(aircraft);
        table.send("$ControlAI:CREATE:A:Ferry boat:45.5:7.25:0:0:0:90:1:0");
        table.objects.ObjectIdAssigned(1234);
        table.send("$ControlAI:ROUTE:A:45.6:7.3:10:6:12");
        table.send("$ControlAI:ROUTE:A:45.7:7.4:20:0:15");
        table.send("$ControlAI:START:A:" + std::to_string(c.start));
        aircraft.zulu_seconds = c.zulu_seconds;
        table.objects.AfterDispatch();
        const RecordingSimConnect& fresh = table.library;
        EXPECT_EQ(table.objects.ai_objects()[0].route_sent, c.sent);
        if (!c.sent) {
            EXPECT_TRUE(fresh.routes.empty());
            continue;
        }
        EXPECT_EQ(fresh.CallTexts().back(), "SetDataOnSimObject(1, 1234, 0, 2, 44)");
        ASSERT_EQ(fresh.routes.size(), 1u);
        ASSERT_EQ(fresh.routes[0].size(), 2u);
        EXPECT_EQ(values(fresh.routes[0][0]), (std::vector<double>{45.6, 7.3, 10, 6, 12, 0}));
        EXPECT_EQ(values(fresh.routes[0][1]), (std::vector<double>{45.7, 7.4, 20, 0, 15, 0}));
        // Once only.
        table.objects.AfterDispatch();
        EXPECT_EQ(fresh.routes.size(), 1u);
    }
}

TEST_F(AiObjectsTest, ARouteDueBeforeItsIdWaitsForTheId) {
    struct Case {
        const char* name;
        int id_comes_at;  // zulu second of the step that delivers the id
        bool sent;
    };
    // The route starts at 100; its window is 99 to 101.
    for (Case c : {Case{"at the start", 100, true}, Case{"as the window closes", 101, true},
                   Case{"after the window", 102, false}}) {
        SCOPED_TRACE(c.name);
        FreshTable table(aircraft);
        table.send("$ControlAI:CREATE:A:Ferry boat:45.5:7.25:0:0:0:90:1:0");
        table.send("$ControlAI:ROUTE:A:45.6:7.3:10:6:12");
        table.send("$ControlAI:START:A:100");
        for (int zulu = 98; zulu < c.id_comes_at; ++zulu) {
            aircraft.zulu_seconds = zulu;
            table.objects.AfterDispatch();
        }
        EXPECT_EQ(table.routeCalls(), std::vector<std::string>{});
        aircraft.zulu_seconds = c.id_comes_at;
        table.objects.ObjectIdAssigned(1234);
        table.objects.AfterDispatch();
        aircraft.zulu_seconds = c.id_comes_at + 1;
        table.objects.AfterDispatch();
        EXPECT_EQ(table.routeCalls(),
                  c.sent ? std::vector<std::string>{"SetDataOnSimObject(1, 1234, 0, 1, 44)"}
                         : std::vector<std::string>{});
        EXPECT_EQ(table.objects.ai_objects()[0].route_sent, c.sent);
    }
}

TEST_F(AiObjectsTest, ACreationTheIdSkippedNeverGetsARoute) {
    // Two creations before the first id: the id goes to the later one, and the earlier
    // holds none of its own, so its route goes nowhere, least of all to the user's aircraft.
    aircraft.zulu_seconds = 100;
    create("A");
    create("B");
    line("$ControlAI:ROUTE:A:1:1:1:0:1");
    line("$ControlAI:START:A:100");
    line("$ControlAI:ROUTE:B:2:2:2:0:2");
    line("$ControlAI:START:B:100");
    objects.AfterDispatch();
    EXPECT_TRUE(callsOf("SetDataOnSimObject").empty());
    assignId(1000);
    EXPECT_EQ(callsOf("SetDataOnSimObject"),
              std::vector<std::string>{"SetDataOnSimObject(1, 1000, 0, 1, 44)"});
    EXPECT_FALSE(slot(0).route_sent);
}

TEST_F(AiObjectsTest, ARouteWaitsForEverythingItNeeds) {
    aircraft.zulu_seconds = 500;
    create("NOSTART");
    line("$ControlAI:ROUTE:NOSTART:1:1:1:0:1");
    create("EMPTY");
    line("$ControlAI:START:EMPTY:500");
    create("GONE");
    assignId(77);
    line("$ControlAI:ROUTE:GONE:1:1:1:0:1");
    line("$ControlAI:START:GONE:500");
    objects.ObjectRemoved(77);
    objects.AfterDispatch();
    EXPECT_TRUE(library.routes.empty());

    // START before the waypoints, and before the id: the route goes out whole at the next
    // due step after the id came, not to the id of the object the reused slot held before.
    create("LATE");
    EXPECT_EQ(objects.current_object(), 2u);
    line("$ControlAI:START:LATE:501");
    line("$ControlAI:ROUTE:LATE:1:1:1:0:1");
    line("$ControlAI:ROUTE:LATE:2:2:2:0:2");
    objects.AfterDispatch();
    EXPECT_TRUE(library.routes.empty());
    assignId(78);
    ASSERT_EQ(library.routes.size(), 1u);
    EXPECT_EQ(library.routes[0].size(), 2u);
    EXPECT_EQ(library.CallTexts().back(), "SetDataOnSimObject(1, 78, 0, 2, 44)");
    EXPECT_EQ(slot(0).start_time, 0);
    EXPECT_FALSE(slot(0).route_complete);
}

TEST_F(AiObjectsTest, ARefusedHandOverIsTriedAgainWhileTheWindowLasts) {
    create("A");
    assignId(9);
    line("$ControlAI:ROUTE:A:1:2:3:0:4");
    line("$ControlAI:START:A:100");
    library.failing = {"SetDataOnSimObject"};
    aircraft.zulu_seconds = 99;
    objects.AfterDispatch();
    EXPECT_FALSE(slot(0).route_sent);
    library.failing.clear();
    aircraft.zulu_seconds = 100;
    objects.AfterDispatch();
    EXPECT_TRUE(slot(0).route_sent);
    EXPECT_EQ(library.routes.size(), 2u);
}

TEST_F(AiObjectsTest, TwoCreationsBeforeTheFirstIdBothWriteIntoTheLaterSlot) {
    create("A");
    create("B");
    objects.ObjectIdAssigned(1000);
    EXPECT_TRUE(objects.object_id_pending());
    EXPECT_EQ(objects.assigned_object_id(), 1000u);
    EXPECT_EQ(slot(1).sim_object_id, 0u);  // not before the step's hand-over
    objects.AfterDispatch();
    EXPECT_FALSE(objects.object_id_pending());
    EXPECT_EQ(slot(1).sim_object_id, 1000u);
    assignId(1001);
    EXPECT_EQ(slot(0).sim_object_id, 0u);
    EXPECT_EQ(slot(1).sim_object_id, 1001u);
}

TEST_F(AiObjectsTest, ARemovalFreesTheHighestSlotHoldingTheId) {
    // The first two creations never got their ids: both slots hold 0.
    create("A");
    create("B");
    create("C");
    assignId(5);
    objects.ObjectRemoved(0);
    EXPECT_TRUE(slot(0).in_use);
    EXPECT_FALSE(slot(1).in_use);
    EXPECT_EQ(log.back(), "remove objet1 simid:0");
    // A freed slot keeps its id, so it still wins over the lower one.
    objects.ObjectRemoved(0);
    EXPECT_TRUE(slot(0).in_use);
    EXPECT_EQ(log.back(), "remove objet1 simid:0");

    // An id that no slot holds changes nothing.
    log.clear();
    objects.ObjectRemoved(6);
    EXPECT_TRUE(slot(2).in_use);
    EXPECT_TRUE(log.empty());
}

TEST_F(AiObjectsTest, RemoveAsksTheSimulatorAndKeepsTheSlotUntilItAnswers) {
    create("A");
    create("B");
    assignId(1001);
    log.clear();
    line("$ControlAI:REMOVE:B");
    line("$ControlAI:REMOVE:Z");
    EXPECT_EQ(log, std::vector<std::string>{"call remove objet1 simid:1001 sendid:B"});
    EXPECT_EQ(callsOf("AIRemoveObject"), std::vector<std::string>{"AIRemoveObject(1001, 2)"});
    EXPECT_TRUE(slot(1).in_use);
    EXPECT_EQ(slot(1).send_id, "B");
}

TEST_F(AiObjectsTest, CommandsNameOnlyObjectsInUse) {
    // A freed slot's send id is empty; a line without its id field must not reach it.
    create("A");
    assignId(1000);
    objects.ObjectRemoved(1000);
    library.calls.clear();
    line("$ControlAI:REMOVE");
    line("$ControlAI:REMOVE:");
    line("$ControlAI:ROUTE::1:2:3:0:4");
    line("$ControlAI:START::100");
    EXPECT_TRUE(library.calls.empty());
    EXPECT_TRUE(slot(0).waypoints.empty());
    EXPECT_FALSE(slot(0).route_complete);
}

TEST_F(AiObjectsTest, ShortLinesReadMissingFieldsAsEmpty) {
    // A missing whole number ends the line before anything is done.
    for (const char* text : {"$ControlAI:CREATE:A:Truck:1:2:3:4:5:6:1", "$ControlAI:CREATE:A:Truck",
                             "$ControlAI:START:A", "$ControlAI:ROUTE:A:1:2:3"}) {
        SCOPED_TRACE(text);
        EXPECT_THROW(line(text), ConversionError);
    }
    EXPECT_TRUE(objects.ai_objects().empty());
    EXPECT_TRUE(callsOf("AICreateSimulatedObject").empty());

    // A missing or unreadable decimal stands for 0 and the command goes on.
    line("$ControlAI:CREATE:A:Truck:north:2:3:4:5:6:0:7");
    ASSERT_EQ(library.positions.size(), 1u);
    EXPECT_EQ(values(library.positions[0]), (std::vector<double>{0, 2, 3, 4, 5, 6, 0, 7}));
    EXPECT_EQ(slot(0).initial_position.latitude, 0);
    line("$ControlAI:ROUTE:A:1.5:2.5:300:8");
    ASSERT_EQ(slot(0).waypoints.size(), 1u);
    EXPECT_EQ(values(slot(0).waypoints[0]), (std::vector<double>{1.5, 2.5, 300, 8, 0, 0}));
    EXPECT_THROW(line("$ControlAI:START:A:soon"), ConversionError);
    EXPECT_FALSE(slot(0).route_complete);
}

TEST(AiObjectViewTextTest, ZuluLabelWritesTheClockWithoutLeadingZeros) {
    EXPECT_EQ(ZuluLabelText(3601), "fs_zulu: 3601   1:0:1");
    EXPECT_EQ(ZuluLabelText(0), "fs_zulu: 0   0:0:0");
    EXPECT_EQ(ZuluLabelText(86399), "fs_zulu: 86399   23:59:59");
}

TEST(AiObjectViewTextTest, ObjectAndRouteLines) {
    AiObject object;
    object.sim_object_id = 1001;
    object.send_id = "AF1";
    object.in_use = true;
    EXPECT_EQ(ObjectListLine(object), "1001 AF1 true");
    object.in_use = false;
    object.send_id.clear();
    EXPECT_EQ(ObjectListLine(object), "1001  false");

    EXPECT_EQ(RouteLines(object), std::vector<std::string>{"route  start: 0"});
    object.route_complete = true;
    object.start_time = 3600;
    AiWaypoint first;
    first.latitude = 45.5;
    first.longitude = -7.25;
    first.altitude = 1200;
    first.speed_kt = 250.4;
    first.flags = 6;
    AiWaypoint second;
    second.latitude = -45.123456;
    second.longitude = 123.5;
    second.altitude = 35000;
    second.speed_kt = 12.5;  // ties go to even
    object.waypoints = {first, second};
    EXPECT_EQ(RouteLines(object),
              (std::vector<std::string>{"route complete start: 3600",
                                        "0: 45.50000, -7.25000, 1200.00000, 250,6",
                                        "1: -45.12346, 123.50000, 35000.00000,  12,0"}));
}

}  // namespace
}  // namespace tavoro
