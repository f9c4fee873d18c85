#pragma once

#include <QString>
#include <QStringView>

#include <vector>

namespace varnel {

// One element of a Qt date or time format, read exactly as QLocale::toString reads it.
// The program writes date texts with a format, the embedded engine reads them back with the
// same format and the Oracle session is told the format in Oracle's notation: all three go
// through this one reading, so that what is written is what is read.
struct FormatToken {
    // A pattern letter (d, M, y, H, h, m, s, a, A, z, t), or 0 for literal text.
    char16_t letter = 0;
    // How many times the letter stands, within Qt's limits: a run "ddddd" is dddd then d,
    // "yyy" is yy then the literal text "y".
    int count = 0;
    // Literal text with Qt's quoting resolved ('' is an apostrophe, in quotes and out).
    QString text;

    bool isLiteral() const { return letter == 0; }
    friend bool operator==(const FormatToken&, const FormatToken&) = default;
};

using FormatTokens = std::vector<FormatToken>;

// Adjacent literal text comes as one token. Letters that Qt writes for the other half of a
// date-time (the time letters in a date's format) are tokens all the same: Qt writes them as
// they stand, which the callers know.
FormatTokens tokenizeFormat(QStringView format);

// Tokens back in Qt's notation, literal text quoted where Qt would read a letter or a quote;
// tokenizeFormat(formatText(tokens)) gives the tokens again.
QString formatText(const FormatTokens& tokens);

// Whether a token of a date's format stands for a number or name of the date (d, M, y); any
// other letter is text that Qt writes as it stands when it writes a date.
inline bool isDateField(const FormatToken& token)
{
    return token.letter == u'd' || token.letter == u'M' || token.letter == u'y';
}

} // namespace varnel
