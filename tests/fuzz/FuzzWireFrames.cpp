// The local wire between the client's SimConnect library and the stand-in simulator, on
// any byte stream: the frame decoder, the host-frame check and the field reader.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/SimHostWire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavoro;
    WireFrameDecoder decoder;
    // Fed in pieces of a size the first byte picks, as reads would deliver them.
    const std::size_t piece = size > 0 ? 1 + data[0] % 64 : 1;
    std::vector<std::uint8_t> payload;
    for (std::size_t at = 0; at < size; at += piece) {
        decoder.Feed(data + at, std::min(piece, size - at));
        while (decoder.Next(payload) == WireFrameDecoder::Status::kFrame) {
            if (payload.size() > kSimWireMaxFrame) {
                __builtin_trap();
            }
            ParseHostFrame(payload);
            WireReader reader(payload.data(), payload.size());
            std::uint32_t word;
            std::string text;
            std::vector<std::uint8_t> blob;
            double real64;
            while (reader.word(word) && reader.text(text) && reader.blob(blob) &&
                   reader.real64(real64)) {
            }
        }
    }
    return 0;
}
