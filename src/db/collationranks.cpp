#include "db/collationranks.h"

#include "db/call.h"

#include <QCollator>
#include <QCollatorSortKey>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <numeric>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace varnel {

namespace {

QString qstring(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Ranks of distinct texts in the collator's order, through one sort key each; texts it holds
// equal share a rank.
std::vector<uint32_t> sortKeyRanks(const std::vector<std::string_view>& texts,
                                   const QCollator& collator)
{
    std::vector<QCollatorSortKey> keys;
    keys.reserve(texts.size());
    CancellationCounter keying(256);
    for (std::string_view t : texts) {
        keying.step();
        keys.push_back(collator.sortKey(qstring(t)));
    }
    std::vector<uint32_t> order(texts.size());
    std::iota(order.begin(), order.end(), 0u);
    CancellationCounter steps;
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        steps.step();
        return keys[a].compare(keys[b]) < 0;
    });
    std::vector<uint32_t> rank(texts.size());
    for (size_t i = 0, r = 0; i < order.size(); ++i) {
        if (i > 0 && keys[order[i - 1]].compare(keys[order[i]]) != 0)
            ++r;
        rank[order[i]] = static_cast<uint32_t>(r);
    }
    return rank;
}

// The distinct texts of `texts`, in first appearance, and for each text the number of its
// distinct one.
struct Distinct {
    std::vector<std::string_view> texts;
    std::vector<uint32_t> of;
};

Distinct distinctTexts(const std::vector<std::string_view>& texts)
{
    Distinct d;
    std::unordered_map<std::string_view, uint32_t> index;
    d.of.reserve(texts.size());
    CancellationCounter steps;
    for (std::string_view t : texts) {
        steps.step();
        auto [it, added] = index.try_emplace(t, static_cast<uint32_t>(d.texts.size()));
        if (added)
            d.texts.push_back(t);
        d.of.push_back(it->second);
    }
    return d;
}

// ---------------------------------------------------------------------------------------------
// Collation order without a sort key per text.
//
// ICU, which Qt collates with, compares two texts first by the sequences of primary weights of
// their characters, and only when those are equal by accents and letter case. For the Russian
// and English collations (and Qt's C collation, which is code point order) each character of
// the set below has exactly one non-zero primary weight, whatever character of the set
// follows it: ICU's data holds no contraction between two of them and no expansion with a
// second primary (Ё and ё add an accent weight only; checked with ICU 72's
// ucol_getContractionsAndExpansions for ru and root). So where two texts over the set first
// differ in primary class, that difference decides their order, and a text that ends where the
// other goes on comes first. Only texts of equal class sequences ("ORDERS" and "orders") need
// the collator. A character outside the set may combine with the one before it (И followed by
// a combining breve is Й, a letter of its own), so such a text is ranked by its classes only up
// to the character before the first one outside the set, and by the collator beyond.
//
// The classes are read from the collator itself, and the claim is checked on every text of one
// and two characters of the set before it is trusted; the check runs once per collation. Other
// languages, a collation that fails the check, and Windows and macOS (where Qt collates
// through the system) take one sort key per distinct text.

// The characters ranked by class: printable ASCII, tab, line feed, carriage return, the Russian
// alphabet, guillemets and the en and em dashes.
std::vector<char32_t> classCharacters()
{
    std::vector<char32_t> set = {U'\t', U'\n', U'\r', 0x401, 0x451, 0xAB, 0xBB, 0x2013, 0x2014};
    for (char32_t c = 0x20; c < 0x7F; ++c)
        set.push_back(c);
    for (char32_t c = 0x410; c < 0x450; ++c)
        set.push_back(c);
    return set;
}

constexpr uint8_t kEnded = 0;     // after a text's last character: before every class
constexpr uint8_t kOutside = 255; // a character outside the set, or one not to be trusted

class PrimaryClasses {
public:
    // The classes of the collator's order, or nullptr where the fast path is not proven for it.
    static const PrimaryClasses* of(const QCollator& collator);

