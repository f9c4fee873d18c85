#include "base/ansicodepage.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

namespace varnel {

namespace {

constexpr unsigned char kUnknown = '?';

} // namespace

#ifdef Q_OS_WIN

namespace {

// A pair and a lone surrogate are each one character the code page lacks.
QString withSurrogatesAsUnknown(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!c.isSurrogate()) {
            out.append(c);
            continue;
        }
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        out.append(QLatin1Char(kUnknown));
    }
    return out;
}

} // namespace

unsigned ansiCodePage()
{
    return GetACP();
}

QByteArray toAnsi(const QString& text)
{
    if (text.isEmpty())
        return {};
    const UINT codePage = GetACP();
    // UTF-8 as the ANSI code page accepts no flags and no default character, and lacks nothing.
    if (codePage == CP_UTF8)
        return text.toUtf8();
    const QString prepared = withSurrogatesAsUnknown(text);
    const auto* wide = reinterpret_cast<const wchar_t*>(prepared.utf16());
    const int length = static_cast<int>(prepared.size());
    const char unknown = static_cast<char>(kUnknown);
    // No best fit: "é" must become "?", not "e", as on every other platform.
    const int size = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide, length, nullptr, 0,
                                         &unknown, nullptr);
    QByteArray out(size, Qt::Uninitialized);
    WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide, length, out.data(), size, &unknown,
                        nullptr);
    return out;
}

void appendAnsi(QStringView text, QByteArray& out)
{
    out += toAnsi(text.toString());
}

qsizetype appendAnsiUntilLineBreak(QStringView text, QByteArray& out)
{
    qsizetype end = 0;
    while (end < text.size() && text[end] != u'\r' && text[end] != u'\n')
        ++end;
    appendAnsi(text.first(end), out);
    return end;
}

QString fromAnsi(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return {};
    const int length = static_cast<int>(bytes.size());
    const int size = MultiByteToWideChar(CP_ACP, 0, bytes.constData(), length, nullptr, 0);
    QString out(size, Qt::Uninitialized);
    MultiByteToWideChar(CP_ACP, 0, bytes.constData(), length,
                        reinterpret_cast<wchar_t*>(out.data()), size);
    return out;
}

unsigned char ansiCode(QChar c)
{
    const QByteArray bytes = toAnsi(QString(c));
    return bytes.isEmpty() ? kUnknown : static_cast<unsigned char>(bytes.front());
}

#else

namespace {

// Windows-1251, bytes 0x80–0xFF; from 0xC0 on, А–я in order. 0x98 is unassigned there and
// stands for U+0098.
// clang-format off
constexpr std::array<char16_t, 128> kHighHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 0x98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // 0xB8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, // 0xC0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, // 0xC8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, // 0xD0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, // 0xD8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, // 0xE0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, // 0xE8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, // 0xF0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, // 0xF8
};
// clang-format on

// kHighHalf inverted, sorted by character for a binary search.
constexpr auto kByCharacter = [] {
    std::array<std::pair<char16_t, unsigned char>, 128> inverse{};
    for (std::size_t i = 0; i < kHighHalf.size(); ++i)
        inverse[i] = {kHighHalf[i], static_cast<unsigned char>(0x80 + i)};
    std::sort(inverse.begin(), inverse.end());
    return inverse;
}();

} // namespace

unsigned ansiCodePage()
{
    return 1251;
}

unsigned char ansiCode(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80)
        return static_cast<unsigned char>(u);
    const auto found =
        std::lower_bound(kByCharacter.begin(), kByCharacter.end(), u,
                         [](const auto& entry, char16_t key) { return entry.first < key; });
    return found != kByCharacter.end() && found->first == u ? found->second : kUnknown;
}

namespace {

// Whether one of four UTF-16 units below 0x8000 is below `bound`.
constexpr bool holdsBelow(uint64_t units, uint64_t bound)
{
    return ((units - bound * 0x0001000100010001ULL) & ~units & 0x8000800080008000ULL) != 0;
}

// Encodes `text` onto the end of `out`, up to its first CR or LF when `untilBreak`; returns
// where it stopped. An export encodes every character of a million records: runs of ASCII go
// four at a time, and Cyrillic letters take no table search.
template <bool untilBreak> qsizetype encode(QStringView text, QByteArray& out)
{
    const qsizetype start = out.size();
    out.resize(start + text.size());
    char* to = out.data() + start;
    const char16_t* from = text.utf16();
    const qsizetype size = text.size();
    qsizetype i = 0;
    for (;;) {
        for (; i + 4 <= size; i += 4, to += 4) {
            uint64_t units;
            std::memcpy(&units, from + i, sizeof units);
            // Control characters, CR and LF among them, go one at a time.
            if ((units & 0xFF80FF80FF80FF80ULL) != 0 || (untilBreak && holdsBelow(units, 0x20)))
                break;
            to[0] = static_cast<char>(from[i]);
            to[1] = static_cast<char>(from[i + 1]);
            to[2] = static_cast<char>(from[i + 2]);
            to[3] = static_cast<char>(from[i + 3]);
        }
        if (i == size)
            break;
        const char16_t u = from[i];
        if (u < 0x80) {
            if (untilBreak && (u == u'\r' || u == u'\n'))
                break;
            *to++ = static_cast<char>(u);
        } else if (u >= 0x0410 && u <= 0x044F) {
            *to++ = static_cast<char>(0xC0 + (u - 0x0410));
        } else {
            if (QChar::isHighSurrogate(u) && i + 1 < size && QChar::isLowSurrogate(from[i + 1]))
                ++i;
            *to++ = static_cast<char>(ansiCode(QChar(u)));
        }
        ++i;
    }
    out.truncate(to - out.constData());
    return i;
}

} // namespace

void appendAnsi(QStringView text, QByteArray& out)
{
    encode<false>(text, out);
}

qsizetype appendAnsiUntilLineBreak(QStringView text, QByteArray& out)
{
    return encode<true>(text, out);
}

QByteArray toAnsi(const QString& text)
{
    QByteArray out;
    appendAnsi(text, out);
    return out;
}

QString fromAnsi(const QByteArray& bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* to = out.data();
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        *to++ = QChar(b < 0x80 ? char16_t(b) : kHighHalf[b - 0x80]);
    }
    return out;
}

#endif

} // namespace varnel
