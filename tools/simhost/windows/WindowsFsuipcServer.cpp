#include "simhost/windows/WindowsFsuipcServer.h"

#include <string>

namespace tavoro::simhost {
namespace {

// The block a client hands over: this much is mapped, never more.
constexpr std::size_t kBlockSize = 0x8000;

}  // namespace

WindowsFsuipcServer::WindowsFsuipcServer(SimModel& model, FsuipcVersions versions)
    : model_(model), space_(versions) {}

WindowsFsuipcServer::~WindowsFsuipcServer() {
    if (window_) {
        ::DestroyWindow(window_);
        ::UnregisterClassA(class_name_.c_str(), ::GetModuleHandleA(nullptr));
    }
}

QString WindowsFsuipcServer::Listen(const QString& window_class) {
    class_name_ = window_class.toStdString();
    message_ = ::RegisterWindowMessageA("FsasmLib:IPC");
    if (message_ == 0) {
        return QStringLiteral("cannot register the FSUIPC message");
    }
    WNDCLASSA window_type{};
    window_type.lpfnWndProc = &WindowsFsuipcServer::windowProc;
    window_type.hInstance = ::GetModuleHandleA(nullptr);
    window_type.lpszClassName = class_name_.c_str();
    if (!::RegisterClassA(&window_type)) {
        return QStringLiteral("cannot register the window class %1 (error %2)")
            .arg(window_class)
            .arg(::GetLastError());
    }
    // Top-level, so that the client's FindWindowEx finds it, and never shown.
    window_ = ::CreateWindowExA(0, class_name_.c_str(), "Tavoro stand-in simulator", WS_OVERLAPPED,
                                0, 0, 0, 0, nullptr, nullptr, window_type.hInstance, this);
    if (!window_) {
        return QStringLiteral("cannot create the %1 window (error %2)")
            .arg(window_class)
            .arg(::GetLastError());
    }
    return {};
}

LRESULT CALLBACK WindowsFsuipcServer::windowProc(HWND window, UINT message, WPARAM wparam,
                                                 LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTA*>(lparam);
        ::SetWindowLongPtrA(window, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* self = reinterpret_cast<WindowsFsuipcServer*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self && self->message_ != 0 && message == self->message_) {
        return self->serve(static_cast<ATOM>(wparam));
    }
    return ::DefWindowProcA(window, message, wparam, lparam);
}

LRESULT WindowsFsuipcServer::serve(ATOM atom) {
    char name[MAX_PATH] = {};
    if (atom == 0 || ::GlobalGetAtomNameA(atom, name, sizeof name) == 0) {
        return 0;
    }
    HANDLE mapping = ::OpenFileMappingA(FILE_MAP_WRITE, FALSE, name);
    if (!mapping) {
        return 0;
    }
    auto* block =
        static_cast<std::uint8_t*>(::MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, kBlockSize));
    LRESULT answer = 0;
    if (block) {
        // A mapping smaller than a block cannot be walked as one.
        MEMORY_BASIC_INFORMATION region{};
        if (::VirtualQuery(block, &region, sizeof region) != 0 && region.RegionSize >= kBlockSize) {
            model_.Update();
            space_.Refresh(model_.state());
            answer = ServeBlock(block, kBlockSize, space_, model_.state()) ? 1 : 0;
            ++served_;
        }
        ::UnmapViewOfFile(block);
    }
    ::CloseHandle(mapping);
    return answer;
}

}  // namespace tavoro::simhost
