// The Oracle stand-in through the real unixODBC driver manager, called with the wide API as
// the program calls it: what a client could tell apart from Oracle's own driver.

#include "base/ansicodepage.h"
#include "base/civiltime.h"
#include "common/testsupport.h"
#include "db/embedded/sqliteengine.h"

#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sql.h>
#include <sqlext.h>

#include <thread>
#include <type_traits>

using namespace varnel;
using namespace varnel::test;

namespace {

// unixODBC reads ODBCSYSINI once per process: one folder holds the registration, a data
// source and every database of the tests.
const TempFolder& standin()
{
    static const TempFolder folder;
    static const bool registered = [] {
        const auto write = [](const char* name, const char* text) {
            QFile file(folder.path(QString::fromLatin1(name)));
            return file.open(QIODevice::WriteOnly) && file.write(text) > 0;
        };
        const QByteArray dir = QFileInfo(folder.path(QStringLiteral("x"))).absolutePath().toUtf8();
        qputenv("ODBCSYSINI", dir);
        qputenv("VARNEL_ORACLE_STANDIN_DIR", dir);
        return write("odbcinst.ini",
                     "[Oracle in Varnel stand-in]\nDriver = " VARNEL_ORACLE_STANDIN_LIBRARY
                     "\nThreading = 0\n") &&
               write("odbc.ini", "[VARNEL_DSN]\nDriver = Oracle in Varnel stand-in\nDBQ = one\n");
    }();
    EXPECT_TRUE(registered);
    return folder;
}

// The database that DBQ=`name` logs in to.
void database(const QString& name, const QStringList& statements)
{
    QFile::remove(standin().path(name + ".sqlite"));
    makeDatabase(standin(), name + ".sqlite", statements);
}

SQLWCHAR* w(std::u16string& text)
{
    return reinterpret_cast<SQLWCHAR*>(text.data());
}

// One connection and one statement, as the program keeps them.
struct Session {
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLHSTMT stmt = nullptr;
    QString completed; // the connection string that the driver gives back

    Session()
    {
        standin();
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    }
    ~Session()
    {
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    // A narrow connect keeps unixODBC from converting: the narrow calls reach the driver.
    bool connect(const QString& connectString, bool narrow = false)
    {
        std::u16string wide = connectString.toStdU16String();
        QByteArray bytes = connectString.toUtf8();
        char16_t out[256] = {};
        const SQLRETURN rc =
            narrow ? SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(bytes.data()),
                                      SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)
                   : SQLDriverConnectW(dbc, nullptr, w(wide), SQL_NTS,
                                       reinterpret_cast<SQLWCHAR*>(out), 256, nullptr,
                                       SQL_DRIVER_NOPROMPT);
        completed = QString::fromUtf16(out);
        return SQL_SUCCEEDED(rc) && SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
    }
    SQLRETURN run(const QString& sql)
    {
        SQLFreeStmt(stmt, SQL_CLOSE);
        std::u16string text = sql.toStdU16String();
        return SQLExecDirectW(stmt, w(text), SQL_NTS);
    }
    // "SQLSTATE native message" of the first diagnostic record.
    QString error(SQLSMALLINT type = SQL_HANDLE_STMT)
    {
        char16_t state[6] = {}, message[1024] = {};
        SQLINTEGER native = 0;
        SQLGetDiagRecW(type, type == SQL_HANDLE_STMT ? stmt : dbc, 1,
                       reinterpret_cast<SQLWCHAR*>(state), &native,
                       reinterpret_cast<SQLWCHAR*>(message), 1024, nullptr);
        return QString::fromUtf16(state) + ' ' + QString::number(native) + ' ' +
               QString::fromUtf16(message);
    }
    // The first column of the next row as text.
    QString next()
    {
        char16_t text[4096];
        SQLLEN indicator = 0;
        if (SQLFetch(stmt) != SQL_SUCCESS)
            return QStringLiteral("<no row>");
        SQLGetData(stmt, 1, SQL_C_WCHAR, text, sizeof text, &indicator);
        return indicator == SQL_NULL_DATA ? QStringLiteral("<null>") : QString::fromUtf16(text);
    }
    // The first value of a statement, or its error.
    QString answer(const QString& sql) { return SQL_SUCCEEDED(run(sql)) ? next() : error(); }
};

const QString kDriver = QStringLiteral("DRIVER={Oracle in Varnel stand-in};");
const QString kLogin = kDriver + "UID=scott;PWD=tiger;DBQ=";

} // namespace

