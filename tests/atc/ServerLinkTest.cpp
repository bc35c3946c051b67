#include <gtest/gtest.h>

#include <QTcpServer>

#include "atc/Dispatcher.h"
#include "atc/ServerLink.h"
#include "support/AtcServerProcess.h"
#include "support/EventLoop.h"

namespace tavoro {
namespace {

using test::AtcServerProcess;
using test::WaitUntil;

// What the link showed, in order, as the main window would have drawn it.
struct LinkObserver {
    std::vector<Rgb> colours;
    std::vector<std::pair<int, QString>> status;
    std::vector<QString> errors;
    int reports_due = 0;
    QObject context;

    explicit LinkObserver(ServerLink& link) {
        // Connected through `context` so that nothing reaches an observer that is gone.
        QObject::connect(&link, &ServerLink::panelChanged, &context,
                         [this, &link] { colours.push_back(link.panelColour()); });
        QObject::connect(
            &link, &ServerLink::statusMessage, &context,
            [this](int panel, const QString& text) { status.emplace_back(panel, text); });
        QObject::connect(&link, &ServerLink::errorMessage, &context,
                         [this](const QString& text) { errors.push_back(text); });
        QObject::connect(&link, &ServerLink::positionReportDue, &context,
                         [this] { ++reports_due; });
    }

    QString lastStatus(int panel) const {
        for (auto it = status.rbegin(); it != status.rend(); ++it) {
            if (it->first == panel) {
                return it->second;
            }
        }
        return {};
    }
};

// A resolver that answers at once with a fixed name, or with none.
ReverseLookup fixedLookup(QString name) {
    return [name](const QHostAddress&, QObject*, std::function<void(const QString&)> done) {
        done(name);
    };
}

class ServerLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        identity_.atc_identifier = "ABC12";
        identity_.atc_type = "Boeing";
        identity_.atc_model = "B738";
        state_.engine_count = 2;
        settings_.server_name = "Tavoro";
        settings_.server_address = "127.0.0.1";
        settings_.server_password = "secret";
    }

    // A link wired to a dispatcher, as the application wires it.
    std::unique_ptr<ServerLink> makeLink(ReverseLookup lookup = fixedLookup("atc.example")) {
        auto link = std::make_unique<ServerLink>(settings_, identity_, state_, std::move(lookup));
        dispatcher_ = std::make_unique<Dispatcher>(*link, settings_, identity_);
        link->SetDispatcher([this, raw = link.get()](const FieldList& fields) {
            dispatched_.push_back(fields);
            dispatcher_->DispatchLine(fields);
        });
        return link;
    }

    void connectTo(const AtcServerProcess& server) {
        settings_.server_port = std::to_string(server.port());
    }

    Settings settings_;
    AircraftIdentity identity_;
    AircraftState state_;
    std::unique_ptr<Dispatcher> dispatcher_;
    std::vector<FieldList> dispatched_;
};

TEST_F(ServerLinkTest, ConnectsLogsInAndLogsOff) {
    AtcServerProcess server;
    ASSERT_TRUE(server.started());
    connectTo(server);
    auto link = makeLink();
    LinkObserver seen(*link);
    link->SetReportInterval(50);

    link->ConnectToServer();
    EXPECT_EQ(link->panelColour(), kOrange);
    ASSERT_TRUE(WaitUntil([&] { return link->logged_in(); }));

    EXPECT_EQ(seen.colours, (std::vector<Rgb>{kOrange, kLime, kGreen}));
    EXPECT_EQ(link->panelBevel(), Bevel::Lowered);
    EXPECT_EQ(seen.lastStatus(ServerLink::kConnectionPanel), "connecté atc.example");
    EXPECT_TRUE(link->socket_connected());
    EXPECT_TRUE(link->Timer5().isActive());
    EXPECT_EQ(link->Timer5().interval(), 100);
    EXPECT_TRUE(server.WaitForReceived("#APABC12:SERVER:Tavoro:secret:Boeing:B738:2"));
    // The report timer runs once logged in.
    EXPECT_TRUE(WaitUntil([&] { return seen.reports_due >= 2; }));

    link->DisconnectFromServer();
    EXPECT_TRUE(server.WaitForReceived("#DPABC12"));
    ASSERT_TRUE(WaitUntil([&] { return !link->socket_connected(); }));
    EXPECT_FALSE(link->logged_in());
    EXPECT_EQ(link->panelColour(), kRed);
    EXPECT_EQ(link->panelBevel(), Bevel::Raised);
    EXPECT_EQ(seen.lastStatus(ServerLink::kConnectionPanel), "server disconnected");
    EXPECT_FALSE(link->Timer4().isActive());
    EXPECT_FALSE(link->Timer5().isActive());
    EXPECT_TRUE(server.WaitForClients(0));
    EXPECT_TRUE(seen.errors.empty());
}

