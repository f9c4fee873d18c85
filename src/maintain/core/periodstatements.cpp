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

} // namespace varnel
