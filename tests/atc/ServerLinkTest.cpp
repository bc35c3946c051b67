#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "atc/Dispatcher.h"
#include "atc/ServerLink.h"
#include "support/FakeServerTransport.h"
#include "support/ManualTimers.h"

namespace tavoro {
namespace {

using test::FakeServerTransport;

// What the link showed, in order, as the main window would have drawn it.
struct LinkObserver {
    std::vector<Rgb> colours;
    std::vector<std::pair<int, QString>> status;
    std::vector<QString> errors;
    int reports_due = 0;
    int ticks_done = 0;
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
        QObject::connect(&link, &ServerLink::receiveTickDone, &context, [this] { ++ticks_done; });
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

// What the stand-in server answers a login it accepts, and the login it expects.
constexpr const char* kWelcome = "#TMserver:ABC12:Bienvenue sur le serveur Tavoro\r\n";
constexpr const char* kLogin = "#APABC12:SERVER:Tavoro:secret:Boeing:B738:2\r\n";

// A link over an in-memory transport, wired to a dispatcher as the application wires it.
// The test plays the server through `transport_` and ticks the receive queue itself.
class ServerLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        identity_.atc_identifier = "ABC12";
        identity_.atc_type = "Boeing";
        identity_.atc_model = "B738";
        state_.engine_count = 2;
        settings_.server_name = "Tavoro";
        settings_.server_address = "127.0.0.1";
        settings_.server_port = "6809";
        settings_.server_password = "secret";
    }

    std::unique_ptr<ServerLink> makeLink(ReverseLookup lookup = fixedLookup("atc.example")) {
        auto transport = std::make_unique<FakeServerTransport>();
        transport_ = transport.get();
        auto link =
            std::make_unique<ServerLink>(settings_, identity_, state_, std::move(lookup),
                                         std::move(transport), timers_, [this] { return now_; });
        dispatcher_ = std::make_unique<Dispatcher>(*link, settings_, identity_);
        link->SetDispatcher([this](const FieldList& fields) {
            dispatched_.push_back(fields);
            now_ += line_cost_;
            dispatcher_->DispatchLine(fields);
            if (after_line_) {
                after_line_(fields);
            }
        });
        return link;
    }

    // The receive timer's work, tick by tick, until every queued block is handled.
    static void drain(ServerLink& link) {
        while (!link.receiveQueue().empty()) {
            link.ProcessReceiveQueue();
        }
    }

    // Connects and logs in as the stand-in server would answer.
    void logIn(ServerLink& link) {
        link.ConnectToServer();
        transport_->AcceptConnection();
        transport_->Deliver(kWelcome);
        drain(link);
        ASSERT_TRUE(link.logged_in());
    }

