#pragma once

#include "../engine.h"
#include "odbclogin.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QSqlError;

namespace varnel {

class LocaleText;
struct ConnectionParams;

namespace odbc {

// How one record is deleted. The defaults are Oracle's; a database without rownum (the SQLite
// ODBC driver of the tests) gives its own forms.
struct OneRecordDelete {
    // %1 the table as the user named it, %2 the column conditions joined by " and ". The line
    // break keeps a "--" in the user's table name from commenting the conditions out.
    QString statement = QStringLiteral("delete from %1\nwhere %2 and rownum = 1");
    // %1 a quoted column; the date-time is bound to the "?".
    QString dateEquals = QStringLiteral("%1 = ?");
};

struct BoundStatement {
    QString sql;
    QVariantList values; // one per "?", in order
};

// The statement that deletes one record equal to `row` of `rows`: every column compared, a NULL
// by "is null". Numbers are written as literals (exact, free of the session's decimal
// character, and without the 64-bit integer parameters that Oracle's ODBC driver lacks);
// date-times and texts are bound. A text is bound in pieces of at most 80 characters joined
// by "||": Qt binds a longer text as a long-data parameter, which a comparison with VARCHAR2
// may refuse. Raises DbError for a number that is no plain decimal.
BoundStatement deleteStatement(const QString& table, const RowSet& rows, uint32_t row,
                               const OneRecordDelete& form = {});

// A number as a driver writes it ("12,5", ".5", "-1.0E+20", " 42 ") in plain decimal notation
// without superfluous zeros ("12.5", "0.5", "-100000000000000000000", "42"); nothing for a
// text that is no number.
std::optional<std::string> plainDecimal(std::string_view text);

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
        OneRecordDelete oneRecordDelete;
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
    OneRecordDelete m_oneRecordDelete;
};

// The engine for a data source that is no local file: Oracle through the configured data
// source of that name, or else through the first installed Oracle driver, with the session's
// date format set to the user's short date format.
std::unique_ptr<Engine> openOracle(const ConnectionParams& params, const LocaleText& locale,
                                   const OdbcCatalog& catalog);

} // namespace odbc
} // namespace varnel
