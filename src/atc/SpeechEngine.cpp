#include "atc/SpeechEngine.h"

#if !defined(_WIN32)
#include <QTextToSpeech>
#endif

namespace tavoro {
namespace {

// Every engine's errors read the same in the status bar.
QString SpeechErrorText(const QString& reason) {
    return QStringLiteral("synthèse vocale: ") +
           (reason.isEmpty() ? QStringLiteral("indisponible") : reason);
}

}  // namespace

#if defined(_WIN32)
SystemSpeechEngine::SystemSpeechEngine(ErrorReport report_error)
    : voice_([report = std::move(report_error)](const QString& reason) {
          if (report) {
              report(SpeechErrorText(reason));
          }
      }) {}

void SystemSpeechEngine::Speak(const QString& text, double volume, double rate) {
    voice_.Speak(text, volume, rate);
}
#else

QtSpeechEngine::QtSpeechEngine(ErrorReport report_error, QString engine_name)
    : report_error_(std::move(report_error)), engine_name_(std::move(engine_name)) {}

QtSpeechEngine::~QtSpeechEngine() = default;

void QtSpeechEngine::Speak(const QString& text, double volume, double rate) {
    // An engine that failed (no audio device, a crashed back end) stays failed; a new one
    // gets its chance with each text, so speech comes back with the device.
    if (speech_ && speech_->state() == QTextToSpeech::Error) {
        speech_.reset();
    }
    if (!speech_) {
        speech_ = engine_name_.isEmpty() ? std::make_unique<QTextToSpeech>()
                                         : std::make_unique<QTextToSpeech>(engine_name_);
        // Playback errors come later, from the engine's own thread of work.
        QObject::connect(
            speech_.get(), &QTextToSpeech::errorOccurred, speech_.get(),
            [this](QTextToSpeech::ErrorReason, const QString& reason) { report(reason); });
    }
    if (speech_->state() == QTextToSpeech::Error) {
        report(speech_->errorString());
        return;
    }
    speech_->setVolume(volume);
    speech_->setRate(rate);
    speech_->say(text);
}

void QtSpeechEngine::report(const QString& reason) {
    if (report_error_) {
        report_error_(SpeechErrorText(reason));
    }
}
#endif

}  // namespace tavoro