    Settings settings_;
    AircraftIdentity identity_;
    AircraftState state_;
    FakeServerTransport* transport_ = nullptr;
    // The link's Timer4 and Timer5 tick when the test fires them.
    test::ManualTimers timers_;
    std::unique_ptr<Dispatcher> dispatcher_;
    std::vector<FieldList> dispatched_;
    // The link's clock: it moves by `line_cost_` for every line handed on.
    std::chrono::nanoseconds now_{0};
    std::chrono::nanoseconds line_cost_{0};
    // Runs after the dispatcher on every line, as a handler that does more would.
    std::function<void(const FieldList&)> after_line_;
};

TEST_F(ServerLinkTest, ConnectsLogsInAndLogsOff) {
    auto link = makeLink();
    LinkObserver seen(*link);
    link->SetReportInterval(50);

    link->ConnectToServer();
    EXPECT_EQ(transport_->calls, std::vector<std::string>{"connect 127.0.0.1:6809"});
    EXPECT_EQ(link->panelColour(), kOrange);
    EXPECT_FALSE(link->socket_connected());
    EXPECT_FALSE(link->Timer5().IsActive());

    // The login leaves as soon as the connection opens, before any answer.
    transport_->AcceptConnection();
    EXPECT_EQ(transport_->written, kLogin);
    EXPECT_TRUE(link->socket_connected());
    EXPECT_FALSE(link->logged_in());
    EXPECT_EQ(seen.colours, (std::vector<Rgb>{kOrange, kLime}));
    EXPECT_TRUE(link->Timer5().IsActive());
    EXPECT_EQ(link->Timer5().Interval(), 100);
    EXPECT_FALSE(link->Timer4().IsActive());

    // The receive timer hands the welcome to the dispatcher, which logs in.
    transport_->Deliver(kWelcome);
    ASSERT_TRUE(timers_.Fire("Timer5"));
    ASSERT_TRUE(link->logged_in());
    EXPECT_EQ(seen.colours, (std::vector<Rgb>{kOrange, kLime, kGreen}));
    EXPECT_EQ(link->panelBevel(), Bevel::Lowered);
    EXPECT_EQ(seen.lastStatus(ServerLink::kConnectionPanel), "connecté atc.example");
    // The report timer runs once logged in.
    EXPECT_TRUE(link->Timer4().IsActive());
    EXPECT_EQ(link->Timer4().Interval(), 50);
    ASSERT_TRUE(timers_.Fire("Timer4"));
    ASSERT_TRUE(timers_.Fire("Timer4"));
    EXPECT_EQ(seen.reports_due, 2);

    link->DisconnectFromServer();
    // The logoff leaves before the connection closes, and the close lets it leave.
    EXPECT_EQ(transport_->written, std::string(kLogin) + "#DPABC12\r\n");
    EXPECT_EQ(transport_->calls.back(), "disconnect");
    EXPECT_EQ(transport_->count("abort"), 0);
    EXPECT_FALSE(link->socket_connected());
    EXPECT_FALSE(link->logged_in());
    EXPECT_EQ(link->panelColour(), kRed);
    EXPECT_EQ(link->panelBevel(), Bevel::Raised);
    EXPECT_EQ(seen.lastStatus(ServerLink::kConnectionPanel), "server disconnected");
    EXPECT_FALSE(link->Timer4().IsActive());
    EXPECT_FALSE(link->Timer5().IsActive());
    EXPECT_TRUE(seen.errors.empty());
}

TEST_F(ServerLinkTest, TheServersNameFollowsTheConnectedText) {
    QHostAddress asked;
    auto link = makeLink(
        [&](const QHostAddress& address, QObject*, std::function<void(const QString&)> done) {
            asked = address;
            done("atc.example");
        });
    LinkObserver seen(*link);
    transport_->peer = QHostAddress("192.0.2.7");
    link->ConnectToServer();
    transport_->AcceptConnection();
    // The name is looked up for the address the connection reached.
    EXPECT_EQ(asked, QHostAddress("192.0.2.7"));
    EXPECT_EQ(seen.status, (std::vector<std::pair<int, QString>>{
                               {ServerLink::kConnectionPanel, "connecté "},
                               {ServerLink::kConnectionPanel, "connecté atc.example"}}));
}

TEST_F(ServerLinkTest, PeerWithoutReverseNameShowsConnectedAlone) {
    auto link = makeLink(fixedLookup(""));
    LinkObserver seen(*link);
    link->ConnectToServer();
    transport_->AcceptConnection();
    EXPECT_EQ(seen.status,
              (std::vector<std::pair<int, QString>>{{ServerLink::kConnectionPanel, "connecté "}}));
}

TEST_F(ServerLinkTest, LateReverseAnswerForAClosedConnectionSaysNothing) {
    std::vector<std::function<void(const QString&)>> answers;
    auto link =
        makeLink([&](const QHostAddress&, QObject*, std::function<void(const QString&)> done) {
            answers.push_back(std::move(done));
        });
    LinkObserver seen(*link);
    link->ConnectToServer();
    transport_->AcceptConnection();
    link->DisconnectFromServer();
    ASSERT_EQ(answers.size(), 1u);
    answers[0]("late.example");
    EXPECT_EQ(seen.lastStatus(ServerLink::kConnectionPanel), "server disconnected");

    // Nor while a later connection is up: that one has a lookup of its own.
    link->ConnectToServer();
    transport_->AcceptConnection();
    answers[0]("late.example");
    EXPECT_EQ(seen.lastStatus(ServerLink::kConnectionPanel), "connecté ");
    ASSERT_EQ(answers.size(), 2u);
    answers[1]("atc.example");
    EXPECT_EQ(seen.lastStatus(ServerLink::kConnectionPanel), "connecté atc.example");
}

TEST_F(ServerLinkTest, RefusedLoginClosesAndShowsTheReason) {
    settings_.server_password = "wrong";
    auto link = makeLink();
    LinkObserver seen(*link);
    link->SetReportInterval(1000);

    link->ConnectToServer();
    transport_->AcceptConnection();
    transport_->Deliver("$ERserver:ABC12:Invalid password\r\n");
    drain(*link);
    EXPECT_EQ(seen.lastStatus(ServerLink::kRefusalPanel), "refusé: ABC12Invalid password");
    // The refusal drops the connection at once: nothing more is sent on it.
    EXPECT_EQ(transport_->calls.back(), "abort");
    EXPECT_EQ(transport_->state(), QAbstractSocket::UnconnectedState);
    EXPECT_FALSE(link->socket_connected());
    EXPECT_FALSE(link->logged_in());
    EXPECT_EQ(link->panelColour(), kRed);
    EXPECT_EQ(link->panelBevel(), Bevel::Raised);
    EXPECT_EQ(seen.lastStatus(ServerLink::kConnectionPanel), "server disconnected");
    EXPECT_FALSE(link->Timer4().IsActive());
    EXPECT_TRUE(seen.errors.empty());
}

// The connection closes inside the refusal, so the rest of its block is handled logged
// out: a welcome after it turns nothing green.
TEST_F(ServerLinkTest, AWelcomeAfterARefusalInTheSameBlockLogsNobodyIn) {
    auto link = makeLink();
    LinkObserver seen(*link);
    link->ConnectToServer();
    transport_->AcceptConnection();
    transport_->Deliver(std::string("$ERserver:ABC12:Invalid password\r\n") + kWelcome);
    link->ProcessReceiveQueue();
    EXPECT_EQ(dispatched_.size(), 2u);
    EXPECT_FALSE(link->logged_in());
    EXPECT_EQ(link->panelColour(), kRed);
    EXPECT_EQ(std::count(seen.colours.begin(), seen.colours.end(), kGreen), 0);
}

TEST_F(ServerLinkTest, NothingListeningIsAConnectError) {
    auto link = makeLink();
    LinkObserver seen(*link);
    link->ConnectToServer();
    transport_->RefuseConnection();
    EXPECT_EQ(seen.colours, (std::vector<Rgb>{kOrange, kRed}));
    EXPECT_EQ(seen.lastStatus(ServerLink::kConnectionPanel), "erreur de connexion");
    EXPECT_FALSE(link->socket_connected());
    EXPECT_FALSE(link->Timer5().IsActive());
    EXPECT_TRUE(transport_->written.empty());
    EXPECT_TRUE(seen.errors.empty());
}

struct ErrorCase {
    bool connected;  // false: the error ends the attempt
    QAbstractSocket::SocketError error;
    const char* text;
    const char* status;   // panel 1 afterwards
    const char* message;  // the message box, or none
};

// An error while connecting is the attempt's failure, whatever its kind, and shows in the
// status bar; once connected, every error but the peer closing asks for a message box.
TEST_F(ServerLinkTest, ErrorsWhileConnectingAndWhileConnected) {
    const ErrorCase cases[] = {
        {false, QAbstractSocket::ConnectionRefusedError, "Connection refused",
         "erreur de connexion", nullptr},
        {false, QAbstractSocket::HostNotFoundError, "Host not found", "erreur de connexion",
         nullptr},
        {false, QAbstractSocket::SocketTimeoutError, "Socket operation timed out",
         "erreur de connexion", nullptr},
        {false, QAbstractSocket::RemoteHostClosedError, "The remote host closed the connection",
         "erreur de connexion", nullptr},
        {true, QAbstractSocket::RemoteHostClosedError, "The remote host closed the connection",
         "connecté atc.example", nullptr},
        {true, QAbstractSocket::NetworkError, "Network unreachable", "connecté atc.example",
         "Erreur de socket 7 : Network unreachable"},
        {true, QAbstractSocket::SocketTimeoutError, "Socket operation timed out",
         "connecté atc.example", "Erreur de socket 5 : Socket operation timed out"},
        {true, QAbstractSocket::ConnectionRefusedError, "Connection refused",
         "connecté atc.example", "Erreur de socket 0 : Connection refused"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.text);
        auto link = makeLink();
        LinkObserver seen(*link);
        link->ConnectToServer();
        if (c.connected) {
            transport_->AcceptConnection();
            transport_->RaiseError(c.error, c.text);
            // The link leaves the connection to the transport: an error alone closes nothing.
            EXPECT_TRUE(link->socket_connected());
            EXPECT_EQ(link->panelColour(), kLime);
        } else {
            transport_->RefuseConnection(c.error, c.text);
            EXPECT_EQ(link->panelColour(), kRed);
        }
        EXPECT_EQ(seen.lastStatus(ServerLink::kConnectionPanel), c.status);
        EXPECT_EQ(seen.errors,
                  c.message ? std::vector<QString>{c.message} : std::vector<QString>{});
    }
}

// After a failed attempt the next error is a connected one again: the attempt's flag
// does not outlive it.
TEST_F(ServerLinkTest, AFailedAttemptLeavesLaterErrorsToTheMessageBox) {
    auto link = makeLink();
    LinkObserver seen(*link);
    link->ConnectToServer();
    transport_->RefuseConnection();
    link->ConnectToServer();
    transport_->AcceptConnection();
    transport_->RaiseError(QAbstractSocket::NetworkError, "Network unreachable");
    EXPECT_EQ(seen.errors, std::vector<QString>{"Erreur de socket 7 : Network unreachable"});
}

TEST_F(ServerLinkTest, PortThatIsNoNumberIsReportedAndNothingHappens) {
    const std::pair<std::string, QString> cases[] = {
        {"error", "'error' n'est pas un nombre entier valide"},
        {"", "'' n'est pas un nombre entier valide"},
        {"68o9", "'68o9' n'est pas un nombre entier valide"},
        {"70000", "'70000' n'est pas un numéro de port valide"},
        {"-1", "'-1' n'est pas un numéro de port valide"},
    };
    for (const auto& [port, message] : cases) {
        settings_.server_port = port;
        auto link = makeLink();
        LinkObserver seen(*link);
        link->ConnectToServer();
        EXPECT_EQ(seen.errors, std::vector<QString>{message}) << port;
        EXPECT_TRUE(seen.colours.empty()) << port;
        EXPECT_TRUE(transport_->calls.empty()) << port;
        EXPECT_EQ(link->socketState(), QAbstractSocket::UnconnectedState) << port;
    }
}

TEST_F(ServerLinkTest, TheEndsOfThePortRangeAreAccepted) {
    for (const char* port : {"0", "65535"}) {
        settings_.server_port = port;
        auto link = makeLink();
        link->ConnectToServer();
        EXPECT_EQ(transport_->calls,
                  std::vector<std::string>{"connect 127.0.0.1:" + std::string(port)});
    }
}

// A click while an attempt or a connection is up starts over on a fresh connection.
TEST_F(ServerLinkTest, ConnectingAgainDropsWhatWasUp) {
    auto link = makeLink();
    LinkObserver seen(*link);
    link->ConnectToServer();
    link->ConnectToServer();
    EXPECT_EQ(transport_->calls, (std::vector<std::string>{"connect 127.0.0.1:6809", "abort",
                                                           "connect 127.0.0.1:6809"}));
    // The dropped attempt was never a connection: it reports nothing.
    EXPECT_TRUE(seen.status.empty());

    transport_->AcceptConnection();
    transport_->Deliver(kWelcome);
    drain(*link);
    ASSERT_TRUE(link->logged_in());
    link->ConnectToServer();
    EXPECT_EQ(transport_->count("abort"), 2);
    EXPECT_FALSE(link->logged_in());
    EXPECT_EQ(seen.lastStatus(ServerLink::kConnectionPanel), "server disconnected");
    EXPECT_EQ(link->panelColour(), kOrange);
    transport_->AcceptConnection();
    EXPECT_EQ(transport_->written, std::string(kLogin) + kLogin);
}

TEST_F(ServerLinkTest, ServerClosingLeavesTheTimersRunning) {
    auto link = makeLink();
    LinkObserver seen(*link);
    link->SetReportInterval(1000);
    logIn(*link);

    transport_->DropConnection();
    EXPECT_FALSE(link->socket_connected());
    EXPECT_FALSE(link->logged_in());
    EXPECT_EQ(link->panelColour(), kRed);
    EXPECT_EQ(link->panelBevel(), Bevel::Raised);
    EXPECT_EQ(seen.lastStatus(ServerLink::kConnectionPanel), "server disconnected");
    EXPECT_TRUE(link->Timer4().IsActive());
    EXPECT_TRUE(link->Timer5().IsActive());
    EXPECT_TRUE(seen.errors.empty());

    // Nothing goes out while the connection is down, and nothing breaks.
    link->SendLine("@S:ABC12\r\n");
    EXPECT_EQ(transport_->count("write @S:ABC12\r\n"), 0);

    // Connecting again logs in again.
    link->ConnectToServer();
    transport_->AcceptConnection();
    transport_->Deliver(kWelcome);
    drain(*link);
    EXPECT_TRUE(link->logged_in());
    EXPECT_EQ(transport_->written, std::string(kLogin) + kLogin);
}

// The report timer was never stopped while the connection was down; the next login must
// not restart its wait, or reports would come late after every reconnection.
TEST_F(ServerLinkTest, ALoginAfterADropKeepsTheReportBeat) {
    auto link = makeLink();
    link->SetReportInterval(3'600'000);
    logIn(*link);
    transport_->DropConnection();
    ASSERT_TRUE(link->Timer4().IsActive());
    const int starts_before = timers_["Timer4"]->starts();

    link->ConnectToServer();
    transport_->AcceptConnection();
    transport_->Deliver(kWelcome);
    drain(*link);
    ASSERT_TRUE(link->logged_in());
    EXPECT_EQ(timers_["Timer4"]->starts(), starts_before);
}

TEST_F(ServerLinkTest, ReceivedLinesReachTheDispatcherInOrder) {
    auto link = makeLink();
    logIn(*link);

    transport_->Deliver("#AALFPG_TWR:SERVER\r\n$ERserver:late refusal\r\n");
    transport_->Deliver("#TMserver:again\r\nZULU:12:30\r\n");
    drain(*link);
    ASSERT_EQ(dispatched_.size(), 5u);
    EXPECT_EQ(dispatched_[0], (FieldList{"#TMserver", "ABC12", "Bienvenue sur le serveur Tavoro"}));
    EXPECT_EQ(dispatched_[1], (FieldList{"#AALFPG_TWR", "SERVER"}));
    EXPECT_EQ(dispatched_[2], (FieldList{"$ERserver", "late refusal"}));
    EXPECT_EQ(dispatched_[3], (FieldList{"#TMserver", "again"}));
    EXPECT_EQ(dispatched_[4], (FieldList{"ZULU", "12", "30"}));
    // After login a refusal is ignored and the connection stays open.
    EXPECT_TRUE(link->socket_connected());
    EXPECT_TRUE(link->logged_in());
    EXPECT_EQ(transport_->count("abort"), 0);
}

// TCP may cut the stream anywhere: every cut of a two-line stream into two reads gives
// the same two lines, whether the receive timer ticks between the reads or not.
TEST_F(ServerLinkTest, ALineCutAcrossTwoReadsArrivesWhole) {
    const std::string stream = std::string(kWelcome) + "ZULU:12:30\r\n";
    const std::vector<FieldList> expected = {
        {"#TMserver", "ABC12", "Bienvenue sur le serveur Tavoro"}, {"ZULU", "12", "30"}};
    for (bool tick_between : {false, true}) {
        for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
            SCOPED_TRACE("cut at " + std::to_string(cut) + (tick_between ? ", tick between" : ""));
            dispatched_.clear();
            auto link = makeLink();
            link->ConnectToServer();
            transport_->AcceptConnection();
            transport_->Deliver(stream.substr(0, cut));
            if (tick_between) {
                drain(*link);
            }
            transport_->Deliver(stream.substr(cut));
            drain(*link);
            EXPECT_EQ(dispatched_, expected);
            EXPECT_TRUE(link->logged_in());
        }
    }
}

