#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/FsuipcTransport.h"
#include "platform/linux/SimRendezvous.h"

namespace tavoro {

// The FSUIPC transport on Linux, served by the stand-in simulator. It keeps the Windows
// steps with plain system calls: the server "window" is a Unix socket in the rendezvous
// folder named after the window class, the atom is the block's name, and the mapping is
// an anonymous memory file sealed at its size, so that no process can shrink it under a
// reader. The message is the atom's name as one line on a connection kept for the
// mapping's life: the first line on it carries the block's descriptor, and each line is
// answered by one line holding the result.
class LocalFsuipcTransport : public FsuipcTransport {
public:
    explicit LocalFsuipcTransport(std::string folder = SimRendezvousFolder());
    ~LocalFsuipcTransport() override;
    LocalFsuipcTransport(const LocalFsuipcTransport&) = delete;
    LocalFsuipcTransport& operator=(const LocalFsuipcTransport&) = delete;

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
    enum class Outcome { kDone, kTimedOut, kFailed };

    // Connects to the window and sends `line_` with the block's descriptor.
    Outcome handOver(std::chrono::steady_clock::time_point deadline);
    Outcome sendLine(std::chrono::steady_clock::time_point deadline, bool with_block);
    void disconnect();

    std::string folder_;
    std::string window_;   // socket name of the window found; empty: none
    std::string message_;  // the registered message's name
    std::string line_;     // the atom's name and a newline: the message sent
    std::string mapping_name_;
    int mapping_fd_ = -1;
    std::size_t mapping_size_ = 0;
    std::uint8_t* view_ = nullptr;
    int connection_ = -1;  // to the window, holding the block; -1 until the first send
};

}  // namespace tavoro
