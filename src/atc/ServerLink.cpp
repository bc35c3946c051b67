#include "atc/ServerLink.h"

#include <QHostInfo>

#include "core/Numbers.h"
#include "core/Text.h"

namespace tavoro {

ReverseLookup SystemReverseLookup() {
    return [](const QHostAddress& address, QObject* context,
              std::function<void(const QString&)> done) {
        QHostInfo::lookupHost(
            address.toString(), context, [address, done = std::move(done)](const QHostInfo& info) {
                // A reverse lookup without a name answers the address itself.
                QString name = info.hostName();
                if (info.error() != QHostInfo::NoError || name == address.toString()) {
                    name.clear();
                }
                done(name);
            });
    };
}

ServerLink::ServerLink(const Settings& settings, const AircraftIdentity& identity,
                       const AircraftState& state, ReverseLookup reverse_lookup,
                       std::unique_ptr<ServerTransport> transport, TimerFactory& timers,
                       ReceiveQueue::Clock clock, QObject* parent)
    : QObject(parent),
      settings_(settings),
      identity_(identity),
      state_(state),
      reverse_lookup_(std::move(reverse_lookup)),
      transport_(std::move(transport)),
      timer4_(timers.Create("Timer4", 0)),
      timer5_(timers.Create("Timer5", 100)),
      receive_queue_(std::move(clock)) {
    timer4_->OnTick([this] { emit positionReportDue(); });
    timer5_->OnTick([this] { ProcessReceiveQueue(); });

    connect(transport_.get(), &ServerTransport::connected, this, &ServerLink::ClientSocket1Connect);
    connect(transport_.get(), &ServerTransport::disconnected, this,
            &ServerLink::ClientSocket1Disconnect);
    connect(transport_.get(), &ServerTransport::dataRead, this, &ServerLink::ClientSocket1Read);
    connect(transport_.get(), &ServerTransport::errorOccurred, this,
            &ServerLink::ClientSocket1Error);
}

ServerLink::~ServerLink() {
    // The transport dies with this object and would report its own closing to handlers
    // of an object already half destroyed.
    transport_->disconnect(this);
}

void ServerLink::ConnectToServer() {
    int port = 0;
    try {
        port = ParseWholeNumber(settings_.server_port);
    } catch (const ConversionError& error) {
        emit errorMessage(ToDisplay(error.what()));
        return;
    }
    if (port < 0 || port > 65535) {
        emit errorMessage(QStringLiteral("'%1' n'est pas un numéro de port valide")
                              .arg(ToDisplay(settings_.server_port)));
        return;
    }
    // A click while an earlier attempt is still pending starts over.
    if (transport_->state() != QAbstractSocket::UnconnectedState) {
        transport_->Abort();
    }
    // What an earlier connection left queued would act on this one: a refusal would
    // close it, a welcome log it in before its own answer.
    receive_queue_.Clear();
    connecting_ = true;
    transport_->ConnectToHost(ToDisplay(settings_.server_address), static_cast<quint16>(port));
    setPanel(kOrange);
}

void ServerLink::DisconnectFromServer() {
    SendLine(ComposeLogoff(identity_.atc_identifier));
    if (transport_->state() == QAbstractSocket::ConnectedState) {
        // Lets the "#DP" leave before the connection closes.
        transport_->DisconnectFromHost();
    } else if (transport_->state() != QAbstractSocket::UnconnectedState) {
        connecting_ = false;
        transport_->Abort();
        setPanel(kRed, Bevel::Raised);
    }
    timer4_->Stop();
    timer5_->Stop();
    // With the receive timer stopped nothing would ever take it.
    receive_queue_.Clear();
}

void ServerLink::SendLine(std::string_view line) {
    if (!socket_connected_) {
        return;
    }
    // The transport hands the line to the system at once, so a "#DP" sent while the
    // program closes still leaves.
    transport_->Write(line);
}

void ServerLink::AcceptLogin() {
    logged_in_ = true;
    setPanel(kGreen);
    // After the server dropped a connection the reports never stopped; enabling the
    // running timer again leaves its beat alone rather than starting the wait over.
    if (timer4_->Interval() > 0 && !timer4_->IsActive()) {
        timer4_->Start();
    }
}

void ServerLink::RefuseLogin(const std::string& reason) {
    // The disconnect event runs inside Abort(), so lines after the refusal in the same
    // block are handled as logged out.
    transport_->Abort();
    emit statusMessage(kRefusalPanel, QStringLiteral("refusé: ") + ToDisplay(reason));
}

void ServerLink::SetReportInterval(int interval_ms) {
    timer4_->SetInterval(std::max(interval_ms, 0));
}

void ServerLink::ProcessReceiveQueue() {
    receive_queue_.Process(kReceiveBudget, [this](const FieldList& fields) {
        if (dispatch_) {
            dispatch_(fields);
        }
    });
    emit receiveTickDone();
}

void ServerLink::RepaintFromConnection() {
    if (socket_connected_) {
        setPanel(kGreen, Bevel::Lowered);
    } else {
        setPanel(kRed, Bevel::Raised);
    }
}

void ServerLink::ClientSocket1Connect() {
    connecting_ = false;
    socket_connected_ = true;
    ++connection_number_;
    // Nothing queued before this connection opened is its own.
    receive_queue_.Clear();
    setPanel(kLime, Bevel::Lowered);

    emit statusMessage(kConnectionPanel, QStringLiteral("connecté "));
    std::uint64_t connection = connection_number_;
    reverse_lookup_(transport_->peerAddress(), this, [this, connection](const QString& name) {
        // The answer may come after that connection has gone; it then says nothing.
        if (socket_connected_ && connection == connection_number_ && !name.isEmpty()) {
            emit statusMessage(kConnectionPanel, QStringLiteral("connecté ") + name);
        }
    });

    timer5_->Start();
    SendLine(ComposeLogin(identity_.atc_identifier, settings_.server_name,
                          settings_.server_password, identity_.atc_type, identity_.atc_model,
                          state_.engine_count));
}

// What the connection had queued stays: lines sent just before the server closed are
// handled logged out at the next tick, so a refusal followed by the close still shows its
// reason. The next attempt forgets whatever is left.
void ServerLink::ClientSocket1Disconnect() {
    socket_connected_ = false;
    logged_in_ = false;
    emit statusMessage(kConnectionPanel, QStringLiteral("server disconnected"));
    setPanel(kRed, Bevel::Raised);
}

void ServerLink::ClientSocket1Read(const QByteArray& data) {
    const std::string_view bytes(data.constData(), static_cast<std::size_t>(data.size()));
    if (receive_queue_.Append(bytes, connection_number_)) {
        return;
    }
    // The server sends faster than we can ever handle: holding on would only grow the
    // process and leave every line later and later.
    receive_queue_.Clear();
    transport_->Abort();
    emit statusMessage(kConnectionPanel,
                       QStringLiteral("trop de données reçues, connexion fermée"));
}

void ServerLink::ClientSocket1Error(QAbstractSocket::SocketError error, const QString& text) {
    if (connecting_) {
        connecting_ = false;
        emit statusMessage(kConnectionPanel, QStringLiteral("erreur de connexion"));
        setPanel(kRed);
        return;
    }
    // The peer closing is the ordinary end of a connection: the disconnect event says it.
    if (error == QAbstractSocket::RemoteHostClosedError) {
        return;
    }
    emit errorMessage(
        QStringLiteral("Erreur de socket %1 : %2").arg(static_cast<int>(error)).arg(text));
}

void ServerLink::setPanel(Rgb colour) {
    colour_ = colour;
    emit panelChanged();
}

void ServerLink::setPanel(Rgb colour, Bevel bevel) {
    colour_ = colour;
    bevel_ = bevel;
    emit panelChanged();
}

}  // namespace tavoro
