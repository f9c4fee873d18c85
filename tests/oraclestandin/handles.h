#pragma once

#include "db/embedded/sqliteengine.h"
#include "db/rowset.h"
#include "nls.h"

#include <QHash>
#include <QString>

#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace varnel::standin {

struct DiagRecord {
    std::string sqlstate;
    SQLINTEGER native = 0; // the ORA number, 0 for the driver's own errors
    std::string message;   // UTF-8
};

// Oracle's record for a database message ("ORA-00942: ..."): "[Oracle][ODBC][Ora]" before it,
// the ORA number as the native error, the SQLSTATE that Oracle's driver gives that number
// unless `sqlstate` says otherwise.
DiagRecord oracleRecord(const QString& message, const char* sqlstate = nullptr);
// A record of the driver itself: "[Oracle][ODBC]" before the text, native error 0.
DiagRecord driverRecord(const char* sqlstate, const char* text);

// Raised inside the driver and turned into a diagnostic record by the entry point.
struct Failure {
    DiagRecord record;
};
[[noreturn]] void fail(const char* sqlstate, const char* text);

// Tags that freed or foreign memory is unlikely to hold.
enum class HandleKind : uint32_t {
    Environment = 0x56454e56,
    Connection = 0x5644424e,
    Statement = 0x5653544d
};

// What every handle carries: its kind (checked on each call, so that a handle of another kind
// is refused instead of misread) and the diagnostics of its last call.
struct Handle {
    explicit Handle(HandleKind k) : kind(k) {}
    ~Handle() { kind = HandleKind{}; }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HandleKind kind;
    std::vector<DiagRecord> diagnostics;
};

struct Environment : Handle {
    static constexpr HandleKind kKind = HandleKind::Environment;
    Environment() : Handle(kKind) {}
    SQLINTEGER odbcVersion = SQL_OV_ODBC3;
};

class Statement;

// One Oracle session on one embedded engine, shared by its statements. One thread uses it at
// a time; only cancel() comes from another thread, and touches nothing but an atomic flag and
// the engine's interrupt().
class Connection : public Handle {
public:
    static constexpr HandleKind kKind = HandleKind::Connection;
    explicit Connection(Environment& environment) : Handle(kKind), m_environment(environment) {}
    ~Connection();

    // Logs in with an ODBC connection string (DBQ, DSN, UID, PWD), as Oracle's driver does.
    void connect(const QString& connectString);
    void disconnect();
    bool connected() const { return m_engine != nullptr; }

    embedded::SqliteEngine& engine() { return *m_engine; }
    const ClientSettings& client() const { return m_client; }
    const OracleDateFormat& dateFormat() const { return *m_dateFormat; }
    SQLINTEGER odbcVersion() const { return m_environment.odbcVersion; }
    const QString& database() const { return m_database; }
    const QString& user() const { return m_user; }

    // "alter session set ...": NLS_DATE_FORMAT and NLS_DATE_LANGUAGE change how dates are read
    // and written; any other parameter is accepted and has no effect.
    void alterSession(const QString& sql);

    // Before each statement: whether the instance of the session is still the one it logged in
    // to (VARNEL_ORACLE_STANDIN_INSTANCE unchanged). When it is gone the driver fails over, as
    // Oracle's does unless told FEN=F, to a new session whose ALTER SESSION settings are lost;
    // with FEN=F the statement fails with ORA-03113 and so does every later one (ORA-03114).
    void checkInstance();

    bool autocommit() const { return m_autocommit; }
    void setAutocommit(bool on);
    // Before a statement runs: with autocommit off, the transaction that SQLEndTran ends
    // begins; a cancel meant for an earlier statement is forgotten.
    void prepareToRun();
    void endTransaction(bool commit);

    // Stops what `statement` runs now, from any thread; nothing when it runs nothing.
    void cancel(const Statement& statement);

    // The columns of the database's tables declared CLOB or NCLOB, upper case, with that type.
    QHash<QString, QString> lobColumns();

    // The connection owns its statements: disconnecting frees them.
    void adopt(Statement* statement) { m_statements.push_back(statement); }
    void release(Statement* statement) { std::erase(m_statements, statement); }

private:
    void setDateFormat(const QString& oracleFormat, const QLocale& language);

    Environment& m_environment;
    std::unique_ptr<embedded::SqliteEngine> m_engine;
    ClientSettings m_client;
    QString m_dateFormatText; // NLS_DATE_FORMAT as Oracle writes it
    std::optional<OracleDateFormat> m_dateFormat;
    QLocale m_dateLanguage; // NLS_DATE_LANGUAGE
    QString m_database;
    QString m_user;
    bool m_failover = true; // FEN
    QByteArray m_instance;  // VARNEL_ORACLE_STANDIN_INSTANCE at the login
    bool m_lost = false;    // the instance went and no failover took the session
    bool m_autocommit = true;
    bool m_inTransaction = false;
    std::atomic<bool> m_cancelRequested{false};
    std::vector<Statement*> m_statements;
};

struct ColumnBinding {
    SQLSMALLINT cType = 0;
    char* data = nullptr;
    SQLLEN bufferLength = 0;
    SQLLEN* indicator = nullptr;
};

