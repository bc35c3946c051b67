#include <gtest/gtest.h>
#include <windows.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include "platform/SessionEnd.h"

namespace tavoro {
namespace {

// A window of the program's thread, as the system tells the session's end to each.
class PlainWindow {
public:
    PlainWindow() {
        WNDCLASSA type{};
        type.lpfnWndProc = &::DefWindowProcA;
        type.hInstance = ::GetModuleHandleA(nullptr);
        type.lpszClassName = "TavoroSessionEndTest";
        ::RegisterClassA(&type);
        window_ = ::CreateWindowExA(0, type.lpszClassName, "", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                    nullptr, type.hInstance, nullptr);
    }
    ~PlainWindow() { ::DestroyWindow(window_); }
    HWND handle() const { return window_; }

private:
    HWND window_ = nullptr;
};

void runEventsFor(int milliseconds) {
    QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

// The session's end reaches the program once, whatever the number of its windows told;
// a session end that was cancelled (FALSE) closes nothing.
TEST(SessionEndTest, TheEndOfTheSessionClosesTheProgramOnce) {
    SessionEndWatcher watcher;
    EXPECT_TRUE(watcher.watching());
    int ends = 0;
    QObject::connect(&watcher, &SessionEndWatcher::sessionEnding, [&ends] { ++ends; });
    PlainWindow first;
    PlainWindow second;
    ASSERT_NE(first.handle(), nullptr);
    ::PostMessageA(first.handle(), WM_ENDSESSION, FALSE, 0);
    runEventsFor(500);
    EXPECT_EQ(ends, 0);
    ::PostMessageA(first.handle(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    ::PostMessageA(second.handle(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    runEventsFor(1000);
    EXPECT_EQ(ends, 1);
}

}  // namespace
}  // namespace tavoro
