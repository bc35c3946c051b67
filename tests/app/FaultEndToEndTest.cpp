#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QMetaObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>

#include "app/App.h"
#include "app/TForm1.h"
#include "atc/ReceiveQueue.h"
#include "core/IniFile.h"
#include "core/Settings.h"
#include "support/EndToEnd.h"
#include "support/EventLoop.h"
#include "support/ProgramProcessFolder.h"
#include "support/Seed.h"

namespace tavoro {
namespace {

using namespace std::chrono_literals;
using test::RunEventsFor;
using test::WaitUntil;

// Sanitizer builds run several times slower: the longest case does less there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// The process's resident memory, in KiB, as the kernel counts it; 0 when unknown.
long residentKib() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    static const QRegularExpression kRss(R"(^VmRSS:\s+(\d+) kB$)");
    for (const QByteArray& line : status.readAll().split('\n')) {
        auto match = kRss.match(QString::fromLatin1(line));
        if (match.hasMatch()) {
            return match.captured(1).toLong();
        }
    }
    return 0;
}

// How long the event loop takes to answer: a thread of its own posts a call to it every few
// milliseconds, one at a time, and keeps the longest wait for one to run.
class LoopWatch {
public:
    LoopWatch() : thread_([this] { run(); }) {}
    ~LoopWatch() {
        stop_ = true;
        thread_.join();
    }

    std::chrono::milliseconds longest() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::nanoseconds(longest_ns_.load()));
    }
    int answered() const { return answered_; }

private:
    static std::int64_t now() {
        return std::chrono::steady_clock::now().time_since_epoch().count();
    }

    void run() {
        while (!stop_) {
            if (!waiting_) {
                waiting_ = true;
                posted_ns_ = now();
                QMetaObject::invokeMethod(
                    &receiver_,
                    [this] {
                        longest_ns_ = std::max(longest_ns_.load(), now() - posted_ns_.load());
                        ++answered_;
                        waiting_ = false;
                    },
                    Qt::QueuedConnection);
            }
            std::this_thread::sleep_for(5ms);
        }
    }

    QObject receiver_;  // lives on the event loop's thread; a call left posted dies with it
    std::atomic<bool> stop_{false};
    std::atomic<bool> waiting_{false};
    std::atomic<std::int64_t> posted_ns_{0};
    std::atomic<std::int64_t> longest_ns_{0};
    std::atomic<int> answered_{0};
    std::thread thread_;
};

// The whole program against both stand-ins when one of them fails: a server that dies,
// drops the pilot, floods or talks garbage, a simulator killed mid-exchange.
class FaultEndToEndTest : public test::EndToEnd {
protected:
    void SetUp() override {
        EndToEnd::SetUp();
        SimulatorSays({"set lat 41.8", "set lon 12.25", "set alt_ft 1500", "set gs_kt 0",
                       "set heading 135", "set xpd 1200", "set id F-GTAV", "set type C172",
                       "set model C172SP", "set engines 1", "set ready 1"});
    }

    // The position reports the server received since it last started.
    int reportsReceived() {
        return static_cast<int>(
            server_.ReceivedLines().filter(QRegularExpression("^@[NS]:")).size());
    }

    // Starts the program and waits for its first poll of the simulator, so that the
    // login carries the aircraft.
    std::unique_ptr<App> startPolled() {
        auto app = StartApp();
        EXPECT_TRUE(WaitUntil([&] { return mainWindow().Label_xpd->text() == "xpd:1200"; }));
        return app;
    }

    // A command the server answers with `note` once it applies it.
    void serverApplies(const QString& command, const QString& note) {
        const qsizetype before = server_.Output().count(note);
        server_.Command(command);
        ASSERT_TRUE(WaitUntil([&] { return server_.Output().count(note) > before; }))
            << command.toStdString();
    }
};

