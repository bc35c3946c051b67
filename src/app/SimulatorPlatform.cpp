#include "SimulatorPlatform.h"

#include "LocalFsuipcTransport.h"
#include "LocalSimConnect.h"
#include "SimRendezvous.h"

namespace tavoro {

SimulatorPlatform MakeSimulatorPlatform() {
    const std::string folder = SimRendezvousFolder();
    return {std::make_unique<LocalFsuipcTransport>(folder),
            std::make_unique<LocalSimConnect>(folder)};
}

}  // namespace tavoro
