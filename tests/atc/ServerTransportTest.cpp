#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>

#include "atc/ServerTransport.h"
#include "support/EventLoop.h"
#include "support/FakeServerTransport.h"

namespace tavoro {
namespace {

using test::RunEventsFor;
using test::WaitUntil;

// Long enough for a stray event to arrive if one were coming.
constexpr std::chrono::milliseconds kQuiet{100};

// What a transport reported, in order: "connected", "disconnected", "error N". The bytes
// it read are kept apart, joined, since TCP cuts them as it likes.
struct Recorder {
    std::vector<std::string> events;
    QByteArray data;
    QString error_text;
    QObject context;

    explicit Recorder(ServerTransport& transport) {
        QObject::connect(&transport, &ServerTransport::connected, &context,
                         [this] { events.push_back("connected"); });
        QObject::connect(&transport, &ServerTransport::disconnected, &context,
                         [this] { events.push_back("disconnected"); });
        QObject::connect(&transport, &ServerTransport::dataRead, &context,
                         [this](const QByteArray& bytes) {
                             EXPECT_FALSE(bytes.isEmpty());
                             data += bytes;
                         });
        QObject::connect(&transport, &ServerTransport::errorOccurred, &context,
                         [this](QAbstractSocket::SocketError error, const QString& text) {
                             events.push_back("error " + std::to_string(error));
                             error_text = text;
                         });
    }

    bool saw(const std::string& event) const {
        return std::find(events.begin(), events.end(), event) != events.end();
    }
};

// A transport and the server at its other end, played by the test.
class ServerEnd {
public:
    virtual ~ServerEnd() = default;
    virtual ServerTransport& transport() = 0;
    // An attempt towards a server that will take it.
    virtual void StartAttempt() = 0;
    // The server takes the pending attempt.
    virtual void Accept() = 0;
    // An attempt where nobody listens.
    virtual void AttemptRefused() = 0;
    virtual void Send(const QByteArray& bytes) = 0;
    // Everything that reached the server so far.
    virtual QByteArray Received() = 0;
    // The server closes its end.
    virtual void Close() = 0;
    // The client's close has reached the server.
    virtual bool SawClose() = 0;
};

// The TCP transport against a server in this process, on a loopback port.
class TcpEnd : public ServerEnd {
public:
    TcpEnd() { EXPECT_TRUE(server_.listen(QHostAddress::LocalHost)); }

    ServerTransport& transport() override { return transport_; }
    void StartAttempt() override {
        transport_.ConnectToHost(QStringLiteral("127.0.0.1"), server_.serverPort());
    }
    // The system accepts on the listening socket by itself.
    void Accept() override {}
    void AttemptRefused() override {
        QTcpServer probe;
        EXPECT_TRUE(probe.listen(QHostAddress::LocalHost));
        quint16 port = probe.serverPort();
        probe.close();  // the port is now free and nothing answers on it
        transport_.ConnectToHost(QStringLiteral("127.0.0.1"), port);
    }
    void Send(const QByteArray& bytes) override {
        if (QTcpSocket* socket = peer()) {
            socket->write(bytes);
        }
    }
    QByteArray Received() override {
        if (QTcpSocket* socket = peer()) {
            received_ += socket->readAll();
        }
        return received_;
    }
    void Close() override {
        if (QTcpSocket* socket = peer()) {
            socket->disconnectFromHost();
        }
    }
    bool SawClose() override {
        Received();
        return peer_ && peer_->state() == QAbstractSocket::UnconnectedState;
    }

private:
    // The server's side of the connection, once the server has taken it.
    QTcpSocket* peer() {
        if (!peer_ && WaitUntil([&] { return server_.hasPendingConnections(); })) {
            peer_ = server_.nextPendingConnection();
        }
        EXPECT_NE(peer_, nullptr) << "the server saw no connection";
        return peer_;
    }

    QTcpServer server_;
    QTcpSocket* peer_ = nullptr;  // owned by server_
    QByteArray received_;
    TcpServerTransport transport_;
};

// The tests' fake, driven as the server would drive it.
class FakeEnd : public ServerEnd {
public:
    ServerTransport& transport() override { return transport_; }
    void StartAttempt() override { transport_.ConnectToHost(QStringLiteral("127.0.0.1"), 6809); }
    void Accept() override { transport_.AcceptConnection(); }
    void AttemptRefused() override {
        StartAttempt();
        transport_.RefuseConnection();
    }
    void Send(const QByteArray& bytes) override { transport_.Deliver(bytes.toStdString()); }
    QByteArray Received() override { return QByteArray::fromStdString(transport_.written); }
    void Close() override { transport_.DropConnection(); }
    bool SawClose() override {
        return transport_.state() == QAbstractSocket::UnconnectedState &&
               transport_.count("disconnect") > 0;
    }

private:
    test::FakeServerTransport transport_;
};

struct TransportKind {
    const char* name;
    std::function<std::unique_ptr<ServerEnd>()> make;
};

// What the server link relies on, checked on the real transport and on the fake alike:
// the fake stands in for the real one in the link's tests only while both agree.
class ServerTransportContract : public ::testing::TestWithParam<TransportKind> {
protected:
    void connectEnd() {
        end_->StartAttempt();
        end_->Accept();
        ASSERT_TRUE(WaitUntil([&] { return seen_.saw("connected"); }));
    }

