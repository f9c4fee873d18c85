#include "base/civiltime.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

namespace varnel::civil {
namespace {

// The walk proves round trips and every leap rule in 1600..2400 (1600, 2000 and 2400 are leap
// years, 1700, 1800, 1900 and 2100 are not); the anchors fix the epoch and the era arithmetic.
TEST(CivilTime, EveryDayFollowsTheCalendar)
{
    EXPECT_EQ(daysFromCivil(1970, 1, 1), 0);
    EXPECT_EQ(daysFromCivil(1, 1, 1), -719162);
    Ymd expected{1600, 1, 1};
    for (int64_t z = daysFromCivil(1600, 1, 1); z <= daysFromCivil(2400, 12, 31); ++z) {
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
}

TEST(CivilTime, DayAndSecondOfDayFloorBefore1970)
{
    const int64_t cases[][3] = {{0, 0, 0},       {86399, 0, 86399}, {86400, 1, 0},
                                {-1, -1, 86399}, {-86400, -1, 0},   {-86401, -2, 86399}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        EXPECT_EQ(dayOf(c[0]), c[1]);
        EXPECT_EQ(secondOfDay(c[0]), c[2]);
    }
}

// A text in the stored form is read, and written back the same; anything else is refused.
TEST(CivilTime, ParseAndFormatTheStoredForm)
{
    const struct {
        const char* text;
        int64_t seconds;
    } accepted[] = {
        {"1969-12-31 23:59:59", -1},
        {"0001-01-01 07:08:09", toSeconds(1, 1, 1, 7, 8, 9)},
        {"9999-12-31 23:59:59", toSeconds(9999, 12, 31, 23, 59, 59)},
        {"2000-02-29", toSeconds(2000, 2, 29, 0, 0, 0)},
        {"2026-12-07T13:45:10.999", toSeconds(2026, 12, 7, 13, 45, 10)},
    };
    for (const auto& c : accepted) {
        SCOPED_TRACE(c.text);
        int64_t seconds = 0;
        ASSERT_TRUE(
            parseStoredDateTime(c.text, static_cast<int64_t>(std::strlen(c.text)), seconds));
        EXPECT_EQ(seconds, c.seconds);
        char out[19];
        formatStoredDateTime(seconds, out);
        if (std::strlen(c.text) == 19) {
            EXPECT_EQ(std::string(out, 19), c.text);
        }
    }
    const char* const rejected[] = {
        "2026/12/07 13:45:10",   "+026-12-07 13:45:10",  "2026-13-01 13:45:10",
        "2026-00-10 13:45:10",   "2026-12-00 13:45:10",  "2026-04-31 13:45:10",
        "1900-02-29 13:45:10",   "2026-12-07 24:00:00",  "2026-12-07 23:60:00",
        "2026-12-07 23:59:60",   "2026-12-07 13:45",     "2026-12-07X13:45:10",
        "2026-12-07 13:45:1a",   "2026-12-07 13:45:10x", "2026-12-07 13:45:10.",
        "2026-12-07 13:45:10.5x"};
    for (const char* text : rejected) {
        int64_t seconds = 0;
        EXPECT_FALSE(parseStoredDateTime(text, static_cast<int64_t>(std::strlen(text)), seconds))
            << text;
    }
    // SQLite hands over texts that need not end in a terminator: the length alone bounds the read.
    const char unterminated[] = "2026-12-07 99:99:99";
    int64_t seconds = 0;
    ASSERT_TRUE(parseStoredDateTime(unterminated, 10, seconds));
    EXPECT_EQ(seconds, toSeconds(2026, 12, 7, 0, 0, 0));
    EXPECT_FALSE(parseStoredDateTime(unterminated, 9, seconds));
}

// A TIMESTAMP's fraction, however many digits its writer gave it, is one value to the
// nanosecond with one stored text: digits beyond the ninth are cut off, never carried into the
// next second, and a fraction of zero is written as the whole second it is.
TEST(CivilTime, FractionsAreReadToTheNanosecondAndWrittenInOneForm)
{
    const int64_t second = toSeconds(2025, 3, 5, 10, 11, 12);
    const struct {
        const char* text;
        uint32_t nanoseconds;
        const char* written;
    } cases[] = {
        {"2025-03-05 10:11:12", 0, "2025-03-05 10:11:12"},
        {"2025-03-05 10:11:12.000000", 0, "2025-03-05 10:11:12"},
        {"2025-03-05 10:11:12.5", 500000000, "2025-03-05 10:11:12.500000000"},
        {"2025-03-05T10:11:12.123456", 123456000, "2025-03-05 10:11:12.123456000"},
        {"2025-03-05 10:11:12.000000001", 1, "2025-03-05 10:11:12.000000001"},
        {"2025-03-05 10:11:12.9999999999", 999999999, "2025-03-05 10:11:12.999999999"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        int64_t seconds = 0;
        uint32_t nanoseconds = 77;
        ASSERT_TRUE(parseStoredDateTime(c.text, static_cast<int64_t>(std::strlen(c.text)), seconds,
                                        nanoseconds));
        EXPECT_EQ(seconds, second);
        EXPECT_EQ(nanoseconds, c.nanoseconds);
        char out[kStoredDateTimeLength];
        const int length = formatStoredDateTime(seconds, nanoseconds, out);
        EXPECT_EQ(std::string(out, size_t(length)), c.written);
        int64_t again = 0;
        uint32_t fraction = 0;
        ASSERT_TRUE(parseStoredDateTime(out, length, again, fraction));
        EXPECT_EQ(std::pair(again, fraction), std::pair(seconds, nanoseconds));
    }
}

} // namespace
} // namespace varnel::civil
