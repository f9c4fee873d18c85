// The Oracle path through ODBC: its pure parts against golden texts, and the engine's mechanics
// against the real unixODBC driver manager on three drivers: the SQLite ODBC driver, the Oracle
// stand-in of tests/oraclestandin, and psqlODBC on a PostgreSQL server of the test run, a real
// client/server driver that no one here wrote.

#include "base/civiltime.h"
#include "base/localetext.h"
#include "common/oraclestandin.h"
#include "common/postgrescluster.h"
#include "common/testsupport.h"
#include "db/connection.h"
#include "db/connectionstring.h"
#include "db/dberror.h"
#include "db/logdatabase.h"
#include "db/odbc/odbcengine.h"
#include "db/odbc/oraclesession.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>

#include <gtest/gtest.h>

// The loader's list of mapped libraries serves the sanitizer builds, which are Linux-only.
#ifdef __linux__
#include <dlfcn.h>
#include <link.h>
#endif

#include <atomic>
#include <chrono>
#include <list>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <utility>

using namespace varnel;
using namespace varnel::test;
using odbc::OdbcEngine;

namespace {

// The paths of the shared objects mapped into the process.
std::set<std::string> loadedObjects()
{
    std::set<std::string> paths;
#ifdef __linux__
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* out) {
            if (info->dlpi_name != nullptr && info->dlpi_name[0] != '\0')
                static_cast<std::set<std::string>*>(out)->insert(info->dlpi_name);
            return 0;
        },
        &paths);
#endif
    return paths;
}

// What the driver manager loaded for a connection (the driver) stays mapped until the process
// ends. LeakSanitizer reports at exit, after unixODBC has unloaded the driver: a leak inside the
// driver would show only "<unknown module>" frames, which no suppression can tell from a leak of
// ours. Mapped, its frames name the driver's library, and only that library is suppressed
// (tests/sanitizers/lsan.supp).
class KeepsDriversMapped {
protected:
    void keepDriverMapped() const
    {
        for (const std::string& path : loadedObjects())
            if (!loadedBefore.contains(path)) {
#ifdef __linux__
                dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
#endif
            }
    }

private:
    const std::set<std::string> loadedBefore = loadedObjects();
};

// The SQLite 3 driver as the driver manager has it registered ("SQLite" is SQLite 2's); empty
// when there is none.
QString sqliteDriver()
{
    QString driver;
    for (const QString& name : odbc::OdbcCatalog::installed().drivers)
        if (name.contains(QLatin1String("sqlite3"), Qt::CaseInsensitive))
            driver = name;
    return driver;
}

const char* const kNoSqliteDriver = "No SQLite 3 ODBC driver is registered with the ODBC driver "
                                    "manager (Debian: libsqliteodbc, which scripts/install-deps "
                                    "installs)";

OdbcEngine::Options sqliteOptions(const QString& driver, const QString& path)
{
    OdbcEngine::Options o;
    o.login.driver = driver;
    o.login.attributes = {{QStringLiteral("Database"), path}};
    // No rownum in SQLite, and its driver binds a date-time as text with milliseconds.
    o.oneRecordDelete = {
        QStringLiteral("delete from %1\nwhere rowid = (select rowid from %1\nwhere %2 limit 1)"),
        QStringLiteral("datetime(%1) = datetime(?)"),
        OneRecordDeleteForm::DateValue::DateTime,
        80,
        {}};
    return o;
}

class OdbcSqlite : public ::testing::Test, protected KeepsDriversMapped {
protected:
    void SetUp() override
    {
        driver = sqliteDriver();
        if (driver.isEmpty())
            GTEST_SKIP() << kNoSqliteDriver;
    }

    OdbcEngine::Options options(const QString& path) const { return sqliteOptions(driver, path); }
    std::unique_ptr<OdbcEngine> open(const QString& path) const
    {
        auto engine = std::make_unique<OdbcEngine>(options(path));
        keepDriverMapped();
        return engine;
    }

    TempFolder folder;
    QString driver;
};

// The drivers that the engine's own tests run on: another vendor's driver over a file, the
// stand-in for Oracle's, and a real client/server driver over the network.
enum class Driver { SQLite, Standin, PostgreSQL };

const char* nameOf(Driver driver)
{
    switch (driver) {
    case Driver::SQLite:
        return "SQLite";
    case Driver::Standin:
        return "Standin";
    case Driver::PostgreSQL:
        return "PostgreSQL";
    }
    return "?";
}

std::string driverName(const ::testing::TestParamInfo<Driver>& info)
{
    return nameOf(info.param);
}

void PrintTo(Driver driver, std::ostream* out)
{
    *out << nameOf(driver);
}

// The words of a cancel that the engine raises itself, whatever the driver says.
const char* const kEngineCancel = "ORA-01013: user requested cancel of current operation";

// One test on one driver: its databases, made afresh for the test in the database's own
// dialect (SQLite's for the stand-in, whose databases are SQLite files), each named by what
// make() returned.
class OdbcDriver : public ::testing::TestWithParam<Driver>, protected KeepsDriversMapped {
protected:
    void SetUp() override
    {
        QString why;
        switch (GetParam()) {
        case Driver::SQLite:
            m_sqliteDriver = sqliteDriver();
            if (m_sqliteDriver.isEmpty())
                GTEST_SKIP() << kNoSqliteDriver;
            break;
        case Driver::Standin:
            if (!OracleStandin::available(&why))
                GTEST_SKIP() << why.toStdString();
            break;
        case Driver::PostgreSQL:
            m_cluster = PostgresCluster::get(&why);
            if (!m_cluster)
                GTEST_SKIP() << why.toStdString();
            break;
        }
    }

    bool on(Driver driver) const { return GetParam() == driver; }

    // Makes the database `name` of the test holding `statements`; the other members take what
    // this returns: the file of a SQLite database (the stand-in's in its folder), the name of
    // PostgreSQL's.
    QString make(const QString& name, const QStringList& statements = {})
    {
        if (!on(Driver::PostgreSQL)) {
            const QString path = makeDatabase(folder, name + QStringLiteral(".sqlite"), statements);
            return on(Driver::Standin) ? OracleStandin::place(path, name) : path;
        }
        m_databases.push_back(std::make_unique<PostgresDatabase>(*m_cluster, name));
        const QString database = m_databases.back()->name();
        for (const QString& statement : statements)
            run(database, statement);
        return database;
    }

    OdbcEngine::Options options(const QString& database) const
    {
        if (on(Driver::SQLite))
            return sqliteOptions(m_sqliteDriver, database);
        OdbcEngine::Options o;
        if (on(Driver::Standin)) {
            o.login.driver = QString::fromLatin1(OracleStandin::kDriver);
            o.login.attributes = {{QStringLiteral("DBQ"), QFileInfo(database).completeBaseName()}};
            o.login.user = QStringLiteral("scott");
            o.login.password = QStringLiteral("tiger");
            return o;
        }
        o.login = m_cluster->login(database);
        // No rownum in PostgreSQL: a row's place (ctid) picks one of identical records.
        o.oneRecordDelete = {
            QStringLiteral("delete from %1\nwhere ctid = (select ctid from %1\nwhere %2 limit 1)"),
            QStringLiteral("%1 = ?"),
            OneRecordDeleteForm::DateValue::DateTime,
            80,
            {}};
        return o;
    }

