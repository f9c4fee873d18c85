#include "db/connection.h"

#include "base/largepages.h"
#include "db/connectionstring.h"
#include "db/dberror.h"
#include "db/embedded/sqliteengine.h"
#include "db/odbc/odbcengine.h"

namespace varnel {

Connection::Connection()
    : Connection([](const QString& connectionString, const LocaleText& locale) {
          return openEngine(connectionString, locale);
      })
{}

Connection::Connection(EngineFactory factory) : m_factory(std::move(factory)) {}

Connection::~Connection()
{
    disconnect();
    if (m_thread.joinable()) {
        {
            const std::lock_guard lock(m_queueLock);
            m_stop = true;
        }
        m_queued.notify_one();
        m_thread.join();
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
    const auto wait = std::make_shared<Call>(QStringLiteral("Подключение к базе данных"), nullptr,
                                             Call::Kind::Statement);
    std::unique_ptr<Engine> engine;
    runOnThread(wait, [&] { engine = m_factory(m_connectionString, locale); });
    // A login cannot be stopped half way; one the user gave up waiting for is closed again.
    if (wait->cancelRequested()) {
        closeOnThread(std::move(engine));
        throw Cancelled();
    }
    if (m_progress)
        engine->setProgressHandler(m_progress);
    m_locale = locale;
    m_engine = std::move(engine);
}

const LocaleText& Connection::locale() const
{
    if (!m_locale)
        throw DbError(QStringLiteral("%1: Connection is not open").arg(m_name));
    return *m_locale;
}

void Connection::setProgressHandler(std::function<void()> handler)
{
    m_progress = std::move(handler);
    if (m_engine)
        m_engine->setProgressHandler(m_progress);
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

void Connection::enqueue(const std::shared_ptr<Call>& call, std::function<void()> job)
{
    if (!m_thread.joinable())
        m_thread = std::thread([this] { threadLoop(); });
    {
        const std::lock_guard lock(m_queueLock);
        m_jobs.push_back([call, job = std::move(job)] {
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
    m_queued.notify_all();
}

void Connection::threadLoop()
{
    std::unique_lock lock(m_queueLock);
    for (;;) {
        m_queued.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
        if (m_jobs.empty())
            return;
        std::function<void()> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        lock.unlock();
        job();
        job = nullptr; // what it holds ends here, not under the lock
        lock.lock();
    }
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
