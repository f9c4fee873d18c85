#include "base/civiltime.h"
#include "base/localetext.h"
#include "base/qtformat.h"
#include "common/testsupport.h"
#include "db/embedded/oracledate.h"
#include "db/embedded/sqliteengine.h"
#include "db/odbc/oraclesession.h"

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
        }
    }
}

namespace {

// What QLocale writes with the statement date format, its native digits made 0-9.
QString withAsciiDigits(const QLocale& locale, const QString& text)
{
    const QList<uint> zero = locale.zeroDigit().toUcs4();
    QString out;
    for (const uint c : text.toUcs4()) {
        if (zero.size() == 1 && c >= zero[0] && c < zero[0] + 10)
            out += QChar(u'0' + (c - zero[0]));
        else
            out += QString::fromUcs4(reinterpret_cast<const char32_t*>(&c), 1);
    }
    return out;
}

} // namespace

// Every date text that goes into a statement names its day unambiguously: in every locale Qt
// knows, a day of 1900 to 2100 is written with a four-digit year and the digits 0-9, and the
// embedded engine's connection reads it back as that very day, by the same format. Oracle is
// told the same format: a four-digit year, never RR.
TEST(LocaleText, EveryLocaleWritesStatementDatesThatReadBackAsTheSameDay)
{
    const QDate days[] = {
        {1900, 1, 1}, {1900, 2, 28}, {1900, 12, 31}, {1949, 12, 8}, {1949, 12, 31}, {1950, 1, 1},
        {1975, 1, 1}, {2000, 2, 29}, {2024, 2, 29},  {2025, 4, 30}, {2026, 12, 8},  {2049, 12, 31},
        {2050, 1, 1}, {2075, 1, 1},  {2099, 11, 30}, {2100, 2, 28}, {2100, 12, 31},
    };
    test::TempFolder folder;
    QStringList rows;
    for (int i = 0; i < static_cast<int>(std::size(days)); ++i)
        rows << QStringLiteral("(%1, '%2 00:00:00')").arg(i).arg(days[i].toString(Qt::ISODate));
    const QString path = test::makeDatabase(
        folder, QStringLiteral("days.sqlite"),
        {"create table D(sid NUMBER, ddate DATE)", "insert into D values " + rows.join(',')});

    const QList<QLocale> locales =
        QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    ASSERT_GT(locales.size(), 600);
    int twoDigitLocales = 0, nativeDigitLocales = 0;
    for (const QLocale& locale : locales) {
        const LocaleText text(locale);
        const std::string name =
            locale.name().toStdString() + " " + text.statementDateFormat().toStdString();
        twoDigitLocales += !text.shortDateFormat().contains(QLatin1String("yyyy"));
        nativeDigitLocales += locale.zeroDigit() != QLatin1String("0");
        ASSERT_TRUE(text.statementDateFormat().contains(QLatin1String("yyyy"))) << name;
        const QString oracle = odbc::oracleDateFormat(text.statementDateFormat());
        ASSERT_TRUE(oracle.contains(QLatin1String("YYYY")) && !oracle.contains(QLatin1String("RR")))
            << name << " " << oracle.toStdString();

        const embedded::DateFormat reader(text.statementDateFormat(), locale);
        embedded::SqliteEngine engine(path, text.statementDateFormat(), locale);
        for (int i = 0; i < static_cast<int>(std::size(days)); ++i) {
            const QDate day = days[i];
            const QString written = text.dateText(day);
            ASSERT_EQ(written,
                      withAsciiDigits(locale, locale.toString(day, text.statementDateFormat())))
                << name;
            // No other digits, and no invisible marks of writing direction to reorder the
            // date in a Russian question.
            for (const QChar c : written)
                ASSERT_FALSE((c.isDigit() && c.unicode() >= 128) ||
                             c.category() == QChar::Other_Format)
                    << name << " " << written.toStdString();
            const civil::Ymd read = civil::civilFromDays(
                civil::dayOf(reader.parse(written, QDate::currentDate().year())));
            ASSERT_EQ(QDate(static_cast<int>(read.year), static_cast<int>(read.month),
                            static_cast<int>(read.day)),
                      day)
                << name << " " << written.toStdString();
            const RowSet found =
                engine.query(QStringLiteral("select sid from D where ddate = '%1'").arg(written));
            ASSERT_EQ(found.rowCount(), 1U) << name << " " << written.toStdString();
            ASSERT_EQ(found.displayText(0, 0, text), QString::number(i)) << name;
        }
    }
    // The locales that wrote two-digit years and other digits were among them.
    EXPECT_GT(twoDigitLocales, 150);
    EXPECT_GT(nativeDigitLocales, 50);
}

// One reading of a Qt format serves the writer, the embedded engine's reader and the Oracle
// session: quoted text, an apostrophe, letters Qt writes as they stand and runs that Qt cuts.
TEST(QtFormat, TokensAreWhatQLocaleWritesAndEveryReaderReadsThemAlike)
{
    const QDate day(2026, 3, 9);
    const struct {
        const char* format;
        const char* oracle;
    } cases[] = {
        {"dd.MM.yyyy", "DD.MM.YYYY"},
        {"M/d/yy", "MM/DD/RR"},
        {"d.MM.yy 'г'.", "DD.MM.RR \"г\"."},
        {"dd''MM 'it''s' yyyy", "DD\"'\"MM \"it's\" YYYY"},
        {"'d'dd'M'MM yyyy", "\"d\"DD\"M\"MM YYYY"},
        {"yyy-MM-dd", "RR\"y\"-MM-DD"},
        {"yyyyy.M.d", "YYYY\"y\".MM.DD"},
        {"y-M-d", "\"y\"-MM-DD"},
        {"dd.MM.yyyy hh", "DD.MM.YYYY \"hh\""},
        {"dd.MM.yyyy 'unclosed", "DD.MM.YYYY \"unclosed\""},
    };
    const QLocale c = QLocale::c();
    for (const auto& t : cases) {
        const QString format = QString::fromUtf8(t.format);
        const FormatTokens tokens = tokenizeFormat(format);
        EXPECT_EQ(tokenizeFormat(formatText(tokens)), tokens) << t.format;
        EXPECT_EQ(c.toString(day, formatText(tokens)), c.toString(day, format)) << t.format;
        EXPECT_EQ(odbc::oracleDateFormat(format), QString::fromUtf8(t.oracle)) << t.format;
        // What Qt writes with the format reads back with it, apostrophes and letters included.
        const QString written = c.toString(day, format);
        const QString error = test::errorOf([&] {
            const civil::Ymd read = civil::civilFromDays(
                civil::dayOf(embedded::DateFormat(format, c).parse(written, 2026)));
            EXPECT_EQ(read.day, 9U) << t.format;
            EXPECT_EQ(read.month, 3U) << t.format;
        });
        EXPECT_EQ(error, QLatin1String("<no error>")) << t.format << " " << written.toStdString();
    }
}