    std::unique_ptr<OdbcEngine> open(const QString& database) const
    {
        auto engine = std::make_unique<OdbcEngine>(options(database));
        keepDriverMapped();
        return engine;
    }

    // The first value of `sql` run on the database beside the engines of the test, or -1 when
    // it yields no row.
    long long scalar(const QString& database, const QString& sql)
    {
        if (!on(Driver::PostgreSQL))
            return queryScalar(database, sql);
        const RowSet rows = admin(database).query(sql);
        return rows.rowCount() > 0 && !rows.isNull(0, 0) ? rows.integer(0, 0) : -1;
    }
    void run(const QString& database, const QString& sql)
    {
        if (on(Driver::PostgreSQL))
            admin(database).execute(sql);
        else
            queryScalar(database, sql);
    }

    // Takes the database away from under every connection to it: the stand-in's file goes,
    // PostgreSQL's server ends their sessions. False for a file that a driver reads itself.
    bool lose(const QString& database)
    {
        if (on(Driver::SQLite))
            return false;
        if (on(Driver::Standin))
            return QFile::rename(database, database + QStringLiteral(".gone"));
        admin(database).query(
            QStringLiteral("select pg_terminate_backend(pid) from pg_stat_activity where datname "
                           "= current_database() and pid <> pg_backend_pid()"));
        return true;
    }

    // A statement that runs until it is cancelled.
    QString slowQuery() const
    {
        switch (GetParam()) {
        case Driver::SQLite:
            return QStringLiteral("with recursive c(i) as (select 1 union all select i + 1 from c "
                                  "where i < 1000000000) select count(*) from c");
        case Driver::Standin: // no SELECT without FROM
            return QStringLiteral("select count(*) from (with recursive c(i) as (select 1 union "
                                  "all select i + 1 from c where i < 1000000000) select i from c)");
        case Driver::PostgreSQL: // waits, holding nothing
            return QStringLiteral("select pg_sleep(600)");
        }
        return {};
    }

    // Whether `error` reports a cancel: in the driver's words for a statement cancelled while
    // it ran, or in the engine's own (Oracle's, which it raises whatever the driver said).
    bool isCancel(const QString& error) const
    {
        if (error == QLatin1String(kEngineCancel))
            return true;
        switch (GetParam()) {
        case Driver::SQLite:
            return error.contains(QLatin1String("interrupt"), Qt::CaseInsensitive);
        case Driver::Standin:
            return error == QLatin1String("[Oracle][ODBC][Ora]") + QLatin1String(kEngineCancel);
        case Driver::PostgreSQL:
            return error.contains(QLatin1String("canceling statement due to user request"));
        }
        return false;
    }

    TempFolder folder;
    const PostgresCluster* cluster() const { return m_cluster; }

private:
    OdbcEngine& admin(const QString& database)
    {
        std::unique_ptr<OdbcEngine>& engine = m_admins[database];
        if (!engine) {
            OdbcEngine::Options o;
            o.login = m_cluster->login(database);
            engine = std::make_unique<OdbcEngine>(std::move(o));
            keepDriverMapped();
        }
        return *engine;
    }

    QString m_sqliteDriver;
    const PostgresCluster* m_cluster = nullptr;
    // Dropped after the connections to them have gone.
    std::list<std::unique_ptr<PostgresDatabase>> m_databases;
    std::map<QString, std::unique_ptr<OdbcEngine>> m_admins;
};

INSTANTIATE_TEST_SUITE_P(Drivers, OdbcDriver,
                         ::testing::Values(Driver::SQLite, Driver::Standin, Driver::PostgreSQL),
                         driverName);

// On a server that counts what it runs: PostgreSQL's pg_stat_statements.
class OdbcServerCounts : public OdbcDriver {
protected:
    void SetUp() override
    {
        OdbcDriver::SetUp();
        if (!IsSkipped() && !cluster()->countsStatements())
            GTEST_SKIP() << "the cluster's server has no pg_stat_statements (Debian: "
                            "postgresql-contrib of older releases)";
    }

    // How often the server has run `sql` in `database` (made afresh for the test).
    long long executions(const QString& database, QString sql)
    {
        sql.replace(QLatin1Char('\''), QLatin1String("''"));
        return scalar(database,
                      "select coalesce(sum(calls), 0) from pg_stat_statements where dbid = (select "
                      "oid from pg_database where datname = current_database()) and query = '" +
                          sql + "'");
    }
};

INSTANTIATE_TEST_SUITE_P(Server, OdbcServerCounts, ::testing::Values(Driver::PostgreSQL),
                         driverName);

} // namespace

TEST(OdbcLogin, ADataSourceOfThatNameWinsThenTheFirstOracleDriverAndValuesAreBracedAsNeeded)
{
    const odbc::OdbcCatalog oracle{{"SQLite3", "Oracle in instantclient_21_12", "Oracle 19"}, {}},
        oracleNamedInCaps{{"Microsoft ODBC for Oracle", "ORACLE_ODBC_19"}, {"Other"}},
        named{{"SQLite3"}, {"Other", "orcl"}}, none{{"SQLite3", "Microsoft ODBC for Oracle"}, {}};
    const QString d = QStringLiteral("DRIVER={Oracle in instantclient_21_12};DBQ=");
    // The catalog, the data source, the user, the password; the connection string, if any.
    const std::tuple<const odbc::OdbcCatalog&, QString, QString, QString, QString> cases[] = {
        {oracle, "ORCL", "scott", "tiger", d + "ORCL;UID=scott;PWD=tiger"},
        {oracle, "ORCL", "scott", "sec;ret", d + "ORCL;UID=scott;PWD={sec;ret}"},
        {oracle, "ORCL", "a=b", "{x}", d + "ORCL;UID={a=b};PWD={{x}}}"},
        {oracle, "ORCL", "scott", ";PWD=x}", d + "ORCL;UID=scott;PWD={;PWD=x}}}"},
        {oracle, "(DESCRIPTION=(ADDRESS=(HOST=h)))", "u", "p",
         d + "{(DESCRIPTION=(ADDRESS=(HOST=h)))};UID=u;PWD=p"},
        {oracle, "db:1521/srv", "Пётр", "пароль 1", d + "db:1521/srv;UID=Пётр;PWD=пароль 1"},
        {oracle, "ORCL", "", "", d + "ORCL"},
        {oracleNamedInCaps, "ORCL", "scott", "", "DRIVER={ORACLE_ODBC_19};DBQ=ORCL;UID=scott"},
        // A data source needs no Oracle driver of ours; its name matches in any case.
        {named, "ORCL", "scott", "p;w", "DSN=orcl;UID=scott;PWD={p;w}"},
        {none, "ORCL", "scott", "", ""},
    };
    for (const auto& [catalog, dataSource, user, password, expected] : cases) {
        const ConnectionParams params{{}, password, user, dataSource, {}};
        QString got;
        errorOf(
            [&, &catalog = catalog] { got = odbc::oracleLogin(params, catalog).connectString(); });
        EXPECT_EQ(got, expected);
    }
}