// A line begun on one connection is never finished by the next one's data.
TEST_F(ServerLinkTest, APartialLineDiesWithItsConnection) {
    auto link = makeLink();
    logIn(*link);
    transport_->Deliver("ZULU:1");
    drain(*link);
    transport_->DropConnection();
    link->ConnectToServer();
    transport_->AcceptConnection();
    transport_->Deliver("2:30\r\n");
    drain(*link);
    ASSERT_EQ(dispatched_.size(), 2u);
    EXPECT_EQ(dispatched_[1], (FieldList{"2", "30"}));
}

// Data read just before the server closed is handled at the next tick, with the
// connection already gone: a welcome in it logs nobody in.
TEST_F(ServerLinkTest, DataHandledAfterTheDisconnectLogsNobodyIn) {
    auto link = makeLink();
    LinkObserver seen(*link);
    link->ConnectToServer();
    transport_->AcceptConnection();
    transport_->Deliver(kWelcome);
    transport_->DropConnection();
    // Bytes a socket still hands over after its end are queued the same way.
    transport_->Deliver("#TMserver:ABC12:again\r\n");
    drain(*link);
    EXPECT_EQ(dispatched_.size(), 2u);
    EXPECT_FALSE(link->logged_in());
    EXPECT_EQ(link->panelColour(), kRed);
    EXPECT_FALSE(link->Timer4().IsActive());
}

