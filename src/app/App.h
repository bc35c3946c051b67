#pragma once

#include <QObject>
#include <QString>
#include <memory>

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
#include "platform/SimulatorPlatform.h"
#include "sim/AiObjects.h"
#include "sim/FsuipcClient.h"
#include "sim/SimCommands.h"
#include "sim/SimConnectClient.h"
#include "sim/SimulatorLink.h"

namespace tavoro {

class TForm1;
class TForm_edit;
class TForm_objet;

// Where the program runs: the configuration file lives in the executable's folder, and
// the working folder is where plan-file dialogs start when nothing else is known.
struct AppPaths {
    QString executable_folder;
    QString working_folder;
};

// The composition root: creates everything that lives for the whole run, then the three
// windows in order, and connects them. Nothing else reaches for global state.
class App : public QObject {
    Q_OBJECT

public:
    // `simulator` serves the two simulator interfaces: by default this platform's own.
    explicit App(const AppPaths& paths, ReverseLookup reverse_lookup = SystemReverseLookup(),
                 SimulatorPlatform simulator = MakeSimulatorPlatform());
    ~App() override;

    // Shows the main window as the program starts: minimised.
    void Start();

    IniFile& ini() { return ini_; }
    Settings& settings() { return settings_; }
    const CodeTables& code_tables() const { return code_tables_; }
    ServerLink& link() { return link_; }
    PositionReports& reports() { return reports_; }
    StationTable& stations() { return stations_; }
    AtcList& atc_list() { return atc_list_; }
    AtisSelection& atis() { return atis_; }
    AtcSpeech& speech() { return *speech_; }
    AircraftIdentity& identity() { return identity_; }
    const AircraftState& aircraft() const { return state_; }
    const FailureState& failure_state() const { return failure_state_; }
    SimulatorLink& sim_link() { return sim_link_; }
    const AiObjects& ai_objects() const { return ai_objects_; }
    TForm1& Form1() { return *form1_; }
    TForm_edit& Form_edit() { return *form_edit_; }
    TForm_objet& Form_objet() { return *form_objet_; }

signals:
    // The main window has closed: the program ends.
    void finished();

private:
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
    SimCommands sim_commands_;
    AiObjects ai_objects_;
    ServerLink link_;
    Dispatcher dispatcher_;
    PositionReports reports_;
    StationTable stations_{ini_, state_};
    AtcList atc_list_{stations_, state_};
    AtisSelection atis_{stations_, atc_list_, identity_,
                        [this](std::string_view line) { link_.SendLine(line); }};
    AtisRelay atis_relay_{
        atis_, [this](std::string_view text) { return ShowTextInSimulator(fsuipc_, text); }};
    std::unique_ptr<TForm1> form1_;
    std::unique_ptr<TForm_edit> form_edit_;
    std::unique_ptr<TForm_objet> form_objet_;
    std::unique_ptr<QtSpeechEngine> speech_engine_;
    std::unique_ptr<AtcSpeech> speech_;
};

}  // namespace tavoro
