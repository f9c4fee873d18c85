#include "db/logtableschema.h"

#include "db/logdatabase.h"
#include "db/rowset.h"

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

} // namespace

bool isOracleTableName(QStringView text)
{
    qsizetype at = namePartEnd(text, 0);
    if (at > 0 && at < text.size() && text[at] == u'.')
        at = namePartEnd(text, at + 1);
    if (at > 0 && at < text.size() && text[at] == u'@') {
        at = namePartEnd(text, at + 1);
        while (at > 0 && at < text.size() && text[at] == u'.')
            at = namePartEnd(text, at + 1);
    }
    return at == text.size();
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
    return QStringLiteral("create public synonym ") + name + QStringLiteral(" for ") + name;
}

void CreateLogTable(LogDatabase& database, const QString& name)
{
    Dataset& dataset = database.commandDataset();
    dataset.setWaitTitle(QStringLiteral("Создание таблицы логов"));
    // Each setText closes the dataset first; the first failing statement ends the creation.
    for (const QString& statement : {createLogTableStatement(name), grantLogTableStatement(name),
                                     publicSynonymStatement(name)}) {
        dataset.setText(statement);
        dataset.execute();
    }
}

} // namespace varnel
