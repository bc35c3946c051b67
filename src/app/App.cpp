#include "app/App.h"

#include <QDir>
#include <filesystem>

#include "app/SimulatorFolder.h"
#include "atc/Protocol.h"
#include "core/Text.h"
#include "flightplan/PlanPanel.h"

namespace tavoro {
namespace {

// One read of the simulator's offsets for the flight-plan panel: queued, then exchanged.
SimulatorRead ReadOffsets(FsuipcClient& fsuipc, std::uint32_t offset, std::uint32_t size) {
    SimulatorRead read;
    std::string buffer(size, '\0');
    if (!fsuipc.Read(offset, size, buffer.data())) {
        read.outcome = SimulatorRead::Outcome::NotQueued;
        read.error_text = FsuipcErrorText(fsuipc.error());
        return read;
    }
    if (!fsuipc.Process()) {
        read.outcome = SimulatorRead::Outcome::ProcessFailed;
        read.error_text = FsuipcErrorText(fsuipc.error());
        return read;
    }
    read.bytes = std::move(buffer);
    return read;
}

SimulatorWrite WriteOffsets(FsuipcClient& fsuipc, std::uint32_t offset, const std::string& bytes) {
    SimulatorWrite write;
    if (!fsuipc.Write(offset, static_cast<std::uint32_t>(bytes.size()), bytes.data())) {
        write.outcome = SimulatorWrite::Outcome::NotQueued;
        write.error_text = FsuipcErrorText(fsuipc.error());
        return write;
    }
    if (!fsuipc.Process()) {
        write.outcome = SimulatorWrite::Outcome::ProcessFailed;
        write.error_text = FsuipcErrorText(fsuipc.error());
    }
    return write;
}

}  // namespace

App::App(const AppPaths& paths, Dialogs& dialogs, ReverseLookup reverse_lookup,
         SimulatorPlatform simulator, TimerFactory& timers)
    : dialogs_(dialogs),
      ini_(Utf8Path(
          QDir(paths.executable_folder)
              .filePath(QString::fromLatin1(kConfigFileName.data(), kConfigFileName.size()))
              .toStdString())),
      simulator_(std::move(simulator)),
      fsuipc_(*simulator_.fsuipc),
      simconnect_(*simulator_.simconnect),
      sim_link_(fsuipc_, simconnect_, state_, identity_, failure_state_, timers),
      link_(settings_, identity_, state_, std::move(reverse_lookup),
            std::make_unique<TcpServerTransport>(), timers),
      dispatcher_(link_, settings_, identity_),
      reports_(link_, identity_, state_, failure_state_),
      stations_(ini_, state_),
      atc_list_(stations_, state_),
      atis_(stations_, atc_list_, identity_,
            [this](std::string_view line) { link_.SendLine(line); }),
      // Its failures go to status panel 0; it ticks only once the window exists.
      atis_relay_(
          atis_, [this](std::string_view text) { return ShowTextInSimulator(fsuipc_, text); },
          [this](const std::string& failure) { form1_.SetStatusText(0, ToDisplay(failure)); },
          timers),
      sim_commands_(simconnect_, state_, failure_state_,
                    [this](const std::string& line) { writeSimulatorLog(line); }),
      ai_objects_(simconnect_, state_,
                  [this](const std::string& line) { writeSimulatorLog(line); }),
      form_objet_(ai_objects_, state_),
      weather_injection_(simconnect_,
                         InjectionView{
                             [this] { return form_objet_.InObjectMode(); },
                             [this](const std::string& line) { writeSimulatorLog(line); },
                             [this] {
                                 if (form_objet_.isActiveWindow()) {
                                     form_objet_.update();
                                 }
                             },
                         }),
      form1_(MainWindowContext{settings_, link_, sim_link_, reports_, atc_list_, atis_, state_,
                               identity_, dialogs_, paths.executable_folder, paths.working_folder}),
      weather_requests_(
          WeatherCalls{
              [this](float latitude, float longitude, float altitude_m) {
                  return simconnect_.Call(&SimConnectLibrary::WeatherRequestInterpolatedObservation,
                                          kObservationRequestId, latitude, longitude, altitude_m);
              },
              [this](std::string_view icao) {
                  return simconnect_.Call(&SimConnectLibrary::WeatherRequestObservationAtStation,
                                          kObservationRequestId, icao);
              },
              [this](float latitude, float longitude) {
                  return simconnect_.Call(
                      &SimConnectLibrary::WeatherRequestObservationAtNearestStation,
                      kObservationRequestId, latitude, longitude);
              },
          },
          state_),
      // Errors of the speech go to status panel 0.
      speech_engine_([this](const QString& text) { form1_.SetStatusText(0, text); }),
      speech_(
          speech_engine_, [this](const QString& text) { form1_.SetStatusText(0, text); }, timers) {
    link_.SetDispatcher([this](const FieldList& fields) { dispatcher_.DispatchLine(fields); });
    // A simulator that stopped answering takes the pilot off the network with it. Also
    // with no connection up: the report and receive timers stop all the same, so a later
    // connection does not start reporting before its login is accepted.
    connect(&sim_link_, &SimulatorLink::logOffRequested, &link_, &ServerLink::DisconnectFromServer);

    SimMessageActions actions;
    actions.log = [this](const std::string& line) { writeSimulatorLog(line); };
    actions.show_window = [this] { form1_.Afficher(); };
    actions.hide_window = [this] { form1_.Masquer(); };
    // Closing ends the program; it waits until the dispatch in hand has returned.
    actions.close_window = [this] {
        QMetaObject::invokeMethod(&form1_, &QWidget::close, Qt::QueuedConnection);
    };
    actions.object_id_assigned = [this](std::uint32_t id) { ai_objects_.ObjectIdAssigned(id); };
    actions.object_removed = [this](std::uint32_t id) { ai_objects_.ObjectRemoved(id); };
    wireWeatherPanel(actions);
    sim_link_.SetMessageActions(std::move(actions));
    // Ids and routes go to the simulator right after each dispatch of its messages.
    connect(&sim_link_, &SimulatorLink::dispatched, this, [this] { ai_objects_.AfterDispatch(); });
    connect(&form1_, &TForm1::objectViewRequested, &form_objet_, &TForm_objet::objet1Click);

    // The selected station's texts reach the simulator while it is polled.
    connect(&sim_link_, &SimulatorLink::pollingStarted, this, [this] { atis_relay_.Start(); });
    connect(&sim_link_, &SimulatorLink::pollingStopped, this, [this] { atis_relay_.Stop(); });

    // What the lines received while logged in reach.
    DispatchTargets targets;
    stations_.SetTargets(targets);
    atis_.SetTargets(targets);
    speech_.SetTargets(targets);
    targets.zulu = [this](const std::string& hours, const std::string& minutes) {
        sim_commands_.ZuluCommand(hours, minutes);
    };
    targets.failure = [this](const std::string& number) { sim_commands_.FailureCommand(number); };
    targets.metar = [this](const std::optional<std::string>& metar) {
        weather_injection_.InjectServerMetar(metar);
    };
    targets.ai_status = [this](const QString& text) { form1_.SetStatusText(1, text); };
    targets.ai_create = [this](const FieldList& fields) { ai_objects_.Create(fields); };
    targets.ai_remove = [this](const FieldList& fields) { ai_objects_.Remove(fields); };
    targets.ai_route = [this](const FieldList& fields) { ai_objects_.Route(fields); };
    targets.ai_start = [this](const FieldList& fields) { ai_objects_.Start(fields); };
    wirePlanPanel(targets);
    connect(&link_, &ServerLink::receiveTickDone, this,
            [this] { stations_.ForgetFacilityTexts(); });
    dispatcher_.SetTargets(std::move(targets));

    connect(&form1_, &TForm1::shown, this, &App::FormShow);
    connect(&form1_, &TForm1::closed, this, &App::FormClose);

    FormCreate();
}

App::~App() = default;

void App::Start() {
    form1_.showMinimized();
}

void App::Close() {
    form1_.close();
}

App::TestView App::test_view() {
    return {sim_link_, state_, link_, speech_, ai_objects_};
}

void App::FormCreate() {
    // The link flags start false in the server link itself; the lists that live for the
    // whole run are owned by the subsystems that fill them.
    LoadResult loaded = LoadSettings(ini_, settings_, code_tables_);
    if (loaded.unreadable) {
        // Said once, first: it explains the messages the defaults bring next, and the
        // close step's failed save then says "Impossible d'écrire" for the same file.
        dialogs_.ShowMessage(nullptr, Dialogs::MessageKind::Warning, TForm1::kCaption,
                             QStringLiteral("Impossible de lire %1")
                                 .arg(QString::fromStdString(PathText(ini_.path()))));
    }
    if (loaded.conversion_error) {
        // Creation ends here: no code tables, no simulator link; the window still opens
        // and the user can open the link from its panel.
        dialogs_.ShowMessage(nullptr, Dialogs::MessageKind::Critical, TForm1::kCaption,
                             ToDisplay(*loaded.conversion_error));
        return;
    }
    link_.SetReportInterval(settings_.report_interval_ms);
    tellSimulatorFolder();
    sim_link_.OpenSimulatorLink();
}

void App::tellSimulatorFolder() {
    if (!simulator_.simulator_folder_known) {
        return;
    }
    // A value that names no folder ("ERROR" when the key is absent) is told as none.
    const QString folder = ToDisplay(settings_.sim_dir);
    simulator_.simulator_folder_known(QDir(folder).exists() && !folder.isEmpty()
                                          ? std::filesystem::path(folder.toStdWString())
                                          : std::filesystem::path());
}

void App::FormShow() {
    QString sim_dir = ToDisplay(settings_.sim_dir);
    SimulatorExecutables found = FindSimulatorExecutables(sim_dir);
    if (found.none()) {
        QString start = QDir(sim_dir).exists() ? sim_dir : QDir::homePath();
        QString chosen =
            dialogs_.OpenFile(nullptr, "Simutator path?", start, "simulateur (*.exe *.EXE)");
        if (!chosen.isEmpty()) {
            sim_dir = FolderWithSeparator(chosen);
            settings_.sim_dir = FromDisplay(sim_dir);
            if (!SaveSimulatorFolder(ini_, settings_.sim_dir)) {
                reportUnwritableSettings();
            }
            found = FindSimulatorExecutables(sim_dir);
            tellSimulatorFolder();
        }
    }
    sim_type_ = SimTypeOf(found, sim_type_);
    form1_.Panel_FSX->setCaption(sim_type_);
}

void App::FormClose() {
    if (!SaveSettings(ini_, settings_)) {
        reportUnwritableSettings();
    }
    if (link_.logged_in()) {
        link_.DisconnectFromServer();
    }
    sim_link_.RemoveSimulatorMenu();
    // The object window may still be open; the program ends with the main window.
    form_objet_.close();
    emit finished();
}

void App::wireWeatherPanel(SimMessageActions& actions) {
    meteo_panel_ =
        new MeteoPanel(*form1_.Panel_meteo, weather_requests_, weather_report_, code_tables_,
                       state_, [this](const QString& caption, const QString& prompt) {
                           return dialogs_.EnterLine(&form1_, caption, 300, 120, prompt, QString());
                       });
    connect(&form1_, &TForm1::weatherRequested, this,
            [this] { meteo_panel_->RequestLocalWeather(); });
    actions.weather_observation = [this](const std::string& text) {
        meteo_panel_->ObservationArrived(text);
    };
    actions.weather_no_answer = [this] { meteo_panel_->NoAnswer(); };
}

void App::wirePlanPanel(DispatchTargets& targets) {
    PlanPanelServices services;
    services.show_message = [this](const QString& text) {
        dialogs_.ShowMessage(&form1_, Dialogs::MessageKind::Warning, TForm1::kCaption, text);
    };
    services.show_error = [this](const QString& text) {
        dialogs_.ShowMessage(&form1_, Dialogs::MessageKind::Critical, TForm1::kCaption, text);
    };
    services.choose_file = [this](const FileDialogRequest& request) -> std::optional<std::string> {
        const QString chosen =
            dialogs_.OpenFile(&form1_, ToDisplay(request.title), ToDisplay(request.folder),
                              ToDisplay(request.filter));
        if (chosen.isEmpty()) {
            return std::nullopt;
        }
        return FromDisplay(chosen);
    };
    services.enter_line = [this](const EntryRequest& request) -> std::optional<std::string> {
        const std::optional<QString> entered = dialogs_.EnterLine(
            &form1_, ToDisplay(request.caption), request.window_width, request.entry_width,
            ToDisplay(request.prompt), ToDisplay(request.initial_text));
        if (!entered) {
            return std::nullopt;
        }
        return FromDisplay(*entered);
    };
    services.show_status = [this](int panel, const QString& text) {
        form1_.SetStatusText(panel, text);
    };
    services.config = &ini_;
    services.plan_folder = &settings_.plan_folder;
    services.working_folder = FromDisplay(form1_.working_folder());
    services.config_unwritable = [this] { reportUnwritableSettings(); };
    services.read_simulator = [this](std::uint32_t offset, std::uint32_t size) {
        return ReadOffsets(fsuipc_, offset, size);
    };
    services.write_simulator = [this](std::uint32_t offset, const std::string& bytes) {
        return WriteOffsets(fsuipc_, offset, bytes);
    };
    services.show_in_simulator = [this](const std::string& text) {
        return ShowTextInSimulator(fsuipc_, text);
    };
    services.identity = &identity_;
    services.logged_in = [this] { return link_.logged_in(); };
    services.send_plan = [this](const FlightPlanLine& v) {
        if (!link_.socket_connected()) {
            return false;
        }
        link_.SendLine(ComposeFlightPlan(identity_.atc_identifier, v));
        return true;
    };
    services.query_filed_plans = [this](const std::optional<std::string>& date) {
        link_.SendLine(date ? ComposeFiledPlansByDateQuery(identity_.atc_identifier, *date)
                            : ComposeAllFiledPlansQuery(identity_.atc_identifier));
    };
    services.open_filed_plans = [this](const QString& caption) {
        form_objet_.ShowFiledPlans(caption);
    };
    services.list_filed_plan = [this](const QString& line) { form_objet_.AppendFiledPlan(line); };
    services.repaint = [this] { form1_.update(); };
    services.locale = QLocale::system();
    plan_panel_ = new PlanPanel(*form1_.Panel_FP, flight_plan_, std::move(services));

    targets.filing_acknowledged = [this](const FieldList& fields) {
        plan_panel_->FilingAcknowledged(fields);
    };
    targets.own_filed_plan = [this](const FieldList& fields) { plan_panel_->OwnFiledPlan(fields); };
    targets.filed_plan_listed = [this](const FieldList& fields) {
        plan_panel_->FiledPlanListed(fields);
    };
    connect(&form1_, &TForm1::painted, plan_panel_, &PlanPanel::ApplyPanelState);
    // Before the simulator is looked for, as the show step's order has it.
    connect(&form1_, &TForm1::shown, plan_panel_, &PlanPanel::FormShow);
    connect(&form1_, &TForm1::allFiledPlansRequested, plan_panel_, &PlanPanel::tous1Click);
    connect(&form1_, &TForm1::filedPlansByDateRequested, plan_panel_, &PlanPanel::pardate1Click);
}

void App::reportUnwritableSettings() {
    // The file kept its previous content; the user should know the change is not in it.
    dialogs_.ShowMessage(&form1_, Dialogs::MessageKind::Warning, TForm1::kCaption,
                         QStringLiteral("Impossible d'écrire %1")
                             .arg(QString::fromStdString(PathText(ini_.path()))));
}

void App::writeSimulatorLog(const std::string& line) {
    form_objet_.AppendLog(ToDisplay(line));
}

}  // namespace tavoro
