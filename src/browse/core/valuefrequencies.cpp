#include "browse/core/valuefrequencies.h"

#include "base/civiltime.h"
#include "base/largepages.h"
#include "db/call.h"
#include "db/dataset.h"

#include <QCollator>
#include <QHash>
#include <queue>

#include <algorithm>
#include <array>
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

    // The high half of the bytes' hash, which places their slot and tells most others apart.
    static uint32_t tagOf(std::string_view bytes)
    {
        return static_cast<uint32_t>(hashBytes(bytes.data(), bytes.size()) >> 32);
    }
    // Asks the processor for the slot of `tag` ahead of its add: the slots of millions of
    // distinct texts outgrow the caches, and the count would otherwise spend most of its time
    // waiting for them one at a time.
    void prefetch(uint32_t tag) const
    {
#if defined(__GNUC__) || defined(__clang__)
        __builtin_prefetch(m_slots.data() + (tag & m_mask));
#else
        (void)tag;
#endif
    }

    void add(std::string_view bytes, uint32_t tag)
    {
        for (size_t i = tag & m_mask;; i = (i + 1) & m_mask) {
            const uint64_t slot = m_slots[i];
            if (slot == 0) {
                m_groups.push_back({bytes.data(), static_cast<uint32_t>(bytes.size()), 1});
                m_slots[i] = (uint64_t(tag) << 32) | m_groups.size();
                if (m_groups.size() * 4 > m_slots.size() * 3)
                    rehash(m_slots.size() * 2);
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

    size_t size() const
    {
        return m_groups.size();
    }
    // Makes room at once for about `groups` groups: when most texts are distinct, growing by
    // doubling would clear and copy twice the memory the count ends with.
    void expect(size_t groups)
    {
        m_groups.reserve(groups);
        size_t room = m_slots.size();
        while (groups * 4 > room * 3)
            room *= 2;
        if (room > m_slots.size())
            rehash(room);
    }

    // The groups, in the order first met; the counting ends with it.
    std::vector<Group, LargePageAllocator<Group>> take()
    {
        return std::move(m_groups);
    }

private:
    // A slot: the hash's high 32 bits, which also place it, and its group's index plus one.
    void rehash(size_t size)
    {
        std::vector<uint64_t, LargePageAllocator<uint64_t>> wider(size, 0);
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

    // In large pages: the slots are read at random, and small pages would cost a walk of the
    // page tables for most reads.
    std::vector<uint64_t, LargePageAllocator<uint64_t>> m_slots;
    size_t m_mask;
    std::vector<Group, LargePageAllocator<Group>> m_groups;
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

// The values counted, indexed in the order first met (so an index breaks ties), NULL aside:
// either groups of bytes that are the values themselves, or values made already.
struct Tally {
    std::vector<ByteGroups::Group, LargePageAllocator<ByteGroups::Group>> groups;
    std::vector<std::pair<ColumnValue, int64_t>> made; // when there are no groups
    int64_t nulls = 0;

    size_t size() const { return groups.empty() ? made.size() : groups.size(); }
    int64_t records(size_t i) const { return groups.empty() ? made[i].second : groups[i].records; }
    ColumnValue value(size_t i, ValueColumn by) const
    {
        if (groups.empty())
            return made[i].first;
        return ColumnValue::ofText(
            by, QString::fromUtf8(groups[i].data, static_cast<qsizetype>(groups[i].size)));
    }
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

Tally countTexts(const Dataset& dataset, int column, ValueColumn by,
                 const std::function<void(int64_t)>& progress)
{
    const RowSet& rows = dataset.rows();
    ByteGroups raw;
    Tally tally;
    const bool prefix = by == ValueColumn::Changes;
    // Each text waits for its add while the slots of the next ones are fetched.
    constexpr size_t kAhead = 16;
    std::array<std::pair<std::string_view, uint32_t>, kAhead> waiting;
    size_t met = 0;
    forEachRecord(dataset, progress, [&](uint32_t row) {
        if (rows.isNull(row, column)) {
            ++tally.nulls;
            return;
        }
        std::string_view text = rows.text(row, column);
        if (prefix)
            text = text.substr(0, changesPrefixBytes(text));
        // Most texts of the first ones distinct: most of all will be.
        constexpr size_t kSample = 1u << 16;
        if (met == kSample && raw.size() > kSample / 4)
            raw.expect(static_cast<size_t>(double(raw.size()) / kSample * 1.05 *
                                           double(dataset.recordCount())));
        auto& next = waiting[met++ % kAhead];
        if (met > kAhead)
            raw.add(next.first, next.second);
        next = {text, ByteGroups::tagOf(text)};
        raw.prefetch(next.second);
    });
    for (size_t i = met > kAhead ? met - kAhead : 0; i < met; ++i)
        raw.add(waiting[i % kAhead].first, waiting[i % kAhead].second);

    auto groups = raw.take();
    // An empty text is NULL, as Oracle has it; the embedded engine stores none.
    const auto empty = std::find_if(groups.begin(), groups.end(),
                                    [](const ByteGroups::Group& group) { return group.size == 0; });
    if (empty != groups.end()) {
        tally.nulls += empty->records;
        groups.erase(empty);
    }
    if (by == ValueColumn::Changes || by == ValueColumn::UserInfo) {
        // The stored text is the value: no two groups share one.
        tally.groups = std::move(groups);
        return tally;
    }
    // Texts that the lists show alike ("orders" and "ORDERS") are one value; the first group
    // of a value is the first met of them.
    QHash<QString, size_t> index;
    for (const ByteGroups::Group& group : groups) {
        const QString value =
            comparedText(by, QString::fromUtf8(group.data, static_cast<qsizetype>(group.size)));
        if (value.isEmpty()) {
            tally.nulls += group.records;
            continue;
        }
        auto at = index.constFind(value);
        if (at == index.constEnd()) {
            at = index.insert(value, tally.made.size());
            tally.made.emplace_back(ColumnValue::ofText(by, value), 0);
        }
        tally.made[*at].second += group.records;
    }
    return tally;
}

Tally countDays(const Dataset& dataset, int column, const std::function<void(int64_t)>& progress)
{
    const RowSet& rows = dataset.rows();
    Tally tally;
    std::vector<std::pair<int64_t, int64_t>> days; // day number, records
    std::unordered_map<int64_t, size_t> index;
    // The rows come by date unless sorted otherwise: most follow one of their own day.
    int64_t lastDay = 0;
    size_t last = SIZE_MAX;
    forEachRecord(dataset, progress, [&](uint32_t row) {
        if (rows.isNull(row, column)) {
            ++tally.nulls;
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
    for (const auto& [day, records] : days) {
        const civil::Ymd ymd = civil::civilFromDays(day);
        tally.made.emplace_back(
            ColumnValue::ofDay(QDate(static_cast<int>(ymd.year), static_cast<int>(ymd.month),
                                     static_cast<int>(ymd.day))),
            records);
    }
    return tally;
}

// Whether no neighbour ever joins this character into one grapheme with another: the
// letters, digits and punctuation of ASCII, Latin-1 and Cyrillic that log texts are made of,
// but for CR, which is one with an LF after it. The combining marks of Cyrillic are left out.
bool standsAlone(char32_t c)
{
    return c < 0x80 || (c >= 0xA0 && c <= 0xFF && c != 0xAD) || (c >= 0x400 && c <= 0x482) ||
           (c >= 0x48A && c <= 0x52F) || (c >= 0x2010 && c <= 0x2027) || c == 0x2116;
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

    const Tally tally = by == ValueColumn::Day ? countDays(dataset, column, progress)
                                               : countTexts(dataset, column, by, progress);
    // NULL is counted as the value after the last, so that of equal counts it goes last.
    const size_t values = tally.size() + (tally.nulls > 0 ? 1 : 0);
    const auto records = [&](size_t i) {
        return i < tally.size() ? tally.records(i) : tally.nulls;
    };
    frequencies.records = dataset.recordCount();
    frequencies.values = static_cast<int64_t>(values);

    // The listed ones: the most records, of equal counts the first met. Most values fall
    // short of the least kept one, so one comparison each does for ten million of them.
    const auto before = [&](size_t a, size_t b) {
        const int64_t ra = records(a), rb = records(b);
        return ra != rb ? ra > rb : a < b;
    };
    std::priority_queue<size_t, std::vector<size_t>, decltype(before)> kept(before);
    CancellationCounter steps;
    for (size_t i = 0; i < values && listed > 0; ++i) {
        steps.step();
        if (kept.size() < listed) {
            kept.push(i);
        } else if (before(i, kept.top())) {
            kept.pop();
            kept.push(i);
        }
    }
    for (; !kept.empty(); kept.pop()) {
        const size_t i = kept.top();
        frequencies.listed.push_back(
            {i < tally.size() ? tally.value(i, by) : ColumnValue::ofNull(by), records(i)});
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
        if (c == U'\r' && i < utf8.size() && utf8[i] == '\n')
            ++i;
    }
    return utf8.size();
}

} // namespace varnel
