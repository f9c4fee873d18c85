#include "db/logdatabase.h"

namespace varnel {

LogDatabase::LogDatabase(QObject* parent) : QObject(parent)
{
    createSlots();
}

LogDatabase::LogDatabase(Connection::EngineFactory factory, QObject* parent)
    : QObject(parent), m_connection(std::move(factory))
{
    createSlots();
}

LogDatabase::~LogDatabase()
{
    // Slots close (and tell their views) before the connection goes.
    m_connection.disconnect();
}

void LogDatabase::createSlots()
{
    setObjectName(QStringLiteral("DataModuleBase"));
    static const char* const names[SlotCount] = {
        "ADOQueryMain", "ADOQueryTable",  "ADOQueryAction",      "ADOQueryOracleUser",
        "ADOQueryPC",   "ADOQueryOSUser", "ADOQueryCreateTable", "ADOQuerySaveLog"};
    // What the progress window says while each slot's statements run; a caller that uses a
    // slot for something else says so (the creation of a log table).
    static const char* const titles[SlotCount] = {
        "Отбор записей",       "Обновление фильтров", "Обновление фильтров", "Обновление фильтров",
        "Обновление фильтров", "Обновление фильтров", "Удаление записей",    "Выгрузка логов"};
    for (int i = 0; i < SlotCount; ++i) {
        m_slots[i] = std::make_unique<StatementSlot>(QString::fromLatin1(names[i]), m_connection,
                                                     m_currentLogTable);
        m_slots[i]->setWaitTitle(QString::fromUtf8(titles[i]));
        StatementSlot* slot = m_slots[i].get();
        m_connection.onDisconnect([slot] { slot->close(); });
    }
}

} // namespace varnel