TEST(OracleStandin, LoginResolvesTheDatabaseAndTakesThePasswordWhole)
{
    database(QStringLiteral("one"), {"create table t(a NUMBER)"});
    const EnvRestorer password{"VARNEL_ORACLE_STANDIN_PASSWORD"};
    qputenv("VARNEL_ORACLE_STANDIN_PASSWORD", "se;c}r=et");
    const QString ora = QStringLiteral("[Oracle][ODBC][Ora]ORA-");
    // A data source's name and a driver's together make unixODBC 2.3.11 leak the names.
    const std::pair<QString, QString> cases[] = {
        {kDriver + "DBQ=one;UID=u;PWD={se;c}}r=et}", ""},
        {"dsn=VARNEL_DSN;uid=u;pwd={se;c}}r=et};FBS=65536", ""}, // DBQ from odbc.ini
        {kDriver + "DBQ=nowhere;UID=u;PWD={se;c}}r=et}",
         "08001 12154 " + ora + "12154: TNS:could not resolve the connect identifier specified"},
        {kDriver + "DBQ=one;UID=u;PWD=",
         "08004 1005 " + ora + "01005: null password given; logon denied"},
        {kDriver + "DBQ=one;UID=u;PWD=se",
         "28000 1017 " + ora + "01017: invalid username/password; logon denied"},
        {kDriver + "DBQ=one;UID=u;PWD={se;c}r=et}", "28000 1017"}, // a lone "}" ends the value
    };
    for (const auto& [attributes, error] : cases) {
        Session s;
        EXPECT_EQ(s.connect(attributes), error.isEmpty()) << attributes.toStdString();
        EXPECT_EQ(s.completed, error.isEmpty() ? attributes : QString());
        EXPECT_TRUE(s.error(SQL_HANDLE_DBC).startsWith(error) || error.isEmpty())
            << attributes.toStdString() << ": " << s.error(SQL_HANDLE_DBC).toStdString();
    }
}

TEST(OracleStandin, SessionDateFormatReadsQuotedDatesAndWritesFetchedOnes)
{
    database(QStringLiteral("dates"),
             {"create table t(d DATE)", "insert into t values ('2025-06-01 10:20:30')"});
    const QString f = QStringLiteral("alter session set NLS_DATE_FORMAT = ");
    // The session's statements, a date text in its format, the DATE fetched as text.
    const std::tuple<QStringList, QString, QString> cases[] = {
        {{}, "01-JUN-25", "01-JUN-25"},
        {{f + "'DD.MM.YYYY'"}, "01.06.2025", "01.06.2025"},
        {{f + "'YYYY\"г.\"MM-DD'"}, "2025г.06-01", "2025г.06-01"},
        {{f + "'DD''MM''YYYY'"}, "01''06''2025", "01'06'2025"},
        {{"alter session set NLS_DATE_LANGUAGE = GERMAN", f + "'DD Month YYYY'"},
         "01 Juni 2025",
         "01 Juni      2025"}, // padded to September, as Oracle writes MONTH
    };
    for (const auto& [statements, text, fetched] : cases) {
        Session s;
        ASSERT_TRUE(s.connect(kLogin + "dates"));
        for (const QString& statement : statements)
            ASSERT_EQ(s.run(statement), SQL_SUCCESS) << s.error().toStdString();
        EXPECT_EQ(s.answer("select count(*) from t where trunc(d) = '" + text + "'"), "1");
        EXPECT_EQ(s.answer(QStringLiteral("select d from t")), fetched);
    }
}

TEST(OracleStandin, StatementsAnswerInOraclesWordsUnderEachSwitch)
{
    database(QStringLiteral("parse"), {"create table t(a NUMBER)", "insert into t values (-2.5)"});
    const char* const help = "VARNEL_ORACLE_STANDIN_HELP_LINES";
    const char* const noSynonym = "VARNEL_ORACLE_STANDIN_NO_SYNONYM";
    const EnvRestorer restoreHelp{help}, restoreNoSynonym{noSynonym};
    const QString ora = QStringLiteral("[Oracle][ODBC][Ora]ORA-");
    const QString h = QStringLiteral("\nHelp: https://docs.oracle.com/error-help/db/ora-");
    const QString noFrom = "42000 923 " + ora + "00923: FROM keyword not found where expected";
    const QString synonym = QStringLiteral("create public synonym s for t");
    // The statement, the switch that is on, its first value or its whole error.
    const std::tuple<QString, const char*, QString> cases[] = {
        {"select 1 from dual", nullptr, "1"},
        {"select a from t", nullptr, "-2.5"},
        {"select 1", nullptr, noFrom},
        {"select 'from' \"FROM\" -- from", nullptr, noFrom},
        {"select * from no_such_table", nullptr,
         "42S02 942 " + ora + "00942: table or view does not exist"},
        {"select * from no_such_table", help,
         "42S02 942 " + ora + "00942: table or view does not exist" + h + "00942/"},
        {"select 1 from t where a = ?", help,
         "HY000 1008 " + ora + "01008: not all variables bound" + h + "01008/"},
        {synonym, noSynonym, "HY000 1031 " + ora + "01031: insufficient privileges"},
        {synonym, nullptr, "<no row>"},
        {synonym, nullptr,
         "42000 955 " + ora + "00955: name is already used by an existing object"},
    };
    for (const auto& [sql, on, expected] : cases) {
        qunsetenv(help);
        qunsetenv(noSynonym);
        if (on != nullptr)
            qputenv(on, "1");
        Session s;
        ASSERT_TRUE(s.connect(kLogin + "parse"));
        EXPECT_EQ(s.answer(sql), expected) << sql.toStdString();
    }
}

