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
public:
    TextNeedle() = default;
    explicit TextNeedle(QStringView text);

    bool isEmpty() const { return m_folded.empty(); }

    // Where the first match in `haystack` found from byte `from` on lies, as byte offsets;
    // `start` is npos when there is none. Matches are found in the order of their first
    // character's last byte, which in one text is the order of their starts.
    struct Match {
        size_t start = std::string_view::npos;
        size_t end = std::string_view::npos;
    };
    Match find(std::string_view haystack, size_t from = 0) const;

    bool isIn(std::string_view utf8) const { return find(utf8).start != std::string_view::npos; }
    bool isIn(QStringView text) const;

private:
    // The end of a match starting at `at`, or nullptr.
    const unsigned char* matchAt(const unsigned char* at, const unsigned char* end) const;

    std::u32string m_folded;
    // The UTF-8 of every character that folds to the first one of the needle, and for each
    // distinct last byte of them the ones ending in it: candidates are found by that byte,
    // which tells Cyrillic letters apart where their first byte does not.
    std::vector<std::string> m_firsts;
    std::vector<unsigned char> m_lastBytes;
    bool m_isLastByte[256] = {};
};

} // namespace varnel
