#include <gtest/gtest.h>

#include <ostream>
#include <string_view>

#include "StationPipeline.h"
#include "atc/AtcList.h"

namespace tavoro {
namespace {

using test::PositionLine;
using test::StationPipeline;

// ---------------------------------------------------------------------------------------
// List lines and the ATIS header

struct PaddingCase {
    const char* name;
    const char* callsign;
    const char* facility_code;
    const char* line;
    const char* header;
};

void PrintTo(const PaddingCase& c, std::ostream* out) {
    *out << c.name;
}

class StationLineTest : public ::testing::TestWithParam<PaddingCase> {};

TEST_P(StationLineTest, PadsCallsignAndFacilityByCharacters) {
    const PaddingCase& c = GetParam();
    StationPipeline pipe;
    pipe.Receive({PositionLine(c.callsign, "18.250", c.facility_code, "0", "0")});
    EXPECT_EQ(pipe.Shown(), std::vector<std::string>{c.line});

    pipe.selection.SelectStation(0);
    EXPECT_EQ(pipe.Shown(), std::vector<std::string>{c.header});
}

INSTANTIATE_TEST_SUITE_P(
    Widths, StationLineTest,
    ::testing::Values(
        PaddingCase{"eight_characters", "LFPG_TWR", "TWR", "LFPG_TWR Tour       118.250 0nm (20nm)",
                    "LFPG_TWR   118.250    ATIS:"},
        PaddingCase{"nine_characters", "LFMN_ATIS", "APP",
                    "LFMN_ATIS Approche   118.250 0nm (20nm)", "LFMN_ATIS  118.250    ATIS:"},
        PaddingCase{"ten_characters", "EDDF_N_TWR", "TWR",
                    "EDDF_N_TWR Tour       118.250 0nm (20nm)", "EDDF_N_TWR  118.250    ATIS:"},
        PaddingCase{"short_callsign_accented_facility", "EGLL", "CTR",
                    "EGLL     Contrôle   118.250 0nm (20nm)", "EGLL       118.250    ATIS:"},
        PaddingCase{"facility_wider_than_its_column", "LFPG_FSS", "FSS",
                    "LFPG_FSS Information de vol 118.250 0nm (20nm)",
                    "LFPG_FSS   118.250    ATIS:"},
        PaddingCase{"unknown_facility", "LFPB_TWR", "XXX", "LFPB_TWR error      118.250 0nm (20nm)",
                    "LFPB_TWR   118.250    ATIS:"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------
// Texts below the list

struct CutCase {
    const char* name;
    std::string text;
    std::vector<std::string> lines;
};

void PrintTo(const CutCase& c, std::ostream* out) {
    *out << c.name;
}

std::string repeated(std::string_view piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

class StationTextTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(StationTextTest, ShowsInLinesOf45CharactersAndIsKeptWhole) {
    const CutCase& c = GetParam();
    StationPipeline pipe;
    pipe.Receive({"#AALFPG_TWR"});
    pipe.selection.SelectStation(0);
    pipe.Receive({"#TMLFPG_TWR:ABC12:" + c.text});

    // No "%" yet: the header has no frequency between its blanks.
    std::vector<std::string> expected{"LFPG_TWR" + std::string(7, ' ') + "ATIS:"};
    expected.insert(expected.end(), c.lines.begin(), c.lines.end());
    EXPECT_EQ(pipe.Shown(), expected);
    EXPECT_EQ(pipe.selection.atis_lines(), std::vector<std::string>{c.text});
}

const std::string kHundred = repeated("0123456789", 10);

INSTANTIATE_TEST_SUITE_P(
    Lengths, StationTextTest,
    ::testing::Values(
        CutCase{"hundred", kHundred, {kHundred.substr(0, 45), kHundred.substr(45)}},
        CutCase{"exactly_45", kHundred.substr(0, 45), {kHundred.substr(0, 45)}},
        CutCase{"46", kHundred.substr(0, 46), {kHundred.substr(0, 45), "5"}},
        CutCase{"empty", "", {""}},
        // Cut at characters, not bytes: "é" is two bytes in UTF-8.
        CutCase{"accented", repeated("é", 50), {repeated("é", 45), repeated("é", 5)}},
        // Bytes that are not UTF-8 are 8-bit characters, one byte each.
        CutCase{"eight_bit", repeated("\xE9", 50), {repeated("\xE9", 45), repeated("\xE9", 5)}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavoro
