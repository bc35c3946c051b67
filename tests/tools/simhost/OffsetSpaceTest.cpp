#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "simhost/OffsetSpace.h"

namespace tavoro::simhost {
namespace {

constexpr double kTwo32 = 4294967296.0;

std::uint64_t readLe(const OffsetSpace& space, std::uint32_t offset, int size) {
    std::uint8_t bytes[8] = {};
    space.Read(offset, static_cast<std::uint32_t>(size), bytes);
    std::uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8 | bytes[i];
    }
    return value;
}

std::string readText(const OffsetSpace& space, std::uint32_t offset, std::uint32_t size) {
    std::string bytes(size, '?');
    space.Read(offset, size, reinterpret_cast<std::uint8_t*>(bytes.data()));
    return bytes;
}

TEST(EncodeTest, Latitude) {
    EXPECT_EQ(encode::Latitude(0), 0);
    EXPECT_EQ(encode::Latitude(90), 10001750LL << 32);
    EXPECT_EQ(encode::Latitude(-90), -(10001750LL << 32));
    EXPECT_EQ(encode::Latitude(45), 5000875LL << 32);
    // The client's decoding gives the degrees back to well under a metre.
    EXPECT_NEAR(static_cast<double>(encode::Latitude(48.7233)) * 90 / 42957189152768000.0, 48.7233,
                1e-9);
}

TEST(EncodeTest, LongitudeIsAFractionOfATurnIn64Bits) {
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    EXPECT_EQ(encode::Longitude(0), 0);
    EXPECT_EQ(encode::Longitude(90), 1LL << 62);
    EXPECT_EQ(encode::Longitude(-90), -(1LL << 62));
    EXPECT_EQ(encode::Longitude(-180), kMin);
    // +180 is the same meridian and must not overflow the word.
    EXPECT_EQ(encode::Longitude(180), kMin);
    EXPECT_EQ(encode::Longitude(270), -(1LL << 62));
    EXPECT_NEAR(static_cast<double>(encode::Longitude(-122.3)) * 360 / 18446744073709551616.0,
                -122.3, 1e-9);
}

TEST(EncodeTest, AltitudeIsWholeMetresAndABinaryFraction) {
    struct Case {
        double feet;
        std::uint32_t whole;
        double fraction;  // of a metre
    };
    for (const Case& c : {Case{0, 0, 0}, Case{1000, 304, 0.8}, Case{32808.4, 10000, 0.00032},
                          Case{-10, static_cast<std::uint32_t>(-4), 0.952},
                          Case{-11, static_cast<std::uint32_t>(-4), 0.6472}}) {
        const encode::Altitude altitude = encode::AltitudeMetres(c.feet);
        EXPECT_EQ(altitude.whole, c.whole) << c.feet << " ft";
        EXPECT_NEAR(altitude.fraction / kTwo32, c.fraction, 1e-6) << c.feet << " ft";
    }
}

TEST(EncodeTest, AnglesWrapInto32Bits) {
    EXPECT_EQ(encode::Angle(0), 0u);
    EXPECT_EQ(encode::Angle(90), 1u << 30);
    EXPECT_EQ(encode::Angle(180), 1u << 31);
    EXPECT_EQ(encode::Angle(360), 0u);
    // Negative angles read as their complement: pitch -1 is 359 to the client.
    EXPECT_EQ(encode::Angle(-1), encode::Angle(359));
    EXPECT_EQ(encode::Angle(-90), 3u << 30);
    // Just below a full turn rounds to the top of the word, never past it.
    EXPECT_EQ(encode::Angle(360 - 1e-12), 0u);
}

TEST(EncodeTest, GroundSpeedIsMetresPerSecondTimes65536) {
    EXPECT_EQ(encode::GroundSpeed(0), 0u);
    EXPECT_EQ(encode::GroundSpeed(3600.0 / 1852.0), 65536u);
    EXPECT_EQ(encode::GroundSpeed(100), 3371463u);  // 51.4444 m/s
}

class OffsetSpaceTest : public testing::Test {
protected:
    OffsetSpaceTest() : space(FsuipcVersions{0x40000000u, 0xFADE0008u}) {}

