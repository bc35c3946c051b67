#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FsuipcTransport.h"

namespace tavoro {

// The error codes of the FSUIPC client; FsuipcErrorText gives the text shown to the user.
enum FsuipcError : int {
    kFsuipcOk = 0,
    kFsuipcAlreadyOpen = 1,
    kFsuipcNoServer = 2,
    kFsuipcRegisterFailed = 3,
    kFsuipcAtomFailed = 4,
    kFsuipcMappingFailed = 5,
    kFsuipcViewFailed = 6,
    kFsuipcWrongVersion = 7,
    kFsuipcSimVersionMismatch = 8,
    kFsuipcNotOpen = 9,
    kFsuipcNothingQueued = 10,
    kFsuipcTimedOut = 11,
    kFsuipcSendFailed = 12,
    kFsuipcBadData = 13,
    kFsuipcWideClientNoServer = 14,
    kFsuipcQueueFull = 15,
};

const char* FsuipcErrorText(int code);

// "FSX", "FS9", ... by the simulator's version number; the empty text for numbers
// without a name.
std::string SimVersionName(std::uint32_t sim_version);

// The client of the simulator's offset space: reads and writes are queued in one shared
// block and exchanged with the server in one message by Process. Every operation
// returns success and leaves its code in error().
class FsuipcClient {
public:
    static constexpr std::size_t kBlockSize = 0x8000;
    static constexpr std::size_t kQueueLimit = 0x7F00;
    static constexpr std::uint16_t kLibraryVersion = 2005;

    explicit FsuipcClient(FsuipcTransport& transport);
    ~FsuipcClient();
    FsuipcClient(const FsuipcClient&) = delete;
    FsuipcClient& operator=(const FsuipcClient&) = delete;

    // Links to the server; `requested_version` 0 accepts any simulator.
    bool Open(std::uint32_t requested_version);
    void Close();
    // Queues a read of `size` bytes at `offset` into `destination`, which must stay
    // valid until Process.
    bool Read(std::uint32_t offset, std::uint32_t size, void* destination);
    // Queues a write; the data is copied at once.
    bool Write(std::uint32_t offset, std::uint32_t size, const void* source);
    // Sends the queue, waits for the answer and copies the read results. The queue is
    // consumed whatever happens.
    bool Process();

    int error() const { return error_; }
    bool is_open() const { return view_ != nullptr; }
    std::uint32_t fsuipc_version() const { return fsuipc_version_; }
    std::uint32_t sim_version() const { return sim_version_; }

private:
    // What this client queued: the answer is read back from these places only, with
    // these sizes, whatever the returned block claims.
    struct QueuedRead {
        std::size_t header;  // position of the request's header in the block
        std::uint32_t offset;
        std::uint32_t size;
        void* destination;
    };

    bool fail(int code);
    bool queue(std::uint32_t id, std::uint32_t offset, std::uint32_t size, const void* source,
               void* destination);

    FsuipcTransport& transport_;
    std::uint8_t* view_ = nullptr;
    bool mapping_ = false;
    bool atom_ = false;
    std::size_t position_ = 0;
    std::vector<QueuedRead> reads_;
    std::uint32_t fsuipc_version_ = 0;
    std::uint32_t sim_version_ = 0;
    int error_ = kFsuipcOk;
};

// Shows `text` (at most 127 characters) in the simulator. Returns the text for status
// panel 0 when it failed, nothing when it worked. The display-control write that
// follows travels with the next exchange.
std::optional<std::string> ShowTextInSimulator(FsuipcClient& client, std::string_view text);

}  // namespace tavoro
