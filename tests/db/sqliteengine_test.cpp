// The embedded engine where SQLite on its own would give other rows than Oracle, or run
// something else than the text says: each statement either gives Oracle's result or fails
// without changing anything.

#include "base/localetext.h"
#include "common/testsupport.h"
#include "db/embedded/sqliteengine.h"
#include "db/embedded/sqlrewriter.h"

#include <QLocale>
#include <QThread>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

using namespace varnel;
using namespace varnel::test;
using embedded::SqliteEngine;

namespace {

class EmbeddedEngine : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = makeDatabase(
            folder, QStringLiteral("engine.sqlite"),
            {"create table T(sid NUMBER, ddate DATE, stable VARCHAR2(50))",
             "insert into T values (1, '2025-02-01 10:00:00', 'A'), (2, '2025-02-01 11:00:00', "
             "'B'), (3, '2025-02-02 00:00:00', 'C')",
             // Another table whose DDATE holds text: its texts are no dates.
             "create table TEXTS(ddate VARCHAR2(10))", "insert into TEXTS values ('01.02.2025')"});
        engine = std::make_unique<SqliteEngine>(path, QStringLiteral("dd.MM.yyyy"),
                                                QLocale(QLocale::Russian));
    }

    // The first value of the first row, or the error's message.
    QString scalar(const QString& sql)
    {
        QString value;
        const QString error = errorOf([&] {
            const RowSet rows = engine->query(sql);
            value = rows.rowCount() == 0 ? QStringLiteral("<no row>")
                                         : rows.displayText(0, 0, LocaleText(QLocale()));
        });
        return error == QLatin1String("<no error>") ? value : error;
    }

    TempFolder folder;
    QString path;
    std::unique_ptr<SqliteEngine> engine;
};

} // namespace

TEST_F(EmbeddedEngine, WhatSqliteWouldReadOtherwiseFailsAndChangesNothing)
{
    const QString rownum = embedded::unsupportedRownumMessage();
    const QString unbound = QStringLiteral("ORA-01008: not all variables bound");
    const std::pair<QString, QString> cases[] = {
        // Oracle numbers the rows before it counts them: a limit would count them all.
        {"select count(*) from T where rownum <= 1", rownum},
        {"select sid from T where rownum <= 1 or sid = 3", rownum},
        {"select sid from T where sid > 1 and rownum = 1", "2"},
        // SQLite stops at a NUL and would run the first half alone.
        {QStringLiteral("select sid from T ") + QChar(0) + QStringLiteral(" where sid = 3"),
         "ORA-00911: invalid character"},
        {QStringLiteral("select sid from T where stable = 'C' ") + QChar(0),
         "ORA-00911: invalid character"},
        // SQLite would run a bind marker as NULL.
        {"select count(*) from T where sid = :a or 1 = 1", unbound},
        {"select count(*) from T where sid = ? or 1 = 1", unbound},
        {"select count(*) from T where sid = @a or 1 = 1", unbound},
        {"select count(*) from T where sid = $a or 1 = 1", unbound},
        // A text column of another table named like a date column stays text.
        {"select count(*) from TEXTS where ddate = '01.02.2025'", "1"},
        {"select count(*) from T where trunc(ddate) = '01.02.2025'", "2"},
    };
    for (const auto& [sql, expected] : cases)
        EXPECT_EQ(scalar(sql), expected) << sql.toStdString();

    for (const char* change : {"delete T where rownum <= 1 or rownum = 2",
                               "delete from T where sid = :a or 1 = 1", "update T set sid = ?"}) {
        EXPECT_NE(errorOf([&] { engine->execute(QString::fromUtf8(change)); }),
                  QLatin1String("<no error>"))
            << change;
    }
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from T where sid is not null")), "3");
}

TEST_F(EmbeddedEngine, NamesWithAHashWorkThroughEveryStatement)
{
    engine->execute(QStringLiteral("create table LOG#1 (sid NUMBER, ddate DATE, stable# "
                                   "VARCHAR2(50))"));
    engine->execute(QStringLiteral("grant select, insert, update, delete on LOG#1 to public"));
    engine->execute(QStringLiteral("create public synonym LOG#1 for LOG#1"));
    engine->execute(QStringLiteral("insert into log#1 values (1, '2026-12-07 00:00:00', 'A'), "
                                   "(2, '2026-12-08 00:00:00', 'B')"));
    EXPECT_EQ(scalar(QStringLiteral("select stable# from Log#1 where ddate = '08.12.2026'")), "B");
    const RowSet rows = engine->query(QStringLiteral("Select * from LOG#1 where rownum=1"));
    engine->deleteRecord(QStringLiteral("LOG#1"), rows, 0);
    engine->execute(QStringLiteral("delete LOG#1 where sid = 2"));
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from LOG#1")), "0");
}

