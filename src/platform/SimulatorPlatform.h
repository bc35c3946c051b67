#pragma once

#include <filesystem>
#include <functional>
#include <memory>

#include "platform/FsuipcTransport.h"
#include "platform/SimConnectLibrary.h"

namespace tavoro {

// The two simulator interfaces as this platform serves them.
struct SimulatorPlatform {
    std::unique_ptr<FsuipcTransport> fsuipc;
    std::unique_ptr<SimConnectLibrary> simconnect;
    // Told the simulator's folder once the settings name it: where the platform may look
    // for the simulator's own library at the next open. Empty where it has no use.
    std::function<void(const std::filesystem::path& folder)> simulator_folder_known;
};

// On Linux: the stand-in simulator met in the rendezvous folder. On Windows: the
// simulator's own window and library.
SimulatorPlatform MakeSimulatorPlatform();

}  // namespace tavoro
