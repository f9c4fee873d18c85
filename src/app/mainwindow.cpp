#include "app/mainwindow.h"

#include "app/aboutdialog.h"
#include "browse/viewlogspage.h"
#include "db/logdatabase.h"
#include "maintain/controllogspage.h"
#include "ui/core/guard.h"
#include "ui/core/statustext.h"
#include "ui/progresswait.h"
#include "ui/windowsettings.h"
#include "ui/windowsupport.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QResizeEvent>

namespace varnel {

namespace {

const QString kWindowKey = QStringLiteral("MainWindow");

} // namespace

MainWindow::MainWindow(LogDatabase& database, Prompts& prompts, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::TFormMain>()), m_database(database),
      m_prompts(prompts)
{
    m_ui->setupUi(this);
    takeWheelAsArrows(*this);
    m_viewLogs = new ViewLogsPage(m_database, m_prompts, m_ui->TabSheetViewLogs);
    m_ui->LayoutViewLogs->addWidget(m_viewLogs);
    m_controlLogs = new ControlLogsPage(m_database, m_prompts, m_ui->TabSheetControlLogs);
    m_ui->LayoutControlLogs->addWidget(m_controlLogs);
    applyPixelSizes(*this);
    // A form file keeps only the size of a top-level window, never its place on the screen.
    move(66, 76);
    // Over the page control, right of its tabs; resizeEvent keeps it in the corner. As the tab
    // widget's corner widget it would be cut: the tab bar is not as high as the button.
    m_ui->ButtonAbout->raise();

    // Beside the status line, which keeps the messages («Отменено», «Удалено записей: 3»): what
    // the grid holds, where its current record is, how long «Отобрать» took, and where the
    // log table lives.
    const auto permanent = [this](const char* name) {
        auto* label = new QLabel(m_ui->StatusBar);
        label->setObjectName(QLatin1String(name));
        label->setContentsMargins(6, 0, 6, 0);
        m_ui->StatusBar->addPermanentWidget(label);
        return label;
    };
    QLabel* records = permanent("LabelRecords");
    QLabel* place = permanent("LabelRecordPlace");
    QLabel* took = permanent("LabelSelectTime");
    permanent("LabelDatabase")
        ->setText(
            databaseText(m_database.currentLogTable(), m_database.connection().connectionString()));
    for (QLabel* label : {records, place, took})
        label->hide();
    connect(m_viewLogs, &ViewLogsPage::recordStatusChanged, this,
            [records, place](const QString& count, const QString& current) {
                records->setText(count);
                records->setVisible(!count.isEmpty());
                place->setText(current);
                place->setVisible(!current.isEmpty());
            });
    connect(m_viewLogs, &ViewLogsPage::selectTimeChanged, this, [took](const QString& text) {
        took->setText(text);
        took->show();
    });

    connect(m_viewLogs, &ViewLogsPage::exitRequested, this,
            guarded(m_prompts, [this] { exitProgram(); }));
    connect(m_controlLogs, &ControlLogsPage::exitRequested, this,
            guarded(m_prompts, [this] { exitProgram(); }));
    connect(m_ui->ButtonAbout, &QPushButton::clicked, this,
            guarded(m_prompts, [this] { showAbout(); }));
    // A page brought to the front takes the keyboard at once, at its first control.
    connect(m_ui->PageControl, &QTabWidget::currentChanged, this, [this](int page) {
        (page == 0 ? m_viewLogs->firstControl() : m_controlLogs->firstControl())
            ->setFocus(Qt::TabFocusReason);
    });

    m_closeLater.setInterval(100);
    connect(&m_closeLater, &QTimer::timeout, this, [this] {
        if (!closeHeldBack())
            close();
    });

    setDatesToToday();
    // Enter runs "Отобрать" at once, and Tab walks the filter panel in its order.
    m_viewLogs->firstControl()->setFocus();
}

void MainWindow::showStatus(const QString& text)
{
    if (text.isEmpty())
        m_ui->StatusBar->clearMessage();
    else
        m_ui->StatusBar->showMessage(text);
}

void MainWindow::useSettings(WindowSettings& settings)
{
    m_settings = &settings;
    m_viewLogs->useSettings(settings);
    m_restored = settings.track(kWindowKey, *this);
}

void MainWindow::setDatesToToday()
{
    m_viewLogs->setDatesToToday();
    m_controlLogs->setDatesToToday();
}

MainWindow::~MainWindow() = default;

void MainWindow::exitProgram()
{
    // The close event disconnects and ends the program, the same way as the close box does.
    close();
}

void MainWindow::showAbout()
{
    AboutDialog about(this);
    about.exec();
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_ui->ButtonAbout->move(width() - m_ui->ButtonAbout->width(), 0);
}

void MainWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    // A page's client area is 1239 x 570 whatever the style makes of the tabs and the frame;
    // only now, with the page control laid out, is that overhead known.
    if (!m_restored)
        resize(size() + QSize(1239, 570) - m_ui->TabSheetViewLogs->size());
    // Now the frame is known too. A maximised window is the window system's to place.
    if (m_settings && !isMaximized())
        fitOnScreen(*this);
}

bool MainWindow::closeHeldBack() const
{
    // A box is modal: while one is open, the handler that opened it has not ended.
    return (m_wait && m_wait->waiting()) || QApplication::activeModalWidget();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // A close can come while a handler waits for its call. The close box and Alt+F4 wait with
    // the user's input until the progress window is up, which then refuses them; but a close
    // delivered at once (QWindow::close(), the closing of every window as a session ends) gets
    // here even past the progress window. Closing the connection then would pull the engine
    // from under the statement and end the program before its outcome is told. So the
    // statement runs to its end or to «Отмена», the handler tells what it did, and then the
    // window closes.
    if (m_wait && m_wait->waiting()) {
        event->ignore();
        m_closeLater.start();
        return;
    }
    m_closeLater.stop();
    // The window's own geometry is stored as it closes (WindowSettings::track). A file that
    // cannot be written costs the next run its layout, nothing more: said, and the program
    // ends anyway.
    if (m_settings) {
        m_viewLogs->storeLayout();
        QString failure;
        if (!m_settings->save(&failure) && !failure.isEmpty())
            showDefaultError(m_prompts, failure);
    }
    m_database.connection().disconnect();
    event->accept();
    // Quitting on the last closed window is not enough: any other top-level window still open
    // would keep the event loop running. quit() closes them all.
    QCoreApplication::quit();
}

} // namespace varnel
