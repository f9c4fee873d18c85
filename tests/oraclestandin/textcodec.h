#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace varnel::standin {

// The client character set of NLS_LANG (what follows its dot): what the narrow entry points
// and SQL_C_CHAR values are written in. Oracle's client converts to it character by
// character; a character the set lacks becomes "?".
enum class Charset : uint8_t { Ascii, Windows1251, Utf8 };

// One call's share of a UTF-8 source written in a client's encoding. A character is written
// whole or not at all (never half a surrogate pair or of a multi-byte sequence), so that the
// next piece starts at `consumed`.
struct Piece {
    size_t consumed = 0; // source bytes written out
    size_t written = 0;  // target bytes written, the terminator not counted
    size_t needed = 0;   // target bytes the whole source takes
};

// Up to `capacityUnits` UTF-16 units into `out` (which may be null when the capacity is 0).
Piece toUtf16(std::string_view utf8, char16_t* out, size_t capacityUnits);
// Up to `capacityBytes` bytes in `charset` into `out`.
Piece toCharset(std::string_view utf8, Charset charset, char* out, size_t capacityBytes);

// Writes text as the client asked for it: UTF-16 for the wide entry points and SQL_C_WCHAR,
// else in the client's character set; NUL-terminated within `bufferBytes` whenever the buffer
// holds at least the terminator. The text was cut when `consumed` is short of its size.
Piece writeText(std::string_view utf8, bool wide, Charset charset, void* buffer,
                ptrdiff_t bufferBytes);

// Text of a narrow call, read in the client's character set; `length` < 0 means up to a NUL.
QString fromCharset(const char* bytes, ptrdiff_t length, Charset charset);
// Text of a wide call; `length` (UTF-16 units) < 0 means up to a NUL.
QString fromUtf16(const char16_t* text, ptrdiff_t length);

} // namespace varnel::standin
