#pragma once

#include "db/dberror.h"
#include "db/embedded/oracledate.h"
#include "db/embedded/sqlrewriter.h"
#include "db/engine.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace varnel::embedded {

// A local SQLite file behind the same Oracle statements that the program sends to a server:
// each text is rewritten (sqlrewriter.h) and run on a connection that carries Oracle's
// functions, case-sensitive LIKE and a one-row "dual". DATE columns hold
// 'YYYY-MM-DD HH:MM:SS' texts, TIMESTAMP columns the same with a fraction of a second
// ('.ffffff'), which the snapshot keeps. Exactly one statement runs per text.
class SqliteEngine final : public Engine {
    struct Statement;

public:
    // How long a statement waits by default for the file that another connection has locked
    // (a writer of the log in its transaction) before it fails with ORA-00054.
    static constexpr std::chrono::milliseconds kDefaultBusyTimeout{5000};

    // `dateFormat` is the connection's date format in Qt's notation (the statement date format
    // of LocaleText): quoted date texts in statements are read with it.
    SqliteEngine(const QString& path, const QString& dateFormat, const QLocale& locale,
                 std::chrono::milliseconds busyTimeout = kDefaultBusyTimeout);
    ~SqliteEngine() override;

    // The rows of a query read a block at a time, as a server's cursor hands them to a client
    // that fetches as it goes. Opening runs the statement as far as its first row, so that
    // what fails at once (a sort that is cancelled, say) fails there and a column without a
    // declared type takes the type of its first value. The engine must outlive its cursors.
    class Cursor {
    public:
        Cursor(Cursor&&) noexcept;
        ~Cursor();
        Cursor& operator=(Cursor&&) = delete;

        const std::vector<ColumnInfo>& columns() const { return m_columns; }
        // The column's type as its table declares it, upper case ("CLOB", "NVARCHAR2(50)");
        // empty for an expression.
        const QString& declaration(int col) const { return m_declared[size_t(col)]; }
        // A builder with the result's columns, for fetch().
        RowSet::Builder builder() const;
        // Appends up to `count` rows to `rows`; false once no row follows them. A step that
        // fails after some rows were appended fails the next call, so that those rows count.
        bool fetch(RowSet::Builder& rows, uint32_t count);

    private:
        friend class SqliteEngine;
        Cursor(SqliteEngine& engine, Statement statement);
        void readRow(RowSet::Builder& rows);

        SqliteEngine& m_engine;
        sqlite3_stmt* m_handle;
        std::vector<ColumnInfo> m_columns;
        std::vector<bool> m_known;
        std::vector<QString> m_declared;
        int m_step = 0; // what the last sqlite3_step answered: SQLITE_ROW while a row waits
    };
    Cursor openCursor(const QString& sql);

    RowSet query(const QString& sql) override;
    int64_t execute(const QString& sql) override;
    void deleteRecord(const QString& table, const RowSet& rows, uint32_t row) override;
    QString localFile() const override;

    // How many records the last execute() inserted, updated or deleted; 0 after other
    // statements.
    int64_t lastChangeCount() const { return m_changes; }
    // An Oracle session's transaction, for a client that turned autocommit off: what runs
    // between begin() and commit() is written for good, or not at all after rollback().
    void begin();
    void commit();
    void rollback();

    // Stops the statement that runs now, from any thread: it fails with ORA-01013, as Oracle's
    // does when its client cancels it. A statement that starts later runs as usual. A
    // statement waiting for a lock stops waiting.
    void interrupt();
    void cancel() override { interrupt(); }
    // Quoted date texts of later statements are read with this format (Qt's notation), as an
    // Oracle session's NLS_DATE_FORMAT changes with "alter session".
    void setDateFormat(const QString& dateFormat, const QLocale& locale);

    // The SQLite text that `sql` runs as (for the benchmark and for tests).
    QString translate(const QString& sql);

private:
    RewriteContext rewriteContext() const;
    Statement prepare(const QString& sqliteSql) const;
    // The same for a statement of the user's, which binds no values of its own.
    Statement prepareUnbound(const QString& sqliteSql) const;
    // Runs a statement that the engine itself controls; false when it failed.
    bool run(const char* sql) const;
    // Undoes what ran since `savepoint` and ends it; `inTransaction`: a transaction was open
    // before it.
    void undo(const char* savepoint, bool inTransaction) const;
    // The failure that SQLite's `code` stands for, in Oracle's words where users meet it.
    DbError failure(int code) const;
    [[noreturn]] void raise(int code) const;
    // interrupt() was called, or the call that runs was cancelled.
    bool cancelled() const;
    static int onProgress(void* engine);
    static int busyWait(void* engine, int attempts);
    // Raises DbError when the file at the engine's path is no longer the one it opened.
    void requireOpenedFile() const;
    // Learns which columns are declared DATE, when the schema changed since it last looked.
    void refreshDateColumns();
    bool tableExists(const QString& name) const;

    sqlite3* m_db = nullptr;
    QString m_path;
    DateFormat m_dateFormat;
    QHash<QString, QSet<QString>> m_dateColumns; // table -> columns declared DATE, upper case
    int64_t m_schemaVersion = -1;
    mutable std::atomic<bool> m_cancelled{false}; // interrupt() was called
    std::chrono::milliseconds m_busyTimeout;
    std::chrono::steady_clock::time_point m_busySince;
    int64_t m_changes = 0;
};

// Oracle's text for the SQLite failures that users meet; SQLite's own text otherwise.
QString oracleMessage(int code, const QString& sqliteMessage);

} // namespace varnel::embedded