// A server sending a line per packet faster than ten a second: the next tick hands on
// everything queued, so a command after the flood acts at once.
TEST_F(ServerLinkTest, ATickCatchesUpWithAFastServer) {
    auto link = makeLink();
    LinkObserver seen(*link);
    logIn(*link);
    std::vector<std::string> failures;
    DispatchTargets targets;
    targets.failure = [&](const std::string& number) { failures.push_back(number); };
    dispatcher_->SetTargets(targets);
    dispatched_.clear();
    const int ticks_before = seen.ticks_done;

    for (int i = 0; i < 1300; ++i) {
        transport_->Deliver("#TMABC12:SERVER:line " + std::to_string(i) + "\r\n");
    }
    transport_->Deliver("$ADMIN:FAILURE:3\r\n");
    ASSERT_TRUE(timers_.Fire("Timer5"));
    EXPECT_EQ(failures, std::vector<std::string>{"3"});
    ASSERT_EQ(dispatched_.size(), 1301u);
    EXPECT_EQ(dispatched_[1299], (FieldList{"#TMABC12", "SERVER", "line 1299"}));
    EXPECT_TRUE(link->receiveQueue().empty());
    EXPECT_EQ(seen.ticks_done, ticks_before + 1);
}

// Lines that take long stop the tick at the link's budget, and the list is drawn after
// each tick; the rest follows at the next ticks, in order.
TEST_F(ServerLinkTest, ATickStopsAtTheBudgetAndTheRestFollows) {
    auto link = makeLink();
    LinkObserver seen(*link);
    logIn(*link);
    dispatched_.clear();
    line_cost_ = std::chrono::milliseconds(1);
    const auto per_tick = static_cast<std::size_t>(ServerLink::kReceiveBudget / line_cost_);
    const std::size_t total = 2 * per_tick + per_tick / 2;
    std::string data;
    for (std::size_t i = 0; i < total; ++i) {
        data += "ZULU:" + std::to_string(i) + ":00\r\n";
    }
    transport_->Deliver(data);

    const int ticks_before = seen.ticks_done;
    for (std::size_t handled : {per_tick, 2 * per_tick, total}) {
        ASSERT_TRUE(timers_.Fire("Timer5"));
        EXPECT_EQ(dispatched_.size(), handled);
    }
    EXPECT_EQ(seen.ticks_done, ticks_before + 3);
    EXPECT_TRUE(link->receiveQueue().empty());
    for (std::size_t i = 0; i < dispatched_.size(); ++i) {
        EXPECT_EQ(Field(dispatched_[i], 1), std::to_string(i));
    }
}