    // The class (1..254) of the UTF-8 character at `i`, which moves past it; kOutside for a
    // character outside the set or a malformed sequence.
    uint8_t next(std::string_view s, size_t& i) const
    {
        const auto lead = static_cast<unsigned char>(s[i]);
        if (lead < 0x80) {
            ++i;
            return m_small[lead];
        }
        if ((lead & 0xE0) == 0xC0 && i + 1 < s.size()) {
            const auto follow = static_cast<unsigned char>(s[i + 1]);
            const unsigned cp = ((lead & 0x1Fu) << 6) | (follow & 0x3Fu);
            if ((follow & 0xC0) == 0x80 && cp >= 0x80) {
                i += 2;
                return m_small[cp];
            }
        } else if (lead == 0xE2 && i + 2 < s.size() && s[i + 1] == '\x80' &&
                   (s[i + 2] == '\x93' || s[i + 2] == '\x94')) {
            i += 3;
            return s[i - 1] == '\x93' ? m_enDash : m_emDash;
        }
        ++i;
        return kOutside;
    }

private:
    static std::unique_ptr<PrimaryClasses> derive(const QCollator& collator);
    void set(char32_t c, uint8_t cls);

    PrimaryClasses() { m_small.fill(kOutside); }

    std::array<uint8_t, 0x800> m_small; // by code point, below U+0800
    uint8_t m_enDash = kOutside;
    uint8_t m_emDash = kOutside;
};

void PrimaryClasses::set(char32_t c, uint8_t cls)
{
    if (c == 0x2013)
        m_enDash = cls;
    else if (c == 0x2014)
        m_emDash = cls;
    else
        m_small[c] = cls;
}

std::unique_ptr<PrimaryClasses> PrimaryClasses::derive(const QCollator& collator)
{
    const std::vector<char32_t> chars = classCharacters();
    auto text = [&](std::initializer_list<char32_t> cs) {
        QString s;
        for (char32_t c : cs)
            s += QChar(static_cast<char16_t>(c));
        return s;
    };
    std::vector<QCollatorSortKey> single;
    for (char32_t c : chars)
        single.push_back(collator.sortKey(text({c})));
    std::vector<uint32_t> order(chars.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return single[a].compare(single[b]) < 0; });
    // Neighbours share a primary weight exactly when what follows them decides: x+highest
    // after y+lowest.
    const char32_t lowest = chars[order.front()], highest = chars[order.back()];
    std::vector<uint8_t> cls(chars.size());
    unsigned next = 1;
    for (size_t k = 0; k < order.size(); ++k) {
        if (k > 0 && collator.compare(text({chars[order[k - 1]], highest}),
                                      text({chars[order[k]], lowest})) <= 0)
            ++next;
        if (next > 254)
            return nullptr;
        cls[order[k]] = static_cast<uint8_t>(next);
    }

    // Every text of one and two characters, in the collator's order, must come in order of its
    // classes, and texts of different classes must never collate equal.
    std::vector<std::pair<uint16_t, QCollatorSortKey>> probes;
    probes.reserve(chars.size() * (chars.size() + 1));
    for (size_t a = 0; a < chars.size(); ++a) {
        probes.emplace_back(static_cast<uint16_t>(cls[a] << 8), single[a]);
        for (size_t b = 0; b < chars.size(); ++b)
            probes.emplace_back(static_cast<uint16_t>(cls[a] << 8 | cls[b]),
                                collator.sortKey(text({chars[a], chars[b]})));
    }
    std::stable_sort(probes.begin(), probes.end(),
                     [](const auto& a, const auto& b) { return a.second.compare(b.second) < 0; });
    for (size_t k = 1; k < probes.size(); ++k) {
        const auto& [previous, previousKey] = probes[k - 1];
        const auto& [current, currentKey] = probes[k];
        if (previous > current || (previous != current && previousKey.compare(currentKey) == 0))
            return nullptr;
    }

    std::unique_ptr<PrimaryClasses> classes(new PrimaryClasses);
    for (size_t k = 0; k < chars.size(); ++k)
        classes->set(chars[k], cls[k]);
    return classes;
}

const PrimaryClasses* PrimaryClasses::of(const QCollator& collator)
{
#if defined(Q_OS_WIN) || defined(Q_OS_DARWIN)
    // Qt collates through the system there, whose rules were not examined.
    Q_UNUSED(collator);
    return nullptr;
#else
    const QLocale::Language language = collator.locale().language();
    if (language != QLocale::Russian && language != QLocale::English && language != QLocale::C)
        return nullptr;
    const QString id = collator.locale().name() + QStringLiteral("/%1%2%3")
                                                      .arg(int(collator.caseSensitivity()))
                                                      .arg(int(collator.numericMode()))
                                                      .arg(int(collator.ignorePunctuation()));
    static std::mutex mutex;
    static std::map<QString, std::unique_ptr<PrimaryClasses>> known;
    const std::lock_guard<std::mutex> lock(mutex);
    auto it = known.find(id);
    if (it == known.end())
        it = known.emplace(id, derive(collator)).first;
    return it->second.get();
#endif
}

