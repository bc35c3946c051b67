#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "atc/ServerTransport.h"

namespace tavoro::test {

// The connection under the server link, in memory and driven by the test: it answers
// each attempt, delivers the server's bytes in whatever pieces it likes, raises errors,
// drops the connection, and reads what the link wrote. Every event is emitted inside the
// call that causes it, in the order QTcpSocket reports the same happening.
class FakeServerTransport : public ServerTransport {
public:
    // The text QTcpSocket gives when the peer closes.
    static constexpr const char* kRemoteClosedText = "The remote host closed the connection";

    // What the link asked of the transport, in order: "connect HOST:PORT", "write BYTES",
    // "disconnect", "abort".
    std::vector<std::string> calls;
    // The bytes written while the connection was open, as the server would receive them.
    std::string written;
    // The server's address, as the open connection reports it.
    QHostAddress peer{QHostAddress::LocalHost};

    // Reports its end when destroyed open, as a bare QTcpSocket does: whoever listens
    // must have stopped listening by then.
    ~FakeServerTransport() override { close(); }

    void ConnectToHost(const QString& host, quint16 port) override {
        calls.push_back("connect " + host.toStdString() + ":" + std::to_string(port));
        // QTcpSocket ignores an attempt on a socket in use: the link must abort first.
        if (state_ != QAbstractSocket::UnconnectedState) {
            ADD_FAILURE() << "connect while the transport is in state " << state_;
            return;
        }
        state_ = QAbstractSocket::ConnectingState;
    }

    void DisconnectFromHost() override {
        calls.push_back("disconnect");
        // Nothing waits in a write buffer here, so the close is immediate, as it is for
        // QTcpSocket once everything written has left.
        if (state_ == QAbstractSocket::ConnectedState) {
            close();
        }
    }

    void Abort() override {
        calls.push_back("abort");
        close();
    }

    void Write(std::string_view bytes) override {
        calls.push_back("write " + std::string(bytes));
        if (state_ == QAbstractSocket::ConnectedState) {
            written += bytes;
        }
    }

    QAbstractSocket::SocketState state() const override { return state_; }
    QHostAddress peerAddress() const override {
        return state_ == QAbstractSocket::ConnectedState ? peer : QHostAddress();
    }

    // The server accepts the pending attempt.
    void AcceptConnection() {
        if (!expectState(QAbstractSocket::ConnectingState, "accept")) {
            return;
        }
        state_ = QAbstractSocket::ConnectedState;
        emit connected();
    }

    // The pending attempt fails: nobody listens, by default.
    void RefuseConnection(
        QAbstractSocket::SocketError error = QAbstractSocket::ConnectionRefusedError,
        const QString& text = QStringLiteral("Connection refused")) {
        if (!expectState(QAbstractSocket::ConnectingState, "refuse")) {
            return;
        }
        state_ = QAbstractSocket::UnconnectedState;
        emit errorOccurred(error, text);
    }

    // One read event carrying `bytes`, whatever the state: a test may cut the server's
    // stream anywhere, or hand over bytes a socket had buffered when it closed.
    void Deliver(std::string_view bytes) {
        emit dataRead(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    }

    // An error that leaves the connection as it is.
    void RaiseError(QAbstractSocket::SocketError error, const QString& text) {
        emit errorOccurred(error, text);
    }

    // The server closes its end: QTcpSocket reports the error first, then the disconnect.
    void DropConnection() {
        if (!expectState(QAbstractSocket::ConnectedState, "drop")) {
            return;
        }
        emit errorOccurred(QAbstractSocket::RemoteHostClosedError,
                           QString::fromLatin1(kRemoteClosedText));
        close();
    }

    // How many times the link asked for `call` ("abort", "disconnect", or a whole
    // "write ..." or "connect ..." entry).
    int count(std::string_view call) const {
        int n = 0;
        for (const std::string& made : calls) {
            n += made == call ? 1 : 0;
        }
        return n;
    }

private:
    bool expectState(QAbstractSocket::SocketState wanted, const char* what) {
        if (state_ != wanted) {
            ADD_FAILURE() << "cannot " << what << " in state " << state_;
            return false;
        }
        return true;
    }

    // Only a connection that was open reports its end, as with QTcpSocket.
    void close() {
        bool was_open =
            state_ == QAbstractSocket::ConnectedState || state_ == QAbstractSocket::ClosingState;
        state_ = QAbstractSocket::UnconnectedState;
        if (was_open) {
            emit disconnected();
        }
    }

    QAbstractSocket::SocketState state_ = QAbstractSocket::UnconnectedState;
};

}  // namespace tavoro::test