    void write(std::uint32_t offset, const std::vector<std::uint8_t>& data) {
        space.Write(offset, static_cast<std::uint32_t>(data.size()), data.data(), state);
    }

    SimState state;
    OffsetSpace space;
};

TEST_F(OffsetSpaceTest, RefreshPutsTheModelAtItsOffsets) {
    state.aircraft.latitude = 45;
    state.aircraft.longitude = -90;
    state.aircraft.altitude_ft = 1000;
    state.aircraft.ground_speed_kt = 100;
    state.aircraft.pitch_deg = -1;
    state.aircraft.bank_deg = 90;
    state.aircraft.heading_deg = 180;
    state.aircraft.transponder = 0x7700;
    state.aircraft.engines = 4;
    state.aircraft.ready = false;
    state.clock.zulu_seconds = 23 * 3600 + 59 * 60 + 58.7;
    state.clock.local_seconds = 1 * 3600 + 2 * 60 + 58.7;
    space.Refresh(state);

    struct Expected {
        std::uint32_t offset;
        int size;
        std::uint64_t value;
    };
    const Expected expected[] = {
        {0x02B4, 4, 3371463u},
        {0x0560, 8, 5000875ULL << 32},
        {0x0568, 8, static_cast<std::uint64_t>(-(1LL << 62))},
        {0x0574, 4, 304},
        {0x0578, 4, encode::Angle(359)},
        {0x057C, 4, 1u << 30},
        {0x0580, 4, 1u << 31},
        {0x0354, 2, 0x7700},
        {0x0238, 1, 1},
        {0x0239, 1, 2},
        {0x023A, 1, 58},
        {0x023B, 1, 23},
        {0x023C, 1, 59},
        {0x0AEC, 2, 4},
        {0x3364, 1, 1},
        {0x3304, 4, 0x40000000u},
        {0x3308, 4, 0xFADE0008u},
    };
    for (const Expected& e : expected) {
        EXPECT_EQ(readLe(space, e.offset, e.size), e.value) << std::hex << "offset 0x" << e.offset;
    }
    EXPECT_NEAR(readLe(space, 0x0570, 4) / kTwo32, 0.8, 1e-6);

    state.aircraft.ready = true;
    space.Refresh(state);
    EXPECT_EQ(readLe(space, 0x3364, 1), 0u);
}

TEST_F(OffsetSpaceTest, IdentityTextsAreZeroPaddedAndCutAtTheirField) {
    struct Field {
        std::string SimAircraft::*member;
        std::uint32_t offset;
        std::uint32_t size;
    };
    const Field fields[] = {
        {&SimAircraft::title, 0x3D00, 256},  {&SimAircraft::type, 0x3160, 24},
        {&SimAircraft::model, 0x3500, 24},   {&SimAircraft::id, 0x313C, 12},
        {&SimAircraft::airline, 0x3148, 24},
    };
    for (const Field& field : fields) {
        // A long text first: a shorter one after it must not keep the long one's tail.
        state.aircraft.*field.member = std::string(300, 'X');
        space.Refresh(state);
        EXPECT_EQ(readText(space, field.offset, field.size), std::string(field.size, 'X'));
        state.aircraft.*field.member = "F-GTAV";
        space.Refresh(state);
        std::string want = "F-GTAV";
        want.resize(field.size, '\0');
        EXPECT_EQ(readText(space, field.offset, field.size), want) << std::hex << field.offset;
    }
}

TEST_F(OffsetSpaceTest, TheLibraryVersionWriteLeavesTheSimulatorVersionAlone) {
    space.Refresh(state);
    write(0x330A, {0xD5, 0x07});  // 2005
    EXPECT_EQ(state.library_version, 2005);
    EXPECT_EQ(readLe(space, 0x3308, 4), 0xFADE0008u);
    // Also when the write covers more than the version word.
    write(0x3308, {0x11, 0x22, 0x34, 0x12, 0x55});
    EXPECT_EQ(state.library_version, 0x1234);
    space.Refresh(state);
    EXPECT_EQ(readLe(space, 0x3308, 4), 0xFADE0008u);
    EXPECT_EQ(readLe(space, 0x330C, 1), 0x55u);
}

TEST_F(OffsetSpaceTest, WritesThatStandForTheSimulatorUpdateTheState) {
    std::vector<std::uint8_t> text(128, 0);
    std::memcpy(text.data(), "Contact Paris", 13);
    text[20] = 'x';  // past the terminator: not part of the text
    write(0x3380, text);
    write(0x3380, {'A', 'B'});  // no terminator: the write's own length ends it
    EXPECT_EQ(state.texts_shown, (std::vector<std::string>{"Contact Paris", "AB"}));

    write(0x32FA, {0xFF, 0xFF});
    EXPECT_EQ(state.display_control, -1);

    std::vector<std::uint8_t> path(256, 0);
    std::memcpy(path.data(), "C:\\plans\\LFPO-LFML.PLN", 22);
    write(0x0130, path);
    EXPECT_EQ(state.plan_path, "C:\\plans\\LFPO-LFML.PLN");
    write(0x0130, {0});
    EXPECT_EQ(state.plan_path, "");

    state.plan_path = "D:\\x.pln";
    space.Refresh(state);
    EXPECT_EQ(readText(space, 0x0130, 9), std::string("D:\\x.pln\0", 9));
}

TEST_F(OffsetSpaceTest, OtherOffsetsKeepWhatWasWritten) {
    EXPECT_EQ(readLe(space, 0x66C0, 4), 0u);
    write(0x66C0, {1, 2, 3, 4});
    EXPECT_EQ(readLe(space, 0x66C0, 4), 0x04030201u);
    space.Refresh(state);
    EXPECT_EQ(readLe(space, 0x66C0, 4), 0x04030201u);

    // At the top of the space: the part inside is kept, the rest reads as zeros.
    write(0xFFFE, {0xAA, 0xBB, 0xCC, 0xDD});
    EXPECT_EQ(readLe(space, 0xFFFE, 4), 0xBBAAu);
    EXPECT_EQ(readLe(space, 0xFFFFFFFEu, 4), 0u);
}

// A block as the client lays it out, built request by request.
class Block {
public:
    explicit Block(std::size_t size = 0x8000) : bytes_(size, 0) {}

