#pragma once

#include <QString>
#include <functional>
#include <memory>

namespace tavoro {

// The system's own speech synthesizer, where the platform has one the program speaks
// through directly (SAPI's SpVoice on Windows). Speak returns at once; the text plays in
// the background. Errors go to the report, never raised.
class SystemVoice {
public:
    using ErrorReport = std::function<void(const QString& reason)>;

    explicit SystemVoice(ErrorReport report_error);
    ~SystemVoice();
    SystemVoice(const SystemVoice&) = delete;
    SystemVoice& operator=(const SystemVoice&) = delete;

    // `volume` from 0 to 1, `rate` from -1 (slow) to 1 (fast).
    void Speak(const QString& text, double volume, double rate);

private:
    struct Private;
    std::unique_ptr<Private> d_;
};

}  // namespace tavoro
