#pragma once

#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>

namespace varnel {

class Engine;

// One piece of work that the connection runs on its own thread (a statement, a sort, the
// lines of an export) while the thread that asked for it waits. The waiting side may watch it
// and ask it to stop; the working side counts and looks for that request.
class Call {
public:
    // What the progress window can count: a query the records fetched so far, work what it
    // counts itself (setCount), a statement without rows nothing (only the time shows).
    enum class Kind { Query, Statement, Work };

    Call(QString title, Engine* engine, Kind kind)
        : m_title(std::move(title)), m_engine(engine), m_kind(kind)
    {}

    // What runs, as the progress window's title says it («Отбор записей»).
    const QString& title() const { return m_title; }
    // Records fetched or written so far by this call; 0 until it starts.
    int64_t count() const;
    // Whether there are records to count (a sort has none, nor has a deletion).
    bool counts() const
    {
        return m_kind == Kind::Query || m_count.load(std::memory_order_relaxed) >= 0;
    }

    // From the waiting thread: asks the work to stop. A call still waiting for the thread never
    // starts; a statement that runs is cancelled in the database; other work stops where it
    // next looks. It then fails with Cancelled.
    void cancel();
    bool cancelRequested() const { return m_cancel.load(); }

    // From the working thread.
    void setCount(int64_t records) { m_count.store(records, std::memory_order_relaxed); }
    // Raises Cancelled once the waiting side asked to stop.
    void checkCancelled() const;

    // `wake` runs on the working thread when the call finishes, or at once when it has; an
    // empty function takes a registration back. A waiter that returns must take it back.
    void onFinished(std::function<void()> wake);
    bool finished() const;
    // Cancelled and unfinished, and either never started (the thread will pass it over) or of
    // a kind the caller need not wait for (a query, whose rows are thrown away): the waiter
    // may return at once.
    bool abandoned() const;
    // Blocks the calling thread until the call has finished.
    void waitFinished();

private:
    friend class Connection;
    friend void cancellationPoint();
    // The connection's thread, as it takes the call: false when it was cancelled while it
    // waited, and then it never runs.
    bool start();
    void finish(std::exception_ptr failure);
    // The call that the current thread runs, for cancellationPoint().
    static thread_local Call* t_running;

    const QString m_title;
    Engine* const m_engine; // the open engine, or none for work without statements
    const Kind m_kind;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_started{false};
    std::atomic<int64_t> m_count{-1}; // -1: nothing counted by the work itself
    mutable std::mutex m_lock;
    std::condition_variable m_done;
    bool m_finished = false;
    bool m_abandonable = false;
    // Closing the engine must run whatever the user does: such a call ignores cancel().
    bool m_cancellable = true;
    std::exception_ptr m_failure;
    std::function<void()> m_wake;
};

// For long loops of work that knows nothing of calls (sorting, ranking texts): raises
// Cancelled when the call that the current thread runs was asked to stop. Cheap enough for
// every few thousand steps; nothing happens on a thread that runs no call.
void cancellationPoint();

// Counts the steps of a loop and reaches a cancellation point every `every` of them (a power
// of two): every 16,384 cheap steps (a comparison of two numbers) come to well under a
// millisecond; steps that ask the collator want a few hundred.
class CancellationCounter {
public:
    explicit CancellationCounter(uint32_t every = 1u << 14) : m_mask(every - 1) {}
    void step()
    {
        if ((++m_steps & m_mask) == 0)
            cancellationPoint();
    }

private:
    uint32_t m_mask;
    uint32_t m_steps = 0;
};

// How the thread that asked for a call waits for it: the program's windows show a progress
// window with Cancel and stay painted; without windows the thread simply blocks.
class Waiter {
public:
    virtual ~Waiter() = default;
    // Returns once `call` has finished.
    virtual void wait(Call& call) = 0;
};

} // namespace varnel
