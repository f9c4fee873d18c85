#pragma once

#include "db/connection.h"
#include "db/engine.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace varnel::test {

// Stands in for Oracle's driver where it blocks inside one call (a sort before the first row,
// a deletion): each statement that `blocks` picks first waits `delay` in one call, then runs
// on the real engine underneath. cancel() ends the wait at once with Oracle's ORA-01013, as
// SQLCancel does; during the real statement it reaches the engine underneath. A statement that
// `deaf` picks as well sits out its whole wait whatever the cancel, as a lock wait or a driver
// that looks only when its call returns.
class BlockingEngine : public Engine {
public:
    BlockingEngine(std::unique_ptr<Engine> inner, std::function<bool(const QString& sql)> blocks,
                   std::chrono::milliseconds delay,
                   std::function<bool(const QString& sql)> deaf = {});

    RowSet query(const QString& sql) override;
    int64_t execute(const QString& sql) override;
    void deleteRecord(const QString& table, const RowSet& rows, uint32_t row) override;
    void cancel() override;
    void beginCall(const std::atomic<bool>* cancelled) override;
    QString localFile() const override { return m_inner->localFile(); }

    // The embedded engine for `connectionString`, each statement that `blocks` picks made to
    // wait first (Connection::EngineFactory).
    static Connection::EngineFactory
    factory(std::function<bool(const QString& sql)> blocks,
            std::chrono::milliseconds delay = std::chrono::seconds(10),
            std::function<bool(const QString& sql)> deaf = {});

private:
    // Waits, unless cancelled; then runs `statement`. A cancel never outlives its statement.
    template <class Statement> auto run(const QString& sql, Statement statement);

    std::unique_ptr<Engine> m_inner;
    std::function<bool(const QString&)> m_blocks;
    std::chrono::milliseconds m_delay;
    std::function<bool(const QString&)> m_deaf;
    std::mutex m_lock;
    std::condition_variable m_woken;
    bool m_cancelled = false;
};

} // namespace varnel::test
