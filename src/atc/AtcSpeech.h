#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "atc/Dispatcher.h"
#include "atc/SpeechEngine.h"
#include "core/Timer.h"

namespace tavoro {

// The selected station's spoken texts: each one waits for Timer6 (5 s), which speaks the
// latest text once and stops. A second text within the wait replaces the first and is
// spoken at the first one's time.
class AtcSpeech : public QObject {
    Q_OBJECT

public:
    using ErrorReport = std::function<void(const QString& text)>;

    // The synthesizer's volume, 80 on its 0 to 100 scale, and its normal rate.
    static constexpr double kVolume = 0.8;
    static constexpr double kRate = 0.0;

    AtcSpeech(SpeechEngine& engine, ErrorReport report_error,
              TimerFactory& timers = EventLoopTimers(), QObject* parent = nullptr);

    // Points the dispatcher's spoken-text target here; the dispatcher lets a text through
    // only while "ATIS audio" is on.
    void SetTargets(DispatchTargets& targets);

    // "#TMAUDIO" of the selected station: the text waits for Timer6.
    void SelectedStationSpeech(const std::string& text);
    // Timer6's tick: speaks the waiting text once, and the timer stops.
    void SpeakHeldText();

    // The last text received; kept after it was spoken.
    const std::string& speech_text() const { return speech_text_; }

private:
    SpeechEngine& engine_;
    ErrorReport report_error_;
    std::unique_ptr<Timer> timer6_;
    std::string speech_text_;
};

}  // namespace tavoro
