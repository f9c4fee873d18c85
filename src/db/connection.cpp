#include "db/connection.h"

#include "base/largepages.h"
#include "db/connectionstring.h"
#include "db/dberror.h"
#include "db/embedded/sqliteengine.h"
#include "db/odbc/odbcengine.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace varnel {

namespace {

// How long the end of the program waits for a connect the user abandoned to end, so that the
// session it opened late is logged off; a driver still blocked then is left to the process's
// end.
constexpr std::chrono::seconds kAbandonedConnectGrace{3};

} // namespace

// A thread of the connection and the jobs handed to it, oldest first: more than one waits only
// behind a call that the user abandoned, and those cancelled meanwhile are passed over. Shared
// with the thread itself, which may outlive the connection when a connect keeps it.
struct Connection::Worker {
    std::mutex lock;
    std::condition_variable changed; // a job queued, the stop asked for, the loop left
    std::deque<std::function<void()>> jobs;
    bool stop = false;  // once the jobs queued are done
    bool ended = false; // the loop has been left
    std::thread thread;

    void run()
    {
        std::unique_lock guard(lock);
        for (;;) {
            changed.wait(guard, [this] { return stop || !jobs.empty(); });
            if (jobs.empty())
                break;
            std::function<void()> job = std::move(jobs.front());
            jobs.pop_front();
            guard.unlock();
            job();
            job = nullptr; // what it holds ends here, not under the lock
            guard.lock();
        }
        ended = true;
        changed.notify_all();
    }

    void finish()
    {
        {
            const std::lock_guard guard(lock);
            stop = true;
        }
        changed.notify_all();
    }
};

Connection::Connection()
    : Connection([](const QString& connectionString, const LocaleText& locale) {
          return openEngine(connectionString, locale);
      })
{}

Connection::Connection(EngineFactory factory) : m_factory(std::move(factory)) {}

Connection::~Connection()
{
    disconnect();
    if (m_worker) {
        m_worker->finish();
        m_worker->thread.join();
    }
    const auto deadline = std::chrono::steady_clock::now() + kAbandonedConnectGrace;
    for (const std::shared_ptr<Worker>& worker : m_retired) {
        std::unique_lock guard(worker->lock);
        const bool ended =
            worker->changed.wait_until(guard, deadline, [&] { return worker->ended; });
        guard.unlock();
        if (ended)
            worker->thread.join();
        else
            worker->thread.detach(); // it owns the worker: nothing of the connection is touched
    }
}

void Connection::setConnectionString(const QString& connectionString)
{
    if (connectionString == m_connectionString)
        return;
    disconnect();
    m_connectionString = connectionString;
}

void Connection::connect()
{
    if (!m_engine)
        connect(LocaleText::current());
}

void Connection::connect(const LocaleText& locale)
{
    if (m_engine)
        return;
    // A driver may block in its connect for minutes (a mistyped host until TCP gives up) and
    // takes no cancel there: the user who gives up waiting goes on at once. The job therefore
    // owns everything it touches, and an engine that it opens after that is closed where it was
    // opened, on its thread.
    const auto call = std::make_shared<Call>(QStringLiteral("Подключение к базе данных"), nullptr,
                                             Call::Kind::Statement);
    call->m_abandonable = true;
    struct Opened {
        std::mutex lock;
        std::unique_ptr<Engine> engine;
        bool abandoned = false;
    };
    const auto opened = std::make_shared<Opened>();
    try {
        runOnThread(call,
                    [opened, factory = m_factory, connectionString = m_connectionString, locale] {
                        std::unique_ptr<Engine> engine = factory(connectionString, locale);
                        const std::lock_guard lock(opened->lock);
                        if (!opened->abandoned)
                            opened->engine = std::move(engine);
                    });
    } catch (const Cancelled&) {
        std::unique_ptr<Engine> late;
        {
            const std::lock_guard lock(opened->lock);
            opened->abandoned = true;
            late = std::move(opened->engine);
        }
        if (late)
            closeOnThread(std::move(late)); // it came as the user cancelled: the thread is free
        else if (!call->finished())
            retireThread();
        throw;
    }
    std::unique_ptr<Engine> engine = std::move(opened->engine);
    // A login cannot be stopped half way; one the user gave up waiting for is closed again.
    if (call->cancelRequested()) {
        closeOnThread(std::move(engine));
        throw Cancelled();
    }
    m_locale = locale;
    m_engine = std::move(engine);
}

const LocaleText& Connection::locale() const
{
    if (!m_locale)
        throw DbError(QStringLiteral("%1: Connection is not open").arg(m_name));
    return *m_locale;
}

void Connection::connect(const QString& connectionString)
{
    setConnectionString(connectionString);
    connect();
}

void Connection::disconnect()
{
    if (!m_engine)
        return;
    for (const auto& callback : m_onDisconnect)
        callback();
    closeOnThread(std::move(m_engine));
    // The memory kept for the next snapshot has no next snapshot to serve.
    releaseKeptBlocks();
}

void Connection::closeOnThread(std::unique_ptr<Engine> engine)
{
    if (!engine)
        return;
    // Closed on the thread it was opened on, as the ODBC and SQLite handles want it, and
    // after every job queued before, which may still use it; no cancel skips it.
    auto owned = std::make_shared<std::unique_ptr<Engine>>(std::move(engine));
    const auto call = std::make_shared<Call>(QStringLiteral("Отключение от базы данных"), nullptr,
                                             Call::Kind::Statement);
    call->m_cancellable = false;
    if (m_busy) {
        // Closed while a handler still waits for its own call (the program ends under it): the
        // engine goes once that call is over, never from under it.
        enqueue(call, [owned] { owned->reset(); });
        return;
    }
    try {
        runOnThread(call, [owned] { owned->reset(); });
    } catch (...) {
        // Closing fails on nothing a user could act on; the handles are gone either way.
    }
}