// The server may get ReceiveQueue::kMaxQueuedBytes ahead of the client; a byte more
// closes the connection, says why, and forgets what it had queued.
TEST_F(ServerLinkTest, AConnectionPastTheQueueBoundIsClosed) {
    auto link = makeLink();
    LinkObserver seen(*link);
    logIn(*link);
    dispatched_.clear();

    std::string read;
    while (read.size() < (std::size_t{1} << 20)) {
        read += "#AALFPG_TWR:SERVER\r\n";
    }
    std::size_t delivered = 0;
    while (delivered < ReceiveQueue::kMaxQueuedBytes) {
        const std::size_t size = std::min(read.size(), ReceiveQueue::kMaxQueuedBytes - delivered);
        transport_->Deliver(std::string_view(read).substr(0, size));
        delivered += size;
    }
    ASSERT_TRUE(link->socket_connected());
    EXPECT_EQ(link->receiveQueue().queued_bytes(), ReceiveQueue::kMaxQueuedBytes);
    EXPECT_EQ(transport_->count("abort"), 0);

    transport_->Deliver("\r");
    EXPECT_EQ(transport_->count("abort"), 1);
    EXPECT_FALSE(link->socket_connected());
    EXPECT_FALSE(link->logged_in());
    EXPECT_EQ(link->panelColour(), kRed);
    EXPECT_EQ(seen.lastStatus(ServerLink::kConnectionPanel),
              "trop de données reçues, connexion fermée");
    EXPECT_EQ(link->receiveQueue().queued_bytes(), 0u);
    EXPECT_TRUE(seen.errors.empty());
    ASSERT_TRUE(timers_.Fire("Timer5"));
    EXPECT_TRUE(dispatched_.empty());
}

