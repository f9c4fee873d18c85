#include "base/qtformat.h"

namespace varnel {

namespace {

// How many letters of the run of `run` letters `letter` one token takes, as Qt takes them;
// 0 for a letter that Qt writes as it stands.
qsizetype tokenLength(QStringView format, qsizetype at, qsizetype run)
{
    switch (format[at].unicode()) {
    case u'd':
    case u'M':
        return std::min<qsizetype>(run, 4);
    case u'y':
        return run >= 4 ? 4 : (run >= 2 ? 2 : 0);
    case u'H':
    case u'h':
    case u'm':
    case u's':
        return std::min<qsizetype>(run, 2);
    case u'z':
        return run >= 3 ? 3 : 1;
    case u'a':
    case u'A':
    case u't':
        return 1;
    default:
        return 0;
    }
}

} // namespace

FormatTokens tokenizeFormat(QStringView format)
{
    FormatTokens tokens;
    const auto literal = [&tokens](QStringView text) {
        if (tokens.empty() || !tokens.back().isLiteral())
            tokens.push_back({});
        tokens.back().text += text;
    };
    const qsizetype size = format.size();
    for (qsizetype i = 0; i < size;) {
        const QChar c = format[i];
        if (c == u'\'') {
            // '' is an apostrophe, in quotes and out; an unclosed quote runs to the end.
            ++i;
            if (i < size && format[i] == u'\'') {
                literal(u"'");
                ++i;
                continue;
            }
            QString text;
            while (i < size) {
                if (format[i] != u'\'') {
                    text += format[i++];
                } else if (i + 1 < size && format[i + 1] == u'\'') {
                    text += u'\'';
                    i += 2;
                } else {
                    ++i;
                    break;
                }
            }
            if (!text.isEmpty())
                literal(text);
            continue;
        }
        qsizetype run = 1;
        while (i + run < size && format[i + run] == c)
            ++run;
        const qsizetype length = tokenLength(format, i, run);
        if (length == 0) {
            literal(format.sliced(i, 1));
            ++i;
            continue;
        }
        // "ap" and "AP" are one token of AM/PM.
        qsizetype taken = length;
        if ((c == u'a' || c == u'A') && i + 1 < size && format[i + 1] == (c == u'a' ? u'p' : u'P'))
            taken = 2;
        tokens.push_back({c.unicode(), static_cast<int>(taken), {}});
        i += taken;
    }
    return tokens;
}

QString formatText(const FormatTokens& tokens)
{
    QString out;
    for (const FormatToken& token : tokens) {
        if (!token.isLiteral()) {
            if (token.letter == u'a' || token.letter == u'A')
                out += token.count == 2
                           ? QString(token.letter) + QChar(token.letter == u'a' ? u'p' : u'P')
                           : QString(token.letter);
            else
                out += QString(token.count, QChar(token.letter));
            continue;
        }
        bool quote = false;
        for (QChar c : token.text)
            quote = quote || c == u'\'' || (c.unicode() < 128 && c.isLetter());
        if (!quote) {
            out += token.text;
            continue;
        }
        // Qt reads a quote followed by a quote as an apostrophe before it looks for quoted
        // text, so leading apostrophes go before the quotes.
        qsizetype lead = 0;
        for (; lead < token.text.size() && token.text[lead] == u'\''; ++lead)
            out += QStringLiteral("''");
        if (lead == token.text.size())
            continue;
        QString escaped = token.text.sliced(lead);
        escaped.replace(u'\'', QStringLiteral("''"));
        out += u'\'' + escaped + u'\'';
    }
    return out;
}

} // namespace varnel