    std::unique_ptr<ServerEnd> end_ = GetParam().make();
    ServerTransport& transport_ = end_->transport();
    Recorder seen_{transport_};
};

TEST_P(ServerTransportContract, AnAcceptedAttemptConnectsOnce) {
    EXPECT_EQ(transport_.state(), QAbstractSocket::UnconnectedState);
    end_->StartAttempt();
    // The attempt is pending: a second click must know to abort it.
    EXPECT_NE(transport_.state(), QAbstractSocket::UnconnectedState);
    EXPECT_NE(transport_.state(), QAbstractSocket::ConnectedState);
    end_->Accept();
    ASSERT_TRUE(WaitUntil([&] { return seen_.saw("connected"); }));
    RunEventsFor(kQuiet);
    EXPECT_EQ(seen_.events, std::vector<std::string>{"connected"});
    EXPECT_EQ(transport_.state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(transport_.peerAddress(), QHostAddress(QHostAddress::LocalHost));
}

TEST_P(ServerTransportContract, ARefusedAttemptIsAnErrorAndNeverADisconnect) {
    end_->AttemptRefused();
    ASSERT_TRUE(WaitUntil([&] { return !seen_.events.empty(); }));
    RunEventsFor(kQuiet);
    EXPECT_EQ(seen_.events, std::vector<std::string>{"error 0"});
    EXPECT_EQ(seen_.error_text, "Connection refused");
    EXPECT_EQ(transport_.state(), QAbstractSocket::UnconnectedState);
}

TEST_P(ServerTransportContract, BytesCrossBothWays) {
    connectEnd();
    transport_.Write("#APABC12:SERVER\r\n");
    EXPECT_TRUE(WaitUntil([&] { return end_->Received() == "#APABC12:SERVER\r\n"; }));
    end_->Send("#TMserver:ABC12:hello\r\nZULU:12:30\r\n");
    EXPECT_TRUE(WaitUntil([&] { return seen_.data == "#TMserver:ABC12:hello\r\nZULU:12:30\r\n"; }));
}

TEST_P(ServerTransportContract, APeerThatClosesIsAnErrorThenADisconnect) {
    connectEnd();
    end_->Close();
    ASSERT_TRUE(WaitUntil([&] { return seen_.saw("disconnected"); }));
    RunEventsFor(kQuiet);
    EXPECT_EQ(seen_.events, (std::vector<std::string>{"connected", "error 1", "disconnected"}));
    EXPECT_EQ(seen_.error_text, "The remote host closed the connection");
    EXPECT_EQ(transport_.state(), QAbstractSocket::UnconnectedState);
}

// The link counts on this: the lines after a refusal in the same block see the
// connection already gone.
TEST_P(ServerTransportContract, AbortReportsTheEndBeforeItReturns) {
    connectEnd();
    transport_.Abort();
    EXPECT_EQ(seen_.events, (std::vector<std::string>{"connected", "disconnected"}));
    EXPECT_EQ(transport_.state(), QAbstractSocket::UnconnectedState);
    RunEventsFor(kQuiet);
    EXPECT_EQ(seen_.events, (std::vector<std::string>{"connected", "disconnected"}));
}

TEST_P(ServerTransportContract, AbortDuringAnAttemptReportsNothing) {
    end_->StartAttempt();
    transport_.Abort();
    EXPECT_EQ(transport_.state(), QAbstractSocket::UnconnectedState);
    RunEventsFor(kQuiet);
    EXPECT_TRUE(seen_.events.empty());
}

TEST_P(ServerTransportContract, DisconnectLetsWhatWasWrittenLeaveFirst) {
    connectEnd();
    transport_.Write("#DPABC12\r\n");
    transport_.DisconnectFromHost();
    ASSERT_TRUE(WaitUntil([&] { return seen_.saw("disconnected") && end_->SawClose(); }));
    EXPECT_EQ(end_->Received(), "#DPABC12\r\n");
    EXPECT_EQ(seen_.events, (std::vector<std::string>{"connected", "disconnected"}));
    EXPECT_EQ(transport_.state(), QAbstractSocket::UnconnectedState);
}

INSTANTIATE_TEST_SUITE_P(
    Transports, ServerTransportContract,
    ::testing::Values(TransportKind{"Tcp", [] { return std::make_unique<TcpEnd>(); }},
                      TransportKind{"Fake", [] { return std::make_unique<FakeEnd>(); }}),
    [](const ::testing::TestParamInfo<TransportKind>& info) { return info.param.name; });

}  // namespace
}  // namespace tavoro
