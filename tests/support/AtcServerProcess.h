#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace tavoro::test {

// The stand-in ATC server run as a child process on a free loopback port, for tests
// that need a real server at the other end of the socket. Stopped when destroyed.
class AtcServerProcess {
public:
    explicit AtcServerProcess(const QStringList& extra_arguments = {});
    ~AtcServerProcess();
    AtcServerProcess(const AtcServerProcess&) = delete;
    AtcServerProcess& operator=(const AtcServerProcess&) = delete;

    // False when the server did not start or did not say which port it listens on.
    bool started() const { return port_ != 0; }
    quint16 port() const { return port_; }

    // One command on the server's standard input ("send LINE", "drop", "quit").
    void Command(const QString& line);

    // Everything the server printed so far, one entry per line.
    QStringList Output();
    // The lines the server received from clients, in order, as sent (without CR LF).
    QStringList ReceivedLines();
    // How many clients are connected now, as the server counts them.
    int ConnectedClients();

    bool WaitForReceived(const QString& line);
    bool WaitForClients(int count);

    // Ends the server at once, as a crash would.
    void Kill();

private:
    void readOutput();

    QProcess process_;
    QByteArray pending_;
    QStringList output_;
    quint16 port_ = 0;
};

}  // namespace tavoro::test
