#include "platform/SessionEnd.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

namespace tavoro {
namespace {

// A signal handler may only write a byte; the event loop reads it and does the work.
int signal_pipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t ignored = ::write(signal_pipe[1], &byte, 1);
}

}  // namespace

struct SessionEndWatcher::Private {
    std::unique_ptr<QSocketNotifier> notifier;
};

SessionEndWatcher::SessionEndWatcher(QObject* parent)
    : QObject(parent), d_(std::make_unique<Private>()) {
    // One pipe for the process, however many watchers come and go.
    if (signal_pipe[0] < 0 && ::pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    for (int number : {SIGTERM, SIGINT, SIGHUP}) {
        std::signal(number, onSignal);
    }
    d_->notifier = std::make_unique<QSocketNotifier>(signal_pipe[0], QSocketNotifier::Read);
    connect(d_->notifier.get(), &QSocketNotifier::activated, this, [this] {
        char byte;
        while (::read(signal_pipe[0], &byte, 1) > 0) {
        }
        emit sessionEnding();
    });
}

SessionEndWatcher::~SessionEndWatcher() = default;

bool SessionEndWatcher::watching() const {
    return d_->notifier != nullptr;
}

}  // namespace tavoro
