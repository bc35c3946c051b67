// The weather decoder on any text an observation may hold, decoded over one record carried
// from input to input as the client's is. Whatever the bytes, nothing is read outside them,
// and a second decode of the same text changes nothing.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "weather/MetarDecoder.h"
#include "weather/MetarTables.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavoro;
    static WeatherReport report;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    DecodeMetar(text, test::WordTables(), report);
    const WeatherReport once = report;
    DecodeMetar(text, test::WordTables(), report);
    if (!(report == once)) {
        __builtin_trap();
    }
    return 0;
}
