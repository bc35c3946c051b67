#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "sim/SimConnectClient.h"

namespace tavoro {

// What the injection shows of itself: the simulator log of the object window, which only
// hears of it while it presents the AI objects.
struct InjectionView {
    // The object window presents the AI objects (not the filed plans).
    std::function<bool()> object_mode;
    std::function<void(const std::string& line)> log;
    // Repaints the object window when it is the active one.
    std::function<void()> repaint_if_active;
};

// The server's "METAR" command: the simulator's weather switched to its custom mode and
// the text handed over, unchanged, as the observation to apply at once. Nothing is decoded
// or shown on the weather panel, and nothing goes back to the server.
class WeatherInjection {
public:
    // The buffer the observation is handed over in: a C string, so one character less.
    static constexpr std::size_t kMetarBufferSize = 512;
    static constexpr std::size_t kMaxMetarLength = kMetarBufferSize - 1;

    WeatherInjection(SimConnectClient& simconnect, InjectionView view);

    // `metar` is the line's second field; nullopt when the line has none.
    void InjectServerMetar(const std::optional<std::string>& metar);

    // The last observation handed over; it stays until the next one.
    const std::string& metar_buffer() const { return metar_buffer_; }

private:
    void log(const std::string& line) const;

    SimConnectClient& simconnect_;
    InjectionView view_;
    std::string metar_buffer_;
};

}  // namespace tavoro