TEST_F(EmbeddedEngine, ARecordWhoseDateAnOutsideWriterStoredInAnotherLayoutCanBeDeleted)
{
    engine->execute(QStringLiteral("create table L(sid NUMBER, ddate DATE)"));
    // Written by another program: fractions of a second, a "T", a date alone.
    for (const char* stored :
         {"2025-01-02T03:04:05", "2025-01-02 03:04:05.678", "2025-01-02", "2025-01-02T03:04:05.5"})
        queryScalar(path, QStringLiteral("insert into L values (1, '%1')").arg(stored));
    const RowSet rows = engine->query(QStringLiteral("select * from L"));
    ASSERT_EQ(rows.rowCount(), 4u);
    for (uint32_t row = 0; row < rows.rowCount(); ++row)
        EXPECT_EQ(errorOf([&] { engine->deleteRecord(QStringLiteral("L"), rows, row); }),
                  QLatin1String("<no error>"))
            << row;
    EXPECT_EQ(queryScalar(path, QStringLiteral("select count(*) from L")), 0);
}

// A TIMESTAMP(6) column that an outside writer filled with fractions: the snapshot keeps them,
// to_date and to_timestamp compare as times (a whole second equals its ".000000"), the day
// filters and periods take each record by its time, and each record is deleted alone, also
// the one of two that differ only in their fraction.
TEST_F(EmbeddedEngine, TimestampFractionsAreKeptComparedAsTimesAndEachRecordDeletedAlone)
{
    engine->execute(QStringLiteral("create table S(sid NUMBER, ddate TIMESTAMP(6))"));
    queryScalar(path, QStringLiteral("insert into S values (1, '2025-03-05 10:11:12.250000'), "
                                     "(2, '2025-03-05 10:11:12.125000'), "
                                     "(3, '2025-03-05 10:11:12.000000'), "
                                     "(4, '2025-03-05 10:11:12'), "
                                     "(5, '2025-03-06 00:00:00.000001')"));
    const RowSet rows = engine->query(QStringLiteral("select * from S order by sid"));
    ASSERT_EQ(rows.rowCount(), 5u);
    const uint32_t fractions[] = {250000000, 125000000, 0, 0, 1000};
    for (uint32_t row = 0; row < 5; ++row)
        EXPECT_EQ(rows.dateNanoseconds(row, 1), fractions[row]) << row;

    const QString ts = QStringLiteral("'YYYY-MM-DD HH24:MI:SS.FF9'");
    const std::pair<QString, const char*> counts[] = {
        {"ddate = to_timestamp('2025-03-05 10:11:12.125000000', " + ts + ")", "1"},
        {"ddate = to_timestamp('2025-03-05 10:11:12.125', " + ts + ")", "1"},
        {"to_timestamp('2025-03-05 10:11:12.250000000', " + ts + ") = ddate", "1"},
        {"ddate = to_date('2025-03-05 10:11:12', 'YYYY-MM-DD HH24:MI:SS')", "2"},
        {"ddate = to_timestamp('2025-03-05 10:11:12', " + ts + ")", "2"},
        {"ddate = to_timestamp('05.03.2025', 'DD.MM.YYYY')",
         "ORA-01821: date format not recognized"},
        {"trunc(ddate) = '05.03.2025'", "4"},
        {"ddate between '05.03.2025' and '06.03.2025'", "4"},
        {"ddate >= '06.03.2025'", "1"},
    };
    for (const auto& [condition, expected] : counts)
        EXPECT_EQ(scalar("select count(*) from S where " + condition), QString::fromUtf8(expected))
            << condition.toStdString();

    for (const uint32_t row : {1u, 0u, 4u, 2u}) {
        engine->deleteRecord(QStringLiteral("S"), rows, row);
        EXPECT_EQ(
            queryScalar(path, QStringLiteral("select count(*) from S where sid = %1").arg(row + 1)),
            0);
    }
    EXPECT_EQ(queryScalar(path, QStringLiteral("select sid from S")), 4);
}