TEST(OdbcLogin, WithoutAnOracleDriverTheConnectionSaysWhatToInstall)
{
    // Through the gateway, as the login dialog meets it, on a machine whose driver manager
    // knows no Oracle driver (the tests' own stand-in left out).
    Connection connection([](const QString& connectionString, const LocaleText& locale) {
        odbc::OdbcCatalog catalog = odbc::OdbcCatalog::installed();
        catalog.drivers.removeIf([](const QString& name) { return name.contains("Oracle"); });
        return odbc::openOracle(parseConnectionString(connectionString), locale, catalog);
    });
    const QString message = errorOf([&] {
        connection.connect(buildConnectionString(QStringLiteral("pw"), QStringLiteral("u"),
                                                 QStringLiteral("VARNEL_NO_SUCH_SERVICE")));
    });
    EXPECT_FALSE(connection.connected());
    // The tools of the user's platform, and none of the other's.
#ifdef Q_OS_WIN
    const char* const platform[] = {"odbc_install.exe", "администраторе источников данных ODBC"};
    const char* const other[] = {"unixODBC", "odbcinst"};
#else
    const char* const platform[] = {"unixODBC", "odbcinst"};
    const char* const other[] = {"odbc_install", "администратор"};
#endif
    for (const char* part : {"Не найден драйвер ODBC для Oracle", "«VARNEL_NO_SUCH_SERVICE»",
                             "Oracle Instant Client", platform[0], platform[1]})
        EXPECT_TRUE(message.contains(QString::fromUtf8(part))) << part;
    for (const char* part : other)
        EXPECT_FALSE(message.contains(QString::fromUtf8(part))) << part;
    EXPECT_LE(message.count(QLatin1Char('\n')), 2); // a message box's few lines
}

// Oracle's own driver goes by the names its tools give it; another vendor's driver for Oracle
// reads other keywords (HostName, Server) and no DBQ, and is named when it is all there is.
TEST(OdbcLogin, OraclesOwnDriverIsTakenAndAnotherVendorsIsNamedInsteadOfUsed)
{
    const QString d = QStringLiteral("DRIVER={%1};DBQ=ORCL;UID=u;PWD=p");
    const std::pair<QStringList, QString> cases[] = {
        {{"Devart ODBC Driver for Oracle", "Oracle in OraClient19Home1"},
         d.arg("Oracle in OraClient19Home1")},
        {{"DataDirect 8.0 Oracle Wire Protocol", "Oracle 21 ODBC driver"},
         d.arg("Oracle 21 ODBC driver")},
        // The names Oracle's tools give come before one registered by hand.
        {{"ORACLE_ODBC_19", "Oracle in instantclient_21_12"},
         d.arg("Oracle in instantclient_21_12")},
        {{"Oracle Wire Protocol", "OracleODBC-19"}, d.arg("OracleODBC-19")},
        {{"SQLite3", "Devart ODBC Driver for Oracle"},
         "Не найден драйвер ODBC самой Oracle и нет источника данных ODBC «ORCL»: установлен "
         "только драйвер «Devart ODBC Driver for Oracle» другого производителя, а он принимает "
         "другие параметры подключения."},
        {{"Microsoft ODBC for Oracle", "DataDirect 8.0 Oracle Wire Protocol"},
         "установлены только драйверы «Microsoft ODBC for Oracle», «DataDirect 8.0 Oracle Wire "
         "Protocol» других производителей, а они принимают"},
        {{"SQLite3"}, "нет ни драйвера ODBC, в имени которого есть «Oracle»"},
    };
    for (const auto& [drivers, expected] : cases) {
        SCOPED_TRACE(drivers.join(", ").toStdString());
        const ConnectionParams params{{}, "p", "u", "ORCL", {}};
        QString got;
        const QString error = errorOf([&, &drivers = drivers] {
            got = odbc::oracleLogin(params, {drivers, {}}).connectString();
        });
        if (expected.startsWith(QLatin1String("DRIVER="))) {
            EXPECT_EQ(got, expected);
        } else {
            EXPECT_TRUE(error.contains(expected)) << error.toStdString();
            // What to install follows, on a line of its own.
            EXPECT_TRUE(error.contains(QStringLiteral(".\nУстановите Oracle Instant Client")));
        }
    }
}

// Unset, NLS_LANG makes Oracle's client take US7ASCII for the texts it converts: the engine
// gives it AL32UTF8 before the driver loads, and leaves alone what the user set.
TEST(OracleClient, NlsLangGetsACharacterSetBeforeTheDriverLoads)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", ".AL32UTF8"},
        {"RUSSIAN_RUSSIA", "RUSSIAN_RUSSIA.AL32UTF8"},
        {"RUSSIAN_RUSSIA.", "RUSSIAN_RUSSIA.AL32UTF8"},
        {"RUSSIAN_RUSSIA.CL8MSWIN1251", "RUSSIAN_RUSSIA.CL8MSWIN1251"},
        {".UTF8", ".UTF8"},
    };
    for (const auto& [set, read] : cases)
        EXPECT_EQ(odbc::oracleNlsLang(set), QByteArray(read)) << set;

    QString why;
    if (!OracleStandin::available(&why))
        GTEST_SKIP() << why.toStdString();
    const EnvRestorer nlsLang{"NLS_LANG"};
    TempFolder folder;
    OracleStandin::place(makeDemoDatabase(folder, 5), "NLS");
    for (const auto& [set, read] : cases) {
        if (*set)
            qputenv("NLS_LANG", set);
        else
            qunsetenv("NLS_LANG");
        odbc::openOracle(parseConnectionString(buildConnectionString("tiger", "scott", "NLS")),
                         LocaleText::current(), odbc::OdbcCatalog::installed());
        EXPECT_EQ(qgetenv("NLS_LANG"), QByteArray(read)) << set;
    }
}

TEST(OracleSession, StatementsSetTheFormatInOraclesNotationAndTheLanguageWhenNamesAreWritten)
{
    const QString f = QStringLiteral("alter session set NLS_DATE_FORMAT = ");
    const QString l = QStringLiteral("alter session set NLS_DATE_LANGUAGE = ");
    const std::tuple<QString, const char*, QStringList> cases[] = {
        {"dd.MM.yyyy", "ru_RU", {f + "'DD.MM.YYYY'"}},
        {"dddd, d MMMM yyyy", "ru_RU", {l + "'RUSSIAN'", f + "'DAY, DD MONTH YYYY'"}},
        {"ddd yy. M. d.", "pt_BR", {l + "'BRAZILIAN PORTUGUESE'", f + "'DY RR. MM. DD.'"}},
        // A language without an Oracle name here leaves the session's language alone.
        {"dd MMM yyyy", "sw_KE", {f + "'DD MON YYYY'"}},
        {"d.MM.yy 'г'.", "ru_RU", {f + "'DD.MM.RR \"г\".'"}},
        {"yyyy年M月d日", "ja_JP", {f + "'YYYY\"年\"MM\"月\"DD\"日\"'"}},
        // Qt's apostrophes become Oracle's quoted text, doubled inside the statement's literal.
        {"dd''MM 'it''s'", "ru_RU", {f + "'DD\"''\"MM \"it''s\"'"}},
    };
    for (const auto& [format, locale, expected] : cases)
        EXPECT_EQ(odbc::oracleSessionStatements(format, QLocale(QLatin1String(locale))), expected)
            << format.toStdString() << " " << locale;
}

