#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/FsuipcTransport.h"
#include "platform/linux/SimRendezvous.h"

namespace tavoro {

// The FSUIPC transport on Linux, served by the stand-in simulator. It keeps the Windows
// steps with plain system calls: the server "window" is a Unix socket in the rendezvous
// folder named after the window class, the atom is the mapping's name, the mapping is a
// private file in the folder mapped shared, and the message is the atom's name sent on a
// new connection, answered by one line holding the result.
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
    std::string folder_;
    std::string window_;   // socket name of the window found; empty: none
    std::string message_;  // the registered message's name
    std::string atom_;     // the mapping's name, sent with each message
    std::string mapping_path_;
    int mapping_fd_ = -1;
    std::size_t mapping_size_ = 0;
    std::uint8_t* view_ = nullptr;
};

}  // namespace tavoro
