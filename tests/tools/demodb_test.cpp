#include "common/testsupport.h"
#include "demodb.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace varnel::test;
using Rows = std::vector<std::vector<std::string>>; // NULL reads as ""

// Read straight through SQLite, so that the program's own database layer cannot hide a fault.
Rows query(const QString& path, const QString& sql)
{
    Rows rows;
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    const auto collect = [](void* out, int count, char** values, char**) {
        auto& row = static_cast<Rows*>(out)->emplace_back();
        for (int i = 0; i < count; ++i)
            row.emplace_back(values[i] ? values[i] : "");
        return 0;
    };
    EXPECT_EQ(sqlite3_exec(db, sql.toUtf8().constData(), collect, &rows, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
    return rows;
}

// quote() keeps NULLs and storage classes apart: a sid stored as text is a different record.
std::string digest(const QString& path, const QString& table = QStringLiteral("LOG_TABLE"))
{
    const Rows all =
        query(path, "select group_concat(quote(sid) || quote(ddate) || quote(stable) || "
                    "quote(saction) || quote(schanges) || quote(suser_info), ';') from "
                    "(select * from " +
                        table + " order by rowid)");
    return QCryptographicHash::hash(all.at(0).at(0), QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

std::string filesIn(const TempFolder& folder)
{
    return QDir(folder.path("")).entryList(QDir::Files | QDir::Hidden).join(' ').toStdString();
}

TEST(DemoDb, WritesExactlyTheRequestedRecordsIntoTheNamedLogTable)
{
    for (const int64_t records : {0, 1, 7, 1000}) {
        const TempFolder folder;
        varnel::demo::generate({folder.path("log.sqlite"), "APP_LOG", records});
        EXPECT_EQ(
            query(
                folder.path("log.sqlite"),
                "select (select group_concat(name) from sqlite_master), (select group_concat(name "
                "|| ' ' || type, ', ') from pragma_table_info('APP_LOG')), count(*) from APP_LOG"),
            (Rows{{"APP_LOG",
                   "sid NUMBER, ddate DATE, stable VARCHAR2(50), saction VARCHAR2(10), "
                   "schanges VARCHAR2(4000), suser_info VARCHAR2(100)",
                   std::to_string(records)}}));
        EXPECT_EQ(filesIn(folder), "log.sqlite") << "a leftover after success";
    }
}

TEST(DemoDb, FailsWithoutTouchingOrLeavingAnyFile)
{
    // "select" passes the name check; SQLite refuses it only once the file has been started.
    const std::pair<QString, QString> cases[] = {{"log.sqlite", "T; drop table X"},
                                                 {"log.sqlite", "1abc"},
                                                 {"log.sqlite", ""},
                                                 {"log.sqlite", "select"},
                                                 {"no/log.sqlite", "LOG_TABLE"},
                                                 {"old.sqlite", "LOG_TABLE"}};
    for (const auto& [name, table] : cases) {
        SCOPED_TRACE((name + " " + table).toStdString());
        const TempFolder folder;
        QFile old(folder.path("old.sqlite"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("not a database") > 0);
        old.close();
        EXPECT_THROW(varnel::demo::generate({folder.path(name), table, 10}), std::runtime_error);
        EXPECT_EQ(filesIn(folder), "old.sqlite");
        ASSERT_TRUE(old.open(QIODevice::ReadOnly) && old.readAll() == "not a database");
    }
}

TEST(DemoDb, SameOptionsGiveSameRecordsAndAnotherSeedOthers)
{
    const TempFolder one, two;
    const std::string first = digest(makeDemoDatabase(one, 20000));
    EXPECT_EQ(digest(makeDemoDatabase(two, 20000)), first);
    EXPECT_NE(digest(makeDemoDatabase(two, 20000, 2)), first);
}

TEST(DemoDb, RecordsLookLikeARealLog)
{
    const TempFolder folder;
    const QString log = makeDemoDatabase(folder, 20000);
    // Each holds for the whole log; sizes are in bytes, as Oracle counts them. '+0 days' makes
    // SQLite roll an impossible date such as February 30 over, so that it comes back changed.
    QStringList facts = {
        "sum(typeof(sid) not in ('integer', 'null') or typeof(ddate) not in ('text', 'null')) = 0",
        "count(distinct upper(stable)) between 24 and 60",
        "(select group_concat(a) from (select distinct upper(saction) a from LOG_TABLE where a not "
        "null "
        "order by a)) = 'DELETE,INSERT,UPDATE'",
        "sum(instr(suser_info, '-') = 0) between 1 and count(*) / 20",
        "sum(suser_info like '% - % - %-%') > 0", // a database user with a hyphen
        "sum(instr(schanges, char(10)) > 0) > 0", "sum(length(cast(schanges as blob)) > 1000) > 0",
        "max(length(cast(schanges as blob))) > 3990",
        "sum(datetime(ddate, '+0 days') is not ddate) = 0",
        "min(ddate) >= '2025' and max(ddate) < '2027'", "count(distinct substr(ddate, 1, 7)) = 24",
        "sum(ddate like '% 00:00:00') > 0",
        // Bursts share a second, but dozens of records on one second are an artefact.
        "(select max(n) <= 10 and sum(n > 1) > 0 from (select count(*) n from LOG_TABLE group by "
        "ddate "
        "having ddate not null))"};
    const std::pair<const char*, int> limits[] = {{"sid", 20},        {"ddate", 19},
                                                  {"stable", 50},     {"saction", 10},
                                                  {"schanges", 4000}, {"suser_info", 100}};
    for (const auto& [column, bytes] : limits)
        facts << QString("sum(%1 is null) between 1 and count(*) / 20 and "
                         "max(length(cast(%1 as blob))) <= %2")
                     .arg(column)
                     .arg(bytes);
    for (const char* column : {"stable", "schanges", "suser_info"})
        facts
            << QString("sum(%1 glob '*[А-я]*') > 0 and sum(%1 glob '*[A-Za-z]*') > 0").arg(column);
    const Rows answers = query(log, "select " + facts.join(", ") + " from LOG_TABLE");
    for (qsizetype i = 0; i < facts.size(); ++i)
        EXPECT_EQ(answers.at(0).at(i), "1") << facts[i].toStdString();
    // OS user - computer - database user: the program splits at the first two " - ".
    static const QRegularExpression shape(
        R"(^[^-\s]([^-]*[^-\s])? - [^-\s]([^-]*[^-\s])? - \S(.*\S)?$)");
    for (const auto& row : query(log, "select * from LOG_TABLE")) {
        for (const std::string& text : row) // a long text cut inside a character breaks it
            ASSERT_TRUE(QString::fromStdString(text).toStdString() == text)
                << "not UTF-8, ending "
                << testing::PrintToString(text.substr(std::max<size_t>(text.size(), 30) - 30));
        const QString info = QString::fromStdString(row[5]);
        ASSERT_TRUE(!info.contains('-') || shape.match(info).hasMatch()) << info.toStdString();
    }
}

TEST(DemoDbCli, RunsWithValidArgumentsAndShowsUsageOtherwise)
{
    const QString program = QCoreApplication::applicationDirPath() + "/../tools/varnel-demo-db";
    const std::pair<QStringList, bool> cases[] = {
        // "@" stands for the database path
        {{"@", "--records", "25", "--table", "CLI_LOG", "--seed", "3"}, true},
        {{}, false},
        {{"--records", "25"}, false},
        {{"@", "--records", "many"}, false},
        {{"@", "--records", "25x"}, false},
        {{"@", "--records"}, false}};
    for (const auto& [args, succeeds] : cases) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const TempFolder folder;
        const QString path = folder.path("cli.sqlite");
        QProcess process;
        process.start(program, QStringList(args).replaceInStrings(QRegularExpression("^@$"), path));
        ASSERT_TRUE(process.waitForFinished(10000)) << process.errorString().toStdString();
        EXPECT_EQ(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
                  succeeds);
        EXPECT_EQ(QFile::exists(path), succeeds);
        if (succeeds) // every option reaches the generator
            EXPECT_EQ(digest(path, "CLI_LOG"),
                      digest(makeDemoDatabase(folder, 25, 3, "CLI_LOG"), "CLI_LOG"));
        else
            EXPECT_TRUE(process.readAllStandardError().contains("usage"));
    }
}

} // namespace
