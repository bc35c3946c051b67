#pragma once

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextStream>
#include <map>
#include <memory>
#include <vector>

#include "atcserver/Stations.h"

// A stand-in for the networked ATC server: it accepts pilot clients on a loopback port,
// prints every line it receives, answers logins, announces its stations and answers
// their ATIS queries, keeps the last position report of each client, keeps each pilot's
// filed flight plan and lists the filed plans, and obeys commands on its standard input
// so that a person or a test can push lines to the clients.
class AtcServer : public QObject {
    Q_OBJECT

public:
    struct Options {
        quint16 port = 6809;
        // Empty: every password is accepted.
        QByteArray password;
        std::vector<Station> stations;
    };

    // The commands, as --help and an unknown command list them.
    static const char kCommandHelp[];

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
        QByteArray callsign;
        bool logged_in = false;
        bool login_held = false;
        QByteArray password;
        QByteArray last_report;
        int report_count = 0;
        // Raw bytes were pushed: "all sent" is logged once they have all left.
        bool draining = false;
    };

    void onNewConnection();
    void onReadable(int id);
    void onLine(int id, const QByteArray& line);
    void answerLogin(int id);
    void answerAtisQuery(int id, const QList<QByteArray>& fields);
    void fileFlightPlan(int id, const QList<QByteArray>& fields);
    void listFiledPlans(int id, const QList<QByteArray>& fields);
    void send(int id, const QByteArray& line);
    // Sends `line` to every logged-in client; says so when there is none.
    void pushToLoggedIn(const QByteArray& line);
    void log(int id, const QString& text);
    void error(const QString& text);
    void dropAll();

    bool stationCommand(const QByteArray& arguments);
    // "flood" and "random": raw bytes, no line break added.
    void rawCommand(const QByteArray& word, const QByteArray& arguments);
    void amendCommand(const QByteArray& arguments);
    void printStations();
    void printReports();
    void printPlans();

    // A pilot's filed plan: the fifteen values of its "$FP" line after "SERVER", from the
    // flight rules to the route, as received.
    struct FiledPlan {
        QByteArray callsign;
        QList<QByteArray> values;
    };

    Options options_;
    QTextStream& out_;
    QTcpServer server_;
    std::map<int, Client> clients_;
    int next_id_ = 1;
    // While set, logins are held unanswered until "release".
    bool hold_logins_ = false;
    // While set, every new connection is closed as soon as it is accepted.
    bool hangup_ = false;
    // One plan per pilot, the latest filed, in the order pilots first filed.
    std::vector<FiledPlan> filed_plans_;
};
