#pragma once

#include "db/connection.h"
#include "db/statementslot.h"

#include <QObject>
#include <QString>

#include <array>
#include <memory>

namespace varnel {

// The non-visual holder of the connection and the eight statement slots, alive for the whole
// run and handed to every window that works with the database. It also keeps the current log
// table: empty until a login succeeds, then the name exactly as the user typed it.
class LogDatabase : public QObject {
    Q_OBJECT

public:
    enum Slot {
        Main,        // ADOQueryMain: login probe, main log query
        Table,       // ADOQueryTable
        Action,      // ADOQueryAction
        OracleUser,  // ADOQueryOracleUser
        PC,          // ADOQueryPC
        OSUser,      // ADOQueryOSUser
        CreateTable, // ADOQueryCreateTable: statements without rows
        SaveLog,     // ADOQuerySaveLog: export
        SlotCount
    };

    explicit LogDatabase(QObject* parent = nullptr);
    explicit LogDatabase(Connection::EngineFactory factory, QObject* parent = nullptr);
    ~LogDatabase() override;

    Connection& ADOConnectionBase() { return m_connection; }
    StatementSlot& slot(Slot which) { return *m_slots[which]; }

    StatementSlot& ADOQueryMain() { return slot(Main); }
    StatementSlot& ADOQueryTable() { return slot(Table); }
    StatementSlot& ADOQueryAction() { return slot(Action); }
    StatementSlot& ADOQueryOracleUser() { return slot(OracleUser); }
    StatementSlot& ADOQueryPC() { return slot(PC); }
    StatementSlot& ADOQueryOSUser() { return slot(OSUser); }
    StatementSlot& ADOQueryCreateTable() { return slot(CreateTable); }
    StatementSlot& ADOQuerySaveLog() { return slot(SaveLog); }

    const QString& currentLogTable() const { return m_currentLogTable; }
    void setCurrentLogTable(const QString& name) { m_currentLogTable = name; }

private:
    void createSlots();

    QString m_currentLogTable; // declared before the slots, which keep a reference to it
    Connection m_connection;
    std::array<std::unique_ptr<StatementSlot>, SlotCount> m_slots;
};

} // namespace varnel
