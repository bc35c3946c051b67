#include "platform/SimulatorPlatform.h"

#include "platform/windows/LoadedSimConnect.h"
#include "platform/windows/Win32FsuipcTransport.h"

namespace tavoro {

SimulatorPlatform MakeSimulatorPlatform() {
    auto simconnect = std::make_unique<LoadedSimConnect>();
    LoadedSimConnect* library = simconnect.get();
    SimulatorPlatform platform;
    platform.fsuipc = std::make_unique<Win32FsuipcTransport>();
    platform.simconnect = std::move(simconnect);
    platform.simulator_folder_known = [library](const std::filesystem::path& folder) {
        library->SetFallbackFolders({folder.wstring()});
    };
    return platform;
}

}  // namespace tavoro
