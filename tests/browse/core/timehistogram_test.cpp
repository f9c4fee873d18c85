#include "base/civiltime.h"
#include "base/localetext.h"
#include "browse/core/timehistogram.h"
#include "common/testsupport.h"
#include "db/rowset.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

using namespace varnel;

namespace {

const LocaleText kRussian(QLocale(QLocale::Russian, QLocale::Russia));
const LocaleText kEnglish(QLocale(QLocale::English, QLocale::UnitedStates));

int64_t at(const char* stored)
{
    int64_t seconds = 0;
    EXPECT_TRUE(civil::parseStoredDateTime(stored, int64_t(std::strlen(stored)), seconds))
        << stored;
    return seconds;
}

std::string stored(int64_t seconds)
{
    char text[19];
    civil::formatStoredDateTime(seconds, text);
    return std::string(text, sizeof text);
}

// A snapshot of one DATE column, the way an opened statement holds it; nullopt is NULL.
RowSet dates(const std::vector<std::optional<int64_t>>& values)
{
    RowSet::Builder builder;
    builder.addColumn(QStringLiteral("SID"), ColumnType::Number);
    const int col = builder.addColumn(QStringLiteral("DDATE"), ColumnType::Date);
    for (const std::optional<int64_t>& value : values) {
        builder.addInteger(0, 1);
        if (value)
            builder.addDate(col, *value);
        else
            builder.addNull(col);
        builder.endRow();
    }
    return builder.finish();
}

std::vector<std::optional<int64_t>> moments(std::initializer_list<const char*> texts)
{
    std::vector<std::optional<int64_t>> values;
    for (const char* text : texts)
        values.push_back(text ? std::optional(at(text)) : std::nullopt);
    return values;
}

const char* unitName(TimeUnit unit)
{
    const char* const names[] = {"hour", "day", "week", "month", "quarter", "year"};
    return names[int(unit)];
}

} // namespace

