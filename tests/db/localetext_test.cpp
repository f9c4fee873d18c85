#include "db/civiltime.h"
#include "db/localetext.h"

#include <QLocale>

#include <gtest/gtest.h>

using namespace varnel;

// Date texts are written from the numbers where the formats allow it, bypassing QLocale: in
// every locale Qt knows, they must read exactly as QLocale writes them, digits, quoted text,
// two-digit years, hours without AM/PM and all.
TEST(LocaleText, DateTextsMatchQLocaleInEveryLocale)
{
    const struct {
        int y, mo, d, h, mi, s;
    } moments[] = {
        {2026, 12, 7, 13, 5, 9}, {2025, 1, 1, 0, 0, 0},      {1999, 9, 30, 9, 0, 59},
        {1000, 1, 1, 0, 0, 1},   {9999, 12, 31, 23, 59, 59}, {999, 6, 15, 12, 30, 0},
        {2000, 2, 29, 0, 0, 0},
    };
    const QList<QLocale> locales =
        QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    ASSERT_GT(locales.size(), 100);
    for (const QLocale& locale : locales) {
        const LocaleText text(locale);
        for (const auto& m : moments) {
            const QDate day(m.y, m.mo, m.d);
            const QTime time(m.h, m.mi, m.s);
            QString expected = locale.toString(day, text.shortDateFormat());
            if (time != QTime(0, 0))
                expected += u' ' + locale.toString(time, text.longTimeFormat());
            const int64_t seconds =
                civil::toSeconds(m.y, static_cast<unsigned>(m.mo), static_cast<unsigned>(m.d),
                                 static_cast<unsigned>(m.h), static_cast<unsigned>(m.mi),
                                 static_cast<unsigned>(m.s));
            ASSERT_EQ(text.dateTimeText(seconds), expected)
                << locale.name().toStdString() << " " << text.shortDateFormat().toStdString() << " "
                << text.longTimeFormat().toStdString();
            ASSERT_EQ(text.dateTimeText(day, time), expected) << locale.name().toStdString();
            ASSERT_EQ(text.dateText(day), locale.toString(day, text.shortDateFormat()))
                << locale.name().toStdString();
        }
    }
}
