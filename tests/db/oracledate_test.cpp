#include "db/civiltime.h"
#include "db/dberror.h"
#include "db/embedded/oracledate.h"

#include <gtest/gtest.h>

namespace varnel::embedded {
namespace {

constexpr int kCurrentYear = 2026;

const QLocale& russian()
{
    static const QLocale locale(QLocale::Russian, QLocale::Russia);
    return locale;
}

const QLocale& english()
{
    static const QLocale locale(QLocale::English, QLocale::UnitedStates);
    return locale;
}

const QLocale& german()
{
    static const QLocale locale(QLocale::German, QLocale::Germany);
    return locale;
}

TEST(DateFormat, ReadsDatesLikeOracle)
{
    struct Case {
        const char* format;
        const QLocale& locale;
        const char* text;
        int year;
        unsigned month, day;
    };
    const Case cases[] = {
        {"dd.MM.yyyy", russian(), "07.12.2026", 2026, 12, 7},
        {"dd.MM.yyyy", russian(), "7.12.2026", 2026, 12, 7},
        {"dd.MM.yyyy", russian(), "7.1.2026", 2026, 1, 7},
        {"dd.MM.yyyy", russian(), "07/12/2026", 2026, 12, 7},
        {"dd.MM.yyyy", russian(), "07-12-2026", 2026, 12, 7},
        {"dd.MM.yyyy", russian(), "07 12 2026", 2026, 12, 7},
        {"dd.MM.yyyy", russian(), "07122026", 2026, 12, 7},
        {"dd.MM.yyyy", russian(), "29.02.2024", 2024, 2, 29},
        {"dd.MM.yyyy", russian(), "29.02.2000", 2000, 2, 29},
        {"dd.MM.yyyy", russian(), "28.02.1900", 1900, 2, 28},
        // YYYY takes the digits as they are, no century guessed.
        {"dd.MM.yyyy", russian(), "07.12.26", 26, 12, 7},
        {"M/d/yy", english(), "12/7/26", 2026, 12, 7},
        {"M/d/yy", english(), "12/07/26", 2026, 12, 7},
        {"M/d/yy", english(), "1/2/49", 2049, 1, 2},
        {"M/d/yy", english(), "1/2/50", 1950, 1, 2},
        {"M/d/yy", english(), "1/2/99", 1999, 1, 2},
        {"M/d/yy", english(), "1/2/00", 2000, 1, 2},
        {"M/d/yy", english(), "2/29/00", 2000, 2, 29},
        {"M/d/yy", english(), "12/7/2026", 2026, 12, 7},
        {"M/d/yy", english(), "12/7/1926", 1926, 12, 7},
        {"dd.MM.yy", german(), "07.12.26", 2026, 12, 7},
        {"dd.MM.yy", german(), "07.12.75", 1975, 12, 7},
        {"dd.MM.yy", german(), "07.12.2075", 2075, 12, 7},
        {"dd/MM/yyyy", english(), "07/12/2026", 2026, 12, 7},
        {"dd/MM/yyyy", english(), "07.12.2026", 2026, 12, 7},
        {"yyyy-MM-dd", english(), "2026-12-07", 2026, 12, 7},
        {"d MMM yyyy", russian(), "7 дек. 2026", 2026, 12, 7},
        {"d MMM yyyy", russian(), "7 дек 2026", 2026, 12, 7},
        {"d MMM yyyy", russian(), "7 ДЕК 2026", 2026, 12, 7},
        {"d MMM yyyy", russian(), "7 декабря 2026", 2026, 12, 7},
        {"d MMM yyyy", russian(), "7 декабрь 2026", 2026, 12, 7},
        {"d MMM yyyy", russian(), "1 мая 2026", 2026, 5, 1},
        {"d MMM yyyy", russian(), "1 май 2026", 2026, 5, 1},
        {"d MMM yyyy", russian(), "1 марта 2026", 2026, 3, 1},
        {"d MMM yyyy", russian(), "1 июл 2026", 2026, 7, 1},
        {"d MMM yyyy", english(), "7 Dec 2026", 2026, 12, 7},
        {"d MMM yyyy", english(), "7 dec 2026", 2026, 12, 7},
        {"d MMM yyyy", english(), "7 DECEMBER 2026", 2026, 12, 7},
        {"d MMM yyyy", english(), "7-Dec-2026", 2026, 12, 7},
        {"d MMM yyyy", english(), "07Dec2026", 2026, 12, 7},
        {"d MMM yyyy", english(), "1 June 2026", 2026, 6, 1},
        {"d MMM yyyy", english(), "1 Jul 2026", 2026, 7, 1},
        {"d MMM yyyy", english(), "1 May 2026", 2026, 5, 1},
        {"d MMMM yyyy 'г.'", russian(), "7 декабря 2026 г.", 2026, 12, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.format << " / " << c.locale.name().toStdString() << " / " << c.text);
        const DateFormat format(QString::fromUtf8(c.format), c.locale);
        try {
            EXPECT_EQ(format.parse(QString::fromUtf8(c.text), kCurrentYear),
                      civil::toSeconds(c.year, c.month, c.day, 0, 0, 0));
        } catch (const DbError& error) {
            ADD_FAILURE() << error.what();
        }
    }
}

// Oracle's RR: 00-49 in a year ending 00-49 stays in its century, 50-99 goes back one;
// 00-49 in a year ending 50-99 goes forward one, 50-99 stays.
TEST(DateFormat, RrYearFollowsOracle)
{
    struct Case {
        int twoDigits, currentYear, year;
    };
    const Case cases[] = {
        {49, 2026, 2049}, {50, 2026, 1950}, {99, 2026, 1999}, {0, 2026, 2000},  {26, 2026, 2026},
        {10, 2060, 2110}, {49, 2060, 2149}, {50, 2060, 2050}, {99, 2060, 2099}, {0, 2049, 2000},
        {99, 2049, 1999}, {49, 2050, 2149}, {50, 2050, 2050}, {0, 2099, 2100},  {50, 2000, 1950},
        {0, 2000, 2000},  {49, 1999, 2049}, {99, 1999, 1999},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.twoDigits << " in " << c.currentYear);
        EXPECT_EQ(DateFormat::rrYear(c.twoDigits, c.currentYear), c.year);
    }
    // The current year reaches parse, not a fixed one.
    const DateFormat us(QStringLiteral("M/d/yy"), english());
    EXPECT_EQ(us.parse(u"1/2/10", 2060), civil::toSeconds(2110, 1, 2, 0, 0, 0));
}

TEST(DateFormat, FailuresCarryOracleCodes)
{
    struct Case {
        const char* format;
        const QLocale& locale;
        const char* text;
        const char* code;
    };
    const Case cases[] = {
        {"dd.MM.yyyy", russian(), "07.13.2026", "ORA-01843"},
        {"dd.MM.yyyy", russian(), "07.00.2026", "ORA-01843"},
        {"M/d/yy", english(), "13/7/26", "ORA-01843"},
        {"d MMM yyyy", english(), "7 Foo 2026", "ORA-01843"},
        {"d MMM yyyy", russian(), "7 Dec 2026", "ORA-01843"},
        {"dd.MM.yyyy", russian(), "31.02.2026", "ORA-01847"},
        {"dd.MM.yyyy", russian(), "29.02.2025", "ORA-01847"},
        {"dd.MM.yyyy", russian(), "29.02.1900", "ORA-01847"},
        {"dd.MM.yyyy", russian(), "31.04.2026", "ORA-01847"},
        {"dd.MM.yyyy", russian(), "00.12.2026", "ORA-01847"},
        {"dd.MM.yyyy", russian(), "32.12.2026", "ORA-01847"},
        {"M/d/yy", english(), "2/29/25", "ORA-01847"},
        {"dd.MM.yyyy", russian(), "ab.12.2026", "ORA-01858"},
        {"dd.MM.yyyy", russian(), "07.12.abcd", "ORA-01858"},
        {"dd.MM.yyyy", russian(), "07x12.2026", "ORA-01861"},
        {"dd.MM.yyyy", russian(), "07.12x2026", "ORA-01861"},
        {"dd.MM.yyyy", russian(), "07.12.2026 10:00", "ORA-01830"},
        {"dd.MM.yyyy", russian(), "07.12.20261", "ORA-01830"},
        {"dd.MM.yyyy", russian(), "07.12.2026x", "ORA-01830"},
        {"dd.MM.yyyy", russian(), "07.12.", "ORA-01840"},
        {"dd.MM.yyyy", russian(), "07", "ORA-01840"},
        {"d MMM yyyy", english(), "7 ", "ORA-01840"},
        {"dd.MM.yyyy", russian(), "07.12.0000", "ORA-01841"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.format << " / " << c.text);
        const DateFormat format(QString::fromUtf8(c.format), c.locale);
        try {
            const int64_t seconds = format.parse(QString::fromUtf8(c.text), kCurrentYear);
            ADD_FAILURE() << "read as " << seconds;
        } catch (const DbError& error) {
            EXPECT_TRUE(error.message().startsWith(QLatin1String(c.code))) << error.what();
        }
    }
}

} // namespace
} // namespace varnel::embedded
