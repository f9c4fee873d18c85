// The Oracle path through ODBC: its pure parts against golden texts, and the engine's mechanics
// against the real unixODBC driver manager with the SQLite ODBC driver standing in for Oracle's.

#include "base/civiltime.h"
#include "base/localetext.h"
#include "common/oraclestandin.h"
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
#include <QTimeZone>

#include <gtest/gtest.h>

// The loader's list of mapped libraries serves the sanitizer builds, which are Linux-only.
#ifdef __linux__
#include <dlfcn.h>
#include <link.h>
#endif

#include <atomic>
#include <chrono>
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

class OdbcSqlite : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The SQLite 3 driver as the driver manager has it registered ("SQLite" is SQLite 2's).
        for (const QString& name : odbc::OdbcCatalog::installed().drivers)
            if (name.contains(QLatin1String("sqlite3"), Qt::CaseInsensitive))
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
            QStringLiteral(
                "delete from %1\nwhere rowid = (select rowid from %1\nwhere %2 limit 1)"),
            QStringLiteral("datetime(%1) = datetime(?)"),
            OneRecordDeleteForm::DateValue::DateTime,
            80,
            {}};
        return o;
    }
    std::unique_ptr<OdbcEngine> open(const QString& path) const
    {
        auto engine = std::make_unique<OdbcEngine>(options(path));
        keepDriverMapped();
        return engine;
    }

    // What the driver manager loaded for a connection (the driver) stays mapped until the
    // process ends. LeakSanitizer reports at exit, after unixODBC has unloaded the driver: a
    // leak inside the driver would show only "<unknown module>" frames, which no suppression
    // can tell from a leak of ours. Mapped, its frames name the driver's library, and only
    // that library is suppressed (tests/sanitizers/lsan.supp).
    void keepDriverMapped() const
    {
        for (const std::string& path : loadedObjects())
            if (!loadedBefore.contains(path)) {
#ifdef __linux__
                dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
#endif
            }
    }

    const std::set<std::string> loadedBefore = loadedObjects();

    TempFolder folder;
    QString driver;
};

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

TEST_F(OdbcSqlite, TextNumbersDatesAndNullsMakeTheRoundTripExactForThousandsOfRows)
{
    // A time that the local zone skips must not move: the snapshot holds wall-clock times.
    const EnvRestorer zone{"TZ"};
    qputenv("TZ", "Europe/Berlin");
    const QString path = makeDatabase(
        folder, "values.sqlite",
        {"create table t(k INTEGER, n NUMERIC, r REAL, s VARCHAR(40), ts TIMESTAMP, d DATE)",
         "insert into t values (1, null, null, null, null, null), "
         "(2, 123456789012345678, 0.1, '', '2024-03-05 10:11:12', '2024-03-05'), "
         "(3, 9007199254740993, 1.5, 'x', '1999-12-31 23:59:59.750', '1999-12-31'), "
         "(4, -987654321098765432, null, 'Привет, мир! Ёё', '2024-03-31 02:30:15', '2024-03-31'), "
         "(5, 12.5, null, null, '1901-02-03 04:05:06', '1901-02-03')",
         // Thousands more, past any fetch batch.
         "insert into t with recursive c(i) as (select 1 union all select i + 1 from c where "
         "i < 12345) select 5 + i, i, null, 'row ' || i, datetime('2024-01-01', '+' || i || "
         "' minutes'), null from c"});
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
    EXPECT_EQ(queryScalar(path, "select count(*) from t where s = '" + written + "'"), 1);
}

// A driver that under-reports a width (SQLite keeps any length in a VARCHAR(10)) or reports
// none (TEXT) still hands over every value whole: read again, or at once, in pieces, whose
// seams may fall inside a character.
TEST_F(OdbcSqlite, ValuesLongerThanTheirColumnSaysComeWhole)
{
    // The emoji straddles the first seam: 4095 UTF-16 units fit in a piece.
    const QString longText = QString(4094, QChar(0x416)) + QString::fromUtf8("😀") +
                             QString(9000, QLatin1Char('x')) + QStringLiteral("конец");
    const QString path = makeDatabase(
        folder, "long.sqlite",
        {"create table t(k INTEGER, v VARCHAR(10), w TEXT)",
         "insert into t values (1, 'short', 'ok'), (2, '" + longText + "', '" + longText + "')"});
    const RowSet rows = open(path)->query(QStringLiteral("select k, v, w from t order by k"));
    ASSERT_EQ(rows.rowCount(), 2u);
    const QByteArray utf8 = longText.toUtf8();
    for (int col : {1, 2})
        EXPECT_EQ(rows.text(1, col), std::string_view(utf8.constData(), size_t(utf8.size())))
            << col;
    EXPECT_EQ(rows.text(0, 1), "short");
    EXPECT_EQ(rows.integer(1, 0), 2);
}

// Cancel reaches another vendor's driver through SQLCancel on the running statement's handle.
TEST_F(OdbcSqlite, ACancelStopsASlowStatementThroughSQLCancel)
{
    auto engine = open(makeDatabase(folder, "slow.sqlite", {"create table t(a INTEGER)"}));
    QString error;
    std::atomic<bool> done{false};
    std::thread running([&] {
        error = errorOf([&] {
            engine->query(QStringLiteral("with recursive c(i) as (select 1 union all select i + "
                                         "1 from c where i < 1000000000) select count(*) from c"));
        });
        done = true;
    });
    const auto start = std::chrono::steady_clock::now();
    while (!done) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        engine->cancel();
    }
    running.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(error.contains(QLatin1String("interrupt"), Qt::CaseInsensitive))
        << error.toStdString();
    EXPECT_EQ(engine->query(QStringLiteral("select count(*) from t")).integer(0, 0), 0);
}

