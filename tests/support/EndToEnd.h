#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>

#include "app/App.h"
#include "app/TForm1.h"
#include "sim/TForm_objet.h"
#include "support/AtcServerProcess.h"
#include "support/ManualTimers.h"
#include "support/ProgramFolder.h"
#include "support/ScriptedDialogs.h"
#include "support/SimHostProcess.h"

namespace tavoro::test {

// The whole client against both stand-ins, each a process of its own: the stand-in
// simulator and ATC server, a program folder that points at them, dialogs that expect
// none to be asked, and the program's own timers, which a test may look at, re-time or
// fire.
class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Commands to the stand-in simulator, each of which must be taken ("set lat 48.5").
    void SimulatorSays(std::initializer_list<const char*> commands);
    // Writes the program folder: [envoi] avion is `report_interval_ms`, `extra` is
    // appended to the configuration. Before MakeApp.
    void MakeProgramFolder(int report_interval_ms, const std::string& extra = "");
    // The program, built but not shown; Start() shows it.
    std::unique_ptr<App> MakeApp();
    // The program, built and shown.
    std::unique_ptr<App> StartApp();
    // Clicks the server button and waits for the server to accept the login.
    void LogIn(App& app);

    static TForm1& mainWindow();
    static TForm_objet& objectWindow();
    LiveTimers::LiveTimer& timer(const char* name);

    SimHostProcess host_;
    AtcServerProcess server_;
    ScriptedDialogs dialogs_;
    LiveTimers timers_;
    std::unique_ptr<ProgramFolder> folder_;
};

}  // namespace tavoro::test
