#pragma once

#include <QString>

#include <functional>

namespace varnel {

class LocaleText;
class LogDatabase;

// What the login dialog's fields hold when OK is pressed.
struct LoginFields {
    QString user;
    QString password;
    QString base;
    QString table;
    bool createTable = false;
};

// Where a login stopped, and what it left behind.
enum class LoginStep {
    None,        // it passed: the log table is current; the hand-over comes next
    Fields,      // a field is empty; nothing was sent
    TableName,   // the table's text names no table, or none to create; nothing was sent
    Connection,  // connecting failed
    Declined,    // the user refused the creation; the connection stays open
    Creation,    // a creation statement failed; what was created before it stays
    Probe,       // the table could not be read
    TableFields, // the table's fields rule it out as a log; it is current, the connection stays
};

enum class LoginField { None, User, Password, Base, Table };

struct LoginOutcome {
    LoginStep failedStep = LoginStep::None;
    // The message shown for the step, or for TableFields the one the caller raises as an Error
    // (it reaches the default error display, as a hand-over's failure does). Empty for None
    // and Declined.
    QString message;
    LoginField focus = LoginField::None;
};

// How a login reaches the user while it runs. Each is called at the moment the user must see or
// answer, so that what follows comes after it: a failure is on the screen before the
// connection closes, a creation is confirmed before anything is created.
struct LoginPrompts {
    std::function<void(const QString& text)> message;
    std::function<bool(const QString& title, const QString& question)> confirm;
};

// One press of OK up to the hand-over: the fields, the table's name, the connection (an open one
// with the same connection string is kept; one to another database is closed first), then
// either the creation of the log table once confirmed or a probe of one of its rows, and last
// the current log table. A step that fails shows its message and then closes the connection.
// A Cancelled leaves after the same closing, without a message. Errors other than DbError from
// connecting or probing go on to the caller as they are; the creation shows every failure.
// `locale` upper-cases the table's name in the messages.
LoginOutcome attemptLogin(LogDatabase& database, const LoginFields& fields,
                          const LocaleText& locale, const LoginPrompts& prompts);

} // namespace varnel
