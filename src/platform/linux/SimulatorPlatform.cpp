#include "platform/SimulatorPlatform.h"

#include "platform/linux/LocalFsuipcTransport.h"
#include "platform/linux/LocalSimConnect.h"
#include "platform/linux/SimRendezvous.h"

namespace tavoro {

SimulatorPlatform MakeSimulatorPlatform() {
    const std::string folder = SimRendezvousFolder();
    // The stand-in's library is not looked for: the simulator's folder is of no use here.
    return {std::make_unique<LocalFsuipcTransport>(folder),
            std::make_unique<LocalSimConnect>(folder),
            {}};
}

}  // namespace tavoro
