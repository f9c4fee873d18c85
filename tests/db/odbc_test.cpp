// The Oracle path through ODBC: its pure parts against golden texts, and the engine's mechanics
// against the real unixODBC driver manager with the SQLite ODBC driver standing in for Oracle's.

#include "common/testsupport.h"
#include "db/civiltime.h"
#include "db/connection.h"
#include "db/connectionstring.h"
#include "db/datamodulebase.h"
#include "db/dberror.h"
#include "db/localetext.h"
#include "db/odbc/odbcengine.h"
#include "db/odbc/odbclogin.h"
#include "db/odbc/oraclesession.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>

#include <gtest/gtest.h>

#include <sqlite3.h>

using namespace varnel;
using namespace varnel::test;
using odbc::OdbcEngine;

namespace {

// The first value of a statement run straight on the file, or -1 when there is none.
long long scalar(const QString& path, const QByteArray& sql)
{
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr);
    long long value = -1;
    if (sqlite3_step(st) == SQLITE_ROW)
        value = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return value;
}

QString text(const RowSet& rows, uint32_t row, int col)
{
    const std::string_view utf8 = rows.text(row, col);
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~ScopedEnv() { m_had ? qputenv(m_name, m_old) : qunsetenv(m_name); }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

class OdbcSqlite : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The SQLite 3 driver as the driver manager has it registered ("SQLite" is SQLite 2's).
        for (const QString& name : odbc::OdbcCatalog::installed().drivers)
            if (name.compare(QLatin1String("SQLite3"), Qt::CaseInsensitive) == 0 ||
                (driver.isEmpty() && name.contains(QLatin1String("sqlite3"), Qt::CaseInsensitive)))
                driver = name;
        if (driver.isEmpty())
            GTEST_SKIP() << "No SQLite 3 ODBC driver is registered with the ODBC driver manager "
                            "(Debian: libsqliteodbc, which scripts/install-deps installs)";
    }

    OdbcEngine::Options options(const QString& path) const
    {
        OdbcEngine::Options o;
        o.login.driver = driver;
        o.login.attributes = {{QStringLiteral("Database"), path}};
        // No rownum in SQLite, and its driver binds a date-time as text with milliseconds.
        o.oneRecordDelete = {
            QStringLiteral("delete from %1\nwhere rowid = (select rowid from %1 where %2 limit 1)"),
            QStringLiteral("datetime(%1) = datetime(?)")};
        return o;
    }
    std::unique_ptr<OdbcEngine> open(const QString& path) const
    {
        return std::make_unique<OdbcEngine>(options(path));
    }
    QString database(const char* name, const QStringList& statements)
    {
        return makeDatabase(folder, QString::fromUtf8(name), statements);
    }

    TempFolder folder;
    QString driver;
};

} // namespace

// ---- connection strings, the choice of driver, the session ----

TEST(OdbcLogin, ValuesThatWouldBreakTheStringAreBracedAndTheRestStandsAsTyped)
{
    const QString d = QStringLiteral("DRIVER={Oracle in instantclient_21_12};DBQ=");
    const struct {
        QString dsn, dbq, user, password, expected;
    } cases[] = {
        {"", "ORCL", "scott", "tiger", d + "ORCL;UID=scott;PWD=tiger"},
        {"", "ORCL", "scott", "sec;ret", d + "ORCL;UID=scott;PWD={sec;ret}"},
        {"", "ORCL", "a=b", "{x}", d + "ORCL;UID={a=b};PWD={{x}}}"},
        {"", "ORCL", "scott", ";PWD=x}", d + "ORCL;UID=scott;PWD={;PWD=x}}}"},
        {"", "(DESCRIPTION=(ADDRESS=(HOST=h)))", "u", "p",
         d + "{(DESCRIPTION=(ADDRESS=(HOST=h)))};UID=u;PWD=p"},
        {"", "db:1521/srv", "Пётр", "пароль 1", d + "db:1521/srv;UID=Пётр;PWD=пароль 1"},
        {"", "ORCL", "", "", d + "ORCL"},
        {"ORCL", "", "scott", "p;w", "DSN=ORCL;UID=scott;PWD={p;w}"},
    };
    for (const auto& c : cases) {
        odbc::OdbcLogin login{c.dsn, {}, {}, c.user, c.password};
        if (c.dsn.isEmpty()) {
            login.driver = QStringLiteral("Oracle in instantclient_21_12");
            login.attributes = {{QStringLiteral("DBQ"), c.dbq}};
        }
        EXPECT_EQ(login.connectString(), c.expected);
    }
}

