#pragma once

#include <QList>
#include <QPair>
#include <QString>

namespace varnel {

// The values of an OLE DB style connection string ("Provider=MSDAORA.1;Password=...;...").
struct ConnectionParams {
    QString provider;
    QString password;
    QString user;
    QString dataSource;
    QList<QPair<QString, QString>> all; // every key and value, in order, keys as written

    // Whether the data source names a local database file for the embedded engine (it ends
    // in .sqlite, .sqlite3 or .db, in any case) rather than an Oracle network service.
    bool isLocalFile() const;
};

// The connection string that the login builds. A value holding ";" or a double quote is
// written between double quotes with its inner quotes doubled, so that it is read back whole
// (a password "se;cret" must not be cut at the ";"); any other value stands as typed.
QString buildConnectionString(const QString& password, const QString& user,
                              const QString& dataSource);

// Reads "key=value" pairs separated by ";". Keys compare without regard to case and blanks
// around them; values are kept as written, except that a double-quoted value loses its quotes
// and has its doubled quotes undone. Raises DbError on an unterminated quote.
ConnectionParams parseConnectionString(const QString& text);

} // namespace varnel
