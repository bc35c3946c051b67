#include "SimConnectServer.h"

namespace tavoro::simhost {

// Placeholder until the SimConnect side lands: it refuses to listen.
SimConnectServer::SimConnectServer(SimState& state, QObject* parent)
    : QObject(parent), state_(state) {}

SimConnectServer::~SimConnectServer() = default;

QString SimConnectServer::Listen(const QString&) {
    return "the SimConnect side is not built yet";
}

bool SimConnectServer::FireMenuEvent(std::uint32_t) {
    return false;
}

}  // namespace tavoro::simhost
