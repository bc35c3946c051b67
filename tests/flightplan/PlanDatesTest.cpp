#include <gtest/gtest.h>

#include <QDate>
#include <QLocale>
#include <string>

#include "flightplan/PlanDates.h"

namespace tavoro {
namespace {

const QDate kToday(2026, 3, 14);

struct ReadCase {
    const char* name;
    const char* locale;
    const char* text;
    QDate expected;  // null: no date
};

void PrintTo(const ReadCase& c, std::ostream* out) {
    *out << c.name;
}

class ReadPlanDateTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadPlanDateTest, ReadsTheShortFormat) {
    const ReadCase& c = GetParam();
    EXPECT_EQ(ReadPlanDate(c.text, QLocale(c.locale), kToday), c.expected)
        << ReadPlanDate(c.text, QLocale(c.locale), kToday).toString(Qt::ISODate).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReadPlanDateTest,
    ::testing::Values(ReadCase{"french", "fr_FR", "15/06/2026", QDate(2026, 6, 15)},
                      // Days and months in one digit, blanks around, a two-digit year: all taken.
                      ReadCase{"french_short_forms", "fr_FR", " 5/6/26 ", QDate(2026, 6, 5)},
                      // The month comes first in the United States.
                      ReadCase{"american", "en_US", "6/15/26", QDate(2026, 6, 15)},
                      ReadCase{"american_four_digits", "en_US", "06/15/2026", QDate(2026, 6, 15)},
                      ReadCase{"german", "de_DE", "15.06.26", QDate(2026, 6, 15)},
                      ReadCase{"korean_year_first", "ko_KR", "26. 6. 15.", QDate(2026, 6, 15)},
                      ReadCase{"month_names", "C", "15 Jun 2026", QDate(2026, 6, 15)},
                      // Two-digit years lie within fifty years of today's.
                      ReadCase{"two_digits_far_ahead", "de_DE", "01.01.75", QDate(2075, 1, 1)},
                      ReadCase{"two_digits_far_back", "de_DE", "01.01.76", QDate(1976, 1, 1)},
                      ReadCase{"leap_day", "de_DE", "29.02.28", QDate(2028, 2, 29)},
                      ReadCase{"no_such_day", "fr_FR", "31/02/2026", QDate()},
                      ReadCase{"other_order", "fr_FR", "2026-06-15", QDate()},
                      ReadCase{"letters", "fr_FR", "demain", QDate()},
                      ReadCase{"empty", "fr_FR", "", QDate()},
                      ReadCase{"blanks", "fr_FR", "   ", QDate()}),
    [](const auto& info) { return std::string(info.param.name); });

// What the program writes, it reads back: the box shows today and the server sends back the
// dates the client filed. In formats with two-digit years a naive reading gives 1926.
TEST(PlanDatesTest, EveryFormatReadsBackWhatItWrites) {
    for (const char* name : {"fr_FR", "en_US", "de_DE", "en_GB", "ja_JP", "ko_KR", "nl_NL", "C"}) {
        SCOPED_TRACE(name);
        const QLocale locale(name);
        for (const QDate& date : {kToday, QDate(2026, 12, 31), QDate(2027, 1, 2)}) {
            const std::string text = FormatPlanDate(date, locale);
            EXPECT_EQ(text, locale.toString(date, QLocale::ShortFormat).toStdString());
            EXPECT_EQ(ReadPlanDate(text, locale, kToday), date) << text;
        }
    }
}

TEST(PlanDatesTest, ChecksTodayAndLaterOnly) {
    const QLocale french("fr_FR");
    struct {
        const char* text;
        DateCheck check;
        QDate date;
    } const cases[] = {
        {"14/03/2026", DateCheck::Accepted, kToday},
        {"15/03/2026", DateCheck::Accepted, QDate(2026, 3, 15)},
        {"13/03/2026", DateCheck::Past, QDate()},
        {"", DateCheck::NotADate, QDate()},
        {"14/13/2026", DateCheck::NotADate, QDate()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const CheckedDate checked = CheckPlanDate(c.text, french, kToday);
        EXPECT_EQ(checked.check, c.check);
        EXPECT_EQ(checked.date, c.date);
    }
}

}  // namespace
}  // namespace tavoro
