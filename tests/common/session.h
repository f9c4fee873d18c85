#pragma once

#include "app/startup.h"
#include "common/scriptedprompts.h"
#include "db/connection.h"
#include "maintain/core/periodstatements.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace varnel {
class LogGrid;
class ProgressWait;
class LogDatabase;
class MainWindow;
class LoginDialog;
} // namespace varnel

namespace varnel::test {

// The program as its user meets it: the start-up with the scripted prompts, the login dialog
// filled and confirmed with a click, then the two pages of the main window driven by clicks and
// keys, each button on its page brought to the front.
class Session {
public:
    explicit Session(const QString& historyPath, Connection::EngineFactory engines = {});
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    struct Login {
        QString base;
        QString table;
        QString user = QStringLiteral("scott");
        QString password = QStringLiteral("tiger");
        bool create = false; // the creation question is answered Yes
    };
    // Fills the dialog as given and presses OK; true when the main window is open afterwards.
    bool login(const Login& login);

    LogDatabase& data();
    ProgressWait& progressWait();
    LoginDialog* dialog() const;
    MainWindow* window() const;
    LogGrid* grid() const;

    // A control of the main window, or of the login dialog while there is no main window.
    template <class T> T* find(const char* name) const { return static_cast<T*>(findWidget(name)); }

    void click(const char* name);
    // Chooses the entry by the keyboard, then leaves the drop-down with Tab; false when the list
    // has no such entry.
    bool choose(const char* list, const QString& entry);
    QStringList entries(const char* list) const;
    void titleClick(const QString& field);
    // Ctrl+Delete on the grid's shown row `row`, answered OK.
    void deleteRow(int row);
    // "Очистить таблицу" with the period in force or not, answered Yes.
    void deletePeriod(const std::optional<Period>& period);
    // " Выгрузить" to `path`, with the period in force or not.
    void exportTo(const QString& path, const std::optional<Period>& period = std::nullopt);
    // "Подсчитать" with the period in force or not; the line it leaves under the pickers.
    QString countRecords(const std::optional<Period>& period);

    // The grid's texts of `field` in the order shown; empty while the grid shows no rows.
    QStringList column(const QString& field) const;
    QList<int> sids() const;

    ScriptedPrompts prompts; // before the start-up, which shows errors as it ends

private:
    QWidget* findWidget(const char* name) const;
    void setPeriod(const std::optional<Period>& period);

    Startup m_startup;
};

// The bytes of a file, or "<no file>".
QByteArray fileBytes(const QString& path);
// The export's begin and end stamps replaced by "*", so that two exports compare equal.
QByteArray withoutStamps(QByteArray bytes);

} // namespace varnel::test
