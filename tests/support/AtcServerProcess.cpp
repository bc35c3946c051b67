#include "support/AtcServerProcess.h"

#include <sys/prctl.h>

#include <QRegularExpression>
#include <csignal>

#include "support/EventLoop.h"

namespace tavoro::test {

AtcServerProcess::AtcServerProcess(const QStringList& extra_arguments)
    : extra_arguments_(extra_arguments) {
    process_.setProcessChannelMode(QProcess::MergedChannels);
    // A test that crashes must not leave its server behind.
    process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    start(0);
}

void AtcServerProcess::start(quint16 port) {
    port_ = 0;
    if (process_.isOpen()) {
        process_.readAllStandardOutput();  // what a killed server left unread
    }
    pending_.clear();
    output_.clear();
    process_.start(TAVORO_ATCSERVER_PATH,
                   QStringList{"--port", QString::number(port)} + extra_arguments_);
    if (!process_.waitForStarted(kDeadline.count())) {
        return;
    }
    static const QRegularExpression kListening(R"(^listening on 127\.0\.0\.1:(\d+)$)");
    WaitUntil([&] {
        for (const QString& line : Output()) {
            auto match = kListening.match(line);
            if (match.hasMatch()) {
                port_ = static_cast<quint16>(match.captured(1).toUInt());
                return true;
            }
        }
        return process_.state() == QProcess::NotRunning;
    });
}

bool AtcServerProcess::Restart() {
    const quint16 port = port_;
    if (port == 0) {
        return false;
    }
    Kill();
    start(port);
    return port_ == port;
}

AtcServerProcess::~AtcServerProcess() {
    if (process_.state() != QProcess::NotRunning) {
        Command("quit");
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
}

void AtcServerProcess::Command(const QString& line) {
    process_.write(line.toUtf8() + "\n");
    process_.waitForBytesWritten(5000);
}

void AtcServerProcess::readOutput() {
    pending_ += process_.readAllStandardOutput();
    qsizetype end;
    while ((end = pending_.indexOf('\n')) >= 0) {
        output_ << QString::fromUtf8(pending_.left(end));
        pending_.remove(0, end + 1);
    }
}

QStringList AtcServerProcess::Output() {
    readOutput();
    return output_;
}

QStringList AtcServerProcess::ReceivedLines() {
    // "HH:MM:SS.mmm [id] < LINE"
    static const QRegularExpression kReceived(R"(^\S+ \[\d+\] < (.*)$)");
    QStringList lines;
    for (const QString& line : Output()) {
        auto match = kReceived.match(line);
        if (match.hasMatch()) {
            lines << match.captured(1);
        }
    }
    return lines;
}

int AtcServerProcess::ConnectedClients() {
    int count = 0;
    for (const QString& line : Output()) {
        if (line.contains("] connected from ")) {
            ++count;
        } else if (line.endsWith("] disconnected")) {
            --count;
        }
    }
    return count;
}

bool AtcServerProcess::WaitForReceived(const QString& line) {
    return WaitUntil([&] { return ReceivedLines().contains(line); });
}

bool AtcServerProcess::WaitForClients(int count) {
    return WaitUntil([&] { return ConnectedClients() == count; });
}

void AtcServerProcess::Kill() {
    process_.kill();
    process_.waitForFinished(5000);
}

}  // namespace tavoro::test
