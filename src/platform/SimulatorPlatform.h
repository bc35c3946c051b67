#pragma once

#include <memory>

#include "platform/FsuipcTransport.h"
#include "platform/SimConnectLibrary.h"

namespace tavoro {

// The two simulator interfaces as this platform serves them.
struct SimulatorPlatform {
    std::unique_ptr<FsuipcTransport> fsuipc;
    std::unique_ptr<SimConnectLibrary> simconnect;
};

// On Linux: the stand-in simulator met in the rendezvous folder.
SimulatorPlatform MakeSimulatorPlatform();

}  // namespace tavoro
