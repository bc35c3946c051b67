#include "platform/SessionEnd.h"

#include <windows.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QPointer>
#include <atomic>

namespace tavoro {
namespace {

// The watcher the console handler talks to; the handler runs on a thread of its own.
std::atomic<SessionEndWatcher*> console_watcher{nullptr};
HANDLE close_done = nullptr;

BOOL WINAPI onConsoleEvent(DWORD event) {
    SessionEndWatcher* watcher = console_watcher.load();
    if (!watcher) {
        return FALSE;
    }
    QMetaObject::invokeMethod(
        watcher,
        [watcher] {
            emit watcher->sessionEnding();
            ::SetEvent(close_done);
        },
        Qt::QueuedConnection);
    // The system ends the process when this returns for these three: give the close step
    // its few seconds first.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        ::WaitForSingleObject(close_done, 4500);
    }
    return TRUE;
}

// The session's end reaches a windowed program as WM_ENDSESSION on its top-level
// windows; the process may be ended as soon as that message is answered, so the close
// step runs inside it.
class EndSessionFilter : public QAbstractNativeEventFilter {
public:
    explicit EndSessionFilter(SessionEndWatcher* watcher) : watcher_(watcher) {}

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "windows_generic_MSG" || !watcher_ || ended_) {
            return false;
        }
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message == WM_ENDSESSION && msg->wParam != FALSE) {
            ended_ = true;
            emit watcher_->sessionEnding();
        }
        return false;
    }

private:
    QPointer<SessionEndWatcher> watcher_;
    bool ended_ = false;
};

}  // namespace

struct SessionEndWatcher::Private {
    std::unique_ptr<EndSessionFilter> filter;
    bool console = false;
};

SessionEndWatcher::SessionEndWatcher(QObject* parent)
    : QObject(parent), d_(std::make_unique<Private>()) {
    d_->filter = std::make_unique<EndSessionFilter>(this);
    QCoreApplication::instance()->installNativeEventFilter(d_->filter.get());
    if (!close_done) {
        close_done = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    SessionEndWatcher* expected = nullptr;
    if (close_done && console_watcher.compare_exchange_strong(expected, this)) {
        d_->console = ::SetConsoleCtrlHandler(&onConsoleEvent, TRUE) != 0;
        if (!d_->console) {
            console_watcher = nullptr;
        }
    }
}

SessionEndWatcher::~SessionEndWatcher() {
    if (QCoreApplication* application = QCoreApplication::instance()) {
        application->removeNativeEventFilter(d_->filter.get());
    }
    if (d_->console) {
        ::SetConsoleCtrlHandler(&onConsoleEvent, FALSE);
        console_watcher = nullptr;
    }
}

bool SessionEndWatcher::watching() const {
    return d_->filter != nullptr;
}

}  // namespace tavoro
