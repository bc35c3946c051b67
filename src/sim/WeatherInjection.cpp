#include "sim/WeatherInjection.h"

#include <utility>

namespace tavoro {

WeatherInjection::WeatherInjection(SimConnectClient& simconnect, InjectionView view)
    : simconnect_(simconnect), view_(std::move(view)) {}

void WeatherInjection::log(const std::string& line) const {
    if (view_.log) {
        view_.log(line);
    }
}

void WeatherInjection::InjectServerMetar(const std::optional<std::string>& metar) {
    const bool object_mode = view_.object_mode && view_.object_mode();
    // A line without a text field carries no weather: applying an empty observation would
    // be a guess at what the server meant, so nothing is sent and the pilot is told.
    // Written whatever the window's mode, like the simulator's own refusal.
    if (!metar) {
        log("METAR without text: weather left unchanged");
        return;
    }
    // The observation travels as a C string: whatever follows a NUL would never reach the
    // simulator, so the text is taken up to it.
    std::string text = metar->substr(0, metar->find('\0'));
    // Too long for the buffer: refused rather than cut, since a cut observation would be
    // applied as a different weather (its last groups, the pressure among them, lost).
    if (text.size() > kMaxMetarLength) {
        log("METAR of " + std::to_string(text.size()) + " characters refused (at most " +
            std::to_string(kMaxMetarLength) + "): weather left unchanged");
        return;
    }
    if (object_mode) {
        log(text);
    }
    metar_buffer_ = std::move(text);
    // The custom mode is asked for every time: the user may have changed it in the
    // simulator since the last command.
    simconnect_.Call(&SimConnectLibrary::WeatherSetModeCustom);
    simconnect_.Call(&SimConnectLibrary::WeatherSetObservation, 0u,
                     std::string_view(metar_buffer_));
    if (simconnect_.last_ok() && object_mode) {
        log("OK");
    }
    if (object_mode && view_.repaint_if_active) {
        view_.repaint_if_active();
    }
}

}  // namespace tavoro