// The server dies while the pilot is logged in and reporting every 100 ms: the link shows
// it at once, and nothing more leaves the client, not even to a server started again on
// the same port, until the pilot connects again.
TEST_F(FaultEndToEndTest, AServerKilledMidSessionEndsTheLinkAndItsReports) {
    MakeProgramFolder(100);
    auto app = startPolled();
    const App::TestView view = app->test_view();
    TForm1& form = mainWindow();
    LogIn(*app);
    ASSERT_TRUE(WaitUntil([&] { return reportsReceived() >= 3; }));

    server_.Kill();
    ASSERT_TRUE(WaitUntil([&] { return !view.link.socket_connected(); }));
    EXPECT_FALSE(view.link.logged_in());
    EXPECT_EQ(view.link.socketState(), QAbstractSocket::UnconnectedState);
    EXPECT_EQ(form.Panel_server->colour(), kRed);
    EXPECT_EQ(form.Panel_server->bevel(), Bevel::Raised);
    EXPECT_EQ(form.StatusText(1), "server disconnected");

    ASSERT_TRUE(server_.Restart());
    // Ten report intervals: a report due meanwhile goes nowhere.
    RunEventsFor(1s);
    EXPECT_EQ(server_.ConnectedClients(), 0);
    EXPECT_TRUE(server_.ReceivedLines().isEmpty()) << server_.Output().join('\n').toStdString();
    EXPECT_EQ(form.Panel_server->colour(), kRed);

    // The pilot connects again: the link and the reports come back.
    LogIn(*app);
    EXPECT_TRUE(WaitUntil([&] { return reportsReceived() >= 1; }));
    EXPECT_EQ(server_.ReceivedLines().first().toStdString(),
              "#APF-GTAV:SERVER:Tavoro:pw:C172:C172SP:1");
}

// Each way a connection can end, by the server or by the pilot.
enum class Ending {
    kServerDrops,            // the server closes a logged-in connection
    kServerHangsUp,          // the server closes the connection as soon as it accepts it
    kLoginRefused,           // the server refuses the login; the client closes
    kPilotDisconnects,       // the pilot clicks the button while logged in
    kPilotLeavesAHeldLogin,  // the pilot clicks while the server holds the login
    kPilotClicksTwice,       // a second click restarts the attempt; the server drops it
    kServerKilled,           // the server dies while the pilot is logged in
    kNothingListens,         // the pilot connects while no server runs
};

struct EndingCase {
    Ending ending;
    const char* name;
    int status_panel;
    const char* status;  // what that status panel says once the connection is gone
};

constexpr EndingCase kEndings[] = {
    {Ending::kServerDrops, "server drops", 1, "server disconnected"},
    {Ending::kServerHangsUp, "server hangs up", 1, "server disconnected"},
    {Ending::kLoginRefused, "login refused", 0, "refusé: F-GTAVInvalid password"},
    {Ending::kPilotDisconnects, "pilot disconnects", 1, "server disconnected"},
    {Ending::kPilotLeavesAHeldLogin, "pilot leaves a held login", 1, "server disconnected"},
    {Ending::kPilotClicksTwice, "pilot clicks twice", 1, "server disconnected"},
    {Ending::kServerKilled, "server killed", 1, "server disconnected"},
    {Ending::kNothingListens, "nothing listens", 1, "erreur de connexion"},
};