TEST(OdbcDelete, OracleStatementComparesEveryColumnAndStopsAtOneRow)
{
    RowSet::Builder builder;
    const std::pair<const char*, ColumnType> columns[] = {
        {"SID", ColumnType::Number},    {"DDATE", ColumnType::Date},
        {"STABLE", ColumnType::Text},   {"SCHANGES", ColumnType::Text},
        {"AMOUNT", ColumnType::Number}, {"Odd\"Name", ColumnType::Text}};
    for (const auto& [name, type] : columns)
        builder.addColumn(QString::fromUtf8(name), type);
    const QString changes = QString(79, QChar(0x0416)) + QString::fromUtf8("😀") + "tail";
    const QByteArray changesUtf8 = changes.toUtf8();
    builder.addInteger(0, 123456789012345678);
    builder.addDate(1, civil::toSeconds(2024, 3, 5, 10, 11, 12));
    builder.addNull(2);
    builder.addText(3, changesUtf8.constData(), size_t(changesUtf8.size()));
    builder.addDecimal(4, "-12.5");
    builder.addNull(5);
    builder.endRow();

    const BoundStatement statement = oneRecordDeleteStatement(
        QStringLiteral("LOG_TABLE --"), builder.finish(), 0, oracleOneRecordDelete());
    EXPECT_EQ(
        statement.sql,
        QStringLiteral("delete from LOG_TABLE --\nwhere \"SID\" = 123456789012345678 and "
                       "\"DDATE\" = to_date(?, 'YYYY-MM-DD HH24:MI:SS') and \"STABLE\" is null "
                       "and \"SCHANGES\" = ? || ? and "
                       "\"AMOUNT\" = -12.5 and \"Odd\"\"Name\" is null and rownum = 1"));
    // The emoji's two halves stay together in the second piece.
    EXPECT_EQ(statement.values, QVariantList({QStringLiteral("2024-03-05 10:11:12"),
                                              changes.left(79), changes.mid(79)}));

    RowSet::Builder forged; // a "number" that would bring SQL of its own into the statement
    forged.addColumn(QStringLiteral("SID"), ColumnType::Number);
    forged.addDecimal(0, "1 or 1=1");
    forged.endRow();
    EXPECT_THROW(
        oneRecordDeleteStatement(QStringLiteral("T"), forged.finish(), 0, oracleOneRecordDelete()),
        DbError);
}

// A DATE's whole second is read by to_date, which keeps an index on a DATE column usable; a
// TIMESTAMP's fraction by to_timestamp with all nine digits, which nothing rounds away.
TEST(OdbcDelete, AWholeSecondIsReadByToDateAndAFractionByToTimestampToTheNanosecond)
{
    const QString date = QStringLiteral("\"DDATE\" = to_date(?, 'YYYY-MM-DD HH24:MI:SS')");
    const QString stamp =
        QStringLiteral("\"DDATE\" = to_timestamp(?, 'YYYY-MM-DD HH24:MI:SS.FF9')");
    const std::tuple<uint32_t, QString, QString> cases[] = {
        {0, date, "2024-03-05 10:11:12"},
        {123456000, stamp, "2024-03-05 10:11:12.123456000"},
        {1, stamp, "2024-03-05 10:11:12.000000001"},
        {999999999, stamp, "2024-03-05 10:11:12.999999999"},
    };
    for (const auto& [nanoseconds, condition, bound] : cases) {
        RowSet::Builder builder;
        builder.addColumn(QStringLiteral("DDATE"), ColumnType::Date);
        builder.addDate(0, civil::toSeconds(2024, 3, 5, 10, 11, 12), nanoseconds);
        builder.endRow();
        const BoundStatement statement = oneRecordDeleteStatement(
            QStringLiteral("LOG_TABLE"), builder.finish(), 0, oracleOneRecordDelete());
        EXPECT_EQ(statement.sql,
                  "delete from LOG_TABLE\nwhere " + condition + QStringLiteral(" and rownum = 1"));
        EXPECT_EQ(statement.values, QVariantList{bound});
    }
}

// Qt's ODBC driver took a name holding ".dsn" for a file data source; the API itself does not.
TEST_F(OdbcSqlite, ANameHoldingDotDsnReachesTheDriverAsItIs)
{
    const QString path = makeDatabase(folder, "db.dsnet.example.sqlite",
                                      {"create table t(a INTEGER)", "insert into t values (5)"});
    EXPECT_EQ(open(path)->query(QStringLiteral("select a from t")).integer(0, 0), 5);
}

TEST_P(OdbcDriver, TextNumbersDatesAndNullsMakeTheRoundTripExactForThousandsOfRows)
{
    // A time that the local zone skips must not move: the snapshot holds wall-clock times.
    const EnvRestorer zone{"TZ"};
    qputenv("TZ", "Europe/Berlin");
    const QString minutes = on(Driver::PostgreSQL)
                                ? QStringLiteral("timestamp '2024-01-01' + i * interval '1 minute'")
                                : QStringLiteral("datetime('2024-01-01', '+' || i || ' minutes')");
    const QString path = make(
        "values",
        {"create table t(k INTEGER, n NUMERIC, r REAL, s VARCHAR(40), ts TIMESTAMP, d DATE)",
         "insert into t values (1, null, null, null, null, null), "
         "(2, 123456789012345678, 0.1, '', '2024-03-05 10:11:12', '2024-03-05'), "
         "(3, 9007199254740993, 1.5, 'x', '1999-12-31 23:59:59.750', '1999-12-31'), "
         "(4, -987654321098765432, null, 'Привет, мир! Ёё', '2024-03-31 02:30:15', '2024-03-31'), "
         "(5, 12.5, null, null, '1901-02-03 04:05:06', '1901-02-03')",
         // Thousands more, past any fetch batch.
         "insert into t with recursive c(i) as (select 1 union all select i + 1 from c where "
         "i < 12345) select 5 + i, i, null, 'row ' || i, " +
             minutes + ", null from c"});
    auto engine = open(path);
    const RowSet rows = engine->query(QStringLiteral("select * from t order by k"));
    ASSERT_EQ(rows.rowCount(), 5u + 12345);
    const ColumnType types[] = {ColumnType::Number, ColumnType::Number, ColumnType::Number,
                                ColumnType::Text,   ColumnType::Date,   ColumnType::Date};
    const char* nulls[] = {"011111", "000100", "000000", "001000", "001100"}; // '' is NULL
    for (int col = 0; col < 6; ++col) {
        EXPECT_EQ(rows.column(col).type, types[col]) << col;
        for (uint32_t row = 0; row < 5; ++row)
            EXPECT_EQ(rows.isNull(row, col), nulls[row][col] == '1') << row << "," << col;
    }
    EXPECT_EQ(rows.column(3).declaredSize, 40);
    EXPECT_EQ(rows.integer(1, 1), 123456789012345678);
    EXPECT_EQ(rows.integer(2, 1), 9007199254740993);
    EXPECT_EQ(rows.integer(3, 1), -987654321098765432);
    EXPECT_EQ(rows.decimal(4, 1), "12.5");
    EXPECT_EQ(rows.decimal(1, 2), "0.1");
    EXPECT_EQ(rows.text(2, 3), "x");
    EXPECT_EQ(rows.text(3, 3), "Привет, мир! Ёё");
    const int64_t stamps[] = {
        civil::toSeconds(2024, 3, 5, 10, 11, 12), civil::toSeconds(1999, 12, 31, 23, 59, 59),
        civil::toSeconds(2024, 3, 31, 2, 30, 15), civil::toSeconds(1901, 2, 3, 4, 5, 6)};
    for (uint32_t row = 1; row < 5; ++row) {
        EXPECT_EQ(rows.dateSeconds(row, 4), stamps[row - 1]) << row;
        EXPECT_EQ(rows.dateSeconds(row, 5), civil::dayOf(stamps[row - 1]) * civil::kSecondsPerDay)
            << "a bare date is midnight";
    }
    long long sum = 0;
    for (uint32_t row = 5; row < rows.rowCount(); ++row)
        sum += rows.integer(row, 1);
    EXPECT_EQ(sum, 12345LL * 12346 / 2);
    EXPECT_EQ(rows.text(12349, 3), "row 12345");
    EXPECT_EQ(rows.dateSeconds(12349, 4), civil::toSeconds(2024, 1, 9, 13, 45, 0));

    // Written as the UTF-8 that SQLite writes (no emoji: the SQLite driver garbles those).
    const QString written = QStringLiteral("Изменение таблицы «ЖУРНАЛ» — ёЁ ґ");
    engine->execute(QStringLiteral("insert into t(k, s) values (0, '%1')").arg(written));
    EXPECT_EQ(scalar(path, "select count(*) from t where s = '" + written + "'"), 1);
}

