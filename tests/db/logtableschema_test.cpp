#include "common/testsupport.h"
#include "db/dberror.h"
#include "db/logdatabase.h"
#include "db/logtableschema.h"

#include <gtest/gtest.h>

using namespace varnel;
using namespace varnel::test;

namespace {

class Creation : public ::testing::Test {
protected:
    void SetUp() override
    {
        data.connection().connect(
            localConnectionString(makeDatabase(folder, QStringLiteral("c.sqlite"))));
    }
    RowSet query(const QString& sql) { return data.connection().engine().query(sql); }

    TempFolder folder;
    LogDatabase data;
};

} // namespace

TEST(LogTableStatements, ExactTexts)
{
    const std::tuple<QString, QString, QString, QString> cases[] = {
        {"LOG_T",
         "create table LOG_T(sid NUMBER, ddate DATE, stable VARCHAR2(50), saction VARCHAR2(10), "
         "schanges   VARCHAR2(4000), suser_info VARCHAR2(100))",
         "grant select, insert, update, delete on LOG_T to public",
         "create public synonym LOG_T for LOG_T"},
        // The name stands exactly as typed, lower case included.
        {"my_log",
         "create table my_log(sid NUMBER, ddate DATE, stable VARCHAR2(50), saction VARCHAR2(10), "
         "schanges   VARCHAR2(4000), suser_info VARCHAR2(100))",
         "grant select, insert, update, delete on my_log to public",
         "create public synonym my_log for my_log"},
    };
    for (const auto& [name, create, grant, synonym] : cases) {
        EXPECT_EQ(createLogTableStatement(name), create);
        EXPECT_EQ(grantLogTableStatement(name), grant);
        EXPECT_EQ(publicSynonymStatement(name), synonym);
    }
}

TEST(LogTableName, OnlyOracleTableNamesPass)
{
    for (const char* valid : {"LOG_TABLE", "log_table", "scott.LOG", "LOG#1", "L$1_#", "ЛОГИ",
                              "схема.Журнал_1", "\"Log table\"", "\"a;b --\"", "scott.\"x y\"",
                              "LOG@remote", "LOG@remote.example.com", "s.\"t\"@\"l k\".x"})
        EXPECT_TRUE(isOracleTableName(QString::fromUtf8(valid))) << valid;
    for (const char* invalid : {"",           " LOG",
                                "LOG ",       "LOG --",
                                "LOG /*",     "LOG where sid > 0",
                                "LOG;",       "LOG; drop table X",
                                "1LOG",       "_LOG",
                                "a.b.c",      "a.",
                                ".a",         "LOG@",
                                "LOG@a..b",   "\"\"",
                                "\"a\"\"b\"", "\"open",
                                "LOG(x)",     "LOG,X",
                                "LOG\tX",     "LOG@x@y"})
        EXPECT_FALSE(isOracleTableName(QString::fromUtf8(invalid))) << invalid;
    EXPECT_FALSE(isOracleTableName(QStringLiteral("LOG") + QChar(0)));
    EXPECT_FALSE(isOracleTableName(QStringLiteral("\"a") + QChar(0) + QStringLiteral("\"")));
}

TEST_F(Creation, CreatesAnEmptyTableOfTheLogStructure)
{
    createLogTable(data, QStringLiteral("my_log"));
    const RowSet rows = query(QStringLiteral("Select * from MY_LOG where rownum=1"));
    EXPECT_EQ(rows.rowCount(), 0u);
    const std::pair<const char*, ColumnType> columns[] = {
        {"SID", ColumnType::Number},    {"DDATE", ColumnType::Date},
        {"STABLE", ColumnType::Text},   {"SACTION", ColumnType::Text},
        {"SCHANGES", ColumnType::Text}, {"SUSER_INFO", ColumnType::Text},
    };
    ASSERT_EQ(rows.columnCount(), 6);
    for (int col = 0; col < 6; ++col) {
        EXPECT_EQ(rows.column(col).name, QString::fromLatin1(columns[col].first));
        EXPECT_EQ(rows.column(col).type, columns[col].second);
    }
    EXPECT_EQ(rows.column(4).declaredSize, 4000);
    // The last statement stays in the dataset.
    EXPECT_EQ(data.commandDataset().getText(),
              QStringLiteral("create public synonym my_log for my_log\r\n"));
}

