#include "simhost/OffsetSpace.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/LittleEndian.h"
#include "simhost/SimModel.h"

namespace tavoro::simhost {
namespace {

constexpr std::uint32_t kReadId = 1;
constexpr std::uint32_t kWriteId = 2;
constexpr std::size_t kReadHeader = 16;
constexpr std::size_t kWriteHeader = 12;

constexpr std::uint32_t kVersionWordOffset = 0x330A;  // the client's library version
constexpr std::uint32_t kShowTextOffset = 0x3380;
constexpr std::size_t kShowTextSize = 128;
constexpr std::uint32_t kDisplayControlOffset = 0x32FA;
constexpr std::uint32_t kPlanPathOffset = 0x0130;
constexpr std::size_t kPlanPathSize = 256;

constexpr double kTwoTo32 = 4294967296.0;
constexpr double kTwoTo64 = 18446744073709551616.0;
constexpr double kMetresPerFoot = 0.3048;

// A text of at most `limit` bytes, ending at the first zero byte.
std::string zeroTerminated(const std::uint8_t* data, std::size_t limit) {
    const auto* end = std::find(data, data + limit, std::uint8_t{0});
    return std::string(data, end);
}

}  // namespace

namespace encode {

std::uint32_t GroundSpeed(double knots) {
    const double value = std::round(knots * 1852.0 / 3600.0 * 65536.0);
    return value <= 0 ? 0 : value >= kTwoTo32 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(value);
}

std::int64_t Latitude(double degrees) {
    return static_cast<std::int64_t>(std::llround(degrees * 10001750.0 / 90.0 * kTwoTo32));
}

std::int64_t Longitude(double degrees) {
    // A whole turn is 2^64, so +180 reads as -180: the wrapped angle, in [-180, 180), maps
    // onto the signed range, and a product that rounds up to 2^63 wraps round with it.
    const double value = WrapDegrees(degrees, -180.0) / 360.0 * kTwoTo64;
    if (value >= kTwoTo64 / 2) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return static_cast<std::int64_t>(std::llround(value));
}

Altitude AltitudeMetres(double feet) {
    const double metres = feet * kMetresPerFoot;
    const double whole = std::floor(metres);
    double fraction = std::round((metres - whole) * kTwoTo32);
    // A fraction that rounds up to a whole metre belongs to the next metre.
    double carried = whole;
    if (fraction >= kTwoTo32) {
        fraction = 0;
        carried += 1;
    }
    return {static_cast<std::uint32_t>(static_cast<std::int32_t>(carried)),
            static_cast<std::uint32_t>(fraction)};
}

std::uint32_t Angle(double degrees) {
    const double turns = WrapDegrees(degrees, 0) / 360.0 * kTwoTo32;
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::llround(turns)));
}

}  // namespace encode