    Block& word(std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            bytes_.at(at_++) = static_cast<std::uint8_t>(value >> (8 * i));
        }
        return *this;
    }
    Block& read(std::uint32_t offset, std::uint32_t size, std::uint32_t own) {
        word(1).word(offset).word(size).word(own);
        std::fill_n(bytes_.begin() + static_cast<std::ptrdiff_t>(at_), size, 0xEE);
        at_ += size;
        return *this;
    }
    Block& write(std::uint32_t offset, const std::vector<std::uint8_t>& data) {
        word(2).word(offset).word(static_cast<std::uint32_t>(data.size()));
        for (std::uint8_t byte : data) {
            bytes_.at(at_++) = byte;
        }
        return *this;
    }
    std::uint32_t wordAt(std::size_t at) const {
        return bytes_[at] | bytes_[at + 1] << 8 | bytes_[at + 2] << 16 |
               static_cast<std::uint32_t>(bytes_[at + 3]) << 24;
    }
    std::size_t position() const { return at_; }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

TEST_F(OffsetSpaceTest, ServesReadsAndWritesInOrder) {
    state.aircraft.engines = 2;
    space.Refresh(state);
    Block block;
    block.read(0x0AEC, 2, 0xCAFEF00D)
        .write(0x66C0, {9, 8, 7, 6})
        .read(0x66C0, 4, 77)
        .read(0x3304, 4, 0)
        .word(0);
    ASSERT_TRUE(ServeBlock(block.bytes().data(), block.bytes().size(), space, state));
    EXPECT_EQ(block.wordAt(12), 0xCAFEF00Du) << "the client's own word must be left alone";
    EXPECT_EQ(block.wordAt(16) & 0xFFFF, 2u);
    EXPECT_EQ(block.wordAt(18 + 16 + 16), 0x06070809u) << "a write is seen by a later read";
    EXPECT_EQ(block.wordAt(18 + 16 + 20 + 16), 0x40000000u);
}

struct HostileCase {
    const char* name;
    std::function<void(Block&)> build;
    bool walkable;
};

class HostileBlockTest : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileBlockTest, IsBoundsCheckedBeforeUse) {
    SimState state;
    OffsetSpace space;
    space.Refresh(state);
    Block block;
    GetParam().build(block);
    // Only the bytes the case laid out are the block, so the walk cannot lean on
    // padding past them; an address sanitizer build catches any read beyond.
    std::vector<std::uint8_t> exact(block.bytes().begin(), block.bytes().end());
    EXPECT_EQ(ServeBlock(exact.data(), exact.size(), space, state), GetParam().walkable);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostileBlockTest,
    testing::Values(
        HostileCase{"EmptyBlock", [](Block& b) { b.word(0); }, true},
        HostileCase{"UnknownIdEndsTheWalk",
                    [](Block& b) { b.word(7).word(0x3304).word(0xFFFFFFFF); }, true},
        HostileCase{"ReadPastTheEnd", [](Block& b) { b.word(1).word(0x3304).word(0x8000); }, false},
        HostileCase{"HugeReadSize",
                    [](Block& b) { b.word(1).word(0x3304).word(0xFFFFFFF8).word(0); }, false},
        HostileCase{"HugeWriteSize", [](Block& b) { b.word(2).word(0x3304).word(0xFFFFFFFF); },
                    false},
        HostileCase{"WriteExactlyToTheEndLeavesNoEndWord",
                    [](Block& b) { b.word(2).word(0x66C0).word(0x8000 - 12); }, false},
        HostileCase{"ReadOfTheWholeRestWithRoomForTheEndWord",
                    [](Block& b) { b.word(1).word(0x1000).word(0x8000 - 20).word(0); }, true},
        HostileCase{"HeaderCutByTheEnd",
                    [](Block& b) {
                        b.bytes().resize(64);
                        b.read(0x3304, 40, 0).word(1).word(0x3304);
                    },
                    false},
        HostileCase{"BlockSmallerThanAWord", [](Block& b) { b.bytes().resize(3); }, false},
        // A read's header is longer than what is left of this small block.
        HostileCase{"BlockShorterThanAReadHeader",
                    [](Block& b) {
                        b.bytes().resize(8);
                        b.word(1).word(0x3304);
                    },
                    false},
        HostileCase{"OffsetsOutsideTheSpaceReadZeros",
                    [](Block& b) {
                        b.read(0xFFFFFFF0u, 64, 0).write(0xFFFFFFF0u, {1, 2}).word(0);
                    },
                    true}),
    [](const testing::TestParamInfo<HostileCase>& info) { return info.param.name; });

TEST(HostileBlockTest, AnUnknownIdStopsTheWalkBeforeLaterRequests) {
    SimState state;
    OffsetSpace space;
    space.Refresh(state);
    Block block;
    block.word(3).read(0x3304, 4, 0).word(0);
    ASSERT_TRUE(ServeBlock(block.bytes().data(), block.bytes().size(), space, state));
    EXPECT_EQ(block.wordAt(4 + 16), 0xEEEEEEEEu) << "a request after the unknown id was served";
}

}  // namespace
}  // namespace tavoro::simhost