// Each moment lies in its bucket, from its first second up to the next bucket's first: weeks
// start on Monday, and a moment before 1970 falls into the bucket before, not after, zero.
TEST(TimeHistogramRule, EveryMomentLiesInTheBucketThatStartsBeforeIt)
{
    const struct {
        TimeUnit unit;
        const char* moment;
        const char* start;
        const char* next;
    } cases[] = {
        {TimeUnit::Hour, "2025-03-05 14:59:59", "2025-03-05 14:00:00", "2025-03-05 15:00:00"},
        {TimeUnit::Hour, "1969-12-31 23:30:00", "1969-12-31 23:00:00", "1970-01-01 00:00:00"},
        {TimeUnit::Day, "1969-12-31 23:59:59", "1969-12-31 00:00:00", "1970-01-01 00:00:00"},
        {TimeUnit::Day, "2024-02-29 00:00:00", "2024-02-29 00:00:00", "2024-03-01 00:00:00"},
        {TimeUnit::Week, "2025-03-02 23:59:59", "2025-02-24 00:00:00", "2025-03-03 00:00:00"},
        {TimeUnit::Week, "2025-03-03 00:00:00", "2025-03-03 00:00:00", "2025-03-10 00:00:00"},
        {TimeUnit::Week, "1970-01-01 12:00:00", "1969-12-29 00:00:00", "1970-01-05 00:00:00"},
        {TimeUnit::Week, "1969-12-28 00:00:00", "1969-12-22 00:00:00", "1969-12-29 00:00:00"},
        {TimeUnit::Month, "2024-02-29 12:00:00", "2024-02-01 00:00:00", "2024-03-01 00:00:00"},
        {TimeUnit::Month, "1969-12-15 00:00:00", "1969-12-01 00:00:00", "1970-01-01 00:00:00"},
        {TimeUnit::Month, "1969-01-15 00:00:00", "1969-01-01 00:00:00", "1969-02-01 00:00:00"},
        {TimeUnit::Quarter, "2025-06-30 23:59:59", "2025-04-01 00:00:00", "2025-07-01 00:00:00"},
        {TimeUnit::Quarter, "1969-11-05 00:00:00", "1969-10-01 00:00:00", "1970-01-01 00:00:00"},
        {TimeUnit::Quarter, "1969-02-05 00:00:00", "1969-01-01 00:00:00", "1969-04-01 00:00:00"},
        {TimeUnit::Year, "2025-12-31 23:59:59", "2025-01-01 00:00:00", "2026-01-01 00:00:00"},
        {TimeUnit::Year, "1969-06-01 00:00:00", "1969-01-01 00:00:00", "1970-01-01 00:00:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(unitName(c.unit)) + " " + c.moment);
        const int64_t bucket = bucketOf(c.unit, at(c.moment));
        EXPECT_EQ(stored(bucketStart(c.unit, bucket)), c.start);
        EXPECT_EQ(stored(bucketStart(c.unit, bucket + 1)), c.next);
        EXPECT_EQ(bucketOf(c.unit, at(c.next)), bucket + 1);
        EXPECT_EQ(bucketOf(c.unit, at(c.start) - 1), bucket - 1);
    }
}

// The smallest unit that shows the span in 60 bars at most, each border on both sides; a
// year, however many bars, past fifteen years. The days the bars give the date boxes run from
// the first bar's first day to the last bar's last, an hour's day included.
TEST(TimeHistogramRule, TheUnitIsTheSmallestThatShowsTheSpanInSixtyBars)
{
    const struct {
        const char* first;
        const char* last;
        TimeUnit unit;
        int bars;
        const char* firstStart;
        const char* lastDay;
    } cases[] = {
        {"2025-03-05 14:20:00", "2025-03-05 14:20:00", TimeUnit::Hour, 1, "2025-03-05 14:00:00",
         "2025-03-05"},
        {"2025-03-05 23:10:00", "2025-03-06 01:00:00", TimeUnit::Hour, 3, "2025-03-05 23:00:00",
         "2025-03-06"},
        {"2025-03-05 00:00:00", "2025-03-07 11:59:59", TimeUnit::Hour, 60, "2025-03-05 00:00:00",
         "2025-03-07"},
        {"2025-03-05 00:00:00", "2025-03-07 12:00:00", TimeUnit::Day, 3, "2025-03-05 00:00:00",
         "2025-03-07"},
        {"2025-03-04 23:59:59", "2025-03-07 11:00:00", TimeUnit::Day, 4, "2025-03-04 00:00:00",
         "2025-03-07"},
        {"2025-01-01 10:00:00", "2025-03-01 23:59:59", TimeUnit::Day, 60, "2025-01-01 00:00:00",
         "2025-03-01"},
        {"2025-01-01 10:00:00", "2025-03-02 00:00:00", TimeUnit::Week, 9, "2024-12-30 00:00:00",
         "2025-03-02"},
        {"2025-01-06 00:00:00", "2026-03-01 23:59:59", TimeUnit::Week, 60, "2025-01-06 00:00:00",
         "2026-03-01"},
        {"2025-01-06 00:00:00", "2026-03-02 00:00:00", TimeUnit::Month, 15, "2025-01-01 00:00:00",
         "2026-03-31"},
        {"2021-01-31 00:00:00", "2025-12-31 23:59:59", TimeUnit::Month, 60, "2021-01-01 00:00:00",
         "2025-12-31"},
        {"2021-01-31 00:00:00", "2026-01-01 00:00:00", TimeUnit::Quarter, 21, "2021-01-01 00:00:00",
         "2026-03-31"},
        {"2011-03-31 00:00:00", "2025-12-31 23:59:59", TimeUnit::Quarter, 60, "2011-01-01 00:00:00",
         "2025-12-31"},
        {"2011-03-31 00:00:00", "2026-01-01 00:00:00", TimeUnit::Year, 16, "2011-01-01 00:00:00",
         "2026-12-31"},
        {"1900-01-01 00:00:00", "2025-06-01 00:00:00", TimeUnit::Year, 126, "1900-01-01 00:00:00",
         "2025-12-31"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.first) + " .. " + c.last);
        // Both orders: the snapshot need not come sorted by date.
        for (const auto& values : {moments({c.first, c.last}), moments({c.last, c.first})}) {
            const TimeHistogram histogram = countDates(dates(values), 1);
            EXPECT_EQ(unitName(histogram.unit), std::string(unitName(c.unit)));
            ASSERT_EQ(histogram.bars(), c.bars);
            EXPECT_EQ(stored(histogram.start(0)), c.firstStart);
            const int64_t both = c.bars == 1 ? 2 : 1;
            EXPECT_EQ(histogram.counts.front(), both);
            EXPECT_EQ(histogram.counts.back(), both);
            EXPECT_EQ(histogram.undated, 0);
            EXPECT_EQ(histogram.firstDay(0).toString(Qt::ISODate).toStdString(),
                      std::string(c.firstStart, 10));
            EXPECT_EQ(histogram.lastDay(c.bars - 1).toString(Qt::ISODate).toStdString(), c.lastDay);
            if (c.bars > 1 && c.unit != TimeUnit::Hour) {
                EXPECT_EQ(histogram.lastDay(0), histogram.firstDay(1).addDays(-1));
            }
        }
    }
}

