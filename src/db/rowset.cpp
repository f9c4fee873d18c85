#include "rowset.h"

#include "call.h"
#include "collationranks.h"
#include "localetext.h"
#include "vectorstate.h"

#include <QCollator>

#include <algorithm>
#include <charconv>
#include <numeric>

namespace varnel {

namespace {

// Qt's case folding costs more than everything else an export does per field. Two ASCII
// characters fold alike exactly when they match apart from ASCII case; only a name with other
// characters needs the full folding.
bool sameName(QStringView a, QStringView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const char16_t x = a[i].unicode(), y = b[i].unicode();
        if (x == y)
            continue;
        if (x >= 0x80 || y >= 0x80)
            return a.compare(b, Qt::CaseInsensitive) == 0;
        if ((x | 0x20) != (y | 0x20) || (x | 0x20) < u'a' || (x | 0x20) > u'z')
            return false;
    }
    return true;
}

} // namespace

int RowSet::indexOf(QStringView name) const
{
    for (const auto& [asked, col] : m_asked)
        if (asked == name)
            return col;
    int found = -1;
    for (int col = 0; col < columnCount() && found < 0; ++col)
        if (sameName(m_columns[col].info.name, name))
            found = col;
    // A handful of names at most in practice; the bound keeps a caller that asks for ever new
    // names from growing the list.
    if (m_asked.size() < 32)
        m_asked.emplace_back(name.toString(), found);
    return found;
}

bool RowSet::isInteger(uint32_t row, int col) const
{
    const std::vector<uint64_t>& inexact = m_columns[col].inexact;
    return (row >> 6) >= inexact.size() || !((inexact[row >> 6] >> (row & 63)) & 1u);
}

std::string_view RowSet::decimal(uint32_t row, int col) const
{
    const Column& c = m_columns[col];
    return c.texts.at(static_cast<size_t>(c.values[row]));
}

