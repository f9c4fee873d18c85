#include "login/core/loginattempt.h"

#include "base/localetext.h"
#include "db/connectionstring.h"
#include "db/dberror.h"
#include "db/logdatabase.h"
#include "db/logtableschema.h"
#include "db/rowset.h"
#include "ui/core/errortext.h"
#include "ui/core/guard.h"

#include <optional>

namespace varnel {

namespace {

// The fields take the focus in the order user, base, table, password, each empty one in turn:
// the last empty one keeps it.
LoginField lastEmptyField(const LoginFields& fields)
{
    if (fields.password.isEmpty())
        return LoginField::Password;
    if (fields.table.isEmpty())
        return LoginField::Table;
    if (fields.base.isEmpty())
        return LoginField::Base;
    if (fields.user.isEmpty())
        return LoginField::User;
    return LoginField::None;
}

// Which failures of a database step the login shows as its own.
enum class Failures {
    Database, // DbError; any other is a program error for the caller's default error display
    Any,
};

class Attempt {
public:
    Attempt(LogDatabase& database, const LoginPrompts& prompts)
        : m_database(database), m_prompts(prompts)
    {}

    LoginOutcome stop(LoginStep step, const QString& message,
                      LoginField focus = LoginField::None) const
    {
        m_prompts.message(message);
        return {step, message, focus};
    }

    // Runs a step that talks to the database; nothing when it passes.
    std::optional<LoginOutcome> run(LoginStep step, Failures failures,
                                    const std::function<void()>& action)
    {
        QString failure;
        try {
            action();
            return std::nullopt;
        } catch (const Cancelled&) {
            close();
            throw;
        } catch (const DbError& e) {
            failure = e.message();
        } catch (...) {
            if (failures == Failures::Database)
                throw;
            failure = messageOfCurrentError();
        }
        // Shown outside the handler (a message box's event loop must not run while an exception
        // is held) and before the connection closes: a user without the right to create a
        // public synonym must learn why the login went no further.
        LoginOutcome outcome = stop(step, databaseErrorText(failure));
        close();
        return outcome;
    }

private:
    // Disconnecting closes every dataset; while disconnected none is open.
    void close() { m_database.connection().disconnect(); }

    LogDatabase& m_database;
    const LoginPrompts& m_prompts;
};

} // namespace

LoginOutcome attemptLogin(LogDatabase& database, const LoginFields& fields,
                          const LocaleText& locale, const LoginPrompts& prompts)
{
    Attempt attempt(database, prompts);
    if (const LoginField empty = lastEmptyField(fields); empty != LoginField::None)
        return attempt.stop(LoginStep::Fields, QStringLiteral("Введены не все параметры!"), empty);

    // The name stands verbatim in every statement of the program: nothing that is not a
    // table's name may reach the database.
    const QString& table = fields.table;
    if (!isOracleTableName(table))
        return attempt.stop(LoginStep::TableName,
                            QStringLiteral("Неверное имя таблицы логов: «") + table +
                                QStringLiteral("»"),
                            LoginField::Table);
    if (fields.createTable) {
        if (const QString problem = logTableCreationProblem(table); !problem.isEmpty())
            return attempt.stop(LoginStep::TableName, problem, LoginField::Table);
    }

    // A connection left open (creation refused, failed hand-over) is reopened only when the
    // user changed what it points at: a corrected database name must reach that database.
    Connection& connection = database.connection();
    connection.setConnectionString(
        buildConnectionString(fields.password, fields.user, fields.base));
    if (auto failed =
            attempt.run(LoginStep::Connection, Failures::Database, [&] { connection.connect(); }))
        return *failed;

    const QString shownTable = locale.upper(table);
    QString fieldProblem;
    if (fields.createTable) {
        if (!prompts.confirm(QStringLiteral("Создать таблицу логов?"),
                             QStringLiteral("Вы действительно хотите создать таблицу логов \"") +
                                 shownTable + QStringLiteral("\"?")))
            return {LoginStep::Declined, {}, LoginField::None};
        // A cancelled or failed creation leaves what it created, as a failure of the step after
        // it would.
        if (auto failed = attempt.run(LoginStep::Creation, Failures::Any,
                                      [&] { createLogTable(database, table); }))
            return *failed;
        prompts.message(QStringLiteral("Таблица логов \"") + shownTable +
                        QStringLiteral("создана!"));
    } else {
        // A query of its own: no dataset is borrowed, and the row is kept only for its fields.
        RowSet probe;
        if (auto failed = attempt.run(LoginStep::Probe, Failures::Database, [&] {
                probe = connection.query(QStringLiteral("Проверка таблицы логов"),
                                         QStringLiteral("Select * from ") + table +
                                             QStringLiteral(" where rownum=1"));
            }))
            return *failed;
        fieldProblem = logTableFieldProblem(probe, shownTable);
    }

    database.setCurrentLogTable(table);
    if (!fieldProblem.isEmpty())
        return {LoginStep::TableFields, fieldProblem, LoginField::None};
    return {};
}

} // namespace varnel
