#include <gtest/gtest.h>

#include <QJsonArray>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include "app/App.h"
#include "app/TForm1.h"
#include "platform/linux/LocalSimConnect.h"
#include "sim/TForm_objet.h"
#include "support/EndToEnd.h"
#include "support/EventLoop.h"

namespace tavoro {
namespace {

using test::AtcServerProcess;
using test::WaitUntil;

// The position reports the server received, as "@N" or "@S" lines.
QStringList reports(AtcServerProcess& server) {
    return server.ReceivedLines().filter(QRegularExpression("^@[NS]:"));
}

// The whole program against the stand-in simulator and the stand-in ATC server, each a
// process of its own, with the program's own timers running the link.
class SimulatorEndToEndTest : public test::EndToEnd {
protected:
    void SetUp() override {
        EndToEnd::SetUp();
        SimulatorSays({"set lat 48.72528", "set lon 2.35944", "set alt_ft 3500", "set gs_kt 0",
                       "set heading 270", "set pitch -1", "set bank 0", "set xpd 7A21",
                       "set engines 2", "set zulu 12:30:00", "set local 14:30",
                       "set title Tavoro Trainer", "set type C172", "set model C172SP",
                       "set id F-GTAV", "set airline Aero Club", "set ready 1"});
        MakeProgramFolder(1000);
    }
};

TEST_F(SimulatorEndToEndTest, TheAircraftFlowsToTheWindowAndTheServer) {
    auto app = StartApp();
    const App::TestView view = app->test_view();
    TForm1& form = mainWindow();
    EXPECT_EQ(form.Panel_FSX->colour(), kGreen);
    EXPECT_EQ(form.StatusText(0), "connecté FSX");

    ASSERT_TRUE(WaitUntil([&] { return form.Label_ID->text() == "F-GTAV/C172SP"; }));
    EXPECT_EQ(form.Label_airline->text(), "Aero Club");
    ASSERT_TRUE(WaitUntil([&] { return form.Label_xpd->text() == "xpd:7A21"; }));
    EXPECT_TRUE(QRegularExpression(R"(^Tavoro 3\.81    Zulu:12:3\d Local:14:3\d$)")
                    .match(form.windowTitle())
                    .hasMatch())
        << form.windowTitle().toStdString();
    const AircraftState& aircraft = view.aircraft;
    EXPECT_NEAR(aircraft.latitude, 48.72528, 1e-6);
    EXPECT_NEAR(aircraft.longitude, 2.35944, 1e-6);
    EXPECT_NEAR(aircraft.altitude_ft, 3500, 3.3);  // the fraction word reads to within a metre
    EXPECT_EQ(aircraft.heading_deg, 270);
    EXPECT_EQ(aircraft.pitch_deg, 359);
    EXPECT_EQ(aircraft.engine_count, 2);

    // The login carries the aircraft's callsign, type, model and engines.
    QTest::mouseClick(form.Panel_server, Qt::LeftButton);
    EXPECT_TRUE(server_.WaitForReceived("#APF-GTAV:SERVER:Tavoro:pw:C172:C172SP:2"));

    // The stand-in's values reach the next polls.
    ASSERT_EQ(host_.Command("set xpd 1200"), "ok");
    EXPECT_TRUE(WaitUntil([&] { return form.Label_xpd->text() == "xpd:1200"; }));

    // Its engine failures come through SimConnect with each poll, and go out with the
    // next reports: engine 2 alone.
    view.sim_link.simconnect().Call(&SimConnectLibrary::TransmitClientEvent, kSimUserObject, 5u, 0u,
                                    1u, kSimEventFlagGroupIdIsPriority);
    EXPECT_TRUE(WaitUntil([&] {
        const QStringList sent = reports(server_);
        return !sent.isEmpty() && sent.last().endsWith(":2");
    })) << reports(server_).join("\n").toStdString();
}

TEST_F(SimulatorEndToEndTest, NotReadyPausesPollingUntilTheSimulatorIsBack) {
    auto app = StartApp();
    TForm1& form = mainWindow();
    ASSERT_TRUE(WaitUntil([&] { return timer("Timer2").IsActive(); }));

    ASSERT_EQ(host_.Command("set ready 0"), "ok");
    ASSERT_TRUE(WaitUntil([&] { return !timer("Timer2").IsActive(); }));
    EXPECT_TRUE(timer("Timer3").IsActive());
    EXPECT_FALSE(timer("Timer1").IsActive());

    // A new aircraft is loaded meanwhile: the identity is read again when polling resumes.
    ASSERT_EQ(host_.Command("set id N172TV"), "ok");
    ASSERT_EQ(host_.Command("set ready 1"), "ok");
    EXPECT_TRUE(WaitUntil([&] { return timer("Timer2").IsActive(); }));
    EXPECT_FALSE(timer("Timer3").IsActive());
    EXPECT_EQ(form.Label_ID->text(), "N172TV/C172SP");
}

TEST_F(SimulatorEndToEndTest, ALostSimulatorClosesTheLinkAndLogsOff) {
    auto app = StartApp();
    const App::TestView view = app->test_view();
    TForm1& form = mainWindow();
    ASSERT_TRUE(WaitUntil([&] { return timer("Timer2").IsActive(); }));
    QTest::mouseClick(form.Panel_server, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return view.link.logged_in(); }));

