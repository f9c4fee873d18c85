#include "base/ansicodepage.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace varnel;

// The golden bytes are Windows-1251's; a Windows machine with another active code page has
// other ones.
class AnsiCodePage : public testing::Test {
protected:
    void SetUp() override
    {
        if (ansiCodePage() != 1251)
            GTEST_SKIP() << "active code page " << ansiCodePage();
    }
};

TEST_F(AnsiCodePage, EncodesWindows1251AndMarksWhatItLacks)
{
    const std::pair<QString, QByteArray> cases[] = {
        {QStringLiteral("Пётр ЁёАЯая"), "\xCF\xB8\xF2\xF0 \xA8\xB8\xC0\xDF\xE0\xFF"},
        {QStringLiteral("ЂЃ‚ѓ€™ҐґІіЇї№"), "\x80\x81\x82\x83\x88\x99\xA5\xB4\xB2\xB3\xAF\xBF\xB9"},
        {QStringLiteral("\u00A0«»\u00AD\u0098"), "\xA0\xAB\xBB\xAD\x98"},
        // No best fit: a look-alike would silently change a name.
        {QStringLiteral("café 日 \u0080"), "caf? ? ?"},
        // A surrogate pair is one character; so is a lone surrogate.
        {QStringLiteral("a😀b"), "a?b"},
        {QString(QChar(0xD800)) + u'x' + QChar(0xDC00), "?x?"},
    };
    for (const auto& [text, bytes] : cases) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(toAnsi(text).toHex(' '), bytes.toHex(' '));
        if (!bytes.contains('?')) {
            EXPECT_EQ(fromAnsi(bytes), text);
        }
    }
}

TEST_F(AnsiCodePage, EveryByteSurvivesReadingAndWritingBack)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    const QString decoded = fromAnsi(all);
    ASSERT_EQ(decoded.size(), 256);
    EXPECT_EQ(toAnsi(decoded).toHex(' '), all.toHex(' '));
}

// The default error display adds a full stop after a last character coded above 0x2E.
TEST_F(AnsiCodePage, CodesOfMessageEndings)
{
    const std::pair<char16_t, unsigned char> cases[] = {
        {u'.', 0x2E}, {u'!', 0x21}, {u')', 0x29}, {u'a', 0x61},
        {u'9', 0x39}, {u'Я', 0xDF}, {u'€', 0x88}, {u'日', '?'},
    };
    for (const auto& [c, code] : cases)
        EXPECT_EQ(ansiCode(c), code) << static_cast<int>(c);
}

// Long texts are encoded four ASCII characters at a time: a break or a non-ASCII character at
// any place relative to those groups must stop or switch the run exactly there.
TEST_F(AnsiCodePage, EncodingUpToALineBreakStopsExactlyAtTheFirstOne)
{
    const QString tails[] = {"", "\r", "\n", "\r\nrest", "\tx", "Жж", "€\n"};
    for (int lead = 0; lead < 9; ++lead) {
        for (const QString& tail : tails) {
            const QString text =
                QString(lead, u'a') + QStringLiteral("bcdefgh").left(lead % 3) + tail + "zz";
            const qsizetype breakAt = text.indexOf(QRegularExpression("[\r\n]"));
            const qsizetype end = breakAt < 0 ? text.size() : breakAt;
            QByteArray out("x");
            EXPECT_EQ(appendAnsiUntilLineBreak(text, out), end) << text.toStdString();
            EXPECT_EQ(out, "x" + toAnsi(text.left(end))) << text.toStdString();
            QByteArray all;
            appendAnsi(text, all);
            EXPECT_EQ(fromAnsi(all), text) << text.toStdString();
        }
    }
}
