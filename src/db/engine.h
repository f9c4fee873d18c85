#pragma once

#include "db/dberror.h"
#include "db/rowset.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>

namespace varnel {

// One database behind the connection. Statement texts arrive in Oracle's dialect exactly as
// the program built them; an engine either runs them as they are (Oracle) or translates them
// so that they give Oracle's result (the embedded engine). Every failure is a DbError that
// carries the database's message.
class Engine {
public:
    virtual ~Engine() = default;

    // Runs a statement that returns rows and fetches all of them.
    virtual RowSet query(const QString& sql) = 0;
    // Runs a statement that returns no rows (DDL, grant, delete): the records it inserted,
    // updated or deleted, 0 for other statements, -1 when the database does not say.
    virtual int64_t execute(const QString& sql) = 0;
    // Deletes exactly one record of `table` whose columns all equal those of `row` in `rows`
    // (NULL equal to NULL), even when the table holds several identical records; fails when
    // there is none left.
    virtual void deleteRecord(const QString& table, const RowSet& rows, uint32_t row) = 0;

    // From any thread, while a call of another thread runs: asks the database to stop it. The
    // call then fails with the database's words for a cancelled statement (ORA-01013); one
    // that starts later runs as usual.
    virtual void cancel() {}

    // The connection's thread, as a call starts (null as it ends): the flag that the user's
    // cancel of that call raises. The engine's statements look at it before they reach the
    // database and now and then while they run, so a cancel that comes between the call's
    // start and the driver's is not lost; being the call's own, no later call can clear it.
    // The fetched count starts again at zero.
    virtual void beginCall(const std::atomic<bool>* cancelled)
    {
        m_callCancelled = cancelled;
        countFetched(0);
    }

    // From any thread: the records the running call has fetched so far, for a window that
    // shows the user how far it has come.
    int64_t fetchedSoFar() const { return m_fetched.load(std::memory_order_relaxed); }

    // The file on this machine that holds the database, as the engine opened it; empty for a
    // database on a server. The program must never write over it (or its companions).
    virtual QString localFile() const { return {}; }

    // Called now and then on the engine's thread while a statement runs (the embedded engine:
    // every thousand steps of SQLite; ODBC: between fetch calls, not inside a call that the
    // driver blocks in): the stand-in driver answers a cancel from it, and tests count the
    // calls. The handler must not use the engine; an empty function stops the calls.
    virtual void setProgressHandler(std::function<void()> handler)
    {
        m_progress = std::move(handler);
    }

protected:
    void countFetched(int64_t rows) { m_fetched.store(rows, std::memory_order_relaxed); }

    // Whether the user cancelled the call that runs now.
    bool callCancelled() const
    {
        return m_callCancelled && m_callCancelled->load(std::memory_order_relaxed);
    }
    // Raises Oracle's words for a cancelled statement once the call was cancelled.
    void checkCallCancelled() const
    {
        if (callCancelled())
            throw DbError(QString::fromLatin1(kCancelledMessage));
    }
    static constexpr const char* kCancelledMessage =
        "ORA-01013: user requested cancel of current operation";

    void reportProgress() const
    {
        if (m_progress)
            m_progress();
    }

private:
    std::function<void()> m_progress;
    std::atomic<int64_t> m_fetched{0};
    const std::atomic<bool>* m_callCancelled = nullptr;
};

} // namespace varnel
