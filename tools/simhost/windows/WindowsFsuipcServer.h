#pragma once

#include <windows.h>

#include <QString>
#include <cstdint>

#include "simhost/OffsetSpace.h"
#include "simhost/SimModel.h"

namespace tavoro::simhost {

// The stand-in's FSUIPC side on Windows, served the way the simulator's module serves
// it: a hidden top-level window of class "UIPCMAIN" (or "FS98MAIN") answering the
// registered message "FsasmLib:IPC". The message's first parameter is a global atom
// naming the client's file mapping; the block in it is walked against the offset space
// and the answer is 1, or 0 when the block cannot be found or walked.
class WindowsFsuipcServer {
public:
    WindowsFsuipcServer(SimModel& model, FsuipcVersions versions);
    ~WindowsFsuipcServer();
    WindowsFsuipcServer(const WindowsFsuipcServer&) = delete;
    WindowsFsuipcServer& operator=(const WindowsFsuipcServer&) = delete;

    // Creates the window of class `window_class`; the reason when it cannot, else empty.
    // The window's messages are handled by whatever loop runs on this thread.
    QString Listen(const QString& window_class);

    // Exchanges served so far.
    std::uint64_t served() const { return served_; }

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT serve(ATOM atom);

    SimModel& model_;
    OffsetSpace space_;
    std::string class_name_;
    HWND window_ = nullptr;
    UINT message_ = 0;
    std::uint64_t served_ = 0;
};

}  // namespace tavoro::simhost