TEST(OdbcLogin, ADataSourceOfThatNameWinsThenTheFirstOracleDriver)
{
    const struct {
        QStringList drivers, dataSources;
        QString dsn, driver; // both empty: no way to Oracle
    } cases[] = {
        {{"SQLite3", "Oracle in instantclient_21_12", "Oracle 19 ODBC driver"},
         {},
         "",
         "Oracle in instantclient_21_12"},
        {{"Microsoft ODBC for Oracle", "ORACLE_ODBC_19"}, {"Other"}, "", "ORACLE_ODBC_19"},
        {{"Oracle in instantclient_21_12"}, {"Other", "orcl"}, "orcl", ""},
        {{"SQLite3", "Microsoft ODBC for Oracle"}, {"Other"}, "", ""},
    };
    ConnectionParams params;
    params.dataSource = QStringLiteral("ORCL");
    params.user = QStringLiteral("scott");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.drivers.join(QLatin1Char('|')).toStdString());
        const odbc::OdbcCatalog catalog{c.drivers, c.dataSources};
        if (c.dsn.isEmpty() && c.driver.isEmpty()) {
            EXPECT_THROW(odbc::oracleLogin(params, catalog), DbError);
            continue;
        }
        const odbc::OdbcLogin login = odbc::oracleLogin(params, catalog);
        EXPECT_EQ(login.dsn, c.dsn);
        EXPECT_EQ(login.driver, c.driver);
        if (!c.driver.isEmpty()) {
            EXPECT_EQ(login.connectString(), "DRIVER={" + c.driver + "};DBQ=ORCL;UID=scott");
        }
    }
}

TEST(OdbcLogin, WithoutAnOracleDriverTheConnectionSaysWhatToInstall)
{
    // Through the gateway, as the login dialog meets it. A machine that does have Oracle's
    // driver would try to reach the service instead.
    const QString service = QStringLiteral("VARNEL_NO_SUCH_SERVICE");
    const odbc::OdbcCatalog installed = odbc::OdbcCatalog::installed();
    if (!odbc::oracleDriver(installed.drivers).isEmpty() ||
        installed.dataSources.contains(service, Qt::CaseInsensitive))
        GTEST_SKIP() << "An Oracle ODBC driver is installed here";

    Connection connection;
    const QString message = errorOf([&] {
        connection.connect(
            buildConnectionString(QStringLiteral("pw"), QStringLiteral("u"), service));
    });
    EXPECT_FALSE(connection.connected());
    for (const char* part :
         {"Не найден драйвер ODBC для Oracle", "«Oracle»", "«VARNEL_NO_SUCH_SERVICE»",
          "Oracle Instant Client", "пакетом ODBC", "unixODBC", "odbcinst", "источник данных ODBC"})
        EXPECT_TRUE(message.contains(QString::fromUtf8(part))) << part;
    // A message box shows it under its own first line: a few lines at most.
    EXPECT_LE(message.count(QLatin1Char('\n')), 2);
}

