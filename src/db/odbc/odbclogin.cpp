#include "db/odbc/odbclogin.h"

#include "db/connectionstring.h"
#include "db/dberror.h"
#include "db/odbc/drivertext.h"

#include <QRegularExpression>

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <array>

namespace varnel::odbc {

namespace {

// One list of the driver manager, read with a wide call so that names outside ASCII survive.
template <typename Fetch> QStringList names(SQLHENV env, Fetch fetch)
{
    QStringList result;
    std::array<SQLWCHAR, 1024> name{};
    std::array<SQLWCHAR, 1024> detail{};
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT detailLength = 0;
        const SQLRETURN rc =
            fetch(env, direction, name.data(), SQLSMALLINT(name.size()), &nameLength, detail.data(),
                  SQLSMALLINT(detail.size()), &detailLength);
        if (!SQL_SUCCEEDED(rc))
            break;
        result << driverText(name.data(), qsizetype(name.size()));
        direction = SQL_FETCH_NEXT;
    }
    return result;
}

// Whether a driver's name is one that Oracle's own driver goes by. With `preferred`, only the
// names that Oracle's tools give it: "Oracle in <home>" (odbc_install.exe, Oracle's installer)
// and "Oracle 21 ODBC driver" (odbc_update_ini.sh); else any name that starts with "Oracle", as
// a registration by hand names it. Other vendors put their own name first ("Devart ODBC Driver
// for Oracle", "DataDirect 8.0 Oracle Wire Protocol") and read other keywords than Oracle's DBQ;
// a wire protocol driver registered as plain "Oracle Wire Protocol" is one of theirs.
bool isOraclesOwnDriver(const QString& name, bool preferred)
{
    static const QRegularExpression own(QStringLiteral("^Oracle(?!.*Wire Protocol)"),
                                        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression named(QStringLiteral("^Oracle (in |.*ODBC Driver)"),
                                          QRegularExpression::CaseInsensitiveOption);
    return (preferred ? named : own).match(name).hasMatch();
}

// What to install, in the words of the user's platform: Windows keeps its drivers in the
// registry, where Instant Client's odbc_install.exe writes them, and has no unixODBC. A driver
// for Oracle of another vendor is named, so that the user does not take it for Oracle's.
QString missingDriverMessage(const QString& dataSource, const QStringList& otherVendors)
{
    QString message;
    if (otherVendors.isEmpty()) {
        message = QStringLiteral("Не найден драйвер ODBC для Oracle: нет ни драйвера ODBC, в "
                                 "имени которого есть «Oracle», ни источника данных ODBC «%1».\n")
                      .arg(dataSource);
    } else {
        const bool one = otherVendors.size() == 1;
        message = QStringLiteral("Не найден драйвер ODBC самой Oracle и нет источника данных ODBC "
                                 "«%1»: %2 «%3» %4, а %5 другие параметры подключения.\n")
                      .arg(dataSource,
                           one ? QStringLiteral("установлен только драйвер")
                               : QStringLiteral("установлены только драйверы"),
                           otherVendors.join(QStringLiteral("», «")),
                           one ? QStringLiteral("другого производителя")
                               : QStringLiteral("других производителей"),
                           one ? QStringLiteral("он принимает") : QStringLiteral("они принимают"));
    }
#ifdef _WIN32
    return message + QStringLiteral("Установите Oracle Instant Client с его пакетом ODBC той же "
                                    "разрядности, что и программа, и зарегистрируйте драйвер "
                                    "программой odbc_install.exe из его папки или создайте "
                                    "источник данных с именем «%1» в администраторе источников "
                                    "данных ODBC.")
                         .arg(dataSource);
#else
    return message + QStringLiteral("Установите Oracle Instant Client с его пакетом ODBC и "
                                    "зарегистрируйте драйвер (в Linux — в unixODBC, командой "
                                    "odbcinst) или создайте источник данных ODBC с именем «%1».")
                         .arg(dataSource);
#endif
}

} // namespace

QString connectValue(const QString& value)
{
    for (const QChar c : value) {
        if (c == QLatin1Char(';') || c == QLatin1Char('{') || c == QLatin1Char('}') ||
            c == QLatin1Char('=')) {
            QString inner = value;
            inner.replace(QLatin1Char('}'), QLatin1String("}}"));
            return QLatin1Char('{') + inner + QLatin1Char('}');
        }
    }
    return value;
}

QString OdbcLogin::connectString() const
{
    QString text;
    if (!dsn.isEmpty()) {
        text = QStringLiteral("DSN=") + connectValue(dsn);
    } else {
        // A driver name is always braced: names hold blanks ("Oracle in instantclient_21").
        QString name = driver;
        name.replace(QLatin1Char('}'), QLatin1String("}}"));
        text = QStringLiteral("DRIVER={") + name + QLatin1Char('}');
    }
    for (const auto& [key, value] : attributes)
        text += QLatin1Char(';') + key + QLatin1Char('=') + connectValue(value);
    if (!user.isEmpty())
        text += QStringLiteral(";UID=") + connectValue(user);
    if (!password.isEmpty())
        text += QStringLiteral(";PWD=") + connectValue(password);
    return text;
}

OdbcCatalog OdbcCatalog::installed()
{
    OdbcCatalog catalog;
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        return catalog;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    catalog.drivers = names(env, &SQLDriversW);
    catalog.dataSources = names(env, &SQLDataSourcesW);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return catalog;
}

QString oracleDriver(const QStringList& drivers)
{
    for (const bool preferred : {true, false})
        for (const QString& name : drivers)
            if (isOraclesOwnDriver(name, preferred))
                return name;
    return {};
}

QStringList otherVendorsOracleDrivers(const QStringList& drivers)
{
    QStringList others;
    for (const QString& name : drivers)
        if (name.contains(QLatin1String("Oracle"), Qt::CaseInsensitive) &&
            !isOraclesOwnDriver(name, false))
            others << name;
    return others;
}

OdbcLogin oracleLogin(const ConnectionParams& params, const OdbcCatalog& catalog)
{
    OdbcLogin login;
    login.user = params.user;
    login.password = params.password;
    for (const QString& dsn : catalog.dataSources) {
        if (dsn.compare(params.dataSource, Qt::CaseInsensitive) == 0) {
            login.dsn = dsn;
            return login;
        }
    }
    login.driver = oracleDriver(catalog.drivers);
    if (login.driver.isEmpty())
        throw DbError(
            missingDriverMessage(params.dataSource, otherVendorsOracleDrivers(catalog.drivers)));
    login.attributes = {{QStringLiteral("DBQ"), params.dataSource}};
    return login;
}

} // namespace varnel::odbc
