#pragma once

#include "ui/windowsupport.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QString>

#include <chrono>
#include <functional>

class QLabel;
class QWidget;

namespace varnel {

class Connection;

// The window of an operation that runs in the program's one thread (an export, a deletion).
// For as long as it lives the wait cursor is shown and the connection reports its progress
// here. The window itself appears only once the operation has taken `delay`, so that quick ones
// show nothing; then it is repainted a few times a second with the text `describe` gives. It is
// application-modal: every other window ignores clicks, keys and the close box meanwhile, so
// nothing can start a second operation or use the connection in the middle of one.
class ProgressWindow {
public:
    static constexpr std::chrono::milliseconds kDelay{500};

    ProgressWindow(QWidget* owner, Connection& connection, QString title,
                   std::function<QString()> describe, std::chrono::milliseconds delay = kDelay);
    ~ProgressWindow();
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    // Cheap enough to call for every few records: it only looks at the clock until it is time
    // to show or repaint the window.
    void tick();

    // The window, once it has appeared.
    QWidget* window() const { return m_window; }

private:
    void appear();

    WaitCursor m_wait;
    QWidget* m_owner;
    Connection& m_connection;
    QString m_title;
    std::function<QString()> m_describe;
    QElapsedTimer m_clock;
    qint64 m_nextUpdate;
    QPointer<QWidget> m_window;
    QLabel* m_text = nullptr;
};

} // namespace varnel
