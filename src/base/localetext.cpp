#include "base/localetext.h"

#include "base/civiltime.h"

#include <algorithm>

namespace varnel {

LocaleText LocaleText::current()
{
    return LocaleText(QLocale());
}

namespace {

// The short date format with a two-digit year widened to four, and without the invisible
// marks of writing direction (ar_SA's "d\u200F/M\u200F/yyyy"): inside a Russian question
// they reorder the date ("82026/12/г."), and the database has nothing to read in them.
FormatTokens statementTokens(const FormatTokens& shortDate)
{
    FormatTokens tokens;
    for (FormatToken token : shortDate) {
        if (token.letter == u'y')
            token.count = 4;
        if (token.isLiteral()) {
            token.text.removeIf([](QChar c) { return c.category() == QChar::Other_Format; });
            if (token.text.isEmpty())
                continue;
            if (!tokens.empty() && tokens.back().isLiteral()) {
                tokens.back().text += token.text;
                continue;
            }
        }
        tokens.push_back(token);
    }
    return tokens;
}

} // namespace

LocaleText::LocaleText(const QLocale& locale)
    : m_locale(locale), m_shortDate(locale.dateFormat(QLocale::ShortFormat)),
      m_statementTokens(statementTokens(tokenizeFormat(m_shortDate))),
      m_statementDate(formatText(m_statementTokens)),
      m_longTime(withoutTimeZone(locale.timeFormat(QLocale::LongFormat))),
      m_dateFast(compile(tokenizeFormat(m_shortDate), locale, u"yMd")),
      m_timeFast(compile(tokenizeFormat(m_longTime), locale, u"Hhms")),
      m_fastLongest(longest(m_dateFast) + 1 + longest(m_timeFast))
{}

LocaleText::Pieces LocaleText::compile(const FormatTokens& format, const QLocale& locale,
                                       QStringView fields)
{
    if (locale.zeroDigit() != QLatin1String("0"))
        return {};
    Pieces pieces;
    for (const FormatToken& token : format) {
        if (token.isLiteral()) {
            pieces.push_back({-1, 0, token.text});
            continue;
        }
        const QChar letter(token.letter);
        if (!fields.contains(letter) || (letter != u'y' && token.count > 2))
            return {};
        // Without AM/PM, which is not compiled, "h" is the hour of 0 to 23 like "H".
        const auto field = QStringView(u"yMdHms").indexOf(letter == u'h' ? QChar(u'H') : letter);
        pieces.push_back({static_cast<int8_t>(field), static_cast<uint8_t>(token.count), {}});
    }
    return pieces;
}

namespace {

char16_t* writeNumber(char16_t* to, int value, int width)
{
    char16_t digits[12];
    int count = 0;
    do {
        digits[count++] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count < width)
        digits[count++] = u'0';
    while (count > 0)
        *to++ = digits[--count];
    return to;
}

} // namespace

bool LocaleText::fast(int64_t year, bool withTime) const
{
    return !m_dateFast.empty() && (!withTime || !m_timeFast.empty()) && year >= 1000 &&
           year <= 9999;
}

qsizetype LocaleText::longest(const Pieces& pieces)
{
    qsizetype size = 0;
    for (const Piece& piece : pieces)
        size += piece.field < 0 ? piece.literal.size() : 4; // no field passes 9999
    return size;
}

QString LocaleText::fastText(const Fields& fields, bool withTime) const
{
    QString out(m_fastLongest, Qt::Uninitialized);
    char16_t* to = reinterpret_cast<char16_t*>(out.data());
    char16_t* const begin = to;
    const auto write = [&](const Pieces& pieces) {
        for (const Piece& piece : pieces) {
            if (piece.field < 0) {
                to = std::copy_n(reinterpret_cast<const char16_t*>(piece.literal.constData()),
                                 piece.literal.size(), to);
                continue;
            }
            const int value = fields[static_cast<size_t>(piece.field)];
            // A year of two digits: its last two.
            to = writeNumber(to, piece.field == 0 && piece.width == 2 ? value % 100 : value,
                             piece.width);
        }
    };
    write(m_dateFast);
    if (withTime) {
        *to++ = u' ';
        write(m_timeFast);
    }
    out.truncate(to - begin);
    return out;
}

QString LocaleText::dateText(QDate day) const
{
    QString out;
    char16_t digits[12];
    const auto number = [&](int value, int width) {
        if (value < 0) {
            out += u'-';
            value = -value;
        }
        const char16_t* end = writeNumber(digits, value, width);
        out.append(reinterpret_cast<const QChar*>(digits), end - digits);
    };
    for (const FormatToken& token : m_statementTokens) {
        if (token.isLiteral()) {
            out += token.text;
            continue;
        }
        const QLocale::FormatType names =
            token.count == 3 ? QLocale::ShortFormat : QLocale::LongFormat;
        switch (token.letter) {
        case u'y':
            number(day.year(), 4);
            break;
        case u'M':
            if (token.count <= 2)
                number(day.month(), token.count);
            else
                out += m_locale.monthName(day.month(), names);
            break;
        case u'd':
            if (token.count <= 2)
                number(day.day(), token.count);
            else
                out += m_locale.dayName(day.dayOfWeek(), names);
            break;
        default: // a time letter, which a date's format writes as it stands
            out += formatText({token});
        }
    }
    return out;
}

QString LocaleText::dateTimeText(QDate day, QTime time) const
{
    const bool withTime = time != QTime(0, 0);
    if (fast(day.year(), withTime))
        return fastText(
            {day.year(), day.month(), day.day(), time.hour(), time.minute(), time.second()},
            withTime);
    QString text = m_locale.toString(day, m_shortDate);
    if (withTime) {
        text += QLatin1Char(' ');
        text += m_locale.toString(time, m_longTime);
    }
    return text;
}

QString LocaleText::dateTimeText(int64_t seconds) const
{
    const civil::Ymd ymd = civil::civilFromDays(civil::dayOf(seconds));
    const auto sod = static_cast<int>(civil::secondOfDay(seconds));
    const Fields fields{static_cast<int>(ymd.year),
                        static_cast<int>(ymd.month),
                        static_cast<int>(ymd.day),
                        sod / 3600,
                        sod / 60 % 60,
                        sod % 60};
    if (fast(ymd.year, sod != 0))
        return fastText(fields, sod != 0);
    return dateTimeText(QDate(fields[0], fields[1], fields[2]),
                        QTime(fields[3], fields[4], fields[5]));
}

QString LocaleText::timeStamp(const QDateTime& now) const
{
    const QTime time = now.time();
    // Milliseconds never show, so they must not keep a stamp at 00:00:00.5 from counting as
    // midnight.
    return dateTimeText(now.date(), QTime(time.hour(), time.minute(), time.second()));
}

QString LocaleText::withoutTimeZone(const QString& format)
{
    QString out;
    out.reserve(format.size());
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            out += c;
        } else if (!quoted && c == QLatin1Char('t')) {
            while (i + 1 < format.size() && format.at(i + 1) == QLatin1Char('t'))
                ++i;
            while (!out.isEmpty() && out.back().isSpace())
                out.chop(1);
        } else {
            out += c;
        }
    }
    return out.trimmed();
}

} // namespace varnel
