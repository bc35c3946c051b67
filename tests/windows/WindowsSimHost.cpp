#include "windows/WindowsSimHost.h"

#include <windows.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>

namespace tavoro::test {

QString ProgramFolder() {
    return QCoreApplication::applicationDirPath();
}

WindowsSimHost::WindowsSimHost(const QStringList& extra_arguments) {
    static int count = 0;
    pipe_ = QStringLiteral("tavoro-test-%1-%2").arg(::GetCurrentProcessId()).arg(++count);
    process_.setProgram(QDir(ProgramFolder()).filePath("tavoro-simhost.exe"));
    process_.setArguments(QStringList{"--pipe", pipe_} + extra_arguments);
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.start();
    if (!process_.waitForStarted(30000)) {
        return;
    }
    // Its first line says it serves: the window and the pipe exist from then on.
    started_ = NextLine(60000).startsWith("serving");
}

WindowsSimHost::~WindowsSimHost() {
    if (process_.state() != QProcess::NotRunning) {
        process_.write("quit\n");
        if (!process_.waitForFinished(10000)) {
            Kill();
        }
    }
}

QString WindowsSimHost::NextLine(int timeout_ms) {
    QDeadlineTimer deadline(timeout_ms);
    for (;;) {
        const int end = pending_.indexOf('\n');
        if (end >= 0) {
            QString line = QString::fromUtf8(pending_.left(end)).trimmed();
            pending_.remove(0, end + 1);
            return line;
        }
        if (deadline.hasExpired() || process_.state() == QProcess::NotRunning) {
            return {};
        }
        if (process_.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            pending_ += process_.readAllStandardOutput();
        }
    }
}

void WindowsSimHost::Send(const QString& line) {
    process_.write((line + "\n").toUtf8());
    process_.waitForBytesWritten(10000);
}

QString WindowsSimHost::Command(const QString& line, int timeout_ms) {
    Send(line);
    return NextLine(timeout_ms);
}

void WindowsSimHost::Kill() {
    process_.kill();
    process_.waitForFinished(10000);
}

}  // namespace tavoro::test