TEST(OracleSession, ShortDateFormatsInOraclesNotation)
{
    const std::pair<QString, QString> cases[] = {
        {"dd.MM.yyyy", "DD.MM.YYYY"},
        {"M/d/yy", "MM/DD/RR"},
        {"dd-MMM-yy", "DD-MON-RR"},
        {"dddd, d MMMM yyyy", "DAY, DD MONTH YYYY"},
        {"ddd yy. M. d.", "DY RR. MM. DD."},
        {"d.MM.yy 'г'.", "DD.MM.RR \"г\"."},
        {"yyyy年M月d日", "YYYY\"年\"MM\"月\"DD\"日\""},
        {"dd''MM 'it''s'", "DD\"'\"MM \"it's\""},
    };
    for (const auto& [qt, oracle] : cases)
        EXPECT_EQ(odbc::oracleDateFormat(qt), oracle) << qt.toStdString();
    const std::pair<const char*, const char*> locales[] = {{"ru_RU", "DD.MM.YYYY"},
                                                           {"en_US", "MM/DD/RR"},
                                                           {"de_DE", "DD.MM.RR"},
                                                           {"hu_HU", "YYYY. MM. DD."}};
    for (const auto& [name, oracle] : locales)
        EXPECT_EQ(
            odbc::oracleDateFormat(QLocale(QLatin1String(name)).dateFormat(QLocale::ShortFormat)),
            QLatin1String(oracle))
            << name;
}

