#include <gtest/gtest.h>

#include <QTest>

#include "app/App.h"
#include "app/TForm1.h"
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

// The whole program reporting to the stand-in server the aircraft of the stand-in
// simulator, with a short report interval.
class PositionReportsAppTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host_.started());
        ASSERT_TRUE(server_.started());
        folder_ = std::make_unique<ProgramFolder>(server_.port(), 100);
    }

    void setAircraft(std::initializer_list<const char*> commands) {
        for (const char* command : commands) {
            ASSERT_EQ(host_.Command(command), "ok") << command;
        }
    }

    std::unique_ptr<App> startApp() {
        auto app = folder_->MakeApp(host_);
        app->Start();
        return app;
    }

    SimHostProcess host_;
    AtcServerProcess server_;
    ModalAnswerer answerer_;
    std::unique_ptr<ProgramFolder> folder_;
};

TEST_F(PositionReportsAppTest, TheAircraftGoesOnTheWireInFixedWidths) {
    // Values that cross the offsets exactly: 1250 ft is a whole number of metres.
    setAircraft({"set lat 5.5", "set lon -0.25", "set alt_ft 1250", "set gs_kt 0",
                 "set heading 274", "set xpd 1200", "set id ABC12", "set ready 1"});
    auto app = startApp();
    TForm1& form = app->Form1();
    ASSERT_TRUE(WaitUntil([&] { return form.Label_xpd->text() == "xpd:1200"; }));

    // A failure the simulator reports is carried in the failure bits.
    app->sim_link().simconnect().Call(&SimConnectLibrary::TransmitClientEvent, kSimUserObject, 5u,
                                      0u, 1u, kSimEventFlagGroupIdIsPriority);
    ASSERT_TRUE(WaitUntil([&] { return app->failure_state()[1]; }));

    app->link().ConnectToServer();
    EXPECT_TRUE(server_.WaitForReceived("@S:ABC12:1200:1: 5.50000:-0.25000: 1250:   0:274:1:2"));

    // The transponder button switches the next reports to mode C.
    QTest::mouseClick(form.Panel_charly, Qt::LeftButton);
    EXPECT_TRUE(app->reports().mode_c());
    EXPECT_TRUE(server_.WaitForReceived("@N:ABC12:1200:1: 5.50000:-0.25000: 1250:   0:274:1:2"));
}

TEST_F(PositionReportsAppTest, BeforeTheSimulatorAnswersTheReportCarriesZeros) {
    // The simulator is loading: nothing is read from it.
    setAircraft({"set ready 0", "set lat 41.5", "set id ABC12", "set xpd 7000"});
    auto app = startApp();
    app->link().ConnectToServer();
    ASSERT_TRUE(WaitUntil([&] { return app->link().logged_in(); }));
    EXPECT_TRUE(server_.WaitForReceived("@S:::1: 0.00000: 0.00000:    0:   0:0:1:0"));
    EXPECT_TRUE(server_.ReceivedLines().contains("#AP:SERVER:Tavoro:pw:::0"));
}

TEST_F(PositionReportsAppTest, TheTransponderButtonToggles) {
    auto app = startApp();
    StatePanel& panel = *app->Form1().Panel_charly;
    EXPECT_EQ(panel.caption(), "S");
    EXPECT_EQ(panel.colour(), kYellow);
    EXPECT_EQ(panel.bevel(), Bevel::Raised);

    QTest::mouseClick(&panel, Qt::LeftButton);
    EXPECT_TRUE(app->reports().mode_c());
    EXPECT_EQ(panel.caption(), "C");
    EXPECT_EQ(panel.colour(), kGreen);
    EXPECT_EQ(panel.bevel(), Bevel::Lowered);

    // Twice between two reports leaves the mode as it was.
    QTest::mouseClick(&panel, Qt::LeftButton);
    EXPECT_FALSE(app->reports().mode_c());
    EXPECT_EQ(panel.caption(), "S");
    EXPECT_EQ(panel.colour(), kYellow);
    EXPECT_EQ(panel.bevel(), Bevel::Raised);
}

}  // namespace
}  // namespace tavoro