// 300 connections in a row, each ended one of the ways above in an order the seed picks:
// every one leaves the link down and sound, and the pilot logs in afterwards as ever.
TEST_F(FaultEndToEndTest, ThreeHundredConnectionsEndedEveryWay) {
    MakeProgramFolder(100);
    auto app = startPolled();
    const App::TestView view = app->test_view();
    TForm1& form = mainWindow();
    StatePanel& button = *form.Panel_server;
    std::mt19937 random(test::TestSeed());
    std::uniform_int_distribution<std::size_t> pick(0, std::size(kEndings) - 1);

    // What the server was told, so that each round says only what changes.
    bool hangs_up = false;
    bool refuses = false;
    bool holds = false;
    auto serverMode = [&](bool hang_up, bool refuse, bool hold) {
        if (hang_up != hangs_up) {
            serverApplies(hang_up ? "hangup on" : "hangup off",
                          hang_up ? "note: new connections are closed at once"
                                  : "note: new connections are kept");
            hangs_up = hang_up;
        }
        if (refuse != refuses) {
            serverApplies(refuse ? "password other" : "password",
                          refuse ? "note: logins need the password other"
                                 : "note: every password is accepted");
            refuses = refuse;
        }
        if (hold != holds) {
            serverApplies(hold ? "hold" : "release", hold ? "note: logins are held until release"
                                                          : "note: logins are answered again");
            holds = hold;
        }
    };
    auto restartServer = [&] {
        ASSERT_TRUE(server_.Restart());
        hangs_up = refuses = holds = false;
    };
    auto down = [&] {
        return view.link.socketState() == QAbstractSocket::UnconnectedState &&
               button.colour() == kRed;
    };

    const int rounds = 300;
    for (int round = 0; round < rounds; ++round) {
        const EndingCase& c = kEndings[pick(random)];
        SCOPED_TRACE("round " + std::to_string(round) + ": " + c.name);
        form.SetStatusText(c.status_panel, "");
        serverMode(c.ending == Ending::kServerHangsUp, c.ending == Ending::kLoginRefused,
                   c.ending == Ending::kPilotLeavesAHeldLogin);
        ASSERT_FALSE(HasFatalFailure());
        if (c.ending == Ending::kNothingListens) {
            server_.Kill();
        }
        QTest::mouseClick(&button, Qt::LeftButton);
        switch (c.ending) {
            case Ending::kServerDrops:
                ASSERT_TRUE(WaitUntil([&] { return view.link.logged_in(); }));
                server_.Command("drop");
                break;
            case Ending::kPilotDisconnects:
                ASSERT_TRUE(WaitUntil([&] { return view.link.logged_in(); }));
                QTest::mouseClick(&button, Qt::LeftButton);
                break;
            case Ending::kPilotLeavesAHeldLogin:
                ASSERT_TRUE(WaitUntil([&] { return button.colour() == kLime; }));
                QTest::mouseClick(&button, Qt::LeftButton);
                break;
            case Ending::kPilotClicksTwice:
                // The first attempt has not connected yet: the click starts it over.
                ASSERT_EQ(button.colour(), kOrange);
                QTest::mouseClick(&button, Qt::LeftButton);
                ASSERT_TRUE(WaitUntil([&] { return view.link.logged_in(); }));
                server_.Command("drop");
                break;
            case Ending::kServerKilled:
                ASSERT_TRUE(WaitUntil([&] { return view.link.logged_in(); }));
                server_.Kill();
                break;
            case Ending::kServerHangsUp:
            case Ending::kLoginRefused:
            case Ending::kNothingListens:
                break;
        }
        ASSERT_TRUE(WaitUntil([&] {
            return down() && form.StatusText(c.status_panel) == c.status;
        })) << "status: "
            << form.StatusText(c.status_panel).toStdString();
        EXPECT_FALSE(view.link.socket_connected());
        EXPECT_FALSE(view.link.logged_in());
        if (!server_.running()) {
            restartServer();
            ASSERT_FALSE(HasFatalFailure());
        }
        ASSERT_TRUE(dialogs_.asked().empty()) << dialogs_.unexpected().join("; ").toStdString();
    }

    serverMode(false, false, false);
    const int reports_before = reportsReceived();
    LogIn(*app);
    EXPECT_EQ(button.colour(), kGreen);
    EXPECT_TRUE(WaitUntil([&] { return reportsReceived() > reports_before; }));
}

