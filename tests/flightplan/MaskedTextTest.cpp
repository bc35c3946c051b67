#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "flightplan/MaskedText.h"

namespace tavoro {
namespace {

constexpr char kLevel[] = "000;1;_";        // level and speed
constexpr char kZulu[] = "!90:00;0;_";      // departure time: literals left out
constexpr char kDuration[] = "!90:00;1;_";  // time en route and fuel: literals kept

struct ReadBackCase {
    const char* mask;
    std::optional<std::string> written;  // nothing: the box as it starts
    const char* shown;
    const char* text;
};

TEST(MaskedTextTest, WrittenTextReadsBackByTheMask) {
    const ReadBackCase cases[] = {
        // As the boxes start.
        {kLevel, std::nullopt, "___", "   "},
        {kZulu, std::nullopt, "__:__", ""},
        {kDuration, std::nullopt, "__:__", "  :  "},
        // Level and speed: three characters, an unfilled position a blank.
        {kLevel, "350", "350", "350"},
        {kLevel, "55", "55_", "55 "},
        {kLevel, "000", "000", "000"},
        {kLevel, "1234", "123", "123"},
        {kLevel, "abc", "___", "   "},
        // Departure time: HHMM, or HMM with the first hour digit left out.
        {kZulu, "0930", "09:30", "0930"},
        {kZulu, "930", "_9:30", "930"},
        {kZulu, "0000", "00:00", "0000"},
        {kZulu, "1415", "14:15", "1415"},
        {kZulu, "09:30", "09:30", "0930"},
        // Time en route and fuel: HH:MM, a left-out first hour digit a leading blank.
        {kDuration, "01:45", "01:45", "01:45"},
        {kDuration, " 1:45", "_1:45", " 1:45"},
        {kDuration, "1:45", "_1:45", " 1:45"},
        {kDuration, "00:00", "00:00", "00:00"},
        {kDuration, "", "__:__", "  :  "},
        // An escaped digit is a literal, kept in the text.
        {"\\00;1;_", "07", "07", "07"},
        {"\\00;0;_", "7", "07", "7"},
    };
    for (const ReadBackCase& c : cases) {
        SCOPED_TRACE(std::string(c.mask) + " <- " + c.written.value_or("(start)"));
        MaskedText box(c.mask);
        if (c.written) {
            box.SetText(*c.written);
        }
        EXPECT_EQ(box.EditText(), c.shown);
        EXPECT_EQ(box.Text(), c.text);
    }
}

struct TypingCase {
    const char* mask;
    const char* keys;  // '\b' is a backspace
    const char* shown;
    std::size_t cursor;
    int refused;
    const char* text;
};

TEST(MaskedTextTest, KeystrokesFillDigitPositionsOnly) {
    const TypingCase cases[] = {
        {kZulu, "0930", "09:30", 5, 0, "0930"},
        // A blank leaves the optional hour digit out.
        {kZulu, " 930", "_9:30", 5, 0, "930"},
        // The cursor is past the ":" once the hours are in: typing it there is refused.
        {kZulu, "09:30", "09:30", 5, 1, "0930"},
        // Only the leading unfilled positions are dropped; the others read as blanks.
        {kZulu, "a9b", "9_:__", 1, 2, "9   "},
        {kZulu, "09301", "09:30", 5, 1, "0930"},
        {kZulu, "0930\b", "09:3_", 4, 0, "093 "},
        {kZulu, "0930\b\b\b", "0_:__", 1, 0, "0   "},
        {kZulu, "\b\b", "__:__", 0, 0, ""},
        {kDuration, "0145", "01:45", 5, 0, "01:45"},
        {kDuration, " 145", "_1:45", 5, 0, " 1:45"},
        {kLevel, "55", "55_", 2, 0, "55 "},
        // A blank fills no required position.
        {kLevel, " 5", "5__", 1, 1, "5  "},
        {kLevel, "3-5+0", "350", 3, 2, "350"},
    };
    for (const TypingCase& c : cases) {
        SCOPED_TRACE(std::string(c.mask) + " typed \"" + c.keys + "\"");
        MaskedText box(c.mask);
        std::size_t cursor = 0;
        int refused = 0;
        for (const char* key = c.keys; *key; ++key) {
            if (*key == '\b') {
                box.Backspace(cursor);
            } else if (!box.Type(cursor, *key)) {
                ++refused;
            }
        }
        EXPECT_EQ(box.EditText(), c.shown);
        EXPECT_EQ(cursor, c.cursor);
        EXPECT_EQ(refused, c.refused);
        EXPECT_EQ(box.Text(), c.text);
    }
}

TEST(MaskedTextTest, LiteralTypedAtItsPositionStepsOverIt) {
    MaskedText box(kDuration);
    std::size_t cursor = 2;
    EXPECT_TRUE(box.Type(cursor, ':'));
    EXPECT_EQ(cursor, 3u);
    EXPECT_TRUE(box.Type(cursor, '4'));
    EXPECT_EQ(box.EditText(), "__:4_");
    // Anywhere else it fits no position.
    cursor = 0;
    EXPECT_FALSE(box.Type(cursor, ':'));
    EXPECT_EQ(cursor, 0u);
}

TEST(MaskedTextTest, ClearEmptiesDigitsAndKeepsLiterals) {
    MaskedText box(kDuration);
    box.SetText("12:34");
    box.Clear(1, 4);
    EXPECT_EQ(box.EditText(), "1_:_4");
    EXPECT_EQ(box.Text(), "1 : 4");
}

struct CompletenessCase {
    const char* mask;
    const char* typed;
    std::optional<std::size_t> first_unfilled;
};

TEST(MaskedTextTest, FirstUnfilledRequiredPosition) {
    const CompletenessCase cases[] = {
        {kZulu, "0930", std::nullopt},
        // The optional hour digit may stay unfilled; typed from the left, "930" leaves the
        // last minute digit out.
        {kZulu, " 930", std::nullopt},
        {kZulu, "930", 4},
        {kZulu, "", 1},
        {kDuration, "01:4", 4},
        {kLevel, "55", 2},
        {kLevel, "", 0},
        {kLevel, "055", std::nullopt},
    };
    for (const CompletenessCase& c : cases) {
        SCOPED_TRACE(std::string(c.mask) + " typed \"" + c.typed + "\"");
        MaskedText box(c.mask);
        std::size_t cursor = 0;
        for (const char* key = c.typed; *key; ++key) {
            box.Type(cursor, *key);
        }
        EXPECT_EQ(box.FirstUnfilledRequired(), c.first_unfilled);
    }
}

}  // namespace
}  // namespace tavoro
