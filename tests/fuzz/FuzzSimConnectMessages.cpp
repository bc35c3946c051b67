// The handling of the simulator's messages on any bytes a dispatch may deliver: nothing
// may be read past the message's size, whatever its header claims.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "sim/SimMessages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavoro;
    if (size > 0x100000) {
        return 0;
    }
    // A copy of exactly `size` bytes, so a read past it is a heap overflow the sanitizer
    // sees.
    std::unique_ptr<std::uint8_t[]> message(new std::uint8_t[size > 0 ? size : 1]);
    std::memcpy(message.get(), data, size);
    FailureState failures{};
    SimMessageActions actions;
    actions.log = [](const std::string&) {};
    actions.show_window = [] {};
    actions.hide_window = [] {};
    actions.close_window = [] {};
    actions.weather_observation = [](const std::string&) {};
    actions.weather_no_answer = [] {};
    actions.object_id_assigned = [](std::uint32_t) {};
    actions.object_removed = [](std::uint32_t) {};
    OnSimConnectMessage(message.get(), static_cast<std::uint32_t>(size), failures, actions);
    return 0;
}