// Reads the classes of a text one character at a time. A character is trusted only when it
// and the one after it are in the set: a character outside the set may combine with the one
// before it.
class ClassReader {
public:
    ClassReader(const PrimaryClasses& classes, std::string_view text, size_t offset = 0)
        : m_classes(classes), m_text(text), m_next(offset)
    {
        advance();
    }

    // The class of the next character, kEnded after the last, kOutside when untrusted.
    uint8_t take()
    {
        const uint8_t current = m_ahead;
        if (current == kEnded || current == kOutside)
            return current;
        advance();
        return m_ahead == kOutside ? kOutside : current;
    }
    // Where the character after the taken ones starts.
    size_t offset() const { return m_aheadAt; }

private:
    void advance()
    {
        m_aheadAt = m_next;
        m_ahead = m_next == m_text.size() ? kEnded : m_classes.next(m_text, m_next);
    }

    const PrimaryClasses& m_classes;
    std::string_view m_text;
    size_t m_next;
    size_t m_aheadAt = 0;
    uint8_t m_ahead = kEnded;
};

// The texts in collation order, ranked by their classes as far as those are trusted and by the
// collator beyond. Ties keep their positions' order.
class ClassOrder {
public:
    ClassOrder(const PrimaryClasses& classes, const QCollator& collator,
               const std::vector<std::string_view>& texts)
        : m_classes(classes), m_collator(collator), m_texts(texts)
    {}

    // The rank of each text: texts that collate equal share one.
    std::vector<uint32_t> ranks();

private:
    struct Keyed {
        uint64_t key;    // eight classes, the first in the highest byte; kEnded after the end
        uint32_t offset; // where the characters after them start
        uint32_t pos;
    };
    // Equal texts that their classes cannot place: placed by comparison.
    struct Partial {
        std::string_view text;
        mutable QString full; // for the collator, made when first needed
        std::vector<uint32_t> positions;
    };

    // The classes of the eight characters from `keyed.offset` on into `keyed.key`; false when
    // one of them is untrusted.
    bool pack(Keyed& keyed) const;
    void addPartial(uint32_t pos);
    void sortKeyed();
    // Sorts m_keyed[begin, end) by key, stably.
    void sortByKey(size_t begin, size_t end, std::vector<Keyed>& buffer);
    void rankEqualClasses(size_t begin, size_t end, bool same);
    void sortPartial();
    int compare(const Partial& a, std::string_view b, const QString* bFull) const;

    const PrimaryClasses& m_classes;
    const QCollator& m_collator;
    const std::vector<std::string_view>& m_texts;
    std::vector<Keyed> m_keyed;
    std::vector<uint8_t> m_joinsByPos; // collates equal to the text before it in m_keyed
    std::vector<Partial> m_partial;
    std::unordered_map<std::string_view, uint32_t> m_partialIndex;
    std::vector<uint8_t> m_partialJoins; // m_partial[i] collates equal to m_partial[i - 1]
};

bool ClassOrder::pack(Keyed& keyed) const
{
    ClassReader reader(m_classes, m_texts[keyed.pos], keyed.offset);
    keyed.key = 0;
    for (int shift = 56; shift >= 0; shift -= 8) {
        const uint8_t cls = reader.take();
        if (cls == kOutside)
            return false;
        keyed.key |= uint64_t(cls) << shift;
        if (cls == kEnded)
            break;
    }
    keyed.offset = static_cast<uint32_t>(reader.offset());
    return true;
}

void ClassOrder::addPartial(uint32_t pos)
{
    const std::string_view text = m_texts[pos];
    auto [it, added] = m_partialIndex.try_emplace(text, static_cast<uint32_t>(m_partial.size()));
    if (added)
        m_partial.push_back(Partial{text, QString(), {}});
    m_partial[it->second].positions.push_back(pos);
}

