#pragma once

#include "base/localetext.h"
#include "db/call.h"
#include "db/engine.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace varnel {

// The one database connection of the program (`ADOConnectionBase`). It takes the connection
// string that the login builds, picks the engine from its data source and never asks the
// user anything itself: every failure is a DbError for the caller.
//
// The engine lives on a thread of the connection's own, which runs one call at a time: the
// engine is opened, used and closed there. Callers see a synchronous call; meanwhile their
// thread waits through the waiter (the progress window, which keeps the windows painted and
// offers Cancel). A cancelled call raises Cancelled.
class Connection {
public:
    // Opens an engine for a connection string, reading and writing date texts in `locale`.
    using EngineFactory = std::function<std::unique_ptr<Engine>(const QString& connectionString,
                                                                const LocaleText& locale)>;

    Connection();
    // Tests and the Oracle path hand in another way to open an engine.
    explicit Connection(EngineFactory factory);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const QString& name() const { return m_name; }

    const QString& connectionString() const { return m_connectionString; }
    // A string different from the current one closes an open connection first: the next
    // connect() opens the new database, never the old one under a new name.
    void setConnectionString(const QString& connectionString);

    // Opens the connection with the current string; nothing happens when it is open. `locale`
    // holds for the whole connection: the engine reads the date texts of statements in its
    // format, and the datasets show their rows in it. A connect that the user cancels raises
    // Cancelled at once, however long the driver goes on connecting: that connect keeps the
    // thread it blocks to itself and closes the engine it opens late there, and the connection
    // goes on with a thread of its own for the next one.
    void connect(const LocaleText& locale);
    // The same in the user's regional settings of this moment: the one place where the
    // gateway reads LocaleText::current(). The program never changes them while it runs, so
    // this is the locale of every later statement and opening as well.
    void connect();
    void connect(const QString& connectionString);
    // The regional settings of the last connect(); raises DbError before the first one.
    const LocaleText& locale() const;
    // Closes the connection, and with it every statement dataset; allowed when closed.
    void disconnect();
    bool connected() const { return m_engine != nullptr; }

    // Runs `job` with the open engine on the connection's thread and waits for it; raises
    // DbError when the connection is closed, and whatever the job raises. `title` names the
    // wait («Отбор записей»). When the user cancels, the statement is stopped and the call
    // raises Cancelled; with `keepIfDone`, a job that finished all the same counts as done
    // (a deletion that happened must not be reported as cancelled).
    void call(const QString& title, const std::function<void(Engine&)>& job,
              bool keepIfDone = false);
    // Runs a query with the open engine on the connection's thread and returns its rows. A
    // cancelled query raises Cancelled at once; the database may take a moment longer to stop
    // it, meanwhile the next call waits.
    RowSet query(const QString& title, const QString& sql);
    // Runs work that needs no statement (a sort, an export's lines) on the connection's thread
    // and waits for it; the work counts through the Call and stops where it calls
    // checkCancelled().
    void work(const QString& title, const std::function<void(Call&)>& job);
    // The same for work that owns all it touches (a sort of a copy of the order): once the
    // user cancels it, the caller goes on at once and the work is left to end on the thread.
    void detachedWork(const QString& title, std::function<void(Call&)> job);

    // Who waits for calls; null: the calling thread blocks. Not owned.
    void setWaiter(Waiter* waiter) { m_waiter = waiter; }

    // The open engine, for a caller on the connection's thread or while no call runs; raises
    // DbError when the connection is closed.
    Engine& engine();

    // The file of the open database on this machine (Engine::localFile); empty when closed.
    QString localFile() const { return m_engine ? m_engine->localFile() : QString(); }

    // Called with no argument just before the connection closes (the datasets close their rows).
    void onDisconnect(std::function<void()> callback)
    {
        m_onDisconnect.push_back(std::move(callback));
    }

    // The engine for a connection string: the embedded engine for a local database file,
    // Oracle through ODBC otherwise.
    static std::unique_ptr<Engine> openEngine(const QString& connectionString,
                                              const LocaleText& locale);
    // The same with the embedded engine waiting up to `busyTimeout` for a file that another
    // connection has locked, where the form above waits SqliteEngine::kDefaultBusyTimeout;
    // Oracle waits as its server decides.
    static std::unique_ptr<Engine> openEngine(const QString& connectionString,
                                              const LocaleText& locale,
                                              std::chrono::milliseconds busyTimeout);

private:
    struct Worker;

    // Runs `job` on the connection's thread and waits for it through the waiter.
    void runOnThread(const std::shared_ptr<Call>& call, std::function<void()> job);
    // Hands `job` to the thread, behind the jobs queued before; returns at once.
    void enqueue(const std::shared_ptr<Call>& call, std::function<void()> job);
    // Closes an engine on the connection's thread, behind every job queued before.
    void closeOnThread(std::unique_ptr<Engine> engine);
    // Leaves the thread to the job that blocks it; the next call starts a new one.
    void retireThread();

    QString m_name = QStringLiteral("ADOConnectionBase");
    QString m_connectionString;
    EngineFactory m_factory;
    std::unique_ptr<Engine> m_engine;
    std::optional<LocaleText> m_locale;
    std::vector<std::function<void()>> m_onDisconnect;
    Waiter* m_waiter = nullptr;
    bool m_busy = false; // a call runs (checked on the caller's thread)

    std::shared_ptr<Worker> m_worker; // started with the first call
    // Threads left to connects that the user abandoned inside the driver.
    std::vector<std::shared_ptr<Worker>> m_retired;
};

} // namespace varnel
