#include "sim/SimulatorLink.h"

#include <array>
#include <cstring>

#include "platform/SimConnectMessages.h"
#include "sim/AircraftConversion.h"

namespace tavoro {
namespace {

constexpr char kClientName[] = "MYAPP";

// Set-up values of the connection.
constexpr std::array<const char*, 4> kEngineFailedData = {
    "GENERAL ENG FAILED:1", "GENERAL ENG FAILED:2", "GENERAL ENG FAILED:3", "GENERAL ENG FAILED:4"};
constexpr std::uint32_t kFirstClientEvent = 4;
constexpr std::array<const char*, 13> kClientEvents = {"TOGGLE_ENGINE1_FAILURE",
                                                       "TOGGLE_ENGINE2_FAILURE",
                                                       "TOGGLE_ENGINE3_FAILURE",
                                                       "TOGGLE_ENGINE4_FAILURE",
                                                       "TOGGLE_ELECTRICAL_FAILURE",
                                                       "TOGGLE_PITOT_BLOCKAGE",
                                                       "TOGGLE_STATIC_PORT_BLOCKAGE",
                                                       "TOGGLE_HYDRAULIC_FAILURE",
                                                       "TOGGLE_TOTAL_BRAKE_FAILURE",
                                                       "TOGGLE_VACUUM_FAILURE",
                                                       "ZULU_HOURS_SET",
                                                       "ZULU_MINUTES_SET",
                                                       "ZULU_DAY_SET"};

constexpr std::uint32_t kNotReadyOffset = 0x3364;

QString errorText(const char* prefix, int code) {
    return QString::fromUtf8(prefix) + QString::fromUtf8(FsuipcErrorText(code));
}

// The identity's fields, each read whole into its own buffer.
struct IdentityFields {
    char model[24];
    char type[24];
    char title[256];
    char identifier[12];
    char airline[24];
};

}  // namespace

SimulatorLink::SimulatorLink(FsuipcClient& fsuipc, SimConnectClient& simconnect,
                             AircraftState& state, AircraftIdentity& identity,
                             FailureState& failure_state, TimerFactory& timers, QObject* parent)
    : QObject(parent),
      fsuipc_(fsuipc),
      simconnect_(simconnect),
      state_(state),
      identity_(identity),
      failure_state_(failure_state),
      timer2_(timers.Create("Timer2", 1000)),
      timer3_(timers.Create("Timer3", 1000)) {
    timer2_->OnTick([this] { PollSimulator(); });
    timer3_->OnTick([this] { CheckSimulatorReady(); });
}

void SimulatorLink::setPanel(Rgb colour, Bevel bevel) {
    colour_ = colour;
    bevel_ = bevel;
    emit panelChanged();
}

void SimulatorLink::ToggleSimulatorLink() {
    if (sim_link_up_) {
        CloseSimulatorLink();
    } else {
        OpenSimulatorLink();
    }
}

void SimulatorLink::OpenSimulatorLink() {
    if (!fsuipc_.Open(0)) {
        // Without FSUIPC there is no aircraft to follow; SimConnect is not tried.
        sim_link_up_ = false;
        setPanel(kRed, Bevel::Raised);
        emit statusMessage(kOpenPanel, QString::fromUtf8(FsuipcErrorText(fsuipc_.error())));
        return;
    }
    if (simconnect_.Open(kClientName)) {
        setUpSimConnect();
    }
    sim_link_up_ = true;
    setPanel(kGreen, Bevel::Lowered);
    std::string version = SimVersionName(fsuipc_.sim_version());
    if (version.empty()) {
        // Versions past the named ones: the number, so the user can still tell them apart.
        version = "version " + std::to_string(fsuipc_.sim_version());
    }
    emit statusMessage(kOpenPanel, QString::fromUtf8(FsuipcErrorText(kFsuipcOk)) + " " +
                                       QString::fromStdString(version));
    timer3_->Start();
}

void SimulatorLink::setUpSimConnect() {
    using L = SimConnectLibrary;
    using namespace sim_ids;
    // The results are kept as the last result and not tested: a feature the simulator
    // refused is simply absent.
    simconnect_.Call(&L::MenuAddItem, "Tavoro_Client", kEventMenu, kMenuData);
    simconnect_.Call(&L::MenuAddSubItem, kEventMenu, "Afficher", kEventShow, kMenuData);
    simconnect_.Call(&L::MenuAddSubItem, kEventMenu, "Masquer", kEventHide, kMenuData);
    simconnect_.Call(&L::MenuAddSubItem, kEventMenu, "Terminer", kEventQuit, kMenuData);
    for (const char* datum : kEngineFailedData) {
        simconnect_.Call(&L::AddToDataDefinition, kDefinitionEngineFailures, datum, "Bool",
                         kSimDataFloat32, 0.0f, kSimUnused);
    }
    simconnect_.Call(&L::AddToDataDefinition, kDefinitionWaypoints, "AI Waypoint List", "number",
                     kSimDataWaypoint, 0.0f, kSimUnused);
    for (std::uint32_t i = 0; i < kClientEvents.size(); ++i) {
        simconnect_.Call(&L::MapClientEventToSimEvent, kFirstClientEvent + i, kClientEvents[i]);
    }
    for (std::uint32_t i = 0; i < kClientEvents.size(); ++i) {
        simconnect_.Call(&L::AddClientEventToNotificationGroup, kGroup, kFirstClientEvent + i,
                         false);
    }
    simconnect_.Call(&L::SetNotificationGroupPriority, kGroup, kSimGroupPriorityHighest);
    simconnect_.Call(&L::SubscribeToSystemEvent, kEventObjectAdded, "ObjectAdded");
    simconnect_.Call(&L::SubscribeToSystemEvent, kEventObjectRemoved, "ObjectRemoved");
}

void SimulatorLink::CloseSimulatorLink() {
    stopPolling();
    fsuipc_.Close();
    simconnect_.Close();
    sim_link_up_ = false;
    setPanel(kRed, Bevel::Raised);
    // The ready wait goes on while closed, and so keeps saying that the link is not open.
    timer3_->Start();
}

void SimulatorLink::exchangeError(const char* prefix) {
    emit statusMessage(kPollingPanel, errorText(prefix, fsuipc_.error()));
}

void SimulatorLink::startPolling() {
    timer2_->Start();
    timer3_->Stop();
    emit pollingStarted();
}

void SimulatorLink::stopPolling() {
    timer2_->Stop();
    emit pollingStopped();
}

void SimulatorLink::CheckSimulatorReady() {
    std::uint8_t not_ready = 0;
    if (!fsuipc_.Read(kNotReadyOffset, 1, &not_ready)) {
        exchangeError("Reading: ");
        return;
    }
    if (!fsuipc_.Process()) {
        exchangeError("Processing: ");
        return;
    }
    if (not_ready == 0) {
        ReadAircraftIdentity();
        startPolling();
    }
}

void SimulatorLink::ReadAircraftIdentity() {
    IdentityFields fields{};
    if (!fsuipc_.Read(0x3500, sizeof fields.model, fields.model)) {
        exchangeError("Reading: ");
        return;
    }
    fsuipc_.Read(0x3160, sizeof fields.type, fields.type);
    fsuipc_.Read(0x3D00, sizeof fields.title, fields.title);
    fsuipc_.Read(0x313C, sizeof fields.identifier, fields.identifier);
    fsuipc_.Read(0x3148, sizeof fields.airline, fields.airline);
    if (!fsuipc_.Process()) {
        // Nothing was read: the identity keeps what it held, so the callsign on the
        // server link does not turn empty for one exchange that failed.
        exchangeError("Processing: ");
        return;
    }
    identity_.atc_model = FieldText(fields.model, sizeof fields.model);
    identity_.atc_type = FieldText(fields.type, sizeof fields.type);
    identity_.aircraft_title = FieldText(fields.title, sizeof fields.title);
    identity_.atc_identifier = FieldText(fields.identifier, sizeof fields.identifier);
    identity_.atc_airline = FieldText(fields.airline, sizeof fields.airline);
    emit identityRead();
}

void SimulatorLink::PollSimulator() {
    PollingOffsets raw;
    // Read straight into the record's fields; an exchange that fails leaves them unused.
    if (!fsuipc_.Read(0x02B4, 4, &raw.ground_speed)) {
        exchangeError("Reading: ");
    } else {
        fsuipc_.Read(0x0560, 8, &raw.latitude);
        fsuipc_.Read(0x0568, 8, &raw.longitude);
        fsuipc_.Read(0x0570, 4, &raw.altitude_fraction);
        fsuipc_.Read(0x0574, 4, &raw.altitude_metres);
        fsuipc_.Read(0x0578, 4, &raw.pitch);
        fsuipc_.Read(0x057C, 4, &raw.bank);
        fsuipc_.Read(0x0580, 4, &raw.heading);
        fsuipc_.Read(0x0354, 2, &raw.transponder);
        fsuipc_.Read(0x0238, 1, &raw.local_hour);
        fsuipc_.Read(0x0239, 1, &raw.local_minute);
        fsuipc_.Read(0x023B, 1, &raw.zulu_hour);
        fsuipc_.Read(0x023C, 1, &raw.zulu_minute);
        fsuipc_.Read(0x023A, 1, &raw.second);
        fsuipc_.Read(0x0AEC, 2, &raw.engines);
        fsuipc_.Read(kNotReadyOffset, 1, &raw.not_ready);
        if (!fsuipc_.Process()) {
            exchangeError("Processing: ");
            if (fsuipc_.error() == kFsuipcSendFailed) {
                CloseSimulatorLink();
                emit logOffRequested();
            }
        } else if (raw.not_ready != 0) {
            stopPolling();
            timer3_->Start();
        } else {
            ApplyPollingOffsets(raw, state_);
            emit stateUpdated();
        }
    }
    dispatchSimConnect();
}

void SimulatorLink::dispatchSimConnect() {
    if (!simconnect_.is_open()) {
        return;
    }
    using L = SimConnectLibrary;
    // A connection lost for good is told by the quit message, as the Windows library
    // tells of a simulator that quit: a failing call or dispatch alone could not tell a
    // lost connection from one refused request.
    bool quit = false;
    const SimMessageProc proc = [this, &quit](const std::uint8_t* message, std::uint32_t size) {
        if ((SimRecvWord(message, size, sim_recv::kId) & 0xFF) == kSimRecvQuit) {
            quit = true;
            return;
        }
        OnSimConnectMessage(message, size, failure_state_, actions_);
    };
    // Whatever goes wrong in the library or in a handler costs this step's messages only.
    try {
        simconnect_.Call(&L::RequestDataOnSimObjectType, sim_ids::kRequestUserAircraft,
                         sim_ids::kDefinitionEngineFailures, 0u, kSimObjectUser);
        simconnect_.Call(&L::CallDispatch, proc);
    } catch (...) {
    }
    if (quit) {
        simConnectLost();
        return;
    }
    emit dispatched();
}

void SimulatorLink::simConnectLost() {
    // The leg closes as if it had never opened: the FSUIPC values keep flowing, polling
    // makes no SimConnect call, and any other fails in the closed library, until the link
    // is opened again. Close still lets the library's handle go.
    simconnect_.Close();
    emit statusMessage(kOpenPanel, QStringLiteral("SimConnect: connexion perdue"));
}

void SimulatorLink::RemoveSimulatorMenu() {
    using L = SimConnectLibrary;
    try {
        simconnect_.Call(&L::MenuDeleteSubItem, sim_ids::kEventMenu, sim_ids::kEventShow);
        simconnect_.Call(&L::MenuDeleteItem, sim_ids::kEventMenu);
    } catch (...) {
    }
}

}  // namespace tavoro