// SCOTT.LOGS is the table LOGS of the user scott, however the schema is written; a public
// synonym belongs to no schema, and Oracle's parser wants FOR after its one name.
TEST(OracleStandin, TheUsersSchemaNamesItsTablesAndAPublicSynonymHasNone)
{
    database(QStringLiteral("schema"), {});
    const QString ora = QStringLiteral("[Oracle][ODBC][Ora]ORA-");
    // Run in order in one session: the statement, its first value or its error.
    const std::pair<QString, QString> steps[] = {
        {"create table SCOTT.LOGS(a NUMBER)", "<no row>"},
        {"insert into scott.logs values (1)", "<no row>"},
        {"select count(*) from \"SCOTT\".LOGS where SCOTT.LOGS.a = 1", "1"},
        {"select 'scott.logs' from dual", "scott.logs"},
        {"create public synonym SCOTT.LOGS for SCOTT.LOGS",
         "42000 905 " + ora + "00905: missing keyword"},
        {"create public synonym \"SCOTT\".LOGS for LOGS",
         "42000 905 " + ora + "00905: missing keyword"},
        {"create public synonym LOGS for SCOTT.LOGS", "<no row>"},
    };
    Session s;
    ASSERT_TRUE(s.connect(kLogin + "schema"));
    for (const auto& [sql, expected] : steps)
        EXPECT_EQ(s.answer(sql), expected) << sql.toStdString();
    // Another user's schema is not this one's.
    EXPECT_EQ(s.answer(QStringLiteral("select count(*) from HR.LOGS")),
              "42S02 942 " + ora + "00942: table or view does not exist");
}

