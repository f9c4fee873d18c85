// The ANSI code page of the program's text files: any bytes read come out unchanged when
// written again, and any text is written as one byte per character, either the character's
// own code or "?".

#include "base/ansicodepage.h"
#include "fuzzcheck.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

using namespace varnel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString decoded = fromAnsi(bytes);
    FUZZ_CHECK(decoded.size() == bytes.size(), decoded);
    FUZZ_CHECK(toAnsi(decoded) == bytes, QString::fromLatin1(bytes.toHex(' ')));

    // The same bytes as UTF-16 text, lone surrogates and all.
    std::u16string units(size / 2, u'\0');
    std::memcpy(units.data(), data, units.size() * sizeof(char16_t));
    const QString text = QString::fromStdU16String(units);
    const QByteArray encoded = toAnsi(text);
    const QString back = fromAnsi(encoded);
    qsizetype at = 0;
    for (qsizetype i = 0; i < text.size(); ++i, ++at) {
        FUZZ_CHECK(at < back.size(), text);
        const QChar c = text[i];
        const bool pair =
            c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        if (pair)
            ++i;
        FUZZ_CHECK(back[at] == c || (back[at] == u'?' && (pair || ansiCode(c) == '?')),
                   QStringLiteral("character %1 of %2").arg(i).arg(text));
        FUZZ_CHECK(static_cast<unsigned char>(encoded[at]) == (pair ? '?' : ansiCode(c)), text);
    }
    FUZZ_CHECK(at == back.size(), text);
    return 0;
}
