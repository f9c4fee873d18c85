#include "common/testsupport.h"
#include "demodb.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <optional>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTime>
#include <set>
#include <sqlite3.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using varnel::test::TempFolder;
using Rows = std::vector<std::vector<std::optional<std::string>>>;

// Read straight through SQLite, so that the program's own database layer cannot hide a fault.
Rows query(const QString& path, const QString& sql)
{
    sqlite3* db = nullptr;
    sqlite3_stmt* st = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK) {
        const std::string message = sqlite3_errmsg(db);
        sqlite3_close(db);
        throw std::runtime_error(message);
    }
    Rows rows;
    while (sqlite3_step(st) == SQLITE_ROW) {
        auto& row = rows.emplace_back();
        for (int i = 0; i < sqlite3_column_count(st); ++i) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
            const auto bytes = static_cast<size_t>(sqlite3_column_bytes(st, i));
            row.push_back(text ? std::optional(std::string(text, bytes)) : std::nullopt);
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
}

// The storage class goes in too: a sid stored as text is a different record.
QByteArray digest(const QString& path, const QString& table = QStringLiteral("LOG_TABLE"))
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const auto& row : query(path, "select typeof(sid), * from " + table + " order by rowid"))
        for (const auto& value : row)
            hash.addData(value ? QByteArray::fromStdString(*value).prepend('+').append('\0')
                               : QByteArray("-"));
    return hash.result();
}

QString generate(const QString& path, int64_t records, uint64_t seed = 1,
                 const QString& table = "LOG_TABLE")
{
    varnel::demo::generate({path, table, records, seed});
    return path;
}

QStringList filesIn(const TempFolder& folder)
{
    return QDir(folder.path("")).entryList(QDir::Files | QDir::Hidden);
}

