#include <gtest/gtest.h>
#include <unistd.h>

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
#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "app/App.h"
#include "app/TForm1.h"
#include "core/IniFile.h"
#include "core/Text.h"
#include "sim/TForm_objet.h"
#include "support/AtcServerProcess.h"
#include "support/EventLoop.h"
#include "support/FakeSimulator.h"
#include "support/ManualTimers.h"
#include "support/PermissionBits.h"
#include "support/ProgramProcessFolder.h"
#include "support/ScriptedDialogs.h"
#include "support/SimHostProcess.h"
#include "support/TempConfig.h"
#include "support/Windows.h"

namespace tavoro {
namespace {

using test::AtcServerProcess;
using test::WaitUntil;
using Asked = test::ScriptedDialogs::Asked;
using Kind = test::ScriptedDialogs::Kind;

ReverseLookup fixedReverseName() {
    return [](const QHostAddress&, QObject*, std::function<void(const QString&)> done) {
        done("atc.example");
    };
}

QColor colourOf(const QWidget* widget) {
    return widget->palette().color(QPalette::Window);
}

// A program folder of its own per test: the configuration file and a simulator folder.
// Dialogs are answered from the test's script; one the test did not expect fails it.
class ShellTest : public ::testing::Test {
protected:
    ShellTest() { config_.MakeSimulatorFolder(); }

    void TearDown() override {
        EXPECT_TRUE(dialogs_.unexpected().isEmpty())
            << dialogs_.unexpected().join("; ").toStdString();
        EXPECT_FALSE(dialogs_.pending());
    }

    QString path(const QString& name) const { return config_.FilePath(name); }
    void touch(const QString& name) {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    std::string simFolder() const { return path("sim").toStdString() + "/"; }

    void writeIni(const std::string& content) { config_.Write(content); }
    std::string ini() const { return config_.Read(); }
    // [FSX] DIR as the file holds it now.
    std::string savedSimFolder() const {
        return IniFile(config_.path()).ReadString("FSX", "DIR", "");
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
        SimulatorPlatform simulator{std::move(fsuipc), std::move(simconnect),
                                    [this](const std::filesystem::path& folder) {
                                        told_folders_.push_back(PathText(folder));
                                    }};
        auto app = std::make_unique<App>(AppPaths{config_.folder(), config_.folder()}, dialogs_,
                                         fixedReverseName(), std::move(simulator), timers_);
        app->Start();
        return app;
    }

    static TForm1& mainWindow() { return test::TheWindow<TForm1>("Form1"); }

    // Clicks the server button and waits for the server to accept the login.
    static void logIn(App& app) {
        QTest::mouseClick(mainWindow().Panel_server, Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([&] { return app.test_view().link.logged_in(); }));
    }
    static TForm_objet& objectWindow() { return test::TheWindow<TForm_objet>("Form_objet"); }

    test::FakeFsuipcServer* fsuipc_ = nullptr;
    test::FakeSimConnect* simconnect_ = nullptr;
    // The simulator folders the platform was told of, in order.
    std::vector<std::string> told_folders_;

    test::TempConfig config_;
    test::ScriptedDialogs dialogs_;
    test::LiveTimers timers_;
};

TEST_F(ShellTest, StartsWithItsWindowsTimersAndPanelsAtRest) {
    writeIni(quietIni());
    auto app = startApp();
    TForm1& form = mainWindow();
    EXPECT_EQ(form.windowTitle(), "Tavoro 3.81");
    EXPECT_TRUE(form.isMinimized());
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMinMaxButtonsHint);
    EXPECT_EQ(form.Label_ID->text(), "Inconnu");
    EXPECT_EQ(form.Panel_server->caption(), "ATC server");
    EXPECT_EQ(form.Button2->text(), "X");
    EXPECT_TRUE(objectWindow().isHidden());
    EXPECT_TRUE(dialogs_.asked().empty());

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
          TimerCase{"Timer3", 1000, true}, TimerCase{"Timer4", 1000, false},
          TimerCase{"Timer5", 100, false}, TimerCase{"Timer6", 5000, false}}) {
        const Timer* timer = timers_[name];
        ASSERT_NE(timer, nullptr) << name;
        EXPECT_EQ(timer->Interval(), interval) << name;
        EXPECT_EQ(timer->IsActive(), active) << name;
    }

