#pragma once

#include <bit>
#include <cstdint>
#include <vector>

namespace tavoro {

// The byte order of every binary layout the simulator interfaces use (the FSUIPC block,
// the SimConnect messages, the local wire frames): little-endian words, floats and doubles
// as their IEEE bits. Written byte by byte, so they hold on any host and any alignment.

inline std::uint32_t LoadLe32(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

inline void StoreLe32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

inline void AppendLe32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

inline std::uint32_t FloatBits(float value) {
    return std::bit_cast<std::uint32_t>(value);
}
inline float FloatFromBits(std::uint32_t bits) {
    return std::bit_cast<float>(bits);
}
inline std::uint64_t DoubleBits(double value) {
    return std::bit_cast<std::uint64_t>(value);
}
inline double DoubleFromBits(std::uint64_t bits) {
    return std::bit_cast<double>(bits);
}

}  // namespace tavoro
