#pragma once

#include <QString>
#include <QStringView>

namespace varnel {

class RowSet;
class LogDatabase;

// Whether `text` names a table as Oracle writes it: an optional schema and a dot, the name,
// then optionally "@" and a database link whose name may hold dots; each part either unquoted
// (a letter of any alphabet, then letters, digits, "_", "$" and "#") or in double quotes with
// no double quote inside. The log table's name stands verbatim in every statement, so nothing
// else may reach one: no blank, comment, condition or second statement.
bool isOracleTableName(QStringView text);

// What stops a login into a log table whose fields `probe` (a row read from it) are, or an
// empty text. A DDATE that holds no dates (VARCHAR2, or TEXT in a file made elsewhere) is
// compared as text by Oracle and the embedded engine alike: a period would take the records
// of other days. A table without DDATE is left to the statements that name it.
// `shownTable` is the table's name as messages show it.
QString logTableFieldProblem(const RowSet& probe, const QString& shownTable);

// Why no log table named `name` can be created, or an empty text: a name with a database link
// ("LOGS@REMOTE") is a table of another database, where the statements below cannot make it.
QString logTableCreationProblem(const QString& name);

// The statements that create a log table named `name` (the user's text, unchanged). The public
// synonym takes the name without its schema ("create public synonym LOGS for SCOTT.LOGS").
QString createLogTableStatement(const QString& name);
QString grantLogTableStatement(const QString& name);
QString publicSynonymStatement(const QString& name);

// Creates the log table `name` in the connected user's schema (or in the schema it names),
// grants every user the rights the outside writers need and makes it reachable by its bare name
// through a public synonym. Runs on `commandDataset`; the first failing statement raises
// DbError and the ones after it are not run (what was created before stays). A name that
// logTableCreationProblem() refuses raises its text before anything is sent.
void createLogTable(LogDatabase& database, const QString& name);

} // namespace varnel
