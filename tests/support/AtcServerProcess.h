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
    // Starts it again, after Kill, on the port it had and with the same arguments; what
    // it printed before is forgotten. False when it did not come back on that port.
    bool Restart();
    bool running() const { return process_.state() != QProcess::NotRunning; }

private:
    // Starts the server on `port` (0: any free one) and waits until it listens.
    void start(quint16 port);
    void readOutput();

    QProcess process_;
    QByteArray pending_;
    QStringList output_;
    QStringList extra_arguments_;
    quint16 port_ = 0;
};

}  // namespace tavoro::test