struct LeftoverCase {
    const char* name;
    const char* line;         // what the closed connection left queued
    bool during_the_attempt;  // handed over once the next attempt had begun
};

// A connection closes with lines still queued, and the pilot connects again before the
// receive timer reached them: they never act on the new connection.
TEST_F(ServerLinkTest, LinesLeftByAClosedConnectionNeverReachTheNextOne) {
    const LeftoverCase cases[] = {
        {"a refusal would close it", "$ERserver:ABC12:Invalid password\r\n", false},
        {"a welcome would log it in before its answer", kWelcome, false},
        {"late bytes of the old socket", "$ERserver:ABC12:Invalid password\r\n", true},
    };
    for (const LeftoverCase& c : cases) {
        SCOPED_TRACE(c.name);
        dispatched_.clear();
        auto link = makeLink();
        LinkObserver seen(*link);
        link->ConnectToServer();
        transport_->AcceptConnection();
        if (!c.during_the_attempt) {
            transport_->Deliver(c.line);
        }
        transport_->DropConnection();

        link->ConnectToServer();
        if (c.during_the_attempt) {
            transport_->Deliver(c.line);
        }
        transport_->AcceptConnection();
        ASSERT_TRUE(timers_.Fire("Timer5"));
        EXPECT_TRUE(dispatched_.empty());
        EXPECT_TRUE(link->socket_connected());
        EXPECT_FALSE(link->logged_in());
        EXPECT_EQ(link->panelColour(), kLime);
        EXPECT_EQ(transport_->count("abort"), 0);

        // The new connection's own answer logs it in.
        transport_->Deliver(kWelcome);
        ASSERT_TRUE(timers_.Fire("Timer5"));
        EXPECT_TRUE(link->logged_in());
        EXPECT_EQ(dispatched_.size(), 1u);
    }
}

