#include "db/logtableschema.h"

#include "db/dberror.h"
#include "db/logdatabase.h"
#include "db/rowset.h"

#include <optional>

namespace varnel {

namespace {

// The end of the name part that starts at `at`, or -1 when none starts there.
qsizetype namePartEnd(QStringView text, qsizetype at)
{
    if (at >= text.size())
        return -1;
    if (text[at] == u'"') {
        const qsizetype close = text.indexOf(u'"', at + 1);
        // Oracle takes neither an empty quoted name nor a NUL in one.
        if (close <= at + 1 || text.sliced(at + 1, close - at - 1).contains(QChar(0)))
            return -1;
        return close + 1;
    }
    if (!text[at].isLetter())
        return -1;
    qsizetype end = at + 1;
    // Marks too: a letter may be written as a base letter and a combining accent.
    while (end < text.size() && (text[end].isLetterOrNumber() || text[end].isMark() ||
                                 text[end] == u'_' || text[end] == u'$' || text[end] == u'#'))
        ++end;
    return end;
}

struct TableNameParts {
    QStringView table; // the table's own name, without its schema, quotes kept
    QStringView link;  // the database link after "@", or nothing
};

// The parts of an Oracle table name; nothing when `text` is none.
std::optional<TableNameParts> splitTableName(QStringView text)
{
    TableNameParts parts;
    qsizetype start = 0;
    qsizetype at = namePartEnd(text, 0);
    if (at > 0 && at < text.size() && text[at] == u'.') {
        start = at + 1;
        at = namePartEnd(text, start);
    }
    if (at > 0)
        parts.table = text.sliced(start, at - start);
    if (at > 0 && at < text.size() && text[at] == u'@') {
        const qsizetype link = at + 1;
        at = namePartEnd(text, link);
        while (at > 0 && at < text.size() && text[at] == u'.')
            at = namePartEnd(text, at + 1);
        if (at > 0)
            parts.link = text.sliced(link, at - link);
    }
    if (at != text.size())
        return std::nullopt;
    return parts;
}

} // namespace

bool isOracleTableName(QStringView text)
{
    return splitTableName(text).has_value();
}

QString logTableCreationProblem(const QString& name)
{
    const std::optional<TableNameParts> parts = splitTableName(name);
    if (!parts || parts->link.isEmpty())
        return {};
    return QStringLiteral("Таблицу логов «%1» нельзя создать: «@%2» — ссылка на другую базу "
                          "данных, а таблица логов создаётся в той, к которой выполнено "
                          "подключение.")
        .arg(name, parts->link.toString());
}

QString logTableFieldProblem(const RowSet& probe, const QString& shownTable)
{
    const int ddate = probe.indexOf(u"DDATE");
    if (ddate < 0 || probe.column(ddate).type == ColumnType::Date)
        return {};
    return QStringLiteral("Столбец DDATE таблицы логов ") + shownTable +
           QStringLiteral(" должен иметь тип DATE.");
}

QString createLogTableStatement(const QString& name)
{
    return QStringLiteral("create table ") + name +
           QStringLiteral("(sid NUMBER, ddate DATE, stable VARCHAR2(50), ") +
           QStringLiteral("saction VARCHAR2(10), schanges   VARCHAR2(4000), ") +
           QStringLiteral("suser_info VARCHAR2(100))");
}

QString grantLogTableStatement(const QString& name)
{
    // PUBLIC, like the synonym that follows: the log is written by triggers of every schema.
    return QStringLiteral("grant select, insert, update, delete on ") + name +
           QStringLiteral(" to public");
}

QString publicSynonymStatement(const QString& name)
{
    // A public synonym belongs to no schema: SCOTT.LOGS is reached as LOGS.
    const std::optional<TableNameParts> parts = splitTableName(name);
    const QString synonym = parts ? parts->table.toString() : name;
    return QStringLiteral("create public synonym ") + synonym + QStringLiteral(" for ") + name;
}

void createLogTable(LogDatabase& database, const QString& name)
{
    if (const QString problem = logTableCreationProblem(name); !problem.isEmpty())
        throw DbError(problem);
    Dataset& dataset = database.commandDataset();
    // Each setText closes the dataset first; the first failing statement ends the creation.
    for (const QString& statement : {createLogTableStatement(name), grantLogTableStatement(name),
                                     publicSynonymStatement(name)}) {
        dataset.setText(statement);
        dataset.execute(QStringLiteral("Создание таблицы логов"));
    }
}

} // namespace varnel