// A driver that under-reports a width (SQLite keeps any length in a VARCHAR(10)) or reports
// none (TEXT; psqlODBC also a VARCHAR wider than its MaxVarcharSize of 255) still hands over
// every value whole: read again, or at once, in pieces, whose seams may fall inside a character.
TEST_P(OdbcDriver, ValuesLongerThanTheirColumnSaysComeWhole)
{
    // The emoji straddles the first seam: 4095 UTF-16 units fit in a piece.
    const QString longText = QString(4094, QChar(0x416)) + QString::fromUtf8("😀") +
                             QString(9000, QLatin1Char('x')) + QStringLiteral("конец");
    // PostgreSQL holds a VARCHAR to its width: there a wide one, reported without a width.
    const QString narrow =
        on(Driver::PostgreSQL) ? QStringLiteral("VARCHAR(20000)") : QStringLiteral("VARCHAR(10)");
    const QString path = make("long", {"create table t(k INTEGER, v " + narrow + ", w TEXT)",
                                       "insert into t values (1, 'short', 'ok'), (2, '" + longText +
                                           "', '" + longText + "')"});
    const RowSet rows = open(path)->query(QStringLiteral("select k, v, w from t order by k"));
    ASSERT_EQ(rows.rowCount(), 2u);
    const QByteArray utf8 = longText.toUtf8();
    for (int col : {1, 2})
        EXPECT_EQ(rows.text(1, col), std::string_view(utf8.constData(), size_t(utf8.size())))
            << col;
    EXPECT_EQ(rows.text(0, 1), "short");
    EXPECT_EQ(rows.integer(1, 0), 2);
}

// Cancel reaches every driver through SQLCancel on the running statement's handle.
TEST_P(OdbcDriver, ACancelStopsASlowStatementThroughSQLCancel)
{
    auto engine = open(make("slow", {"create table t(a INTEGER)"}));
    QString error;
    std::atomic<bool> done{false};
    std::thread running([&] {
        error = errorOf([&] { engine->query(slowQuery()); });
        done = true;
    });
    const auto start = std::chrono::steady_clock::now();
    while (!done) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        engine->cancel();
    }
    running.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(isCancel(error)) << error.toStdString();
    EXPECT_EQ(engine->query(QStringLiteral("select count(*) from t")).integer(0, 0), 0);
}

TEST_P(OdbcDriver, EnginesOwnTheirConnectionsAndErrorsCarryTheDatabasesWords)
{
    static QStringList warnings;
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& message) { warnings << message; });
    const QString path = make("errors", {"create table t(a INTEGER)", "insert into t values (1)"});
    auto engine = open(path);
    auto other = open(path);
    const RowSet rows = other->query(QStringLiteral("select a from t"));
    other.reset(); // its handles go, the other engine's stay
    EXPECT_EQ(engine->query(QStringLiteral("select a from t")).rowCount(), 1u);

    OdbcEngine::Options noDriver = options(path);
    noDriver.login.driver = QStringLiteral("Varnel No Such Driver");
    // Each driver's words for a missing table, a name taken and a statement it cannot read.
    const std::map<Driver, std::array<const char*, 3>> words = {
        {Driver::SQLite,
         {"[SQLite]no such table: nosuch (1)", "[SQLite]table t already exists (1)",
          "[SQLite]near \"selec\": syntax error (1)"}},
        {Driver::Standin,
         {"[Oracle][ODBC][Ora]ORA-00942: table or view does not exist",
          "[Oracle][ODBC][Ora]ORA-00955: name is already used by an existing object",
          "[Oracle][ODBC][Ora]near \"selec\": syntax error"}},
        {Driver::PostgreSQL,
         {"ERROR: relation \"nosuch\" does not exist;\nError while executing the query",
          "ERROR: relation \"t\" already exists;\nError while executing the query",
          "ERROR: syntax error at or near \"selec\";\nError while executing the query"}},
    };
    const std::array<const char*, 3>& expected = words.at(GetParam());
    const std::pair<std::function<void()>, const char*> cases[] = {
        {[&] { engine->query(QStringLiteral("select * from nosuch")); }, expected[0]},
        {[&] { engine->execute(QStringLiteral("create table t(b INTEGER)")); }, expected[1]},
        {[&] { engine->query(QStringLiteral("selec 1")); }, expected[2]},
        {[&] { OdbcEngine broken(noDriver); },
         "[unixODBC][Driver Manager]Can't open lib 'Varnel No Such Driver' : file not found"},
    };
    for (const auto& [action, message] : cases)
        EXPECT_EQ(errorOf(action), QString::fromUtf8(message));
    qInstallMessageHandler(previous);
    for (const QString& warning : warnings)
        EXPECT_FALSE(warning.contains(QLatin1String("still in use"))) << warning.toStdString();
}

