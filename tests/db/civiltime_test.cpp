#include "db/civiltime.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace varnel::civil {
namespace {

TEST(CivilTime, KnownDayNumbers)
{
    struct Case {
        int64_t year;
        unsigned month, day;
        int64_t days;
    };
    // Anchors from an independent calendar; the leap-day pairs catch a wrong century rule.
    const Case cases[] = {
        {1970, 1, 1, 0},         {1969, 12, 31, -1},    {2000, 2, 29, 11016}, {2000, 3, 1, 11017},
        {1900, 2, 28, -25509},   {1900, 3, 1, -25508},  {2024, 2, 29, 19782}, {1, 1, 1, -719162},
        {9999, 12, 31, 2932896}, {1600, 1, 1, -135140},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.year << '-' << c.month << '-' << c.day);
        EXPECT_EQ(daysFromCivil(c.year, c.month, c.day), c.days);
        const Ymd back = civilFromDays(c.days);
        EXPECT_EQ(back.year, c.year);
        EXPECT_EQ(back.month, c.month);
        EXPECT_EQ(back.day, c.day);
    }
}

// Consecutive day numbers must be consecutive calendar days, across century years that are
// leap years (1600, 2000, 2400) and those that are not (1700, 1800, 1900, 2100).
TEST(CivilTime, EveryDayFollowsTheCalendar)
{
    const int64_t first = daysFromCivil(1600, 1, 1);
    const int64_t last = daysFromCivil(2400, 12, 31);
    Ymd expected{1600, 1, 1};
    for (int64_t z = first; z <= last; ++z) {
        const Ymd got = civilFromDays(z);
        ASSERT_TRUE(got.year == expected.year && got.month == expected.month &&
                    got.day == expected.day)
            << "day " << z << " gave " << got.year << '-' << got.month << '-' << got.day;
        ASSERT_EQ(daysFromCivil(got.year, got.month, got.day), z);
        if (++expected.day > daysInMonth(expected.year, expected.month)) {
            expected.day = 1;
            if (++expected.month > 12) {
                expected.month = 1;
                ++expected.year;
            }
        }
    }
    EXPECT_EQ(daysInMonth(1900, 2), 28u);
    EXPECT_EQ(daysInMonth(2000, 2), 29u);
    EXPECT_EQ(daysInMonth(2024, 2), 29u);
    EXPECT_EQ(daysInMonth(2100, 2), 28u);
    EXPECT_EQ(daysInMonth(2025, 2), 28u);
}

TEST(CivilTime, DayAndSecondOfDayFloorBefore1970)
{
    struct Case {
        int64_t seconds, day, secondOfDay;
    };
    const Case cases[] = {
        {0, 0, 0},
        {1, 0, 1},
        {86399, 0, 86399},
        {86400, 1, 0},
        {-1, -1, 86399},
        {-86399, -1, 1},
        {-86400, -1, 0},
        {-86401, -2, 86399},
        {toSeconds(1900, 3, 1, 13, 45, 10), -25508, 13 * 3600 + 45 * 60 + 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(dayOf(c.seconds), c.day);
        EXPECT_EQ(secondOfDay(c.seconds), c.secondOfDay);
    }
}

TEST(CivilTime, ParseAcceptsStoredForms)
{
    struct Case {
        const char* text;
        int64_t seconds;
    };
    const Case cases[] = {
        {"2026-12-07 13:45:10", toSeconds(2026, 12, 7, 13, 45, 10)},
        {"2026-12-07", toSeconds(2026, 12, 7, 0, 0, 0)},
        {"2026-12-07T13:45:10", toSeconds(2026, 12, 7, 13, 45, 10)},
        {"2026-12-07 13:45:10.5", toSeconds(2026, 12, 7, 13, 45, 10)},
        {"2026-12-07 13:45:10.999999", toSeconds(2026, 12, 7, 13, 45, 10)},
        {"1969-12-31 23:59:59", -1},
        {"1900-02-28 00:00:00", toSeconds(1900, 2, 28, 0, 0, 0)},
        {"2000-02-29 23:59:59", toSeconds(2000, 2, 29, 23, 59, 59)},
        {"2024-02-29", toSeconds(2024, 2, 29, 0, 0, 0)},
        {"0001-01-01 00:00:00", toSeconds(1, 1, 1, 0, 0, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        int64_t seconds = 12345;
        ASSERT_TRUE(
            parseStoredDateTime(c.text, static_cast<int64_t>(std::strlen(c.text)), seconds));
        EXPECT_EQ(seconds, c.seconds);
    }
}

TEST(CivilTime, ParseRejectsMalformedTexts)
{
    const char* const cases[] = {
        "",
        "2026-12-0",
        "2026-12-7",
        "2026-13-01",
        "2026-00-10",
        "2026-12-32",
        "2026-12-00",
        "2026-04-31",
        "2025-02-29",
        "1900-02-29",
        "2026-12-07 24:00:00",
        "2026-12-07 23:60:00",
        "2026-12-07 23:59:60",
        "2026-12-07 ",
        "2026-12-07 13:45",
        "2026-12-07 13:45:1",
        "2026-12-07 13:45:1a",
        "2026-12-07 13:45:10x",
        "2026-12-07 13:45:10.",
        "2026-12-07 13:45:10.5x",
        "2026-12-07X13:45:10",
        "2026/12/07",
        "26-12-07",
        "+026-12-07",
        "abcd-ef-gh",
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        int64_t seconds = 0;
        EXPECT_FALSE(parseStoredDateTime(text, static_cast<int64_t>(std::strlen(text)), seconds));
    }
}

// SQLite hands over texts that need not end in a terminator: the length alone bounds the read.
TEST(CivilTime, ParseReadsOnlyTheGivenLength)
{
    const char text[] = "2026-12-07 99:99:99";
    int64_t seconds = 0;
    ASSERT_TRUE(parseStoredDateTime(text, 10, seconds));
    EXPECT_EQ(seconds, toSeconds(2026, 12, 7, 0, 0, 0));
    EXPECT_FALSE(parseStoredDateTime(text, 9, seconds));
    EXPECT_FALSE(parseStoredDateTime(text, 19, seconds));
}

TEST(CivilTime, FormatWritesStoredForm)
{
    struct Case {
        int64_t seconds;
        const char* text;
    };
    const Case cases[] = {
        {0, "1970-01-01 00:00:00"},
        {-1, "1969-12-31 23:59:59"},
        {-86400, "1969-12-31 00:00:00"},
        {toSeconds(1900, 3, 1, 7, 8, 9), "1900-03-01 07:08:09"},
        {toSeconds(2000, 2, 29, 12, 0, 5), "2000-02-29 12:00:05"},
        {toSeconds(2024, 2, 29, 23, 59, 59), "2024-02-29 23:59:59"},
        {toSeconds(1, 1, 1, 0, 0, 0), "0001-01-01 00:00:00"},
        {toSeconds(9999, 12, 31, 23, 59, 59), "9999-12-31 23:59:59"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        char out[19];
        formatStoredDateTime(c.seconds, out);
        EXPECT_EQ(std::string(out, 19), c.text);
        int64_t back = 0;
        ASSERT_TRUE(parseStoredDateTime(out, 19, back));
        EXPECT_EQ(back, c.seconds);
    }
}

} // namespace
} // namespace varnel::civil
