#pragma once

#include <QObject>
#include <QString>

#include "app/Dialogs.h"
#include "app/TForm1.h"
#include "atc/AtcList.h"
#include "atc/AtcSpeech.h"
#include "atc/AtisRelay.h"
#include "atc/AtisSelection.h"
#include "atc/Dispatcher.h"
#include "atc/PositionReports.h"
#include "atc/ServerLink.h"
#include "atc/SpeechEngine.h"
#include "atc/StationTable.h"
#include "core/Aircraft.h"
#include "core/IniFile.h"
#include "core/Settings.h"
#include "core/Timer.h"
#include "flightplan/FlightPlan.h"
#include "platform/SimulatorPlatform.h"
#include "sim/AiObjects.h"
#include "sim/FsuipcClient.h"
#include "sim/SimCommands.h"
#include "sim/SimConnectClient.h"
#include "sim/SimulatorLink.h"
#include "sim/TForm_objet.h"
#include "sim/WeatherInjection.h"
#include "weather/MeteoPanel.h"
#include "weather/WeatherReport.h"
#include "weather/WeatherRequests.h"

namespace tavoro {

class PlanPanel;

// Where the program runs: the configuration file lives in the executable's folder, and
// the working folder is where plan-file dialogs start when nothing else is known.
struct AppPaths {
    QString executable_folder;
    QString working_folder;
};

// The composition root: builds everything that lives for the whole run, each part once
// and in the order they depend on each other, connects the parts, and runs the program's
// start-up and close steps. Nothing else reaches for global state.
class App : public QObject {
    Q_OBJECT

public:
    // Builds the program and runs its creation step: the configuration is read and the
    // simulator link opened. `dialogs` asks the user; `simulator` serves the two simulator
    // interfaces: by default this platform's own; `timers` gives every part its timers.
    App(const AppPaths& paths, Dialogs& dialogs,
        ReverseLookup reverse_lookup = SystemReverseLookup(),
        SimulatorPlatform simulator = MakeSimulatorPlatform(),
        TimerFactory& timers = EventLoopTimers());
    ~App() override;

    // Shows the main window as the program starts: minimised. Showing it looks for the
    // simulator's executables.
    void Start();
    // Closes the main window as the user would: the close step runs, then the program ends.
    void Close();

    // What tests reach inside the running program because neither its windows nor the
    // stand-in programs show it; the program itself never uses this.
    struct TestView {
        // Every polling step and every status text, where the window keeps only the
        // latest; and the client's own SimConnect connection, through which tests make
        // the stand-in simulator fail an engine or refuse a request, which it has no
        // command for.
        SimulatorLink& sim_link;
        // The aircraft as last polled: its pitch shows nowhere, and the clock only to the
        // minute.
        const AircraftState& aircraft;
        // Whether the login was accepted: once the window has been activated, the server
        // button looks the same for a bare connection.
        const ServerLink& link;
        // The text waiting to be spoken: tests do not hear the system's synthesizer.
        const AtcSpeech& speech;
        // Whether an object's route was handed over: no window shows it, and the simulator
        // shows it only once it has read it, which may come after a test looks.
        const AiObjects& ai_objects;
    };
    TestView test_view();

signals:
    // The main window has closed: the program ends.
    void finished();

private:
    // The start-up steps, run as the main window is created and shown, and the close step.
    void FormCreate();
    void FormShow();
    void FormClose();
    void reportUnwritableSettings();
    // Hands the settings' simulator folder to the platform, which may find the
    // simulator's library there.
    void tellSimulatorFolder();
    void writeSimulatorLog(const std::string& line);
    // The flight-plan panel: built in the main window, bound to the simulator, the server,
    // the dialogs and the filed-plan window; the server's answers about plans go to it.
    void wirePlanPanel(DispatchTargets& targets);
    // The weather panel: its requests go to the simulator, whose answers fill it.
    void wireWeatherPanel(SimMessageActions& actions);

    Dialogs& dialogs_;
    IniFile ini_;
    Settings settings_;
    CodeTables code_tables_;
    AircraftIdentity identity_;
    AircraftState state_;
    FailureState failure_state_{};
    SimulatorPlatform simulator_;
    FsuipcClient fsuipc_;
    SimConnectClient simconnect_;
    SimulatorLink sim_link_;
    ServerLink link_;
    Dispatcher dispatcher_;
    PositionReports reports_;
    StationTable stations_;
    AtcList atc_list_;
    AtisSelection atis_;
    AtisRelay atis_relay_;
    // The commands write to the simulator log of the object window, built right after
    // them; nothing is logged before a command arrives.
    SimCommands sim_commands_;
    AiObjects ai_objects_;
    TForm_objet form_objet_;
    // The server's METAR commands; they report in the object window's log.
    WeatherInjection weather_injection_;
    // The one flight plan; its panel lives in the main window and goes with it.
    FlightPlan flight_plan_;
    TForm1 form1_;
    PlanPanel* plan_panel_ = nullptr;
    // The one decoded observation of the run, and the requests that bring observations.
    WeatherReport weather_report_;
    WeatherRequests weather_requests_;
    MeteoPanel* meteo_panel_ = nullptr;
    SystemSpeechEngine speech_engine_;
    AtcSpeech speech_;
    // "FSX" or "P3D" once the simulator's executables were found; kept when a later
    // showing finds none.
    QString sim_type_;
};

}  // namespace tavoro
