#include "sim/SimCommands.h"

#include <array>
#include <cstdint>
#include <cstdlib>

#include "core/Numbers.h"

namespace tavoro {
namespace {

// The client event of each failure number. The order differs from the events' own:
// failures 4 to 6 (pitot, static port, electrical) are events 9, 10 and 8.
constexpr std::array<std::uint32_t, 10> kFailureEvents = {4, 5, 6, 7, 9, 10, 8, 11, 12, 13};
constexpr std::uint32_t kEventZuluHours = 14;
constexpr std::uint32_t kEventZuluMinutes = 15;

// The clock is left alone when it is this close to the time asked.
constexpr std::int64_t kZuluToleranceSeconds = 2;

}  // namespace

SimCommands::SimCommands(SimConnectClient& simconnect, const AircraftState& aircraft,
                         FailureState& failure_state, Log log)
    : simconnect_(simconnect),
      aircraft_(aircraft),
      failure_state_(failure_state),
      log_(std::move(log)) {}

SimResult SimCommands::transmit(std::uint32_t event_id, std::uint32_t data) {
    // Group 1 with the group-is-priority flag: the highest priority.
    return simconnect_.Call(&SimConnectLibrary::TransmitClientEvent, kSimUserObject, event_id, data,
                            kSimGroupPriorityHighest, kSimEventFlagGroupIdIsPriority);
}

int SimCommands::TransmitFailure(int number) {
    if (number < 0 || number >= static_cast<int>(kFailureEvents.size())) {
        return -1;
    }
    return transmit(kFailureEvents[number], 0) == kSimOk ? number : -1;
}

bool SimCommands::SetZuluTime(int hours, int minutes) {
    // Negative values go out as their 32-bit pattern; the simulator refuses them.
    transmit(kEventZuluHours, static_cast<std::uint32_t>(hours));
    transmit(kEventZuluMinutes, static_cast<std::uint32_t>(minutes));
    return simconnect_.last_ok();
}

void SimCommands::FailureCommand(const std::string& number_text) {
    // Only the low 8 bits count: 256 is failure 0, -1 is 255 and names no failure.
    const int number = ParseWholeNumber(number_text) & 0xFF;
    if (TransmitFailure(number) != -1) {
        failure_state_[number] = !failure_state_[number];
    }
}

void SimCommands::ZuluCommand(const std::string& hours_text, const std::string& minutes_text) {
    if (log_) {
        log_(hours_text + ":" + minutes_text);
    }
    const int hours = ParseWholeNumber(hours_text);
    const int minutes = ParseWholeNumber(minutes_text);
    // 64 bits: the server's numbers are not bounded to a day.
    const std::int64_t target = std::int64_t{hours} * 3600 + std::int64_t{minutes} * 60;
    if (std::llabs(std::int64_t{aircraft_.zulu_seconds} - target) > kZuluToleranceSeconds) {
        SetZuluTime(hours, minutes);
    }
}

}  // namespace tavoro
