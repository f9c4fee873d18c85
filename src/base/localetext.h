#pragma once

#include "base/qtformat.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace varnel {

// The one place that reads the user's regional settings (QLocale()). Everything the program
// writes with them — the date text of statements, time stamps, the display text of a DATE,
// upper-cased names in messages — goes through here, so a test that sets a default locale
// pins all of them at once. A value is a snapshot: take it once per operation, not per cell.
class LocaleText {
public:
    static LocaleText current();
    explicit LocaleText(const QLocale& locale);

    const QLocale& locale() const { return m_locale; }
    // The user's short date format in Qt's notation, e.g. "dd.MM.yyyy" or "M/d/yy": what the
    // user reads (the grid's dates, the export's time stamps).
    const QString& shortDateFormat() const { return m_shortDate; }
    // The short date format with the year widened to four digits ("M/d/yy" → "M/d/yyyy") and
    // without marks of writing direction:
    // the format of the date texts in statements and of the connection that reads them (the
    // embedded engine's format, Oracle's NLS_DATE_FORMAT). A two-digit year would be read by
    // the RR rule, 1950 to 2049, while a picker holds any year.
    const QString& statementDateFormat() const { return m_statementDate; }
    // Qt's long time format without its time-zone token, e.g. "HH:mm:ss".
    const QString& longTimeFormat() const { return m_longTime; }

    // A day as the date text that statements put between quotes, and that the questions and
    // the export's preset name show: the statement date format written with the digits 0-9,
    // whatever digits the locale writes, since the database reads no others.
    QString dateText(QDate day) const;
    // The date, then, unless the time is exactly midnight, a blank and the long time.
    QString dateTimeText(QDate day, QTime time) const;
    // The same for a naive date-time in seconds from 1970-01-01 00:00:00 (see civiltime.h).
    QString dateTimeText(int64_t seconds) const;
    // Now, as a time stamp of the export and similar lines.
    QString timeStamp(const QDateTime& now) const;
    // Upper-casing for names shown in messages (Cyrillic included).
    QString upper(const QString& text) const { return m_locale.toUpper(text); }

    // Removes the time-zone token ('t', 'tt', ...) and the blanks before it from a Qt time
    // format; quoted literal text is kept.
    static QString withoutTimeZone(const QString& format);

private:
    // A format of numeric fields and literal text only (dd.MM.yyyy, HH:mm:ss, M/d/yy), written
    // straight from the numbers: QLocale parses its format on every call, which a million DATE
    // texts of an export cannot afford. Any other format (names of days or months, AM/PM,
    // digits other than 0-9) compiles to nothing and is left to QLocale.
    struct Piece {
        int8_t field;  // index into Fields, or -1 for a literal
        uint8_t width; // digits at least; a year of width 2 is its last two digits
        QString literal;
    };
    using Pieces = std::vector<Piece>;
    // Year, month, day, hour, minute, second.
    using Fields = std::array<int, 6>;

    // `fields` lists the letters the format may use: a date format's time letters, and a time
    // format's date letters, are QLocale's literal text.
    static Pieces compile(const FormatTokens& format, const QLocale& locale, QStringView fields);
    // The formats needed compiled, and a year of four digits, which both ways write alike.
    bool fast(int64_t year, bool withTime) const;
    QString fastText(const Fields& fields, bool withTime) const;
    static qsizetype longest(const Pieces& pieces);

    QLocale m_locale;
    QString m_shortDate;
    FormatTokens m_statementTokens;
    QString m_statementDate;
    QString m_longTime;
    Pieces m_dateFast;
    Pieces m_timeFast;
    qsizetype m_fastLongest; // characters of the longest text the two formats give
};

} // namespace varnel
