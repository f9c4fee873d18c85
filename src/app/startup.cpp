#include "app/startup.h"

#include "app/mainwindow.h"
#include "app/splashwindow.h"
#include "app/wheeltoarrowfilter.h"
#include "base/localetext.h"
#include "browse/core/filterset.h"
#include "browse/viewlogspage.h"
#include "db/logdatabase.h"
#include "login/core/historyfile.h"
#include "login/logindialog.h"
#include "maintain/controllogspage.h"
#include "ui/progresswait.h"
#include "ui/qtprompts.h"
#include "ui/windowsettings.h"
#include "ui/windowsupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLibraryInfo>
#include <QLocale>
#include <QThread>
#include <QTranslator>
#include <QWindow>

namespace varnel {

namespace {

void showSplash(std::chrono::milliseconds duration)
{
    SplashWindow splash;
    splash.show();
    // Drawn before anything else happens: wait (briefly) until the window system has
    // mapped it, then paint it at once.
    QElapsedTimer mapping;
    mapping.start();
    while (splash.windowHandle() && !splash.windowHandle()->isExposed() && mapping.elapsed() < 500)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    splash.repaint();
    QApplication::processEvents();
    // A blocking wait: no events are processed while the splash stands.
    QThread::msleep(static_cast<unsigned long>(duration.count()));
    splash.hide();
}

} // namespace

Startup::Startup(Prompts& prompts, QString historyPath, Connection::EngineFactory engines)
    : m_prompts(prompts), m_historyPath(std::move(historyPath)), m_engines(std::move(engines))
{}

Startup::~Startup()
{
    // The dialog saves the history as it goes; then the main window, then the log database.
    delete m_login.data();
    m_mainWindow.reset();
    m_settings.reset();
    m_wheel.reset();
    m_database.reset();
    m_wait.reset();
}

LoginDialog* Startup::loginDialog() const
{
    return m_login.data();
}

void Startup::start(std::chrono::milliseconds splash)
{
    showSplash(splash);
    // The log database is made before the dialog so that the dialog can receive it.
    m_database =
        m_engines ? std::make_unique<LogDatabase>(m_engines) : std::make_unique<LogDatabase>();
    // Every statement runs on the connection's thread; the windows wait for it painted, with
    // a progress window and Cancel once it takes long.
    m_wait = std::make_unique<ProgressWait>();
    m_wait->starting = [this] {
        if (m_mainWindow)
            m_mainWindow->showStatus({});
    };
    m_database->connection().setWaiter(m_wait.get());
    m_login = new LoginDialog(*m_database, m_prompts, m_historyPath);
    m_login->setHandOver([this] { handOver(); });
    // Closing the dialog without a login ends the program, whatever other window lives.
    QObject::connect(m_login, &QDialog::rejected, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    m_login->show();
    // Said once, here: the dialog and the main window then save nothing, without a word.
    if (m_historyPath.isEmpty())
        m_prompts.message(QStringLiteral("Не найдена домашняя папка пользователя: имена входа и "
                                         "расположение окон не будут сохранены."));
    m_wheel = std::make_unique<WheelToArrowFilter>();
    qApp->installEventFilter(m_wheel.get());
}

void Startup::handOver()
{
    // Five statements over the whole log, as long as any of the filter panel's.
    const WaitCursor wait;
    // The lists are filled without filters before the main window exists; a log table that
    // can be read but lacks the log columns fails here, and the login dialog stays.
    rebuildFilterLists(*m_database, FilterValues{}, LocaleText::current());
    if (!m_settings)
        m_settings = std::make_unique<WindowSettings>(WindowSettings::pathBeside(m_historyPath));
    m_mainWindow = std::make_unique<MainWindow>(*m_database, m_prompts);
    m_mainWindow->useSettings(*m_settings);
    m_mainWindow->useProgressWait(*m_wait);
    // An export written over Varnel.ini would be written over again by the settings on exit.
    m_mainWindow->controlLogsPage().setProgramFiles({m_historyPath, m_settings->path()});
    m_mainWindow->viewLogsPage().setProgramFiles({m_historyPath, m_settings->path()});
    m_mainWindow->show();
}

bool loadQtTexts(QTranslator& translator, const QLocale& locale, const QStringList& folders)
{
    for (const QString& folder : folders)
        for (const QString& catalogue : {QStringLiteral("qt"), QStringLiteral("qtbase")})
            if (translator.load(locale, catalogue, QStringLiteral("_"), folder))
                return true;
    return false;
}

int runApplication(int& argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Varnel"));
    // The file dialog and the buttons of the message boxes speak the user's language, as the
    // system's own dialogs do; without the translations they stay English.
    // windeployqt puts the translations into a folder beside the executable, which is Qt's own
    // translations folder only when the executable sits at the top of the installation.
    QTranslator qtTexts;
    if (loadQtTexts(qtTexts, QLocale(),
                    {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                     QCoreApplication::applicationDirPath() + QStringLiteral("/translations")}))
        QApplication::installTranslator(&qtTexts);
    // The windows are Russian, laid out left to right at fixed places; a right-to-left
    // language of the desktop (Arabic, Hebrew) would mirror them around their texts.
    QApplication::setLayoutDirection(Qt::LeftToRight);
    substituteWindowFont();
    QtPrompts prompts;
    Startup startup(prompts,
                    historyFilePath(QCoreApplication::applicationDirPath(), userConfigFolder()));
    // «Отменено» and the like go to the main window's status bar.
    prompts.statusLine = [&startup](const QString& text) {
        if (MainWindow* window = startup.mainWindow())
            window->showStatus(text);
    };
    startup.start(std::chrono::milliseconds(1500));
    return app.exec();
}

} // namespace varnel
