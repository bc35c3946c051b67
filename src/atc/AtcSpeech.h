#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <string>

#include "atc/Dispatcher.h"
#include "atc/SpeechEngine.h"

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

    AtcSpeech(QTimer& timer6, SpeechEngine& engine, ErrorReport report_error,
              QObject* parent = nullptr);

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
    QTimer& timer6_;
    SpeechEngine& engine_;
    ErrorReport report_error_;
    std::string speech_text_;
};

}  // namespace tavoro
