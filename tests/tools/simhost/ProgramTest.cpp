#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/stat.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>

#include "platform/linux/LocalFsuipcTransport.h"
#include "support/EventLoop.h"

namespace tavoro::simhost {
namespace {

bool exists(const QString& path) {
    struct stat info {};
    return ::lstat(path.toLocal8Bit().constData(), &info) == 0;
}

// The stand-in program itself, started on a folder the test chooses, for what only the
// whole process shows: start-up, the socket files, standard input and the end.
class Program {
public:
    explicit Program(const QStringList& arguments) {
        process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        process_.start(TAVORO_SIMHOST_PATH, arguments);
        process_.waitForStarted();
    }
    ~Program() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }

    // Waits for `count` more lines of standard output.
    QStringList Lines(int count) {
        test::WaitUntil([&] {
            out_ += process_.readAllStandardOutput();
            return out_.count('\n') >= count || process_.state() == QProcess::NotRunning;
        });
        out_ += process_.readAllStandardOutput();
        QStringList lines;
        while (lines.size() < count && out_.contains('\n')) {
            const qsizetype end = out_.indexOf('\n');
            lines << QString::fromUtf8(out_.left(end));
            out_.remove(0, end + 1);
        }
        return lines;
    }
    // Waits for the end; the exit code, or -1 when it did not end or crashed.
    int Finished() {
        test::WaitUntil([&] { return process_.state() == QProcess::NotRunning; });
        return process_.state() == QProcess::NotRunning &&
                       process_.exitStatus() == QProcess::NormalExit
                   ? process_.exitCode()
                   : -1;
    }
    QString Errors() { return QString::fromUtf8(process_.readAllStandardError()); }
    void Write(const QByteArray& bytes) { process_.write(bytes); }
    void Kill() {
        process_.kill();
        process_.waitForFinished();
    }
    void Terminate() { process_.terminate(); }

private:
    QProcess process_;
    QByteArray out_;
};

class ProgramTest : public testing::Test {
protected:
    QStringList dir() const { return {"--dir", folder}; }

    QTemporaryDir temp;
    QString folder = temp.filePath("sim");
};

TEST_F(ProgramTest, ALiveStandInKeepsItsFolder) {
    Program first(dir());
    ASSERT_EQ(first.Lines(1), QStringList{"serving in " + folder});
    Program second(dir());
    EXPECT_EQ(second.Finished(), 1);
    EXPECT_TRUE(second.Errors().startsWith("error: "));
    // The refused one took nothing from the first.
    LocalFsuipcTransport transport(folder.toStdString());
    EXPECT_EQ(transport.FindServerWindow(), FsuipcTransport::ServerWindow::Uipcmain);
}

TEST_F(ProgramTest, AKilledStandInsSocketsAreTakenOver) {
    Program first(dir());
    ASSERT_EQ(first.Lines(1), QStringList{"serving in " + folder});
    first.Kill();
    ASSERT_TRUE(exists(folder + "/UIPCMAIN"));
    Program second(dir());
    EXPECT_EQ(second.Lines(1), QStringList{"serving in " + folder})
        << second.Errors().toStdString();
}

TEST_F(ProgramTest, QuitAndSignalsRemoveTheSockets) {
    for (bool by_signal : {false, true}) {
        Program program(dir() + QStringList{"--fallback-window"});
        ASSERT_EQ(program.Lines(1), QStringList{"serving in " + folder});
        ASSERT_TRUE(exists(folder + "/FS98MAIN"));
        EXPECT_FALSE(exists(folder + "/UIPCMAIN"));
        if (by_signal) {
            program.Terminate();
        } else {
            program.Write("quit\n");
            EXPECT_EQ(program.Lines(1), QStringList{"ok"});
        }
        EXPECT_EQ(program.Finished(), 0) << "by signal: " << by_signal;
        EXPECT_FALSE(exists(folder + "/FS98MAIN")) << "by signal: " << by_signal;
        EXPECT_FALSE(exists(folder + "/SimConnect")) << "by signal: " << by_signal;
    }
}

TEST_F(ProgramTest, LinesArrivingTogetherAreEachAnsweredInOrder) {
    Program program(dir());
    ASSERT_EQ(program.Lines(1), QStringList{"serving in " + folder});
    program.Write("set lat 1\nset lat 2\nbogus\ndump\nquit\nset lat 3\n");
    const QStringList answers = program.Lines(6);
    ASSERT_EQ(answers.size(), 5) << "nothing after quit";
    EXPECT_EQ(answers[0], "ok");
    EXPECT_EQ(answers[1], "ok");
    EXPECT_TRUE(answers[2].startsWith("error: "));
    EXPECT_EQ(QJsonDocument::fromJson(answers[3].toUtf8()).object().value("aircraft")["lat"], 2);
    EXPECT_EQ(answers[4], "ok");
    EXPECT_EQ(program.Finished(), 0);
}

TEST_F(ProgramTest, BadOptionsStopTheStart) {
    for (const QStringList& options :
         {QStringList{"--fsuipc-version", "zz"}, QStringList{"--sim-version", "1FADE0008"},
          QStringList{"--sim-version", ""}}) {
        Program program(dir() + options);
        EXPECT_EQ(program.Finished(), 1) << options.join(' ').toStdString();
        EXPECT_FALSE(exists(folder + "/UIPCMAIN"));
    }
}

TEST_F(ProgramTest, HelpDocumentsEveryOptionAndCommand) {
    Program program({"--help"});
    EXPECT_EQ(program.Finished(), 0);
    const QString help = program.Lines(200).join('\n');
    for (const char* needle : {"--dir",         "--fsuipc-version",
                               "--sim-version", "--fallback-window",
                               "set lat",       "set lon",
                               "set alt_ft",    "set gs_kt",
                               "set heading",   "set pitch",
                               "set bank",      "set xpd",
                               "set engines",   "set zulu",
                               "set local",     "set ready",
                               "set title",     "set type",
                               "set model",     "set id",
                               "set airline",   "set plan_path",
                               "menu",          "metar",
                               "dump",          "quit"}) {
        EXPECT_TRUE(help.contains(needle)) << needle;
    }
    for (const char* needle : {"simconnect hold", "simconnect release", "simconnect drop"}) {
        EXPECT_TRUE(help.contains(needle)) << needle;
    }
}

}  // namespace
}  // namespace tavoro::simhost
