#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <string_view>

namespace tavoro {

// The byte stream under the server link: one connection at a time to a host and port,
// asynchronous, its events delivered on the thread that owns it. The link decides what
// the events mean; a transport only carries bytes and reports what the connection did.
//
// What the link relies on, as QTcpSocket does it: a refused or failed attempt reports an
// error and never `disconnected`; a peer that closes reports RemoteHostClosedError, then
// `disconnected`; Abort on an open connection reports `disconnected` before it returns.
class ServerTransport : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts an attempt; `connected` or `errorOccurred` answers it later.
    virtual void ConnectToHost(const QString& host, quint16 port) = 0;
    // Closes once what was written has left.
    virtual void DisconnectFromHost() = 0;
    // Drops the connection, or the attempt, at once.
    virtual void Abort() = 0;
    // Hands the bytes to the system at once rather than at the next event-loop turn.
    virtual void Write(std::string_view bytes) = 0;

    virtual QAbstractSocket::SocketState state() const = 0;
    virtual QHostAddress peerAddress() const = 0;

signals:
    void connected();
    void disconnected();
    // Everything the connection has received since the previous report; never empty.
    void dataRead(const QByteArray& data);
    // `text` says what happened in words, as the socket tells it.
    void errorOccurred(QAbstractSocket::SocketError error, const QString& text);
};

// The production transport: a TCP connection through QTcpSocket.
class TcpServerTransport : public ServerTransport {
    Q_OBJECT

public:
    explicit TcpServerTransport(QObject* parent = nullptr);
    ~TcpServerTransport() override;

    void ConnectToHost(const QString& host, quint16 port) override;
    void DisconnectFromHost() override;
    void Abort() override;
    void Write(std::string_view bytes) override;

    QAbstractSocket::SocketState state() const override { return socket_.state(); }
    QHostAddress peerAddress() const override { return socket_.peerAddress(); }

private:
    QTcpSocket socket_;
};

}  // namespace tavoro
