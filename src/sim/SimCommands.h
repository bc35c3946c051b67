#pragma once

#include <functional>
#include <string>

#include "core/Aircraft.h"
#include "sim/SimConnectClient.h"

namespace tavoro {

// What the ATC server commands the simulator to do to the user aircraft: toggle a
// failure, set the zulu clock. Every command is a client event sent through SimConnect;
// the result of the last call stays in the wrapper, as for every other call.
//
// The commands do not look whether SimConnect is open: while it is not, the calls fail
// and nothing changes.
class SimCommands {
public:
    using Log = std::function<void(const std::string& line)>;

    // `failure_state` is the table the position reports carry; `log` writes one line to
    // the simulator log.
    SimCommands(SimConnectClient& simconnect, const AircraftState& aircraft,
                FailureState& failure_state, Log log);

    // Sends the client event of failure `number` (0 to 9) with data 0. Returns `number`
    // when the simulator took the event, -1 when it did not or the number has no failure.
    int TransmitFailure(int number);
    // Sets the simulator's zulu hours, then its minutes; true when the last of the two
    // was taken. The day is never set.
    bool SetZuluTime(int hours, int minutes);

    // The server's "$ADMIN" "FAILURE" command: `number_text` is the failure number.
    // Raises ConversionError when it is not a whole number; nothing is sent then.
    void FailureCommand(const std::string& number_text);
    // The server's "ZULU" command: the clock is set only when it is more than two seconds
    // away from the time asked. Raises ConversionError, after the log line, when either
    // text is not a whole number.
    void ZuluCommand(const std::string& hours_text, const std::string& minutes_text);

private:
    SimResult transmit(std::uint32_t event_id, std::uint32_t data);

    SimConnectClient& simconnect_;
    const AircraftState& aircraft_;
    FailureState& failure_state_;
    Log log_;
};

}  // namespace tavoro
