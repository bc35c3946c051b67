#include "support/EventLoop.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace tavoro::test {

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
    QDeadlineTimer timer(deadline);
    while (!condition()) {
        if (timer.hasExpired()) {
            return condition();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

void RunEventsFor(std::chrono::milliseconds duration) {
    QDeadlineTimer timer(duration);
    while (!timer.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
}

}  // namespace tavoro::test
