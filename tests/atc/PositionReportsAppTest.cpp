#include <gtest/gtest.h>

#include <QTest>

#include "app/App.h"
#include "app/TForm1.h"
#include "support/EndToEnd.h"
#include "support/EventLoop.h"

namespace tavoro {
namespace {

using test::WaitUntil;

// The whole program reporting to the stand-in server the aircraft of the stand-in
// simulator, with a short report interval.
class PositionReportsAppTest : public test::EndToEnd {
protected:
    void SetUp() override {
        EndToEnd::SetUp();
        MakeProgramFolder(100);
    }
};

TEST_F(PositionReportsAppTest, TheAircraftGoesOnTheWireInFixedWidths) {
    // Values that cross the offsets exactly: 1250 ft is a whole number of metres.
    SimulatorSays({"set lat 5.5", "set lon -0.25", "set alt_ft 1250", "set gs_kt 0",
                   "set heading 274", "set xpd 1200", "set id ABC12", "set ready 1"});
    auto app = StartApp();
    TForm1& form = mainWindow();
    ASSERT_TRUE(WaitUntil([&] { return form.Label_xpd->text() == "xpd:1200"; }));

    // A failure the simulator reports is carried in the failure bits.
    app->test_view().sim_link.simconnect().Call(&SimConnectLibrary::TransmitClientEvent,
                                                kSimUserObject, 5u, 0u, 1u,
                                                kSimEventFlagGroupIdIsPriority);

    QTest::mouseClick(form.Panel_server, Qt::LeftButton);
    EXPECT_TRUE(server_.WaitForReceived("@S:ABC12:1200:1: 5.50000:-0.25000: 1250:   0:274:1:2"));

    // The transponder button switches the next reports to mode C.
    QTest::mouseClick(form.Panel_charly, Qt::LeftButton);
    EXPECT_EQ(form.Panel_charly->caption(), "C");
    EXPECT_TRUE(server_.WaitForReceived("@N:ABC12:1200:1: 5.50000:-0.25000: 1250:   0:274:1:2"));
}

TEST_F(PositionReportsAppTest, AnAircraftBelowSeaLevelReportsANegativeAltitude) {
    // -1250 ft is a whole number of metres, -381, and crosses the offsets exactly.
    SimulatorSays({"set lat 31.5", "set lon 35.25", "set alt_ft -1250", "set gs_kt 0",
                   "set heading 90", "set xpd 2000", "set id ABC12", "set ready 1"});
    auto app = StartApp();
    TForm1& form = mainWindow();
    ASSERT_TRUE(WaitUntil([&] { return form.Label_xpd->text() == "xpd:2000"; }));
    QTest::mouseClick(form.Panel_server, Qt::LeftButton);
    EXPECT_TRUE(server_.WaitForReceived("@S:ABC12:2000:1:31.50000:35.25000:-1250:   0:90:1:0"));

    // -11 ft is -4 m and a fraction of 0.6472 m, kept in binary; its word read as decimal
    // digits is 0.278 m, which puts the report a foot low, as it is a foot off above sea
    // level (11 ft reports 10).
    SimulatorSays({"set alt_ft -11"});
    EXPECT_TRUE(server_.WaitForReceived("@S:ABC12:2000:1:31.50000:35.25000:  -12:   0:90:1:0"));
}

TEST_F(PositionReportsAppTest, BeforeTheSimulatorAnswersTheReportCarriesZeros) {
    // The simulator is loading: nothing is read from it.
    SimulatorSays({"set ready 0", "set lat 41.5", "set id ABC12", "set xpd 7000"});
    auto app = StartApp();
    const App::TestView view = app->test_view();
    QTest::mouseClick(mainWindow().Panel_server, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return view.link.logged_in(); }));
    EXPECT_TRUE(server_.WaitForReceived("@S:::1: 0.00000: 0.00000:    0:   0:0:1:0"));
    EXPECT_TRUE(server_.ReceivedLines().contains("#AP:SERVER:Tavoro:pw:::0"));
}

TEST_F(PositionReportsAppTest, TheTransponderButtonToggles) {
    auto app = StartApp();
    StatePanel& panel = *mainWindow().Panel_charly;
    EXPECT_EQ(panel.caption(), "S");
    EXPECT_EQ(panel.colour(), kYellow);
    EXPECT_EQ(panel.bevel(), Bevel::Raised);

    QTest::mouseClick(&panel, Qt::LeftButton);
    EXPECT_EQ(panel.caption(), "C");
    EXPECT_EQ(panel.colour(), kGreen);
    EXPECT_EQ(panel.bevel(), Bevel::Lowered);

    // Twice between two reports leaves the mode as it was.
    QTest::mouseClick(&panel, Qt::LeftButton);
    EXPECT_EQ(panel.caption(), "S");
    EXPECT_EQ(panel.colour(), kYellow);
    EXPECT_EQ(panel.bevel(), Bevel::Raised);
}

}  // namespace
}  // namespace tavoro
