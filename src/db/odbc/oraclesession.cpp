#include "db/odbc/oraclesession.h"

#include "base/qtformat.h"

namespace varnel::odbc {

namespace {

// Blanks and ASCII punctuation are separators of an Oracle format as they are; the double
// quote would open a literal there and is never part of a date format of Qt's locales.
bool isBareSeparator(QChar c)
{
    return c.unicode() < 128 && !c.isLetterOrNumber() && c != QLatin1Char('"') &&
           c != QLatin1Char('\'');
}

QString element(const FormatToken& token)
{
    switch (token.letter) {
    case u'd':
        return token.count <= 2 ? QStringLiteral("DD")
                                : (token.count == 3 ? QStringLiteral("DY") : QStringLiteral("DAY"));
    case u'M':
        return token.count <= 2
                   ? QStringLiteral("MM")
                   : (token.count == 3 ? QStringLiteral("MON") : QStringLiteral("MONTH"));
    default: // 'y': yy is a two-digit year, read by Oracle's nearest-century rule
        return token.count == 2 ? QStringLiteral("RR") : QStringLiteral("YYYY");
    }
}

struct Translation {
    QString format;
    bool namesMonthsOrDays = false; // read by Oracle in its session's date language
};

Translation translate(const QString& qtFormat)
{
    Translation result;
    QString& out = result.format;
    QString literal; // text waiting to go between double quotes
    const auto flushLiteral = [&] {
        if (literal.isEmpty())
            return;
        out += QLatin1Char('"') + literal + QLatin1Char('"');
        literal.clear();
    };
    for (const FormatToken& token : tokenizeFormat(qtFormat)) {
        if (isDateField(token)) {
            flushLiteral();
            out += element(token);
            if (token.count >= 3 && token.letter != u'y')
                result.namesMonthsOrDays = true;
            continue;
        }
        // Literal text, and time letters, which a date's format writes as they stand.
        for (const QChar c : token.isLiteral() ? token.text : formatText({token})) {
            if (isBareSeparator(c)) {
                flushLiteral();
                out += c;
            } else if (c != QLatin1Char('"')) {
                literal += c;
            }
        }
    }
    flushLiteral();
    return result;
}

} // namespace

QString oracleDateFormat(const QString& qtFormat)
{
    return translate(qtFormat).format;
}

QString oracleDateLanguage(const QLocale& locale)
{
    struct Name {
        QLocale::Language language;
        const char* oracle;
    };
    static constexpr Name names[] = {
        {QLocale::Russian, "RUSSIAN"},       {QLocale::English, "AMERICAN"},
        {QLocale::German, "GERMAN"},         {QLocale::French, "FRENCH"},
        {QLocale::Ukrainian, "UKRAINIAN"},   {QLocale::Spanish, "SPANISH"},
        {QLocale::Italian, "ITALIAN"},       {QLocale::Polish, "POLISH"},
        {QLocale::Dutch, "DUTCH"},           {QLocale::Czech, "CZECH"},
        {QLocale::Slovak, "SLOVAK"},         {QLocale::Slovenian, "SLOVENIAN"},
        {QLocale::Croatian, "CROATIAN"},     {QLocale::Hungarian, "HUNGARIAN"},
        {QLocale::Romanian, "ROMANIAN"},     {QLocale::Bulgarian, "BULGARIAN"},
        {QLocale::Greek, "GREEK"},           {QLocale::Turkish, "TURKISH"},
        {QLocale::Swedish, "SWEDISH"},       {QLocale::Finnish, "FINNISH"},
        {QLocale::Danish, "DANISH"},         {QLocale::NorwegianBokmal, "NORWEGIAN"},
        {QLocale::Lithuanian, "LITHUANIAN"}, {QLocale::Latvian, "LATVIAN"},
        {QLocale::Estonian, "ESTONIAN"},     {QLocale::Kazakh, "KAZAKH"},
        {QLocale::Japanese, "JAPANESE"},     {QLocale::Korean, "KOREAN"},
        {QLocale::Hebrew, "HEBREW"},         {QLocale::Arabic, "ARABIC"},
    };
    const QLocale::Language language = locale.language();
    if (language == QLocale::Portuguese)
        return locale.territory() == QLocale::Brazil ? QStringLiteral("BRAZILIAN PORTUGUESE")
                                                     : QStringLiteral("PORTUGUESE");
    if (language == QLocale::Chinese)
        return locale.script() == QLocale::TraditionalChineseScript
                   ? QStringLiteral("TRADITIONAL CHINESE")
                   : QStringLiteral("SIMPLIFIED CHINESE");
    for (const Name& name : names)
        if (name.language == language)
            return QLatin1String(name.oracle);
    return {};
}

QStringList oracleSessionStatements(const QString& qtFormat, const QLocale& locale)
{
    const Translation translation = translate(qtFormat);
    QStringList statements;
    if (translation.namesMonthsOrDays) {
        const QString language = oracleDateLanguage(locale);
        if (!language.isEmpty())
            statements
                << QStringLiteral("alter session set NLS_DATE_LANGUAGE = '%1'").arg(language);
    }
    QString format = translation.format;
    format.replace(QLatin1Char('\''), QLatin1String("''"));
    statements << QStringLiteral("alter session set NLS_DATE_FORMAT = '%1'").arg(format);
    return statements;
}

QByteArray oracleNlsLang(const QByteArray& nlsLang)
{
    const qsizetype dot = nlsLang.indexOf('.');
    if (dot >= 0 && dot + 1 < nlsLang.size())
        return nlsLang;
    return (dot < 0 ? nlsLang : nlsLang.left(dot)) + ".AL32UTF8";
}

} // namespace varnel::odbc
