#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "support/AtcServerProcess.h"
#include "support/EventLoop.h"

namespace tavoro {
namespace {

using test::AtcServerProcess;
using test::WaitUntil;

constexpr char kWine[] = "/usr/lib/wine/wine64";

// A Windows program under Wine, its output read line by line. Killed when destroyed.
class WineProcess {
public:
    WineProcess(const QString& folder, const QString& program, const QStringList& arguments,
                const QString& pipe) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("WINEDEBUG", "-all");
        // The test's own platform choice is not the Windows program's.
        environment.remove("QT_QPA_PLATFORM");
        environment.insert("TAVORO_SIM_PIPE", pipe);
        process_.setProcessEnvironment(environment);
        process_.setWorkingDirectory(folder);
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start(kWine, QStringList{QDir(folder).filePath(program)} + arguments);
        process_.waitForStarted(30000);
    }
    ~WineProcess() {
        process_.kill();
        process_.waitForFinished(10000);
    }

    // One command and its answer line; empty when none came.
    QString Command(const QString& line) {
        process_.write((line + "\n").toUtf8());
        process_.waitForBytesWritten(10000);
        return NextLine();
    }
    QString NextLine() {
        QString line;
        WaitUntil(
            [&] {
                pending_ += process_.readAllStandardOutput();
                const int end = pending_.indexOf('\n');
                if (end < 0) {
                    return process_.state() == QProcess::NotRunning;
                }
                line = QString::fromUtf8(pending_.left(end)).trimmed();
                pending_.remove(0, end + 1);
                return true;
            },
            std::chrono::seconds(60));
        return line;
    }
    QJsonObject Dump() { return QJsonDocument::fromJson(Command("dump").toUtf8()).object(); }
    // True when the program ended by itself with exit code 0 within the time.
    bool EndsCleanly(int timeout_ms) {
        return process_.waitForFinished(timeout_ms) &&
               process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
    }

private:
    QProcess process_;
    QByteArray pending_;
};

// An X tool's output, or the empty text when it failed.
QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// Copies every file below `from` into `to`, folders included.
void copyFolder(const QDir& from, const QDir& to) {
    for (const QFileInfo& entry :
         from.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (entry.isDir()) {
            to.mkpath(entry.fileName());
            copyFolder(QDir(entry.filePath()), QDir(to.filePath(entry.fileName())));
        } else {
            QFile::copy(entry.filePath(), to.filePath(entry.fileName()));
        }
    }
}

// The Windows path Wine gives a Linux one (its drive Z: is the root).
QString windowsPath(const QString& path) {
    return "Z:" + QString(path).replace('/', '\\');
}

class WindowsEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.started());
        ASSERT_TRUE(folder_.isValid());
        pipe_ = QStringLiteral("tavoro-e2e-%1").arg(QCoreApplication::applicationPid());
        // The package as a pilot unpacks it, with the stand-in simulator and the stand-in
        // SimConnect.dll added beside the program, where the simulator's own would be found.
        const QDir bin(TAVORO_WINDOWS_BIN);
        const QDir package(bin.filePath("../package/tavoro"));
        const QDir program(folder_.path());
        ASSERT_TRUE(package.exists("tavoro.exe")) << "no package: run scripts/build-windows.sh";
        copyFolder(package, program);
        for (const QString& file :
             {QStringLiteral("SimConnect.dll"), QStringLiteral("tavoro-simhost.exe")}) {
            ASSERT_TRUE(QFile::copy(bin.filePath(file), program.filePath(file)))
                << file.toStdString();
        }
        program.mkdir("sim");
        QFile(program.filePath("sim/FSX.exe")).open(QIODevice::WriteOnly);
        const QString config =
            run("bash", {TAVORO_DEMO_CONFIG, windowsPath(program.filePath("sim")),
                         QString::number(server_.port())})
                .replace(QRegularExpression("^DIR=.*$", QRegularExpression::MultilineOption),
                         "DIR=" + windowsPath(program.filePath("sim")) + "\\");
        ASSERT_FALSE(config.isEmpty());
        QFile ini(program.filePath("corvanta.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(config.toUtf8() + "\n");
    }

    // The main window's X id, once its caption carries the simulator's clock.
    QString waitForWindow() {
        QString window;
        WaitUntil(
            [&] {
                window = run("xdotool", {"search", "--name", "^Tavoro 3\\.81    Zulu:"})
                             .section('\n', 0, 0);
                return !window.isEmpty();
            },
            std::chrono::seconds(90));
        return window;
    }

    AtcServerProcess server_;
    QTemporaryDir folder_;
    QString pipe_;
};

TEST_F(WindowsEndToEndTest, TheWindowsClientFliesAgainstTheStandIns) {
    WineProcess sim(folder_.path(), "tavoro-simhost.exe", {"--pipe", pipe_}, pipe_);
    ASSERT_TRUE(sim.NextLine().startsWith("serving"))
        << "the Windows stand-in simulator did not start";
    for (const char* command :
         {"set lat 48.7251", "set lon 2.3552", "set alt_ft 350", "set gs_kt 0", "set heading 270",
          "set xpd 1200", "set id F-GTAV", "set type C172", "set model C172SP", "set engines 1",
          "set zulu 12:30:00", "set local 14:30"}) {
        ASSERT_EQ(sim.Command(command), "ok") << command;
    }
    WineProcess client(folder_.path(), "tavoro.exe", {}, pipe_);

    // The window appears with the simulator's clock in its caption.
    const QString window = waitForWindow();
    ASSERT_FALSE(window.isEmpty());
    EXPECT_TRUE(QRegularExpression(R"(^Tavoro 3\.81    Zulu:12:3\d Local:14:3\d$)")
                    .match(run("xdotool", {"getwindowname", window}))
                    .hasMatch())
        << run("xdotool", {"getwindowname", window}).toStdString();

    // A second start ends at once, with no window of its own.
    WineProcess second(folder_.path(), "tavoro.exe", {}, pipe_);
    EXPECT_TRUE(second.EndsCleanly(60000));
    EXPECT_EQ(run("xdotool", {"search", "--name", "^Tavoro 3\\.81"}).split('\n').size(), 1);

    // The simulator's menu shows it (it starts minimized), and a click on the server panel
    // logs in.
    ASSERT_EQ(sim.Command("menu 1"), "ok");
    ASSERT_TRUE(WaitUntil([&] {
        return run("xwininfo", {"-id", window}).contains("Map State: IsViewable");
    }));
    test::RunEventsFor(std::chrono::seconds(1));
    run("xdotool", {"mousemove", "--window", window, "97", "37", "click", "1"});
    ASSERT_TRUE(server_.WaitForReceived("#APF-GTAV:SERVER:Tavoro demo:demo:C172:C172SP:1"))
        << server_.ReceivedLines().join("\n").toStdString();

    // The exact position report from the stand-in's aircraft: 350 ft goes out as 349, the
    // altitude's fraction word being read as decimal digits, as on Linux.
    EXPECT_TRUE(server_.WaitForReceived("@S:F-GTAV:1200:1:48.72510: 2.35520:  349:   0:270:1:0"))
        << server_.ReceivedLines().join("\n").toStdString();

    // A failure pushed by the server reaches the simulator.
    server_.Command("failure 0");
    EXPECT_TRUE(WaitUntil(
        [&] { return sim.Dump()["failures"].toObject()["TOGGLE_ENGINE1_FAILURE"].toBool(); }));
}

}  // namespace
}  // namespace tavoro
