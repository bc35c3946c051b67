#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "app/App.h"
#include "app/TForm1.h"
#include "flightplan/TForm_edit.h"
#include "sim/TForm_objet.h"
#include "support/AtcServerProcess.h"
#include "support/EventLoop.h"
#include "support/FakeSimulator.h"
#include "support/ModalAnswerer.h"
#include "support/SimHostProcess.h"

namespace tavoro {
namespace {

using test::AtcServerProcess;
using test::ModalAnswerer;
using test::WaitUntil;

ReverseLookup fixedReverseName() {
    return [](const QHostAddress&, QObject*, std::function<void(const QString&)> done) {
        done("atc.example");
    };
}

QColor colourOf(const QWidget* widget) {
    return widget->palette().color(QPalette::Window);
}

// A program folder of its own per test: the configuration file and a simulator folder.
class ShellTest : public ::testing::Test {
protected:
    ShellTest() {
        QDir(dir_.path()).mkpath("sim");
        touch("sim/FSX.exe");
    }

    QString path(const QString& name) const { return QDir(dir_.path()).filePath(name); }
    void touch(const QString& name) {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    std::string simFolder() const { return path("sim").toStdString() + "/"; }

    void writeIni(const std::string& content) {
        std::ofstream out(path("corvanta.ini").toStdString(), std::ios::binary);
        out << content;
    }
    std::string ini() const {
        std::ifstream in(path("corvanta.ini").toStdString(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // A configuration under which start-up asks nothing.
    std::string quietIni(quint16 port = 6809, const std::string& extra = "") const {
        return "[FSX]\nDIR=" + simFolder() + "\n[envoi]\navion=1000\n[connect]\nserveur=Tavoro\n" +
               "adresse=127.0.0.1\nport=" + std::to_string(port) + "\npassword=pw\n" + extra;
    }

    // The program with an in-memory simulator; fsuipc_ and simconnect_ watch it.
    std::unique_ptr<App> startApp() {
        auto fsuipc = std::make_unique<test::FakeFsuipcServer>();
        auto simconnect = std::make_unique<test::FakeSimConnect>();
        fsuipc_ = fsuipc.get();
        simconnect_ = simconnect.get();
        auto app =
            std::make_unique<App>(AppPaths{dir_.path(), dir_.path()}, fixedReverseName(),
                                  SimulatorPlatform{std::move(fsuipc), std::move(simconnect)});
        app->Start();
        return app;
    }

    test::FakeFsuipcServer* fsuipc_ = nullptr;
    test::FakeSimConnect* simconnect_ = nullptr;

    QTemporaryDir dir_;
    ModalAnswerer answerer_;
};

TEST_F(ShellTest, StartsWithItsWindowsTimersAndPanelsAtRest) {
    writeIni(quietIni());
    auto app = startApp();
    TForm1& form = app->Form1();
    EXPECT_EQ(form.windowTitle(), "Tavoro 3.81");
    EXPECT_TRUE(form.isMinimized());
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMinMaxButtonsHint);
    EXPECT_EQ(form.Label_ID->text(), "Inconnu");
    EXPECT_EQ(form.Panel_server->caption(), "ATC server");
    EXPECT_EQ(form.Button2->text(), "X");
    EXPECT_EQ(app->Form_edit().objectName(), "Form_edit");
    EXPECT_EQ(app->Form_objet().objectName(), "Form_objet");
    EXPECT_TRUE(answerer_.shown().isEmpty());

    // Exactly the colours of the link states, whatever the platform's palette.
    EXPECT_EQ(colourOf(form.Panel_server), QColor(255, 0, 0));
    EXPECT_EQ(form.Panel_server->frameShadow(), QFrame::Raised);
    EXPECT_EQ(form.Panel_charly->caption(), "S");
    EXPECT_EQ(colourOf(form.Panel_charly), QColor(255, 255, 0));

    for (QWidget* panel : {form.Panel_param, form.Panel_ATC, form.Panel_FP, form.Panel_meteo}) {
        EXPECT_TRUE(panel->isHidden()) << panel->objectName().toStdString();
    }

    // The simulator link opened at creation: only its ready wait runs.
    EXPECT_EQ(colourOf(form.Panel_FSX), QColor(0, 128, 0));
    EXPECT_EQ(form.Panel_FSX->frameShadow(), QFrame::Sunken);
    struct TimerCase {
        const char* name;
        int interval;
        bool active;
    };
    for (auto [name, interval, active] :
         {TimerCase{"Timer1", 10000, false}, TimerCase{"Timer2", 1000, false},
          TimerCase{"Timer3", 1000, true}, TimerCase{"Timer6", 5000, false}}) {
        auto* timer = form.findChild<QTimer*>(name);
        ASSERT_NE(timer, nullptr) << name;
        EXPECT_EQ(timer->interval(), interval) << name;
        EXPECT_EQ(timer->isActive(), active) << name;
    }
    EXPECT_EQ(app->link().Timer4().Interval(), 1000);
    EXPECT_FALSE(app->link().Timer4().IsActive());
    EXPECT_EQ(app->link().Timer5().Interval(), 100);
    EXPECT_FALSE(app->link().Timer5().IsActive());

    auto* bar = form.findChild<QStatusBar*>("StatusBar1");
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->findChild<QLabel*>("StatusBar1_panel0")->width(), 100);
    EXPECT_EQ(bar->findChild<QLabel*>("StatusBar1_panel1")->width(), 200);
    EXPECT_FALSE(form.objet1->isVisible());
}

TEST_F(ShellTest, MenuShowsOnePanelAtATime) {
    writeIni(quietIni());
    auto app = startApp();
    TForm1& form = app->Form1();
    const std::uint64_t atc_list_before = app->atc_list().list_generation();
    QSignalSpy weather(&form, &TForm1::weatherRequested);
    struct Step {
        QAction* item;
        QWidget* panel;
    };
    for (auto [item, panel] :
         {Step{form.listeATC1, form.Panel_ATC}, Step{form.Plandevol1, form.Panel_FP},
          Step{form.meteo1, form.Panel_meteo}, Step{form.parametres1, form.Panel_param},
          Step{form.listeATC1, form.Panel_ATC}}) {
        item->trigger();
        for (QWidget* each : {form.Panel_param, form.Panel_ATC, form.Panel_FP, form.Panel_meteo}) {
            EXPECT_EQ(each->isHidden(), each != panel)
                << item->objectName().toStdString() << ": " << each->objectName().toStdString();
        }
    }
    // Each "liste ATC" rebuilt the station list, and nothing else did.
    EXPECT_EQ(app->atc_list().list_generation(), atc_list_before + 2);
    EXPECT_EQ(weather.count(), 1);
}

struct ShowCase {
    const char* name;
    std::vector<const char*> executables;  // in the configured folder
    bool asks;                             // whether the path dialog opens
    const char* picked;                    // file picked there, or nullptr to cancel
    const char* sim_type;
};

class ShowStepTest : public ShellTest, public ::testing::WithParamInterface<ShowCase> {};

TEST_P(ShowStepTest, FindsTheSimulator) {
    const ShowCase& c = GetParam();
    QDir(dir_.path()).mkpath("configured");
    QDir(dir_.path()).mkpath("elsewhere");
    for (const char* exe : c.executables) {
        touch(QString("configured/") + exe);
    }
    touch("elsewhere/Prepar3D.exe");
    const std::string configured = path("configured").toStdString() + "/";
    writeIni("[FSX]\nDIR=" + configured + "\n[envoi]\navion=1000\n");
    if (c.picked) {
        answerer_.QueueOpenFile(path(c.picked));
    } else {
        answerer_.QueueReject();
    }

    auto app = startApp();
    EXPECT_EQ(answerer_.shown().contains("Simutator path?"), c.asks);
    EXPECT_EQ(app->Form1().sim_type(), c.sim_type);
    EXPECT_EQ(app->Form1().Panel_FSX->caption(), c.sim_type);
    std::string expected_dir = c.asks && c.picked
                                   ? QFileInfo(path(c.picked)).absolutePath().toStdString() + "/"
                                   : configured;
    EXPECT_EQ(app->settings().sim_dir, expected_dir);
    EXPECT_EQ(app->ini().ReadString("FSX", "DIR", ""), expected_dir);
    EXPECT_TRUE(answerer_.unexpected().isEmpty())
        << answerer_.unexpected().join("; ").toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShowStepTest,
    ::testing::Values(
        ShowCase{"both_gives_P3D", {"FSX.exe", "Prepar3D.exe"}, false, nullptr, "P3D"},
        ShowCase{"fsx_only", {"FSX.exe"}, false, nullptr, "FSX"},
        ShowCase{"name_case_ignored", {"fsx.EXE"}, false, nullptr, "FSX"},
        ShowCase{"neither_cancelled", {}, true, nullptr, ""},
        ShowCase{"neither_picked", {}, true, "elsewhere/Prepar3D.exe", "P3D"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ShellTest, CancelledPathIsAskedAgainAtTheNextStart) {
    writeIni("[envoi]\navion=1000\n");
    answerer_.QueueReject();
    startApp().reset();
    EXPECT_EQ(answerer_.shown(), QStringList{"Simutator path?"});
    answerer_.QueueReject();
    startApp().reset();
    EXPECT_EQ(answerer_.shown(), (QStringList{"Simutator path?", "Simutator path?"}));
    EXPECT_EQ(ini().find("[FSX]"), std::string::npos);
}

TEST_F(ShellTest, UnreadableIntervalStopsCreationAfterTheMessage) {
    writeIni("[FSX]\nDIR=" + simFolder() + "\n[envoi]\navion=\n[turbulence]\nlgt=light\n");
    answerer_.QueueAccept();
    IniFile ini(path("corvanta.ini").toStdString());
    Settings settings;
    CodeTables tables;
    AircraftIdentity identity;
    AircraftState state;
    FailureState failures{};
    ServerLink link(settings, identity, state, fixedReverseName());
    test::FakeFsuipcServer server;
    test::FakeSimConnect library;
    FsuipcClient fsuipc(server);
    SimConnectClient simconnect(library);
    SimulatorLink sim_link(fsuipc, simconnect, state, identity, failures);
    PositionReports reports(link, identity, state, failures);
    StationTable stations(ini, state);
    AtcList atc_list(stations, state);
    AtisSelection atis(stations, atc_list, identity, [](std::string_view) {});
    auto context = [&] {
        return MainWindowContext{ini,      settings, tables, link,     sim_link,    reports,
                                 atc_list, atis,     state,  identity, dir_.path(), dir_.path()};
    };
    {
        TForm1 form(context());
        EXPECT_EQ(answerer_.shown(), QStringList{"'' n'est pas un nombre entier valide"});
        EXPECT_FALSE(form.settings_loaded());
        EXPECT_TRUE(tables[0].keys.empty());
        EXPECT_FALSE(sim_link.sim_link_up());
        EXPECT_EQ(server.sends, 0);

        // The user can still open the link from its panel.
        QTest::mouseClick(form.Panel_FSX, Qt::LeftButton);
        EXPECT_TRUE(sim_link.sim_link_up());
        QTest::mouseClick(form.Panel_FSX, Qt::LeftButton);
        EXPECT_FALSE(sim_link.sim_link_up());
    }

    writeIni(quietIni());
    TForm1 second(context());
    EXPECT_TRUE(second.settings_loaded());
    EXPECT_TRUE(sim_link.sim_link_up());
}

TEST_F(ShellTest, SettingsPanelEditsReachTheSettings) {
    writeIni(quietIni(6809, "[ATIS]\naudio=false\n"));
    auto app = startApp();
    TForm1& form = app->Form1();
    form.parametres1->trigger();
    EXPECT_EQ(form.Label_server->text(), "Tavoro");
    EXPECT_EQ(form.Edit_serveradresse->text(), "127.0.0.1");
    EXPECT_EQ(form.Edit_serverport->text(), "6809");
    EXPECT_FALSE(form.CheckBox_atis->isChecked());

    form.Edit_serveradresse->clear();
    QTest::keyClicks(form.Edit_serveradresse, "atc");
    EXPECT_EQ(app->settings().server_address, "atc");
    QTest::keyClicks(form.Edit_serveradresse, ".example");
    EXPECT_EQ(app->settings().server_address, "atc.example");
    QTest::keyClick(form.Edit_serverport, Qt::Key_Backspace);
    QTest::keyClicks(form.Edit_serverport, "0");
    EXPECT_EQ(app->settings().server_port, "6800");
    form.CheckBox_atis->click();
    EXPECT_TRUE(app->settings().atis_audio);

    form.close();
    // The address and the box reach the file at close; the port never does.
    EXPECT_NE(ini().find("adresse=atc.example"), std::string::npos);
    EXPECT_NE(ini().find("port=6809"), std::string::npos);
    EXPECT_NE(ini().find("audio=true"), std::string::npos);
}

TEST_F(ShellTest, ServerPanelConnectsLogsInAndDisconnects) {
    AtcServerProcess server;
    ASSERT_TRUE(server.started());
    writeIni(quietIni(server.port()));
    auto app = startApp();
    TForm1& form = app->Form1();

    QTest::mouseClick(form.Panel_server, Qt::LeftButton);
    EXPECT_EQ(colourOf(form.Panel_server), QColor(255, 85, 0));
    ASSERT_TRUE(WaitUntil([&] { return app->link().logged_in(); }));
    EXPECT_EQ(colourOf(form.Panel_server), QColor(0, 128, 0));
    EXPECT_EQ(form.Panel_server->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(form.StatusText(1), "connecté atc.example");

    QTest::mouseClick(form.Panel_server, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !app->link().socket_connected(); }));
    EXPECT_TRUE(server.WaitForReceived("#DP"));
    EXPECT_EQ(colourOf(form.Panel_server), QColor(255, 0, 0));
    EXPECT_EQ(form.Panel_server->frameShadow(), QFrame::Raised);
    EXPECT_EQ(form.StatusText(1), "server disconnected");
}

TEST_F(ShellTest, ClosingWhileOnlyConnectedSendsNoLogoff) {
    // A server that accepts the connection but never answers the login.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    QTcpSocket* peer = nullptr;
    QObject::connect(&silent, &QTcpServer::newConnection,
                     [&] { peer = silent.nextPendingConnection(); });
    writeIni(quietIni(silent.serverPort()));
    auto app = startApp();
    QSignalSpy closed(&app->Form1(), &TForm1::closed);
    // Another window holds the focus while the connection opens.
    app->Form_objet().show();
    app->Form_objet().activateWindow();
    ASSERT_TRUE(WaitUntil([&] { return app->Form_objet().isActiveWindow(); }));
    app->link().ConnectToServer();
    ASSERT_TRUE(WaitUntil([&] { return peer && app->link().socket_connected(); }));

    // Activation repaints the button from the connection alone: green, lowered, where
    // the link itself shows lime until the login is accepted.
    EXPECT_EQ(colourOf(app->Form1().Panel_server), QColor(0, 255, 0));
    app->Form1().Afficher();
    ASSERT_TRUE(WaitUntil([&] { return app->Form1().isActiveWindow(); }));
    EXPECT_EQ(colourOf(app->Form1().Panel_server), QColor(0, 128, 0));
    EXPECT_EQ(app->Form1().Panel_server->frameShadow(), QFrame::Sunken);

    app->Form1().close();
    EXPECT_EQ(closed.count(), 1);
    // Everything sent before the marker has arrived once the marker has.
    app->link().SendLine("MARK\r\n");
    QByteArray received;
    ASSERT_TRUE(WaitUntil([&] {
        received += peer->readAll();
        return received.contains("MARK\r\n");
    }));
    EXPECT_TRUE(received.startsWith("#AP"));
    EXPECT_FALSE(received.contains("#DP"));
}

TEST_F(ShellTest, ClosingWhenLoggedInSavesThenLogsOff) {
    AtcServerProcess server;
    ASSERT_TRUE(server.started());
    writeIni("; kept\n[envoi]\navion=1000\n[connect]\nserveur=Tavoro\nadresse=127.0.0.1\nport=" +
             std::to_string(server.port()) + "\npassword=pw\n[FSX]\nDIR=" + simFolder() + "\n");
    auto app = startApp();
    app->identity().atc_identifier = "ABC12";
    int removed = 0;
    simconnect_->on_call = [&](const std::string& name) {
        if (name == "MenuDeleteSubItem") {
            // The menu goes last: the settings are written and the logoff is sent by then.
            EXPECT_NE(ini().find("[ATIS]"), std::string::npos);
            EXPECT_NE(app->link().socketState(), QAbstractSocket::ConnectedState);
            ++removed;
        }
    };
    app->link().ConnectToServer();
    ASSERT_TRUE(WaitUntil([&] { return app->link().logged_in(); }));

    app->Form1().close();
    EXPECT_EQ(removed, 1);
    EXPECT_TRUE(server.WaitForReceived("#DPABC12"));
    EXPECT_EQ(ini(),
              "; kept\n[envoi]\navion=1000\n[connect]\nserveur=Tavoro\nadresse=127.0.0.1\nport=" +
                  std::to_string(server.port()) + "\npassword=pw\n[FSX]\nDIR=" + simFolder() +
                  "\n[ATIS]\naudio=false\n[TS]\nDIR=error\nadresse=error\npassword=error\n"
                  "nickname=error\n");
}

TEST_F(ShellTest, UnwritableConfigurationIsReportedAtClose) {
    // A folder where the file should be: nothing can be read from or written to it.
    QDir(dir_.path()).mkpath("corvanta.ini");
    answerer_.QueueAccept();  // the interval cannot be read either
    answerer_.QueueReject();  // nor the simulator folder: the path is asked for
    auto app = startApp();
    answerer_.QueueAccept();
    app->Form1().close();
    ASSERT_EQ(answerer_.shown().size(), 3);
    EXPECT_TRUE(answerer_.shown()[2].startsWith("Impossible d'écrire "))
        << answerer_.shown()[2].toStdString();
    EXPECT_TRUE(QFileInfo(path("corvanta.ini")).isDir());
}

TEST_F(ShellTest, HideAndShowFromTheSimulatorMenu) {
    writeIni(quietIni());
    auto app = startApp();
    TForm1& form = app->Form1();
    form.Afficher();
    EXPECT_FALSE(form.isMinimized());
    EXPECT_EQ(form.pos(), QPoint(10, 10));
    form.Masquer();
    EXPECT_TRUE(form.isMinimized());
    form.Afficher();
    EXPECT_FALSE(form.isMinimized());
    QTest::mouseClick(form.Button2, Qt::LeftButton);
    EXPECT_TRUE(form.isMinimized());
}

TEST_F(ShellTest, LogBoxFillsTheObjectWindowOnlyWithoutTheLists) {
    writeIni(quietIni());
    auto app = startApp();
    TForm_objet& window = app->Form_objet();
    window.show();
    window.AppendLog("first");
    window.AppendLog("second");
    EXPECT_EQ(window.Memo1->toPlainText(), "first\nsecond");

    window.resize(600, 500);
    EXPECT_EQ(window.Memo1->geometry(), QRect(192, 40, 290, 353));
    window.ShowPlanLayout();
    window.resize(700, 450);
    EXPECT_EQ(window.Memo1->geometry(), QRect(0, 0, 700, 450));
    window.ShowObjectLayout();
    EXPECT_EQ(window.Memo1->geometry(), QRect(192, 40, 290, 353));
    window.resize(640, 480);
    EXPECT_EQ(window.Memo1->geometry(), QRect(192, 40, 290, 353));
}

// The real program in a folder of its own: a copy of the executable, a simulator folder,
// a configuration, and a private runtime folder (Qt refuses one open to others, and the
// single-instance lock lives there). `sim_folder` is the stand-in simulator's folder, or
// empty for the default under the runtime folder.
class ProgramProcessFolder {
public:
    explicit ProgramProcessFolder(const QString& sim_folder = {}) {
        QDir(dir_.path()).mkpath("sim");
        QFile(QDir(dir_.path()).filePath("sim/FSX.exe")).open(QIODevice::WriteOnly);
        std::ofstream(ini().toStdString())
            << "[FSX]\nDIR=" << QDir(dir_.path()).filePath("sim").toStdString()
            << "/\n[envoi]\navion=1000\n";
        copied_ = QFile::copy(TAVORO_CLIENT_PATH, program());
        QDir().mkpath(runtime());
        QFile::setPermissions(runtime(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert("XDG_RUNTIME_DIR", runtime());
        env_.insert("QT_QPA_PLATFORM", "offscreen");
        if (sim_folder.isEmpty()) {
            env_.remove("TAVORO_SIM_DIR");
        } else {
            env_.insert("TAVORO_SIM_DIR", sim_folder);
        }
    }

    bool copied() const { return copied_; }
    QString program() const { return QDir(dir_.path()).filePath("tavoro"); }
    QString runtime() const { return QDir(dir_.path()).filePath("runtime"); }
    QString ini() const { return QDir(dir_.path()).filePath("corvanta.ini"); }

    bool Start(QProcess& process) const {
        process.setProcessEnvironment(env_);
        process.setWorkingDirectory(dir_.path());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program(), {});
        return process.waitForStarted(30000);
    }

private:
    QTemporaryDir dir_;
    QProcessEnvironment env_;
    bool copied_ = false;
};

// The real program, started twice for one user: the second ends at once and silently;
// after the first dies without cleaning up, the next start runs.
TEST(SingleInstanceProcessTest, SecondStartEndsSilentlyAndACrashBlocksNothing) {
    ProgramProcessFolder folder;
    ASSERT_TRUE(folder.copied());
    const QString runtime = folder.runtime();
    auto holder = [&] {
        QFile lock(QDir(runtime).filePath("MonMutexcorvanta2.lock"));
        return lock.open(QIODevice::ReadOnly) ? lock.readAll().trimmed().toLongLong() : 0;
    };

    QProcess first;
    ASSERT_TRUE(folder.Start(first));
    ASSERT_TRUE(WaitUntil([&] { return holder() == first.processId(); }));

    QProcess second;
    ASSERT_TRUE(folder.Start(second));
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(second.readAll(), QByteArray());
    EXPECT_EQ(first.state(), QProcess::Running);

    first.kill();  // no clean-up of any kind
    ASSERT_TRUE(first.waitForFinished(30000));
    QProcess third;
    ASSERT_TRUE(folder.Start(third));
    EXPECT_TRUE(WaitUntil([&] { return holder() == third.processId(); }));
    EXPECT_EQ(third.state(), QProcess::Running);
    third.kill();
    third.waitForFinished(30000);
}

// Ending the session (SIGTERM) closes the program as the user would: the settings are
// written, the simulator's menu and the shared block are gone.
TEST(ProgramEndTest, TerminationRunsTheCloseStep) {
    test::SimHostProcess host;
    ASSERT_TRUE(host.started());
    ProgramProcessFolder folder(host.folder());
    ASSERT_TRUE(folder.copied());
    const QString ini_path = folder.ini();
    QProcess client;
    ASSERT_TRUE(folder.Start(client));

    auto mappings = [&] { return QDir(host.folder()).entryList({"FsasmLib*"}, QDir::Files); };
    ASSERT_TRUE(WaitUntil(
        [&] { return host.Dump()["menu_items"].toArray().size() == 4 && mappings().size() == 1; }));

    client.terminate();
    ASSERT_TRUE(client.waitForFinished(30000));
    EXPECT_EQ(client.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(client.exitCode(), 0);
    QFile saved(ini_path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll().contains("[ATIS]"));
    EXPECT_TRUE(WaitUntil([&] { return host.Dump()["menu_items"].toArray().isEmpty(); }));
    EXPECT_TRUE(mappings().isEmpty());
}

// A signal that comes as soon as the simulator link is open, while the program is still
// being built, closes it all the same: nothing is left in the rendezvous folder.
TEST(ProgramEndTest, TerminationDuringStartUpRunsTheCloseStep) {
    test::SimHostProcess host;
    ASSERT_TRUE(host.started());
    ProgramProcessFolder program(host.folder());
    ASSERT_TRUE(program.copied());
    QProcess client;
    ASSERT_TRUE(program.Start(client));

    // Watched without the event loop, so the signal leaves the moment the block exists.
    QDir folder(host.folder());
    const auto deadline = std::chrono::steady_clock::now() + test::kDeadline;
    while (folder.entryList({"FsasmLib*"}, QDir::Files).isEmpty() &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_FALSE(folder.entryList({"FsasmLib*"}, QDir::Files).isEmpty());
    client.terminate();
    ASSERT_TRUE(client.waitForFinished(30000));
    EXPECT_EQ(client.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(client.exitCode(), 0);
    EXPECT_TRUE(folder.entryList({"FsasmLib*"}, QDir::Files).isEmpty());
}

}  // namespace
}  // namespace tavoro