TEST_F(OdbcSqlite, ThePasswordReachesTheDriverManagerWhole)
{
    // The driver manager's trace shows the connection string as it arrived from Qt. It masks
    // the password up to its first ";", so the rest must show what followed it.
    const QString trace = folder.path(QStringLiteral("odbc.trace"));
    OdbcEngine::Options o =
        options(makeDatabase(folder, "login.sqlite", {"create table t(a INTEGER)"}));
    o.login.user = QStringLiteral("te;st}er");
    o.login.password = QStringLiteral("sec;r}et=1");
    o.traceFile = trace;
    OdbcEngine{o};

    QFile file(trace);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString log = QString::fromUtf8(file.readAll());
    const qsizetype begin = log.indexOf(QLatin1String("Str In = [")) + 10;
    ASSERT_GE(begin, 10);
    const QString arrived = log.mid(begin, log.indexOf(QLatin1String("][length"), begin) - begin);
    const QString sent = o.login.connectString();
    EXPECT_TRUE(arrived.startsWith(sent.left(sent.indexOf(QLatin1String("PWD=")) + 4)))
        << arrived.toStdString();
    EXPECT_TRUE(arrived.endsWith(QLatin1String(";r}}et=1}"))) << arrived.toStdString();
}

TEST_P(OdbcDriver, CurrentRecordIsDeletedOnceThroughTheGateway)
{
    const QString row =
        "(1, '2024-03-05 10:11:12', null, '" + QString(150, QChar(0x0416)) + " конец', 12.5)";
    const QString path = make(
        "delete", {"create table LOGS(sid NUMERIC, ddate TIMESTAMP, stable VARCHAR(50), "
                   "schanges VARCHAR(4000), amount NUMERIC)",
                   // Two identical records, one that differs only in its second, one with NULLs.
                   "insert into LOGS values " + row + ", " + row + ", " +
                       QString(row).replace(QLatin1String(":12'"), QLatin1String(":13'")) +
                       ", (2, null, 'T', null, null)"});
    LogDatabase data(
        [&](const QString&, const LocaleText&) -> std::unique_ptr<Engine> { return open(path); });
    data.connection().connect(localConnectionString(QStringLiteral("ignored")));
    data.setCurrentLogTable(QStringLiteral("LOGS"));
    Dataset& main = data.mainDataset();
    main.setText(QStringLiteral("select * from LOGS order by sid, ddate"));
    main.open();
    ASSERT_EQ(main.recordCount(), 4);

    const QString twins =
        QStringLiteral("select count(*) from LOGS where cast(ddate as varchar(30)) like '%:12'");
    for (const long long left : {1, 0}) {
        main.deleteCurrent(data.currentLogTable());
        EXPECT_EQ(scalar(path, twins), left);
    }
    main.setCurrentRow(1);
    main.deleteCurrent(data.currentLogTable());
    EXPECT_EQ(scalar(path, QStringLiteral("select count(*) from LOGS where sid = 2")), 0);

    // Gone behind the grid's back: ADO's words.
    run(path, QStringLiteral("delete from LOGS"));
    EXPECT_EQ(errorOf([&] { main.deleteCurrent(data.currentLogTable()); }),
              QStringLiteral("Row cannot be located for updating. Some values may have been "
                             "changed since it was last read."));
}

TEST_P(OdbcDriver, DeletingOneRecordDeletesAtMostOneOnBothEnginesWhateverTheTableNameHolds)
{
    // The two twins first; the deletion of one of them may fail, never take more than one.
    const QStringList fill = {
        "create table LOG_TABLE(sid NUMERIC, ddate TIMESTAMP, stable VARCHAR(50))",
        "insert into LOG_TABLE values (1, '2024-03-05 10:11:12', 'A'), "
        "(1, '2024-03-05 10:11:12', 'A'), (2, null, 'B'), (3, '2024-03-06 00:00:00', null)"};
    // The name, and whether it still names the table (a "--" ends at the statement's line end).
    const std::pair<QString, bool> names[] = {
        {"LOG_TABLE", true},
        {"LOG_TABLE --", true},
        {"LOG_TABLE /*", false},
        {"LOG_TABLE where sid > 0 --", false},
        {"LOG_TABLE where sid > 0 or", false},
        {QStringLiteral("LOG_TABLE") + QChar(0) + QStringLiteral(" where 1=1"), false},
    };
    int made = 0;
    // The embedded engine reads the SQLite driver's files.
    const std::vector<bool> throughOdbcs =
        on(Driver::SQLite) ? std::vector<bool>{false, true} : std::vector<bool>{true};
    for (const bool throughOdbc : throughOdbcs) {
        for (const auto& [name, deletes] : names) {
            SCOPED_TRACE((throughOdbc ? "ODBC: " : "embedded: ") + name.toStdString());
            const QString path = make(QStringLiteral("d%1").arg(++made), fill);
            auto data =
                throughOdbc
                    ? std::make_unique<LogDatabase>(
                          [&](const QString&, const LocaleText&) -> std::unique_ptr<Engine> {
                              return open(path);
                          })
                    : std::make_unique<LogDatabase>();
            data->connection().connect(localConnectionString(path));
            Dataset& main = data->mainDataset();
            main.setText(QStringLiteral("select * from LOG_TABLE order by sid"));
            main.open();
            data->setCurrentLogTable(name);
            const QString error = errorOf([&] { main.deleteCurrent(data->currentLogTable()); });
            EXPECT_EQ(error == QLatin1String("<no error>"), deletes) << error.toStdString();
            EXPECT_EQ(scalar(path, QStringLiteral("select count(*) from LOG_TABLE")),
                      deletes ? 3 : 4);
            EXPECT_EQ(main.recordCount(), deletes ? 3 : 4);
        }
    }
}

TEST_F(OdbcSqlite, ADataSourceOfTheDatabasesNameIsUsed)
{
    // A user's data source file, read by the driver manager at each lookup.
    const QString path = makeDatabase(folder, "dsn;{x}.sqlite",
                                      {"create table t(a INTEGER)", "insert into t values (7)"});
    const QString ini = folder.path(QStringLiteral("odbc.ini"));
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(("[VarnelOdbcTest]\nDriver=" + driver + "\nDatabase=" + path + "\n").toUtf8());
    file.close();
    const EnvRestorer userIni{"ODBCINI"};
    qputenv("ODBCINI", ini.toLocal8Bit());

    const ConnectionParams params{
        {}, QStringLiteral("ti;ger"), {}, QStringLiteral("varnelodbctest"), {}};
    // The session statements are Oracle's: a database that is not Oracle skips them.
    auto engine = odbc::openOracle(params, LocaleText(QLocale(QLocale::Russian, QLocale::Russia)),
                                   odbc::OdbcCatalog::installed());
    keepDriverMapped();
    const RowSet rows = engine->query(QStringLiteral("select a from t"));
    ASSERT_EQ(rows.rowCount(), 1u);
    EXPECT_EQ(rows.integer(0, 0), 7);
}

