#include "maintain/core/periodstatements.h"

#include "base/localetext.h"

namespace varnel {

namespace {

// The one text of the period's condition: the deletion, its count and the export append it
// alike, so that what is counted and written is what is deleted.
QString periodCondition(const std::optional<Period>& period, const LocaleText& locale)
{
    if (!period)
        return {};
    return QStringLiteral(" where ddate between '") + locale.dateText(period->from) +
           QStringLiteral("' and '") + locale.dateText(period->to) + u'\'';
}

} // namespace

QString periodDeletionStatement(const QString& table, const std::optional<Period>& period,
                                const LocaleText& locale)
{
    return QStringLiteral("delete ") + table + periodCondition(period, locale);
}

QString periodDeletionQuestion(const QString& table, const std::optional<Period>& period,
                               const LocaleText& locale)
{
    if (!period)
        return QStringLiteral("Вы действительно хотите удалить все записи таблицы логов (") +
               locale.upper(table) + QStringLiteral(") из базы данных?");
    return QStringLiteral("Вы действительно хотите удалить записи таблицы логов ( ") +
           locale.upper(table) + QStringLiteral(") за период с ") + locale.dateText(period->from) +
           QStringLiteral("г. по ") + locale.dateText(period->to) +
           QStringLiteral("г. из базы данных?");
}

QString periodCountStatement(const QString& table, const std::optional<Period>& period,
                             const LocaleText& locale)
{
    return QStringLiteral("select count(*) from ") + table + periodCondition(period, locale);
}

QString exportStatement(const QString& table, const std::optional<Period>& period,
                        const LocaleText& locale)
{
    return QStringLiteral("Select * from ") + table + periodCondition(period, locale);
}

QString exportFileName(QDate today, const LocaleText& locale)
{
    QString name = QStringLiteral("Varnel_") + locale.dateText(today);
    // The date text is no file name: "/" would make folders of it, ":" is refused on Windows.
    for (QChar& c : name)
        if (c.unicode() < 0x20 || QStringView(u"/\\:*?\"<>|").contains(c))
            c = u'-';
    // A date text with dots ("08.12.2026") would pass for an extension and keep the dialog
    // from adding one.
    return name + QStringLiteral(".txt");
}

} // namespace varnel
