#pragma once

#include <QDate>
#include <QLocale>
#include <string>
#include <string_view>

namespace tavoro {

// The plan's date is written and read in the short date format of the user's locale (the
// program passes QLocale::system()), in the date box and on the wire alike.

// The date as the short format writes it.
std::string FormatPlanDate(const QDate& date, const QLocale& locale);

// The date a text means in the short format; a null date when it means none. The format's
// one- and two-digit forms of days and months are both taken, blanks around the text are
// ignored, and the year may be written with two or four digits whatever the format says.
// A two-digit year is the one of the hundred years around `today` (today's year - 50 to
// today's year + 49): read as the 1900s, the short format's own dates (6/15/25 in the
// United States, 15.06.25 in Germany) would all lie in the past.
QDate ReadPlanDate(std::string_view text, const QLocale& locale, const QDate& today);

// What the date box and the date of the filed-plan query make of a text.
enum class DateCheck {
    Accepted,  // today or later
    NotADate,  // "date non valide"
    Past,      // "date dépassée"
};

struct CheckedDate {
    DateCheck check = DateCheck::NotADate;
    QDate date;  // the date read, when Accepted
};

CheckedDate CheckPlanDate(std::string_view text, const QLocale& locale, const QDate& today);

inline constexpr std::string_view kInvalidDateMessage = "date non valide";
inline constexpr std::string_view kPastDateMessage = "date dépassée";

}  // namespace tavoro
