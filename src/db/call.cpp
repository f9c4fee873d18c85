#include "db/call.h"

#include "db/dberror.h"
#include "db/engine.h"

namespace varnel {

thread_local Call* Call::t_running = nullptr;

void cancellationPoint()
{
    if (Call::t_running)
        Call::t_running->checkCancelled();
}

int64_t Call::count() const
{
    const int64_t own = m_count.load(std::memory_order_relaxed);
    if (own >= 0)
        return own;
    // Until this call runs, the engine's counter is another call's (an abandoned query still
    // fetching ahead of it); it restarts at zero when this one starts.
    return m_kind == Kind::Query && m_engine && m_started.load() ? m_engine->fetchedSoFar() : 0;
}

void Call::cancel()
{
    if (!m_cancellable || m_cancel.exchange(true))
        return;
    // Only while this call runs: the engine may be running another call's statement before it
    // (an abandoned query), which a cancel of this one must not reach.
    const std::lock_guard lock(m_lock);
    if (m_started.load() && !m_finished && m_engine)
        m_engine->cancel();
}

bool Call::start()
{
    const std::lock_guard lock(m_lock);
    if (m_cancel.load())
        return false;
    m_started.store(true);
    return true;
}

void Call::checkCancelled() const
{
    if (m_cancel.load(std::memory_order_relaxed))
        throw Cancelled();
}

void Call::onFinished(std::function<void()> wake)
{
    std::unique_lock lock(m_lock);
    if (m_finished && wake) {
        lock.unlock();
        wake();
        return;
    }
    m_wake = std::move(wake);
}

bool Call::finished() const
{
    const std::lock_guard lock(m_lock);
    return m_finished;
}

bool Call::abandoned() const
{
    if (!m_cancel.load())
        return false;
    const std::lock_guard lock(m_lock);
    return !m_finished && (m_abandonable || !m_started.load());
}

void Call::waitFinished()
{
    std::unique_lock lock(m_lock);
    m_done.wait(lock, [this] { return m_finished; });
}

void Call::finish(std::exception_ptr failure)
{
    // The wake runs under the lock, so that a waiter taking its registration back never
    // returns while the wake is still running.
    const std::lock_guard lock(m_lock);
    m_failure = std::move(failure);
    m_finished = true;
    if (m_wake)
        m_wake();
    m_done.notify_all();
}

} // namespace varnel
