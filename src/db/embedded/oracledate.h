#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <vector>

namespace varnel::embedded {

// Reads a date text the way Oracle converts a quoted text to a DATE with the session's
// NLS_DATE_FORMAT. The picture is given in Qt's notation (the statement date format of
// LocaleText), tokenized as Qt writes with it (qtformat.h), and read as its Oracle
// counterpart: d/dd → DD, M/MM → MM, MMM → MON, MMMM → MONTH, yyyy → YYYY, yy → RR,
// ddd/dddd → DY/DAY. Like Oracle, numbers may have fewer digits than the picture, punctuation
// matches any punctuation and may be left out, and other literal text must stand as written.
// A two-digit year follows the RR rule: the century that puts the year nearest to the
// current one.
// Failures raise DbError with Oracle's code and text.
class DateFormat {
public:
    DateFormat(const QString& qtFormat, const QLocale& locale);

    // Seconds (civiltime.h) of the day at 00:00:00.
    int64_t parse(QStringView text, int currentYear) const;

    static int rrYear(int twoDigits, int currentYear);

private:
    enum class Kind { Day, Month, MonthName, Year4, YearRR, WeekdayName, Separator, Literal };
    struct Element {
        Kind kind;
        QString literal;
    };

    std::vector<Element> m_elements;
    QLocale m_locale;
};

} // namespace varnel::embedded