TEST_F(ServerLinkTest, PeerWithoutReverseNameShowsConnectedAlone) {
    AtcServerProcess server;
    ASSERT_TRUE(server.started());
    connectTo(server);
    auto link = makeLink(fixedLookup(""));
    LinkObserver seen(*link);
    link->ConnectToServer();
    ASSERT_TRUE(WaitUntil([&] { return link->socket_connected(); }));
    EXPECT_EQ(seen.lastStatus(ServerLink::kConnectionPanel), "connecté ");
}

TEST_F(ServerLinkTest, LateReverseAnswerForAClosedConnectionSaysNothing) {
    AtcServerProcess server;
    ASSERT_TRUE(server.started());
    connectTo(server);
    std::function<void(const QString&)> answer;
    auto link =
        makeLink([&](const QHostAddress&, QObject*, std::function<void(const QString&)> done) {
            answer = std::move(done);
        });
    LinkObserver seen(*link);
    link->ConnectToServer();
    ASSERT_TRUE(WaitUntil([&] { return link->socket_connected(); }));
    link->DisconnectFromServer();
    ASSERT_TRUE(WaitUntil([&] { return !link->socket_connected(); }));
    ASSERT_TRUE(answer);
    answer("late.example");
    EXPECT_EQ(seen.lastStatus(ServerLink::kConnectionPanel), "server disconnected");
}

TEST_F(ServerLinkTest, RefusedLoginClosesAndShowsTheReason) {
    AtcServerProcess server({"--password", "right"});
    ASSERT_TRUE(server.started());
    connectTo(server);
    settings_.server_password = "wrong";
    auto link = makeLink();
    LinkObserver seen(*link);
    link->SetReportInterval(1000);

    link->ConnectToServer();
    ASSERT_TRUE(WaitUntil([&] { return !seen.lastStatus(ServerLink::kRefusalPanel).isEmpty(); }));
    EXPECT_EQ(seen.lastStatus(ServerLink::kRefusalPanel), "refusé: ABC12Invalid password");
    EXPECT_FALSE(link->socket_connected());
    EXPECT_FALSE(link->logged_in());
    EXPECT_EQ(link->panelColour(), kRed);
    EXPECT_EQ(link->panelBevel(), Bevel::Raised);
    EXPECT_FALSE(link->Timer4().isActive());
    EXPECT_TRUE(server.WaitForClients(0));
}

TEST_F(ServerLinkTest, NothingListeningIsAConnectError) {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    settings_.server_port = std::to_string(probe.serverPort());
    probe.close();  // the port is now free and nothing answers on it

    auto link = makeLink();
    LinkObserver seen(*link);
    link->ConnectToServer();
    ASSERT_TRUE(WaitUntil([&] { return seen.colours.size() >= 2; }));
    EXPECT_EQ(seen.colours, (std::vector<Rgb>{kOrange, kRed}));
    EXPECT_EQ(seen.lastStatus(ServerLink::kConnectionPanel), "erreur de connexion");
    EXPECT_FALSE(link->socket_connected());
    EXPECT_FALSE(link->Timer5().isActive());
    EXPECT_TRUE(seen.errors.empty());
}

TEST_F(ServerLinkTest, PortThatIsNoNumberIsReportedAndNothingHappens) {
    for (std::string port : {"error", "", "68o9", "70000", "-1"}) {
        settings_.server_port = port;
        auto link = makeLink();
        LinkObserver seen(*link);
        link->ConnectToServer();
        EXPECT_EQ(seen.errors.size(), 1u) << port;
        EXPECT_TRUE(seen.colours.empty()) << port;
        EXPECT_EQ(link->socketState(), QAbstractSocket::UnconnectedState) << port;
    }
}

TEST_F(ServerLinkTest, ServerClosingLeavesTheTimersRunning) {
    AtcServerProcess server;
    ASSERT_TRUE(server.started());
    connectTo(server);
    auto link = makeLink();
    LinkObserver seen(*link);
    link->SetReportInterval(1000);
    link->ConnectToServer();
    ASSERT_TRUE(WaitUntil([&] { return link->logged_in(); }));

    server.Command("drop");
    ASSERT_TRUE(WaitUntil([&] { return !link->socket_connected(); }));
    EXPECT_FALSE(link->logged_in());
    EXPECT_EQ(link->panelColour(), kRed);
    EXPECT_EQ(link->panelBevel(), Bevel::Raised);
    EXPECT_EQ(seen.lastStatus(ServerLink::kConnectionPanel), "server disconnected");
    EXPECT_TRUE(link->Timer4().isActive());
    EXPECT_TRUE(link->Timer5().isActive());
    EXPECT_TRUE(seen.errors.empty());

    // Nothing goes out while the connection is down, and nothing breaks.
    link->SendLine("@S:ABC12\r\n");

    // Connecting again logs in again.
    link->ConnectToServer();
    ASSERT_TRUE(WaitUntil([&] { return link->logged_in(); }));
    EXPECT_EQ(server.ReceivedLines().count("#APABC12:SERVER:Tavoro:secret:Boeing:B738:2"), 2);
    EXPECT_FALSE(server.ReceivedLines().contains("@S:ABC12"));
}

