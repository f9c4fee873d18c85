#include "base/textneedle.h"

#include <QByteArray>
#include <QChar>
#include <QList>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <utility>

namespace varnel {

namespace {

// What an invalid UTF-8 byte reads as: no character at all, so it matches none.
constexpr char32_t Invalid = 0xFFFFFFFF;

char32_t foldOf(char32_t c)
{
    return c == u'\r' || c == u'\n' ? U' ' : QChar::toCaseFolded(c);
}

// Folding of the characters of one and two UTF-8 bytes, which nearly every text of a log is
// made of, by table; the rest asks Qt.
struct FoldTables {
    std::array<char32_t, 0x800> small{};
    // (folded, character) for every character that folding changes, by folded character.
    std::vector<std::pair<char32_t, char32_t>> unfold;

    FoldTables()
    {
        for (char32_t c = 0; c < small.size(); ++c)
            small[c] = foldOf(c);
        for (char32_t c = 0; c <= 0x10FFFF; ++c) {
            if (c >= 0xD800 && c <= 0xDFFF)
                continue;
            const char32_t f = foldOf(c);
            if (f != c)
                unfold.emplace_back(f, c);
        }
        std::sort(unfold.begin(), unfold.end());
    }
};

const FoldTables& tables()
{
    static const FoldTables built;
    return built;
}

std::string utf8Of(char32_t c)
{
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

bool continuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

// The folded character at `p` and its length in bytes; CR LF is one blank.
inline std::pair<char32_t, int> foldedAt(const unsigned char* p, const unsigned char* end,
                                         const FoldTables& t)
{
    const unsigned char b = *p;
    if (b < 0x80) {
        if (b == '\r' && p + 1 < end && p[1] == '\n')
            return {U' ', 2};
        return {t.small[b], 1};
    }
    const ptrdiff_t left = end - p;
    if (b >= 0xC2 && b <= 0xDF) {
        if (left >= 2 && continuation(p[1]))
            return {t.small[((b & 0x1Fu) << 6) | (p[1] & 0x3Fu)], 2};
    } else if (b >= 0xE0 && b <= 0xEF) {
        if (left >= 3 && continuation(p[1]) && continuation(p[2]) && (b != 0xE0 || p[1] >= 0xA0) &&
            (b != 0xED || p[1] < 0xA0))
            return {
                QChar::toCaseFolded(((b & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu)),
                3};
    } else if (b >= 0xF0 && b <= 0xF4) {
        if (left >= 4 && continuation(p[1]) && continuation(p[2]) && continuation(p[3]) &&
            (b != 0xF0 || p[1] >= 0x90) && (b != 0xF4 || p[1] < 0x90))
            return {QChar::toCaseFolded(((b & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) |
                                        ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu)),
                    4};
    }
    return {Invalid, 1};
}

} // namespace

TextNeedle::TextNeedle(QStringView text)
{
    const QList<uint> codes = text.toUcs4();
    for (qsizetype i = 0; i < codes.size(); ++i) {
        // The grid shows CR LF as one blank.
        if (codes[i] == u'\n' && i > 0 && codes[i - 1] == u'\r')
            continue;
        m_folded += foldOf(static_cast<char32_t>(codes[i]));
    }
    if (!m_folded.empty())
        m_pivot = pivotAt(0);
}

TextNeedle::Pivot TextNeedle::pivotAt(size_t index) const
{
    const FoldTables& t = tables();
    Pivot pivot;
    pivot.index = index;
    const char32_t wanted = m_folded[index];
    pivot.encodings.push_back(utf8Of(wanted));
    const auto [from, to] =
        std::equal_range(t.unfold.begin(), t.unfold.end(), std::pair(wanted, char32_t(0)),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto it = from; it != to; ++it)
        pivot.encodings.push_back(utf8Of(it->second));
    for (const std::string& encoding : pivot.encodings) {
        const auto last = static_cast<unsigned char>(encoding.back());
        if (!pivot.isLastByte[last])
            pivot.lastBytes.push_back(last);
        pivot.isLastByte[last] = true;
    }
    return pivot;
}

void TextNeedle::tuneFor(std::string_view sample)
{
    if (m_folded.empty() || sample.empty())
        return;
    std::array<size_t, 256> count{};
    for (const char c : sample)
        ++count[static_cast<unsigned char>(c)];
    size_t fewest = SIZE_MAX;
    // Among the first characters only: a pasted page of text must not take a while to tune.
    const size_t choices = std::min<size_t>(m_folded.size(), 64);
    for (size_t index = 0; index < choices; ++index) {
        if (m_folded.find(m_folded[index]) < index)
            continue;
        Pivot pivot = pivotAt(index);
        if (pivot.lastBytes.size() > MostCursors)
            continue;
        size_t seen = 0;
        for (const unsigned char b : pivot.lastBytes)
            seen += count[b];
        if (seen < fewest) {
            fewest = seen;
            m_pivot = std::move(pivot);
        }
    }
}

const unsigned char* TextNeedle::matchAt(const unsigned char* at, const unsigned char* end) const
{
    const FoldTables& t = tables();
    for (const char32_t wanted : m_folded) {
        if (at >= end)
            return nullptr;
        const auto [c, length] = foldedAt(at, end, t);
        if (c != wanted)
            return nullptr;
        at += length;
    }
    return at;
}

TextNeedle::Scan::Scan(const TextNeedle& needle, std::string_view haystack)
    : m_needle(needle), m_begin(reinterpret_cast<const unsigned char*>(haystack.data())),
      m_end(m_begin + haystack.size())
{}

TextNeedle::Match TextNeedle::Scan::next(size_t from)
{
    const Pivot& pivot = m_needle.m_pivot;
    if (m_needle.m_folded.empty() || from >= size_t(m_end - m_begin))
        return {};
    const unsigned char* const first = m_begin + from;

    // A candidate: the last byte of a character that may stand where the pivot does. The
    // match would start as many characters before it as the pivot stands in the needle; the
    // characters of a match are valid UTF-8, and CR LF is one of them.
    const auto tryAt = [&](const unsigned char* last) -> Match {
        for (const std::string& encoding : pivot.encodings) {
            if (static_cast<unsigned char>(encoding.back()) != *last)
                continue;
            const unsigned char* start = last + 1 - encoding.size();
            if (start < first || std::memcmp(start, encoding.data(), encoding.size()) != 0)
                continue;
            size_t back = 0;
            for (; back < pivot.index && start > first; ++back) {
                --start;
                while (start > first && continuation(*start))
                    --start;
                if (*start == '\n' && start > first && start[-1] == '\r')
                    --start;
            }
            if (back < pivot.index)
                continue;
            if (const unsigned char* matchEnd = m_needle.matchAt(start, m_end))
                return {size_t(start - m_begin), size_t(matchEnd - m_begin)};
        }
        return {};
    };

    // Each distinct last byte is looked for with memchr, which reads many bytes a step; the
    // nearest of their next places is tried first. A place found stays good for later calls
    // until they pass it, so a rare byte is not looked for again and again.
    if (pivot.lastBytes.size() <= MostCursors) {
        const size_t cursors = pivot.lastBytes.size();
        const auto seek = [&](size_t k, const unsigned char* at) {
            m_sought[k] = true;
            m_next[k] = at < m_end ? static_cast<const unsigned char*>(
                                         std::memchr(at, pivot.lastBytes[k], size_t(m_end - at)))
                                   : nullptr;
        };
        for (size_t k = 0; k < cursors; ++k)
            if (!m_sought[k] || (m_next[k] && m_next[k] < first))
                seek(k, first);
        for (;;) {
            size_t nearest = cursors;
            for (size_t k = 0; k < cursors; ++k)
                if (m_next[k] && (nearest == cursors || m_next[k] < m_next[nearest]))
                    nearest = k;
            if (nearest == cursors)
                return {};
            const Match match = tryAt(m_next[nearest]);
            if (match.start != std::string_view::npos)
                return match;
            seek(nearest, m_next[nearest] + 1);
        }
    }
    for (const unsigned char* p = first; p < m_end; ++p) {
        if (!pivot.isLastByte[*p])
            continue;
        const Match match = tryAt(p);
        if (match.start != std::string_view::npos)
            return match;
    }
    return {};
}

bool TextNeedle::isIn(QStringView text) const
{
    const QByteArray utf8 = text.toUtf8();
    return isIn(std::string_view(utf8.constData(), size_t(utf8.size())));
}

} // namespace varnel
