#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/FsuipcTransport.h"

namespace tavoro {

// The FSUIPC transport on Windows: the server's top-level window found by class, the
// registered message, a global atom naming a page-file mapping, and a blocking
// SendMessageTimeout to hand the block over. The window may belong to the simulator's
// module or to its network client; both answer the same way.
class Win32FsuipcTransport : public FsuipcTransport {
public:
    Win32FsuipcTransport() = default;
    ~Win32FsuipcTransport() override;
    Win32FsuipcTransport(const Win32FsuipcTransport&) = delete;
    Win32FsuipcTransport& operator=(const Win32FsuipcTransport&) = delete;

    ServerWindow FindServerWindow() override;
    bool RegisterMessage(std::string_view name) override;
    bool AddBlockAtom(std::string_view name) override;
    void DeleteBlockAtom() override;
    bool CreateMapping(std::string_view name, std::size_t size) override;
    std::uint8_t* MapView() override;
    void UnmapView() override;
    void CloseMapping() override;
    void ForgetWindow() override;
    SendResult SendRequest(int timeout_ms) override;
    std::uint32_t CurrentProcessId() override;
    void Sleep(int milliseconds) override;

private:
    HWND window_ = nullptr;
    UINT message_ = 0;
    ATOM atom_ = 0;
    HANDLE mapping_ = nullptr;
    std::uint8_t* view_ = nullptr;
};

}  // namespace tavoro
