#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tavoro {

// The platform side of the FSUIPC exchange, shaped after the Windows mechanism: a server
// window found by class, a registered message, a global atom naming a shared mapping,
// and a blocking message send. On Windows these are the Win32 calls; on Linux the
// stand-in simulator serves the same steps over shared memory and a local socket.
class FsuipcTransport {
public:
    enum class ServerWindow { None, Uipcmain, Fs98main };

    struct SendResult {
        bool sent = false;          // the message was delivered and answered in time
        bool system_error = false;  // on failure: the system reported an error code
        std::uintptr_t result = 0;  // the server's answer (1: the block was handled)
    };

    virtual ~FsuipcTransport() = default;

    // The "UIPCMAIN" window, or else the "FS98MAIN" one.
    virtual ServerWindow FindServerWindow() = 0;
    virtual bool RegisterMessage(std::string_view name) = 0;
    virtual bool AddBlockAtom(std::string_view name) = 0;
    virtual void DeleteBlockAtom() = 0;
    // A new mapping of `size` bytes under the atom's name; false also when one of that
    // name already exists.
    virtual bool CreateMapping(std::string_view name, std::size_t size) = 0;
    // The mapping's bytes, writable; nullptr on failure.
    virtual std::uint8_t* MapView() = 0;
    virtual void UnmapView() = 0;
    virtual void CloseMapping() = 0;
    virtual void ForgetWindow() = 0;
    // Sends the registered message to the server window with the atom, blocking for
    // at most `timeout_ms`.
    virtual SendResult SendRequest(int timeout_ms) = 0;
    virtual std::uint32_t CurrentProcessId() = 0;
    virtual void Sleep(int milliseconds) = 0;
};

}  // namespace tavoro
