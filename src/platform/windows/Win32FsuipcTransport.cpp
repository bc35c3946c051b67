#include "platform/windows/Win32FsuipcTransport.h"

#include <string>

namespace tavoro {

Win32FsuipcTransport::~Win32FsuipcTransport() {
    UnmapView();
    CloseMapping();
    DeleteBlockAtom();
}

FsuipcTransport::ServerWindow Win32FsuipcTransport::FindServerWindow() {
    window_ = ::FindWindowExA(nullptr, nullptr, "UIPCMAIN", nullptr);
    if (window_) {
        return ServerWindow::Uipcmain;
    }
    window_ = ::FindWindowExA(nullptr, nullptr, "FS98MAIN", nullptr);
    return window_ ? ServerWindow::Fs98main : ServerWindow::None;
}

bool Win32FsuipcTransport::RegisterMessage(std::string_view name) {
    message_ = ::RegisterWindowMessageA(std::string(name).c_str());
    return message_ != 0;
}

bool Win32FsuipcTransport::AddBlockAtom(std::string_view name) {
    DeleteBlockAtom();
    atom_ = ::GlobalAddAtomA(std::string(name).c_str());
    return atom_ != 0;
}

void Win32FsuipcTransport::DeleteBlockAtom() {
    if (atom_ != 0) {
        ::GlobalDeleteAtom(atom_);
        atom_ = 0;
    }
}

bool Win32FsuipcTransport::CreateMapping(std::string_view name, std::size_t size) {
    CloseMapping();
    ::SetLastError(ERROR_SUCCESS);
    HANDLE mapping = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                          static_cast<DWORD>(std::uint64_t(size) >> 32),
                                          static_cast<DWORD>(size), std::string(name).c_str());
    if (!mapping) {
        return false;
    }
    // Someone else's mapping of that name would be shared with them: refused.
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mapping);
        return false;
    }
    mapping_ = mapping;
    return true;
}

std::uint8_t* Win32FsuipcTransport::MapView() {
    if (!mapping_) {
        return nullptr;
    }
    if (!view_) {
        view_ = static_cast<std::uint8_t*>(::MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, 0));
    }
    return view_;
}

void Win32FsuipcTransport::UnmapView() {
    if (view_) {
        ::UnmapViewOfFile(view_);
        view_ = nullptr;
    }
}

void Win32FsuipcTransport::CloseMapping() {
    if (mapping_) {
        ::CloseHandle(mapping_);
        mapping_ = nullptr;
    }
}

void Win32FsuipcTransport::ForgetWindow() {
    window_ = nullptr;
    message_ = 0;
}

FsuipcTransport::SendResult Win32FsuipcTransport::SendRequest(int timeout_ms) {
    SendResult outcome;
    if (!window_ || message_ == 0) {
        return outcome;
    }
    DWORD_PTR answer = 0;
    ::SetLastError(ERROR_SUCCESS);
    // SMTO_BLOCK: nothing else runs on this thread while the server works on the block.
    const LRESULT sent = ::SendMessageTimeoutA(window_, message_, static_cast<WPARAM>(atom_), 0,
                                               SMTO_BLOCK, static_cast<UINT>(timeout_ms), &answer);
    if (sent != 0) {
        outcome.sent = true;
        outcome.result = static_cast<std::uintptr_t>(answer);
        return outcome;
    }
    // A time-out sets no error code on some systems and ERROR_TIMEOUT on others; a
    // window that went away sets one.
    const DWORD error = ::GetLastError();
    outcome.system_error = error != ERROR_SUCCESS && error != ERROR_TIMEOUT;
    return outcome;
}

std::uint32_t Win32FsuipcTransport::CurrentProcessId() {
    return static_cast<std::uint32_t>(::GetCurrentProcessId());
}

void Win32FsuipcTransport::Sleep(int milliseconds) {
    ::Sleep(static_cast<DWORD>(milliseconds > 0 ? milliseconds : 0));
}

}  // namespace tavoro
