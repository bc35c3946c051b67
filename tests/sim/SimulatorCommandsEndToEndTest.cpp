#include <gtest/gtest.h>

#include <QJsonArray>
#include <QPlainTextEdit>

#include "app/App.h"
#include "app/TForm1.h"
#include "sim/TForm_objet.h"
#include "support/AtcServerProcess.h"
#include "support/EventLoop.h"
#include "support/ModalAnswerer.h"
#include "support/ProgramFolder.h"
#include "support/SimHostProcess.h"

namespace tavoro {
namespace {

using test::AtcServerProcess;
using test::ModalAnswerer;
using test::ProgramFolder;
using test::SimHostProcess;
using test::WaitUntil;

// The whole program, logged in to the stand-in ATC server and linked to the stand-in
// simulator, carrying the server's simulator commands through to the simulator.
class SimulatorCommandsEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host_.started());
        ASSERT_TRUE(server_.started());
        for (const char* command : {"set zulu 12:30:00", "set id F-GTAV", "set ready 1"}) {
            ASSERT_EQ(host_.Command(command), "ok") << command;
        }
        folder_ = std::make_unique<ProgramFolder>(server_.port(), 0);
        app_ = folder_->MakeApp(host_);
        app_->Start();
        // Polls come faster than the program's one a second: nothing here depends on
        // their pace, and the test is done sooner.
        app_->Form1().Timer2->setInterval(200);
        QObject::connect(&app_->sim_link(), &SimulatorLink::stateUpdated, &polls_seen_,
                         [this] { ++polls_; });
        ASSERT_TRUE(WaitUntil([&] { return app_->Form1().Timer2->isActive(); }));
        app_->link().ConnectToServer();
        ASSERT_TRUE(WaitUntil([&] { return app_->link().logged_in(); }));
    }

    void serverSends(const QString& line) { server_.Command("send " + line); }
    QString log() const { return app_->Form_objet().Memo1->toPlainText(); }
    const std::vector<AiObject>& table() const { return app_->ai_objects().ai_objects(); }
    QJsonArray simulatorObjects() { return host_.Dump()["ai_objects"].toArray(); }
    // The simulator's id of its `index`-th object, once it has one.
    std::uint32_t simulatorId(int index) {
        QJsonArray objects;
        EXPECT_TRUE(WaitUntil([&] {
            objects = simulatorObjects();
            return objects.size() > index;
        }));
        return objects.size() > index ? objects[index].toObject()["id"].toInt() : 0;
    }
    // Waits until slot `slot` holds the simulator's id of its `index`-th object.
    bool slotGetsId(std::size_t slot, int index) {
        const std::uint32_t id = simulatorId(index);
        return id != 0 && WaitUntil([&] {
                   return table().size() > slot && table()[slot].sim_object_id == id;
               });
    }

    SimHostProcess host_;
    AtcServerProcess server_;
    ModalAnswerer answerer_;
    // Outlives the program, which writes its configuration there as it closes.
    std::unique_ptr<ProgramFolder> folder_;
    std::unique_ptr<App> app_;
    // Polling steps run so far.
    QObject polls_seen_;
    int polls_ = 0;
};

TEST_F(SimulatorCommandsEndToEndTest, FailuresAndTheClockReachTheSimulator) {
    const auto failures = [&] { return host_.Dump()["failures"].toObject(); };
    serverSends("$ADMIN:FAILURE:4");
    ASSERT_TRUE(WaitUntil([&] { return failures()["TOGGLE_PITOT_BLOCKAGE"].toBool(); }));
    EXPECT_TRUE(app_->failure_state()[4]);
    serverSends("$ADMIN:FAILURE:262");  // 6 in its low 8 bits
    ASSERT_TRUE(WaitUntil([&] { return failures()["TOGGLE_ELECTRICAL_FAILURE"].toBool(); }));
    EXPECT_TRUE(app_->failure_state()[6]);
    serverSends("$ADMIN:FAILURE:4");
    ASSERT_TRUE(WaitUntil([&] { return !failures()["TOGGLE_PITOT_BLOCKAGE"].toBool(); }));
    EXPECT_TRUE(WaitUntil([&] { return !app_->failure_state()[4]; }));
    const QJsonObject now = failures();
    for (const QString& name : now.keys()) {
        EXPECT_EQ(now[name].toBool(), name == "TOGGLE_ELECTRICAL_FAILURE") << name.toStdString();
    }

    serverSends("ZULU:18:45");
    ASSERT_TRUE(
        WaitUntil([&] { return !host_.Dump()["zulu_set"].toObject()["minutes"].isNull(); }));
    const QJsonObject set = host_.Dump()["zulu_set"].toObject();
    EXPECT_EQ(set["hours"].toInt(), 18);
    EXPECT_EQ(set["minutes"].toInt(), 45);
    EXPECT_TRUE(set["day"].isNull());
    EXPECT_TRUE(log().contains("18:45")) << log().toStdString();
    // The polls follow the new clock.
    EXPECT_TRUE(WaitUntil([&] { return app_->aircraft().zulu_seconds / 60 == 18 * 60 + 45; }));
}