    auto* bar = form.findChild<QStatusBar*>("StatusBar1");
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->findChild<QLabel*>("StatusBar1_panel0")->width(), 100);
    EXPECT_EQ(bar->findChild<QLabel*>("StatusBar1_panel1")->width(), 200);
    EXPECT_FALSE(form.objet1->isVisible());
}

TEST_F(ShellTest, MenuShowsOnePanelAtATime) {
    writeIni(quietIni());
    auto app = startApp();
    TForm1& form = mainWindow();
    // A rebuilt station list empties the box before it fills it again.
    QSignalSpy atc_list_rebuilt(form.ListBox_ATC->model(), &QAbstractItemModel::modelReset);
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
    EXPECT_EQ(atc_list_rebuilt.count(), 2);
    EXPECT_EQ(weather.count(), 1);
}

struct ShowCase {
    const char* name;
    bool folder_exists;                    // whether the configured folder is there
    std::vector<const char*> executables;  // in the configured folder
    bool asks;                             // whether the path dialog opens
    const char* picked;                    // file picked there, or nullptr to cancel
    const char* sim_type;
};

class ShowStepTest : public ShellTest, public ::testing::WithParamInterface<ShowCase> {};

TEST_P(ShowStepTest, FindsTheSimulator) {
    const ShowCase& c = GetParam();
    if (c.folder_exists) {
        QDir(config_.folder()).mkpath("configured");
    }
    QDir(config_.folder()).mkpath("elsewhere");
    for (const char* exe : c.executables) {
        touch(QString("configured/") + exe);
    }
    touch("elsewhere/Prepar3D.exe");
    const std::string configured = path("configured").toStdString() + "/";
    writeIni("[FSX]\nDIR=" + configured + "\n[envoi]\navion=1000\n");
    if (c.picked) {
        dialogs_.QueueFile(path(c.picked));
    } else if (c.asks) {
        dialogs_.QueueCancel(Kind::OpenFile);
    }

    auto app = startApp();
    // The dialog stands on its own and starts in the configured folder when it is there.
    const QString start = c.folder_exists ? QString::fromStdString(configured) : QDir::homePath();
    std::vector<Asked> expected_asked;
    if (c.asks) {
        expected_asked.push_back(
            {Kind::OpenFile, nullptr, "Simutator path?", start, "simulateur (*.exe *.EXE)", true});
    }
    EXPECT_EQ(dialogs_.asked(), expected_asked);
    EXPECT_EQ(mainWindow().Panel_FSX->caption(), c.sim_type);
    std::string expected_dir = c.asks && c.picked
                                   ? QFileInfo(path(c.picked)).absolutePath().toStdString() + "/"
                                   : configured;
    EXPECT_EQ(savedSimFolder(), expected_dir);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShowStepTest,
    ::testing::Values(
        ShowCase{"both_gives_P3D", true, {"FSX.exe", "Prepar3D.exe"}, false, nullptr, "P3D"},
        ShowCase{"fsx_only", true, {"FSX.exe"}, false, nullptr, "FSX"},
        ShowCase{"name_case_ignored", true, {"fsx.EXE"}, false, nullptr, "FSX"},
        ShowCase{"neither_cancelled", true, {}, true, nullptr, ""},
        ShowCase{"neither_picked", true, {}, true, "elsewhere/Prepar3D.exe", "P3D"},
        ShowCase{"no_folder_starts_at_home", false, {}, true, nullptr, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ShellTest, CancelledPathIsAskedAgainAtTheNextStart) {
    writeIni("[envoi]\navion=1000\n");
    const Asked asked{Kind::OpenFile,
                      nullptr,
                      "Simutator path?",
                      QDir::homePath(),
                      "simulateur (*.exe *.EXE)",
                      true};
    dialogs_.QueueCancel(Kind::OpenFile);
    startApp().reset();
    EXPECT_EQ(dialogs_.asked(), std::vector<Asked>{asked});
    dialogs_.QueueCancel(Kind::OpenFile);
    startApp().reset();
    EXPECT_EQ(dialogs_.asked(), (std::vector<Asked>{asked, asked}));
    EXPECT_EQ(ini().find("[FSX]"), std::string::npos);
}

// Each showing of the window looks again, from the folder picked last; a showing that finds
// nothing keeps the simulator type found before.
TEST_F(ShellTest, LaterShowingsLookInThePickedFolderAndKeepTheType) {
    QDir(config_.folder()).mkpath("elsewhere");
    touch("elsewhere/FSX.exe");
    writeIni("[envoi]\navion=1000\n");
    dialogs_.QueueFile(path("elsewhere/FSX.exe"));
    auto app = startApp();
    TForm1& form = mainWindow();
    ASSERT_EQ(form.Panel_FSX->caption(), "FSX");
    // The platform hears of the settings' folder (none yet) before the link opens, then
    // of the one picked, where it may find the simulator's library from the next open.
    EXPECT_EQ(told_folders_, (std::vector<std::string>{"", path("elsewhere").toStdString() + "/"}));

    form.hide();
    form.showMinimized();
    EXPECT_EQ(dialogs_.asked().size(), 1u);

    QFile::remove(path("elsewhere/FSX.exe"));
    dialogs_.QueueCancel(Kind::OpenFile);
    form.hide();
    form.showMinimized();
    ASSERT_EQ(dialogs_.asked().size(), 2u);
    EXPECT_EQ(dialogs_.asked()[1].text, path("elsewhere") + "/");
    EXPECT_EQ(form.Panel_FSX->caption(), "FSX");
}

TEST_F(ShellTest, UnreadableIntervalStopsCreationAfterTheMessage) {
    writeIni("[FSX]\nDIR=" + simFolder() + "\n[envoi]\navion=\n[turbulence]\nlgt=light\n");
    dialogs_.QueueOk(Kind::Critical);
    {
        auto app = startApp();
        // The message stands on its own: the window is not shown yet.
        EXPECT_EQ(dialogs_.asked(),
                  (std::vector<Asked>{{Kind::Critical, nullptr, "Tavoro 3.81",
                                       "'' n'est pas un nombre entier valide", "", true}}));
        // Neither the report interval nor the simulator link.
        EXPECT_EQ(timers_["Timer4"]->Interval(), 0);
        TForm1& form = mainWindow();
        EXPECT_EQ(colourOf(form.Panel_FSX), QColor(255, 0, 0));
        EXPECT_EQ(fsuipc_->sends, 0);
        EXPECT_FALSE(simconnect_->open);

        // The user can still open the link from its panel.
        QTest::mouseClick(form.Panel_FSX, Qt::LeftButton);
        EXPECT_EQ(colourOf(form.Panel_FSX), QColor(0, 128, 0));
        EXPECT_TRUE(simconnect_->open);
        QTest::mouseClick(form.Panel_FSX, Qt::LeftButton);
        EXPECT_EQ(colourOf(form.Panel_FSX), QColor(255, 0, 0));
    }

    writeIni(quietIni());
    auto second = startApp();
    EXPECT_EQ(dialogs_.asked().size(), 1u);
    EXPECT_EQ(timers_["Timer4"]->Interval(), 1000);
    EXPECT_EQ(colourOf(mainWindow().Panel_FSX), QColor(0, 128, 0));
    EXPECT_TRUE(simconnect_->open);
}

TEST_F(ShellTest, SettingsPanelEditsReachTheSettings) {
    writeIni(quietIni(6809, "[ATIS]\naudio=false\n"));
    auto app = startApp();
    TForm1& form = mainWindow();
    form.parametres1->trigger();
    EXPECT_EQ(form.Label_server->text(), "Tavoro");
    EXPECT_EQ(form.Edit_serveradresse->text(), "127.0.0.1");
    EXPECT_EQ(form.Edit_serverport->text(), "6809");
    EXPECT_FALSE(form.CheckBox_atis->isChecked());

    form.Edit_serveradresse->clear();
    QTest::keyClicks(form.Edit_serveradresse, "atc");
    QTest::keyClicks(form.Edit_serveradresse, ".example");
    QTest::keyClick(form.Edit_serverport, Qt::Key_Backspace);
    QTest::keyClicks(form.Edit_serverport, "x");
    form.CheckBox_atis->click();

    // The next connection takes the port as typed, which is no number: the user is told.
    dialogs_.QueueOk(Kind::Warning);
    QTest::mouseClick(form.Panel_server, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !dialogs_.asked().empty(); }));
    EXPECT_EQ(dialogs_.asked()[0], (Asked{Kind::Warning, &form, "Tavoro 3.81",
                                          "'680x' n'est pas un nombre entier valide", "", true}));

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
    const App::TestView view = app->test_view();
    TForm1& form = mainWindow();

    QTest::mouseClick(form.Panel_server, Qt::LeftButton);
    EXPECT_EQ(colourOf(form.Panel_server), QColor(255, 85, 0));
    ASSERT_TRUE(WaitUntil([&] { return view.link.logged_in(); }));
    EXPECT_EQ(colourOf(form.Panel_server), QColor(0, 128, 0));
    EXPECT_EQ(form.Panel_server->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(form.StatusText(1), "connecté atc.example");

    QTest::mouseClick(form.Panel_server, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !view.link.socket_connected(); }));
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
    const App::TestView view = app->test_view();
    TForm1& form = mainWindow();
    QSignalSpy closed(&form, &TForm1::closed);
    // Another window holds the focus while the connection opens.
    objectWindow().show();
    objectWindow().activateWindow();
    ASSERT_TRUE(WaitUntil([&] { return objectWindow().isActiveWindow(); }));
    QTest::mouseClick(form.Panel_server, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return peer && view.link.socket_connected(); }));

    // Activation repaints the button from the connection alone: green, lowered, where
    // the link itself shows lime until the login is accepted.
    EXPECT_EQ(colourOf(form.Panel_server), QColor(0, 255, 0));
    form.Afficher();
    ASSERT_TRUE(WaitUntil([&] { return form.isActiveWindow(); }));
    EXPECT_EQ(colourOf(form.Panel_server), QColor(0, 128, 0));
    EXPECT_EQ(form.Panel_server->frameShadow(), QFrame::Sunken);

    form.close();
    EXPECT_EQ(closed.count(), 1);
    // Everything the program sent has arrived once the peer sees the connection end,
    // which the program's end brings.
    app.reset();
    QByteArray received;
    ASSERT_TRUE(WaitUntil([&] {
        received += peer->readAll();
        return peer->state() == QAbstractSocket::UnconnectedState;
    }));
    received += peer->readAll();
    EXPECT_TRUE(received.startsWith("#AP"));
    EXPECT_FALSE(received.contains("#DP"));
}

