#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <clocale>
#include <cstdio>

#include "core/Numbers.h"

namespace tavoro {
namespace {

struct FixedCase {
    double value;
    int width;
    int decimals;
    const char* expected;
};

class FormatFixedTest : public ::testing::TestWithParam<FixedCase> {};

TEST_P(FormatFixedTest, Formats) {
    const FixedCase& c = GetParam();
    EXPECT_EQ(FormatFixed(c.value, c.width, c.decimals), c.expected)
        << c.value << " as fixed(" << c.width << ", " << c.decimals << ")";
}

INSTANTIATE_TEST_SUITE_P(
    Reports, FormatFixedTest,
    ::testing::Values(FixedCase{48.7251, 8, 5, "48.72510"}, FixedCase{2.3552, 8, 5, " 2.35520"},
                      FixedCase{5.5, 8, 5, " 5.50000"},
                      // The width counts the sign and the point.
                      FixedCase{-0.25, 8, 5, "-0.25000"}, FixedCase{-122.5, 8, 5, "-122.50000"},
                      FixedCase{35000.4, 5, 0, "35000"}, FixedCase{350, 5, 0, "  350"},
                      FixedCase{0, 4, 0, "   0"}, FixedCase{0, 8, 5, " 0.00000"},
                      // Longer than the width: never cut.
                      FixedCase{123456.5, 5, 0, "123456"}, FixedCase{41000, 4, 0, "41000"},
                      // Ties go to the even neighbour; other values to the nearest.
                      FixedCase{0.5, 1, 0, "0"}, FixedCase{1.5, 1, 0, "2"},
                      FixedCase{2.5, 1, 0, "2"}, FixedCase{350.5, 5, 0, "  350"},
                      FixedCase{351.5, 5, 0, "  352"}, FixedCase{0.125, 1, 2, "0.12"},
                      FixedCase{0.375, 1, 2, "0.38"},
                      FixedCase{2.675, 1, 2, "2.67"},  // 2.675 is stored a little below the tie
                      FixedCase{350.50001, 5, 0, "  351"},
                      // Rounding to zero from below writes no minus sign.
                      FixedCase{-0.000001, 8, 5, " 0.00000"}, FixedCase{-0.4, 4, 0, "   0"}));

// A desktop set to German or French writes decimal commas through printf and strtod;
// the wire must not follow it. The locale is built in a temporary folder so the test
// needs no locale installed system-wide.
TEST(FormatFixedLocaleTest, WritesAPointWhateverTheLocale) {
    QTemporaryDir dir;
    QString locale_dir = dir.filePath("de_DE.UTF-8");
    QProcess localedef;
    localedef.start("localedef", {"-i", "de_DE", "-f", "UTF-8", locale_dir});
    if (!localedef.waitForFinished(60000) || localedef.exitCode() != 0) {
        GTEST_SKIP() << "localedef cannot build a German locale here";
    }
    std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    qputenv("LOCPATH", dir.path().toLocal8Bit());
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
    char printed[16];
    std::snprintf(printed, sizeof printed, "%.1f", 2.5);
    std::string formatted = FormatFixed(48.7251, 8, 5);
    std::optional<double> parsed = ParseDecimalNumber("2.5");
    std::setlocale(LC_NUMERIC, saved.c_str());
    qunsetenv("LOCPATH");
    ASSERT_STREQ(printed, "2,5") << "the locale did not take effect";
    EXPECT_EQ(formatted, "48.72510");
    EXPECT_EQ(parsed, 2.5);
}

struct WholeCase {
    const char* text;
    bool valid;
    int value;
};

class WholeNumberTest : public ::testing::TestWithParam<WholeCase> {};

TEST_P(WholeNumberTest, ParsesOrRaises) {
    const WholeCase& c = GetParam();
    if (c.valid) {
        EXPECT_EQ(ParseWholeNumber(c.text), c.value) << '"' << c.text << '"';
    } else {
        EXPECT_THROW(ParseWholeNumber(c.text), ConversionError) << '"' << c.text << '"';
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, WholeNumberTest,
                         ::testing::Values(WholeCase{"12", true, 12}, WholeCase{"-3", true, -3},
                                           WholeCase{"+7", true, 7}, WholeCase{"  42", true, 42},
                                           WholeCase{"007", true, 7},
                                           WholeCase{"2147483647", true, 2147483647},
                                           WholeCase{"-2147483648", true, -2147483647 - 1},
                                           WholeCase{"", false, 0}, WholeCase{" ", false, 0},
                                           WholeCase{"-", false, 0}, WholeCase{"abc", false, 0},
                                           WholeCase{"12a", false, 0}, WholeCase{"12 ", false, 0},
                                           WholeCase{"1.5", false, 0}, WholeCase{"0x10", false, 0},
                                           WholeCase{"2147483648", false, 0},
                                           WholeCase{"-2147483649", false, 0},
                                           WholeCase{"99999999999999999999999", false, 0}));

TEST(WholeNumberMessageTest, NamesTheText) {
    try {
        ParseWholeNumber("5s");
        FAIL() << "no error raised";
    } catch (const ConversionError& error) {
        EXPECT_STREQ(error.what(), "'5s' n'est pas un nombre entier valide");
    }
}

struct DecimalCase {
    const char* text;
    std::optional<double> value;
};

class DecimalNumberTest : public ::testing::TestWithParam<DecimalCase> {};

TEST_P(DecimalNumberTest, ParsesOrGivesNoValue) {
    EXPECT_EQ(ParseDecimalNumber(GetParam().text), GetParam().value)
        << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DecimalNumberTest,
    ::testing::Values(DecimalCase{"48.5", 48.5}, DecimalCase{"  -2.25", -2.25},
                      DecimalCase{"+1", 1.0}, DecimalCase{".5", 0.5}, DecimalCase{"5.", 5.0},
                      DecimalCase{"007", 7.0}, DecimalCase{"-0", -0.0},
                      DecimalCase{"", std::nullopt}, DecimalCase{"   ", std::nullopt},
                      DecimalCase{"abc", std::nullopt}, DecimalCase{"1e5", std::nullopt},
                      DecimalCase{"inf", std::nullopt}, DecimalCase{"nan", std::nullopt},
                      DecimalCase{"1,5", std::nullopt}, DecimalCase{"1.2.3", std::nullopt},
                      DecimalCase{"-", std::nullopt}, DecimalCase{".", std::nullopt},
                      DecimalCase{"2.5 ", std::nullopt}, DecimalCase{"--1", std::nullopt}));

}  // namespace
}  // namespace tavoro
