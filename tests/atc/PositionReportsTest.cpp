#include <gtest/gtest.h>

#include <QRegularExpression>

#include "atc/Dispatcher.h"
#include "atc/PositionReports.h"
#include "atc/ServerLink.h"
#include "support/AtcServerProcess.h"
#include "support/EventLoop.h"

namespace tavoro {
namespace {

using test::AtcServerProcess;
using test::WaitUntil;

struct MaskCase {
    const char* name;
    std::vector<int> active;
    int mask;
};

TEST(FailureMaskTest, EachActiveFailureIsItsOwnBit) {
    const MaskCase cases[] = {
        {"none", {}, 0},
        {"entries 0 and 3", {0, 3}, 9},
        {"all ten", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 1023},
        {"the last entry alone", {9}, 512},
        {"entry 1 alone", {1}, 2},
    };
    for (const MaskCase& c : cases) {
        FailureState failures{};
        for (int i : c.active) {
            failures[i] = true;
        }
        EXPECT_EQ(FailureMask(failures), c.mask) << c.name;
    }
}

TEST(TransponderPanelTest, ModeCIsGreenLoweredStandbyYellowRaised) {
    TransponderPanelLook c = TransponderPanelLookOf(true);
    EXPECT_EQ(c.caption, "C");
    EXPECT_EQ(c.colour, kGreen);
    EXPECT_EQ(c.bevel, Bevel::Lowered);
    TransponderPanelLook s = TransponderPanelLookOf(false);
    EXPECT_EQ(s.caption, "S");
    EXPECT_EQ(s.colour, kYellow);
    EXPECT_EQ(s.bevel, Bevel::Raised);
}

// The lines one client of the stand-in server sent, in order; the server numbers its
// connections from 1.
QStringList linesFromClient(AtcServerProcess& server, int client) {
    const QRegularExpression received(QStringLiteral(R"(^\S+ \[%1\] < (.*)$)").arg(client));
    QStringList lines;
    for (const QString& line : server.Output()) {
        auto match = received.match(line);
        if (match.hasMatch()) {
            lines << match.captured(1);
        }
    }
    return lines;
}

// The link and its reports as the application wires them, against the stand-in server.
class PositionReportsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.started());
        identity_.atc_identifier = "ABC12";
        state_.transponder_code = "1200";
        state_.latitude = 48.7251;
        state_.longitude = 2.3552;
        state_.altitude_ft = 350;
        state_.heading_deg = 274;
        failures_[3] = true;
        settings_.server_name = "Tavoro";
        settings_.server_address = "127.0.0.1";
        settings_.server_port = std::to_string(server_.port());
        link_.SetDispatcher([this](const FieldList& fields) { dispatcher_.DispatchLine(fields); });
        link_.SetReportInterval(50);
    }

    static constexpr char kReport[] = "@S:ABC12:1200:1:48.72510: 2.35520:  350:   0:274:1:8";

    AtcServerProcess server_;
    Settings settings_;
    AircraftIdentity identity_;
    AircraftState state_;
    FailureState failures_{};
    ServerLink link_{settings_, identity_, state_, [](auto&&, auto*, auto done) { done(""); }};
    Dispatcher dispatcher_{link_, settings_, identity_};
    PositionReports reports_{link_, identity_, state_, failures_};
};

TEST_F(PositionReportsTest, ReportsResumeOnANewConnectionBeforeItsLogin) {
    link_.ConnectToServer();
    ASSERT_TRUE(WaitUntil([&] { return link_.logged_in(); }));
    ASSERT_TRUE(WaitUntil([&] { return linesFromClient(server_, 1).contains(kReport); }));

    // The server goes away; the report timer goes on, sending nothing.
    server_.Command("hold");
    server_.Command("drop");
    ASSERT_TRUE(WaitUntil([&] { return !link_.socket_connected(); }));
    EXPECT_TRUE(link_.Timer4().IsActive());

    // The user connects again; the server holds the login, and reports already flow.
    link_.ConnectToServer();
    ASSERT_TRUE(WaitUntil([&] { return linesFromClient(server_, 2).contains(kReport); }));
    EXPECT_FALSE(link_.logged_in());
    // Nothing was kept from the time the connection was down: the login comes first.
    EXPECT_EQ(linesFromClient(server_, 2).first().toStdString(), "#APABC12:SERVER:Tavoro::::0");
    EXPECT_TRUE(server_.Output().filter("[2] > #TMserver").isEmpty());

    // The server keeps the last report of each client.
    state_.heading_deg = 275;
    const QString changed = "@S:ABC12:1200:1:48.72510: 2.35520:  350:   0:275:1:8";
    ASSERT_TRUE(WaitUntil([&] { return linesFromClient(server_, 2).contains(changed); }));
    server_.Command("reports");
    ASSERT_TRUE(WaitUntil([&] { return server_.Output().contains("end of reports (1)"); }));
    // The output is in the server's order: the reports logged before the listing are the
    // ones it counted.
    const QStringList output = server_.Output();
    const QRegularExpression listed(R"(^report \[2\] (\d+) (.*)$)");
    const QRegularExpression logged(R"(^\S+ \[2\] < @S:)");
    int counted = 0;
    for (const QString& line : output) {
        auto match = listed.match(line);
        if (match.hasMatch()) {
            EXPECT_EQ(match.captured(1).toInt(), counted);
            EXPECT_EQ(match.captured(2), changed);
            return;
        }
        counted += logged.match(line).hasMatch() ? 1 : 0;
    }
    ADD_FAILURE() << "no report listed for client 2";
}

}  // namespace
}  // namespace tavoro
