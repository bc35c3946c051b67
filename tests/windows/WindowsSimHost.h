#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace tavoro::test {

// The Windows stand-in simulator beside the test program, run as a child process with a
// SimConnect pipe of its own. Only one can hold the FSUIPC window at a time, so tests
// that start one run one after another. Stopped when destroyed.
class WindowsSimHost {
public:
    explicit WindowsSimHost(const QStringList& extra_arguments = {});
    ~WindowsSimHost();
    WindowsSimHost(const WindowsSimHost&) = delete;
    WindowsSimHost& operator=(const WindowsSimHost&) = delete;

    bool started() const { return started_; }
    // The pipe's name; TAVORO_SIM_PIPE set to it leads the stand-in SimConnect.dll here.
    const QString& pipe() const { return pipe_; }

    // One command on standard input; its answer line, empty when none came in time.
    QString Command(const QString& line, int timeout_ms = 10000);
    // One command, its answer left to NextLine: for a command that blocks the stand-in.
    void Send(const QString& line);
    QString NextLine(int timeout_ms);
    // Ends it at once, as a crash would, and waits until its window is gone.
    void Kill();

private:
    QProcess process_;
    QByteArray pending_;
    QString pipe_;
    bool started_ = false;
};

// The folder of the test program, where the stand-ins were built.
QString ProgramFolder();

}  // namespace tavoro::test