// A statement stopped from another thread fails as cancelled (Oracle's ORA-01013 through the
// stand-in) and leaves the connection usable; the database lost under an open connection fails
// every statement.
TEST_P(OdbcDriver, ACancelFromAnotherThreadStopsTheStatementAndALostDatabaseFailsEveryOne)
{
    if (on(Driver::SQLite))
        GTEST_SKIP() << "the SQLite driver reads its file itself: there is no server to lose";
    // Through the stand-in as the program logs in to Oracle.
    const QString file =
        on(Driver::Standin)
            ? OracleStandin::place(makeDemoDatabase(folder, 20), "CANCEL")
            : make("cancel", {"create table LOG_TABLE(sid INTEGER)",
                              "insert into LOG_TABLE select * from generate_series(1, 20)"});
    const auto engine =
        on(Driver::Standin)
            ? odbc::openOracle(
                  parseConnectionString(buildConnectionString("tiger", "scott", "CANCEL")),
                  LocaleText::current(), odbc::OdbcCatalog::installed())
            : open(file);
    auto& oracle = dynamic_cast<OdbcEngine&>(*engine);
    EXPECT_EQ(oracle.isOracle(), on(Driver::Standin));

    QString error;
    std::atomic<bool> done{false};
    std::thread running([&] {
        error = errorOf([&] { oracle.query(slowQuery()); });
        done = true;
    });
    while (!done) { // a cancel before the statement starts cancels nothing
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        oracle.cancel();
    }
    running.join();
    EXPECT_TRUE(isCancel(error)) << error.toStdString();
    EXPECT_EQ(engine->query("select count(*) from LOG_TABLE").integer(0, 0), 20);

    ASSERT_TRUE(lose(file));
    const std::function<void()> statements[] = {
        [&] { engine->query(QStringLiteral("select * from LOG_TABLE")); },
        [&] {
            engine->execute(on(Driver::Standin) ? QStringLiteral("delete LOG_TABLE")
                                                : QStringLiteral("delete from LOG_TABLE"));
        }};
    for (const auto& statement : statements) {
        const auto start = std::chrono::steady_clock::now();
        const QString failure = errorOf(statement);
        // psqlODBC: "FATAL: terminating connection due to administrator command;\nThe
        // connection has been lost", then "SQLExecDirectW unable due to the connection lost".
        EXPECT_TRUE(on(Driver::Standin) ? failure.startsWith("[Oracle][ODBC][Ora]")
                                        : failure.contains(QLatin1String("connection")) &&
                                              failure.contains(QLatin1String("lost")))
            << failure.toStdString();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    }
}

// A cancel that comes while the rows are fetched mostly falls between two fetch calls, where no
// driver call runs for SQLCancel to stop: Oracle's driver and Windows' driver manager then do
// nothing, unixODBC's state machine fails the next call of the statement, and psqlODBC closes
// its cursor. Whatever the driver does, the query fails as cancelled, at once, and the
// connection serves the next statement.
TEST_P(OdbcDriver, ACancelWhileTheRowsAreFetchedIsACancelAndTheConnectionStaysUsable)
{
    if (on(Driver::SQLite))
        GTEST_SKIP() << "the SQLite driver's SQLCancel frees the rows that its SQLGetData, "
                        "running on the fetching thread, copies from (ThreadSanitizer reports "
                        "the race): it cannot be cancelled while it fetches";
    constexpr int kRows = 200000;
    const QString database =
        make("fetching", {"create table many(i INTEGER, b VARCHAR(20), u TEXT)",
                          QStringLiteral("insert into many with recursive c(i) as (select 1 union "
                                         "all select i + 1 from c where i < %1) select i, 'row ' "
                                         "|| i, 'row ' || i from c")
                              .arg(kRows)});
    auto engine = open(database);
    // Into bound arrays (a text of a bound width) and value by value (a text without one, on
    // the drivers that have one); cancelled by the engine's cancel alone, and as a call of the
    // connection cancels, its own flag first.
    for (const char* column : {"b", "u"}) {
        for (const bool flagged : {false, true}) {
            SCOPED_TRACE(std::string(column) + (flagged ? ", the call's flag" : ", cancel alone"));
            std::atomic<bool> flag{false};
            engine->beginCall(flagged ? &flag : nullptr);
            QString error;
            std::atomic<bool> done{false};
            std::thread running([&] {
                error = errorOf([&] {
                    engine->query(QStringLiteral("select i, %1 from many order by i").arg(column));
                });
                done = true;
            });
            const auto started = std::chrono::steady_clock::now();
            while (!done && engine->fetchedSoFar() == 0 &&
                   std::chrono::steady_clock::now() - started < std::chrono::seconds(30))
                std::this_thread::yield();
            const int64_t fetched = engine->fetchedSoFar();
            const auto cancelled = std::chrono::steady_clock::now();
            flag = true;
            engine->cancel();
            running.join();
            engine->beginCall(nullptr);
            EXPECT_GT(fetched, 0) << "the cancel came before the fetch";
            EXPECT_LT(std::chrono::steady_clock::now() - cancelled, std::chrono::seconds(2));
            EXPECT_TRUE(isCancel(error)) << error.toStdString();
            EXPECT_EQ(engine->query(QStringLiteral("select count(*) from many")).integer(0, 0),
                      kRows);
        }
    }
}

// A column that the driver describes without a bound width (psqlODBC: a VARCHAR wider than its
// MaxVarcharSize of 255, and TEXT, as SQL_WLONGVARCHAR; Oracle's: CLOB and LONG) is read value
// by value from the one execution. A second run of a statement that the server has already
// done costs its whole work again, and on a table that changed meanwhile reads other rows.
TEST_P(OdbcServerCounts, AColumnWithoutABoundWidthIsReadFromTheOneExecution)
{
    const QString longText = QString(3000, QChar(0x416)) + QStringLiteral(" конец");
    const QString database =
        make("widths", {"create table wide(k INTEGER, b VARCHAR(100), v VARCHAR(4000), w TEXT)",
                        "insert into wide values (1, 'short', 'short', 'short'), (2, 'b', '" +
                            longText + "', '" + longText + longText + "')"});
    auto engine = open(database);
    // The column, and the text of its second row; the first has a bound width.
    const std::pair<const char*, QString> cases[] = {
        {"b", QStringLiteral("b")}, {"v", longText}, {"w", longText + longText}};
    for (const auto& [column, second] : cases) {
        SCOPED_TRACE(column);
        const QString sql = QStringLiteral("select k, %1 from wide order by k").arg(column);
        const RowSet rows = engine->query(sql);
        ASSERT_EQ(rows.rowCount(), 2u);
        EXPECT_EQ(rows.text(0, 1), "short");
        const QByteArray utf8 = second.toUtf8();
        EXPECT_EQ(rows.text(1, 1), std::string_view(utf8.constData(), size_t(utf8.size())));
        EXPECT_EQ(executions(database, sql), 1);
    }
}

namespace {

// The engine on the stand-in's database `name`; with `trace`, the driver manager writes every
// call there.
std::unique_ptr<OdbcEngine> openStandin(const QString& name, const QString& trace = {})
{
    OdbcEngine::Options o;
    o.login = odbc::oracleLogin(parseConnectionString(buildConnectionString(
                                    QStringLiteral("tiger"), QStringLiteral("scott"), name)),
                                odbc::OdbcCatalog::installed());
    o.traceFile = trace;
    return std::make_unique<OdbcEngine>(std::move(o));
}

// A database of the stand-in named after `stem`, holding `statements` (SQLite's dialect).
QString standinDatabase(const TempFolder& folder, const QString& stem,
                        const QStringList& statements)
{
    static int made = 0;
    const QString name = stem + QString::number(++made);
    OracleStandin::place(makeDatabase(folder, name + QStringLiteral(".sqlite"), statements), name);
    return name;
}

using OdbcOracleStandin = OracleStandinTest;

} // namespace

