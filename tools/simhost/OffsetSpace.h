#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "simhost/SimState.h"

namespace tavoro::simhost {

// The versions the stand-in announces at 0x3304 and 0x3308.
struct FsuipcVersions {
    std::uint32_t fsuipc = 0x40000000u;
    // High word 0xFADE marks a real answer; low word 8 is the "FSX" simulator.
    std::uint32_t sim = 0xFADE0008u;
};

// The simulator's 64 KiB offset space as the FSUIPC exchange sees it. The aircraft, clock,
// identity and versions are written in from the model before each exchange; anything a
// client writes elsewhere is kept and read back, as the real module does for offsets it
// does not own.
class OffsetSpace {
public:
    static constexpr std::size_t kSize = 0x10000;

    explicit OffsetSpace(FsuipcVersions versions = {}) : versions_(versions) {}

    // Writes the model's values into their offsets.
    void Refresh(const SimState& state);

    // Copies `size` bytes at `offset` to `out`; bytes past the space read as zero.
    void Read(std::uint32_t offset, std::uint32_t size, std::uint8_t* out) const;
    // Stores a client's write, updating the state where an offset stands for it.
    void Write(std::uint32_t offset, std::uint32_t size, const std::uint8_t* data, SimState& state);

    const std::uint8_t* bytes() const { return bytes_.data(); }

private:
    void put(std::uint32_t offset, std::uint64_t value, std::size_t size);
    void putText(std::uint32_t offset, const std::string& text, std::size_t field);

    FsuipcVersions versions_;
    std::array<std::uint8_t, kSize> bytes_{};
};

// Serves one request block from a client: fills the read bodies from `space` and applies
// the writes, request after request from the start, until a zero word or an unknown id.
// The block is another process's memory, so every size is checked against `size` before
// use and every header word is read once. False when the block cannot be walked (a
// request runs past its end, or no end word fits): the client is then told it sent bad
// data, though requests before the bad one have been served.
bool ServeBlock(std::uint8_t* block, std::size_t size, OffsetSpace& space, SimState& state);

// The encodings of the model's values, one per offset.
namespace encode {
std::uint32_t GroundSpeed(double knots);
std::int64_t Latitude(double degrees);
std::int64_t Longitude(double degrees);
// Whole metres (0x0574) and the fraction of a metre × 2^32 (0x0570).
struct Altitude {
    std::uint32_t whole;
    std::uint32_t fraction;
};
Altitude AltitudeMetres(double feet);
// Degrees × 2^32 / 360, wrapped into 32 bits.
std::uint32_t Angle(double degrees);
}  // namespace encode

}  // namespace tavoro::simhost