void ClassOrder::sortKeyed()
{
    // Eight classes at a time, most significant first: a run of equal keys is sorted again by
    // its next eight, until its texts end or differ. Only the characters needed to tell texts
    // apart are read, so a character outside the set further on makes no difference. Runs
    // wait on a stack, not in recursion: a long text has many keys.
    // Every range is in position order before it is sorted, and sorting is stable, so equal
    // keys stay in position order.
    std::vector<Keyed> buffer;
    std::vector<std::pair<size_t, size_t>> pending = {{0, m_keyed.size()}};
    while (!pending.empty()) {
        const auto [begin, end] = pending.back();
        pending.pop_back();
        cancellationPoint();
        sortByKey(begin, end, buffer);
        CancellationCounter runs(4096);
        for (size_t run = begin; run < end;) {
            runs.step();
            size_t runEnd = run + 1;
            bool same = true; // the same text throughout
            while (runEnd < end && m_keyed[runEnd].key == m_keyed[run].key) {
                same = same && m_texts[m_keyed[runEnd].pos] == m_texts[m_keyed[run].pos];
                ++runEnd;
            }
            if (runEnd - run > 1 && (same || (m_keyed[run].key & 0xFF) == kEnded)) {
                rankEqualClasses(run, runEnd, same);
            } else if (runEnd - run > 1) {
                // Texts that their next characters cannot place leave the run.
                size_t kept = run;
                for (size_t i = run; i < runEnd; ++i) {
                    if (pack(m_keyed[i]))
                        m_keyed[kept++] = m_keyed[i];
                    else
                        addPartial(m_keyed[i].pos);
                }
                for (size_t i = kept; i < runEnd; ++i)
                    m_keyed[i].pos = UINT32_MAX;
                pending.emplace_back(run, kept);
            }
            run = runEnd;
        }
    }
    std::erase_if(m_keyed, [](const Keyed& k) { return k.pos == UINT32_MAX; });
}

