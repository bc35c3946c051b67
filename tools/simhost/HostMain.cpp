#include "simhost/HostMain.h"

#include <charconv>
#include <cstdio>

namespace tavoro::simhost {

void PrintLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::optional<std::uint32_t> ParseHex(QString text) {
    if (text.startsWith("0x", Qt::CaseInsensitive)) {
        text = text.mid(2);
    }
    const std::string digits = text.toStdString();
    std::uint32_t value = 0;
    const char* end = digits.data() + digits.size();
    auto [stop, error] = std::from_chars(digits.data(), end, value, 16);
    if (digits.empty() || error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

std::unique_ptr<CommandChannel> MakeCommandChannel(SimModel& model, SimConnectServer& simconnect) {
    auto commands = std::make_unique<CommandChannel>(
        model, [&simconnect](std::uint32_t event) { return simconnect.FireMenuEvent(event); });
    commands->SetSimConnectControl([&simconnect](CommandChannel::SimConnectAction action) {
        switch (action) {
            case CommandChannel::SimConnectAction::kHold:
                simconnect.Hold();
                break;
            case CommandChannel::SimConnectAction::kRelease:
                simconnect.Release();
                break;
            case CommandChannel::SimConnectAction::kDrop:
                simconnect.DropClients();
                break;
        }
    });
    return commands;
}

}  // namespace tavoro::simhost