// Exact counts per bar whatever the order and the span, records without a date apart: the
// quick paths (an hour's division, a day's table, runs of one bar) against each record put
// into its bucket one by one.
TEST(TimeHistogramCounts, EveryRecordIsCountedInItsOwnBarAndTheUndatedApart)
{
    const struct {
        const char* what;
        const char* first;
        int64_t spanSeconds;
        bool sorted;
    } spans[] = {
        {"a few hours, by the hour", "2025-03-05 09:10:00", 3 * 3600 + 7, false},
        {"fifty days, by the day", "2025-03-05 09:10:00", 50 * 86400, false},
        {"a year, by the week", "2024-12-25 00:00:00", 365 * 86400, true},
        {"three years across 1970, by the month", "1968-07-14 00:00:00", 3 * 365 * 86400, false},
        {"ten years, by the quarter", "2016-02-29 23:59:59", 10 * 365 * 86400, true},
        {"three centuries, by the year", "1750-01-01 00:00:00", 300 * 365 * 86400LL, false},
    };
    std::mt19937_64 random(7);
    for (const auto& span : spans) {
        SCOPED_TRACE(span.what);
        const int64_t first = at(span.first);
        std::vector<std::optional<int64_t>> values = {first, first + span.spanSeconds};
        int64_t nulls = 0;
        for (int i = 0; i < 5000; ++i) {
            if (random() % 10 == 0) {
                values.emplace_back();
                ++nulls;
            } else {
                values.emplace_back(first + int64_t(random() % uint64_t(span.spanSeconds + 1)));
            }
        }
        if (span.sorted)
            std::sort(values.begin(), values.end(), [](const auto& a, const auto& b) {
                return a.has_value() && (!b || *a < *b);
            });
        const TimeHistogram histogram = countDates(dates(values), 1);
        std::vector<int64_t> expected(size_t(histogram.bars()), 0);
        for (const std::optional<int64_t>& value : values)
            if (value)
                ++expected.at(size_t(bucketOf(histogram.unit, *value) - histogram.firstBucket));
        EXPECT_EQ(histogram.counts, expected);
        EXPECT_EQ(histogram.undated, nulls);
        EXPECT_GT(histogram.largest(), 0);
        EXPECT_EQ(histogram.largest(), *std::max_element(expected.begin(), expected.end()));
    }
}