TEST_F(ServerLinkTest, ServerKilledIsADisconnect) {
    auto server = std::make_unique<AtcServerProcess>();
    ASSERT_TRUE(server->started());
    connectTo(*server);
    auto link = makeLink();
    LinkObserver seen(*link);
    link->ConnectToServer();
    ASSERT_TRUE(WaitUntil([&] { return link->logged_in(); }));
    server->Kill();
    ASSERT_TRUE(WaitUntil([&] { return !link->socket_connected(); }));
    EXPECT_EQ(seen.lastStatus(ServerLink::kConnectionPanel), "server disconnected");
    EXPECT_TRUE(seen.errors.empty());
}

TEST_F(ServerLinkTest, ReceivedLinesReachTheDispatcherInOrder) {
    AtcServerProcess server;
    ASSERT_TRUE(server.started());
    connectTo(server);
    auto link = makeLink();
    link->ConnectToServer();
    ASSERT_TRUE(WaitUntil([&] { return link->logged_in(); }));

    server.Command("send #AALFPG_TWR:SERVER");
    server.Command("send $ERserver:late refusal");
    server.Command("send #TMserver:again");
    server.Command("send ZULU:12:30");
    ASSERT_TRUE(WaitUntil([&] { return dispatched_.size() >= 5; }));
    EXPECT_EQ(dispatched_[0], (FieldList{"#TMserver", "ABC12", "Bienvenue sur le serveur Tavoro"}));
    EXPECT_EQ(dispatched_[1], (FieldList{"#AALFPG_TWR", "SERVER"}));
    EXPECT_EQ(dispatched_[4], (FieldList{"ZULU", "12", "30"}));
    // After login a refusal is ignored and the connection stays open.
    test::RunEventsFor(std::chrono::milliseconds(300));
    EXPECT_TRUE(link->socket_connected());
    EXPECT_TRUE(link->logged_in());
}

TEST_F(ServerLinkTest, ZeroIntervalNeverStartsTheReportTimer) {
    AtcServerProcess server;
    ASSERT_TRUE(server.started());
    connectTo(server);
    auto link = makeLink();
    LinkObserver seen(*link);
    link->SetReportInterval(0);
    link->ConnectToServer();
    ASSERT_TRUE(WaitUntil([&] { return link->logged_in(); }));
    test::RunEventsFor(std::chrono::milliseconds(200));
    EXPECT_FALSE(link->Timer4().isActive());
    EXPECT_EQ(seen.reports_due, 0);
}

TEST_F(ServerLinkTest, DisconnectWithoutConnectionSendsNothingAndStopsTimers) {
    auto link = makeLink();
    link->Timer4().start(1000);
    link->Timer5().start();
    link->DisconnectFromServer();
    EXPECT_FALSE(link->Timer4().isActive());
    EXPECT_FALSE(link->Timer5().isActive());
    EXPECT_EQ(link->socketState(), QAbstractSocket::UnconnectedState);
}

TEST_F(ServerLinkTest, RepaintFollowsTheConnectionAlone) {
    AtcServerProcess server;
    ASSERT_TRUE(server.started());
    connectTo(server);
    auto link = makeLink();
    link->RepaintFromConnection();
    EXPECT_EQ(link->panelColour(), kRed);
    EXPECT_EQ(link->panelBevel(), Bevel::Raised);
    link->ConnectToServer();
    ASSERT_TRUE(WaitUntil([&] { return link->socket_connected(); }));
    link->RepaintFromConnection();
    EXPECT_EQ(link->panelColour(), kGreen);
    EXPECT_EQ(link->panelBevel(), Bevel::Lowered);
}

}  // namespace
}  // namespace tavoro

namespace tavoro {
namespace {

TEST(DispatcherLoggedOutTest, LateAcceptanceWithoutConnectionLogsNobodyIn) {
    Settings settings;
    AircraftIdentity identity;
    AircraftState state;
    ServerLink link(settings, identity, state, fixedLookup(""));
    LinkObserver seen(link);
    Dispatcher dispatcher(link, settings, identity);

    dispatcher.DispatchLine({"#TMserver", "ABC12", "hello"});
    EXPECT_FALSE(link.logged_in());
    EXPECT_TRUE(seen.colours.empty());

    // A refusal is still shown, its fields joined without separator.
    dispatcher.DispatchLine({"$ERserver", "ABC12", "2", "", "Invalid callsign"});
    EXPECT_EQ(seen.lastStatus(ServerLink::kRefusalPanel), "refusé: ABC122Invalid callsign");
    // Other types do nothing before login.
    dispatcher.DispatchLine({"#AALFPG_TWR"});
    dispatcher.DispatchLine({"$ERserverX", "not a refusal"});
    EXPECT_EQ(seen.status.size(), 1u);
}

}  // namespace
}  // namespace tavoro