TEST(OracleStandin, BlockFetchGivesTheEnginesOwnRowsExactly)
{
    QFile::remove(standin().path(QStringLiteral("demo-4321-7.sqlite")));
    const QString path = makeDemoDatabase(standin(), 4321, 7);
    const QString sql = "select sid, ddate, stable, saction, schanges, suser_info from LOG_TABLE";
    const RowSet rows =
        embedded::SqliteEngine(path, QStringLiteral("dd.MM.yyyy"), QLocale::c()).query(sql);
    Session s;
    ASSERT_TRUE(s.connect(kLogin + "demo-4321-7"));
    constexpr SQLULEN kBlock = 1000;
    constexpr size_t kText = 4001; // characters of a VARCHAR2(4000) and its terminator
    SQLULEN fetched = 0;
    std::vector<SQLUSMALLINT> status(kBlock);
    SQLSetStmtAttrW(s.stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(kBlock), 0);
    SQLSetStmtAttrW(s.stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    SQLSetStmtAttrW(s.stmt, SQL_ATTR_ROW_STATUS_PTR, status.data(), 0);
    ASSERT_EQ(s.run(sql), SQL_SUCCESS);
    // As the program binds them: the number as exact text, the date as a time stamp.
    std::vector<SQL_TIMESTAMP_STRUCT> dates(kBlock);
    std::vector<std::vector<char16_t>> texts(6, std::vector<char16_t>(kBlock * kText));
    std::vector<std::vector<SQLLEN>> indicators(6, std::vector<SQLLEN>(kBlock));
    const std::pair<SQLSMALLINT, SQLULEN> described[] = {
        {SQL_DOUBLE, 15},  {SQL_TYPE_TIMESTAMP, 19}, {SQL_VARCHAR, 50},
        {SQL_VARCHAR, 10}, {SQL_VARCHAR, 4000},      {SQL_VARCHAR, 100}};
    for (SQLUSMALLINT c = 1; c <= 6; ++c) {
        std::pair<SQLSMALLINT, SQLULEN> type;
        SQLDescribeColW(s.stmt, c, nullptr, 0, nullptr, &type.first, &type.second, nullptr,
                        nullptr);
        EXPECT_EQ(type, described[c - 1]) << c;
        if (c == 2)
            SQLBindCol(s.stmt, c, SQL_C_TYPE_TIMESTAMP, dates.data(), 0, indicators[1].data());
        else
            SQLBindCol(s.stmt, c, SQL_C_WCHAR, texts[c - 1].data(), kText * 2,
                       indicators[c - 1].data());
    }
    uint32_t row = 0;
    int nulls = 0, cyrillic = 0;
    SQLRETURN rc;
    while ((rc = SQLFetch(s.stmt)) == SQL_SUCCESS) {
        for (SQLULEN r = 0; r < fetched; ++r, ++row) {
            ASSERT_LT(row, rows.rowCount());
            ASSERT_EQ(status[r], SQL_ROW_SUCCESS);
            QStringList got, want;
            for (int c = 0; c < 6; ++c) {
                const SQL_TIMESTAMP_STRUCT& t = dates[r];
                got << (indicators[c][r] == SQL_NULL_DATA ? "<null>"
                        : c == 1 ? QString::number(civil::toSeconds(t.year, t.month, t.day, t.hour,
                                                                    t.minute, t.second))
                                 : QString::fromUtf16(&texts[c][r * kText], indicators[c][r] / 2));
                want << (rows.isNull(row, c) ? "<null>"
                         : c == 0            ? QString::number(rows.integer(row, c))
                         : c == 1            ? QString::number(rows.dateSeconds(row, c))
                                             : QString::fromUtf8(rows.text(row, c)));
                nulls += rows.isNull(row, c);
                cyrillic += want.back().contains(u'и');
            }
            ASSERT_EQ(got, want) << "row " << row;
        }
    }
    EXPECT_EQ(rc, SQL_NO_DATA);
    EXPECT_EQ(row, 4321u);
    EXPECT_GT(nulls, 0);
    EXPECT_GT(cyrillic, 0);
}

TEST(OracleStandin, LongTextsGoOutInPiecesThatNeverSplitACharacter)
{
    database(QStringLiteral("pieces"),
             {"create table t(s VARCHAR2(20))", "insert into t values ('аб😀вг')"});
    const EnvRestorer lang{"NLS_LANG"};
    struct Case {
        const char* nlsLang;
        SQLSMALLINT type;
        SQLLEN bytes;
        std::vector<std::pair<QString, SQLLEN>> pieces; // text, indicator
    };
    const Case cases[] = {
        {"", SQL_C_WCHAR, 8, {{"аб", 12}, {"😀в", 8}, {"г", 2}}},
        {"", SQL_C_WCHAR, 32, {{"аб😀вг", 12}}}, // all of it fits
        {"AMERICAN_AMERICA.AL32UTF8", SQL_C_CHAR, 7, {{"аб", 12}, {"😀в", 8}, {"г", 2}}},
        {"RUSSIAN_RUSSIA.CL8MSWIN1251", SQL_C_CHAR, 3, {{"аб", 5}, {"?в", 3}, {"г", 1}}},
        {"AMERICAN_AMERICA.US7ASCII", SQL_C_CHAR, 3, {{"??", 5}, {"??", 3}, {"?", 1}}},
    };
    for (const Case& c : cases) {
        qputenv("NLS_LANG", c.nlsLang);
        Session s;
        ASSERT_TRUE(s.connect(kLogin + "pieces"));
        s.run(QStringLiteral("select s from t"));
        ASSERT_EQ(SQLFetch(s.stmt), SQL_SUCCESS);
        for (size_t p = 0; p <= c.pieces.size(); ++p) {
            char buffer[32] = {};
            SQLLEN indicator = 0;
            const SQLRETURN rc = SQLGetData(s.stmt, 1, c.type, buffer, c.bytes, &indicator);
            if (p == c.pieces.size()) {
                EXPECT_EQ(rc, SQL_NO_DATA);
                break;
            }
            EXPECT_EQ(rc, p + 1 < c.pieces.size() ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS);
            const QString text = c.type == SQL_C_WCHAR
                                     ? QString::fromUtf16(reinterpret_cast<char16_t*>(buffer))
                                 : c.nlsLang[0] == 'R' ? fromAnsi(buffer)
                                                       : QString::fromUtf8(buffer);
            EXPECT_EQ(std::make_pair(text, indicator), c.pieces[p]) << c.nlsLang << " " << p;
        }
    }
    // A bound column is cut the same way, and its row says so.
    qunsetenv("NLS_LANG");
    Session s;
    ASSERT_TRUE(s.connect(kLogin + "pieces"));
    char16_t buffer[4];
    SQLLEN indicator = 0;
    SQLUSMALLINT status = 0;
    SQLSetStmtAttrW(s.stmt, SQL_ATTR_ROW_STATUS_PTR, &status, 0);
    s.run(QStringLiteral("select s from t"));
    SQLBindCol(s.stmt, 1, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
    EXPECT_EQ(SQLFetch(s.stmt), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(status, SQL_ROW_SUCCESS_WITH_INFO);
    EXPECT_EQ(std::make_pair(QString::fromUtf16(buffer), indicator),
              std::make_pair(QStringLiteral("аб"), SQLLEN(12)));
    EXPECT_EQ(s.error(), "01004 0 [Oracle][ODBC]String data, right truncated.");
}

TEST(OracleStandin, BoundValuesBecomeLiteralsAndANulInsideIsRefused)
{
    database(QStringLiteral("binds"), {"create table t(a NUMBER)", "insert into t values (1)"});
    Session s;
    ASSERT_TRUE(s.connect(kLogin + "binds"));
    const auto bytes = [](const auto& value) {
        return QByteArray(reinterpret_cast<const char*>(&value), sizeof value);
    };
    const auto utf16 = [](const char16_t* text, int units) {
        return QByteArray(reinterpret_cast<const char*>(text), units * 2);
    };
    const SQL_TIMESTAMP_STRUCT stamp{2025, 6, 1, 10, 20, 30, 0};
    const QString nul = "HY000 1480 [Oracle][ODBC][Ora]ORA-01480: trailing null missing from "
                        "STR bind value";
    // The C type, the value, its indicator, the statement, its first value or its error.
    const std::tuple<SQLSMALLINT, QByteArray, SQLLEN, const char*, QString> cases[] = {
        {SQL_C_WCHAR, utf16(u"it's", 4), 8, "select ? from t where '?' = '?'", "it's"},
        {SQL_C_WCHAR, utf16(u"x", 2), 4, "select 1 from t where ? = 'x'", nul},
        {SQL_C_CHAR, QByteArray("x\0", 2), 2, "select 1 from t where ? = 'x'", nul},
        {SQL_C_CHAR, QByteArray("x"), SQL_NTS, "select 1 from t where ? = 'x'", "1"},
        {SQL_C_SLONG, bytes(SQLINTEGER(-5)), 0, "select 10 -? from t", "15"},
        {SQL_C_DOUBLE, bytes(0.25), 0, "select ? * 2 from t", "0.5"},
        {SQL_C_TYPE_TIMESTAMP, bytes(stamp), 0,
         "select 1 from t where ? = to_date('2025-06-01 10:20:30', 'YYYY-MM-DD HH24:MI:SS')", "1"},
        {SQL_C_SLONG, QByteArray(4, '\0'), SQL_NULL_DATA, "select 1 from t where ? is null", "1"},
    };
    for (auto [type, value, indicator, sql, expected] : cases) {
        SQLFreeStmt(s.stmt, SQL_RESET_PARAMS);
        ASSERT_EQ(SQLBindParameter(s.stmt, 1, SQL_PARAM_INPUT, type, SQL_VARCHAR, 30, 0,
                                   value.data(), value.size(), &indicator),
                  SQL_SUCCESS);
        EXPECT_EQ(s.answer(QString::fromUtf8(sql)), expected) << sql;
    }
    // The statement's own terminator counted into its length.
    SQLFreeStmt(s.stmt, SQL_CLOSE);
    std::u16string sql = u"select 1 from t";
    EXPECT_EQ(SQLExecDirectW(s.stmt, w(sql), SQLINTEGER(sql.size() + 1)), SQL_ERROR);
    EXPECT_EQ(s.error(), "42000 911 [Oracle][ODBC][Ora]ORA-00911: invalid character");
    int64_t big = 1; // Oracle's driver has no 64-bit integer C type
    EXPECT_EQ(SQLBindParameter(s.stmt, 1, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &big, 0,
                               nullptr),
              SQL_ERROR);
    EXPECT_EQ(s.error(), "HYC00 0 [Oracle][ODBC]Optional feature not implemented.");
}

TEST(OracleStandin, NarrowCallsSpeakTheClientCharacterSetOfNlsLang)
{
    database(QStringLiteral("narrow"), {"create table t(n NUMBER)", "insert into t values (0.5)"});
    const EnvRestorer lang{"NLS_LANG"};
    qputenv("NLS_LANG", "RUSSIAN_RUSSIA.CL8MSWIN1251");
    Session s;
    ASSERT_TRUE(s.connect(kLogin + "narrow", true));
    const QString word = QStringLiteral("Привет");
    // A statement's bytes; the value fetched wide: UTF-8 read as Windows-1251 is "РџСЂРёРІРµС‚".
    const std::tuple<QByteArray, SQLSMALLINT, QByteArray> cases[] = {
        {"select '" + word.toUtf8() + "' from dual", SQL_C_WCHAR, fromAnsi(word.toUtf8()).toUtf8()},
        {"select '" + toAnsi(word) + "' from dual", SQL_C_WCHAR, word.toUtf8()},
        {"select '" + toAnsi(word) + "' from dual", SQL_C_CHAR, toAnsi(word)},
        {"select n from t", SQL_C_CHAR, "0,5"}, // Russian decimals
    };
    for (auto [sql, type, expected] : cases) {
        SQLFreeStmt(s.stmt, SQL_CLOSE);
        ASSERT_EQ(SQLExecDirect(s.stmt, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS),
                  SQL_SUCCESS);
        ASSERT_EQ(SQLFetch(s.stmt), SQL_SUCCESS);
        char16_t value[32] = {};
        SQLLEN indicator = 0;
        SQLGetData(s.stmt, 1, type, value, sizeof value, &indicator);
        EXPECT_EQ(type == SQL_C_CHAR ? QByteArray(reinterpret_cast<char*>(value))
                                     : QString::fromUtf16(value).toUtf8(),
                  expected);
    }
}

TEST(OracleStandin, ADeleteInATransactionCountsItsRowsAndEndsAsTold)
{
    database(QStringLiteral("txn"),
             {"create table t(n NUMBER)", "insert into t values (1), (2), (3), (4), (5)"});
    Session s;
    ASSERT_TRUE(s.connect(kLogin + "txn"));
    SQLSetConnectAttrW(s.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF),
                       0);
    // The delete, how its transaction ends, what it returns, its row count, the rows left.
    const std::tuple<const char*, SQLSMALLINT, SQLRETURN, SQLLEN, const char*> cases[] = {
        {"delete t where n <= 3", SQL_ROLLBACK, SQL_SUCCESS, 3, "5"},
        {"delete t where n > 9", SQL_COMMIT, SQL_NO_DATA, 0, "5"}, // ODBC 3 for no row
        {"delete t where n <= 2", SQL_COMMIT, SQL_SUCCESS, 2, "3"},
    };
    for (const auto& [sql, end, rc, count, left] : cases) {
        EXPECT_EQ(s.run(QString::fromUtf8(sql)), rc) << s.error().toStdString();
        SQLLEN changed = -1;
        SQLRowCount(s.stmt, &changed);
        EXPECT_EQ(changed, count) << sql;
        EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, s.dbc, end), SQL_SUCCESS);
        EXPECT_EQ(s.answer(QStringLiteral("select count(*) from t")), left) << sql;
    }
    EXPECT_EQ(queryScalar(standin().path("txn.sqlite"), "select count(*) from t"), 3);
}

