#pragma once

#include <QString>

namespace varnel {

class TDataModuleBase;

// The statements that create a log table named `name` (the user's text, unchanged).
QString createLogTableStatement(const QString& name);
QString grantLogTableStatement(const QString& name);
QString publicSynonymStatement(const QString& name);

// Creates the log table `name` in the connected user's schema, grants every user the rights
// the outside writers need and makes it reachable by its bare name through a public synonym.
// Runs on `ADOQueryCreateTable`; the first failing statement raises DbError and the ones after
// it are not run (what was created before stays).
void CreateLogTable(TDataModuleBase& dataModule, const QString& name);

} // namespace varnel