TEST_F(ShellTest, ClosingWhenLoggedInSavesThenLogsOff) {
    AtcServerProcess server;
    ASSERT_TRUE(server.started());
    writeIni("; kept\n[envoi]\navion=1000\n[connect]\nserveur=Tavoro\nadresse=127.0.0.1\nport=" +
             std::to_string(server.port()) + "\npassword=pw\n[FSX]\nDIR=" + simFolder() + "\n");
    auto app = startApp();
    const App::TestView view = app->test_view();
    TForm1& form = mainWindow();
    int removed = 0;
    simconnect_->on_call = [&](const std::string& name) {
        if (name == "MenuDeleteSubItem") {
            // The menu goes last: the settings are written and the logoff is sent by then.
            EXPECT_NE(ini().find("[ATIS]"), std::string::npos);
            EXPECT_NE(view.link.socketState(), QAbstractSocket::ConnectedState);
            ++removed;
        }
    };
    logIn(*app);

    form.close();
    EXPECT_EQ(removed, 1);
    // The simulator gave no callsign: the logoff carries none.
    EXPECT_TRUE(server.WaitForReceived("#DP"));
    EXPECT_EQ(ini(),
              "; kept\n[envoi]\navion=1000\n[connect]\nserveur=Tavoro\nadresse=127.0.0.1\nport=" +
                  std::to_string(server.port()) + "\npassword=pw\n[FSX]\nDIR=" + simFolder() +
                  "\n[ATIS]\naudio=false\n[TS]\nDIR=error\nadresse=error\npassword=error\n"
                  "nickname=error\n");
}