void OffsetSpace::put(std::uint32_t offset, std::uint64_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        bytes_[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

void OffsetSpace::putText(std::uint32_t offset, const std::string& text, std::size_t field) {
    std::memset(&bytes_[offset], 0, field);
    std::memcpy(&bytes_[offset], text.data(), std::min(text.size(), field));
}

void OffsetSpace::Refresh(const SimState& state) {
    const SimAircraft& aircraft = state.aircraft;
    put(0x02B4, encode::GroundSpeed(aircraft.ground_speed_kt), 4);
    put(0x0560, static_cast<std::uint64_t>(encode::Latitude(aircraft.latitude)), 8);
    put(0x0568, static_cast<std::uint64_t>(encode::Longitude(aircraft.longitude)), 8);
    const encode::Altitude altitude = encode::AltitudeMetres(aircraft.altitude_ft);
    put(0x0570, altitude.fraction, 4);
    put(0x0574, altitude.whole, 4);
    put(0x0578, encode::Angle(aircraft.pitch_deg), 4);
    put(0x057C, encode::Angle(aircraft.bank_deg), 4);
    put(0x0580, encode::Angle(aircraft.heading_deg), 4);
    put(0x0354, aircraft.transponder, 2);

    const auto zulu = static_cast<std::uint32_t>(state.clock.zulu_seconds);
    const auto local = static_cast<std::uint32_t>(state.clock.local_seconds);
    put(0x0238, local / 3600 % 24, 1);
    put(0x0239, local / 60 % 60, 1);
    put(0x023A, zulu % 60, 1);
    put(0x023B, zulu / 3600 % 24, 1);
    put(0x023C, zulu / 60 % 60, 1);

    put(0x0AEC, aircraft.engines, 2);
    put(0x3364, aircraft.ready ? 0 : 1, 1);
    put(0x3304, versions_.fsuipc, 4);
    put(0x3308, versions_.sim, 4);

    putText(0x3D00, aircraft.title, 256);
    putText(0x3160, aircraft.type, 24);
    putText(0x3500, aircraft.model, 24);
    putText(0x313C, aircraft.id, 12);
    putText(0x3148, aircraft.airline, 24);
    putText(kPlanPathOffset, state.plan_path, kPlanPathSize);
}

void OffsetSpace::Read(std::uint32_t offset, std::uint32_t size, std::uint8_t* out) const {
    const std::size_t inside = offset >= kSize ? 0 : std::min<std::size_t>(size, kSize - offset);
    if (inside > 0) {
        std::memcpy(out, &bytes_[offset], inside);
    }
    std::memset(out + inside, 0, size - inside);
}

void OffsetSpace::Write(std::uint32_t offset, std::uint32_t size, const std::uint8_t* data,
                        SimState& state) {
    const std::uint64_t end = std::uint64_t{offset} + size;
    for (std::uint64_t at = offset; at < std::min<std::uint64_t>(end, kSize); ++at) {
        const std::uint8_t byte = data[at - offset];
        // The library version overlaps the simulator version's high word in a flat
        // space; it is kept apart so that a client's write cannot change what the
        // version read answers.
        if (at >= kVersionWordOffset && at < kVersionWordOffset + 2) {
            const int shift = 8 * static_cast<int>(at - kVersionWordOffset);
            state.library_version = static_cast<std::uint16_t>(
                (state.library_version & ~(0xFF << shift)) | byte << shift);
            continue;
        }
        bytes_[at] = byte;
    }

    if (offset == kShowTextOffset) {
        state.texts_shown.push_back(
            zeroTerminated(data, std::min<std::size_t>(size, kShowTextSize)));
    }
    if (offset == kDisplayControlOffset && size >= 2) {
        state.display_control = static_cast<std::int16_t>(data[0] | data[1] << 8);
    }
    // The flight-plan path is the field's text, whatever part of it was written.
    if (offset < kPlanPathOffset + kPlanPathSize && end > kPlanPathOffset) {
        state.plan_path = zeroTerminated(&bytes_[kPlanPathOffset], kPlanPathSize);
    }
}

bool ServeBlock(std::uint8_t* block, std::size_t size, OffsetSpace& space, SimState& state) {
    std::size_t at = 0;
    while (true) {
        if (size < 4 || at > size - 4) {
            return false;
        }
        const std::uint32_t id = LoadLe32(block + at);
        if (id != kReadId && id != kWriteId) {
            // The zero word ends the block; an id the module does not know ends it too.
            return true;
        }
        const std::size_t header = id == kReadId ? kReadHeader : kWriteHeader;
        // `at` is at most size - 4 here, so the subtraction cannot wrap.
        if (size - at < header) {
            return false;
        }
        const std::uint32_t offset = LoadLe32(block + at + 4);
        const std::uint32_t length = LoadLe32(block + at + 8);
        // Both sides of the comparison are within the block, so nothing can wrap.
        if (length > size - at - header) {
            return false;
        }
        std::uint8_t* body = block + at + header;
        if (id == kReadId) {
            space.Read(offset, length, body);
        } else {
            space.Write(offset, length, body, state);
        }
        at += header + length;
    }
}

}  // namespace tavoro::simhost
