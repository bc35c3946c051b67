#include "app/App.h"

#include <QDir>

#include "app/TForm1.h"
#include "core/Text.h"
#include "flightplan/TForm_edit.h"
#include "sim/TForm_objet.h"

namespace tavoro {

App::App(const AppPaths& paths, ReverseLookup reverse_lookup, SimulatorPlatform simulator)
    : ini_(QDir(paths.executable_folder)
               .filePath(QString::fromLatin1(kConfigFileName.data(), kConfigFileName.size()))
               .toStdString()),
      simulator_(std::move(simulator)),
      fsuipc_(*simulator_.fsuipc),
      simconnect_(*simulator_.simconnect),
      sim_link_(fsuipc_, simconnect_, state_, identity_, failure_state_),
      // Both write to the simulator log, which exists before any command can arrive.
      sim_commands_(simconnect_, state_, failure_state_,
                    [this](const std::string& line) { form_objet_->AppendLog(ToDisplay(line)); }),
      ai_objects_(simconnect_, state_,
                  [this](const std::string& line) { form_objet_->AppendLog(ToDisplay(line)); }),
      link_(settings_, identity_, state_, std::move(reverse_lookup),
            std::make_unique<TcpServerTransport>()),
      dispatcher_(link_, settings_, identity_),
      reports_(link_, identity_, state_, failure_state_) {
    link_.SetDispatcher([this](const FieldList& fields) { dispatcher_.DispatchLine(fields); });
    // A simulator that stopped answering takes the pilot off the network with it. Also
    // with no connection up: the report and receive timers stop all the same, so a later
    // connection does not start reporting before its login is accepted.
    connect(&sim_link_, &SimulatorLink::logOffRequested, &link_, &ServerLink::DisconnectFromServer);

    // The main window first: its creation step reads the configuration and opens the
    // simulator link.
    form1_ = std::make_unique<TForm1>(
        MainWindowContext{ini_, settings_, code_tables_, link_, sim_link_, reports_, atc_list_,
                          atis_, state_, identity_, paths.executable_folder, paths.working_folder});
    form_edit_ = std::make_unique<TForm_edit>(form1_.get());
    form_objet_ = std::make_unique<TForm_objet>(ai_objects_, state_);

    SimMessageActions actions;
    actions.log = [this](const std::string& line) { form_objet_->AppendLog(ToDisplay(line)); };
    actions.show_window = [this] { form1_->Afficher(); };
    actions.hide_window = [this] { form1_->Masquer(); };
    // Closing ends the program; it waits until the dispatch in hand has returned.
    actions.close_window = [this] {
        QMetaObject::invokeMethod(form1_.get(), &QWidget::close, Qt::QueuedConnection);
    };
    actions.object_id_assigned = [this](std::uint32_t id) { ai_objects_.ObjectIdAssigned(id); };
    actions.object_removed = [this](std::uint32_t id) { ai_objects_.ObjectRemoved(id); };
    sim_link_.SetMessageActions(std::move(actions));
    // Ids and routes go to the simulator right after each dispatch of its messages.
    connect(&sim_link_, &SimulatorLink::dispatched, this, [this] { ai_objects_.AfterDispatch(); });
    connect(form1_.get(), &TForm1::objectViewRequested, form_objet_.get(),
            &TForm_objet::objet1Click);

    // The ATC stations: the relay of the selected one's texts to the simulator, and their
    // speech. Errors of both go to status panel 0.
    connect(form1_->Timer1, &QTimer::timeout, this, [this] {
        if (auto failure = atis_relay_.RelayAtisLine()) {
            form1_->SetStatusText(0, ToDisplay(*failure));
        }
    });
    speech_engine_ = std::make_unique<QtSpeechEngine>(
        [this](const QString& text) { form1_->SetStatusText(0, text); });
    speech_ = std::make_unique<AtcSpeech>(
        *form1_->Timer6, *speech_engine_,
        [this](const QString& text) { form1_->SetStatusText(0, text); });

    // What the lines received while logged in reach. The flight-plan answers and the
    // server's METAR have no handler yet: their lines are dropped.
    DispatchTargets targets;
    stations_.SetTargets(targets);
    atis_.SetTargets(targets);
    speech_->SetTargets(targets);
    targets.zulu = [this](const std::string& hours, const std::string& minutes) {
        sim_commands_.ZuluCommand(hours, minutes);
    };
    targets.failure = [this](const std::string& number) { sim_commands_.FailureCommand(number); };
    targets.ai_status = [this](const QString& text) { form1_->SetStatusText(1, text); };
    targets.ai_create = [this](const FieldList& fields) { ai_objects_.Create(fields); };
    targets.ai_remove = [this](const FieldList& fields) { ai_objects_.Remove(fields); };
    targets.ai_route = [this](const FieldList& fields) { ai_objects_.Route(fields); };
    targets.ai_start = [this](const FieldList& fields) { ai_objects_.Start(fields); };
    dispatcher_.SetTargets(std::move(targets));

    connect(form1_.get(), &TForm1::closed, this, [this] {
        form_objet_->close();
        emit finished();
    });
}

App::~App() = default;

void App::Start() {
    form1_->showMinimized();
}

}  // namespace tavoro