TEST(DemoDb, WritesExactlyTheRequestedRecordsIntoTheNamedLogTable)
{
    const char* columns = "sid NUMBER, ddate DATE, stable VARCHAR2(50), saction VARCHAR2(10), "
                          "schanges VARCHAR2(4000), suser_info VARCHAR2(100)";
    for (const int64_t records : {0, 1, 7, 1000}) {
        const TempFolder folder;
        const QString path = generate(folder.path("log.sqlite"), records, 1, "APP_LOG");
        EXPECT_EQ(query(path, "select name from sqlite_master"), Rows{{"APP_LOG"}});
        EXPECT_EQ(query(path, "select group_concat(name || ' ' || type, ', ') "
                              "from pragma_table_info('APP_LOG')"),
                  Rows{{columns}});
        EXPECT_EQ(query(path, "select count(*) from APP_LOG"), Rows{{std::to_string(records)}});
        EXPECT_EQ(filesIn(folder), QStringList{"log.sqlite"}) << "a leftover after success";
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
        const std::string shown = (name + " " + table).toStdString();
        const TempFolder folder;
        QFile old(folder.path("old.sqlite"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("not a database") > 0);
        old.close();
        EXPECT_THROW(generate(folder.path(name), 10, 1, table), std::runtime_error) << shown;
        EXPECT_EQ(filesIn(folder), QStringList{"old.sqlite"}) << shown;
        ASSERT_TRUE(old.open(QIODevice::ReadOnly));
        EXPECT_EQ(old.readAll(), "not a database");
    }
}

// One generated log shared by the checks on what the records look like.
class DemoRecords : public testing::Test {
protected:
    enum Column { Sid, Date, Table, Action, Changes, UserInfo };
    static void SetUpTestSuite()
    {
        folder = std::make_unique<TempFolder>();
        path = generate(folder->path("log.sqlite"), 20000);
        rows = query(path, "select * from LOG_TABLE order by rowid");
    }
    static void TearDownTestSuite() { folder.reset(); }
    // The distinct non-NULL values of a column with their counts.
    static std::map<QString, int> values(Column column)
    {
        std::map<QString, int> result;
        for (const auto& row : rows)
            if (row[column])
                ++result[QString::fromStdString(*row[column])];
        return result;
    }
    static inline std::unique_ptr<TempFolder> folder;
    static inline QString path;
    static inline Rows rows;
};

TEST_F(DemoRecords, SameOptionsGiveSameRecordsAndAnotherSeedOthers)
{
    EXPECT_EQ(digest(generate(folder->path("again.sqlite"), 20000)), digest(path));
    EXPECT_NE(digest(generate(folder->path("seed2.sqlite"), 20000, 2)), digest(path));
}

TEST_F(DemoRecords, EveryColumnHasSomeNullsAndFitsItsDeclaredBytesAsValidUtf8)
{
    EXPECT_EQ(query(path,
                    "select count(*) from LOG_TABLE where typeof(sid) not in ('integer', 'null') "
                    "or typeof(ddate) not in ('text', 'null')"),
              Rows{{"0"}});
    const std::map<Column, size_t> limits = {{Sid, 20},    {Date, 19},      {Table, 50},
                                             {Action, 10}, {Changes, 4000}, {UserInfo, 100}};
    for (const auto& [column, limit] : limits) {
        size_t nulls = 0;
        for (const auto& row : rows) {
            const std::string text = row[column].value_or("");
            nulls += !row[column];
            ASSERT_LE(text.size(), limit) << text;
            ASSERT_EQ(QString::fromStdString(text).toStdString(), text)
                << "broken UTF-8 in " << column;
        }
        EXPECT_GT(nulls, 0u) << column;
        EXPECT_LT(nulls, rows.size() / 20) << column;
    }
}

TEST_F(DemoRecords, TablesAreAFewDozenAndActionsCollapseToThreeWhenUpperCased)
{
    std::set<QString> tables, actions;
    for (const auto& [name, count] : values(Table))
        tables.insert(name.toUpper());
    for (const auto& [action, count] : values(Action))
        actions.insert(action.toUpper());
    EXPECT_GE(tables.size(), 24u);
    EXPECT_LE(tables.size(), 60u);
    EXPECT_EQ(actions, (std::set<QString>{"DELETE", "INSERT", "UPDATE"}));
}

TEST_F(DemoRecords, TablesChangesAndUserInfoMixCyrillicAndLatin)
{
    for (const Column column : {Table, Changes, UserInfo}) {
        const auto all = values(column);
        for (const char* script : {"[\\x{0400}-\\x{04FF}]", "[A-Za-z]"}) {
            const QRegularExpression letter(script);
            EXPECT_TRUE(
                std::any_of(all.begin(), all.end(),
                            [&](const auto& value) { return value.first.contains(letter); }))
                << column << " " << script;
        }
    }
}

TEST_F(DemoRecords, UserInfoNamesOsUserComputerAndDatabaseUser)
{
    // Only the last segment may hold a hyphen: the program splits at the first two " - ".
    static const QRegularExpression shape(
        R"(^[^-\s]([^-]*[^-\s])? - [^-\s]([^-]*[^-\s])? - \S(.*\S)?$)");
    int withoutHyphen = 0, hyphenatedDbUser = 0;
    for (const auto& [info, count] : values(UserInfo)) {
        if (!info.contains('-')) {
            withoutHyphen += count;
            continue;
        }
        ASSERT_TRUE(shape.match(info).hasMatch()) << info.toStdString();
        hyphenatedDbUser += info.section(" - ", 2).contains('-') ? count : 0;
    }
    EXPECT_GT(hyphenatedDbUser, 0);
    EXPECT_GT(withoutHyphen, 0);
    EXPECT_LT(withoutHyphen, static_cast<int>(rows.size() / 20));
}

TEST_F(DemoRecords, ChangeTextsHaveLineBreaksAndLongTextsUpToTheLimit)
{
    // Bytes, not characters, as Oracle counts them; that no text is over the limit is checked
    // with the other columns.
    EXPECT_EQ(query(path, "select sum(instr(schanges, char(10)) > 0) > 0, "
                          "sum(length(cast(schanges as blob)) > 1000) > 0, "
                          "max(length(cast(schanges as blob))) > 3990 from LOG_TABLE"),
              (Rows{{"1", "1", "1"}}));
}

TEST_F(DemoRecords, DatesAreValidAndSpreadOverBothYearsWithoutAPileUp)
{
    static const QRegularExpression format(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$)");
    std::set<QString> months;
    int midnights = 0, shared = 0;
    for (const auto& [date, count] : values(Date)) {
        ASSERT_TRUE(format.match(date).hasMatch() &&
                    QDate::fromString(date.left(10), Qt::ISODate).isValid() &&
                    QTime::fromString(date.mid(11), Qt::ISODate).isValid())
            << date.toStdString();
        ASSERT_TRUE(date >= "2025-01-01 00:00:00" && date <= "2026-12-31 23:59:59")
            << date.toStdString();
        months.insert(date.left(7));
        midnights += date.endsWith(" 00:00:00") ? count : 0;
        shared += count > 1;
        // Bursts share a second, but dozens of records on one second are an artefact.
        EXPECT_LE(count, 10) << date.toStdString();
    }
    EXPECT_EQ(months.size(), 24u);
    EXPECT_GT(midnights, 0);
    EXPECT_GT(shared, 0);
}

TEST(DemoDbCli, RunsWithValidArgumentsAndShowsUsageOtherwise)
{
    // "@" stands for the database path.
    const std::vector<std::pair<QStringList, bool>> cases = {
        {{"@", "--records", "25", "--table", "CLI_LOG", "--seed", "3"}, true},
        {{}, false},
        {{"--records", "25"}, false},
        {{"@", "--records", "many"}, false},
        {{"@", "--records", "25x"}, false},
        {{"@", "--records"}, false}};
    const QString program = QCoreApplication::applicationDirPath() + "/../tools/varnel-demo-db";
    ASSERT_TRUE(QFile::exists(program)) << "build the varnel-demo-db target first";
    for (const auto& [args, succeeds] : cases) {
        const TempFolder folder;
        const QString path = folder.path("cli.sqlite");
        QProcess process;
        process.start(program, QStringList(args).replaceInStrings(QRegularExpression("^@$"), path));
        ASSERT_TRUE(process.waitForFinished(10000));
        const std::string shown = args.join(' ').toStdString();
        EXPECT_EQ(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0, succeeds)
            << shown;
        EXPECT_EQ(QFile::exists(path), succeeds) << shown;
        if (succeeds) // every option reaches the generator
            EXPECT_EQ(digest(path, "CLI_LOG"),
                      digest(generate(folder.path("api.sqlite"), 25, 3, "CLI_LOG"), "CLI_LOG"));
        else
            EXPECT_TRUE(process.readAllStandardError().contains("usage")) << shown;
    }
}

} // namespace
