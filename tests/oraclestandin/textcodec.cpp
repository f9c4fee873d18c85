#include "textcodec.h"

#include <array>
#include <cstring>
#include <memory>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace varnel::standin {

namespace {

// Windows-1251 from 0x80 on. 0x98 is unassigned; like the program's own code page reader it
// stands for U+0098, so that no byte is lost.
constexpr char16_t kWindows1251[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
    0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
    0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
    0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B,
    0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F};

char encodeByte(char32_t c, Charset charset)
{
    if (c < 0x80)
        return static_cast<char>(c);
    if (charset == Charset::Ascii || c > 0xFFFF)
        return '?';
    // Every character of the code page maps back to its byte; 0 marks one it lacks.
    static const auto table = [] {
        auto t = std::make_unique<std::array<unsigned char, 0x10000>>();
        t->fill(0);
        for (unsigned b = 0; b < 128; ++b)
            (*t)[kWindows1251[b]] = static_cast<unsigned char>(0x80 + b);
        return t;
    }();
    const unsigned char b = (*table)[c];
    return b == 0 ? '?' : static_cast<char>(b);
}

// One character of UTF-8 (SQLite hands its texts over unchecked): a malformed sequence reads
// as U+FFFD and moves on by one byte, so that every byte is consumed exactly once.
inline char32_t decode(const unsigned char*& p, const unsigned char* end)
{
    const unsigned char lead = *p++;
    if (lead < 0x80)
        return lead;
    int extra;
    char32_t c;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        c = lead & 0x07;
    } else {
        return 0xFFFD;
    }
    const unsigned char* q = p;
    for (; extra > 0; --extra, ++q) {
        if (q == end || (*q & 0xC0) != 0x80)
            return 0xFFFD;
        c = (c << 6) | (*q & 0x3F);
    }
    p = q;
    return c;
}

// Converts all of a source that fits whatever it holds (at most one unit per byte), so that
// no character needs its room checked. ASCII goes sixteen bytes at a time (a block that holds
// other characters still takes its ASCII start along: what is stored beyond it lies within
// the room and is written over next), runs of two-byte sequences (Cyrillic) without the
// general decoder: together the texts of a log table.
size_t toUtf16Unchecked(const unsigned char* p, const unsigned char* const end, char16_t* out)
{
    char16_t* o = out;
    while (p < end) {
#ifdef __SSE2__
        const __m128i zero = _mm_setzero_si128();
        while (end - p >= 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_unpacklo_epi8(bytes, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 8), _mm_unpackhi_epi8(bytes, zero));
            const int other = _mm_movemask_epi8(bytes);
            if (other != 0) {
                const int ascii = __builtin_ctz(static_cast<unsigned>(other));
                p += ascii;
                o += ascii;
                break;
            }
            p += 16;
            o += 16;
        }
#endif
        while (p < end && *p < 0x80)
            *o++ = *p++;
        while (end - p >= 2 && p[0] >= 0xC2 && p[0] <= 0xDF && (p[1] & 0xC0) == 0x80) {
            *o++ = static_cast<char16_t>(((p[0] & 0x1F) << 6) | (p[1] & 0x3F));
            p += 2;
        }
        if (p < end && *p >= 0x80) { // three or four bytes, or malformed
            const char32_t c = decode(p, end);
            if (c > 0xFFFF) {
                *o++ = static_cast<char16_t>(0xD7C0 + (c >> 10));
                *o++ = static_cast<char16_t>(0xDC00 | (c & 0x3FF));
            } else {
                *o++ = static_cast<char16_t>(c);
            }
        }
    }
    return static_cast<size_t>(o - out);
}

} // namespace