TEST_F(OdbcSqlite, EnginesOwnTheirConnectionsAndErrorsCarryTheDatabasesWords)
{
    static QStringList warnings;
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& message) { warnings << message; });
    const QString path = makeDatabase(folder, "errors.sqlite",
                                      {"create table t(a INTEGER)", "insert into t values (1)"});
    auto engine = open(path);
    auto other = open(path);
    const RowSet rows = other->query(QStringLiteral("select a from t"));
    other.reset(); // its handles go, the other engine's stay
    EXPECT_EQ(engine->query(QStringLiteral("select a from t")).rowCount(), 1u);

    OdbcEngine::Options noDriver = options(path);
    noDriver.login.driver = QStringLiteral("Varnel No Such Driver");
    const std::pair<std::function<void()>, const char*> cases[] = {
        {[&] { engine->query(QStringLiteral("select * from nosuch")); },
         "[SQLite]no such table: nosuch (1)"},
        {[&] { engine->execute(QStringLiteral("create table t(b INTEGER)")); },
         "[SQLite]table t already exists (1)"},
        {[&] { engine->query(QStringLiteral("selec 1")); },
         "[SQLite]near \"selec\": syntax error (1)"},
        {[&] { OdbcEngine broken(noDriver); },
         "[unixODBC][Driver Manager]Can't open lib 'Varnel No Such Driver' : file not found"},
    };
    for (const auto& [action, expected] : cases)
        EXPECT_EQ(errorOf(action), QString::fromUtf8(expected));
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

TEST_F(OdbcSqlite, CurrentRecordIsDeletedOnceThroughTheGateway)
{
    const QString row =
        "(1, '2024-03-05 10:11:12', null, '" + QString(150, QChar(0x0416)) + " конец', 12.5)";
    const QString path =
        makeDatabase(folder, "delete.sqlite",
                     {"create table LOGS(sid NUMERIC, ddate TIMESTAMP, stable VARCHAR(50), "
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

    const QString twins = QStringLiteral("select count(*) from LOGS where ddate like '%:12'");
    for (const long long left : {1, 0}) {
        main.deleteCurrent(data.currentLogTable());
        EXPECT_EQ(queryScalar(path, twins), left);
    }
    main.setCurrentRow(1);
    main.deleteCurrent(data.currentLogTable());
    EXPECT_EQ(queryScalar(path, QStringLiteral("select count(*) from LOGS where sid = 2")), 0);

    // Gone behind the grid's back: ADO's words.
    queryScalar(path, QStringLiteral("delete from LOGS"));
    EXPECT_EQ(errorOf([&] { main.deleteCurrent(data.currentLogTable()); }),
              QStringLiteral("Row cannot be located for updating. Some values may have been "
                             "changed since it was last read."));
}

TEST_F(OdbcSqlite, DeletingOneRecordDeletesAtMostOneOnBothEnginesWhateverTheTableNameHolds)
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
    for (const bool throughOdbc : {false, true}) {
        for (const auto& [name, deletes] : names) {
            SCOPED_TRACE((throughOdbc ? "ODBC: " : "embedded: ") + name.toStdString());
            const QString path =
                makeDatabase(folder, QStringLiteral("d%1.sqlite").arg(++made), fill);
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
            EXPECT_EQ(queryScalar(path, QStringLiteral("select count(*) from LOG_TABLE")),
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

// A statement stopped from another thread fails with Oracle's words and leaves the
// connection usable; the database lost under an open connection fails every statement.
TEST(OdbcOracle, ACancelFromAnotherThreadStopsTheStatementAndALostDatabaseFailsEveryOne)
{
    QString why;
    if (!OracleStandin::available(&why))
        GTEST_SKIP() << why.toStdString();
    TempFolder folder;
    const QString file = OracleStandin::place(makeDemoDatabase(folder, 20), "CANCEL");
    const auto engine =
        odbc::openOracle(parseConnectionString(buildConnectionString("tiger", "scott", "CANCEL")),
                         LocaleText::current(), odbc::OdbcCatalog::installed());
    auto& oracle = dynamic_cast<OdbcEngine&>(*engine);
    EXPECT_TRUE(oracle.isOracle());

    QString error;
    std::atomic<bool> done{false};
    std::thread running([&] {
        error = errorOf([&] {
            oracle.query(QStringLiteral(
                "select count(*) from (with recursive c(i) as (select 1 union all select i + 1 "
                "from c where i < 1000000000) select i from c)"));
        });
        done = true;
    });
    while (!done) { // a cancel before the statement starts cancels nothing
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        oracle.cancel();
    }
    running.join();
    EXPECT_EQ(error, "[Oracle][ODBC][Ora]ORA-01013: user requested cancel of current operation");
    EXPECT_EQ(engine->query("select count(*) from LOG_TABLE").integer(0, 0), 20);

    QFile::rename(file, file + ".gone");
    const std::function<void()> statements[] = {
        [&] { engine->query(QStringLiteral("select * from LOG_TABLE")); },
        [&] {
            engine->execute(QStringLiteral("delete LOG_TABLE"));
        }};
    for (const auto& statement : statements) {
        const QString failure = errorOf(statement);
        EXPECT_TRUE(failure.startsWith("[Oracle][ODBC][Ora]")) << failure.toStdString();
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
