#include "browse/core/valuefrequencies.h"

#include "base/civiltime.h"
#include "db/call.h"
#include "db/dataset.h"

#include <QCollator>
#include <QHash>
#include <queue>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <unordered_map>

namespace varnel {

namespace {

constexpr int kPrefixCharacters = 100;
// How often the count tells its progress; a power of two.
constexpr uint32_t kProgressEvery = 1u << 16;

uint64_t hashBytes(const char* data, size_t size)
{
    constexpr uint64_t k = 0x9E3779B97F4A7C15ull;
    uint64_t h = size * k;
    for (; size >= 8; data += 8, size -= 8) {
        uint64_t word;
        std::memcpy(&word, data, 8);
        h = (h ^ word) * k;
        h ^= h >> 32;
    }
    uint64_t tail = 0;
    if (size > 0)
        std::memcpy(&tail, data, size);
    h = (h ^ tail) * k;
    // SplitMix64's finish: every input bit reaches the high half, which the table reads.
    h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9ull;
    h = (h ^ (h >> 27)) * 0x94D049BB133111EBull;
    return h ^ (h >> 31);
}

// Equal byte strings counted together, in the order first met. A group points at the bytes
// where the snapshot holds them: the groups live no longer than the count. Open addressing
// over compact slots: ten million distinct change texts cost some 300 MB, where a node per
// text would cost several times as much.
class ByteGroups {
public:
    struct Group {
        const char* data;
        uint32_t size;
        uint32_t records;
    };

    ByteGroups() : m_slots(1024, 0), m_mask(1023) {}

    void add(std::string_view bytes)
    {
        const auto tag = static_cast<uint32_t>(hashBytes(bytes.data(), bytes.size()) >> 32);
        for (size_t i = tag & m_mask;; i = (i + 1) & m_mask) {
            const uint64_t slot = m_slots[i];
            if (slot == 0) {
                m_groups.push_back({bytes.data(), static_cast<uint32_t>(bytes.size()), 1});
                m_slots[i] = (uint64_t(tag) << 32) | m_groups.size();
                if (m_groups.size() * 4 > m_slots.size() * 3)
                    grow();
                return;
            }
            if (static_cast<uint32_t>(slot >> 32) != tag)
                continue;
            Group& group = m_groups[static_cast<uint32_t>(slot) - 1];
            if (group.size == bytes.size() &&
                (group.size == 0 || std::memcmp(group.data, bytes.data(), group.size) == 0)) {
                ++group.records;
                return;
            }
        }
    }

    const std::vector<Group>& groups() const { return m_groups; }

private:
    // A slot: the hash's high 32 bits, which also place it, and its group's index plus one.
    void grow()
    {
        std::vector<uint64_t> wider(m_slots.size() * 2, 0);
        const size_t mask = wider.size() - 1;
        for (const uint64_t slot : m_slots) {
            if (slot == 0)
                continue;
            size_t i = static_cast<uint32_t>(slot >> 32) & mask;
            while (wider[i] != 0)
                i = (i + 1) & mask;
            wider[i] = slot;
        }
        m_slots = std::move(wider);
        m_mask = mask;
    }