struct ParameterBinding {
    SQLSMALLINT cType = 0;
    const void* data = nullptr;
    SQLLEN bufferLength = 0;
    const SQLLEN* indicator = nullptr;
};

// A result column as Oracle's driver describes it.
struct ResultColumn {
    std::string name; // UTF-8
    SQLSMALLINT sqlType = SQL_VARCHAR;
    SQLULEN size = 0;
    const char* typeName = nullptr; // Oracle's name of the type, when it is no plain one

    bool isText() const
    {
        return sqlType == SQL_VARCHAR || sqlType == SQL_WVARCHAR || sqlType == SQL_WLONGVARCHAR;
    }
    // CLOB and NCLOB: no width, and a value read in pieces has no known total.
    bool isLob() const { return sqlType == SQL_WLONGVARCHAR; }
};

class Statement : public Handle {
public:
    static constexpr HandleKind kKind = HandleKind::Statement;
    explicit Statement(Connection& connection) : Handle(kKind), m_connection(connection) {}

    Connection& connection() const { return m_connection; }

    // Runs a statement (its bound parameters substituted) and opens its rows, if any.
    SQLRETURN execute(const QString& sql);
    void prepare(const QString& sql);
    SQLRETURN executePrepared();
    // Opens the rows that SQLGetTypeInfo answers with.
    void typeInfo(SQLSMALLINT dataType);
    void closeCursor();

    void bindParameter(SQLUSMALLINT number, const ParameterBinding& binding);
    void resetParameters() { m_parameters.clear(); }
    void bindColumn(SQLUSMALLINT number, const ColumnBinding& binding);
    void unbindColumns() { m_columns.clear(); }

    const std::vector<ResultColumn>& resultColumns() const { return m_resultColumns; }
    const ResultColumn& resultColumn(SQLUSMALLINT number) const;
    SQLLEN rowCount() const { return m_rowCount; }
    // The rows fetched so far: what comes after them is not read yet.
    SQLLEN cursorRowCount() const { return m_cursorOpen ? SQLLEN(m_rowsBefore + m_nextRow) : 0; }

    SQLRETURN fetch();
    SQLRETURN getData(SQLUSMALLINT number, SQLSMALLINT cType, void* target, SQLLEN bufferLength,
                      SQLLEN* indicator);

    bool executing() const { return m_executing.load(); }

    // Block fetch, as SQLSetStmtAttr sets it.
    struct FetchSettings {
        SQLULEN rowArraySize = 1;
        SQLULEN* rowsFetched = nullptr;
        SQLUSMALLINT* rowStatus = nullptr;
    };
    FetchSettings& fetchSettings() { return m_fetch; }
    // What SQLGetStmtAttr gives for the four implicit descriptors (0..3 from
    // SQL_ATTR_APP_ROW_DESC): distinct handles that only the driver manager keeps.
    void* descriptor(int index) { return &m_descriptors[index]; }

private:
    enum class Cell { Written, Truncated };
    Cell putCell(uint32_t row, int col, SQLSMALLINT cType, void* target, SQLLEN bufferLength,
                 SQLLEN* indicator, size_t& offset);
    // The value as text (UTF-8): a number in exact decimals, a date in NLS_DATE_FORMAT.
    std::string_view cellText(uint32_t row, int col);
    // Texts into UTF-16, most of what a log table fetches, without putCell's turns per cell
    // (the same results); true when one was cut.
    bool fetchTextsWide(int col, const ColumnBinding& binding, uint32_t first, uint32_t count);
    double cellNumber(uint32_t row, int col) const;
    void openRows(RowSet rows, std::vector<ResultColumn> columns);
    // The next rows of the cursor into m_rows, while the fetch call that wants them runs.
    void readBlock();
    // The SQL literal of the value bound to a marker (numbered from 0).
    QString parameterLiteral(size_t marker) const;

    Connection& m_connection;
    QString m_prepared;
    bool m_isPrepared = false;
    std::vector<std::optional<ParameterBinding>> m_parameters; // by marker number - 1
    std::vector<std::optional<ColumnBinding>> m_columns;       // by column number - 1

    // The rows are made as the client fetches them, a block at a time: the block read last,
    // the rows of the blocks before it, and the query's cursor until its last row is read.
    RowSet m_rows;
    uint64_t m_rowsBefore = 0;
    std::optional<embedded::SqliteEngine::Cursor> m_cursor;
    std::vector<ResultColumn> m_resultColumns;
    bool m_cursorOpen = false;
    uint32_t m_nextRow = 0;               // in m_rows
    std::optional<uint32_t> m_currentRow; // the row SQLGetData reads
    SQLLEN m_rowCount = -1;
    int m_pieceColumn = -1; // SQLGetData's column whose text goes out in pieces
    size_t m_pieceOffset = 0;
    bool m_pieceDone = false;
    std::string m_scratch; // numbers and dates as text, reused so that fetching allocates nothing
    FetchSettings m_fetch;
    int m_descriptors[4] = {};
    std::atomic<bool> m_executing{false};
};

} // namespace varnel::standin
