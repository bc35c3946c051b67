#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTest>

#include "app/App.h"
#include "app/TForm1.h"
#include "sim/TForm_objet.h"
#include "support/EndToEnd.h"
#include "support/EventLoop.h"
#include "support/Windows.h"

namespace tavoro {
namespace {

using test::WaitUntil;

QStringList lines(const QListWidget& list) {
    QStringList texts;
    for (int i = 0; i < list.count(); ++i) {
        texts << list.item(i)->text();
    }
    return texts;
}

// The whole program, logged in to the stand-in ATC server and linked to the stand-in
// simulator, carrying the server's simulator commands through to the simulator.
class SimulatorCommandsEndToEndTest : public test::EndToEnd {
protected:
    void SetUp() override {
        EndToEnd::SetUp();
        SimulatorSays({"set zulu 12:30:00", "set id F-GTAV", "set ready 1"});
        // Position reports carry the failure bits the commands toggle.
        MakeProgramFolder(200);
        app_ = MakeApp();
        // Polls come faster than the program's one a second: nothing here depends on
        // their pace, and the test is done sooner.
        timer("Timer2").SetInterval(200);
        app_->Start();
        QObject::connect(&view().sim_link, &SimulatorLink::stateUpdated, &polls_seen_,
                         [this] { ++polls_; });
        ASSERT_TRUE(WaitUntil([&] { return timer("Timer2").IsActive(); }));
        LogIn(*app_);
    }

    App::TestView view() const { return app_->test_view(); }

    void serverSends(const QString& line) { server_.Command("send " + line); }
    QString log() const { return objectWindow().Memo1->toPlainText(); }
    // The failure bits of the last position report the server received; -1 before any.
    int lastFailureMask() {
        const QStringList sent = server_.ReceivedLines().filter(QRegularExpression("^@[NS]:"));
        return sent.isEmpty() ? -1 : sent.last().section(':', -1).toInt();
    }
    // The object list as the hidden "objet" menu item shows it now.
    QStringList objectLines() {
        mainWindow().objet1->trigger();
        return lines(*objectWindow().ListBox1);
    }
    // The route of the object on line `row` of that list, as a click on it shows it.
    QStringList routeLines(int row) {
        const QStringList objects = objectLines();
        if (row >= objects.size()) {
            return {};
        }
        QListWidget& list = *objectWindow().ListBox1;
        emit list.itemClicked(list.item(row));
        return lines(*objectWindow().ListBox2);
    }
    bool routeSent(std::size_t slot) const {
        const std::vector<AiObject>& table = view().ai_objects.ai_objects();
        return table.size() > slot && table[slot].route_sent;
    }
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
    // Waits until line `row` of the object list shows the simulator's id of its
    // `index`-th object.
    bool rowGetsId(int row, int index) {
        const std::uint32_t id = simulatorId(index);
        return id != 0 && WaitUntil([&] {
                   return objectLines().value(row).startsWith(QString::number(id) + " ");
               });
    }

