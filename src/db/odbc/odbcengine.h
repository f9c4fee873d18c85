#pragma once

#include "db/engine.h"
#include "db/odbc/odbclogin.h"
#include "db/onerecorddelete.h"

#include <QString>
#include <QStringList>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace varnel {

class LocaleText;
struct ConnectionParams;

namespace odbc {

// A database behind an ODBC driver, reached through the ODBC API itself: Oracle through
// Oracle's ODBC driver. Texts cross as UTF-16 with exact lengths (the wide entry points;
// nothing converts through a code page and no NUL is counted into a length), results come
// by array fetch into bound columns, numbers as exact decimal text, DATE and TIMESTAMP as
// date-times (a bare date is midnight). Statements run as they are.
class OdbcEngine final : public Engine {
public:
    struct Options {
        OdbcLogin login;
        // Run after connecting, when the driver reports an Oracle database.
        QStringList sessionStatements;
        // Oracle's unless a test runs the engine on another database.
        OneRecordDeleteForm oneRecordDelete = oracleOneRecordDelete();
        // Bytes of bound column buffers that one fetch call fills; the rows per call follow
        // from the widths of the result's columns.
        size_t fetchBytes = 8 << 20;
        // When set, the driver manager writes a trace of every call here (tests).
        QString traceFile;
    };

    // Connects; raises DbError with the driver's message when it cannot.
    explicit OdbcEngine(Options options);
    ~OdbcEngine() override;
    OdbcEngine(const OdbcEngine&) = delete;
    OdbcEngine& operator=(const OdbcEngine&) = delete;

    RowSet query(const QString& sql) override;
    int64_t execute(const QString& sql) override;
    void deleteRecord(const QString& table, const RowSet& rows, uint32_t row) override;

    // From any thread: stops the statement that runs now, which then fails as cancelled
    // (Oracle: ORA-01013). SQLCancel stops only a driver call that runs (ODBC 3.5): it goes to
    // the call that runs and again every 25 ms while one of the statement's calls runs, so
    // that a call the driver started just after one is stopped too; between calls the
    // statement stops by itself before its next one. Nothing happens when no statement runs.
    void cancel() override;

    // Whether the driver reports an Oracle database.
    bool isOracle() const { return m_oracle; }

private:
    struct Handles;
    class Statement;
    friend class Statement;
    class Pieces;
    // Autocommit off for as long as it lives; rolled back unless committed.
    class Transaction {
    public:
        explicit Transaction(OdbcEngine& engine);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        void commit();

    private:
        OdbcEngine& m_engine;
        bool m_committed = false;
    };

    // Read every row of a statement that has run and been described into a snapshot: in
    // arrays into bound buffers, where every column has a width; else each value whole in
    // pieces. fetchBound is false when a value overflowed its buffer (longer than its column
    // said, or the driver's own conversion failed with ORA-01406), so that the rows must be
    // read again in pieces.
    bool fetchBound(Statement& statement, RowSet::Builder& builder);
    void fetchPieces(Statement& statement, RowSet::Builder& builder);
    // The cancel's SQLCancel, sent again while the statement it was meant for is in a driver call.
    void repeatCancels();
    void run(Statement& statement, const QString& sql);
    void setAutocommit(bool on);
    void endTransaction(bool commit);

    std::unique_ptr<Handles> m_handles;
    OneRecordDeleteForm m_oneRecordDelete;
    size_t m_fetchBytes;
    bool m_oracle = false;
    // The statement that runs now, for cancel() from another thread; it ends under the lock.
    std::mutex m_runningLock;
    Statement* m_running = nullptr;
    std::condition_variable m_cancelled; // a cancel came, or the engine ends
    bool m_ending = false;
    std::thread m_repeater; // started by the first cancel
};

// Oracle's fetch buffer (FBS, bytes per round trip to the server): the driver's default of
// 60,000 bytes holds about 15 rows of the log table, this a few thousand.
constexpr int kOracleFetchBufferBytes = 16 << 20;

// The engine for a data source that is no local file: Oracle through the configured data
// source of that name, or else through the first installed Oracle driver, with the session's
// date format set to the one the program writes its date texts in.
std::unique_ptr<Engine> openOracle(const ConnectionParams& params, const LocaleText& locale,
                                   const OdbcCatalog& catalog);

} // namespace odbc
} // namespace varnel
