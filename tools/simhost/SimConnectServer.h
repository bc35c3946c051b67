#pragma once

#include <QObject>
#include <QString>
#include <cstdint>

#include "SimState.h"

namespace tavoro::simhost {

// The stand-in's SimConnect side: one client at a time on a local socket, answering the
// library's calls from the shared state and sending the messages a simulator would.
class SimConnectServer : public QObject {
    Q_OBJECT

public:
    explicit SimConnectServer(SimState& state, QObject* parent = nullptr);
    ~SimConnectServer() override;

    // Listens on the socket at `path`; the reason when it cannot, the empty text when it
    // listens.
    QString Listen(const QString& path);

    // The "menu N" command: the connected client receives menu event N. False when no
    // client is connected.
    bool FireMenuEvent(std::uint32_t event_id);

private:
    SimState& state_;
};

}  // namespace tavoro::simhost
