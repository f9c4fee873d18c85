#include "browse/core/timehistogram.h"

#include "base/civiltime.h"
#include "base/localetext.h"
#include "db/rowset.h"

#include <QLocale>
#include <QTime>

#include <algorithm>
#include <limits>

namespace varnel {

namespace {

constexpr int64_t kSecondsPerHour = 3600;
// 1970-01-01 was a Thursday: the Monday that starts its week is three days earlier.
constexpr int64_t kDaysAfterMonday = 3;
// Above an hour every bucket is a run of whole days: a table of each day's bar spares the
// calendar arithmetic per record, as long as the span is short enough for the table to stay
// in the cache (179 years).
constexpr int64_t kMostTableDays = int64_t(1) << 16;

constexpr int64_t floorDiv(int64_t value, int64_t divisor) noexcept
{
    return value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor);
}

QDate dateOfDay(int64_t day)
{
    const civil::Ymd ymd = civil::civilFromDays(day);
    return QDate(int(ymd.year), int(ymd.month), int(ymd.day));
}

// The year and month (1-12) of a month, quarter or year bucket's first month.
std::pair<int64_t, unsigned> firstMonth(TimeUnit unit, int64_t bucket)
{
    switch (unit) {
    case TimeUnit::Month: {
        const int64_t year = floorDiv(bucket, 12);
        return {year, unsigned(bucket - year * 12) + 1};
    }
    case TimeUnit::Quarter: {
        const int64_t year = floorDiv(bucket, 4);
        return {year, unsigned(bucket - year * 4) * 3 + 1};
    }
    default:
        return {bucket, 1};
    }
}

QString yearText(int64_t year)
{
    return QString::number(year);
}

// A day as the grid writes a date at midnight: the short date alone.
QString dayText(int64_t day, const LocaleText& locale)
{
    return locale.dateTimeText(day * civil::kSecondsPerDay);
}

// The start of an hour in the locale's short time («14:00», «2:00 PM»).
QString hourText(int hour, const LocaleText& locale)
{
    return locale.locale().toString(QTime(hour, 0), QLocale::ShortFormat);
}

// Adds each dated row's record to its bar. The snapshot comes in the main query's order, by
// date: runs of one bar are counted in a register rather than through memory row by row.
template <class BarOf>
void tally(const RowSet& rows, int col, std::vector<int64_t>& counts, BarOf barOf)
{
    size_t bar = 0;
    int64_t run = 0;
    const uint32_t n = rows.rowCount();
    for (uint32_t row = 0; row < n; ++row) {
        if (rows.isNull(row, col))
            continue;
        const auto next = static_cast<size_t>(barOf(rows.dateSeconds(row, col)));
        if (next != bar) {
            counts[bar] += run;
            bar = next;
            run = 0;
        }
        ++run;
    }
    counts[bar] += run;
}

} // namespace

int64_t bucketOf(TimeUnit unit, int64_t seconds)
{
    switch (unit) {
    case TimeUnit::Hour:
        return floorDiv(seconds, kSecondsPerHour);
    case TimeUnit::Day:
        return civil::dayOf(seconds);
    case TimeUnit::Week:
        return floorDiv(civil::dayOf(seconds) + kDaysAfterMonday, 7);
    case TimeUnit::Month:
    case TimeUnit::Quarter:
    case TimeUnit::Year:
        break;
    }
    const civil::Ymd ymd = civil::civilFromDays(civil::dayOf(seconds));
    if (unit == TimeUnit::Month)
        return ymd.year * 12 + (ymd.month - 1);
    if (unit == TimeUnit::Quarter)
        return ymd.year * 4 + (ymd.month - 1) / 3;
    return ymd.year;
}

int64_t bucketStart(TimeUnit unit, int64_t bucket)
{
    switch (unit) {
    case TimeUnit::Hour:
        return bucket * kSecondsPerHour;
    case TimeUnit::Day:
        return bucket * civil::kSecondsPerDay;
    case TimeUnit::Week:
        return (bucket * 7 - kDaysAfterMonday) * civil::kSecondsPerDay;
    case TimeUnit::Month:
    case TimeUnit::Quarter:
    case TimeUnit::Year:
        break;
    }
    const auto [year, month] = firstMonth(unit, bucket);
    return civil::daysFromCivil(year, month, 1) * civil::kSecondsPerDay;
}

TimeUnit unitForSpan(int64_t first, int64_t last, int maxBars)
{
    for (const TimeUnit unit :
         {TimeUnit::Hour, TimeUnit::Day, TimeUnit::Week, TimeUnit::Month, TimeUnit::Quarter})
        if (bucketOf(unit, last) - bucketOf(unit, first) < maxBars)
            return unit;
    return TimeUnit::Year;
}

QDate TimeHistogram::firstDay(int bar) const
{
    return dateOfDay(civil::dayOf(start(bar)));
}

QDate TimeHistogram::lastDay(int bar) const
{
    return dateOfDay(civil::dayOf(start(bar + 1) - 1));
}

int64_t TimeHistogram::largest() const
{
    return counts.empty() ? 0 : *std::max_element(counts.begin(), counts.end());
}

