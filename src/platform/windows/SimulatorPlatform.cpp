#include "platform/SimulatorPlatform.h"

#include "platform/windows/LoadedSimConnect.h"
#include "platform/windows/Win32FsuipcTransport.h"

namespace tavoro {

SimulatorPlatform MakeSimulatorPlatform() {
    return {std::make_unique<Win32FsuipcTransport>(), std::make_unique<LoadedSimConnect>()};
}

}  // namespace tavoro