// A program with one thread keeps a window painted through the progress handler while a long
// statement runs; an error in the handler must not cross SQLite's C frames.
TEST_F(EmbeddedEngine, AProgressHandlerHearsFromALongStatementAndAFailingOneInterruptsIt)
{
    const QString slow = QStringLiteral("select count(*) from T a, T b, T c, T d, T e, T f, T g");
    int calls = 0;
    engine->setProgressHandler([&] { ++calls; });
    EXPECT_EQ(scalar(slow), QStringLiteral("2187"));
    EXPECT_GT(calls, 1);

    engine->setProgressHandler([] { throw std::runtime_error("window failed"); });
    EXPECT_EQ(errorOf([&] { engine->query(slow); }), QStringLiteral("interrupted"));
    EXPECT_EQ(errorOf([&] {
                  engine->execute(QStringLiteral("delete T where sid in (select a.sid "
                                                 "from T a, T b, T c, T d, T e)"));
              }),
              QStringLiteral("interrupted"));
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from T")), QStringLiteral("3"));

    calls = 0;
    engine->setProgressHandler({});
    EXPECT_EQ(scalar(slow), QStringLiteral("2187"));
    EXPECT_EQ(calls, 0);
}

// What a client's Oracle session needs of the engine (the stand-in driver runs on it): a
// statement stopped from another thread fails as Oracle's does and the next one runs; a
// transaction is undone whole; the change count is the last changing statement's, not an
// earlier one's; to_date reads the bound date-time's one format.
TEST_F(EmbeddedEngine, ASessionsCancelTransactionsChangeCountAndToDate)
{
    const QString endless = QStringLiteral(
        "select count(*) from (with recursive c(i) as (select 1 union all select i + 1 from c "
        "where i < 1000000000) select i from c)");
    QString error;
    std::atomic<bool> done{false};
    std::thread running([&] {
        error = errorOf([&] { engine->query(endless); });
        done = true;
    });
    // Again and again: a cancel that comes before the statement starts is no cancel of it.
    while (!done) {
        QThread::msleep(50);
        engine->interrupt();
    }
    running.join();
    EXPECT_EQ(error, QStringLiteral("ORA-01013: user requested cancel of current operation"));
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from T")), QStringLiteral("3"));

    engine->begin();
    engine->execute(QStringLiteral("delete T where sid > 1"));
    EXPECT_EQ(engine->lastChangeCount(), 2);
    engine->execute(QStringLiteral("create table U(a NUMBER)"));
    EXPECT_EQ(engine->lastChangeCount(), 0);
    engine->rollback();
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from T")), QStringLiteral("3"));

    const std::pair<const char*, const char*> dates[] = {
        {"to_date('2025-02-01 11:00:00', 'YYYY-MM-DD HH24:MI:SS')", "1"},
        {"to_date('2025-02-01 11:00:00', 'yyyy-mm-dd hh24:mi:ss')", "1"},
        {"to_date('01.02.2025', 'DD.MM.YYYY')", "ORA-01821: date format not recognized"},
        {"to_date('2025-02-31 11:00:00', 'YYYY-MM-DD HH24:MI:SS')",
         "ORA-01861: literal does not match format string"},
    };
    for (const auto& [expression, expected] : dates)
        EXPECT_EQ(scalar(QStringLiteral("select count(*) from T where ddate = %1")
                             .arg(QLatin1String(expression))),
                  QString::fromUtf8(expected))
            << expression;
}

// Another connection's write transaction: a statement that writes waits for it up to the
// engine's busy timeout, then fails as Oracle's resource busy; one that ends sooner is waited
// for.
TEST_F(EmbeddedEngine, AWriterWaitsForAnotherWritersTransactionUpToItsBusyTimeout)
{
    using std::chrono::milliseconds;
    const struct {
        milliseconds busyTimeout;
        std::optional<milliseconds> heldFor; // nothing: until the statement is over
        const char* error;
        milliseconds within;
    } cases[] = {
        {milliseconds(100), std::nullopt, "ORA-00054: resource busy (database is locked)",
         milliseconds(2000)},
        {SqliteEngine::kDefaultBusyTimeout, milliseconds(300), "<no error>", milliseconds(4000)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.busyTimeout.count());
        SqliteEngine writer(path, QStringLiteral("dd.MM.yyyy"), QLocale(QLocale::Russian),
                            c.busyTimeout);
        sqlite3* other = nullptr;
        ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &other), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(other, "begin immediate", nullptr, nullptr, nullptr), SQLITE_OK);
        std::thread release;
        if (c.heldFor)
            release = std::thread([&] {
                std::this_thread::sleep_for(*c.heldFor);
                sqlite3_exec(other, "rollback", nullptr, nullptr, nullptr);
            });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(errorOf([&] { writer.execute(QStringLiteral("delete T where sid = 1")); }),
                  QString::fromLatin1(c.error));
        EXPECT_LT(std::chrono::steady_clock::now() - start, c.within);
        if (release.joinable())
            release.join();
        else
            sqlite3_exec(other, "rollback", nullptr, nullptr, nullptr);
        sqlite3_close(other);
    }
}