Engine& Connection::engine()
{
    if (!m_engine)
        throw DbError(QStringLiteral("%1: Connection is not open").arg(m_name));
    return *m_engine;
}

void Connection::call(const QString& title, const std::function<void(Engine&)>& job,
                      bool keepIfDone)
{
    Engine& open = engine();
    const auto call = std::make_shared<Call>(title, &open, Call::Kind::Statement);
    bool done = false;
    try {
        runOnThread(call, [&] {
            job(open);
            done = true;
        });
    } catch (...) {
        if (call->cancelRequested())
            throw Cancelled();
        throw;
    }
    if (call->cancelRequested() && !(done && keepIfDone))
        throw Cancelled();
}

RowSet Connection::query(const QString& title, const QString& sql)
{
    Engine& open = engine();
    // A query that the user cancels is left to end on the connection's thread, however long
    // the database takes to notice (a sort before the first row can keep it a second): the
    // caller goes on at once. The task therefore owns everything it touches; the engine stays
    // until the thread has finished with it, since closing it is a task queued behind.
    const auto call = std::make_shared<Call>(title, &open, Call::Kind::Query);
    call->m_abandonable = true;
    const auto rows = std::make_shared<RowSet>();
    try {
        runOnThread(call, [rows, &open, sql] { *rows = open.query(sql); });
    } catch (...) {
        if (call->cancelRequested())
            throw Cancelled();
        throw;
    }
    if (call->cancelRequested())
        throw Cancelled();
    return std::move(*rows);
}

void Connection::work(const QString& title, const std::function<void(Call&)>& job)
{
    const auto call = std::make_shared<Call>(title, nullptr, Call::Kind::Work);
    call->setCount(0);
    runOnThread(call, [&] { job(*call); });
    if (call->cancelRequested())
        throw Cancelled();
}

void Connection::detachedWork(const QString& title, std::function<void(Call&)> job)
{
    const auto call = std::make_shared<Call>(title, nullptr, Call::Kind::Work);
    call->m_abandonable = true;
    runOnThread(call, [call, job = std::move(job)] { job(*call); });
    if (call->cancelRequested())
        throw Cancelled();
}

void Connection::runOnThread(const std::shared_ptr<Call>& call, std::function<void()> job)
{
    // The windows stay live while a call runs: a handler that wants the connection meanwhile
    // would find it taken. The progress window is modal, so only a program error gets here.
    if (m_busy)
        throw Error(QStringLiteral("%1: another operation is running").arg(m_name));
    m_busy = true;
    const struct Release {
        bool& busy;
        ~Release() { busy = false; }
    } release{m_busy};

    enqueue(call, std::move(job));
    if (m_waiter)
        m_waiter->wait(*call);
    if (call->abandoned())
        throw Cancelled();
    call->waitFinished();
    // Taken out of the call: the last reference to the failure, and so its end, stays on
    // this thread whenever the call outlives the caller on the connection's thread.
    if (call->m_failure)
        std::rethrow_exception(std::exchange(call->m_failure, nullptr));
}

void Connection::retireThread()
{
    if (!m_worker)
        return;
    m_worker->finish();
    // Those that ended since are joined now rather than at the end of the program.
    std::erase_if(m_retired, [](const std::shared_ptr<Worker>& worker) {
        {
            const std::lock_guard guard(worker->lock);
            if (!worker->ended)
                return false;
        }
        worker->thread.join();
        return true;
    });
    m_retired.push_back(std::move(m_worker));
}

void Connection::enqueue(const std::shared_ptr<Call>& call, std::function<void()> job)
{
    if (!m_worker) {
        m_worker = std::make_shared<Worker>();
        m_worker->thread = std::thread([worker = m_worker] { worker->run(); });
    }
    {
        const std::lock_guard lock(m_worker->lock);
        m_worker->jobs.push_back([call, job = std::move(job)] {
            // Cancelled while it waited behind another call: it never starts, and `job`, which
            // may point into the stack of a caller who has gone on, is not touched.
            if (!call->start()) {
                call->finish(std::make_exception_ptr(Cancelled()));
                return;
            }
            Engine* const engine = call->m_engine;
            if (engine)
                engine->beginCall(&call->m_cancel);
            std::exception_ptr failure;
            Call::t_running = call.get();
            try {
                job();
            } catch (...) {
                failure = std::current_exception();
            }
            Call::t_running = nullptr;
            if (engine)
                engine->beginCall(nullptr);
            call->finish(std::move(failure));
        });
    }
    m_worker->changed.notify_all();
}

std::unique_ptr<Engine> Connection::openEngine(const QString& connectionString,
                                               const LocaleText& locale)
{
    return openEngine(connectionString, locale, embedded::SqliteEngine::kDefaultBusyTimeout);
}

std::unique_ptr<Engine> Connection::openEngine(const QString& connectionString,
                                               const LocaleText& locale,
                                               std::chrono::milliseconds busyTimeout)
{
    const ConnectionParams params = parseConnectionString(connectionString);
    if (params.dataSource.isEmpty())
        throw DbError(QStringLiteral("The connection string names no data source"));
    if (params.isLocalFile()) {
        // The connection reads dates with the format the program writes them in, so the
        // date texts of statements always read back as the days they were written from.
        return std::make_unique<embedded::SqliteEngine>(
            params.dataSource, locale.statementDateFormat(), locale.locale(), busyTimeout);
    }
    return odbc::openOracle(params, locale, odbc::OdbcCatalog::installed());
}

} // namespace varnel
