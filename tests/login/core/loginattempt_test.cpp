#include "base/localetext.h"
#include "common/testsupport.h"
#include "db/dberror.h"
#include "db/logdatabase.h"
#include "login/core/loginattempt.h"

#include <gtest/gtest.h>

namespace varnel::test {
namespace {

const QString kDbError = QStringLiteral("Ошибка подключения к базе данных!\n");

// A shown message with the state the database was in when the user saw it.
struct Shown {
    QString text;
    bool connected = false;
    QString currentTable;
};

struct Attempt {
    LoginOutcome outcome;
    std::vector<Shown> shown;
    QStringList asked;
};

// Turkish upper-cases "i" to "İ": a name shown so was upper-cased with the given locale.
void attempt(LogDatabase& database, const LoginFields& fields, Attempt& seen, bool answer = true)
{
    const LoginPrompts prompts{[&](const QString& text) {
                                   seen.shown.push_back({text, database.connection().connected(),
                                                         database.currentLogTable()});
                               },
                               [&](const QString& title, const QString& question) {
                                   seen.asked << title + u'|' + question;
                                   return answer;
                               }};
    seen.outcome = attemptLogin(database, fields, LocaleText(QLocale(QLocale::Turkish)), prompts);
}

TEST(LoginAttempt, EachStepStopsWithItsMessageAndLeavesTheDatabaseAsItSays)
{
    TempFolder folder;
    const QString columns =
        QStringLiteral("(sid NUMBER, ddate DATE, stable VARCHAR2(50), saction VARCHAR2(10), "
                       "schanges VARCHAR2(4000), suser_info VARCHAR2(100))");
    const QString base = makeDatabase(folder, QStringLiteral("b.sqlite"),
                                      {QStringLiteral("create table LOGS") + columns,
                                       QStringLiteral("create table text_dates(ddate TEXT)"),
                                       QStringLiteral("insert into text_dates values ('x')")});
    const QString missing = folder.path(QStringLiteral("missing.sqlite"));
    const QString ask = QStringLiteral("Создать таблицу логов?|Вы действительно хотите создать "
                                       "таблицу логов \"%1\"?");
    const QString notAll = QStringLiteral("Введены не все параметры!");
    using S = LoginStep;
    using F = LoginField;
    struct Case {
        LoginFields fields;
        bool answer;
        LoginStep step;
        LoginField focus;
        QString shown; // the one message shown starts with this; empty: none is shown
        bool connectedWhenShown;
        QString asked; // the name the creation's question shows
        bool connected;
        QString current;
    } cases[] = {
        {{"", "", "", "", false}, true, S::Fields, F::Password, notAll, false, "", false, ""},
        {{"", "pw", "b", "LOGS", false}, true, S::Fields, F::User, notAll, false, "", false, ""},
        {{"u", "pw", "", "", false}, true, S::Fields, F::Table, notAll, false, "", false, ""},
        {{"", "pw", "", "LOGS", true}, true, S::Fields, F::Base, notAll, false, "", false, ""},
        {{"u", "pw", missing, "LOGS; drop table LOGS", false},
         true,
         S::TableName,
         F::Table,
         "Неверное имя таблицы логов: «LOGS; drop table LOGS»",
         false,
         "",
         false,
         ""},
        // A table of another database is never created from here; nothing is sent.
        {{"u", "pw", missing, "LOGS@REMOTE", true},
         true,
         S::TableName,
         F::Table,
         "Таблицу логов «LOGS@REMOTE» нельзя создать: «@REMOTE» — ссылка на другую базу данных",
         false,
         "",
         false,
         ""},
        {{"u", "pw", missing, "LOGS", false},
         true,
         S::Connection,
         F::None,
         kDbError,
         false,
         "",
         false,
         ""},
        // A failure is on the screen before the connection closes.
        {{"u", "pw", base, "NO_SUCH", false},
         true,
         S::Probe,
         F::None,
         kDbError + "ORA-00942: table or view does not exist",
         true,
         "",
         false,
         ""},
        {{"u", "pw", base, "text_dates", false},
         true,
         S::TableFields,
         F::None,
         "",
         false,
         "",
         true,
         "text_dates"},
        {{"u", "pw", base, "logs", false}, true, S::None, F::None, "", false, "", true, "logs"},
        {{"u", "pw", base, "new_log", true},
         false,
         S::Declined,
         F::None,
         "",
         false,
         "NEW_LOG",
         true,
         ""},
        {{"u", "pw", base, "logs", true},
         true,
         S::Creation,
         F::None,
         kDbError + "ORA-00955: name is already used by an existing object",
         true,
         "LOGS",
         false,
         ""},
        // The table becomes current only after the creation's message.
        {{"u", "pw", base, "yeni_log", true},
         true,
         S::None,
         F::None,
         "Таблица логов \"YENİ_LOGсоздана!",
         true,
         "YENİ_LOG",
         true,
         "yeni_log"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fields.table.toStdString() + " in " + c.fields.base.toStdString());
        LogDatabase database;
        Attempt seen;
        attempt(database, c.fields, seen, c.answer);
        EXPECT_EQ(seen.outcome.failedStep, c.step);
        EXPECT_EQ(seen.outcome.focus, c.focus);
        EXPECT_EQ(seen.asked, c.asked.isEmpty() ? QStringList() : QStringList{ask.arg(c.asked)});
        ASSERT_EQ(seen.shown.size(), c.shown.isEmpty() ? 0U : 1U);
        if (!c.shown.isEmpty()) {
            EXPECT_TRUE(seen.shown[0].text.startsWith(c.shown)) << seen.shown[0].text.toStdString();
            EXPECT_EQ(seen.shown[0].connected, c.connectedWhenShown);
            EXPECT_EQ(seen.shown[0].currentTable, QString());
        }
        if (c.step == S::TableFields) {
            EXPECT_EQ(seen.outcome.message,
                      "Столбец DDATE таблицы логов TEXT_DATES должен иметь тип DATE.");
        } else if (c.step != S::None) {
            EXPECT_EQ(seen.outcome.message, seen.shown.empty() ? QString() : seen.shown[0].text);
        }
        EXPECT_EQ(database.connection().connected(), c.connected);
        EXPECT_EQ(database.currentLogTable(), c.current);
        EXPECT_FALSE(database.mainDataset().isOpen());
    }
}

// An open connection is kept while the connection string stays; another database is reached.
TEST(LoginAttempt, AnOpenConnectionIsReusedUntilTheDatabaseChanges)
{
    TempFolder folder;
    const QString first = makeDatabase(folder, "a.sqlite", {"create table LOGS(ddate DATE)"});
    const QString second = makeDatabase(folder, "b.sqlite", {"create table LOGS(ddate DATE)"});
    LogDatabase database;
    int disconnects = 0;
    database.connection().onDisconnect([&] { ++disconnects; });
    const std::pair<QString, int> steps[] = {{first, 0}, {first, 0}, {second, 1}};
    for (const auto& [base, expected] : steps) {
        Attempt seen;
        attempt(database, {"u", "pw", base, "LOGS", false}, seen);
        EXPECT_EQ(seen.outcome.failedStep, LoginStep::None);
        EXPECT_EQ(disconnects, expected);
        EXPECT_TRUE(database.connection().connectionString().contains(base));
    }
}

// Stands in for a statement that the user stops at the progress window.
class CancelledEngine : public Engine {
public:
    RowSet query(const QString&) override { throw Cancelled(); }
    int64_t execute(const QString&) override { throw Cancelled(); }
    void deleteRecord(const QString&, const RowSet&, uint32_t) override { throw Cancelled(); }
};

TEST(LoginAttempt, ACancelledStepDisconnectsShowsNothingAndGoesOn)
{
    for (const bool create : {false, true}) {
        LogDatabase database(
            [](const QString&, const LocaleText&) { return std::make_unique<CancelledEngine>(); });
        Attempt seen;
        EXPECT_THROW(attempt(database, {"u", "pw", "ORCL", "LOGS", create}, seen), Cancelled);
        EXPECT_TRUE(seen.shown.empty());
        EXPECT_FALSE(database.connection().connected()) << create;
        EXPECT_TRUE(database.currentLogTable().isEmpty());
    }
}

} // namespace
} // namespace varnel::test
