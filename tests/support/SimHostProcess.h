#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace tavoro::test {

// The stand-in simulator run as a child process in a private rendezvous folder of its
// own, for tests that need a simulator at the other end. Stopped when destroyed.
class SimHostProcess {
public:
    // `extra_arguments` go after "--dir FOLDER".
    explicit SimHostProcess(const QStringList& extra_arguments = {});
    ~SimHostProcess();
    SimHostProcess(const SimHostProcess&) = delete;
    SimHostProcess& operator=(const SimHostProcess&) = delete;

    // False when the stand-in did not start or did not say it serves.
    bool started() const { return started_; }
    // The rendezvous folder; point TAVORO_SIM_DIR at it to reach this stand-in.
    QString folder() const { return folder_; }

    // One command on the stand-in's standard input, e.g. "set lat 48.5"; returns its
    // answer once applied: "ok", "error: ...", or the JSON line of "dump". Empty when
    // no answer came.
    QString Command(const QString& line);
    // Sends "dump" and returns the JSON object it prints; empty when none came.
    QJsonObject Dump();
    // Everything the stand-in printed so far, one entry per line.
    QStringList Output();

    // Ends the stand-in at once, as a crash would.
    void Kill();
    // Starts a new stand-in, after Kill, in the same folder with the same arguments, as a
    // simulator started again would; what the old one printed is forgotten. False when
    // it did not say it serves.
    bool Restart();
    bool running() const { return process_.state() != QProcess::NotRunning; }
    // The stand-in's process id, for a test that kills it from another thread.
    qint64 processId() const { return process_.processId(); }

private:
    void start();
    void readOutput();

    QTemporaryDir parent_;
    QString folder_;
    QStringList extra_arguments_;
    QProcess process_;
    QByteArray pending_;
    QStringList output_;
    bool started_ = false;
};

}  // namespace tavoro::test
