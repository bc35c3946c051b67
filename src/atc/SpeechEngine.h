#pragma once

#include <QString>
#include <functional>
#include <memory>

#if defined(_WIN32)
#include "platform/SystemVoice.h"
#endif

class QTextToSpeech;

namespace tavoro {

// Whatever speaks the stations' spoken texts. Speak returns at once: the text plays in
// the background. It never raises; an engine that cannot speak says why through the
// error report it was given.
class SpeechEngine {
public:
    virtual ~SpeechEngine() = default;
    // `volume` from 0 to 1, `rate` from -1 (slow) to 1 (fast), 0 the normal rate.
    virtual void Speak(const QString& text, double volume, double rate) = 0;
};

#if defined(_WIN32)
// Windows: the system's own synthesizer, Qt having no speech there.
class SystemSpeechEngine : public SpeechEngine {
public:
    using ErrorReport = std::function<void(const QString& text)>;

    explicit SystemSpeechEngine(ErrorReport report_error);

    void Speak(const QString& text, double volume, double rate) override;

private:
    SystemVoice voice_;
};
#else
// The system's speech synthesizer through Qt's text-to-speech plug-ins.
class QtSpeechEngine : public SpeechEngine {
public:
    using ErrorReport = std::function<void(const QString& text)>;

    // `engine_name` picks a plug-in; empty, the first one installed.
    explicit QtSpeechEngine(ErrorReport report_error, QString engine_name = {});
    ~QtSpeechEngine() override;

    void Speak(const QString& text, double volume, double rate) override;

private:
    void report(const QString& reason);

    ErrorReport report_error_;
    QString engine_name_;
    // Made on first use: a pilot who never turns the audio on never loads a synthesizer.
    std::unique_ptr<QTextToSpeech> speech_;
};

using SystemSpeechEngine = QtSpeechEngine;
#endif

}  // namespace tavoro