void TimeHistogram::remove(std::optional<int64_t> seconds)
{
    if (!seconds) {
        undated -= undated > 0;
        return;
    }
    const int64_t bar = bucketOf(unit, *seconds) - firstBucket;
    if (bar >= 0 && bar < bars() && counts[size_t(bar)] > 0)
        --counts[size_t(bar)];
}

TimeHistogram countDates(const RowSet& rows, int col)
{
    TimeHistogram histogram;
    if (col < 0 || col >= rows.columnCount() || rows.column(col).type != ColumnType::Date)
        return histogram;
    int64_t first = std::numeric_limits<int64_t>::max();
    int64_t last = std::numeric_limits<int64_t>::min();
    const uint32_t n = rows.rowCount();
    for (uint32_t row = 0; row < n; ++row) {
        if (rows.isNull(row, col)) {
            ++histogram.undated;
            continue;
        }
        const int64_t seconds = rows.dateSeconds(row, col);
        first = std::min(first, seconds);
        last = std::max(last, seconds);
    }
    if (histogram.undated == int64_t(n))
        return histogram;

    const TimeUnit unit = unitForSpan(first, last);
    histogram.unit = unit;
    histogram.firstBucket = bucketOf(unit, first);
    histogram.counts.assign(size_t(bucketOf(unit, last) - histogram.firstBucket + 1), 0);
    const int64_t base = histogram.firstBucket;
    if (unit == TimeUnit::Hour) {
        tally(rows, col, histogram.counts,
              [base](int64_t seconds) { return floorDiv(seconds, kSecondsPerHour) - base; });
        return histogram;
    }
    const int64_t firstDay = civil::dayOf(first);
    const int64_t days = civil::dayOf(last) - firstDay + 1;
    if (days > kMostTableDays) {
        tally(rows, col, histogram.counts,
              [unit, base](int64_t seconds) { return bucketOf(unit, seconds) - base; });
        return histogram;
    }
    std::vector<uint32_t> barOfDay(static_cast<size_t>(days));
    for (int64_t day = 0; day < days; ++day)
        barOfDay[size_t(day)] =
            uint32_t(bucketOf(unit, (firstDay + day) * civil::kSecondsPerDay) - base);
    tally(rows, col, histogram.counts, [&barOfDay, firstDay](int64_t seconds) {
        return barOfDay[size_t(civil::dayOf(seconds) - firstDay)];
    });
    return histogram;
}

QString bucketName(TimeUnit unit, int64_t bucket, const LocaleText& locale)
{
    const int64_t start = bucketStart(unit, bucket);
    const int64_t day = civil::dayOf(start);
    const QString dash = QStringLiteral("–");
    switch (unit) {
    case TimeUnit::Hour: {
        const int hour = int(civil::secondOfDay(start) / kSecondsPerHour);
        return dayText(day, locale) + QLatin1Char(' ') + hourText(hour, locale) + dash +
               hourText((hour + 1) % 24, locale);
    }
    case TimeUnit::Day:
        return dayText(day, locale);
    case TimeUnit::Week:
        return dayText(day, locale) + dash + dayText(day + 6, locale);
    case TimeUnit::Month:
    case TimeUnit::Quarter:
        break;
    case TimeUnit::Year:
        return yearText(bucket);
    }
    const auto [year, month] = firstMonth(unit, bucket);
    const QLocale& names = locale.locale();
    if (unit == TimeUnit::Month)
        return names.standaloneMonthName(int(month), QLocale::LongFormat) + QLatin1Char(' ') +
               yearText(year);
    return names.standaloneMonthName(int(month), QLocale::ShortFormat) + dash +
           names.standaloneMonthName(int(month) + 2, QLocale::ShortFormat) + QLatin1Char(' ') +
           yearText(year);
}

QString bucketLabel(TimeUnit unit, int64_t bucket, const LocaleText& locale)
{
    const int64_t start = bucketStart(unit, bucket);
    switch (unit) {
    case TimeUnit::Hour:
        return dayText(civil::dayOf(start), locale) + QLatin1Char(' ') +
               hourText(int(civil::secondOfDay(start) / kSecondsPerHour), locale);
    case TimeUnit::Day:
    case TimeUnit::Week:
        return dayText(civil::dayOf(start), locale);
    default:
        return bucketName(unit, bucket, locale);
    }
}

QString barToolTip(const TimeHistogram& histogram, int bar, const LocaleText& locale)
{
    return bucketName(histogram.unit, histogram.bucket(bar), locale) + QStringLiteral(": ") +
           locale.locale().toString(qlonglong(histogram.counts[size_t(bar)]));
}

QString undatedText(int64_t records, const QLocale& locale)
{
    return QStringLiteral("Без даты: ") + locale.toString(qlonglong(records));
}

QString histogramCopyText(const TimeHistogram& histogram, const LocaleText& locale)
{
    const QString lineEnd = QStringLiteral("\r\n");
    QString text = QStringLiteral("Период\tЗаписей") + lineEnd;
    for (int bar = 0; bar < histogram.bars(); ++bar)
        text += locale.dateTimeText(histogram.start(bar)) + QLatin1Char('\t') +
                QString::number(histogram.counts[size_t(bar)]) + lineEnd;
    if (histogram.undated > 0)
        text += QLatin1Char('\t') + QString::number(histogram.undated) + lineEnd;
    return text;
}

} // namespace varnel