    std::vector<uint64_t> m_slots;
    size_t m_mask;
    std::vector<Group> m_groups;
};

// Visits every record the dataset holds: in the fetched order while none is deleted, which
// reads the snapshot front to back, else in the shown order.
template <class Visit>
void forEachRecord(const Dataset& dataset, const std::function<void(int64_t)>& progress,
                   Visit visit)
{
    const uint32_t fetched = dataset.rows().rowCount();
    const auto held = static_cast<uint32_t>(dataset.recordCount());
    for (uint32_t i = 0; i < held; ++i) {
        visit(held == fetched ? i : dataset.rowAt(static_cast<int>(i)));
        if (((i + 1) & (kProgressEvery - 1)) == 0) {
            cancellationPoint();
            if (progress)
                progress(i + 1);
        }
    }
    if (progress)
        progress(held);
}

// One counted value before the listing: its records, the order it was first met, and where
// its value comes from (a text made already, or a group's bytes, or a day).
struct Counted {
    int64_t records;
    size_t first;
    ColumnValue value;
    const char* data = nullptr;
    uint32_t size = 0;
};

// The text the column's lists and filters compare for a stored text.
QString comparedText(ValueColumn by, const QString& stored)
{
    switch (by) {
    case ValueColumn::Table:
    case ValueColumn::Action:
        return databaseUpper(stored);
    case ValueColumn::OSUser:
        return userInfoSegments(stored).osUser;
    case ValueColumn::PC:
        return userInfoSegments(stored).pc;
    case ValueColumn::OracleUser:
        return userInfoSegments(stored).oracleUser;
    default:
        return stored;
    }
}

std::vector<Counted> countTexts(const Dataset& dataset, int column, ValueColumn by,
                                const std::function<void(int64_t)>& progress, int64_t& nulls)
{
    const RowSet& rows = dataset.rows();
    ByteGroups raw;
    const bool prefix = by == ValueColumn::Changes;
    forEachRecord(dataset, progress, [&](uint32_t row) {
        if (rows.isNull(row, column)) {
            ++nulls;
            return;
        }
        const std::string_view text = rows.text(row, column);
        raw.add(prefix ? text.substr(0, changesPrefixBytes(text)) : text);
    });

    std::vector<Counted> counted;
    const std::vector<ByteGroups::Group>& groups = raw.groups();
    if (by == ValueColumn::Changes || by == ValueColumn::UserInfo) {
        // The stored text is the value: no two groups share one.
        counted.reserve(groups.size());
        for (size_t i = 0; i < groups.size(); ++i) {
            if (groups[i].size == 0)
                nulls += groups[i].records;
            else
                counted.push_back({groups[i].records, i, {}, groups[i].data, groups[i].size});
        }
        return counted;
    }
    // Texts that the lists show alike ("orders" and "ORDERS") are one value; the first group
    // of a value is the first met of them.
    QHash<QString, size_t> index;
    for (size_t i = 0; i < groups.size(); ++i) {
        const QString value = comparedText(
            by, QString::fromUtf8(groups[i].data, static_cast<qsizetype>(groups[i].size)));
        if (value.isEmpty()) {
            nulls += groups[i].records;
            continue;
        }
        auto at = index.constFind(value);
        if (at == index.constEnd()) {
            at = index.insert(value, counted.size());
            counted.push_back({0, i, ColumnValue::ofText(by, value)});
        }
        counted[*at].records += groups[i].records;
    }
    return counted;
}

std::vector<Counted> countDays(const Dataset& dataset, int column,
                               const std::function<void(int64_t)>& progress, int64_t& nulls)
{
    const RowSet& rows = dataset.rows();
    std::vector<std::pair<int64_t, int64_t>> days; // day number, records
    std::unordered_map<int64_t, size_t> index;
    // The rows come by date unless sorted otherwise: most follow one of their own day.
    int64_t lastDay = 0;
    size_t last = SIZE_MAX;
    forEachRecord(dataset, progress, [&](uint32_t row) {
        if (rows.isNull(row, column)) {
            ++nulls;
            return;
        }
        const int64_t day = civil::dayOf(rows.dateSeconds(row, column));
        if (last == SIZE_MAX || day != lastDay) {
            const auto [at, added] = index.try_emplace(day, days.size());
            if (added)
                days.emplace_back(day, 0);
            last = at->second;
            lastDay = day;
        }
        ++days[last].second;
    });
    std::vector<Counted> counted;
    counted.reserve(days.size());
    for (size_t i = 0; i < days.size(); ++i) {
        const civil::Ymd ymd = civil::civilFromDays(days[i].first);
        counted.push_back(
            {days[i].second, i,
             ColumnValue::ofDay(QDate(static_cast<int>(ymd.year), static_cast<int>(ymd.month),
                                      static_cast<int>(ymd.day)))});
    }
    return counted;
}

// Whether no neighbour ever joins this character into one grapheme with another: the
// letters, digits and punctuation of ASCII, Latin-1 and Cyrillic that log texts are made of.
// CR is left out (CR LF is one grapheme), as are the combining marks of Cyrillic.
bool standsAlone(char32_t c)
{
    return (c < 0x80 && c != U'\r') || (c >= 0xA0 && c <= 0xFF && c != 0xAD) ||
           (c >= 0x400 && c <= 0x482) || (c >= 0x48A && c <= 0x52F) ||
           (c >= 0x2010 && c <= 0x2027) || c == 0x2116;
}

// At most `most` characters: a continuation byte begins none.
bool atMostCharacters(std::string_view utf8, size_t most)
{
    size_t characters = 0;
    for (const char byte : utf8)
        if ((static_cast<unsigned char>(byte) & 0xC0) != 0x80 && ++characters > most)
            return false;
    return true;
}

size_t prefixBytesOfText(std::string_view utf8)
{
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    // A byte sequence that is no UTF-8 reads as replacement characters of other lengths.
    return std::min<size_t>(static_cast<size_t>(changesPrefix(text).toUtf8().size()), utf8.size());
}

} // namespace

int64_t Frequencies::otherRecords() const
{
    int64_t listedRecords = 0;
    for (const ValueCount& count : listed)
        listedRecords += count.records;
    return records - listedRecords;
}

std::vector<ValueColumn> frequencyColumns(const QString& fieldName, ColumnType type)
{
    const QString name = fieldName.toUpper();
    if (name == QLatin1String("DDATE"))
        return type == ColumnType::Date ? std::vector{ValueColumn::Day}
                                        : std::vector<ValueColumn>{};
    if (type != ColumnType::Text)
        return {};
    if (name == QLatin1String("STABLE"))
        return {ValueColumn::Table};
    if (name == QLatin1String("SACTION"))
        return {ValueColumn::Action};
    if (name == QLatin1String("SCHANGES"))
        return {ValueColumn::Changes};
    if (name == QLatin1String("SUSER_INFO"))
        return {ValueColumn::UserInfo, ValueColumn::OSUser, ValueColumn::PC,
                ValueColumn::OracleUser};
    return {};
}

Frequencies countValues(const Dataset& dataset, int column, ValueColumn by,
                        const LocaleText& locale, size_t listed,
                        const std::function<void(int64_t records)>& progress)
{
    Frequencies frequencies;
    frequencies.by = by;
    if (!dataset.isOpen())
        return frequencies;
    const ColumnType type = dataset.rows().column(column).type;
    if (type != (by == ValueColumn::Day ? ColumnType::Date : ColumnType::Text))
        throw std::invalid_argument("countValues: the column cannot be counted that way");

    int64_t nulls = 0;
    std::vector<Counted> counted = by == ValueColumn::Day
                                       ? countDays(dataset, column, progress, nulls)
                                       : countTexts(dataset, column, by, progress, nulls);
    if (nulls > 0)
        counted.push_back({nulls, SIZE_MAX, ColumnValue::ofNull(by)});
    frequencies.records = dataset.recordCount();
    frequencies.values = static_cast<int64_t>(counted.size());

    // The listed ones: the most records, of equal counts the first met. Most values fall
    // short of the least kept one, so one comparison each does for ten million of them.
    const auto before = [&](size_t a, size_t b) {
        return counted[a].records != counted[b].records ? counted[a].records > counted[b].records
                                                        : counted[a].first < counted[b].first;
    };
    std::priority_queue<size_t, std::vector<size_t>, decltype(before)> kept(before);
    CancellationCounter steps;
    for (size_t i = 0; i < counted.size() && listed > 0; ++i) {
        steps.step();
        if (kept.size() < listed) {
            kept.push(i);
        } else if (before(i, kept.top())) {
            kept.pop();
            kept.push(i);
        }
    }
    for (; !kept.empty(); kept.pop()) {
        Counted& value = counted[kept.top()];
        if (value.data)
            value.value = ColumnValue::ofText(
                by, QString::fromUtf8(value.data, static_cast<qsizetype>(value.size)));
        frequencies.listed.push_back({value.value, value.records});
    }

    QCollator collator(locale.locale());
    std::sort(frequencies.listed.begin(), frequencies.listed.end(),
              [&](const ValueCount& a, const ValueCount& b) {
                  if (a.records != b.records)
                      return a.records > b.records;
                  if (a.value.null || b.value.null)
                      return b.value.null && !a.value.null;
                  if (by == ValueColumn::Day)
                      return a.value.day < b.value.day;
                  return collator.compare(a.value.text, b.value.text) < 0;
              });
    return frequencies;
}

size_t changesPrefixBytes(std::string_view utf8)
{
    // No more bytes than characters kept: the whole text.
    if (utf8.size() <= size_t(kPrefixCharacters))
        return utf8.size();
    int characters = 0;
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const size_t length = lead < 0x80             ? 1
                              : (lead & 0xE0) == 0xC0 ? 2
                              : (lead & 0xF0) == 0xE0 ? 3
                              : (lead & 0xF8) == 0xF0 ? 4
                                                      : 0;
        if (length == 0 || i + length > utf8.size())
            return prefixBytesOfText(utf8);
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80)
                return prefixBytesOfText(utf8);
            c = (c << 6) | (next & 0x3F);
        }
        // An overlong form is no character that Qt reads.
        if ((length == 2 && c < 0x80) || (length == 3 && c < 0x800))
            return prefixBytesOfText(utf8);
        if (!standsAlone(c))
            return atMostCharacters(utf8, kPrefixCharacters) ? utf8.size()
                                                             : prefixBytesOfText(utf8);
        // The character after the hundredth, which stands alone, begins no part of them.
        if (characters == kPrefixCharacters)
            return i;
        ++characters;
        i += length;
    }
    return utf8.size();
}

} // namespace varnel
