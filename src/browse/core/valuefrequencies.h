#pragma once

#include "browse/core/filterset.h"
#include "db/rowset.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace varnel {

class Dataset;

// How many values «Частота значений…» lists; the others are only counted.
inline constexpr size_t kListedValues = 1000;

struct ValueCount {
    ColumnValue value;
    int64_t records = 0;
};

// The distinct values of one column among the fetched records, each with its exact count.
struct Frequencies {
    ValueColumn by = ValueColumn::Table;
    int64_t records = 0; // every record counted
    int64_t values = 0;  // distinct values, NULL among them
    // The most frequent first; equal counts by their values (texts in the locale's collation,
    // days in time order), NULL after the values. Where values of one count go beyond the
    // list, those met first in the fetched rows are listed.
    std::vector<ValueCount> listed;

    int64_t otherValues() const { return values - static_cast<int64_t>(listed.size()); }
    int64_t otherRecords() const;
};

// The ways a column of the log table is counted: DDATE by day, the table, the action, the
// change text, the user-info text whole or by one of its segments (OS user, computer, database
// user, in the order the text holds them). Empty for any other column (SID) and for a column
// whose type the way cannot read.
std::vector<ValueColumn> frequencyColumns(const QString& fieldName, ColumnType type);

// Counts the values of `column` of the open `dataset` as `by` takes them, over every record it
// holds (a deleted one gone), in any order: a table or action upper-cased as its list shows
// it, a segment as userInfoSegments cuts it, a whole user-info text as stored, a change text
// by its changesPrefix, DDATE by its day; an empty text is NULL. These are the values that
// «Отобрать по значению» and «Исключить значение» take. Lists at most `listed` values.
// `progress` hears the records counted so far every few thousand records, and the count
// reaches a cancellation point as often (db/call.h). Raises std::invalid_argument for a way
// that `column`'s type cannot be counted by.
Frequencies countValues(const Dataset& dataset, int column, ValueColumn by,
                        const LocaleText& locale, size_t listed = kListedValues,
                        const std::function<void(int64_t records)>& progress = {});

// The UTF-8 bytes that changesPrefix keeps of a UTF-8 text, found without making a QString
// where the characters allow it.
size_t changesPrefixBytes(std::string_view utf8);

} // namespace varnel
