#include "maintain/progresswindow.h"

#include "db/connection.h"
#include "ui_progresswindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QWidget>

namespace varnel {

namespace {

constexpr qint64 kRepaintMs = 100;

// The close box does nothing: the operation has no way to stop half way.
class Window : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

} // namespace

ProgressWindow::ProgressWindow(QWidget* owner, Connection& connection, QString title,
                               std::function<QString()> describe, std::chrono::milliseconds delay)
    : m_owner(owner), m_connection(connection), m_title(std::move(title)),
      m_describe(std::move(describe)), m_nextUpdate(delay.count())
{
    m_clock.start();
    m_connection.setProgressHandler([this] { tick(); });
}

ProgressWindow::~ProgressWindow()
{
    m_connection.setProgressHandler({});
    delete m_window.data();
}

void ProgressWindow::tick()
{
    const qint64 now = m_clock.elapsed();
    if (now < m_nextUpdate)
        return;
    m_nextUpdate = now + kRepaintMs;
    if (!m_window)
        appear();
    m_text->setText(m_describe());
    // Paints the window and lets the window system hear from the program; input for the other
    // windows is dropped, since this one is modal.
    QCoreApplication::processEvents();
}

void ProgressWindow::appear()
{
    auto* window = new Window(m_owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    Ui::ProgressWindow form;
    form.setupUi(window);
    window->setAttribute(Qt::WA_WindowPropagation); // the owner's font
    window->setWindowModality(Qt::ApplicationModal);
    window->setWindowTitle(m_title);
    m_text = form.ProgressText;
    m_window = window;
    window->show();
}

} // namespace varnel