TEST_F(ShellTest, UnwritableConfigurationIsReportedAtClose) {
    // A folder where the file should be: nothing can be read from or written to it.
    QDir(config_.folder()).mkpath("corvanta.ini");
    dialogs_.QueueOk(Kind::Critical);      // the interval cannot be read either
    dialogs_.QueueCancel(Kind::OpenFile);  // nor the simulator folder: the path is asked for
    auto app = startApp();
    dialogs_.QueueOk(Kind::Warning);
    TForm1& form = mainWindow();
    form.close();
    ASSERT_EQ(dialogs_.asked().size(), 3u);
    const QString file = config_.FilePath("corvanta.ini");
    EXPECT_EQ(dialogs_.asked()[2], (Asked{Kind::Warning, &form, "Tavoro 3.81",
                                          "Impossible d'écrire " + file, "", true}));
    EXPECT_TRUE(QFileInfo(path("corvanta.ini")).isDir());
}

// A configuration that is there but cannot be read: start-up says so once, before the
// messages its defaults bring, and the close step keeps the file as it was and says so.
TEST_F(ShellTest, UnreadableConfigurationIsReportedAtStartAndKeptAtClose) {
    const std::string before = quietIni(6809, "[facility]\n1=FSS\n");
    writeIni(before);
    test::HeldToPermissionBits held;
    if (!held.held()) {
        GTEST_SKIP() << "running as root, unable to give up the capabilities that pass "
                        "permission bits: a write-only file reads like any other";
    }
    const QString file = config_.FilePath("corvanta.ini");
    QFile::setPermissions(file, QFile::WriteOwner);
    dialogs_.QueueOk(Kind::Warning);       // the file cannot be read
    dialogs_.QueueOk(Kind::Critical);      // so the interval has no value
    dialogs_.QueueCancel(Kind::OpenFile);  // nor the simulator folder
    auto app = startApp();
    ASSERT_EQ(dialogs_.asked().size(), 3u);
    EXPECT_EQ(dialogs_.asked()[0], (Asked{Kind::Warning, nullptr, "Tavoro 3.81",
                                          "Impossible de lire " + file, "", true}));
    EXPECT_EQ(dialogs_.asked()[1].kind, Kind::Critical);

    dialogs_.QueueOk(Kind::Warning);
    TForm1& form = mainWindow();
    form.close();
    ASSERT_EQ(dialogs_.asked().size(), 4u);
    EXPECT_EQ(dialogs_.asked()[3], (Asked{Kind::Warning, &form, "Tavoro 3.81",
                                          "Impossible d'écrire " + file, "", true}));
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(ini(), before);
}

