#include "datamodulebase.h"

namespace varnel {

TDataModuleBase::TDataModuleBase(QObject* parent) : QObject(parent)
{
    createSlots();
}

TDataModuleBase::TDataModuleBase(Connection::EngineFactory factory, QObject* parent)
    : QObject(parent), m_connection(std::move(factory))
{
    createSlots();
}

TDataModuleBase::~TDataModuleBase()
{
    // Slots close (and tell their views) before the connection goes.
    m_connection.disconnect();
}

void TDataModuleBase::createSlots()
{
    setObjectName(QStringLiteral("DataModuleBase"));
    static const char* const names[SlotCount] = {
        "ADOQueryMain", "ADOQueryTable",  "ADOQueryAction",      "ADOQueryOracleUser",
        "ADOQueryPC",   "ADOQueryOSUser", "ADOQueryCreateTable", "ADOQuerySaveLog"};
    for (int i = 0; i < SlotCount; ++i) {
        m_slots[i] = std::make_unique<StatementSlot>(QString::fromLatin1(names[i]), m_connection,
                                                     m_currentLogTable);
        StatementSlot* slot = m_slots[i].get();
        m_connection.onDisconnect([slot] { slot->close(); });
    }
}

} // namespace varnel
