#pragma once

#include "base/largepages.h"
#include "base/textarena.h"

#include <QString>
#include <QStringView>

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

class QCollator;

namespace varnel {

class LocaleText;
class TextNeedle;

enum class ColumnType : uint8_t { Number, Text, Date };

struct ColumnInfo {
    QString name; // as the database reports it (Oracle: upper case for unquoted names)
    ColumnType type = ColumnType::Text;
    int declaredSize = 0; // characters of a text column when the database tells, else 0
    bool lob = false;     // a text of no bounded width (CLOB, NCLOB): compared as a LOB
};

// The rows of one opened statement, fetched whole and held column by column: per column a
// null bitmap and either 64-bit values (numbers, date-times) or texts in a chunked UTF-8 arena;
// a date column that holds fractions of a second (a TIMESTAMP) also their nanoseconds.
// A million records therefore cost a handful of large allocations, not a million small ones.
// Display text is made only for the cells that somebody asks for. Rows are never moved:
// orderings are permutations of row numbers kept by the owner.
class RowSet {
public:
    class Builder;

    RowSet() = default;
    RowSet(RowSet&&) noexcept = default;
    RowSet& operator=(RowSet&&) noexcept = default;

    int columnCount() const { return static_cast<int>(m_columns.size()); }
    uint32_t rowCount() const { return m_rowCount; }
    const ColumnInfo& column(int col) const { return m_columns[col].info; }
    // Column names compare without regard to letter case; -1 when there is none.
    int indexOf(QStringView name) const;

    bool isNull(uint32_t row, int col) const
    {
        return (m_columns[col].nulls[row >> 6] >> (row & 63)) & 1u;
    }
    // Text column: the UTF-8 characters (empty for NULL).
    std::string_view text(uint32_t row, int col) const { return m_columns[col].texts.at(row); }
    // Date column: seconds from 1970-01-01 00:00:00, naive wall-clock time (civiltime.h).
    int64_t dateSeconds(uint32_t row, int col) const { return m_columns[col].values[row]; }
    // Date column: the fraction of that second, 0..999,999,999 (0 for a DATE of Oracle).
    uint32_t dateNanoseconds(uint32_t row, int col) const
    {
        const auto& fractions = m_columns[col].fractions;
        return row < fractions.size() ? fractions[row] : 0;
    }
    // Number column: most numbers are exact 64-bit integers; the others (fractions, more
    // digits than 64 bits hold) keep their exact decimal text.
    bool isInteger(uint32_t row, int col) const;
    int64_t integer(uint32_t row, int col) const { return m_columns[col].values[row]; }
    std::string_view decimal(uint32_t row, int col) const;

    // NULL gives an empty text; a number its plain decimal text; a DATE the short date and,
    // unless the time is midnight, the long time (a fraction of a second never shows).
    QString displayText(uint32_t row, int col, const LocaleText& locale) const;

    // Stable sort of `rows` by the typed values of `col`: numbers as numbers, date-times in
    // time order to the nanosecond, texts by `collator`. As Oracle orders them by default, NULLs
    // come after every value when ascending and before every value when descending: descending is
    // the ascending order read backwards, except that equal values keep the order they had.
    void sortRows(std::vector<uint32_t>& rows, int col, const QCollator& collator,
                  Qt::SortOrder order = Qt::AscendingOrder) const;

    // Sets, for each fetched row r whose cell of `col` shows `needle` (its display text, a
    // line break read as a blank, as the grid shows it), bit r % 64 of found[r / 64]; `found`
    // is made as long as the rows need. Texts are searched where they lie, many at a time;
    // numbers are written on the stack, and dates read as their day's and time's texts, each
    // made once.
    void markMatches(int col, const TextNeedle& needle, const LocaleText& locale,
                     std::vector<uint64_t>& found) const;

    // Bytes this snapshot holds on the heap.
    size_t allocatedBytes() const;

private:
    struct Column {
        ColumnInfo info;
        bool typeKnown = true;
        std::vector<uint64_t, LargePageAllocator<uint64_t>> nulls;
        // numbers and dates; index into `texts` for inexact numbers
        std::vector<int64_t, LargePageAllocator<int64_t>> values;
        std::vector<uint64_t> inexact; // numbers only: rows whose value is a decimal text
        // Dates only: the nanoseconds of every row up to the last one with a fraction; empty
        // while none has one, so that a log of DATEs costs nothing more.
        std::vector<uint32_t, LargePageAllocator<uint32_t>> fractions;
        TextArena texts; // texts, or decimal texts of inexact numbers
    };

    long double numberValue(uint32_t row, int col) const;

    std::vector<Column> m_columns;
    uint32_t m_rowCount = 0;
    // Callers ask for the same few names row after row (an export, five a record): the names
    // asked so far and their answers, compared exactly, spare them the search that ignores case.
    mutable std::vector<std::pair<QString, int>> m_asked;
};

// Fills a RowSet row by row. Every row sets each column exactly once, in column order, then
// calls endRow(). A column whose type the database does not declare (an expression of a
// union, say) can be opened with `unknownType` and takes its type from its first non-NULL
// value.
class RowSet::Builder {
public:
    Builder() = default;
    int addColumn(const QString& name, ColumnType type, int declaredSize = 0,
                  bool typeKnown = true);
    bool typeKnown(int col) const { return m_set.m_columns[col].typeKnown; }
    ColumnType type(int col) const { return m_set.m_columns[col].info.type; }
    void settleType(int col, ColumnType type);
    void setLob(int col) { m_set.m_columns[col].info.lob = true; }

    void addNull(int col)
    {
        Column& c = m_set.m_columns[col];
        c.nulls[m_row >> 6] |= uint64_t(1) << (m_row & 63);
        if (!c.typeKnown)
            return;
        if (c.info.type == ColumnType::Text)
            c.texts.append(nullptr, 0);
        else
            c.values.push_back(0);
    }
    void addText(int col, const char* utf8, size_t length)
    {
        m_set.m_columns[col].texts.append(utf8, length);
    }
    void addInteger(int col, int64_t value) { m_set.m_columns[col].values.push_back(value); }
    void addDate(int col, int64_t seconds, uint32_t nanoseconds = 0)
    {
        Column& c = m_set.m_columns[col];
        if (nanoseconds != 0) {
            c.fractions.resize(m_row, 0);
            c.fractions.push_back(nanoseconds);
        }
        c.values.push_back(seconds);
    }
    // A number that is no exact 64-bit integer, as plain decimal text ("0.5",
    // "123456789012345678901").
    void addDecimal(int col, std::string_view text);

    void endRow()
    {
        ++m_row;
        if ((m_row & 63) == 0)
            for (Column& c : m_set.m_columns)
                c.nulls.push_back(0);
    }
    uint32_t rowCount() const { return m_row; }

    RowSet finish();

private:
    using Column = RowSet::Column;
    RowSet m_set;
    uint32_t m_row = 0;
};

} // namespace varnel
