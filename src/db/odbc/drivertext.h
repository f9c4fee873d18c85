#pragma once

#include <QString>

#include <algorithm>

namespace varnel::odbc {

// A text that a driver wrote into a buffer of `capacity` UTF-16 units (a message, a column's
// name, an answer of SQLGetInfoW, a driver's name): up to its first NUL, or the whole buffer
// when it holds none. Drivers end every text they hand back with a NUL, but they do not all
// count its length alike: Oracle's counts SQLGetDiagRecW's message in bytes where ODBC counts
// characters, so the length it reports takes as many NULs again into the text, and a length
// short of the text would cut it. The reported length only tells whether the buffer was big
// enough.
template <typename Unit> QString driverText(const Unit* buffer, qsizetype capacity)
{
    static_assert(sizeof(Unit) == sizeof(char16_t), "the wide ODBC calls hand back UTF-16");
    const auto* begin = reinterpret_cast<const char16_t*>(buffer);
    const char16_t* end = std::find(begin, begin + std::max<qsizetype>(capacity, 0), u'\0');
    return QString::fromUtf16(begin, end - begin);
}

} // namespace varnel::odbc