TEST(OracleSession, StatementsSetTheFormatAndTheLanguageOnlyWhenNamesAreWritten)
{
    const QString f = QStringLiteral("alter session set NLS_DATE_FORMAT = ");
    const QString l = QStringLiteral("alter session set NLS_DATE_LANGUAGE = ");
    const struct {
        QString format;
        const char* locale;
        QStringList expected;
    } cases[] = {
        {"dd.MM.yyyy", "ru_RU", {f + "'DD.MM.YYYY'"}},
        {"dd-MMM-yy", "en_US", {l + "'AMERICAN'", f + "'DD-MON-RR'"}},
        {"dd-MMM-yy", "ru_RU", {l + "'RUSSIAN'", f + "'DD-MON-RR'"}},
        {"dd MMM yyyy", "pt_BR", {l + "'BRAZILIAN PORTUGUESE'", f + "'DD MON YYYY'"}},
        // A language without an Oracle name here leaves the session's language alone.
        {"dd MMM yyyy", "sw_KE", {f + "'DD MON YYYY'"}},
        // The format travels inside a quoted literal: its apostrophes are doubled.
        {"dd''MM", "ru_RU", {f + "'DD\"''\"MM'"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(odbc::oracleSessionStatements(c.format, QLocale(QLatin1String(c.locale))),
                  c.expected)
            << c.format.toStdString() << " " << c.locale;
}

// ---- numbers and the deletion of one record ----

TEST(OdbcNumbers, DriverNumberTextsBecomePlainDecimals)
{
    const std::pair<const char*, const char*> cases[] = {
        {" -42 ", "-42"},
        {"+7", "7"},
        {"12,50", "12.5"},
        {"-.5", "-0.5"},
        {"007.", "7"},
        {"-0.000", "0"},
        {"123456789012345678901234567890", "123456789012345678901234567890"},
        {"-1.23456789012346E+22", "-12345678901234600000000"},
        {"2.5e-3", "0.0025"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(odbc::plainDecimal(in).value_or("<none>"), out) << in;
    for (const char* bad :
         {"", "-", ".", "1.2.3", "12a", "e5", "1e", "NaN", "1 2", "1e999", "1;drop table t"})
        EXPECT_FALSE(odbc::plainDecimal(bad).has_value()) << bad;
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
    const RowSet rows = builder.finish();

    const odbc::BoundStatement statement =
        odbc::deleteStatement(QStringLiteral("LOG_TABLE --"), rows, 0);
    EXPECT_EQ(statement.sql,
              QStringLiteral("delete from LOG_TABLE --\nwhere \"SID\" = 123456789012345678 and "
                             "\"DDATE\" = ? and \"STABLE\" is null and \"SCHANGES\" = ? || ? and "
                             "\"AMOUNT\" = -12.5 and \"Odd\"\"Name\" is null and rownum = 1"));
    ASSERT_EQ(statement.values.size(), 3);
    EXPECT_EQ(statement.values[0].toDateTime().date(), QDate(2024, 3, 5));
    EXPECT_EQ(statement.values[0].toDateTime().time(), QTime(10, 11, 12));
    // The emoji's two halves stay together in the second piece.
    EXPECT_EQ(statement.values[1].toString(), changes.left(79));
    EXPECT_EQ(statement.values[2].toString(), changes.mid(79));

    RowSet::Builder forged; // a "number" that would bring SQL of its own into the statement
    forged.addColumn(QStringLiteral("SID"), ColumnType::Number);
    forged.addDecimal(0, "1 or 1=1");
    forged.endRow();
    EXPECT_THROW(odbc::deleteStatement(QStringLiteral("T"), forged.finish(), 0), DbError);
}

TEST(OdbcEngine, ANameThatQtWouldTakeForAFileDataSourceIsRefused)
{
    OdbcEngine::Options o;
    o.login.driver = QStringLiteral("Oracle in instantclient_21_12");
    o.login.attributes = {{QStringLiteral("DBQ"), QStringLiteral("db.dsnet.example:1521/orcl")}};
    EXPECT_TRUE(errorOf([&] { OdbcEngine engine(o); }).contains(QStringLiteral("«.dsn»")));
}

// ---- the engine on the SQLite ODBC driver ----

TEST_F(OdbcSqlite, EveryRowOfAThousandsRowTableIsFetched)
{
    const QString path = database(
        "many.sqlite",
        {"create table t(n NUMERIC, s VARCHAR(40), d TIMESTAMP)",
         "insert into t with recursive c(i) as (select 1 union all select i + 1 from c where "
         "i < 12345) select i, 'row ' || i, datetime('2024-01-01', '+' || i || ' minutes') from "
         "c"});
    const RowSet rows = open(path)->query(QStringLiteral("select n, s, d from t order by n"));
    ASSERT_EQ(rows.rowCount(), 12345u);
    EXPECT_EQ(rows.column(1).declaredSize, 40);
    long long sum = 0;
    for (uint32_t r = 0; r < rows.rowCount(); ++r)
        sum += rows.integer(r, 0);
    EXPECT_EQ(sum, 12345LL * 12346 / 2);
    EXPECT_EQ(text(rows, 12344, 1), QStringLiteral("row 12345"));
    EXPECT_EQ(rows.dateSeconds(12344, 2), civil::toSeconds(2024, 1, 9, 13, 45, 0));
}

TEST_F(OdbcSqlite, NullsOfEveryTypeStayNullAndNumbersKeepEveryDigit)
{
    const QString path = database(
        "values.sqlite",
        {"create table t(k INTEGER, n NUMERIC, r REAL, s VARCHAR(10), d TIMESTAMP, dd DATE)",
         "insert into t values (1, null, null, null, null, null)",
         "insert into t values (2, 123456789012345678, 0.1, '', '2024-01-02 03:04:05', null)",
         "insert into t values (3, 9007199254740993, 1.5, 'x', null, '2024-01-02')",
         "insert into t values (4, -987654321098765432, null, null, null, null)",
         "insert into t values (5, 12.5, null, null, null, null)"});
    const RowSet rows = open(path)->query(QStringLiteral("select * from t order by k"));
    ASSERT_EQ(rows.rowCount(), 5u);
    const ColumnType types[] = {ColumnType::Number, ColumnType::Number, ColumnType::Number,
                                ColumnType::Text,   ColumnType::Date,   ColumnType::Date};
    const char* nulls[] = {"011111", "000101", "000010", "001111", "001111"}; // '' is NULL
    for (int col = 0; col < 6; ++col) {
        EXPECT_EQ(rows.column(col).type, types[col]) << col;
        for (uint32_t row = 0; row < 5; ++row)
            EXPECT_EQ(rows.isNull(row, col), nulls[row][col] == '1') << row << "," << col;
    }
    EXPECT_EQ(rows.integer(1, 1), 123456789012345678);
    EXPECT_EQ(rows.integer(2, 1), 9007199254740993);
    EXPECT_EQ(rows.integer(3, 1), -987654321098765432);
    EXPECT_EQ(rows.decimal(4, 1), "12.5");
    EXPECT_EQ(rows.decimal(1, 2), "0.1");
    EXPECT_EQ(text(rows, 2, 3), QStringLiteral("x"));
}

TEST_F(OdbcSqlite, DateTimesKeepTheirWallClockAndABareDateIsMidnight)
{
    // A time that the local zone skips must not move: the snapshot holds wall-clock times.
    const ScopedEnv zone("TZ", "Europe/Berlin");
    const std::pair<const char*, int64_t> cases[] = {
        {"2024-03-05 10:11:12", civil::toSeconds(2024, 3, 5, 10, 11, 12)},
        {"1999-12-31 23:59:59.750", civil::toSeconds(1999, 12, 31, 23, 59, 59)},
        {"2024-03-31 02:30:15", civil::toSeconds(2024, 3, 31, 2, 30, 15)},
        {"1901-02-03 04:05:06", civil::toSeconds(1901, 2, 3, 4, 5, 6)},
    };
    QStringList statements{QStringLiteral("create table t(k INTEGER, ts TIMESTAMP, d DATE)")};
    for (const auto& [stored, seconds] : cases)
        statements << QStringLiteral("insert into t values (%1, '%2', '%3')")
                          .arg(statements.size())
                          .arg(QLatin1String(stored), QLatin1String(stored).left(10));
    const RowSet rows = open(database("dates.sqlite", statements))
                            ->query(QStringLiteral("select ts, d from t order by k"));
    ASSERT_EQ(rows.rowCount(), std::size(cases));
    for (uint32_t r = 0; r < rows.rowCount(); ++r) {
        EXPECT_EQ(rows.dateSeconds(r, 0), cases[r].second) << cases[r].first;
        EXPECT_EQ(rows.dateSeconds(r, 1), civil::dayOf(cases[r].second) * civil::kSecondsPerDay);
    }
}

TEST_F(OdbcSqlite, CyrillicTextMakesTheRoundTripUnchanged)
{
    // The SQLite driver itself garbles characters beyond the BMP in statement texts; Oracle's
    // does not, and the deletion's pieces keep surrogate pairs whole (above).
    const QString path = database("text.sqlite", {"create table t(k INTEGER, s VARCHAR(100))",
                                                  "insert into t values (1, 'Привет, мир! Ёё')"});
    const QString written = QStringLiteral("Изменение таблицы «ЖУРНАЛ» — ёЁ ґ");
    {
        auto engine = open(path);
        engine->execute(QStringLiteral("insert into t values (2, '%1')").arg(written));
        const RowSet rows = engine->query(QStringLiteral("select s from t order by k"));
        ASSERT_EQ(rows.rowCount(), 2u);
        EXPECT_EQ(text(rows, 0, 0), QStringLiteral("Привет, мир! Ёё"));
        EXPECT_EQ(text(rows, 1, 0), written);
    }
    // Stored as the same UTF-8 that SQLite itself writes.
    EXPECT_EQ(scalar(path, "select count(*) from t where k = 2 and s = '" + written.toUtf8() + "'"),
              1);
}

TEST_F(OdbcSqlite, TheDatabasesMessageReachesTheCallerUnchanged)
{
    auto engine = open(database("errors.sqlite", {"create table t(a INTEGER)"}));
    const std::pair<std::function<void()>, const char*> cases[] = {
        {[&] { engine->query(QStringLiteral("select * from nosuch")); },
         "[SQLite]no such table: nosuch (1)"},
        {[&] { engine->execute(QStringLiteral("create table t(b INTEGER)")); },
         "[SQLite]table t already exists (1)"},
        {[&] { engine->query(QStringLiteral("selec 1")); },
         "[SQLite]near \"selec\": syntax error (1)"},
    };
    for (const auto& [action, expected] : cases)
        EXPECT_EQ(errorOf(action), QString::fromUtf8(expected));

    OdbcEngine::Options noDriver = options(folder.path(QStringLiteral("none.sqlite")));
    noDriver.login.driver = QStringLiteral("Varnel No Such Driver");
    const QString message = errorOf([&] { OdbcEngine broken(noDriver); });
    EXPECT_TRUE(message.startsWith(QLatin1String("[unixODBC][Driver Manager]")))
        << message.toStdString();
}

TEST_F(OdbcSqlite, ThePasswordReachesTheDriverManagerWhole)
{
    // The driver manager's trace shows the connection string as it arrived from Qt. It masks
    // the password up to its first ";", so the rest must show what followed it.
    const QString trace = folder.path(QStringLiteral("odbc.trace"));
    OdbcEngine::Options o = options(database("login.sqlite", {"create table t(a INTEGER)"}));
    o.login.user = QStringLiteral("te;st}er");
    o.login.password = QStringLiteral("sec;r}et=1");
    o.connectOptions = "SQL_ATTR_TRACE=SQL_OPT_TRACE_ON;SQL_ATTR_TRACEFILE=" + trace;
    {
        const OdbcEngine traced(o);
    }
    o.connectOptions = QStringLiteral("SQL_ATTR_TRACE=SQL_OPT_TRACE_OFF");
    {
        OdbcEngine untraced(o); // later connections of this process trace no more
        const qint64 size = QFileInfo(trace).size();
        untraced.query(QStringLiteral("select a from t"));
        EXPECT_EQ(QFileInfo(trace).size(), size);
    }

    QFile file(trace);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString log = QString::fromUtf8(file.readAll());
    const qsizetype begin = log.indexOf(QLatin1String("Str In = [")) + 10;
    ASSERT_GE(begin, 10);
    const QString arrived = log.mid(begin, log.indexOf(QLatin1String("][length"), begin) - begin);
    const QString sent = o.login.connectString();
    ASSERT_TRUE(sent.endsWith(QLatin1String(";UID={te;st}}er};PWD={sec;r}}et=1}")));
    EXPECT_TRUE(arrived.startsWith(sent.left(sent.indexOf(QLatin1String("PWD=")) + 4)))
        << arrived.toStdString();
    EXPECT_TRUE(arrived.endsWith(QLatin1String(";r}}et=1}"))) << arrived.toStdString();
}

TEST_F(OdbcSqlite, ALostConnectionFailsTheNextStatementWithAnError)
{
    ASSERT_TRUE(QDir().mkpath(folder.path(QStringLiteral("sub"))));
    auto engine = open(
        database("sub/lost.sqlite", {"create table t(a INTEGER)", "insert into t values (1)"}));
    const RowSet rows = engine->query(QStringLiteral("select a from t"));
    ASSERT_EQ(rows.rowCount(), 1u);

    // The database's folder vanishes: the next write cannot reach it.
    ASSERT_TRUE(QDir(folder.path(QStringLiteral("sub"))).removeRecursively());
    const QString lost =
        errorOf([&] { engine->execute(QStringLiteral("insert into t values (2)")); });
    EXPECT_TRUE(lost.startsWith(QLatin1String("[SQLite]"))) << lost.toStdString();

    // The connection closed underneath the engine: every operation fails, none returns empty.
    QSqlDatabase::database(engine->connectionName(), false).close();
    const QString closed = QStringLiteral("Operation is not allowed when the object is closed.");
    EXPECT_EQ(errorOf([&] { engine->query(QStringLiteral("select a from t")); }), closed);
    EXPECT_EQ(errorOf([&] { engine->execute(QStringLiteral("delete from t")); }), closed);
    EXPECT_EQ(errorOf([&] { engine->deleteRecord(QStringLiteral("t"), rows, 0); }), closed);
}

TEST_F(OdbcSqlite, CurrentRecordIsDeletedOnceThroughTheGateway)
{
    const QString longText = QString(150, QChar(0x0416)) + QStringLiteral(" конец");
    const QString row = "(1, '2024-03-05 10:11:12', null, '" + longText + "', 12.5)";
    const QString path =
        database("delete.sqlite",
                 {"create table LOGS(sid NUMERIC, ddate TIMESTAMP, stable VARCHAR(50), "
                  "schanges VARCHAR(4000), amount NUMERIC)",
                  // Two identical records, one that differs only in its second, one with NULLs.
                  "insert into LOGS values " + row + ", " + row + ", " +
                      QString(row).replace(QLatin1String(":12'"), QLatin1String(":13'")) +
                      ", (2, null, 'T', null, null)"});
    TDataModuleBase data([&](const QString&) -> std::unique_ptr<Engine> { return open(path); });
    data.ADOConnectionBase().connect(localConnectionString(QStringLiteral("ignored")));
    data.setCurrentLogTable(QStringLiteral("LOGS"));
    StatementSlot& main = data.ADOQueryMain();
    main.setText(QStringLiteral("select * from LOGS order by sid, ddate"));
    main.open();
    ASSERT_EQ(main.recordCount(), 4);

    main.deleteCurrent(); // one of the twins
    EXPECT_EQ(scalar(path, "select count(*) from LOGS where ddate = '2024-03-05 10:11:12'"), 1);
    main.deleteCurrent(); // the other
    EXPECT_EQ(scalar(path, "select count(*) from LOGS where ddate = '2024-03-05 10:11:12'"), 0);
    main.setCurrentRow(1);
    main.deleteCurrent();
    EXPECT_EQ(scalar(path, "select count(*) from LOGS where sid = 2"), 0);

    // Gone behind the grid's back: ADO's words.
    scalar(path, "delete from LOGS");
    EXPECT_EQ(errorOf([&] { main.deleteCurrent(); }),
              QStringLiteral("Row cannot be located for updating. Some values may have been "
                             "changed since it was last read."));
}

TEST_F(OdbcSqlite, EachEngineHasItsOwnConnectionAndRemovesIt)
{
    const QString path = database("names.sqlite", {"create table t(a INTEGER)"});
    static QStringList warnings;
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& message) { warnings << message; });
    auto a = open(path);
    auto b = open(path);
    const QString name = b->connectionName();
    EXPECT_NE(name, a->connectionName());
    b->query(QStringLiteral("select a from t"));
    b.reset();
    EXPECT_FALSE(QSqlDatabase::contains(name));
    EXPECT_EQ(a->query(QStringLiteral("select count(*) from t")).rowCount(), 1u);

    // A failed connection leaves nothing behind either.
    OdbcEngine::Options broken = options(path);
    broken.login.driver = QStringLiteral("Varnel No Such Driver");
    const QStringList before = QSqlDatabase::connectionNames();
    EXPECT_THROW(OdbcEngine{broken}, DbError);
    EXPECT_EQ(QSqlDatabase::connectionNames(), before);
    qInstallMessageHandler(previous);
    for (const QString& warning : warnings)
        EXPECT_FALSE(warning.contains(QLatin1String("still in use"))) << warning.toStdString();
}

TEST_F(OdbcSqlite, ADataSourceOfTheDatabasesNameIsUsed)
{
    // A user's data source file, read by the driver manager at each lookup.
    const QString path =
        database("dsn;{x}.sqlite", {"create table t(a INTEGER)", "insert into t values (7)"});
    const QString ini = folder.path(QStringLiteral("odbc.ini"));
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(("[VarnelOdbcTest]\nDriver=" + driver + "\nDatabase=" + path + "\n").toUtf8());
    file.close();
    const ScopedEnv userIni("ODBCINI", ini.toLocal8Bit());

    ConnectionParams params;
    params.dataSource = QStringLiteral("varnelodbctest");
    params.password = QStringLiteral("ti;ger");
    // The session statements are Oracle's: a database that is not Oracle skips them.
    auto engine = odbc::openOracle(params, LocaleText(QLocale(QLocale::Russian, QLocale::Russia)),
                                   odbc::OdbcCatalog::installed());
    const RowSet rows = engine->query(QStringLiteral("select a from t"));
    ASSERT_EQ(rows.rowCount(), 1u);
    EXPECT_EQ(rows.integer(0, 0), 7);
}