// What a snapshot without dates gives, and what a deletion takes off the bars.
TEST(TimeHistogramCounts, UndatedOnlyEmptyAndRemovedRecords)
{
    const struct {
        const char* what;
        std::vector<std::optional<int64_t>> values;
        std::vector<int64_t> counts;
        int64_t undated;
    } cases[] = {
        {"no rows", {}, {}, 0},
        {"only NULLs", moments({nullptr, nullptr, nullptr}), {}, 3},
        {"hours with a NULL between",
         moments({"2025-03-05 14:00:00", nullptr, "2025-03-05 14:59:59", "2025-03-05 16:30:00",
                  "2025-03-05 15:00:00"}),
         {2, 1, 1},
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TimeHistogram histogram = countDates(dates(c.values), 1);
        EXPECT_EQ(histogram.counts, c.counts);
        EXPECT_EQ(histogram.undated, c.undated);
        EXPECT_EQ(histogram.isEmpty(), c.values.empty());
        // The SID column holds numbers, no dates; a column that is not there, nothing.
        for (const int col : {0, 2, -1})
            EXPECT_TRUE(countDates(dates(c.values), col).isEmpty()) << col;
    }

    // Deleting each record in turn takes it off its bar and empties them all; a deletion
    // more, of a moment outside the bars or of an undated record once none is left, takes
    // nothing below zero.
    TimeHistogram histogram = countDates(dates(cases[2].values), 1);
    for (const auto& value : cases[2].values)
        histogram.remove(value);
    for (const auto& value : moments({nullptr, "2025-03-05 14:00:00", "2025-03-05 17:00:00"}))
        histogram.remove(value);
    EXPECT_EQ(histogram.counts, std::vector<int64_t>({0, 0, 0}));
    EXPECT_EQ(histogram.undated, 0);
}

// The texts a user reads and copies, in the user's locale.
TEST(TimeHistogramTexts, NamesAndLabelsOfBucketsInTheUsersLocale)
{
    const struct {
        const LocaleText& locale;
        TimeUnit unit;
        const char* moment;
        const char* name;
        const char* label;
    } cases[] = {
        {kRussian, TimeUnit::Hour, "2025-03-05 14:20:00", "05.03.2025 14:00–15:00",
         "05.03.2025 14:00"},
        {kRussian, TimeUnit::Hour, "2025-03-05 23:59:59", "05.03.2025 23:00–00:00",
         "05.03.2025 23:00"},
        {kRussian, TimeUnit::Hour, "2025-03-05 00:00:00", "05.03.2025 00:00–01:00",
         "05.03.2025 00:00"},
        {kRussian, TimeUnit::Day, "2025-03-05 14:20:00", "05.03.2025", "05.03.2025"},
        {kRussian, TimeUnit::Week, "2025-03-05 14:20:00", "03.03.2025–09.03.2025", "03.03.2025"},
        {kRussian, TimeUnit::Month, "2025-03-05 14:20:00", "март 2025", "март 2025"},
        {kRussian, TimeUnit::Quarter, "2025-02-05 14:20:00", "янв.–март 2025", "янв.–март 2025"},
        {kRussian, TimeUnit::Quarter, "2025-11-05 14:20:00", "окт.–дек. 2025", "окт.–дек. 2025"},
        {kRussian, TimeUnit::Year, "2025-02-05 14:20:00", "2025", "2025"},
        {kEnglish, TimeUnit::Hour, "2025-03-05 14:20:00", "3/5/25 2:00 PM–3:00 PM",
         "3/5/25 2:00 PM"},
        {kEnglish, TimeUnit::Day, "2025-03-05 14:20:00", "3/5/25", "3/5/25"},
        {kEnglish, TimeUnit::Week, "2025-03-05 14:20:00", "3/3/25–3/9/25", "3/3/25"},
        {kEnglish, TimeUnit::Month, "2025-03-05 14:20:00", "March 2025", "March 2025"},
        {kEnglish, TimeUnit::Quarter, "2025-08-05 14:20:00", "Jul–Sep 2025", "Jul–Sep 2025"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(unitName(c.unit)) + " " + c.moment + " " +
                     c.locale.locale().name().toStdString());
        const int64_t bucket = bucketOf(c.unit, at(c.moment));
        EXPECT_EQ(bucketName(c.unit, bucket, c.locale), QString::fromUtf8(c.name));
        EXPECT_EQ(bucketLabel(c.unit, bucket, c.locale), QString::fromUtf8(c.label));
    }
}

// A tooltip groups the digits as the locale does; the copy writes each bar's start as the grid
// writes dates and plain counts for a spreadsheet, empty bars and the undated records
// included, in CR LF lines.
TEST(TimeHistogramTexts, ToolTipsAndTheCopiedData)
{
    const TimeHistogram months{
        TimeUnit::Month, bucketOf(TimeUnit::Month, at("2025-03-05 14:00:00")), {12345, 0, 2}, 1};
    const TimeHistogram hours =
        countDates(dates(moments({"2025-03-05 13:10:00", "2025-03-05 14:00:00",
                                  "2025-03-05 14:59:00", nullptr})),
                   1);
    ASSERT_EQ(hours.unit, TimeUnit::Hour);

    const struct {
        const TimeHistogram& histogram;
        const LocaleText& locale;
        const char* firstTip;
        const char* copy;
    } cases[] = {
        {months, kRussian, "март 2025: 12\u00a0345",
         "Период\tЗаписей\r\n01.03.2025\t12345\r\n01.04.2025\t0\r\n01.05.2025\t2\r\n\t1\r\n"},
        {months, kEnglish, "March 2025: 12,345",
         "Период\tЗаписей\r\n3/1/25\t12345\r\n4/1/25\t0\r\n5/1/25\t2\r\n\t1\r\n"},
        {hours, kRussian, "05.03.2025 13:00–14:00: 1",
         "Период\tЗаписей\r\n05.03.2025 13:00:00\t1\r\n05.03.2025 14:00:00\t2\r\n\t1\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.firstTip);
        EXPECT_EQ(barToolTip(c.histogram, 0, c.locale), QString::fromUtf8(c.firstTip));
        EXPECT_EQ(histogramCopyText(c.histogram, c.locale), QString::fromUtf8(c.copy));
    }
    EXPECT_EQ(undatedText(12345, kRussian.locale()), QString::fromUtf8("Без даты: 12\u00a0345"));
}