// The simulator dies while the client polls it every few milliseconds and the pilot is
// logged in: the exchange fails for good, the link closes and the pilot is logged off. A
// simulator started again is linked by a click on its button, and polled again.
TEST_F(FaultEndToEndTest, ASimulatorKilledMidExchangeIsLinkedAgainByTheUser) {
    MakeProgramFolder(1000);
    auto app = StartApp();
    const App::TestView view = app->test_view();
    TForm1& form = mainWindow();
    ASSERT_TRUE(WaitUntil([&] { return timer("Timer2").IsActive(); }));
    LogIn(*app);
    QStringList exchange_errors;
    QObject::connect(&view.sim_link, &SimulatorLink::statusMessage, &view.sim_link,
                     [&](int panel, const QString& text) {
                         if (panel == SimulatorLink::kPollingPanel) {
                             exchange_errors << text;
                         }
                     });

    // Polling at a fast beat, the kill comes from another thread at a moment the seed
    // picks, in an exchange or between two.
    timer("Timer2").SetInterval(2);
    std::mt19937 random(test::TestSeed());
    const auto delay =
        std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 300)(random));
    const auto pid = static_cast<pid_t>(host_.processId());
    ASSERT_GT(pid, 0);
    std::thread killer([pid, delay] {
        std::this_thread::sleep_for(delay);
        ::kill(pid, SIGKILL);
    });
    const bool closed = WaitUntil([&] { return form.Panel_FSX->colour() == kRed; });
    killer.join();
    ASSERT_TRUE(closed);

    EXPECT_TRUE(exchange_errors.contains("Processing: IPC sendmessage failed all retries"))
        << exchange_errors.join('\n').toStdString();
    EXPECT_EQ(form.Panel_FSX->bevel(), Bevel::Raised);
    EXPECT_FALSE(timer("Timer2").IsActive());
    EXPECT_TRUE(server_.WaitForReceived("#DPF-GTAV"));
    EXPECT_TRUE(WaitUntil([&] { return !view.link.socket_connected(); }));
    EXPECT_EQ(form.Panel_server->colour(), kRed);

    // A new simulator in the same place, a new aircraft in it.
    ASSERT_TRUE(host_.Restart());
    SimulatorSays(
        {"set xpd 4321", "set id F-HNEW", "set type C172", "set model C172SP", "set ready 1"});
    timer("Timer2").SetInterval(100);
    QTest::mouseClick(form.Panel_FSX, Qt::LeftButton);
    EXPECT_EQ(form.Panel_FSX->colour(), kGreen);
    EXPECT_EQ(form.StatusText(0), "connecté FSX");
    ASSERT_TRUE(WaitUntil([&] { return timer("Timer2").IsActive(); }));
    EXPECT_TRUE(WaitUntil([&] { return form.Label_ID->text() == "F-HNEW/C172SP"; }));
    EXPECT_TRUE(WaitUntil([&] { return form.Label_xpd->text() == "xpd:4321"; }));
    // Polls keep coming, and the simulator's messages with them.
    int polls = 0;
    QObject::connect(&view.sim_link, &SimulatorLink::stateUpdated, &view.sim_link,
                     [&] { ++polls; });
    EXPECT_TRUE(WaitUntil([&] { return polls >= 5; }));
    EXPECT_TRUE(view.sim_link.simconnect_open());
    EXPECT_EQ(host_.Dump()["menu_items"].toArray().size(), 4);
}

struct FloodCase {
    const char* name;
    bool random;  // random bytes of every value, else one line that never ends
};

void PrintTo(const FloodCase& c, std::ostream* out) {
    *out << c.name;
}

class FloodTest : public FaultEndToEndTest, public ::testing::WithParamInterface<FloodCase> {};

