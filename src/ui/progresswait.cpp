#include "ui/progresswait.h"

#include "ui/windowsupport.h"
#include "ui_progresswindow.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLocale>
#include <QScopeGuard>
#include <QScreen>
#include <QThread>
#include <QTimer>

namespace varnel {

namespace {

// The window of a wait: every way of closing it is Cancel.
class Window : public QWidget {
public:
    Window(QWidget* owner, std::function<void()> cancel)
        : QWidget(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                             Qt::WindowCloseButtonHint),
          m_cancel(std::move(cancel))
    {}

protected:
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        m_cancel();
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Escape)
            m_cancel();
        else
            QWidget::keyPressEvent(event);
    }

private:
    std::function<void()> m_cancel;
};

QString elapsedText(qint64 ms)
{
    const qint64 seconds = ms / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

void ProgressWait::wait(Call& call)
{
    ++m_waits;
    const auto done = qScopeGuard([this] { --m_waits; });
    if (starting)
        starting();
    const WaitCursor cursor;
    QEventLoop loop;
    // A call that ends wakes the loop at once instead of at its next tick. Waking the
    // dispatcher hands nothing over between the threads: the loop reads the call's own state.
    QAbstractEventDispatcher* const dispatcher = QThread::currentThread()->eventDispatcher();
    call.onFinished([dispatcher] { dispatcher->wakeUp(); });
    QTimer tick;
    tick.start(50);
    QElapsedTimer clock;
    clock.start();

    Ui::ProgressWindow form;
    bool cancelled = false;
    const auto cancel = [&] {
        if (cancelled)
            return;
        cancelled = true;
        call.cancel();
        form.ButtonCancel->setEnabled(false);
        form.ProgressText->setText(QStringLiteral("Отмена…"));
    };
    const QLocale locale;
    while (!call.finished() && !call.abandoned()) {
        if (!m_window && clock.elapsed() >= m_delay.count()) {
            // The window the user worked in; between two calls of one handler none may be
            // active for a moment, and the next progress window keeps the same owner.
            QWidget* owner = QApplication::activeWindow();
            if (!owner && m_owner && m_owner->isVisible())
                owner = m_owner;
            m_owner = owner;
            auto* window = new Window(owner, cancel);
            form.setupUi(window);
            // Over its owner, as a dialog appears, whatever the window manager does.
            const QRect over =
                owner ? owner->frameGeometry() : QApplication::primaryScreen()->availableGeometry();
            window->move(over.center() - window->rect().center());
            window->setAttribute(Qt::WA_WindowPropagation); // the owner's font
            window->setWindowModality(Qt::ApplicationModal);
            window->setWindowTitle(call.title());
            QObject::connect(form.ButtonCancel, &QPushButton::clicked, window, cancel);
            m_window = window;
            window->show();
            window->activateWindow();
            form.ButtonCancel->setFocus();
        }
        if (m_window && !cancelled) {
            QString text = QStringLiteral("Прошло: %1").arg(elapsedText(clock.elapsed()));
            if (call.counts())
                text += QStringLiteral("\nЗаписей: %1").arg(locale.toString(call.count()));
            form.ProgressText->setText(text);
        }
        if (m_window && whileShown)
            whileShown(*m_window);
        // Until the window is there, clicks and keys wait: the other windows must not start
        // anything while the connection is busy. Then the window is modal and takes them.
        loop.processEvents(QEventLoop::WaitForMoreEvents |
                           (m_window ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents));
    }
    call.onFinished({});
    delete m_window.data();
}

} // namespace varnel
