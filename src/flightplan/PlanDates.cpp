#include "flightplan/PlanDates.h"

#include <QString>

namespace tavoro {
namespace {

// The short format with its days and months in their one-digit form, which also reads two
// digits ("d" takes 5 and 05), and its year written as `year`. Quoted text stays as it is.
QString readingFormat(const QString& format, const QString& year) {
    QString out;
    qsizetype i = 0;
    while (i < format.size()) {
        const QChar c = format[i];
        if (c == '\'') {
            qsizetype end = format.indexOf('\'', i + 1);
            end = end < 0 ? format.size() : end + 1;
            out += format.mid(i, end - i);
            i = end;
            continue;
        }
        qsizetype end = i;
        while (end < format.size() && format[end] == c) {
            ++end;
        }
        const qsizetype run = end - i;
        if ((c == 'd' || c == 'M') && run == 2) {
            out += c;
        } else if (c == 'y') {
            out += year;
        } else {
            out += format.mid(i, run);
        }
        i = end;
    }
    return out;
}

}  // namespace

std::string FormatPlanDate(const QDate& date, const QLocale& locale) {
    return locale.toString(date, QLocale::ShortFormat).toStdString();
}

QDate ReadPlanDate(std::string_view text, const QLocale& locale, const QDate& today) {
    const QString trimmed =
        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).trimmed();
    if (trimmed.isEmpty()) {
        return {};
    }
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    const QDate four_digits = locale.toDate(trimmed, readingFormat(format, "yyyy"));
    if (four_digits.isValid()) {
        return four_digits;
    }
    // Qt reads two digits as a year of the 1900s.
    const QDate two_digits = locale.toDate(trimmed, readingFormat(format, "yy"));
    if (!two_digits.isValid()) {
        return {};
    }
    const int low = today.year() - 50;
    const int low_century = low - ((low % 100) + 100) % 100;
    int year = low_century + (two_digits.year() - 1900);
    if (year < low) {
        year += 100;
    }
    return QDate(year, two_digits.month(), two_digits.day());
}

CheckedDate CheckPlanDate(std::string_view text, const QLocale& locale, const QDate& today) {
    const QDate date = ReadPlanDate(text, locale, today);
    if (!date.isValid()) {
        return {DateCheck::NotADate, {}};
    }
    if (date < today) {
        return {DateCheck::Past, {}};
    }
    return {DateCheck::Accepted, date};
}

}  // namespace tavoro