// A logged-in client gets 20 MB in one go. The window keeps answering throughout, the
// client holds no more than the line it is cutting, its memory does not run away, the
// connection stays up, and the next line the server sends is handled.
TEST_P(FloodTest, TheWindowKeepsAnsweringAndMemoryStaysBounded) {
    constexpr int kFloodBytes = 20'000'000;
    MakeProgramFolder(1000);
    auto app = StartApp();
    const App::TestView view = app->test_view();
    TForm1& form = mainWindow();
    LogIn(*app);
    const long rss_before = residentKib();

    const QString command =
        GetParam().random ? QStringLiteral("random %1 %2").arg(kFloodBytes).arg(test::TestSeed())
                          : QStringLiteral("flood %1").arg(kFloodBytes);
    server_.Command(command);

    bool all_sent = false;
    const auto flooded = [&] {
        all_sent =
            all_sent || !server_.Output().filter(QRegularExpression(R"(\] all sent$)")).isEmpty();
        return all_sent && view.link.receiveQueue().empty();
    };
    {
        LoopWatch watch;
        ASSERT_TRUE(WaitUntil(flooded, 120s));
        // What the system still buffered is read, and its last tick run.
        RunEventsFor(500ms);
        ASSERT_TRUE(WaitUntil(flooded));
        EXPECT_GT(watch.answered(), 0);
        EXPECT_LT(watch.longest(), 2s);
    }
    // Of a line that has not ended yet nothing beyond the longest line is held; of one
    // past it, nothing at all.
    if (GetParam().random) {
        EXPECT_LE(view.link.receiveQueue().queued_bytes(), ReceiveQueue::kMaxLineBytes);
    } else {
        EXPECT_EQ(view.link.receiveQueue().queued_bytes(), 0u);
    }
    // The sanitizer keeps freed memory aside for a while (256 MiB by default) before it
    // reuses it.
    const long margin_kib = (kSanitized ? 1024L : 256L) * 1024;
    const long rss_after = residentKib();
    if (rss_before > 0 && rss_after > 0) {
        EXPECT_LT(rss_after - rss_before, margin_kib) << "KiB more resident memory";
    }

    EXPECT_TRUE(view.link.logged_in());
    server_.Command("send END");  // ends whatever line the flood left open
    server_.Command("ai MARK 1");
    EXPECT_TRUE(WaitUntil([&] { return form.StatusText(1) == "$ControlAIMARK1"; }))
        << form.StatusText(1).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Floods, FloodTest,
                         ::testing::Values(FloodCase{"line_without_end", false},
                                           FloodCase{"random_bytes", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The configuration the kill test starts each round from: 3.5 MB, mostly facility texts,
// with values the close step changes at its start, in its middle and at its end.
std::string largeConfiguration(const std::string& sim_folder) {
    std::string text = "; written by the fault test\n[ATIS]\naudio=True\n[FSX]\nDIR=" + sim_folder +
                       "\n[envoi]\navion=1000\n[connect]\nport=6809\npassword=pw\n";
    for (const char* table : {"turbulence", "shear", "cloud typ", "icing rate"}) {
        text += std::string("[") + table + "]\n";
        for (int i = 0; i < 20; ++i) {
            text += "c" + std::to_string(i) + "=" + table + " text " + std::to_string(i) + "\n";
        }
    }
    text += "[facility]\n";
    // A quarter of it in a sanitizer build, where reading it takes seconds.
    const int facilities = kSanitized ? 12'000 : 50'000;
    for (int i = 0; i < facilities; ++i) {
        text += "F" + std::to_string(i) + "=Facility number " + std::to_string(i) +
                ", with a text long enough to fill the file\n";
    }
    return text;
}

std::string fileText(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Whether the save in process `pid` is writing the new content into `folder`: it holds a
// file there that has no name yet (the system's unnamed temporary file), or a temporary
// copy beside the file exists (where there are no unnamed files).
bool writingNewContent(qint64 pid, const QString& folder) {
    std::error_code error;
    const std::filesystem::path fds = "/proc/" + std::to_string(pid) + "/fd";
    for (const auto& fd : std::filesystem::directory_iterator(fds, error)) {
        const std::string target = std::filesystem::read_symlink(fd.path(), error).string();
        if (target.rfind(folder.toStdString() + "/#", 0) == 0) {
            return true;
        }
    }
    return !QDir(folder).entryList({"corvanta.ini.*"}, QDir::Files | QDir::Hidden).isEmpty();
}

ino_t inodeOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

// The real program is killed (SIGKILL) again and again while its close step saves the
// settings into a file of a few MB, most often while the new content is being written:
// the file is always the old one or the new one, whole, and nothing left beside it keeps
// the next start from running and saving.
TEST(ConfigurationKillTest, AKillDuringTheSaveLeavesTheOldFileOrTheNewOne) {
    test::SimHostProcess host;
    ASSERT_TRUE(host.started());
    test::ProgramProcessFolder folder(TAVORO_CLIENT_PATH, host.folder());
    ASSERT_TRUE(folder.copied());
    const std::string before = largeConfiguration(folder.config().MakeSimulatorFolder());
    const QString program_folder = folder.config().folder();
    // The folder's entries now, but for the file's temporary copies.
    const auto others = [&] {
        QStringList names =
            QDir(program_folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden);
        names.removeIf([](const QString& name) { return name.startsWith("corvanta.ini."); });
        return names;
    };
    const QStringList entries_before = others();

    // What the save makes of it, as the same code computes it here.
    std::string after;
    {
        test::TempConfig copy;
        copy.Write(before);
        IniFile ini(copy.path());
        Settings settings;
        CodeTables tables;
        ASSERT_FALSE(LoadSettings(ini, settings, tables).conversion_error);
        ASSERT_TRUE(SaveSettings(ini, settings));
        after = copy.Read();
    }
    ASSERT_NE(after, before);

    // The program is up once its menu shows in the simulator, where the menu of the one
    // before it is gone by then.
    auto menuItems = [&] { return host.Dump()["menu_items"].toArray().size(); };
    auto startProgram = [&](QProcess& program) {
        folder.config().Write(before);
        return WaitUntil([&] { return menuItems() == 0; }) && folder.Start(program) &&
               WaitUntil(
                   [&] { return menuItems() == 4 || program.state() == QProcess::NotRunning; }) &&
               program.state() == QProcess::Running;
    };

    // Once to the end: when, after the signal, the new content is written and when it
    // takes the file's name, and that it is what is expected. Watched without the event
    // loop, in microseconds.
    qint64 write_start_us = -1;
    qint64 write_end_us = -1;
    {
        QProcess program;
        ASSERT_TRUE(startProgram(program)) << program.readAll().toStdString();
        const ino_t old_inode = inodeOf(folder.ini());
        QElapsedTimer clock;
        clock.start();
        program.terminate();
        while (write_end_us < 0 && clock.elapsed() < 30000) {
            if (write_start_us < 0 && writingNewContent(program.processId(), program_folder)) {
                write_start_us = clock.nsecsElapsed() / 1000;
            }
            if (inodeOf(folder.ini()) != old_inode) {
                write_end_us = clock.nsecsElapsed() / 1000;
            }
        }
        ASSERT_GE(write_end_us, 0) << "the file was never replaced";
        // Never seen writing: the whole time up to the replacement is the window.
        write_start_us = std::max<qint64>(write_start_us, 0);
        ASSERT_TRUE(program.waitForFinished(30000));
        ASSERT_EQ(program.exitCode(), 0);
        ASSERT_EQ(fileText(folder.ini()), after);
    }

    // Half the kills while the new content is written, found as the program writes it;
    // a quarter before, a quarter after it took the file's name.
    enum class Moment { kBefore, kWriting, kAfter };
    const Moment moments[] = {Moment::kBefore, Moment::kWriting, Moment::kWriting, Moment::kAfter};
    std::mt19937 random(test::TestSeed());
    std::uniform_int_distribution<std::size_t> pick(0, std::size(moments) - 1);
    std::uniform_int_distribution<qint64> before_us(0, write_start_us);
    std::uniform_int_distribution<qint64> within_us(0, write_end_us - write_start_us);
    const int rounds = kSanitized ? 20 : 50;
    int old_files = 0;
    int new_files = 0;
    int writes_cut = 0;  // kills that came while the new content was written
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        QProcess program;
        ASSERT_TRUE(startProgram(program)) << program.readAll().toStdString();
        // The copies an earlier kill left did not keep it from starting; they go now, so
        // that the test leaves no more than a file's worth of them on the disk.
        for (const QString& name :
             QDir(program_folder).entryList({"corvanta.ini.*"}, QDir::Files | QDir::Hidden)) {
            QFile::remove(QDir(program_folder).filePath(name));
        }
        const ino_t old_inode = inodeOf(folder.ini());
        const auto pid = static_cast<pid_t>(program.processId());
        const Moment moment = moments[pick(random)];
        QElapsedTimer clock;
        clock.start();
        ::kill(pid, SIGTERM);
        bool writing = false;
        if (moment == Moment::kBefore) {
            std::this_thread::sleep_for(std::chrono::microseconds(before_us(random)));
        } else {
            while (clock.elapsed() < 30000 && inodeOf(folder.ini()) == old_inode &&
                   !(moment == Moment::kWriting &&
                     (writing = writingNewContent(pid, program_folder)))) {
            }
            std::this_thread::sleep_for(std::chrono::microseconds(within_us(random)));
        }
        ::kill(pid, SIGKILL);
        ASSERT_TRUE(program.waitForFinished(30000));

        const std::string now = fileText(folder.ini());
        if (now == before) {
            ++old_files;
            writes_cut += writing ? 1 : 0;
        } else if (now == after) {
            ++new_files;
        } else {
            FAIL() << "a torn file of " << now.size() << " bytes (old " << before.size() << ", new "
                   << after.size() << ")";
        }
        EXPECT_EQ(others(), entries_before);
    }
    // Kills fell on both sides of the moment the new file took the old one's place, and
    // some in the middle of its writing.
    EXPECT_GT(old_files, 0);
    EXPECT_GT(new_files, 0);
    EXPECT_GT(writes_cut, 0);

    // The next start runs and saves as ever.
    QProcess program;
    ASSERT_TRUE(startProgram(program)) << program.readAll().toStdString();
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_EQ(fileText(folder.ini()), after);
}

}  // namespace
}  // namespace tavoro