long double RowSet::numberValue(uint32_t row, int col) const
{
    if (isInteger(row, col))
        return static_cast<long double>(integer(row, col));
    // Never strtold: Qt sets the C library's locale from LANG on Unix, and a Russian one reads
    // "9.5" as 9. from_chars reads the C locale's form and rounds correctly, so a larger
    // decimal never gives a smaller value; decimals closer than the type's precision (about 19
    // digits; MSVC's long double is a double, about 16) give equal keys.
    const std::string_view text = decimal(row, col);
    long double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

QString RowSet::displayText(uint32_t row, int col, const LocaleText& locale) const
{
    if (isNull(row, col))
        return {};
    switch (m_columns[col].info.type) {
    case ColumnType::Number:
        if (isInteger(row, col))
            return QString::number(integer(row, col));
        else {
            const std::string_view d = decimal(row, col);
            return QString::fromUtf8(d.data(), static_cast<qsizetype>(d.size()));
        }
    case ColumnType::Date:
        return locale.dateTimeText(dateSeconds(row, col));
    case ColumnType::Text:
        break;
    }
    const std::string_view t = text(row, col);
    return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
}

namespace {

template <typename Key>
void sortByKeys(std::vector<uint32_t>& rows, std::vector<std::pair<Key, uint32_t>>& keyed)
{
    // A sort of ten million rows takes seconds: it stops where the user cancels it.
    CancellationCounter steps;
    std::stable_sort(keyed.begin(), keyed.end(), [&steps](const auto& a, const auto& b) {
        steps.step();
        return a.first < b.first;
    });
    for (size_t i = 0; i < keyed.size(); ++i)
        rows[i] = keyed[i].second;
}

// Reorders `values` by rank, keeping the order of equal ranks.
void sortByRank(std::vector<uint32_t>& values, const std::vector<uint32_t>& rank)
{
    std::vector<uint32_t> start(
        values.empty() ? 0 : *std::max_element(rank.begin(), rank.end()) + 2, 0);
    for (uint32_t r : rank)
        ++start[r + 1];
    std::partial_sum(start.begin(), start.end(), start.begin());
    std::vector<uint32_t> sorted(values.size());
    for (size_t i = 0; i < values.size(); ++i)
        sorted[start[rank[i]]++] = values[i];
    values.swap(sorted);
}

} // namespace

void RowSet::sortRows(std::vector<uint32_t>& rows, int col, const QCollator& collator) const
{
    clearUpperVectorState();
    // NULLs go after every value, in the order they had, like Oracle's ascending default.
    CancellationCounter steps;
    const auto firstNull = std::stable_partition(rows.begin(), rows.end(), [&](uint32_t row) {
        steps.step();
        return !isNull(row, col);
    });
    std::vector<uint32_t> values(rows.begin(), firstNull);

    cancellationPoint();
    switch (m_columns[col].info.type) {
    case ColumnType::Date: {
        std::vector<std::pair<int64_t, uint32_t>> keyed;
        keyed.reserve(values.size());
        for (uint32_t row : values) {
            steps.step();
            keyed.emplace_back(dateSeconds(row, col), row);
        }
        sortByKeys(values, keyed);
        break;
    }
    case ColumnType::Number: {
        const bool allIntegers = m_columns[col].inexact.empty();
        if (allIntegers) {
            std::vector<std::pair<int64_t, uint32_t>> keyed;
            keyed.reserve(values.size());
            for (uint32_t row : values) {
                steps.step();
                keyed.emplace_back(integer(row, col), row);
            }
            sortByKeys(values, keyed);
        } else {
            std::vector<std::pair<long double, uint32_t>> keyed;
            keyed.reserve(values.size());
            for (uint32_t row : values) {
                steps.step();
                keyed.emplace_back(numberValue(row, col), row);
            }
            sortByKeys(values, keyed);
        }
        break;
    }
    case ColumnType::Text: {
        std::vector<std::string_view> texts;
        texts.reserve(values.size());
        for (uint32_t row : values) {
            steps.step();
            texts.push_back(text(row, col));
        }
        const std::vector<uint32_t> ranks = collationRanks(texts, collator);
        cancellationPoint();
        sortByRank(values, ranks);
        break;
    }
    }
    std::copy(values.begin(), values.end(), rows.begin());
}

size_t RowSet::allocatedBytes() const
{
    size_t bytes = m_columns.capacity() * sizeof(Column);
    for (const Column& c : m_columns) {
        bytes += c.nulls.capacity() * sizeof(uint64_t) + c.values.capacity() * sizeof(int64_t) +
                 c.inexact.capacity() * sizeof(uint64_t) + c.texts.allocatedBytes();
    }
    return bytes;
}

int RowSet::Builder::addColumn(const QString& name, ColumnType type, int declaredSize,
                               bool typeKnown)
{
    if (m_row != 0)
        throw std::logic_error("RowSet columns are added before the first row");
    Column& c = m_set.m_columns.emplace_back();
    c.info = ColumnInfo{name, type, declaredSize};
    c.typeKnown = typeKnown;
    c.nulls.push_back(0);
    return static_cast<int>(m_set.m_columns.size()) - 1;
}

void RowSet::Builder::settleType(int col, ColumnType type)
{
    Column& c = m_set.m_columns[col];
    if (c.typeKnown)
        return;
    // Every earlier row of this column was NULL: give each its placeholder.
    c.info.type = type;
    c.typeKnown = true;
    if (type == ColumnType::Text) {
        for (uint32_t i = 0; i < m_row; ++i)
            c.texts.append(nullptr, 0);
    } else {
        c.values.assign(m_row, 0);
    }
}

void RowSet::Builder::addDecimal(int col, std::string_view text)
{
    Column& c = m_set.m_columns[col];
    if (c.inexact.size() <= (m_row >> 6))
        c.inexact.resize(c.nulls.size(), 0);
    c.inexact[m_row >> 6] |= uint64_t(1) << (m_row & 63);
    c.values.push_back(static_cast<int64_t>(c.texts.size()));
    c.texts.append(text.data(), text.size());
}

RowSet RowSet::Builder::finish()
{
    for (int col = 0; col < m_set.columnCount(); ++col) {
        Column& c = m_set.m_columns[col];
        if (!c.typeKnown)
            settleType(col, ColumnType::Text);
        c.nulls.shrink_to_fit();
        c.values.shrink_to_fit();
        c.inexact.shrink_to_fit();
        c.texts.shrinkToFit();
    }
    m_set.m_rowCount = m_row;
    RowSet done = std::move(m_set);
    m_set = RowSet();
    m_row = 0;
    return done;
}

} // namespace varnel