// The report comes between the save and the rest of the close step.
TEST_F(ShellTest, UnwritableConfigurationIsReportedBeforeTheLogoff) {
    AtcServerProcess server;
    ASSERT_TRUE(server.started());
    writeIni(quietIni(server.port()));
    auto app = startApp();
    const App::TestView view = app->test_view();
    TForm1& form = mainWindow();
    logIn(*app);

    QFile::remove(path("corvanta.ini"));
    QDir(config_.folder()).mkpath("corvanta.ini");
    QSignalSpy finished(app.get(), &App::finished);
    dialogs_.QueueOk(Kind::Warning);
    int checked = 0;
    dialogs_.on_asked = [&](const Asked&) {
        ++checked;
        EXPECT_TRUE(view.link.logged_in());
        for (const std::string& call : simconnect_->CallTexts()) {
            EXPECT_NE(call.rfind("MenuDelete", 0), 0u) << call;
        }
        EXPECT_EQ(finished.count(), 0);
    };
    form.close();
    EXPECT_EQ(checked, 1);
    ASSERT_EQ(dialogs_.asked().size(), 1u);
    EXPECT_TRUE(dialogs_.asked()[0].text.startsWith("Impossible d'écrire "));
    EXPECT_TRUE(server.WaitForReceived("#DP"));
    const std::vector<std::string> calls = simconnect_->CallTexts();
    EXPECT_TRUE(std::any_of(calls.begin(), calls.end(), [](const std::string& call) {
        return call.rfind("MenuDelete", 0) == 0;
    }));
    EXPECT_EQ(finished.count(), 1);
}

