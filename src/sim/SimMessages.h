#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/Aircraft.h"

namespace tavoro {

// What the simulator's messages do outside the aircraft's records. An action left empty
// is skipped, so a subsystem that is not there yet simply does not hear of its messages.
struct SimMessageActions {
    // One line for the simulator log.
    std::function<void(const std::string& line)> log;
    // The simulator menu's "Afficher", "Masquer" and "Terminer".
    std::function<void()> show_window;
    std::function<void()> hide_window;
    std::function<void()> close_window;
    // An observation answering the weather request, and the simulator's refusal to give one.
    std::function<void(const std::string& metar)> weather_observation;
    std::function<void()> weather_no_answer;
    // The simulator's id for the object created last, and the removal of a boat or ground
    // vehicle it reports.
    std::function<void(std::uint32_t object_id)> object_id_assigned;
    std::function<void(std::uint32_t object_id)> object_removed;
};

// Request, event and definition numbers shared by the link and the message handler.
namespace sim_ids {
constexpr std::uint32_t kDefinitionEngineFailures = 0;
constexpr std::uint32_t kDefinitionWaypoints = 1;
constexpr std::uint32_t kRequestUserAircraft = 0;
constexpr std::uint32_t kRequestWeather = 1;
constexpr std::uint32_t kRequestAiObjects = 2;
constexpr std::uint32_t kEventMenu = 0;
constexpr std::uint32_t kEventShow = 1;
constexpr std::uint32_t kEventHide = 2;
constexpr std::uint32_t kEventQuit = 3;
constexpr std::uint32_t kEventObjectAdded = 17;
constexpr std::uint32_t kEventObjectRemoved = 18;
constexpr std::uint32_t kMenuData = 12345;
constexpr std::uint32_t kGroup = 0;
}  // namespace sim_ids

// Handles one message of the simulator's dispatch: `message` holds `size` bytes in the
// library's layout. Reads nothing past `size`; a message too short for its kind is
// ignored.
void OnSimConnectMessage(const std::uint8_t* message, std::uint32_t size,
                         FailureState& failure_state, const SimMessageActions& actions);

}  // namespace tavoro
