#include "db/embedded/oracledate.h"

#include "base/civiltime.h"
#include "base/qtformat.h"
#include "db/dberror.h"

namespace varnel::embedded {

namespace {

[[noreturn]] void fail(const char* oracleMessage)
{
    throw DbError(QString::fromLatin1(oracleMessage));
}

bool isPunctuation(QChar c)
{
    return !c.isLetterOrNumber();
}

} // namespace

DateFormat::DateFormat(const QString& qtFormat, const QLocale& locale) : m_locale(locale)
{
    // Literal text: a run of punctuation is a separator, letters and digits must be there.
    const auto literal = [this](const QString& text) {
        for (const QChar c : text) {
            if (isPunctuation(c)) {
                if (m_elements.empty() || m_elements.back().kind != Kind::Separator)
                    m_elements.push_back({Kind::Separator, {}});
            } else if (!m_elements.empty() && m_elements.back().kind == Kind::Literal) {
                m_elements.back().literal += c;
            } else {
                m_elements.push_back({Kind::Literal, QString(c)});
            }
        }
    };
    for (const FormatToken& token : tokenizeFormat(qtFormat)) {
        if (!isDateField(token)) {
            // A time letter in a date's format is written as it stands.
            literal(token.isLiteral() ? token.text : formatText({token}));
            continue;
        }
        switch (token.letter) {
        case u'd':
            m_elements.push_back({token.count >= 3 ? Kind::WeekdayName : Kind::Day, {}});
            break;
        case u'M':
            m_elements.push_back({token.count >= 3 ? Kind::MonthName : Kind::Month, {}});
            break;
        default:
            m_elements.push_back({token.count == 2 ? Kind::YearRR : Kind::Year4, {}});
        }
    }
}

int DateFormat::rrYear(int twoDigits, int currentYear)
{
    return civil::rrYear(twoDigits, currentYear);
}

int64_t DateFormat::parse(QStringView text, int currentYear) const
{
    qsizetype pos = 0;
    const qsizetype size = text.size();
    while (pos < size && text.at(pos).isSpace())
        ++pos;

    int day = 1, month = 1, year = currentYear;
    auto number = [&](int maxDigits, int& digitsRead) {
        if (pos >= size)
            fail("ORA-01840: input value not long enough for date format");
        int value = 0;
        digitsRead = 0;
        while (pos < size && digitsRead < maxDigits && text.at(pos).isDigit() &&
               text.at(pos).unicode() < 128) {
            value = value * 10 + (text.at(pos).unicode() - '0');
            ++pos;
            ++digitsRead;
        }
        if (digitsRead == 0)
            fail("ORA-01858: a non-numeric character was found where a numeric was expected");
        return value;
    };
    auto name = [&](auto nameOf, int count) {
        // The longest name that the text starts with, compared without regard to case.
        int best = 0;
        qsizetype bestLength = 0;
        for (int n = 1; n <= count; ++n) {
            for (const QString& candidate : nameOf(n)) {
                const QString bare =
                    candidate.endsWith(QLatin1Char('.')) ? candidate.chopped(1) : candidate;
                for (const QString& form : {candidate, bare}) {
                    if (!form.isEmpty() && form.size() > bestLength &&
                        text.mid(pos).startsWith(form, Qt::CaseInsensitive)) {
                        best = n;
                        bestLength = form.size();
                    }
                }
            }
        }
        pos += bestLength;
        return best;
    };

    int digits = 0;
    for (size_t e = 0; e < m_elements.size(); ++e) {
        const Element& element = m_elements[e];
        switch (element.kind) {
        case Kind::Day:
            day = number(2, digits);
            break;
        case Kind::Month:
            month = number(2, digits);
            if (month < 1 || month > 12)
                fail("ORA-01843: not a valid month");
            break;
        case Kind::MonthName:
            if (pos >= size)
                fail("ORA-01840: input value not long enough for date format");
            month = name(
                [&](int m) {
                    return QStringList{m_locale.monthName(m, QLocale::ShortFormat),
                                       m_locale.monthName(m, QLocale::LongFormat),
                                       m_locale.standaloneMonthName(m, QLocale::ShortFormat),
                                       m_locale.standaloneMonthName(m, QLocale::LongFormat)};
                },
                12);
            if (month == 0)
                fail("ORA-01843: not a valid month");
            break;
        case Kind::WeekdayName:
            if (name(
                    [&](int d) {
                        return QStringList{m_locale.dayName(d, QLocale::ShortFormat),
                                           m_locale.dayName(d, QLocale::LongFormat)};
                    },
                    7) == 0)
                fail("ORA-01846: not a valid day of the week");
            break;
        case Kind::Year4:
            year = number(4, digits);
            break;
        case Kind::YearRR:
            year = number(4, digits);
            if (digits <= 2)
                year = rrYear(year, currentYear);
            break;
        case Kind::Separator: {
            const qsizetype start = pos;
            while (pos < size && isPunctuation(text.at(pos)))
                ++pos;
            // A letter may only follow where a name or literal text comes next. After some
            // punctuation the letter stands where the next element is, which reports it.
            if (pos == start && pos < size && text.at(pos).isLetter() &&
                e + 1 < m_elements.size() && m_elements[e + 1].kind != Kind::MonthName &&
                m_elements[e + 1].kind != Kind::WeekdayName &&
                m_elements[e + 1].kind != Kind::Literal)
                fail("ORA-01861: literal does not match format string");
            break;
        }
        case Kind::Literal:
            if (!text.mid(pos).startsWith(element.literal, Qt::CaseInsensitive))
                fail("ORA-01861: literal does not match format string");
            pos += element.literal.size();
            break;
        }
    }
    while (pos < size && text.at(pos).isSpace())
        ++pos;
    if (pos < size)
        fail("ORA-01830: date format picture ends before converting entire input string");
    if (year == 0)
        fail("ORA-01841: (full) year must be between -4713 and +9999, and not be 0");
    if (day < 1 || day > static_cast<int>(civil::daysInMonth(year, static_cast<unsigned>(month))))
        fail("ORA-01847: day of month must be between 1 and last day of month");
    return civil::toSeconds(year, static_cast<unsigned>(month), static_cast<unsigned>(day), 0, 0,
                            0);
}

} // namespace varnel::embedded
