#pragma once

#include <QObject>
#include <QString>
#include <memory>

#include "core/Aircraft.h"
#include "core/Palette.h"
#include "core/Timer.h"
#include "sim/FsuipcClient.h"
#include "sim/SimConnectClient.h"
#include "sim/SimMessages.h"

namespace tavoro {

// The link to the simulator: FSUIPC, which is required and carries every aircraft value,
// and SimConnectClient, which is optional and carries the menu, failures, clock, AI objects and
// weather. Its two timers run it: Timer3 waits until the simulator is ready, Timer2 polls
// it every second. While polling runs, the relay of texts to the simulator may run too
// (pollingStarted, pollingStopped).
//
// The state of the link shows on the simulator button (panelColour, panelBevel, announced
// by panelChanged) and in the status bar (statusMessage).
class SimulatorLink : public QObject {
    Q_OBJECT

public:
    // Status panel of the link's opening, and of the SimConnect leg's loss.
    static constexpr int kOpenPanel = 0;
    static constexpr int kPollingPanel = 1;  // status panel of exchange errors

    SimulatorLink(FsuipcClient& fsuipc, SimConnectClient& simconnect, AircraftState& state,
                  AircraftIdentity& identity, FailureState& failure_state,
                  TimerFactory& timers = EventLoopTimers(), QObject* parent = nullptr);
    // What the simulator's messages do beyond the aircraft's records.
    void SetMessageActions(SimMessageActions actions) { actions_ = std::move(actions); }

    void OpenSimulatorLink();
    void CloseSimulatorLink();
    // The simulator button: closes the link when it is up, opens it otherwise.
    void ToggleSimulatorLink();
    // Timer3's step of the ready wait: once the simulator is ready, the identity is read
    // and polling starts.
    void CheckSimulatorReady();
    // Timer2's step: one polling exchange.
    void PollSimulator();
    void ReadAircraftIdentity();
    // The close step of the program: the simulator's menu goes away with it.
    void RemoveSimulatorMenu();

    bool sim_link_up() const { return sim_link_up_; }
    bool simconnect_open() const { return simconnect_.is_open(); }
    Rgb panelColour() const { return colour_; }
    Bevel panelBevel() const { return bevel_; }

    FsuipcClient& fsuipc() { return fsuipc_; }
    SimConnectClient& simconnect() { return simconnect_; }

signals:
    void panelChanged();
    void statusMessage(int panel, const QString& text);
    // The identity was read: Label_ID and Label_airline follow it.
    void identityRead();
    // A polling step refreshed the aircraft's state: the caption and Label_xpd follow it.
    void stateUpdated();
    // The simulator stopped answering: the server must not keep hearing of this aircraft.
    void logOffRequested();
    // A polling step delivered the simulator's messages; the AI objects take their turn.
    void dispatched();
    // Polling started (the simulator is ready) and stopped (the link closed).
    void pollingStarted();
    void pollingStopped();

private:
    void setPanel(Rgb colour, Bevel bevel);
    void setUpSimConnect();
    void exchangeError(const char* prefix);
    void startPolling();
    void stopPolling();
    void dispatchSimConnect();
    // The library said the SimConnect connection is gone: the leg closes, the user hears.
    void simConnectLost();

    FsuipcClient& fsuipc_;
    SimConnectClient& simconnect_;
    AircraftState& state_;
    AircraftIdentity& identity_;
    FailureState& failure_state_;
    SimMessageActions actions_;
    std::unique_ptr<Timer> timer2_;
    std::unique_ptr<Timer> timer3_;
    bool sim_link_up_ = false;
    Rgb colour_ = kRed;
    Bevel bevel_ = Bevel::Raised;
};

}  // namespace tavoro