    QStringList statuses;
    QObject::connect(&view.sim_link, &SimulatorLink::statusMessage,
                     [&](int panel, const QString& text) {
                         if (panel == 1)
                             statuses << text;
                     });
    host_.Kill();
    EXPECT_TRUE(WaitUntil([&] { return form.Panel_FSX->colour() == kRed; }));
    ASSERT_FALSE(statuses.isEmpty());
    EXPECT_EQ(statuses.first(), "Processing: IPC sendmessage failed all retries");
    EXPECT_EQ(form.Panel_FSX->colour(), kRed);
    EXPECT_EQ(form.Panel_FSX->bevel(), Bevel::Raised);
    EXPECT_TRUE(server_.WaitForReceived("#DPF-GTAV"));
    EXPECT_TRUE(WaitUntil([&] { return !view.link.socket_connected(); }));

    // The ready wait keeps telling that the link is closed.
    EXPECT_TRUE(WaitUntil(
        [&] { return form.StatusText(1) == "Reading: Call cannot execute, link not Open"; }));
}

TEST_F(SimulatorEndToEndTest, TheSimulatorMenuDrivesTheWindow) {
    auto app = StartApp();
    TForm1& form = mainWindow();
    QJsonObject dump = host_.Dump();
    ASSERT_EQ(dump["simconnect_client"].toBool(), true);
    ASSERT_TRUE(WaitUntil([&] { return timer("Timer2").IsActive(); }));

    ASSERT_EQ(host_.Command("menu 1"), "ok");
    EXPECT_TRUE(WaitUntil([&] { return !form.isMinimized() && form.pos() == QPoint(10, 10); }));
    ASSERT_EQ(host_.Command("menu 2"), "ok");
    EXPECT_TRUE(WaitUntil([&] { return form.isMinimized(); }));

    QSignalSpy finished(app.get(), &App::finished);
    ASSERT_EQ(host_.Command("menu 3"), "ok");
    EXPECT_TRUE(WaitUntil([&] { return finished.count() == 1; }));
    // The close step took the menu away.
    EXPECT_TRUE(WaitUntil([&] { return host_.Dump()["menu_items"].toArray().isEmpty(); }));
}

TEST_F(SimulatorEndToEndTest, SimulatorExceptionsReachTheLog) {
    auto app = StartApp();
    SimConnectClient& simconnect = app->test_view().sim_link.simconnect();
    ASSERT_TRUE(WaitUntil([&] { return timer("Timer2").IsActive(); }));
    ASSERT_EQ(host_.Command("metar"), "ok");  // no observation to give

    auto& library = static_cast<LocalSimConnect&>(simconnect.library());
    simconnect.Call(&SimConnectLibrary::WeatherRequestObservationAtStation, 1u, "LFPG");
    const std::uint32_t send_id = library.last_send_id();
    const QString expected = QStringLiteral("***** EXCEPTION=15  SendID=%1  Index=").arg(send_id);
    const QPlainTextEdit& log = *objectWindow().Memo1;
    EXPECT_TRUE(WaitUntil([&] { return log.toPlainText().contains(expected); }))
        << log.toPlainText().toStdString();
}

}  // namespace
}  // namespace tavoro
