#include "atc/AtcSpeech.h"

#include <exception>

#include "core/Text.h"

namespace tavoro {

AtcSpeech::AtcSpeech(SpeechEngine& engine, ErrorReport report_error, TimerFactory& timers,
                     QObject* parent)
    : QObject(parent),
      engine_(engine),
      report_error_(std::move(report_error)),
      timer6_(timers.Create("Timer6", 5000)) {
    timer6_->OnTick([this] { SpeakHeldText(); });
}

void AtcSpeech::SetTargets(DispatchTargets& targets) {
    targets.selected_station_speech = [this](const std::string& text) {
        SelectedStationSpeech(text);
    };
}

void AtcSpeech::SelectedStationSpeech(const std::string& text) {
    speech_text_ = text;
    // Enabling a running timer leaves its wait alone: restarting it would let a station
    // that keeps talking postpone its speech for ever.
    if (!timer6_->IsActive()) {
        timer6_->Start();
    }
}

void AtcSpeech::SpeakHeldText() {
    // One tick only: the timer waits for the next text.
    timer6_->Stop();
    if (speech_text_.empty()) {
        return;
    }
    try {
        engine_.Speak(ToDisplay(speech_text_), kVolume, kRate);
    } catch (const std::exception& error) {
        // The synthesizer lies outside the program; whatever it does must not end it.
        if (report_error_) {
            report_error_(QStringLiteral("synthèse vocale: ") +
                          QString::fromLocal8Bit(error.what()));
        }
    } catch (...) {
        if (report_error_) {
            report_error_(QStringLiteral("synthèse vocale: indisponible"));
        }
    }
}

}  // namespace tavoro