// Once the pilot disconnects the receive timer stops: what was queued is let go at once.
TEST_F(ServerLinkTest, DisconnectingForgetsWhatWasQueued) {
    auto link = makeLink();
    logIn(*link);
    transport_->Deliver("ZULU:12:30\r\nZULU:12");
    link->DisconnectFromServer();
    EXPECT_EQ(link->receiveQueue().queued_bytes(), 0u);
}

// A handler that lets the event loop run (a modal dialog) may see the pilot connect
// again: what the old connection still had queued is not handed on after that.
TEST_F(ServerLinkTest, ANewConnectionOpenedInsideAHandlerEndsTheOldOnesLines) {
    auto link = makeLink();
    link->ConnectToServer();
    transport_->AcceptConnection();
    after_line_ = [&](const FieldList& fields) {
        if (Field(fields, 0) == "RECONNECT") {
            link->ConnectToServer();
            transport_->AcceptConnection();
            transport_->Deliver("NEW\r\n");
        }
    };
    transport_->Deliver("OLD:1\r\nRECONNECT\r\nOLD:2\r\n$ERserver:ABC12:old\r\n");
    ASSERT_TRUE(timers_.Fire("Timer5"));
    drain(*link);
    EXPECT_EQ(dispatched_, (std::vector<FieldList>{{"OLD", "1"}, {"RECONNECT"}, {"NEW"}}));
    EXPECT_TRUE(link->socket_connected());
}

// A server that refuses a login often closes at once: the refusal it sent before
// closing is still handled at the next tick, so the pilot reads why.
TEST_F(ServerLinkTest, ARefusalJustBeforeTheServerClosesIsStillShown) {
    auto link = makeLink();
    LinkObserver seen(*link);
    link->ConnectToServer();
    transport_->AcceptConnection();
    transport_->Deliver("$ERserver:ABC12:Invalid password\r\n");
    transport_->DropConnection();
    ASSERT_TRUE(timers_.Fire("Timer5"));
    EXPECT_EQ(seen.lastStatus(ServerLink::kRefusalPanel), "refusé: ABC12Invalid password");
    EXPECT_FALSE(link->socket_connected());
}

TEST_F(ServerLinkTest, EveryTickSaysItIsDoneEvenWithNothingQueued) {
    auto link = makeLink();
    LinkObserver seen(*link);
    link->ProcessReceiveQueue();
    EXPECT_EQ(seen.ticks_done, 1);
    EXPECT_TRUE(dispatched_.empty());
    link->ConnectToServer();
    transport_->AcceptConnection();
    transport_->Deliver("ZULU:12:30\r\n");
    link->ProcessReceiveQueue();
    EXPECT_EQ(seen.ticks_done, 2);
    EXPECT_EQ(dispatched_.size(), 1u);
}

