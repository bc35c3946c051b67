#include <gtest/gtest.h>

#include <QTcpServer>
#include <algorithm>
#include <chrono>

#include "atc/Dispatcher.h"
#include "atc/ServerLink.h"
#include "support/AtcServerProcess.h"
#include "support/EventLoop.h"

namespace tavoro {
namespace {

using test::AtcServerProcess;
using test::WaitUntil;

// The link over its default transport, TCP, against the stand-in server process: what
// the in-memory tests assume of a real connection, seen once for real.
class ServerLinkEndToEndTest : public ::testing::Test {
protected:
    ServerLinkEndToEndTest() {
        identity_.atc_identifier = "ABC12";
        identity_.atc_type = "Boeing";
        identity_.atc_model = "B738";
        state_.engine_count = 2;
        settings_.server_name = "Tavoro";
        settings_.server_address = "127.0.0.1";
        settings_.server_password = "secret";
        link_.SetDispatcher([this](const FieldList& fields) {
            dispatched_.push_back(fields);
            dispatcher_.DispatchLine(fields);
        });
        QObject::connect(&link_, &ServerLink::statusMessage, &link_,
                         [this](int, const QString& text) { status_.push_back(text); });
        QObject::connect(&link_, &ServerLink::errorMessage, &link_,
                         [this](const QString& text) { errors_.push_back(text); });
    }

    void connectTo(const AtcServerProcess& server) {
        settings_.server_port = std::to_string(server.port());
    }

    bool received(const FieldList& fields) const {
        return std::find(dispatched_.begin(), dispatched_.end(), fields) != dispatched_.end();
    }

    Settings settings_;
    AircraftIdentity identity_;
    AircraftState state_;
    ServerLink link_{settings_, identity_, state_,
                     [](const QHostAddress&, QObject*, auto done) { done(QString()); }};
    Dispatcher dispatcher_{link_, settings_, identity_};
    std::vector<FieldList> dispatched_;
    std::vector<QString> status_;
    std::vector<QString> errors_;
};

TEST_F(ServerLinkEndToEndTest, LogsInReceivesALineAndLogsOff) {
    AtcServerProcess server;
    ASSERT_TRUE(server.started());
    connectTo(server);

    link_.ConnectToServer();
    ASSERT_TRUE(WaitUntil([&] { return link_.logged_in(); }));
    EXPECT_TRUE(server.WaitForReceived("#APABC12:SERVER:Tavoro:secret:Boeing:B738:2"));
    EXPECT_EQ(link_.panelColour(), kGreen);

    server.Command("send ZULU:12:30");
    EXPECT_TRUE(WaitUntil([&] { return received({"ZULU", "12", "30"}); }));

    link_.DisconnectFromServer();
    EXPECT_TRUE(server.WaitForReceived("#DPABC12"));
    EXPECT_TRUE(WaitUntil([&] { return !link_.socket_connected(); }));
    EXPECT_TRUE(server.WaitForClients(0));
    EXPECT_EQ(status_.back(), "server disconnected");
    EXPECT_TRUE(errors_.empty());
}

TEST_F(ServerLinkEndToEndTest, RefusedLoginClosesTheConnection) {
    AtcServerProcess server({"--password", "right"});
    ASSERT_TRUE(server.started());
    connectTo(server);
    settings_.server_password = "wrong";

    link_.ConnectToServer();
    ASSERT_TRUE(WaitUntil([&] { return !status_.empty() && status_.back().startsWith("refusé"); }));
    EXPECT_EQ(status_.back(), "refusé: ABC12Invalid password");
    EXPECT_FALSE(link_.socket_connected());
    EXPECT_TRUE(server.WaitForClients(0));
}

TEST_F(ServerLinkEndToEndTest, NothingListeningIsAConnectError) {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    settings_.server_port = std::to_string(probe.serverPort());
    probe.close();  // the port is now free and nothing answers on it

    link_.ConnectToServer();
    ASSERT_TRUE(WaitUntil([&] { return link_.panelColour() == kRed; }));
    EXPECT_EQ(status_, std::vector<QString>{"erreur de connexion"});
    EXPECT_TRUE(errors_.empty());
}

// A server that dies closes its connections: a disconnect, no error to read.
TEST_F(ServerLinkEndToEndTest, ServerKilledIsADisconnect) {
    AtcServerProcess server;
    ASSERT_TRUE(server.started());
    connectTo(server);
    link_.ConnectToServer();
    ASSERT_TRUE(WaitUntil([&] { return link_.logged_in(); }));
    server.Kill();
    ASSERT_TRUE(WaitUntil([&] { return !link_.socket_connected(); }));
    EXPECT_EQ(status_.back(), "server disconnected");
    test::RunEventsFor(std::chrono::milliseconds(100));
    EXPECT_TRUE(errors_.empty());
}

}  // namespace
}  // namespace tavoro