    // Outlives the program, which writes its configuration there as it closes.
    std::unique_ptr<App> app_;
    // Polling steps run so far.
    QObject polls_seen_;
    int polls_ = 0;
};

TEST_F(SimulatorCommandsEndToEndTest, FailuresAndTheClockReachTheSimulator) {
    const auto failures = [&] { return host_.Dump()["failures"].toObject(); };
    serverSends("$ADMIN:FAILURE:4");
    ASSERT_TRUE(WaitUntil([&] { return failures()["TOGGLE_PITOT_BLOCKAGE"].toBool(); }));
    EXPECT_TRUE(WaitUntil([&] { return lastFailureMask() == 1 << 4; })) << lastFailureMask();
    serverSends("$ADMIN:FAILURE:262");  // 6 in its low 8 bits
    ASSERT_TRUE(WaitUntil([&] { return failures()["TOGGLE_ELECTRICAL_FAILURE"].toBool(); }));
    EXPECT_TRUE(WaitUntil([&] { return lastFailureMask() == (1 << 4 | 1 << 6); }))
        << lastFailureMask();
    serverSends("$ADMIN:FAILURE:4");
    ASSERT_TRUE(WaitUntil([&] { return !failures()["TOGGLE_PITOT_BLOCKAGE"].toBool(); }));
    EXPECT_TRUE(WaitUntil([&] { return lastFailureMask() == 1 << 6; })) << lastFailureMask();
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
    EXPECT_TRUE(WaitUntil([&] { return view().aircraft.zulu_seconds / 60 == 18 * 60 + 45; }));
}

// A SimConnect reply later than the library waits for costs that one call: the leg stays
// open and the server's commands go on reaching the simulator.
TEST_F(SimulatorCommandsEndToEndTest, ALateSimConnectReplyKeepsTheLegOpen) {
    // Polls by hand from here, so that exactly one call meets the held simulator.
    timer("Timer2").SetInterval(3600 * 1000);
    ASSERT_EQ(host_.Command("simconnect hold"), "ok");
    ASSERT_TRUE(timer("Timer2").Fire());  // its data request waits out its time-out
    ASSERT_EQ(host_.Command("simconnect release"), "ok");
    timer("Timer2").SetInterval(200);
    EXPECT_TRUE(view().sim_link.simconnect_open());

    serverSends("$ADMIN:FAILURE:4");
    EXPECT_TRUE(WaitUntil(
        [&] { return host_.Dump()["failures"].toObject()["TOGGLE_PITOT_BLOCKAGE"].toBool(); }));
    EXPECT_TRUE(view().sim_link.simconnect_open());
    EXPECT_EQ(host_.Dump()["simconnect_sessions"].toArray().size(), 1);
    EXPECT_EQ(mainWindow().StatusText(0), "connecté FSX");
}

// A SimConnect connection the simulator cut is shown as lost and stays closed while the
// FSUIPC values go on; the simulator button, clicked twice, opens it again.
TEST_F(SimulatorCommandsEndToEndTest, ALostSimConnectLegIsShownAndReopensWithTheLink) {
    TForm1& form = mainWindow();
    ASSERT_EQ(host_.Command("simconnect drop"), "ok");
    ASSERT_TRUE(WaitUntil([&] { return !view().sim_link.simconnect_open(); }));
    EXPECT_EQ(form.StatusText(0), "SimConnect: connexion perdue");
    EXPECT_EQ(form.Panel_FSX->colour(), kGreen);
    ASSERT_EQ(host_.Command("set xpd 4321"), "ok");
    EXPECT_TRUE(WaitUntil([&] { return view().aircraft.transponder_code == "4321"; }));
    EXPECT_FALSE(host_.Dump()["simconnect_client"].toBool());

    QTest::mouseClick(form.Panel_FSX, Qt::LeftButton);
    QTest::mouseClick(form.Panel_FSX, Qt::LeftButton);
    EXPECT_TRUE(view().sim_link.simconnect_open());
    EXPECT_EQ(form.StatusText(0), "connecté FSX");
    EXPECT_EQ(host_.Dump()["menu_items"].toArray().size(), 4);
    serverSends("$ADMIN:FAILURE:4");
    EXPECT_TRUE(WaitUntil(
        [&] { return host_.Dump()["failures"].toObject()["TOGGLE_PITOT_BLOCKAGE"].toBool(); }));
}

// The server's METAR becomes the simulator's weather; one the simulator refuses comes back
// as "invalid metar" in the log and leaves the weather as it was.
TEST_F(SimulatorCommandsEndToEndTest, AServerMetarBecomesTheSimulatorsWeather) {
    mainWindow().objet1->trigger();  // the log tells of the injection in object mode only
    const auto weather = [&] { return host_.Dump()["weather"].toObject(); };
    const QString metar = "LFPG 101030Z 27010KT 9999 FEW030 12/08 Q1015";
    server_.Command("metar " + metar);
    ASSERT_TRUE(WaitUntil([&] { return weather()["metar"].toString() == metar; }))
        << QJsonDocument(weather()).toJson().toStdString();
    EXPECT_TRUE(weather()["custom_mode"].toBool());
    EXPECT_TRUE(WaitUntil([&] { return log().contains(metar + "\nOK"); })) << log().toStdString();

    serverSends("METAR:not an observation");
    ASSERT_TRUE(WaitUntil([&] { return log().contains("invalid metar"); })) << log().toStdString();
    EXPECT_EQ(weather()["metar"].toString(), metar);
    EXPECT_EQ(weather()["injected"].toArray().size(), 1);
}

TEST_F(SimulatorCommandsEndToEndTest, AiObjectsLiveAndDieInTheSimulator) {
    TForm1& form = mainWindow();
    // A boat and a truck: the simulator reports the removal of both kinds.
    serverSends("$ControlAI:CREATE:AI1:Ferry boat:45.5:7.25:0:0:0:90:0:10");
    ASSERT_TRUE(rowGetsId(0, 0));
    EXPECT_EQ(form.StatusText(1), "$ControlAICREATEAI1");
    const std::uint32_t boat = simulatorId(0);
    serverSends("$ControlAI:CREATE:AI2:Fuel truck:45.51:7.26:0:0:0:180:1:0");
    ASSERT_TRUE(rowGetsId(1, 1));
    const std::uint32_t truck = simulatorId(1);
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
    ASSERT_TRUE(WaitUntil([&] { return routeLines(0).value(0) == "route complete start: 45600"; }))
        << routeLines(0).join("\n").toStdString();
    EXPECT_EQ(routeLines(0).size(), 3);  // the state and two waypoints
    // Polls go by without handing it over.
    const int seen = polls_;
    ASSERT_TRUE(WaitUntil([&] { return polls_ >= seen + 2; }));
    EXPECT_FALSE(routeSent(0));
    EXPECT_TRUE(simulatorObjects()[0].toObject()["waypoints"].toArray().isEmpty());

    // The simulator's clock reaches the start second. A machine that stalls long enough
    // for the window to pass before a poll sees it gets the clock set back again.
    for (int attempt = 0; attempt < 5 && !routeSent(0); ++attempt) {
        ASSERT_EQ(host_.Command("set zulu 12:39:59"), "ok");
        // Every poll from here on reads the clock as set.
        const int before = polls_;
        WaitUntil([&] {
            return routeSent(0) || (polls_ > before && view().aircraft.zulu_seconds > 45601);
        });
    }
    ASSERT_TRUE(routeSent(0));
    QJsonArray route;
    ASSERT_TRUE(WaitUntil([&] {
        route = simulatorObjects()[0].toObject()["waypoints"].toArray();
        return !route.isEmpty();
    }));
    ASSERT_EQ(route.size(), 2);
    EXPECT_EQ(route[0].toObject()["latitude"].toDouble(), 45.6);
    EXPECT_EQ(route[0].toObject()["flags"].toInt(), 4);
    EXPECT_EQ(route[1].toObject()["longitude"].toDouble(), 7.4);
    EXPECT_EQ(route[1].toObject()["speed_kt"].toDouble(), 15.5);
    EXPECT_TRUE(simulatorObjects()[1].toObject()["waypoints"].toArray().isEmpty());

    // Removal: asked by the server, done by the simulator, which frees the slot.
    serverSends("$ControlAI:REMOVE:AI1");
    ASSERT_TRUE(WaitUntil([&] { return objectLines().value(0).endsWith(" false"); }))
        << objectLines().join("\n").toStdString();
    EXPECT_TRUE(simulatorObjects()[0].toObject()["removed"].toBool());
    EXPECT_FALSE(simulatorObjects()[1].toObject()["removed"].toBool());
    EXPECT_TRUE(log().contains(QStringLiteral("call remove objet0 simid:%1 sendid:AI1\n"
                                              "remove objet0 simid:%1")
                                   .arg(boat)))
        << log().toStdString();

    // The next object takes the freed slot; the truck keeps its own.
    serverSends("$ControlAI:CREATE:AI3:Tug boat:45.52:7.27:0:0:0:0:0:5");
    ASSERT_TRUE(rowGetsId(0, 2));
    const std::uint32_t tug = simulatorId(2);
    EXPECT_EQ(objectLines(), (QStringList{QStringLiteral("%1 AI3 true").arg(tug),
                                          QStringLiteral("%1 AI2 true").arg(truck)}));

    serverSends("$ControlAI:REMOVE:AI2");
    ASSERT_TRUE(WaitUntil([&] { return objectLines().value(1).endsWith(" false"); }));
    EXPECT_TRUE(simulatorObjects()[1].toObject()["removed"].toBool());

    // The hidden "objet" menu item shows the table.
    form.objet1->trigger();
    TForm_objet& view = objectWindow();
    EXPECT_TRUE(view.isVisible());
    ASSERT_EQ(view.ListBox1->count(), 2);
    EXPECT_EQ(view.ListBox1->item(0)->text(), QStringLiteral("%1 AI3 true").arg(tug));
}

}  // namespace
}  // namespace tavoro
