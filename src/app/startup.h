#pragma once

#include "db/connection.h"

#include <QPointer>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>

class QLocale;
class QTranslator;

namespace varnel {

class WheelToArrowFilter;
class ProgressWait;
class Prompts;
class LogDatabase;
class MainWindow;
class LoginDialog;
class WindowSettings;

// The program's start-up and the windows it owns for the whole run. Start-up shows the
// splash, makes the log database, the login dialog and the wheel hook; a successful login
// hands over to the main window. Windows go before the log database that they use.
class Startup {
public:
    // `historyPath` is Login.ini's (Varnel.ini lies beside it); empty when there is no folder
    // to keep them in. `engines` opens the database behind the connection; empty: the
    // program's own choice (Connection::openEngine).
    Startup(Prompts& prompts, QString historyPath, Connection::EngineFactory engines = {});
    ~Startup();
    Startup(const Startup&) = delete;
    Startup& operator=(const Startup&) = delete;

    // Everything before the event loop: the splash, shown for `splash` while nothing else
    // runs, then the log database, the login dialog and the wheel hook.
    void start(std::chrono::milliseconds splash);

    LogDatabase& database() { return *m_database; }
    // The login dialog until a login succeeds; null afterwards.
    LoginDialog* loginDialog() const;
    // Null until a login succeeds.
    MainWindow* mainWindow() const { return m_mainWindow.get(); }
    // How the windows wait for the connection's thread; made by start().
    ProgressWait& progressWait() { return *m_wait; }

private:
    void handOver();

    Prompts& m_prompts;
    QString m_historyPath;
    Connection::EngineFactory m_engines;
    std::unique_ptr<LogDatabase> m_database;
    std::unique_ptr<WheelToArrowFilter> m_wheel;
    std::unique_ptr<ProgressWait> m_wait;
    // Varnel.ini beside the login history; made at the first hand-over.
    std::unique_ptr<WindowSettings> m_settings;
    std::unique_ptr<MainWindow> m_mainWindow;
    QPointer<LoginDialog> m_login;
};

// Loads Qt's own texts (the file dialog, the message boxes' buttons) in `locale`'s language
// from the first of `folders` that has them: qt_<lang>.qm first, which windeployqt ships merged
// from qtbase and the other modules (on Linux a catalogue naming them, which fails to load when
// one is missing), then qtbase_<lang>.qm, which Linux distributions ship.
bool loadQtTexts(QTranslator& translator, const QLocale& locale, const QStringList& folders);

// Runs the program: the whole of what the executable does.
int runApplication(int& argc, char** argv);

} // namespace varnel