TEST(OracleStandin, CancelFromAnotherThreadStopsALongQueryWithinASecond)
{
    database(QStringLiteral("cancel"), {});
    Session s;
    ASSERT_TRUE(s.connect(kLogin + "cancel"));
    EXPECT_EQ(SQLCancel(s.stmt), SQL_SUCCESS); // nothing runs: nothing happens
    EXPECT_EQ(s.answer(QStringLiteral("select 2 from dual")), "2");

    SQLRETURN rc = SQL_SUCCESS;
    std::thread worker([&] {
        rc = s.run(QStringLiteral("with c(i) as (select 1 from dual union all select i + 1 "
                                  "from c where i < 1000000000) select count(*) from c"));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    QElapsedTimer sinceCancel;
    sinceCancel.start();
    EXPECT_EQ(SQLCancel(s.stmt), SQL_SUCCESS);
    worker.join();
    EXPECT_LT(sinceCancel.elapsed(), 1000);
    EXPECT_EQ(rc, SQL_ERROR);
    EXPECT_EQ(
        s.error(),
        "HY008 1013 [Oracle][ODBC][Ora]ORA-01013: user requested cancel of current operation");
    EXPECT_EQ(s.answer(QStringLiteral("select 3 from dual")), "3");
}

TEST(OracleStandin, TypeInfoHasOraclesTypesWithADateOfNineteenAndNoBigint)
{
    database(QStringLiteral("types"), {});
    Session s;
    ASSERT_TRUE(s.connect(kLogin + "types"));
    QStringList types; // "name type size", in the order given
    for (SQLSMALLINT asked : {SQL_ALL_TYPES, SQL_BIGINT}) {
        ASSERT_EQ(SQLGetTypeInfoW(s.stmt, asked), SQL_SUCCESS);
        while (SQLFetch(s.stmt) == SQL_SUCCESS) {
            char16_t name[32];
            SQLINTEGER type = 0, size = 0;
            SQLGetData(s.stmt, 1, SQL_C_WCHAR, name, sizeof name, nullptr);
            SQLGetData(s.stmt, 2, SQL_C_SLONG, &type, 0, nullptr);
            SQLGetData(s.stmt, 3, SQL_C_SLONG, &size, 0, nullptr);
            types << QString::fromUtf16(name) + " " + QString::number(type) + " " +
                         QString::number(size);
        }
    }
    EXPECT_EQ(types, QStringList({"NVARCHAR2 -9 2000", "RAW -3 2000", "CLOB -1 2147483647",
                                  "CHAR 1 2000", "NUMBER 3 38", "NUMBER 8 15", "VARCHAR2 12 4000",
                                  "DATE 93 19", "TIMESTAMP 93 27"}));
}

// A CLOB and an NCLOB reach a client of the wide API as long wide texts of no known width,
// whose pieces never tell the total; an NVARCHAR2 as a wide text of its width. A value wider
// than its column was described overflows the driver's own conversion of a bound fetch
// (ORA-01406) and still comes whole in pieces.
TEST(OracleStandin, LargeAndNationalTextsAreDescribedAndReadAsOraclesDriverDoes)
{
    const QString big = QString(2500, QChar(0x416));
    database(QStringLiteral("lobs"),
             {"create table t(c CLOB, n NCLOB, v NVARCHAR2(30), s VARCHAR2(5))",
              "insert into t values ('" + big + "', 'ёж', 'ёлка', 'abcdefgh')"});
    struct Case {
        SQLSMALLINT type;
        SQLULEN size;
        std::vector<SQLLEN> indicators; // of the pieces, read 1,000 UTF-16 units at a time
        QString whole;
    };
    const Case cases[] = {
        {SQL_WLONGVARCHAR, 2147483647, {SQL_NO_TOTAL, SQL_NO_TOTAL, 1000}, big},
        {SQL_WLONGVARCHAR, 2147483647, {4}, "ёж"},
        {SQL_WVARCHAR, 30, {8}, "ёлка"},
        {SQL_VARCHAR, 5, {16}, "abcdefgh"},
    };
    Session s;
    ASSERT_TRUE(s.connect(kLogin + "lobs"));
    ASSERT_EQ(s.run(QStringLiteral("select c, n, v, s from t")), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(s.stmt), SQL_SUCCESS);
    for (SQLUSMALLINT c = 1; c <= 4; ++c) {
        const Case& expected = cases[c - 1];
        std::pair<SQLSMALLINT, SQLULEN> type;
        SQLDescribeColW(s.stmt, c, nullptr, 0, nullptr, &type.first, &type.second, nullptr,
                        nullptr);
        EXPECT_EQ(type, std::make_pair(expected.type, expected.size)) << c;
        std::vector<SQLLEN> indicators;
        QString whole;
        char16_t piece[1001];
        SQLLEN indicator = 0;
        while (SQL_SUCCEEDED(SQLGetData(s.stmt, c, SQL_C_WCHAR, piece, sizeof piece, &indicator))) {
            indicators.push_back(indicator);
            whole += QString::fromUtf16(piece);
        }
        EXPECT_EQ(indicators, expected.indicators) << c;
        EXPECT_EQ(whole, expected.whole) << c;
    }

    // Bound: the CLOB cut to its buffer without a total, the VARCHAR2(5) of eight refused.
    for (const auto& [column, rc, error] :
         {std::tuple<SQLUSMALLINT, SQLRETURN, QString>{
              1, SQL_SUCCESS_WITH_INFO, "01004 0 [Oracle][ODBC]String data, right truncated."},
          {4, SQL_ERROR,
           "HY000 1406 [Oracle][ODBC][Ora]ORA-01406: fetched column value was truncated"}}) {
        char16_t buffer[16];
        SQLLEN indicator = 0;
        s.run(QStringLiteral("select c, n, v, s from t"));
        SQLBindCol(s.stmt, column, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
        EXPECT_EQ(SQLFetch(s.stmt), rc) << column;
        EXPECT_EQ(s.error(), error) << column;
        if (rc != SQL_ERROR) {
            EXPECT_EQ(indicator, SQL_NO_TOTAL);
        }
        SQLFreeStmt(s.stmt, SQL_UNBIND);
    }
}

// Oracle compares no LOB with "=" or its kin; a deletion compares one through dbms_lob.compare,
// which the stand-in runs on the embedded engine, as it runs to_clob.
TEST(OracleStandin, ALobIsComparedThroughDbmsLobAndNeverWithEquals)
{
    database(QStringLiteral("lobcompare"),
             {"create table t(sid NUMBER, c CLOB, n NCLOB, v NVARCHAR2(10))",
              "insert into t values (1, 'abc,(def)', 'ж', 'ё'), (2, NULL, NULL, NULL)"});
    const QString refused =
        "42000 932 [Oracle][ODBC][Ora]ORA-00932: inconsistent datatypes: expected - got ";
    // The statement, its first value or its whole error.
    const std::pair<QString, QString> cases[] = {
        {"select count(*) from t where c = 'abc,(def)'", refused + "CLOB"},
        {"select count(*) from t where \"C\"='abc,(def)'", refused + "CLOB"},
        {"select count(*) from t where 'ж' = n", refused + "NCLOB"},
        {"select count(*) from t where c <> 'x'", refused + "CLOB"},
        {"select count(*) from t where 'c = x' = 'c = x' and c is not null", "1"},
        {"select count(*) from t where upper(c) like 'ABC%'", "1"},
        {"select count(*) from t where v = 'ё'", "1"},
        {"select count(*) from t where sid = 1 and dbms_lob.compare(\"C\", to_clob('abc,(') || "
         "to_clob('def)')) = 0",
         "1"},
        {"select count(*) from t where dbms_lob.compare(c, to_clob('abc')) = 0", "0"},
        {"select count(*) from t where DBMS_LOB.COMPARE(n, TO_NCLOB('ж')) = 0 and sid = 1", "1"},
        {"select count(*) from t where dbms_lob.compare(c, to_clob('x')) = 0 or c is null", "1"},
        {"delete t where dbms_lob.compare(c, to_clob('abc,(def)')) = 0", "<no row>"},
        {"select count(*) from t", "1"},
    };
    Session s;
    ASSERT_TRUE(s.connect(kLogin + "lobcompare"));
    for (const auto& [sql, expected] : cases)
        EXPECT_EQ(s.answer(sql), expected) << sql.toStdString();
}

namespace {

// The ODBC calls of a test, either through the driver manager or straight into the stand-in.
struct Calls {
    decltype(&SQLAllocHandle) allocHandle = &SQLAllocHandle;
    decltype(&SQLSetEnvAttr) setEnvAttr = &SQLSetEnvAttr;
    decltype(&SQLDriverConnectW) driverConnect = &SQLDriverConnectW;
    decltype(&SQLExecDirectW) execDirect = &SQLExecDirectW;
    decltype(&SQLSetStmtAttrW) setStmtAttr = &SQLSetStmtAttrW;
    decltype(&SQLBindCol) bindCol = &SQLBindCol;
    decltype(&SQLFetch) fetch = &SQLFetch;
    decltype(&SQLCancel) cancel = &SQLCancel;
    decltype(&SQLGetDiagRecW) diagRec = &SQLGetDiagRecW;
    decltype(&SQLFreeHandle) freeHandle = &SQLFreeHandle;
    decltype(&SQLDisconnect) disconnect = &SQLDisconnect;

    // The stand-in's own entry points, as the driver manager finds them.
    static Calls driver()
    {
        void* library = dlopen(VARNEL_ORACLE_STANDIN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(library, nullptr) << dlerror();
        Calls c;
        const auto find = [&](auto& entry, const char* name) {
            entry =
                reinterpret_cast<std::remove_reference_t<decltype(entry)>>(dlsym(library, name));
            EXPECT_NE(reinterpret_cast<void*>(entry), nullptr) << name;
        };
        find(c.allocHandle, "SQLAllocHandle");
        find(c.setEnvAttr, "SQLSetEnvAttr");
        find(c.driverConnect, "SQLDriverConnectW");
        find(c.execDirect, "SQLExecDirectW");
        find(c.setStmtAttr, "SQLSetStmtAttrW");
        find(c.bindCol, "SQLBindCol");
        find(c.fetch, "SQLFetch");
        find(c.cancel, "SQLCancel");
        find(c.diagRec, "SQLGetDiagRecW");
        find(c.freeHandle, "SQLFreeHandle");
        find(c.disconnect, "SQLDisconnect");
        return c;
    }
};

} // namespace

// Rows are made as the client fetches them: a value that cannot be read fails the fetch that
// reaches it, and a SQLCancel stops a fetch that runs. One that comes while no call runs does
// nothing (ODBC 3.5, and Windows' driver manager passes it on so): the stand-in goes on
// fetching; unixODBC's own state machine ends the cursor instead (HY010 on the next fetch).
TEST(OracleStandin, RowsAreMadeAsTheyAreFetchedAndACancelBetweenFetchesDoesNothing)
{
    database(QStringLiteral("lazy"),
             {"create table t(d DATE)",
              "with recursive c(i) as (select 1 union all select i + 1 from c where i < 2500) "
              "insert into t select '2025-06-01 10:20:30' from c",
              "insert into t values ('not a date')"});
    const std::pair<const char*, Calls> paths[] = {{"driver manager", Calls()},
                                                   {"driver", Calls::driver()}};
    for (const auto& [name, calls] : paths) {
        SCOPED_TRACE(name);
        SQLHENV env = nullptr;
        SQLHDBC dbc = nullptr;
        SQLHSTMT stmt = nullptr;
        calls.allocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        calls.setEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        calls.allocHandle(SQL_HANDLE_DBC, env, &dbc);
        std::u16string login = (kLogin + "lazy").toStdU16String();
        ASSERT_TRUE(SQL_SUCCEEDED(calls.driverConnect(dbc, nullptr, w(login), SQL_NTS, nullptr, 0,
                                                      nullptr, SQL_DRIVER_NOPROMPT)));
        calls.allocHandle(SQL_HANDLE_STMT, dbc, &stmt);
        const auto error = [&] {
            char16_t state[6] = {}, message[256] = {};
            SQLINTEGER native = 0;
            calls.diagRec(SQL_HANDLE_STMT, stmt, 1, reinterpret_cast<SQLWCHAR*>(state), &native,
                          reinterpret_cast<SQLWCHAR*>(message), 256, nullptr);
            return QString::fromUtf16(state) + ' ' + QString::fromUtf16(message);
        };
        constexpr SQLULEN kBlock = 1000;
        std::vector<SQL_TIMESTAMP_STRUCT> dates(kBlock);
        std::vector<SQLLEN> indicators(kBlock);
        SQLULEN fetched = 0;
        calls.setStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(kBlock), 0);
        calls.setStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
        std::u16string sql = u"select d from t";
        ASSERT_EQ(calls.execDirect(stmt, w(sql), SQL_NTS), SQL_SUCCESS) << error().toStdString();
        calls.bindCol(stmt, 1, SQL_C_TYPE_TIMESTAMP, dates.data(), 0, indicators.data());
        EXPECT_EQ(calls.fetch(stmt), SQL_SUCCESS);
        EXPECT_EQ(calls.cancel(stmt), SQL_SUCCESS);
        if (QLatin1String(name) == QLatin1String("driver")) {
            EXPECT_EQ(calls.fetch(stmt), SQL_SUCCESS);
            EXPECT_EQ(fetched, kBlock);
            EXPECT_EQ(dates[999].second, 30);
            EXPECT_EQ(calls.fetch(stmt), SQL_ERROR);
            EXPECT_TRUE(error().startsWith("HY000 [Oracle][ODBC][Ora]ORA-01861"))
                << error().toStdString();
        } else {
            EXPECT_EQ(calls.fetch(stmt), SQL_ERROR);
            EXPECT_EQ(error(), "HY010 [unixODBC][Driver Manager]Function sequence error");
        }

        // A fetch that has to go through a billion rows for its next one, stopped as it runs.
        sql = u"select i from (with c(i) as (select 1 from dual union all select i + 1 from c "
              u"where i < 1000000000) select i from c) where i in (1, 1000000000)";
        calls.setStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
        ASSERT_EQ(calls.execDirect(stmt, w(sql), SQL_NTS), SQL_SUCCESS) << error().toStdString();
        calls.bindCol(stmt, 1, SQL_C_TYPE_TIMESTAMP, nullptr, 0, nullptr);
        SQLRETURN rc = SQL_SUCCESS;
        std::thread worker([&] {
            while ((rc = calls.fetch(stmt)) == SQL_SUCCESS) {
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        QElapsedTimer sinceCancel;
        sinceCancel.start();
        calls.cancel(stmt);
        worker.join();
        EXPECT_LT(sinceCancel.elapsed(), 1000);
        EXPECT_EQ(rc, SQL_ERROR);
        EXPECT_EQ(error(), "HY008 [Oracle][ODBC][Ora]ORA-01013: user requested cancel of current "
                           "operation");

        calls.freeHandle(SQL_HANDLE_STMT, stmt);
        calls.disconnect(dbc);
        calls.freeHandle(SQL_HANDLE_DBC, dbc);
        calls.freeHandle(SQL_HANDLE_ENV, env);
    }
}