TEST_F(ShellTest, HideAndShowFromTheSimulatorMenu) {
    writeIni(quietIni());
    auto app = startApp();
    TForm1& form = mainWindow();
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
    TForm_objet& window = objectWindow();
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

using test::ProgramProcessFolder;

// The real program, started twice for one user: the second ends at once and silently;
// after the first dies without cleaning up, the next start runs.
TEST(SingleInstanceProcessTest, SecondStartEndsSilentlyAndACrashBlocksNothing) {
    ProgramProcessFolder folder(TAVORO_CLIENT_PATH);
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
    ProgramProcessFolder folder(TAVORO_CLIENT_PATH, host.folder());
    ASSERT_TRUE(folder.copied());
    const QString ini_path = folder.ini();
    QProcess client;
    ASSERT_TRUE(folder.Start(client));

    ASSERT_TRUE(WaitUntil([&] {
        const QJsonObject dump = host.Dump();
        return dump["menu_items"].toArray().size() == 4 && dump["fsuipc_clients"] == 1;
    }));

    client.terminate();
    ASSERT_TRUE(client.waitForFinished(30000));
    EXPECT_EQ(client.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(client.exitCode(), 0);
    QFile saved(ini_path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll().contains("[ATIS]"));
    EXPECT_TRUE(WaitUntil([&] {
        const QJsonObject dump = host.Dump();
        return dump["menu_items"].toArray().isEmpty() && dump["fsuipc_clients"] == 0;
    }));
    EXPECT_TRUE(QDir(host.folder()).entryList({"FsasmLib*"}, QDir::Files).isEmpty());
}

// Whether the process `pid` holds the FSUIPC block, an anonymous memory file.
bool holdsBlock(qint64 pid) {
    const QString fds = QString("/proc/%1/fd").arg(pid);
    for (const QString& fd :
         QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        char target[256];
        const QByteArray link = QFile::encodeName(fds + "/" + fd);
        const ssize_t size = ::readlink(link.constData(), target, sizeof target);
        if (size > 0 && QByteArray(target, size).contains("memfd:FsasmLib")) {
            return true;
        }
    }
    return false;
}

// A signal that comes as soon as the simulator link is open, while the program is still
// being built, closes it all the same: nothing is left in the rendezvous folder.
TEST(ProgramEndTest, TerminationDuringStartUpRunsTheCloseStep) {
    test::SimHostProcess host;
    ASSERT_TRUE(host.started());
    ProgramProcessFolder program(TAVORO_CLIENT_PATH, host.folder());
    ASSERT_TRUE(program.copied());
    QProcess client;
    ASSERT_TRUE(program.Start(client));

    // Watched without the event loop, so the signal leaves the moment the block exists.
    const auto deadline = std::chrono::steady_clock::now() + test::kDeadline;
    while (!holdsBlock(client.processId()) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(holdsBlock(client.processId()));
    client.terminate();
    ASSERT_TRUE(client.waitForFinished(30000));
    EXPECT_EQ(client.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(client.exitCode(), 0);
    EXPECT_TRUE(QDir(host.folder()).entryList({"FsasmLib*"}, QDir::Files).isEmpty());
    EXPECT_TRUE(WaitUntil([&] { return host.Dump()["fsuipc_clients"] == 0; }));
}

}  // namespace
}  // namespace tavoro
