#include "sim/FsuipcClient.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "platform/LittleEndian.h"

namespace tavoro {
namespace {

constexpr std::uint32_t kReadId = 1;
constexpr std::uint32_t kWriteId = 2;
constexpr std::size_t kReadHeader = 16;   // id, offset, size, a word of the client's own
constexpr std::size_t kWriteHeader = 12;  // id, offset, size
constexpr std::size_t kEndWord = 4;
constexpr int kSendAttempts = 10;
constexpr int kSendTimeoutMs = 2000;
constexpr int kOpenAttempts = 5;
constexpr char kMessageName[] = "FsasmLib:IPC";

// The block is little-endian whatever the host.
}  // namespace

const char* FsuipcErrorText(int code) {
    static constexpr std::array<const char*, 16> kTexts = {
        "connecté",
        "Attempt to Open when already Open",
        "Cannot link to FSUIPC or WideClient",
        "Failed to Register common message with Windows",
        "Failed to create Atom for mapping filename",
        "Failed to create a file mapping object",
        "Failed to open a view to the file map",
        "Incorrect version of FSUIPC, or not FSUIPC",
        "Sim is not version requested",
        "Call cannot execute, link not Open",
        "Call cannot execute: no requests accumulated",
        "IPC timed out all retries",
        "IPC sendmessage failed all retries",
        "IPC request contains bad data",
        "Maybe running on WideClient, but FS not running on Server, or wrong FSUIPC",
        "Read or Write request cannot be added, memory for Process is full",
    };
    return code >= 0 && code < static_cast<int>(kTexts.size()) ? kTexts[code] : "";
}

std::string SimVersionName(std::uint32_t sim_version) {
    static constexpr std::array<const char*, 9> kNames = {"Any", "FS98",   "FS2K", "CFS2", "CFS1",
                                                          "FLY", "FS2002", "FS9",  "FSX"};
    // Versions past the named ones have no name: the panel then shows the bare text.
    return sim_version < kNames.size() ? kNames[sim_version] : "";
}

FsuipcClient::FsuipcClient(FsuipcTransport& transport) : transport_(transport) {}

FsuipcClient::~FsuipcClient() {
    Close();
}

bool FsuipcClient::fail(int code) {
    error_ = code;
    return false;
}

bool FsuipcClient::Open(std::uint32_t requested_version) {
    if (view_) {
        return fail(kFsuipcAlreadyOpen);
    }
    fsuipc_version_ = 0;
    sim_version_ = 0;

    FsuipcTransport::ServerWindow window = transport_.FindServerWindow();
    if (window == FsuipcTransport::ServerWindow::None) {
        return fail(kFsuipcNoServer);
    }
    bool fallback = window == FsuipcTransport::ServerWindow::Fs98main;
    if (!transport_.RegisterMessage(kMessageName)) {
        return fail(kFsuipcRegisterFailed);
    }

    char name[64];
    std::snprintf(name, sizeof name, "%s:%X:%X", kMessageName, transport_.CurrentProcessId(), 1u);
    auto closeAndFail = [this](int code) {
        Close();
        return fail(code);
    };
    if (!transport_.AddBlockAtom(name)) {
        return closeAndFail(kFsuipcAtomFailed);
    }
    atom_ = true;
    if (!transport_.CreateMapping(name, kBlockSize)) {
        return closeAndFail(kFsuipcMappingFailed);
    }
    mapping_ = true;
    view_ = transport_.MapView();
    if (!view_) {
        return closeAndFail(kFsuipcViewFailed);
    }
    position_ = 0;
    reads_.clear();

    for (int attempt = 0; attempt < kOpenAttempts && (fsuipc_version_ == 0 || sim_version_ == 0);
         ++attempt) {
        bool queued = Read(0x3304, 4, &fsuipc_version_) && Read(0x3308, 4, &sim_version_);
        if (queued && attempt == 0) {
            queued = Write(0x330A, 2, &kLibraryVersion);
        }
        if (!queued || !Process()) {
            int code = error_;
            return closeAndFail(code);
        }
        // The pause only gives a starting server time before the next attempt: once both
        // versions are read there is none, and the link opens at once.
        if (fsuipc_version_ == 0 || sim_version_ == 0) {
            transport_.Sleep(100);
        }
    }

    if (fsuipc_version_ >= 0x19980005u && (sim_version_ >> 16) == 0xFADEu) {
        sim_version_ &= 0xFFFFu;
        if (requested_version != 0 && requested_version != sim_version_) {
            return closeAndFail(kFsuipcSimVersionMismatch);
        }
        error_ = kFsuipcOk;
        return true;
    }
    return closeAndFail(fallback ? kFsuipcWideClientNoServer : kFsuipcWrongVersion);
}

void FsuipcClient::Close() {
    transport_.ForgetWindow();
    position_ = 0;
    reads_.clear();
    if (atom_) {
        transport_.DeleteBlockAtom();
        atom_ = false;
    }
    if (view_) {
        transport_.UnmapView();
        view_ = nullptr;
    }
    if (mapping_) {
        transport_.CloseMapping();
        mapping_ = false;
    }
}

bool FsuipcClient::Read(std::uint32_t offset, std::uint32_t size, void* destination) {
    return queue(kReadId, offset, size, nullptr, destination);
}

bool FsuipcClient::Write(std::uint32_t offset, std::uint32_t size, const void* source) {
    return queue(kWriteId, offset, size, source, nullptr);
}

bool FsuipcClient::queue(std::uint32_t id, std::uint32_t offset, std::uint32_t size,
                         const void* source, void* destination) {
    if (!view_) {
        return fail(kFsuipcNotOpen);
    }
    std::size_t header = id == kReadId ? kReadHeader : kWriteHeader;
    // Counted wide, so a huge size cannot wrap round and pass the limit.
    std::uint64_t needed = std::uint64_t{position_} + kEndWord + header + size;
    if (needed > kQueueLimit) {
        return fail(kFsuipcQueueFull);
    }
    std::uint8_t* at = view_ + position_;
    StoreLe32(at, id);
    StoreLe32(at + 4, offset);
    StoreLe32(at + 8, size);
    if (id == kReadId) {
        StoreLe32(at + 12, static_cast<std::uint32_t>(reads_.size()));
        std::memset(at + header, 0, size);
        reads_.push_back(QueuedRead{position_, offset, size, destination});
    } else if (size > 0) {
        std::memcpy(at + header, source, size);
    }
    position_ += header + size;
    error_ = kFsuipcOk;
    return true;
}

bool FsuipcClient::Process() {
    if (!view_) {
        return fail(kFsuipcNotOpen);
    }
    if (position_ == 0) {
        return fail(kFsuipcNothingQueued);
    }
    StoreLe32(view_ + position_, 0);
    position_ = 0;
    std::vector<QueuedRead> reads = std::move(reads_);
    reads_.clear();

    FsuipcTransport::SendResult sent;
    for (int attempt = 0; attempt < kSendAttempts; ++attempt) {
        sent = transport_.SendRequest(kSendTimeoutMs);
        if (sent.sent) {
            break;
        }
        transport_.Sleep(100);
    }
    if (!sent.sent) {
        return fail(sent.system_error ? kFsuipcSendFailed : kFsuipcTimedOut);
    }
    if (sent.result != 1) {
        return fail(kFsuipcBadData);
    }

    // The answers are taken from where this client put its requests and copied with the
    // sizes it asked for: nothing in the returned block can steer a copy elsewhere.
    for (const QueuedRead& read : reads) {
        const std::uint8_t* at = view_ + read.header;
        if (LoadLe32(at) != kReadId || LoadLe32(at + 4) != read.offset ||
            LoadLe32(at + 8) != read.size) {
            return fail(kFsuipcBadData);
        }
        if (read.destination && read.size > 0) {
            std::memcpy(read.destination, at + kReadHeader, read.size);
        }
    }
    error_ = kFsuipcOk;
    return true;
}

std::optional<std::string> ShowTextInSimulator(FsuipcClient& client, std::string_view text) {
    std::array<char, 128> buffer{};
    std::memcpy(buffer.data(), text.data(), std::min<std::size_t>(text.size(), 127));
    if (!client.Write(0x3380, buffer.size(), buffer.data())) {
        return std::string("Reading: ") + FsuipcErrorText(client.error());
    }
    if (!client.Process()) {
        return std::string("Processing: ") + FsuipcErrorText(client.error());
    }
    const std::int16_t display_control = -1;
    client.Write(0x32FA, sizeof display_control, &display_control);
    return std::nullopt;
}

}  // namespace tavoro