TEST_F(SimulatorCommandsEndToEndTest, AiObjectsLiveAndDieInTheSimulator) {
    TForm1& form = app_->Form1();
    // A boat and a truck: the simulator reports the removal of both kinds.
    serverSends("$ControlAI:CREATE:AI1:Ferry boat:45.5:7.25:0:0:0:90:0:10");
    ASSERT_TRUE(slotGetsId(0, 0));
    EXPECT_EQ(form.StatusText(1), "$ControlAICREATEAI1");
    const std::uint32_t boat = table()[0].sim_object_id;
    serverSends("$ControlAI:CREATE:AI2:Fuel truck:45.51:7.26:0:0:0:180:1:0");
    ASSERT_TRUE(slotGetsId(1, 1));
    const QJsonObject created = simulatorObjects()[0].toObject();
    EXPECT_EQ(created["title"].toString(), "Ferry boat");
    EXPECT_EQ(created["position"].toObject()["latitude"].toDouble(), 45.5);
    EXPECT_EQ(created["position"].toObject()["heading"].toDouble(), 90);
    EXPECT_TRUE(log().contains(QStringLiteral("objet0 sendid:AI1\naffect id:%1").arg(boat)))
        << log().toStdString();

    // The route, due ten minutes after the clock's 12:30.
    serverSends("$ControlAI:ROUTE:AI1:45.6:7.3:0:4:12");
    serverSends("$ControlAI:ROUTE:AI1:45.7:7.4:0:0:15.5");
    serverSends("$ControlAI:START:AI1:45600");
    ASSERT_TRUE(WaitUntil([&] { return table()[0].route_complete; }));
    EXPECT_EQ(table()[0].waypoints.size(), 2u);
    // Polls go by without handing it over.
    const int seen = polls_;
    ASSERT_TRUE(WaitUntil([&] { return polls_ >= seen + 2; }));
    EXPECT_FALSE(table()[0].route_sent);
    EXPECT_TRUE(simulatorObjects()[0].toObject()["waypoints"].toArray().isEmpty());

    // The simulator's clock reaches the start second. A machine that stalls long enough
    // for the window to pass before a poll sees it gets the clock set back again.
    for (int attempt = 0; attempt < 5 && !table()[0].route_sent; ++attempt) {
        ASSERT_EQ(host_.Command("set zulu 12:39:59"), "ok");
        // Every poll from here on reads the clock as set.
        const int before = polls_;
        WaitUntil([&] {
            return table()[0].route_sent ||
                   (polls_ > before && app_->aircraft().zulu_seconds > 45601);
        });
    }
    ASSERT_TRUE(table()[0].route_sent);
    const QJsonArray route = simulatorObjects()[0].toObject()["waypoints"].toArray();
    ASSERT_EQ(route.size(), 2);
    EXPECT_EQ(route[0].toObject()["latitude"].toDouble(), 45.6);
    EXPECT_EQ(route[0].toObject()["flags"].toInt(), 4);
    EXPECT_EQ(route[1].toObject()["longitude"].toDouble(), 7.4);
    EXPECT_EQ(route[1].toObject()["speed_kt"].toDouble(), 15.5);
    EXPECT_TRUE(simulatorObjects()[1].toObject()["waypoints"].toArray().isEmpty());

    // Removal: asked by the server, done by the simulator, which frees the slot.
    serverSends("$ControlAI:REMOVE:AI1");
    ASSERT_TRUE(WaitUntil([&] { return !table()[0].in_use; }));
    EXPECT_TRUE(simulatorObjects()[0].toObject()["removed"].toBool());
    EXPECT_FALSE(simulatorObjects()[1].toObject()["removed"].toBool());
    EXPECT_TRUE(log().contains(QStringLiteral("call remove objet0 simid:%1 sendid:AI1\n"
                                              "remove objet0 simid:%1")
                                   .arg(boat)))
        << log().toStdString();

    // The next object takes the freed slot; the truck keeps its own.
    serverSends("$ControlAI:CREATE:AI3:Tug boat:45.52:7.27:0:0:0:0:0:5");
    ASSERT_TRUE(slotGetsId(0, 2));
    EXPECT_EQ(table().size(), 2u);
    EXPECT_EQ(table()[0].send_id, "AI3");
    EXPECT_TRUE(table()[1].in_use);
    EXPECT_EQ(table()[1].send_id, "AI2");

    serverSends("$ControlAI:REMOVE:AI2");
    ASSERT_TRUE(WaitUntil([&] { return !table()[1].in_use; }));
    EXPECT_TRUE(simulatorObjects()[1].toObject()["removed"].toBool());

    // The hidden "objet" menu item shows the table.
    form.objet1->trigger();
    TForm_objet& view = app_->Form_objet();
    EXPECT_TRUE(view.isVisible());
    ASSERT_EQ(view.ListBox1->count(), 2);
    EXPECT_EQ(view.ListBox1->item(0)->text(),
              QStringLiteral("%1 AI3 true").arg(table()[0].sim_object_id));
}

}  // namespace
}  // namespace tavoro
