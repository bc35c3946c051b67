#include "support/SimHostProcess.h"

#include <sys/prctl.h>

#include <QJsonDocument>
#include <csignal>

#include "support/EventLoop.h"

namespace tavoro::test {

SimHostProcess::SimHostProcess(const QStringList& extra_arguments)
    : extra_arguments_(extra_arguments) {
    // A folder the stand-in creates itself, as it would in real use.
    folder_ = parent_.filePath("sim");
    process_.setProcessChannelMode(QProcess::MergedChannels);
    // A test that crashes must not leave its simulator behind.
    process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    start();
}

void SimHostProcess::start() {
    started_ = false;
    if (process_.isOpen()) {
        process_.readAllStandardOutput();  // what a killed stand-in left unread
    }
    pending_.clear();
    output_.clear();
    process_.start(TAVORO_SIMHOST_PATH, QStringList{"--dir", folder_} + extra_arguments_);
    if (!process_.waitForStarted(kDeadline.count())) {
        return;
    }
    started_ = WaitUntil([&] {
                   return Output().contains("serving in " + folder_) ||
                          process_.state() == QProcess::NotRunning;
               }) &&
               running();
}

bool SimHostProcess::Restart() {
    Kill();
    start();
    return started_;
}

SimHostProcess::~SimHostProcess() {
    if (running()) {
        process_.write("quit\n");
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
}

QString SimHostProcess::Command(const QString& line) {
    const qsizetype seen = Output().size();
    process_.write(line.toUtf8() + "\n");
    process_.waitForBytesWritten(5000);
    QString answer;
    WaitUntil([&] {
        const QStringList lines = Output();
        for (qsizetype i = seen; i < lines.size(); ++i) {
            if (lines[i] == "ok" || lines[i].startsWith("error: ") || lines[i].startsWith('{')) {
                answer = lines[i];
                return true;
            }
        }
        return !running();
    });
    return answer;
}

void SimHostProcess::readOutput() {
    pending_ += process_.readAllStandardOutput();
    qsizetype end;
    while ((end = pending_.indexOf('\n')) >= 0) {
        output_ << QString::fromUtf8(pending_.left(end));
        pending_.remove(0, end + 1);
    }
}

QStringList SimHostProcess::Output() {
    readOutput();
    return output_;
}

QJsonObject SimHostProcess::Dump() {
    return QJsonDocument::fromJson(Command("dump").toUtf8()).object();
}

void SimHostProcess::Kill() {
    process_.kill();
    process_.waitForFinished(5000);
}

}  // namespace tavoro::test
