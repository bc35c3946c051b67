#pragma once

#include <QJsonObject>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "simhost/SimModel.h"
#include "simhost/SimState.h"

namespace tavoro::simhost {

// What one command line produced: the single line to print, and whether the stand-in
// should stop after printing it.
struct CommandResult {
    std::string answer;
    bool quit = false;
};

// The stand-in's test channel: one command per line on standard input, one answer line
// each ("ok", "error: <reason>", or the dump's JSON). A command that fails changes
// nothing, so a test can send a bad line and go on with the same state.
class CommandChannel {
public:
    // Fires menu event N at the SimConnect client; false when no client has it.
    using MenuFirer = std::function<bool(std::uint32_t)>;

    CommandChannel(SimModel& model, MenuFirer fire_menu);

    // What "simconnect hold|release|drop" asks of the SimConnect side; without one the
    // command is refused.
    enum class SimConnectAction { kHold, kRelease, kDrop };
    using SimConnectControl = std::function<void(SimConnectAction)>;
    void SetSimConnectControl(SimConnectControl control) { control_ = std::move(control); }

    CommandResult Run(std::string_view line);

private:
    std::string set(std::string_view name, std::string_view value);

    SimModel& model_;
    MenuFirer fire_menu_;
    SimConnectControl control_;
};

// The whole state as one JSON object, as "dump" prints it.
QJsonObject DumpState(const SimState& state);

// The same as one line of compact JSON, without the line end.
std::string DumpLine(const SimState& state);

// "HH:MM:SS" of a time of day in seconds (the fraction dropped).
std::string FormatTimeOfDay(double seconds, bool with_seconds);

}  // namespace tavoro::simhost
