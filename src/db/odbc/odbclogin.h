#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace varnel {

struct ConnectionParams;

namespace odbc {

// A value of an ODBC connection string as the driver must read it: one holding ";", "{", "}"
// or "=" goes between braces with every "}" doubled ("sec;ret" → "{sec;ret}"); any other value
// stands as it is. Unbraced, a driver cuts a password at its ";" without a word.
QString connectValue(const QString& value);

// Where an ODBC connection goes and as whom: a configured data source (DSN), or a driver
// with its keywords (Oracle's DBQ).
struct OdbcLogin {
    QString dsn; // when set, `driver` is not used
    QString driver;
    QList<QPair<QString, QString>> attributes; // after the data source or the driver

    QString user;
    QString password;

    // "DSN=<dsn>;<key>=<value>;...;UID=<user>;PWD=<password>" or "DRIVER={<driver>};<key>=
    // <value>;...;UID=...;PWD=...", each value written by connectValue(); UID and PWD are left
    // out when empty.
    QString connectString() const;
};

// The ODBC drivers and data sources that the driver manager knows, in its order.
struct OdbcCatalog {
    QStringList drivers;
    QStringList dataSources;

    // Asks the driver manager (SQLDrivers, SQLDataSources); empty lists when there is none.
    static OdbcCatalog installed();
};

// The driver that Oracle connections use: Oracle's own, the first one named as Oracle's tools
// register it ("Oracle in instantclient_21_12", "Oracle 21 ODBC driver"), else the first other
// name that starts with "Oracle" (any case); empty when there is none. Another vendor's driver
// for Oracle ("Devart ODBC Driver for Oracle", Microsoft's long-retired "Microsoft ODBC for
// Oracle") reads other keywords and is never taken.
QString oracleDriver(const QStringList& drivers);
// The drivers whose names hold "Oracle" (any case) that are not Oracle's own.
QStringList otherVendorsOracleDrivers(const QStringList& drivers);

// The login for the program's connection string: through the configured data source of the
// data source's name (any case) when there is one, else through the Oracle driver with
// DBQ=<data source>. Raises DbError, in Russian and saying what to install, when neither
// exists; another vendor's driver for Oracle, when there is one, is named there.
OdbcLogin oracleLogin(const ConnectionParams& params, const OdbcCatalog& catalog);

} // namespace odbc
} // namespace varnel
