#include "logtableschema.h"

#include "datamodulebase.h"

namespace varnel {

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

void CreateLogTable(TDataModuleBase& dataModule, const QString& name)
{
    StatementSlot& slot = dataModule.ADOQueryCreateTable();
    slot.close();
    slot.clearText();
    for (const QString& statement : {createLogTableStatement(name), grantLogTableStatement(name)}) {
        slot.setText(statement);
        slot.execute();
        slot.close();
        slot.clearText();
    }
    slot.setText(publicSynonymStatement(name));
    slot.execute();
}

} // namespace varnel
