#include "db/rowset.h"

#include "base/civiltime.h"
#include "base/localetext.h"
#include "base/textneedle.h"
#include "base/vectorstate.h"
#include "db/call.h"
#include "db/collationranks.h"

#include <QCollator>

#include <algorithm>
#include <charconv>
#include <climits>
#include <memory>
#include <mutex>
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
void sortByKeys(std::vector<uint32_t>& rows, std::vector<std::pair<Key, uint32_t>>& keyed,
                Qt::SortOrder order)
{
    // A sort of ten million rows takes seconds: it stops where the user cancels it.
    CancellationCounter steps;
    const bool descending = order == Qt::DescendingOrder;
    std::stable_sort(keyed.begin(), keyed.end(),
                     [&steps, descending](const auto& a, const auto& b) {
                         steps.step();
                         return descending ? b.first < a.first : a.first < b.first;
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

void RowSet::sortRows(std::vector<uint32_t>& rows, int col, const QCollator& collator,
                      Qt::SortOrder order) const
{
    clearUpperVectorState();
    // NULLs keep the order they had, at the end or, descending, at the start.
    const bool descending = order == Qt::DescendingOrder;
    CancellationCounter steps;
    const auto border = std::stable_partition(rows.begin(), rows.end(), [&](uint32_t row) {
        steps.step();
        return isNull(row, col) == descending;
    });
    const auto firstValue = descending ? border : rows.begin();
    std::vector<uint32_t> values(firstValue, descending ? rows.end() : border);

    cancellationPoint();
    // Each value's key beside its row, sorted: the keys are read once, not at every comparison.
    const auto sortBy = [&](auto keyOf) {
        std::vector<std::pair<decltype(keyOf(0u)), uint32_t>> keyed;
        keyed.reserve(values.size());
        for (uint32_t row : values) {
            steps.step();
            keyed.emplace_back(keyOf(row), row);
        }
        sortByKeys(values, keyed, order);
    };
    switch (m_columns[col].info.type) {
    case ColumnType::Date:
        if (m_columns[col].fractions.empty())
            sortBy([&](uint32_t row) { return dateSeconds(row, col); });
        else
            sortBy([&](uint32_t row) {
                return std::pair(dateSeconds(row, col), dateNanoseconds(row, col));
            });
        break;
    case ColumnType::Number:
        if (m_columns[col].inexact.empty())
            sortBy([&](uint32_t row) { return integer(row, col); });
        else
            sortBy([&](uint32_t row) { return numberValue(row, col); });
        break;
    case ColumnType::Text: {
        std::vector<std::string_view> texts;
        texts.reserve(values.size());
        for (uint32_t row : values) {
            steps.step();
            texts.push_back(text(row, col));
        }
        std::vector<uint32_t> ranks = collationRanks(texts, collator);
        cancellationPoint();
        if (descending && !ranks.empty()) {
            const uint32_t highest = *std::max_element(ranks.begin(), ranks.end());
            for (uint32_t& rank : ranks)
                rank = highest - rank;
        }
        sortByRank(values, ranks);
        break;
    }
    }
    std::copy(values.begin(), values.end(), firstValue);
}

namespace {

// The texts of the 86400 times of a day as a locale writes them after a date, made once per
// process and locale: making them takes longer than a search of a million rows.
class TimeTexts {
public:
    static const TimeTexts& of(const LocaleText& locale)
    {
        static std::mutex lock;
        static std::vector<std::pair<QString, std::unique_ptr<const TimeTexts>>> made;
        const QString key = locale.locale().name() + QLatin1Char('|') + locale.shortDateFormat() +
                            QLatin1Char('|') + locale.longTimeFormat();
        const std::lock_guard guard(lock);
        for (const auto& [known, texts] : made)
            if (known == key)
                return *texts;
        return *made.emplace_back(key, std::make_unique<const TimeTexts>(locale)).second;
    }

    explicit TimeTexts(const LocaleText& locale)
    {
        // A date-time shows as its day's text, a blank and its time's text (LocaleText).
        const int64_t reference = civil::daysFromCivil(2000, 1, 1) * 86400;
        const auto dayLength = size_t(locale.dateTimeText(reference).toUtf8().size()) + 1;
        m_starts.reserve(86401);
        m_starts.push_back(0);
        for (int64_t time = 0; time < 86400; ++time) {
            if (time != 0) {
                const QByteArray whole = locale.dateTimeText(reference + time).toUtf8();
                m_bytes.append(whole.constData() + std::min(dayLength, size_t(whole.size())),
                               whole.constData() + whole.size());
            }
            m_starts.push_back(static_cast<uint32_t>(m_bytes.size()));
        }
    }

    std::string_view at(size_t time) const
    {
        return std::string_view(m_bytes).substr(m_starts[time],
                                                m_starts[time + 1] - m_starts[time]);
    }

private:
    std::string m_bytes;
    std::vector<uint32_t> m_starts;
};

// Whether dates show a needle, each day's and each time of day's text made once: a log spans
// some hundred days, and a QString per date would cost more than the whole search. A
// date-time shows as its day's text, a blank and its time's text (LocaleText), so a needle
// without a blank is in it exactly when it is in one of the two: two lookups a row. One with
// a blank is looked for in the two texts put together.
class DateMatcher {
public:
    // The days of the dates to be read lie in [firstDay, lastDay].
    DateMatcher(const TextNeedle& needle, const LocaleText& locale, int64_t firstDay,
                int64_t lastDay)
        : m_needle(needle), m_locale(locale), m_firstDay(firstDay), m_timeFound(86400, Unknown)
    {
        if (firstDay <= lastDay && lastDay - firstDay < MostDays)
            m_days.resize(size_t(lastDay - firstDay + 1));
    }

    bool shows(int64_t seconds)
    {
        const int64_t day = civil::dayOf(seconds);
        const auto time = static_cast<size_t>(civil::secondOfDay(seconds));
        Day* d = m_days.empty() ? nullptr : &m_days[size_t(day - m_firstDay)];
        if (d && d->found == Unknown) {
            const int64_t year = civil::civilFromDays(day).year;
            if (year < 1000 || year > 9999) {
                d->found = Whole;
            } else {
                d->text = m_locale.dateTimeText(day * 86400).toStdString();
                d->found = m_needle.isIn(d->text);
            }
        }
        // Days too far apart for a table of them and years of other widths: the whole text,
        // as it comes.
        if (!d || d->found == Whole) {
            m_text = m_locale.dateTimeText(seconds).toStdString();
            return m_needle.isIn(m_text);
        }
        if (d->found || time == 0)
            return d->found != 0;
        if (!m_times)
            m_times = &TimeTexts::of(m_locale);
        if (m_needle.holdsBlank()) {
            m_text = d->text;
            m_text += ' ';
            m_text += m_times->at(time);
            return m_needle.isIn(m_text);
        }
        int8_t& found = m_timeFound[time];
        if (found == Unknown)
            found = m_needle.isIn(m_times->at(time));
        return found != 0;
    }

private:
    static constexpr int8_t Unknown = -1;
    static constexpr int8_t Whole = 2; // a year that is not written with four digits
    static constexpr int64_t MostDays = int64_t(1) << 16;

    struct Day {
        int8_t found = Unknown;
        std::string text;
    };

    const TextNeedle& m_needle;
    const LocaleText& m_locale;
    const TimeTexts* m_times = nullptr;
    int64_t m_firstDay;
    std::vector<Day> m_days;         // by day from the first; empty: no table
    std::vector<int8_t> m_timeFound; // by second of the day
    std::string m_text;
};

void mark(std::vector<uint64_t>& found, size_t row)
{
    found[row >> 6] |= uint64_t(1) << (row & 63);
}

} // namespace

void RowSet::markMatches(int col, const TextNeedle& needle, const LocaleText& locale,
                         std::vector<uint64_t>& found) const
{
    found.resize((size_t(m_rowCount) + 63) / 64, 0);
    if (needle.isEmpty())
        return;
    const Column& c = m_columns[col];
    switch (c.info.type) {
    case ColumnType::Text: {
        // One chunk after another, the texts of many rows at once; a NULL is an empty text.
        // Candidates are looked for by the needle's character that the column holds least.
        TextNeedle tuned = needle;
        if (c.texts.chunkCount() > 0)
            tuned.tuneFor(c.texts.chunk(0).bytes.substr(0, size_t(64) << 10));
        for (size_t k = 0; k < c.texts.chunkCount(); ++k) {
            const TextArena::ChunkView chunk = c.texts.chunk(k);
            TextNeedle::Scan scan(tuned, chunk.bytes);
            size_t item = chunk.firstItem;
            size_t from = item < chunk.endItem ? chunk.starts[item] : chunk.bytes.size();
            while (item < chunk.endItem) {
                const TextNeedle::Match match = scan.next(from);
                if (match.start == std::string_view::npos)
                    break;
                // The item that holds the match's start: of items that start at the same byte
                // only the last is not empty. It is mostly a few items on when matches are
                // many: looked for in steps that double, then by halves.
                const auto start = static_cast<uint32_t>(match.start);
                size_t step = 1;
                while (item + step < chunk.endItem && chunk.starts[item + step] <= start)
                    step *= 2;
                const uint32_t* holder =
                    std::upper_bound(chunk.starts + item + step / 2,
                                     chunk.starts + std::min(item + step, chunk.endItem), start) -
                    1;
                item = size_t(holder - chunk.starts);
                const size_t itemEnd =
                    item + 1 < chunk.endItem ? chunk.starts[item + 1] : chunk.bytes.size();
                // A match that runs into the next text is no match of this one, which may
                // still hold another.
                if (match.end <= itemEnd ||
                    tuned.isIn(chunk.bytes.substr(*holder, itemEnd - *holder)))
                    mark(found, item);
                ++item;
                from = itemEnd;
            }
        }
        break;
    }
    case ColumnType::Number:
        for (uint32_t row = 0; row < m_rowCount; ++row) {
            if (isNull(row, col))
                continue;
            if (isInteger(row, col)) {
                char digits[24];
                const auto written =
                    std::to_chars(digits, digits + sizeof digits, integer(row, col));
                if (needle.isIn(std::string_view(digits, size_t(written.ptr - digits))))
                    mark(found, row);
            } else if (needle.isIn(decimal(row, col))) {
                mark(found, row);
            }
        }
        break;
    case ColumnType::Date: {
        int64_t firstDay = INT64_MAX, lastDay = INT64_MIN;
        for (uint32_t row = 0; row < m_rowCount; ++row) {
            if (!isNull(row, col)) {
                firstDay = std::min(firstDay, civil::dayOf(dateSeconds(row, col)));
                lastDay = std::max(lastDay, civil::dayOf(dateSeconds(row, col)));
            }
        }
        DateMatcher dates(needle, locale, firstDay, lastDay);
        for (uint32_t row = 0; row < m_rowCount; ++row)
            if (!isNull(row, col) && dates.shows(dateSeconds(row, col)))
                mark(found, row);
        break;
    }
    }
}

size_t RowSet::allocatedBytes() const
{
    size_t bytes = m_columns.capacity() * sizeof(Column);
    for (const Column& c : m_columns) {
        bytes += c.nulls.capacity() * sizeof(uint64_t) + c.values.capacity() * sizeof(int64_t) +
                 c.inexact.capacity() * sizeof(uint64_t) +
                 c.fractions.capacity() * sizeof(uint32_t) + c.texts.allocatedBytes();
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
        c.fractions.shrink_to_fit();
        c.texts.shrinkToFit();
    }
    m_set.m_rowCount = m_row;
    RowSet done = std::move(m_set);
    m_set = RowSet();
    m_row = 0;
    return done;
}

} // namespace varnel
