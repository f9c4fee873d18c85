#pragma once

#include <QStringView>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace varnel {

// A text looked for in cells as the grid shows them: letter case does not count (Unicode's
// simple case folding, as QString's Qt::CaseInsensitive compares), and a line break — CR LF,
// LF or CR, which the grid shows as one blank — reads as a blank. UTF-8 is searched as it is
// stored, without a QString made of it: a snapshot's arena, many texts one after the other,
// is searched in one go. An invalid UTF-8 byte matches no character.
class TextNeedle {
    // The most distinct bytes that candidates are looked for by with memchr.
    static constexpr size_t MostCursors = 4;

public:
    TextNeedle() = default;
    explicit TextNeedle(QStringView text);

    bool isEmpty() const { return m_folded.empty(); }
    // Whether the needle holds a blank (or a line break, which reads as one).
    bool holdsBlank() const { return m_folded.find(U' ') != std::u32string::npos; }

    // Picks the character that candidates are looked for by: the one of the needle whose
    // forms occur least in `sample` (some of the texts to be searched). The first, else.
    void tuneFor(std::string_view sample);

    // Where the first match in `haystack` found from byte `from` on lies, as byte offsets;
    // `start` is npos when there is none. Matches are found in the order of the last byte of
    // their pivot character, which in one text is the order of their starts.
    struct Match {
        size_t start = std::string_view::npos;
        size_t end = std::string_view::npos;
    };
    Match find(std::string_view haystack, size_t from = 0) const
    {
        return Scan(*this, haystack).next(from);
    }

    // Searches one haystack again and again from ever later places, never reading a part of
    // it twice to find the next candidate. Valid while the needle and the haystack are.
    class Scan {
    public:
        Scan(const TextNeedle& needle, std::string_view haystack);
        // As find(); `from` never goes back from one call to the next.
        Match next(size_t from);

    private:
        const TextNeedle& m_needle;
        const unsigned char* m_begin;
        const unsigned char* m_end;
        // Per last byte of the pivot: its next place once looked for (nullptr: no more).
        const unsigned char* m_next[MostCursors] = {};
        bool m_sought[MostCursors] = {};
    };

    bool isIn(std::string_view utf8) const { return find(utf8).start != std::string_view::npos; }
    bool isIn(QStringView text) const;

private:
    // A character of the needle with the UTF-8 of every character that folds to it, and the
    // distinct last bytes of those: candidates are found by that byte, which tells Cyrillic
    // letters apart where their first byte does not.
    struct Pivot {
        size_t index = 0;
        std::vector<std::string> encodings;
        std::vector<unsigned char> lastBytes;
        bool isLastByte[256] = {};
    };
    Pivot pivotAt(size_t index) const;
    // The end of a match starting at `at`, or nullptr.
    const unsigned char* matchAt(const unsigned char* at, const unsigned char* end) const;

    std::u32string m_folded;
    Pivot m_pivot;
};

} // namespace varnel
