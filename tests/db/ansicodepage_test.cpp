#include "db/ansicodepage.h"

#include <gtest/gtest.h>

using namespace varnel;

namespace {

// The golden bytes are Windows-1251's; a Windows machine with another active code page has
// other ones.
bool isWindows1251()
{
    return ansiCodePage() == 1251;
}

} // namespace

TEST(AnsiCodePage, EncodesWindows1251AndMarksWhatItLacks)
{
    if (!isWindows1251())
        GTEST_SKIP() << "active code page " << ansiCodePage();
    struct Case {
        QString text;
        QByteArray bytes;
        bool reversible;
    };
    const Case cases[] = {
        {QStringLiteral("Пётр Иванов"), "\xCF\xB8\xF2\xF0 \xC8\xE2\xE0\xED\xEE\xE2", true},
        {QStringLiteral("ЁёАЯая"), "\xA8\xB8\xC0\xDF\xE0\xFF", true},
        {QStringLiteral("ЂЃ‚ѓ€™"), "\x80\x81\x82\x83\x88\x99", true},
        {QStringLiteral("ҐґІіЇї№"), "\xA5\xB4\xB2\xB3\xAF\xBF\xB9", true},
        {QStringLiteral("\u00A0«»\u00AD"), "\xA0\xAB\xBB\xAD", true},
        {QStringLiteral("\u0098"), "\x98", true},
        {QString(), QByteArray(), true},
        // No best fit: look-alikes would silently change names.
        {QStringLiteral("café"), "caf?", false},
        {QStringLiteral("日本"), "??", false},
        {QStringLiteral("\u0080\u0081"), "??", false},
        // A surrogate pair is one character; a lone surrogate is one too.
        {QStringLiteral("a😀b"), "a?b", false},
        {QString(QChar(0xD800)) + u'x', "?x", false},
        {QString(QChar(0xDC00)), "?", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(toAnsi(c.text).toHex(' '), c.bytes.toHex(' '));
        if (c.reversible) {
            EXPECT_EQ(fromAnsi(c.bytes), c.text);
        }
    }
}

TEST(AnsiCodePage, EveryByteSurvivesReadingAndWritingBack)
{
    if (!isWindows1251())
        GTEST_SKIP() << "active code page " << ansiCodePage();
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    const QString decoded = fromAnsi(all);
    ASSERT_EQ(decoded.size(), 256);
    EXPECT_EQ(toAnsi(decoded).toHex(' '), all.toHex(' '));
}

// The default error display adds a full stop after a last character coded above 0x2E.
TEST(AnsiCodePage, CodesOfMessageEndings)
{
    if (!isWindows1251())
        GTEST_SKIP() << "active code page " << ansiCodePage();
    struct Case {
        QChar c;
        unsigned char code;
    };
    const Case cases[] = {
        {u'.', 0x2E},          {u'!', 0x21}, {u')', 0x29},
        {u'a', 0x61},          {u'9', 0x39}, {QChar(0x042F), 0xDF}, // Я
        {QChar(0x20AC), 0x88},                                      // €
        {QChar(0x65E5), '?'}, // 日, missing from the code page
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.c.unicode()));
        EXPECT_EQ(ansiCode(c.c), c.code);
    }
}