Piece toUtf16(std::string_view utf8, char16_t* out, size_t capacityUnits)
{
    const auto* const begin = reinterpret_cast<const unsigned char*>(utf8.data());
    const unsigned char* const end = begin + utf8.size();
    if (utf8.size() <= capacityUnits) {
        const size_t bytes = toUtf16Unchecked(begin, end, out) * 2;
        return {utf8.size(), bytes, bytes};
    }
    const unsigned char* p = begin;
    char16_t* o = out;
    char16_t* const oEnd = out + capacityUnits;
    while (p < end) {
        if (*p < 0x80) {
            if (o == oEnd)
                break;
            *o++ = *p++;
            continue;
        }
        const unsigned char* next = p;
        const char32_t c = decode(next, end);
        if (c > 0xFFFF) {
            if (oEnd - o < 2)
                break;
            *o++ = static_cast<char16_t>(0xD7C0 + (c >> 10));
            *o++ = static_cast<char16_t>(0xDC00 | (c & 0x3FF));
        } else {
            if (o == oEnd)
                break;
            *o++ = static_cast<char16_t>(c);
        }
        p = next;
    }
    Piece piece;
    piece.consumed = static_cast<size_t>(p - begin);
    piece.written = static_cast<size_t>(o - out) * 2;
    size_t rest = 0;
    while (p < end) {
        if (*p < 0x80) {
            ++p;
            ++rest;
        } else {
            rest += decode(p, end) > 0xFFFF ? 2 : 1;
        }
    }
    piece.needed = piece.written + rest * 2;
    return piece;
}

Piece toCharset(std::string_view utf8, Charset charset, char* out, size_t capacityBytes)
{
    const auto* const begin = reinterpret_cast<const unsigned char*>(utf8.data());
    const unsigned char* const end = begin + utf8.size();
    const unsigned char* p = begin;
    Piece piece;
    bool full = false; // once a character does not fit, the rest is only counted
    while (p < end) {
        const unsigned char* next = p;
        const char32_t c = *p < 0x80 ? *next++ : decode(next, end);
        const size_t bytes =
            charset == Charset::Utf8 && c >= 0x80 ? static_cast<size_t>(next - p) : 1;
        if (!full && piece.written + bytes <= capacityBytes) {
            if (charset == Charset::Utf8)
                std::memcpy(out + piece.written, p, bytes);
            else
                out[piece.written] = encodeByte(c, charset);
            piece.written += bytes;
            piece.consumed = static_cast<size_t>(next - begin);
        } else {
            full = true;
        }
        piece.needed += bytes;
        p = next;
    }
    return piece;
}

Piece writeText(std::string_view utf8, bool wide, Charset charset, void* buffer,
                ptrdiff_t bufferBytes)
{
    const ptrdiff_t unit = wide ? 2 : 1;
    const bool terminated = buffer != nullptr && bufferBytes >= unit;
    const size_t room = terminated ? static_cast<size_t>(bufferBytes / unit - 1) : 0;
    if (wide) {
        const Piece piece = toUtf16(utf8, static_cast<char16_t*>(buffer), room);
        if (terminated)
            static_cast<char16_t*>(buffer)[piece.written / 2] = 0;
        return piece;
    }
    const Piece piece = toCharset(utf8, charset, static_cast<char*>(buffer), room);
    if (terminated)
        static_cast<char*>(buffer)[piece.written] = 0;
    return piece;
}

QString fromCharset(const char* bytes, ptrdiff_t length, Charset charset)
{
    if (bytes == nullptr)
        return {};
    const size_t n = length < 0 ? std::strlen(bytes) : static_cast<size_t>(length);
    if (charset == Charset::Utf8)
        return QString::fromUtf8(bytes, static_cast<qsizetype>(n));
    QString text(static_cast<qsizetype>(n), Qt::Uninitialized);
    for (size_t i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        text[static_cast<qsizetype>(i)] =
            QChar(b < 0x80 ? char16_t(b)
                           : (charset == Charset::Windows1251 ? kWindows1251[b - 0x80] : u'?'));
    }
    return text;
}

QString fromUtf16(const char16_t* text, ptrdiff_t length)
{
    if (text == nullptr)
        return {};
    if (length < 0)
        length = static_cast<ptrdiff_t>(std::char_traits<char16_t>::length(text));
    return QString(reinterpret_cast<const QChar*>(text), static_cast<qsizetype>(length));
}

} // namespace varnel::standin