// A CLOB or NCLOB has no width to bind it with: it is read in pieces on the statement that ran,
// which never runs a second time; an NVARCHAR2 is bound like any text; a value that overflows
// the driver's own conversion (ORA-01406) makes the rows be read again, in pieces.
TEST_F(OdbcOracleStandin, LargeAndNationalTextsAreReadWholeAndRunAgainOnlyAfterAnOverflow)
{
    const QString big = QString(5000, QChar(0x416)) + QString::fromUtf8("😀") + "конец";
    struct Case {
        const char* type;
        QString value;
        int executions;
    };
    const Case cases[] = {
        {"CLOB", big, 1},
        {"NCLOB", big, 1},
        {"NVARCHAR2(20)", QStringLiteral("ёлка и 😀"), 1},
        {"VARCHAR2(5)", QStringLiteral("abcdefgh"), 2},
    };
    const QString sql = QStringLiteral("select k, v from t order by k");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        const QString name = standinDatabase(
            folder, QStringLiteral("TEXTS"),
            {QStringLiteral("create table t(k NUMBER, v %1)").arg(QLatin1String(c.type)),
             "insert into t values (1, '" + c.value + "'), (2, NULL)"});
        const QString trace = folder.path(name + QStringLiteral(".trace"));
        const RowSet rows = openStandin(name, trace)->query(sql);
        ASSERT_EQ(rows.rowCount(), 2u);
        EXPECT_EQ(QString::fromUtf8(rows.text(0, 1)), c.value);
        EXPECT_TRUE(rows.isNull(1, 1));
        QFile log(trace);
        ASSERT_TRUE(log.open(QIODevice::ReadOnly));
        EXPECT_EQ(log.readAll().count(sql.toUtf8()), c.executions);
    }
}

// Oracle compares no LOB with "=": a record whose text is a CLOB is found through
// dbms_lob.compare, also when it is longer than the 4000 bytes of a VARCHAR2, and only one of
// two equal records goes.
TEST_F(OdbcOracleStandin, ARecordWithALobIsDeletedOnceThroughDbmsLob)
{
    const QString big = QString(3000, QChar(0x416)) + QStringLiteral("'\r\n");
    const std::pair<const char*, QString> cases[] = {{"CLOB", big},
                                                     {"CLOB", QStringLiteral("коротко")},
                                                     {"NCLOB", QStringLiteral("ё")},
                                                     {"CLOB", QString()},
                                                     {"VARCHAR2(4000)", big}};
    for (const auto& [type, value] : cases) {
        SCOPED_TRACE(type);
        const QString literal =
            value.isEmpty() ? QStringLiteral("NULL")
                            : "'" + QString(value).replace(u'\'', QStringLiteral("''")) + "'";
        const QString name = standinDatabase(
            folder, QStringLiteral("DELETE"),
            {QStringLiteral("create table t(sid NUMBER, d DATE, c %1)").arg(QLatin1String(type)),
             "insert into t values (1, '2025-01-02 03:04:05', " + literal + "), (1, " +
                 "'2025-01-02 03:04:05', " + literal + "), (2, NULL, 'иное')"});
        const auto engine = openStandin(name);
        const RowSet rows = engine->query(QStringLiteral("select * from t order by sid"));
        ASSERT_EQ(QString::fromUtf8(rows.text(0, 2)), value);
        EXPECT_EQ(rows.column(2).lob, QByteArray(type).endsWith("CLOB"));
        EXPECT_EQ(errorOf([&] { engine->deleteRecord(QStringLiteral("t"), rows, 0); }),
                  "<no error>");
        const QString file = OracleStandin::folder() + u'/' + name + QStringLiteral(".sqlite");
        EXPECT_EQ(queryScalar(file, QStringLiteral("select count(*) from t where sid = 1")), 1);
        EXPECT_EQ(queryScalar(file, QStringLiteral("select count(*) from t")), 2);
    }
}

// A cancel between fetch calls finds no driver call to stop (ODBC 3.5); the fetch ends at its
// next call all the same, as a cancel, whether the cancel is the call's or the engine's own,
// and however the driver manager answers the calls after it (unixODBC: HY010).
TEST_F(OdbcOracleStandin, ACancelBetweenFetchCallsEndsTheFetchAsACancel)
{
    for (const char* type : {"VARCHAR2(100)", "CLOB"}) {
        const QString name = standinDatabase(
            folder, QStringLiteral("FETCH"),
            {QStringLiteral("create table t(k NUMBER, v %1)").arg(QLatin1String(type)),
             "with recursive c(i) as (select 1 union all select i + 1 from c where i < 10000) "
             "insert into t select i, 'запись ' || i from c"});
        for (const bool byTheCall : {true, false}) {
            SCOPED_TRACE(std::string(type) + (byTheCall ? " by the call" : " by the engine"));
            const auto engine = openStandin(name);
            std::atomic<bool> cancelled{false};
            engine->beginCall(&cancelled);
            bool once = false;
            engine->setProgressHandler([&] {
                if (std::exchange(once, true))
                    return;
                if (byTheCall)
                    cancelled = true;
                engine->cancel();
            });
            EXPECT_EQ(errorOf([&] { engine->query(QStringLiteral("select k, v from t")); }),
                      "ORA-01013: user requested cancel of current operation");
            EXPECT_LT(engine->fetchedSoFar(), 10000);
            engine->setProgressHandler({});
            engine->beginCall(nullptr);
            EXPECT_EQ(engine->query(QStringLiteral("select count(*) from t")).integer(0, 0), 10000);
        }
    }
}

// One cancel, wherever it lands: before the statement reaches the driver, before the driver
// runs it, while it runs. A SQLCancel that finds no call running does nothing, so the engine
// sends it again until the statement has ended.
TEST_F(OdbcOracleStandin, ASingleCancelStopsTheStatementWhereverItLands)
{
    const auto engine = openStandin(standinDatabase(folder, QStringLiteral("ONCE"), {}));
    const QString slow = QStringLiteral(
        "select count(*) from (with c(i) as (select 1 from dual union all select i + 1 from c "
        "where i < 3000000) select i from c)");
    for (int trial = 0; trial < 40; ++trial) {
        SCOPED_TRACE(trial);
        std::atomic<bool> cancelled{false};
        QString error;
        std::atomic<bool> done{false};
        std::thread running([&] {
            engine->beginCall(&cancelled);
            error = errorOf([&] { engine->query(slow); });
            engine->beginCall(nullptr);
            done = true;
        });
        std::this_thread::sleep_for(std::chrono::microseconds(trial * 50));
        // As Call::cancel does it: the flag first, then the engine.
        cancelled = true;
        engine->cancel();
        QElapsedTimer sinceCancel;
        sinceCancel.start();
        running.join();
        EXPECT_LT(sinceCancel.elapsed(), 500);
        EXPECT_TRUE(error.contains(QLatin1String("ORA-01013"))) << error.toStdString();
    }
}
