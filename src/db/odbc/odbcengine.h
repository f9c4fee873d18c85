#pragma once

#include "../engine.h"
#include "../onerecorddelete.h"
#include "odbclogin.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <memory>

class QSqlError;

namespace varnel {

class LocaleText;
struct ConnectionParams;

namespace odbc {

// A database behind Qt's ODBC driver (QODBC): Oracle through Oracle's ODBC driver. Statements
// run as they are, forward-only, with numbers fetched as exact decimal text; DATE and
// TIMESTAMP columns become date-times (a bare date is midnight). Each engine owns a
// QSqlDatabase connection under a name of its own and removes it when destroyed.
class OdbcEngine final : public Engine {
public:
    struct Options {
        OdbcLogin login;
        // Run after connecting, when the driver reports an Oracle database.
        QStringList sessionStatements;
        // Oracle's unless a test runs the engine on another database.
        OneRecordDeleteForm oneRecordDelete = oracleOneRecordDelete();
        // QODBC connect options beside ODBC 3 behaviour ("SQL_ATTR_TRACE=SQL_OPT_TRACE_ON;...").
        QString connectOptions;
    };

    explicit OdbcEngine(Options options);
    ~OdbcEngine() override;
    OdbcEngine(const OdbcEngine&) = delete;
    OdbcEngine& operator=(const OdbcEngine&) = delete;

    RowSet query(const QString& sql) override;
    void execute(const QString& sql) override;
    void deleteRecord(const QString& table, const RowSet& rows, uint32_t row) override;

    // The QSqlDatabase connection name, unique per engine.
    const QString& connectionName() const { return m_name; }

private:
    void requireOpen() const;
    [[noreturn]] static void raise(const QSqlError& error);

    QString m_name;
    QSqlDatabase m_db;
    OneRecordDeleteForm m_oneRecordDelete;
};

// The engine for a data source that is no local file: Oracle through the configured data
// source of that name, or else through the first installed Oracle driver, with the session's
// date format set to the user's short date format.
std::unique_ptr<Engine> openOracle(const ConnectionParams& params, const LocaleText& locale,
                                   const OdbcCatalog& catalog);

} // namespace odbc
} // namespace varnel
