#include "platform/SystemVoice.h"

#include <windows.h>
// windows.h must come first.
#include <sapi.h>

#include <algorithm>
#include <cmath>

namespace tavoro {
namespace {

QString describe(HRESULT result) {
    wchar_t* text = nullptr;
    ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(result), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString reason = text ? QString::fromWCharArray(text).trimmed() : QString();
    if (text) {
        ::LocalFree(text);
    }
    const QString code =
        QStringLiteral("0x%1").arg(static_cast<quint32>(result), 8, 16, QLatin1Char('0'));
    return reason.isEmpty() ? code : reason + QStringLiteral(" (") + code + QLatin1Char(')');
}

}  // namespace

struct SystemVoice::Private {
    ErrorReport report;
    ISpVoice* voice = nullptr;
    bool com_started = false;

    void report_error(const QString& reason) {
        if (report) {
            report(reason);
        }
    }
    void release() {
        if (voice) {
            voice->Release();
            voice = nullptr;
        }
    }
};

SystemVoice::SystemVoice(ErrorReport report_error) : d_(std::make_unique<Private>()) {
    d_->report = std::move(report_error);
}

SystemVoice::~SystemVoice() {
    d_->release();
    if (d_->com_started) {
        ::CoUninitialize();
    }
}

void SystemVoice::Speak(const QString& text, double volume, double rate) {
    if (!d_->voice) {
        // The window's thread is already a single-threaded apartment; this only counts a
        // use of it (or starts it, in a program without windows).
        if (!d_->com_started) {
            const HRESULT started = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            d_->com_started = SUCCEEDED(started);
        }
        const HRESULT made = ::CoCreateInstance(CLSID_SpVoice, nullptr, CLSCTX_ALL, IID_ISpVoice,
                                                reinterpret_cast<void**>(&d_->voice));
        if (FAILED(made)) {
            d_->voice = nullptr;
            d_->report_error(describe(made));
            return;
        }
    }
    // SAPI's volume runs 0 to 100 and its rate -10 to 10.
    d_->voice->SetVolume(static_cast<USHORT>(std::lround(std::clamp(volume, 0.0, 1.0) * 100)));
    d_->voice->SetRate(static_cast<long>(std::lround(std::clamp(rate, -1.0, 1.0) * 10)));
    const std::wstring words = text.toStdWString();
    // Asynchronous; a new text cuts the one still playing, as Qt's engines do on Linux.
    const HRESULT spoken =
        d_->voice->Speak(words.c_str(), SPF_ASYNC | SPF_PURGEBEFORESPEAK | SPF_IS_NOT_XML, nullptr);
    if (FAILED(spoken)) {
        // A voice that failed is made again for the next text, so speech comes back with
        // the device.
        d_->release();
        d_->report_error(describe(spoken));
    }
}

}  // namespace tavoro
