#pragma once

#include <QDate>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

class QLocale;

namespace varnel {

class LocaleText;
class RowSet;

// The length of one bar of the histogram «Записей по времени», smallest first. A week runs
// from Monday to Sunday. Times are the snapshot's naive wall-clock seconds (civiltime.h).
enum class TimeUnit { Hour, Day, Week, Month, Quarter, Year };

// Bars the histogram aims at: the smallest unit that shows the span in no more is taken.
inline constexpr int kHistogramBars = 60;

// Buckets of a unit are numbered so that neighbours differ by one, before 1970 as after.
int64_t bucketOf(TimeUnit unit, int64_t seconds);
// The first second of a bucket.
int64_t bucketStart(TimeUnit unit, int64_t bucket);
// The smallest unit that shows every moment from `first` to `last` in at most `maxBars` bars;
// a year, the largest unit, however many bars it takes.
TimeUnit unitForSpan(int64_t first, int64_t last, int maxBars = kHistogramBars);

// Records per bucket of a run of consecutive buckets, from the earliest date's to the
// latest's, empty buckets included, and the records without a date apart. No bars while no
// record has a date.
struct TimeHistogram {
    TimeUnit unit = TimeUnit::Day;
    int64_t firstBucket = 0;
    std::vector<int64_t> counts;
    int64_t undated = 0;

    int bars() const { return static_cast<int>(counts.size()); }
    bool isEmpty() const { return counts.empty() && undated == 0; }
    int64_t bucket(int bar) const { return firstBucket + bar; }
    int64_t start(int bar) const { return bucketStart(unit, bucket(bar)); }
    // The days a bar's records fall on; an hour's bar is within one day.
    QDate firstDay(int bar) const;
    QDate lastDay(int bar) const;
    int64_t largest() const;

    // A record leaves (a deletion from the grid): its bar, or the undated count, loses it.
    // The bars stay as they are, an emptied one at the edge included.
    void remove(std::optional<int64_t> seconds);
};

// The histogram of the dates of column `col` of every fetched row, NULLs counted apart; none
// when the column holds no dates. Two passes over the column, no per-record allocation.
TimeHistogram countDates(const RowSet& rows, int col);

// What a bucket is called in its bar's tooltip, in the user's locale: «05.03.2025
// 14:00–15:00», «05.03.2025», «03.03.2025–09.03.2025», «март 2025», «янв.–март 2025», «2025».
QString bucketName(TimeUnit unit, int64_t bucket, const LocaleText& locale);
// What the axis writes under a bar: the bucket's start («05.03.2025 14:00», «03.03.2025»),
// or for a month, a quarter or a year its name.
QString bucketLabel(TimeUnit unit, int64_t bucket, const LocaleText& locale);
// «март 2025: 12 345».
QString barToolTip(const TimeHistogram& histogram, int bar, const LocaleText& locale);
// «Без даты: 12».
QString undatedText(int64_t records, const QLocale& locale);
// «Копировать данные»: «Период\tЗаписей», then a line per bucket, its start as the grid
// writes dates, a tab and its count, then the undated records with an empty start as the grid
// writes a missing date (when there are any); every line ends in CR LF.
QString histogramCopyText(const TimeHistogram& histogram, const LocaleText& locale);

} // namespace varnel