TEST_F(ServerLinkTest, ZeroIntervalNeverStartsTheReportTimer) {
    auto link = makeLink();
    LinkObserver seen(*link);
    link->SetReportInterval(0);
    logIn(*link);
    EXPECT_FALSE(link->Timer4().IsActive());
    EXPECT_FALSE(timers_.Fire("Timer4"));
    EXPECT_EQ(seen.reports_due, 0);
}

TEST_F(ServerLinkTest, NegativeIntervalIsNoInterval) {
    auto link = makeLink();
    link->SetReportInterval(-5);
    EXPECT_EQ(link->Timer4().Interval(), 0);
    logIn(*link);
    EXPECT_FALSE(link->Timer4().IsActive());
}

TEST_F(ServerLinkTest, DisconnectWithoutConnectionSendsNothingAndStopsTimers) {
    auto link = makeLink();
    link->Timer4().SetInterval(1000);
    link->Timer4().Start();
    link->Timer5().Start();
    link->DisconnectFromServer();
    EXPECT_FALSE(link->Timer4().IsActive());
    EXPECT_FALSE(link->Timer5().IsActive());
    EXPECT_TRUE(transport_->calls.empty());
    EXPECT_EQ(link->socketState(), QAbstractSocket::UnconnectedState);
}

// Disconnecting during an attempt cancels it: no logoff, the button red again, and the
// cancelled attempt never reports an error.
TEST_F(ServerLinkTest, DisconnectDuringAnAttemptCancelsIt) {
    auto link = makeLink();
    LinkObserver seen(*link);
    link->ConnectToServer();
    link->DisconnectFromServer();
    EXPECT_EQ(transport_->calls, (std::vector<std::string>{"connect 127.0.0.1:6809", "abort"}));
    EXPECT_EQ(seen.colours, (std::vector<Rgb>{kOrange, kRed}));
    EXPECT_EQ(link->panelBevel(), Bevel::Raised);
    EXPECT_TRUE(seen.status.empty());
    EXPECT_TRUE(seen.errors.empty());
}

TEST_F(ServerLinkTest, LinesAreSentOnlyWhileConnected) {
    auto link = makeLink();
    link->SendLine("@S:ABC12\r\n");
    link->ConnectToServer();
    link->SendLine("@S:ABC12\r\n");
    EXPECT_EQ(transport_->count("write @S:ABC12\r\n"), 0);
    transport_->AcceptConnection();
    // Connected but not yet logged in: the line goes out all the same.
    link->SendLine("@S:ABC12\r\n");
    EXPECT_EQ(transport_->written, std::string(kLogin) + "@S:ABC12\r\n");
}

TEST_F(ServerLinkTest, RepaintFollowsTheConnectionAlone) {
    auto link = makeLink();
    link->RepaintFromConnection();
    EXPECT_EQ(link->panelColour(), kRed);
    EXPECT_EQ(link->panelBevel(), Bevel::Raised);
    link->ConnectToServer();
    transport_->AcceptConnection();
    link->RepaintFromConnection();
    EXPECT_EQ(link->panelColour(), kGreen);
    EXPECT_EQ(link->panelBevel(), Bevel::Lowered);
}

// The link is destroyed with its connection up: the transport's closing reaches no
// handler of the half-destroyed link.
TEST_F(ServerLinkTest, DestroyedWhileConnected) {
    auto link = makeLink();
    LinkObserver seen(*link);
    logIn(*link);
    std::size_t shown = seen.status.size();
    link.reset();
    EXPECT_EQ(seen.status.size(), shown);
}

}  // namespace
}  // namespace tavoro

namespace tavoro {
namespace {

TEST(DispatcherLoggedOutTest, LateAcceptanceWithoutConnectionLogsNobodyIn) {
    Settings settings;
    AircraftIdentity identity;
    AircraftState state;
    auto owned = std::make_unique<test::FakeServerTransport>();
    test::FakeServerTransport& transport = *owned;
    ServerLink link(settings, identity, state, fixedLookup(""), std::move(owned));
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
    // The refusal only closed what was there: nothing was sent, nothing opened.
    EXPECT_EQ(transport.calls, std::vector<std::string>{"abort"});
}

}  // namespace
}  // namespace tavoro