TEST_F(Creation, AnExistingNameFailsAtTheFirstStatementAndRunsNoOther)
{
    createLogTable(data, QStringLiteral("LOGS"));
    EXPECT_EQ(errorOf([&] { createLogTable(data, QStringLiteral("logs")); }),
              QStringLiteral("ORA-00955: name is already used by an existing object"));
    EXPECT_TRUE(data.commandDataset().getText().startsWith(QStringLiteral("create table logs(")));
}

TEST_F(Creation, ALeftoverPublicSynonymFailsTheLastStepAndKeepsTheTable)
{
    createLogTable(data, QStringLiteral("LOGS"));
    data.commandDataset().setText(QStringLiteral("drop table LOGS"));
    data.commandDataset().execute();
    EXPECT_EQ(errorOf([&] { createLogTable(data, QStringLiteral("LOGS")); }),
              QStringLiteral("ORA-00955: name is already used by an existing object"));
    EXPECT_EQ(query(QStringLiteral("Select * from LOGS")).columnCount(), 6);
}

TEST_F(Creation, AGrantWithoutGranteeIsRejectedLikeOracleDoes)
{
    createLogTable(data, QStringLiteral("LOGS"));
    Dataset& dataset = data.commandDataset();
    dataset.setText(QStringLiteral("grant select, insert, update, delete on LOGS"));
    EXPECT_EQ(errorOf([&] { dataset.execute(); }), QStringLiteral("ORA-00946: missing TO keyword"));
    dataset.setText(QStringLiteral("grant select on NOPE to public"));
    EXPECT_EQ(errorOf([&] { dataset.execute(); }),
              QStringLiteral("ORA-00942: table or view does not exist"));
}

TEST_F(Creation, ANameCarryingASecondStatementCreatesNothing)
{
    EXPECT_EQ(errorOf([&] { createLogTable(data, QStringLiteral("A(x NUMBER); create table B")); }),
              QStringLiteral("ORA-00911: invalid character"));
    EXPECT_EQ(errorOf([&] { query(QStringLiteral("Select * from A")); }),
              QStringLiteral("ORA-00942: table or view does not exist"));
}

// A public synonym belongs to no schema, and a table behind a database link is another
// database's: neither the synonym nor that table can take the name as typed.
TEST(LogTableStatements, TheSynonymTakesTheNameWithoutItsSchemaAndALinkIsRefused)
{
    const std::tuple<QString, QString, QString> cases[] = {
        {"SCOTT.LOGS", "create public synonym LOGS for SCOTT.LOGS", ""},
        {"scott.\"Log table\"", "create public synonym \"Log table\" for scott.\"Log table\"", ""},
        // A dot or an "@" inside quotes is part of the name.
        {"\"a.b@c\"", "create public synonym \"a.b@c\" for \"a.b@c\"", ""},
        {"LOGS@REMOTE.EXAMPLE.COM", "",
         "Таблицу логов «LOGS@REMOTE.EXAMPLE.COM» нельзя создать: «@REMOTE.EXAMPLE.COM» — ссылка "
         "на другую базу данных, а таблица логов создаётся в той, к которой выполнено "
         "подключение."},
        {"scott.logs@\"l k\"", "", "«@\"l k\"» — ссылка"},
    };
    for (const auto& [name, synonym, problem] : cases) {
        SCOPED_TRACE(name.toStdString());
        if (problem.isEmpty()) {
            EXPECT_EQ(publicSynonymStatement(name), synonym);
            EXPECT_EQ(logTableCreationProblem(name), QString());
        } else {
            EXPECT_TRUE(logTableCreationProblem(name).contains(problem))
                << logTableCreationProblem(name).toStdString();
        }
    }
}

TEST_F(Creation, ANameWithADatabaseLinkSendsNothing)
{
    const QString name = QStringLiteral("LOGS@REMOTE");
    EXPECT_EQ(errorOf([&] { createLogTable(data, name); }), logTableCreationProblem(name));
    EXPECT_EQ(data.commandDataset().getText(), QString());
    EXPECT_EQ(errorOf([&] { query(QStringLiteral("Select * from LOGS")); }),
              QStringLiteral("ORA-00942: table or view does not exist"));
}
