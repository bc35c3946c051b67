#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "simhost/Commands.h"
#include "simhost/SimConnectServer.h"
#include "simhost/SimModel.h"

namespace tavoro::simhost {

// What both systems' stand-in programs share around their own event sources.

// Writes one answer line and flushes it: the reader is usually a pipe waiting for it.
void PrintLine(const std::string& line);

// A 32-bit hexadecimal number, with or without "0x"; nothing when it is not one.
std::optional<std::uint32_t> ParseHex(QString text);

// The command channel over `model`, its menu and SimConnect commands bound to `simconnect`.
std::unique_ptr<CommandChannel> MakeCommandChannel(SimModel& model, SimConnectServer& simconnect);

}  // namespace tavoro::simhost
