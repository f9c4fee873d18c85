#include "nls.h"

#include "base/civiltime.h"
#include "db/dberror.h"
#include "db/odbc/oraclesession.h"

#include <QHash>

#include <algorithm>

namespace varnel::standin {

namespace {

[[noreturn]] void unrecognized()
{
    throw DbError(QStringLiteral("ORA-01821: date format not recognized"));
}

// Oracle writes a name in the letter case of its element: "MON", "Mon" or "mon".
QString inCaseOf(QStringView element, const QString& name)
{
    if (element.front().isLower())
        return name.toLower();
    if (element.size() > 1 && element[1].isUpper())
        return name.toUpper();
    return name.left(1).toUpper() + name.mid(1).toLower();
}

std::vector<std::string> names(QStringView element, const QStringList& list, bool padded)
{
    qsizetype longest = 0;
    for (const QString& name : list)
        longest = std::max(longest, name.size());
    std::vector<std::string> out;
    for (const QString& name : list)
        out.push_back(inCaseOf(element, padded ? name.leftJustified(longest) : name).toStdString());
    return out;
}

void twoDigits(int64_t value, std::string& out)
{
    out += static_cast<char>('0' + value / 10 % 10);
    out += static_cast<char>('0' + value % 10);
}

} // namespace

OracleDateFormat::OracleDateFormat(QStringView oracle, const QLocale& language)
{
    struct Known {
        const char* name;
        Kind kind;
        const char* qt;
    };
    // Longer elements first: MONTH before MON before MM, YYYY before YY.
    static constexpr Known known[] = {
        {"MONTH", Kind::MonthName, "MMMM"}, {"MON", Kind::MonthName, "MMM"},
        {"MM", Kind::Month, "MM"},          {"DAY", Kind::DayName, "dddd"},
        {"DY", Kind::DayName, "ddd"},       {"DD", Kind::Day, "dd"},
        {"YYYY", Kind::Year4, "yyyy"},      {"RRRR", Kind::Year4, "yyyy"},
        {"RR", Kind::Year2, "yy"},          {"YY", Kind::Year2, "yy"},
    };
    qsizetype i = 0;
    const qsizetype n = oracle.size();
    while (i < n) {
        const QChar c = oracle[i];
        if (c == QLatin1Char('"')) {
            const qsizetype close = oracle.indexOf(QLatin1Char('"'), i + 1);
            if (close < 0)
                unrecognized();
            const QStringView text = oracle.mid(i + 1, close - i - 1);
            m_elements.push_back({Kind::Text, text.toString().toStdString(), {}});
            m_qtFormat += QLatin1Char('\'') +
                          text.toString().replace(QLatin1Char('\''), QLatin1String("''")) +
                          QLatin1Char('\'');
            i = close + 1;
            continue;
        }
        if (!c.isLetterOrNumber()) {
            m_elements.push_back({Kind::Text, QString(c).toStdString(), {}});
            m_qtFormat += c == QLatin1Char('\'') ? QStringLiteral("''") : QString(c);
            ++i;
            continue;
        }
        const Known* match = nullptr;
        for (const Known& k : known)
            if (oracle.mid(i).startsWith(QLatin1String(k.name), Qt::CaseInsensitive)) {
                match = &k;
                break;
            }
        if (match == nullptr)
            unrecognized();
        const auto length = static_cast<qsizetype>(std::char_traits<char>::length(match->name));
        const QStringView written = oracle.mid(i, length);
        Element element{match->kind, {}, {}};
        if (match->kind == Kind::MonthName) {
            QStringList list;
            for (int m = 1; m <= 12; ++m)
                list << language.monthName(m, length == 3 ? QLocale::ShortFormat
                                                          : QLocale::LongFormat);
            element.names = names(written, list, length != 3);
        } else if (match->kind == Kind::DayName) {
            QStringList list;
            for (int d = 1; d <= 7; ++d)
                list << language.dayName(d,
                                         length == 2 ? QLocale::ShortFormat : QLocale::LongFormat);
            element.names = names(written, list, length != 2);
        }
        m_elements.push_back(std::move(element));
        m_qtFormat += QLatin1String(match->qt);
        i += length;
    }
}

void OracleDateFormat::write(int64_t seconds, std::string& out) const
{
    const int64_t day = civil::dayOf(seconds);
    const civil::Ymd date = civil::civilFromDays(day);
    for (const Element& e : m_elements) {
        switch (e.kind) {
        case Kind::Day:
            twoDigits(date.day, out);
            break;
        case Kind::Month:
            twoDigits(date.month, out);
            break;
        case Kind::Year4:
            twoDigits(date.year / 100, out);
            twoDigits(date.year % 100, out);
            break;
        case Kind::Year2:
            twoDigits(date.year % 100, out);
            break;
        case Kind::MonthName:
            out += e.names[date.month - 1];
            break;
        case Kind::DayName: // 1970-01-01, day 0, was a Thursday: index 3 from Monday
            out += e.names[static_cast<size_t>((day % 7 + 7 + 3) % 7)];
            break;
        case Kind::Text:
            out += e.text;
            break;
        }
    }
}

ClientSettings clientSettings(const QByteArray& nlsLang)
{
    ClientSettings settings;
    const qsizetype dot = nlsLang.indexOf('.');
    const QString language =
        QString::fromLatin1(nlsLang.left(dot < 0 ? nlsLang.size() : dot)).section(u'_', 0, 0);
    if (!language.isEmpty()) {
        try {
            settings.language = oracleLanguage(language);
        } catch (const DbError&) {
            // Oracle's client refuses to start with an unknown language; the stand-in keeps
            // its default instead of failing every connection of a mistyped environment.
        }
        if (settings.language.language() == QLocale::Russian)
            settings.decimalSeparator = ',';
    }
    const QByteArray charset = dot < 0 ? QByteArray() : nlsLang.mid(dot + 1).toUpper();
    if (charset == "AL32UTF8" || charset == "UTF8")
        settings.charset = Charset::Utf8;
    else if (charset == "CL8MSWIN1251")
        settings.charset = Charset::Windows1251;
    return settings;
}

QLocale oracleLanguage(const QString& name)
{
    // Oracle's names of the program's own table (oraclesession.h), looked up the other way.
    static const QHash<QString, QLocale::Language> languages = [] {
        QHash<QString, QLocale::Language> map;
        for (int l = 1; l <= QLocale::LastLanguage; ++l) {
            const QLocale locale(static_cast<QLocale::Language>(l));
            if (locale.language() != l)
                continue;
            const QString oracle = odbc::oracleDateLanguage(locale);
            if (!oracle.isEmpty() && !map.contains(oracle))
                map.insert(oracle, locale.language());
        }
        return map;
    }();
    const QString upper = name.trimmed().toUpper();
    if (upper == QLatin1String("ENGLISH"))
        return QLocale(QLocale::English, QLocale::UnitedKingdom);
    if (upper == QLatin1String("AMERICAN"))
        return QLocale(QLocale::English, QLocale::UnitedStates);
    const auto found = languages.constFind(upper);
    if (found == languages.cend())
        throw DbError(QStringLiteral(
            "ORA-12705: Cannot access NLS data files or invalid environment specified"));
    return QLocale(*found);
}

} // namespace varnel::standin