void ClassOrder::sortByKey(size_t begin, size_t end, std::vector<Keyed>& buffer)
{
    const auto first = m_keyed.begin() + static_cast<std::ptrdiff_t>(begin);
    const size_t n = end - begin;
    if (n < 256) {
        std::stable_sort(first, first + static_cast<std::ptrdiff_t>(n),
                         [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
        return;
    }
    // Least significant byte first; a byte that all keys share is skipped.
    std::array<std::array<size_t, 256>, 8> counts{};
    CancellationCounter steps;
    for (size_t i = 0; i < n; ++i) {
        steps.step();
        for (int b = 0; b < 8; ++b)
            ++counts[b][(first[static_cast<std::ptrdiff_t>(i)].key >> (8 * b)) & 0xFF];
    }
    buffer.resize(std::max(buffer.size(), n));
    Keyed* from = &*first;
    Keyed* to = buffer.data();
    for (int b = 0; b < 8; ++b) {
        std::array<size_t, 256>& count = counts[b];
        if (count[(from[0].key >> (8 * b)) & 0xFF] == n)
            continue;
        for (size_t sum = 0, k = 0; k < 256; ++k)
            sum += std::exchange(count[k], sum);
        cancellationPoint();
        for (size_t i = 0; i < n; ++i)
            to[count[(from[i].key >> (8 * b)) & 0xFF]++] = from[i];
        std::swap(from, to);
    }
    if (from != &*first)
        std::copy(from, from + n, first);
}

void ClassOrder::rankEqualClasses(size_t begin, size_t end, bool same)
{
    // Equal classes throughout: the same text, or ones that differ in accents or letter case,
    // which the collator ranks. The run is in position order.
    if (!same) {
        std::vector<std::string_view> texts;
        for (size_t i = begin; i < end; ++i)
            texts.push_back(m_texts[m_keyed[i].pos]);
        const Distinct distinct = distinctTexts(texts);
        const std::vector<uint32_t> rank = sortKeyRanks(distinct.texts, m_collator);
        std::vector<std::pair<uint32_t, Keyed>> ranked;
        for (size_t i = begin; i < end; ++i)
            ranked.emplace_back(rank[distinct.of[i - begin]], m_keyed[i]);
        std::stable_sort(ranked.begin(), ranked.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (size_t i = begin; i < end; ++i) {
            m_keyed[i] = ranked[i - begin].second;
            if (i > begin)
                m_joinsByPos[m_keyed[i].pos] =
                    ranked[i - begin - 1].first == ranked[i - begin].first;
        }
        return;
    }
    for (size_t i = begin + 1; i < end; ++i)
        m_joinsByPos[m_keyed[i].pos] = 1;
}

int ClassOrder::compare(const Partial& a, std::string_view b, const QString* bFull) const
{
    ClassReader ra(m_classes, a.text), rb(m_classes, b);
    for (;;) {
        const uint8_t ca = ra.take(), cb = rb.take();
        if (ca == kOutside || cb == kOutside)
            break;
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (ca == kEnded)
            break;
    }
    if (a.text == b)
        return 0;
    if (a.full.isEmpty())
        a.full = qstring(a.text);
    return m_collator.compare(a.full, bFull ? *bFull : qstring(b));
}

void ClassOrder::sortPartial()
{
    auto full = [](const Partial& p) -> const QString& {
        if (p.full.isEmpty())
            p.full = qstring(p.text);
        return p.full;
    };
    std::vector<uint32_t> order(m_partial.size());
    std::iota(order.begin(), order.end(), 0u);
    // A comparison may ask the collator.
    CancellationCounter steps(1024);
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        steps.step();
        return compare(m_partial[a], m_partial[b].text, &full(m_partial[b])) < 0;
    });
    std::vector<Partial> sorted;
    sorted.reserve(m_partial.size());
    for (uint32_t i : order)
        sorted.push_back(std::move(m_partial[i]));
    m_partial.swap(sorted);
    m_partialJoins.assign(m_partial.size(), 0);
    for (size_t i = 1; i < m_partial.size(); ++i) {
        steps.step();
        m_partialJoins[i] = compare(m_partial[i - 1], m_partial[i].text, &full(m_partial[i])) == 0;
    }
}

std::vector<uint32_t> ClassOrder::ranks()
{
    m_joinsByPos.assign(m_texts.size(), 0);
    m_keyed.reserve(m_texts.size());
    CancellationCounter steps;
    for (uint32_t pos = 0; pos < m_texts.size(); ++pos) {
        steps.step();
        Keyed keyed{0, 0, pos};
        if (pack(keyed))
            m_keyed.push_back(keyed);
        else
            addPartial(pos);
    }
    sortKeyed();
    sortPartial();

    // The keyed texts in groups that collate equal, each in position order.
    std::vector<size_t> groups;
    for (size_t i = 0; i < m_keyed.size(); ++i)
        if (i == 0 || !m_joinsByPos[m_keyed[i].pos])
            groups.push_back(i);
    groups.push_back(m_keyed.size());

    // Each group of equal partial texts goes before the first keyed group that does not
    // collate before it, or joins that group when equal. Insertion points only move forward.
    std::vector<uint32_t> rank(m_texts.size());
    uint32_t nextRank = 0;
    size_t group = 0; // the first keyed group not yet ranked
    auto rankKeyed = [&](size_t untilGroup) {
        for (; group < untilGroup; ++group, ++nextRank)
            for (size_t i = groups[group]; i < groups[group + 1]; ++i)
                rank[m_keyed[i].pos] = nextRank;
    };
    const size_t groupCount = groups.size() - 1;
    CancellationCounter placing(256);
    for (size_t p = 0; p < m_partial.size();) {
        placing.step();
        const Partial& head = m_partial[p];
        auto before = [&](size_t g) {
            return compare(head, m_texts[m_keyed[groups[g]].pos], nullptr) > 0;
        };
        // Gallop, then bisect.
        size_t low = group, step = 1;
        while (low + step <= groupCount && before(low + step - 1)) {
            low += step;
            step *= 2;
        }
        size_t high = std::min(low + step, groupCount);
        while (low < high) {
            const size_t mid = low + (high - low) / 2;
            if (before(mid))
                low = mid + 1;
            else
                high = mid;
        }
        rankKeyed(low);
        const bool joins =
            group < groupCount && compare(head, m_texts[m_keyed[groups[group]].pos], nullptr) == 0;
        do {
            for (uint32_t pos : m_partial[p].positions)
                rank[pos] = nextRank;
            ++p;
        } while (p < m_partial.size() && m_partialJoins[p]);
        if (joins)
            rankKeyed(group + 1);
        else
            ++nextRank;
    }
    rankKeyed(groupCount);
    return rank;
}

} // namespace

std::vector<uint32_t> collationRanks(const std::vector<std::string_view>& texts,
                                     const QCollator& collator)
{
    const PrimaryClasses* classes = PrimaryClasses::of(collator);
    // Sort keys are costly: one per distinct text. Ranking by classes reads only what tells
    // texts apart, so it takes every text as it comes, unless a sample says the texts repeat
    // a few values (table names, actions), which are cheaper to rank once each.
    bool repeats = classes == nullptr;
    if (!repeats) {
        const size_t sample = std::min<size_t>(texts.size(), 4096);
        std::unordered_set<std::string_view> seen(
            texts.begin(), texts.begin() + static_cast<std::ptrdiff_t>(sample));
        repeats = seen.size() * 4 < sample;
    }
    if (!repeats)
        return ClassOrder(*classes, collator, texts).ranks();
    const Distinct distinct = distinctTexts(texts);
    const std::vector<uint32_t> distinctRank =
        classes ? ClassOrder(*classes, collator, distinct.texts).ranks()
                : sortKeyRanks(distinct.texts, collator);
    std::vector<uint32_t> rank(texts.size());
    for (size_t i = 0; i < texts.size(); ++i)
        rank[i] = distinctRank[distinct.of[i]];
    return rank;
}

} // namespace varnel
