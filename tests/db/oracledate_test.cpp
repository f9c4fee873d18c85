#include "base/civiltime.h"
#include "db/dberror.h"
#include "db/embedded/oracledate.h"

#include <gtest/gtest.h>

#include <string>

namespace varnel::embedded {
namespace {

// The date read with the format in the locale, as "YYYY-MM-DD", or the Oracle code it fails with.
std::string read(const char* format, QLocale::Language language, const char* text,
                 int currentYear = 2026)
{
    try {
        char out[19];
        civil::formatStoredDateTime(DateFormat(QString::fromUtf8(format), QLocale(language))
                                        .parse(QString::fromUtf8(text), currentYear),
                                    out);
        return std::string(out, 10);
    } catch (const DbError& error) {
        return error.message().left(9).toStdString();
    }
}

TEST(DateFormat, ReadsDatesLikeOracle)
{
    constexpr auto ru = QLocale::Russian, en = QLocale::English;
    const struct {
        const char* format;
        QLocale::Language language;
        const char* text;
        const char* expected;
    } cases[] = {
        {"dd.MM.yyyy", ru, "07.12.2026", "2026-12-07"},
        {"dd.MM.yyyy", ru, "7.1.2026", "2026-01-07"},
        {"dd.MM.yyyy", ru, "07/12/2026", "2026-12-07"},
        {"dd.MM.yyyy", ru, "07 12 2026", "2026-12-07"},
        {"dd.MM.yyyy", ru, "07122026", "2026-12-07"},
        {"dd.MM.yyyy", ru, "29.02.2024", "2024-02-29"},
        // YYYY takes the digits as they are, no century guessed.
        {"dd.MM.yyyy", ru, "07.12.26", "0026-12-07"},
        // YY reads as RR; four digits are taken as they are.
        {"M/d/yy", en, "12/7/26", "2026-12-07"},
        {"M/d/yy", en, "1/2/50", "1950-01-02"},
        {"M/d/yy", en, "1/2/00", "2000-01-02"},
        {"M/d/yy", en, "12/7/1926", "1926-12-07"},
        {"yyyy-MM-dd", en, "2026-12-07", "2026-12-07"},
        // Month names in any case, with or without the abbreviation's dot, in the genitive or
        // the nominative; the longest name wins ("марта" over "мар").
        {"d MMM yyyy", ru, "7 дек. 2026", "2026-12-07"},
        {"d MMM yyyy", ru, "7 ДЕК 2026", "2026-12-07"},
        {"d MMM yyyy", ru, "1 марта 2026", "2026-03-01"},
        {"d MMM yyyy", ru, "7 декабрь 2026", "2026-12-07"},
        {"d MMM yyyy", en, "07Dec2026", "2026-12-07"},
        {"d MMM yyyy", en, "1 June 2026", "2026-06-01"},
        {"d MMMM yyyy 'г.'", ru, "7 декабря 2026 г.", "2026-12-07"},
        // Failures carry Oracle's codes.
        {"dd.MM.yyyy", ru, "07.13.2026", "ORA-01843"},
        {"dd.MM.yyyy", ru, "07.00.2026", "ORA-01843"},
        {"d MMM yyyy", ru, "7 Dec 2026", "ORA-01843"},
        {"dd.MM.yyyy", ru, "31.04.2026", "ORA-01847"},
        {"dd.MM.yyyy", ru, "29.02.2025", "ORA-01847"},
        {"dd.MM.yyyy", ru, "00.12.2026", "ORA-01847"},
        {"dd.MM.yyyy", ru, "ab.12.2026", "ORA-01858"},
        {"dd.MM.yyyy", ru, "07x12.2026", "ORA-01861"},
        {"dd.MM.yyyy", ru, "07.12.2026 10:00", "ORA-01830"},
        {"dd.MM.yyyy", ru, "07.12.20261", "ORA-01830"},
        {"dd.MM.yyyy", ru, "07.12.", "ORA-01840"},
        {"d MMM yyyy", en, "7 ", "ORA-01840"},
        {"dd.MM.yyyy", ru, "07.12.0000", "ORA-01841"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(read(c.format, c.language, c.text), c.expected) << c.format << " / " << c.text;
}

// Oracle's RR: 00-49 in a year ending 00-49 stays in its century, 50-99 goes back one;
// 00-49 in a year ending 50-99 goes forward one, 50-99 stays.
TEST(DateFormat, RrYearFollowsOracle)
{
    const int cases[][3] = {{49, 2026, 2049}, {50, 2026, 1950}, {0, 2049, 2000}, {99, 2049, 1999},
                            {49, 2050, 2149}, {50, 2050, 2050}, {0, 2099, 2100}, {99, 2099, 2099}};
    for (const auto& c : cases)
        EXPECT_EQ(DateFormat::rrYear(c[0], c[1]), c[2]) << c[0] << " in " << c[1];
    // The current year reaches parse, not a fixed one.
    EXPECT_EQ(read("M/d/yy", QLocale::English, "1/2/10", 2060), "2110-01-02");
}

} // namespace
} // namespace varnel::embedded
