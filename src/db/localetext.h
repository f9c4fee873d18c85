#pragma once

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstdint>

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
    // Qt notation, e.g. "dd.MM.yyyy"; the date format of the embedded engine's connection.
    const QString& shortDateFormat() const { return m_shortDate; }
    // Qt's long time format without its time-zone token, e.g. "HH:mm:ss".
    const QString& longTimeFormat() const { return m_longTime; }

    // A day in the short date format: the date text that statements put between quotes.
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
    QLocale m_locale;
    QString m_shortDate;
    QString m_longTime;
};

} // namespace varnel
