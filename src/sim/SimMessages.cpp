#include "sim/SimMessages.h"

#include <cstdio>
#include <cstring>

#include "platform/SimConnectMessages.h"
#include "sim/SimConnectClient.h"

namespace tavoro {
namespace {

void call(const std::function<void()>& action) {
    if (action) {
        action();
    }
}

void log(const SimMessageActions& actions, const std::string& line) {
    if (actions.log) {
        actions.log(line);
    }
}

void onException(const std::uint8_t* message, std::uint32_t size,
                 const SimMessageActions& actions) {
    using namespace sim_recv;
    if (size < kExceptionSize) {
        return;
    }
    const std::uint32_t code = SimRecvWord(message, size, kExceptionCode);
    if (code == kSimExceptionInvalidMetar) {
        log(actions, "invalid metar");
    } else if (code == kSimExceptionNoObservation) {
        call(actions.weather_no_answer);
    }
    char line[160];
    std::snprintf(
        line, sizeof line, "***** EXCEPTION=%d  SendID=%d  Index=%d  cbData=%d",
        static_cast<int>(code), static_cast<int>(SimRecvWord(message, size, kExceptionSendId)),
        static_cast<int>(SimRecvWord(message, size, kExceptionIndex)), static_cast<int>(size));
    log(actions, line);
}

void onEvent(const std::uint8_t* message, std::uint32_t size, const SimMessageActions& actions) {
    using namespace sim_recv;
    if (size < kEventSize) {
        return;
    }
    switch (SimRecvWord(message, size, kEventId) & 0xFF) {
        case sim_ids::kEventShow:
            call(actions.show_window);
            break;
        case sim_ids::kEventHide:
            call(actions.hide_window);
            break;
        case sim_ids::kEventQuit:
            call(actions.close_window);
            break;
        default:
            break;
    }
}

void onObjectAddRemove(const std::uint8_t* message, std::uint32_t size,
                       const SimMessageActions& actions) {
    using namespace sim_recv;
    if (size < kEventObjectAddRemoveSize) {
        return;
    }
    if ((SimRecvWord(message, size, kEventId) & 0xFF) != sim_ids::kEventObjectRemoved) {
        return;
    }
    const std::uint32_t type = SimRecvWord(message, size, kEventObjectType);
    if ((type == kSimObjectBoat || type == kSimObjectGround) && actions.object_removed) {
        actions.object_removed(SimRecvWord(message, size, kEventData));
    }
}

void onObjectData(const std::uint8_t* message, std::uint32_t size, FailureState& failure_state) {
    using namespace sim_recv;
    if (size < kDataBlock + 16 ||
        (SimRecvWord(message, size, kDataRequestId) & 0xFF) != sim_ids::kRequestUserAircraft) {
        return;
    }
    for (std::uint32_t engine = 0; engine < 4; ++engine) {
        failure_state[engine] = SimRecvFloat(message, size, kDataBlock + 4 * engine) != 0.0f;
    }
}

void onWeather(const std::uint8_t* message, std::uint32_t size, const SimMessageActions& actions) {
    using namespace sim_recv;
    if (size < kWeatherText ||
        (SimRecvWord(message, size, kWeatherRequestId) & 0xFF) != sim_ids::kRequestWeather ||
        !actions.weather_observation) {
        return;
    }
    // The text ends at its zero, or at the message's end if the zero is missing.
    const char* text = reinterpret_cast<const char*>(message + kWeatherText);
    const std::size_t room = size - kWeatherText;
    const void* zero = std::memchr(text, 0, room);
    const std::string metar(text, zero ? static_cast<const char*>(zero) - text : room);
    // A text the weather subsystem cannot take must not stop the other messages.
    try {
        actions.weather_observation(metar);
    } catch (...) {
    }
}

void onAssignedId(const std::uint8_t* message, std::uint32_t size,
                  const SimMessageActions& actions) {
    using namespace sim_recv;
    if (size < kAssignedSize ||
        (SimRecvWord(message, size, kAssignedRequestId) & 0xFF) != sim_ids::kRequestAiObjects) {
        return;
    }
    const std::uint32_t object_id = SimRecvWord(message, size, kAssignedObjectId);
    if (actions.object_id_assigned) {
        actions.object_id_assigned(object_id);
    }
    log(actions, "affect id:" + std::to_string(object_id));
}

}  // namespace

void OnSimConnectMessage(const std::uint8_t* message, std::uint32_t size,
                         FailureState& failure_state, const SimMessageActions& actions) {
    if (message == nullptr || size < sim_recv::kHeaderSize) {
        return;
    }
    switch (SimRecvWord(message, size, sim_recv::kId) & 0xFF) {
        case kSimRecvException:
            onException(message, size, actions);
            break;
        case kSimRecvEvent:
            onEvent(message, size, actions);
            break;
        case kSimRecvEventObjectAddRemove:
            onObjectAddRemove(message, size, actions);
            break;
        case kSimRecvSimObjectDataByType:
            onObjectData(message, size, failure_state);
            break;
        case kSimRecvWeatherObservation:
            onWeather(message, size, actions);
            break;
        case kSimRecvAssignedObjectId:
            onAssignedId(message, size, actions);
            break;
        default:
            break;
    }
}

}  // namespace tavoro
