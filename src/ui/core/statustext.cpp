#include "ui/core/statustext.h"

#include "db/connectionstring.h"
#include "db/dberror.h"

#include <QLocale>

namespace varnel {

QString recordCountText(int64_t records, const QLocale& locale)
{
    return QStringLiteral("Записей: ") + locale.toString(qint64(records));
}

QString recordPlaceText(int64_t row, int64_t records, const QLocale& locale)
{
    return QStringLiteral("Запись ") + locale.toString(qint64(row)) + QStringLiteral(" из ") +
           locale.toString(qint64(records));
}

QString selectTimeText(std::chrono::milliseconds took, const QLocale& locale)
{
    return QStringLiteral("Отобрано за ") + locale.toString(double(took.count()) / 1000.0, 'f', 2) +
           QStringLiteral(" с");
}

QString deletedRecordsText(int64_t records, const QLocale& locale)
{
    return QStringLiteral("Удалено записей: ") + locale.toString(qint64(records));
}

QString countText(int64_t count, RussianNoun noun, const QLocale& locale)
{
    const int64_t last = (count < 0 ? -count : count) % 100;
    const char* word = last / 10 == 1                     ? noun.many
                       : last % 10 == 1                   ? noun.one
                       : last % 10 >= 2 && last % 10 <= 4 ? noun.few
                                                          : noun.many;
    return locale.toString(qint64(count)) + QLatin1Char(' ') + QString::fromUtf8(word);
}

QString noRecordsText()
{
    return QStringLiteral("Нет записей, отвечающих фильтрам");
}

QString databaseText(const QString& logTable, const QString& connectionString)
{
    ConnectionParams params;
    try {
        params = parseConnectionString(connectionString);
    } catch (const DbError&) {
        return logTable;
    }
    QString where = params.dataSource;
    if (!params.isLocalFile() && !params.user.isEmpty())
        where = params.user + QLatin1Char('@') + where;
    return where.isEmpty() ? logTable : logTable + QStringLiteral(" — ") + where;
}

} // namespace varnel
