// The FSUIPC client's answer walker on any block a simulator-side module may hand back:
// the client must copy out only what it asked for, into where it asked for it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "sim/FsuipcClient.h"
#include "support/FakeSimulator.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavoro;
    static auto* server = new test::FakeFsuipcServer;
    static FsuipcClient* client = [] {
        auto* made = new FsuipcClient(*server);
        made->Open(0);
        return made;
    }();
    if (!client->is_open()) {
        __builtin_trap();
    }
    // The module answers with the fuzz bytes laid over the block it served.
    server->doctor = [data, size](std::uint8_t* block) {
        std::memcpy(block, data, std::min<std::size_t>(size, 0x8000));
    };
    // Canaries around each destination show a write past what was asked for.
    struct Guarded {
        std::array<std::uint8_t, 8> before;
        std::array<std::uint8_t, 16> value;
        std::array<std::uint8_t, 8> after;
    };
    Guarded reads[4];
    std::memset(reads, 0xA5, sizeof reads);
    const std::uint32_t offsets[4] = {0x0560, 0x0574, 0x3364, 0x313C};
    const std::uint32_t sizes[4] = {8, 4, 1, 12};
    for (int i = 0; i < 4; ++i) {
        client->Read(offsets[i], sizes[i], reads[i].value.data());
    }
    client->Process();
    for (int i = 0; i < 4; ++i) {
        for (std::uint8_t byte : reads[i].before) {
            if (byte != 0xA5)
                __builtin_trap();
        }
        for (std::uint8_t byte : reads[i].after) {
            if (byte != 0xA5)
                __builtin_trap();
        }
        for (std::size_t at = sizes[i]; at < reads[i].value.size(); ++at) {
            if (reads[i].value[at] != 0xA5)
                __builtin_trap();
        }
    }
    server->doctor = nullptr;
    return 0;
}
