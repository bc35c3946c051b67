#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "atc/LoginState.h"
#include "atc/ReceiveQueue.h"
#include "atc/ServerTransport.h"
#include "core/Aircraft.h"
#include "core/Palette.h"
#include "core/Settings.h"
#include "core/Timer.h"

namespace tavoro {

// Finds the host name of an address without blocking and calls `done` on the thread
// of `context` with the name, or with the empty text when the address has none.
using ReverseLookup = std::function<void(const QHostAddress& address, QObject* context,
                                         std::function<void(const QString& name)> done)>;

// The system resolver, through QHostInfo.
ReverseLookup SystemReverseLookup();

// The one connection to the ATC server: connecting from the configured address and
// port, logging in as soon as it opens, logging off, and queueing received data for the
// receive timer, which cuts it into lines for the dispatcher. Everything runs on the
// thread that owns the object; the transport under it is asynchronous.
//
// The state of the link is shown by the server button's colour and bevel (panelColour,
// panelBevel, announced by panelChanged) and by texts for the status bar (statusMessage).
class ServerLink : public QObject, public LoginState {
    Q_OBJECT

public:
    // Status bar panels: 0 for refusals, 1 for the connection texts.
    static constexpr int kRefusalPanel = 0;
    static constexpr int kConnectionPanel = 1;
    // How long one receive tick may hand lines on: half the 100 ms beat, so that input
    // and painting keep the other half however fast the server sends.
    static constexpr std::chrono::milliseconds kReceiveBudget{50};

    // `transport` carries the connection: TCP, unless a test plays the server itself.
    // `clock` measures the receive tick's budget.
    ServerLink(const Settings& settings, const AircraftIdentity& identity,
               const AircraftState& state, ReverseLookup reverse_lookup = SystemReverseLookup(),
               std::unique_ptr<ServerTransport> transport = std::make_unique<TcpServerTransport>(),
               TimerFactory& timers = EventLoopTimers(),
               ReceiveQueue::Clock clock = ReceiveQueue::SteadyClock(), QObject* parent = nullptr);
    ~ServerLink() override;

    // Opens the connection to [connect] adresse and port; the login follows on connect.
    void ConnectToServer();
    // Sends "#DP" when connected, closes (or cancels) the connection, stops the
    // report and receive timers.
    void DisconnectFromServer();
    // Writes one composed line, "\r\n" included; nothing happens while not connected.
    void SendLine(std::string_view line);

    bool socket_connected() const override { return socket_connected_; }
    bool logged_in() const override { return logged_in_; }

    // The two tests the dispatcher runs before login.
    void AcceptLogin() override;
    void RefuseLogin(const std::string& reason) override;

    // The line handler the receive timer calls for every received line.
    void SetDispatcher(ReceiveQueue::Dispatch dispatch) { dispatch_ = std::move(dispatch); }

    // Timer4 runs the position reports; its interval is [envoi] avion. An interval of 0
    // or less means no report is ever sent (the timer is never started).
    void SetReportInterval(int interval_ms);
    Timer& Timer4() { return *timer4_; }
    // Timer5 hands the received lines on every 100 ms.
    Timer& Timer5() { return *timer5_; }

    // One receive tick: the queued lines, oldest first, for kReceiveBudget at most.
    void ProcessReceiveQueue();
    const ReceiveQueue& receiveQueue() const { return receive_queue_; }

    Rgb panelColour() const { return colour_; }
    Bevel panelBevel() const { return bevel_; }
    // When the main window is activated the button is repainted from socket_connected.
    void RepaintFromConnection();

    QAbstractSocket::SocketState socketState() const { return transport_->state(); }

signals:
    void panelChanged();
    void statusMessage(int panel, const QString& text);
    // An error the user must read in a message box.
    void errorMessage(const QString& text);
    // Timer4 ticked: the position report is due.
    void positionReportDue();
    // A receive tick has handled its lines (or found none): what they changed can now be
    // shown, once for the whole tick.
    void receiveTickDone();

private:
    void ClientSocket1Connect();
    void ClientSocket1Disconnect();
    void ClientSocket1Read(const QByteArray& data);
    void ClientSocket1Error(QAbstractSocket::SocketError error, const QString& text);
    void setPanel(Rgb colour);
    void setPanel(Rgb colour, Bevel bevel);

    const Settings& settings_;
    const AircraftIdentity& identity_;
    const AircraftState& state_;
    ReverseLookup reverse_lookup_;
    ReceiveQueue::Dispatch dispatch_;

    std::unique_ptr<ServerTransport> transport_;
    std::unique_ptr<Timer> timer4_;
    std::unique_ptr<Timer> timer5_;
    ReceiveQueue receive_queue_;
    // Numbers each connection, so that data of an old connection is never joined to
    // data of a new one.
    std::uint64_t connection_number_ = 0;

    bool socket_connected_ = false;
    bool logged_in_ = false;
    bool connecting_ = false;
    Rgb colour_ = kRed;
    Bevel bevel_ = Bevel::Raised;
};

}  // namespace tavoro
