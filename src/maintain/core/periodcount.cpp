#include "maintain/core/periodcount.h"

#include "db/dberror.h"
#include "db/logdatabase.h"

namespace varnel {

int64_t countPeriod(LogDatabase& database, const std::optional<Period>& period,
                    const LocaleText& locale)
{
    const QString sql = periodCountStatement(database.currentLogTable(), period, locale);
    // A statement's wait, not a query's: the window would count the rows fetched so far and
    // say «Записей: 0» all the while the database counts.
    RowSet rows;
    database.connection().call(
        QStringLiteral("Подсчёт записей"), [&](Engine& engine) { rows = engine.query(sql); }, true);
    if (rows.rowCount() != 1 || rows.columnCount() != 1 ||
        rows.column(0).type != ColumnType::Number || rows.isNull(0, 0) || !rows.isInteger(0, 0))
        throw DbError(QStringLiteral("%1: the database gave no count").arg(sql));
    return rows.integer(0, 0);
}

} // namespace varnel
