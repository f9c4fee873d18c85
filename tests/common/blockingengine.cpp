#include "common/blockingengine.h"

#include "base/localetext.h"
#include "db/connectionstring.h"
#include "db/dberror.h"
#include "db/embedded/sqliteengine.h"

namespace varnel::test {

BlockingEngine::BlockingEngine(std::unique_ptr<Engine> inner,
                               std::function<bool(const QString&)> blocks,
                               std::chrono::milliseconds delay,
                               std::function<bool(const QString&)> deaf)
    : m_inner(std::move(inner)), m_blocks(std::move(blocks)), m_delay(delay),
      m_deaf(std::move(deaf))
{}

template <class Statement> auto BlockingEngine::run(const QString& sql, Statement statement)
{
    struct Forget {
        BlockingEngine& engine;
        ~Forget()
        {
            const std::lock_guard lock(engine.m_lock);
            engine.m_cancelled = false;
        }
    } forget{*this};
    if (m_blocks(sql)) {
        const bool deaf = m_deaf && m_deaf(sql);
        std::unique_lock lock(m_lock);
        if (m_woken.wait_for(lock, m_delay,
                             [&] { return !deaf && (m_cancelled || callCancelled()); }))
            throw DbError(QString::fromLatin1(kCancelledMessage));
    }
    return statement();
}

RowSet BlockingEngine::query(const QString& sql)
{
    return run(sql, [&] { return m_inner->query(sql); });
}

int64_t BlockingEngine::execute(const QString& sql)
{
    return run(sql, [&] { return m_inner->execute(sql); });
}

void BlockingEngine::deleteRecord(const QString& table, const RowSet& rows, uint32_t row)
{
    run(QStringLiteral("delete ") + table, [&] { m_inner->deleteRecord(table, rows, row); });
}

void BlockingEngine::cancel()
{
    {
        const std::lock_guard lock(m_lock);
        m_cancelled = true;
    }
    m_woken.notify_all();
    m_inner->cancel();
}

void BlockingEngine::beginCall(const std::atomic<bool>* cancelled)
{
    Engine::beginCall(cancelled);
    m_inner->beginCall(cancelled);
}

Connection::EngineFactory BlockingEngine::factory(std::function<bool(const QString&)> blocks,
                                                  std::chrono::milliseconds delay,
                                                  std::function<bool(const QString&)> deaf)
{
    return [blocks = std::move(blocks), delay,
            deaf = std::move(deaf)](const QString& connectionString, const LocaleText& locale) {
        return std::make_unique<BlockingEngine>(
            std::make_unique<embedded::SqliteEngine>(
                parseConnectionString(connectionString).dataSource, locale.statementDateFormat(),
                locale.locale()),
            blocks, delay, deaf);
    };
}

} // namespace varnel::test
