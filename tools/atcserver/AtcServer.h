#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextStream>
#include <map>
#include <memory>

// A stand-in for the networked ATC server: it accepts pilot clients on a loopback port,
// prints every line it receives, answers logins, and obeys commands on its standard
// input so that a person or a test can push lines to the clients.
class AtcServer : public QObject {
    Q_OBJECT

public:
    struct Options {
        quint16 port = 6809;
        // Empty: every password is accepted.
        QByteArray password;
    };

    AtcServer(Options options, QTextStream& out, QObject* parent = nullptr);
    ~AtcServer() override;

    bool Listen();
    quint16 port() const { return server_.serverPort(); }

    // One command line from standard input; returns false on "quit".
    bool Command(const QByteArray& line);

private:
    struct Client {
        std::unique_ptr<QTcpSocket> socket;
        QByteArray pending;  // received bytes not yet ended by a line feed
    };

    void onNewConnection();
    void onReadable(int id);
    void onLine(int id, const QByteArray& line);
    void send(int id, const QByteArray& line);
    void log(int id, const QString& text);
    void dropAll();

    Options options_;
    QTextStream& out_;
    QTcpServer server_;
    std::map<int, Client> clients_;
    int next_id_ = 1;
};
