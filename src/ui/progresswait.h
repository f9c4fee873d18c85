#pragma once

#include "db/call.h"

#include <QPointer>
#include <QWidget>

#include <chrono>
#include <functional>

namespace varnel {

// How the program's windows wait for a call on the connection's thread: they stay painted,
// and a call that takes longer than `delay` shows a modal progress window with the call's
// title, the time it has taken and the records fetched or written so far, repainted ten times
// a second, and Cancel (the button, Escape and the close box). Until the window appears, the
// user's clicks and keys wait, as they would for a program that is busy.
class ProgressWait : public Waiter {
public:
    static constexpr std::chrono::milliseconds kDelay{500};

    explicit ProgressWait(std::chrono::milliseconds delay = kDelay) : m_delay(delay) {}

    void wait(Call& call) override;
    // Whether a handler is waiting for a call now: whatever the event loop delivers meanwhile
    // runs inside that handler, with the connection taken.
    bool waiting() const { return m_waits > 0; }

    // The progress window while it is shown (tests).
    QWidget* window() const { return m_window.data(); }
    // Called as each wait begins (the main window clears its status line).
    std::function<void()> starting;
    // Called every tick of a wait, once its window is shown (tests drive the window from it).
    std::function<void(QWidget& window)> whileShown;

private:
    std::chrono::milliseconds m_delay;
    QPointer<QWidget> m_window;
    QPointer<QWidget> m_owner; // of the last window shown
    int m_waits = 0;
};

} // namespace varnel
