// The whole program on Oracle's path: the login, the filter lists, the grid, Ctrl+Delete, the
// period deletion and the export through the ODBC engine and the Oracle stand-in driver, each
// side by side with the same steps on the embedded engine over the same records, which must
// give the same rows, lists, deletions and file bytes.

#include "common/oraclestandin.h"
#include "common/session.h"
#include "common/testsupport.h"
#include "db/logdatabase.h"
#include "ui/core/statustext.h"

#include <QApplication>
#include <QFile>
#include <QScopeGuard>

#include <gtest/gtest.h>

namespace varnel::test {
namespace {

using Kind = ScriptedPrompts::Kind;

QString uniqueName(const char* stem)
{
    static int made = 0;
    return QStringLiteral("%1%2").arg(QLatin1String(stem)).arg(++made);
}

class OraclePath : public ::testing::Test {
protected:
    void SetUp() override
    {
        QString why;
        if (!OracleStandin::available(&why))
            GTEST_SKIP() << why.toStdString();
    }
    TempFolder folder;
};

// The embedded engine and Oracle's path over copies of one log, driven alike.
TEST_F(OraclePath, EveryStepGivesWhatTheEmbeddedEngineGivesOverTheSameRecords)
{
    const QString source = makeDemoDatabase(folder, 1500, 11);
    // A change text of 4000 Cyrillic characters with quotes and a line break, and NULLs.
    const QString longText =
        QString(3000, QChar(0x416)) + QStringLiteral("'«ё»'\r\n") + QString(993, QChar(0x44F));
    queryScalar(source, QStringLiteral("insert into LOG_TABLE values (900001, '2025-03-05 "
                                       "00:00:00', 'СКЛАД', 'UPDATE', '%1', 'Иванов - ПК-1 - "
                                       "ADMIN'), (900002, NULL, NULL, NULL, NULL, NULL)")
                            .arg(QString(longText).replace(u'\'', QStringLiteral("''"))));
    const QString embeddedFile = folder.path(QStringLiteral("embedded.sqlite"));
    ASSERT_TRUE(QFile::copy(source, embeddedFile));
    const QString name = uniqueName("LOGS");
    const QString oracleFile = OracleStandin::place(source, name);

    Session embedded(folder.path(QStringLiteral("embedded.ini")));
    Session oracle(folder.path(QStringLiteral("oracle.ini")));
    ASSERT_TRUE(embedded.login({embeddedFile, QStringLiteral("LOG_TABLE")}));
    ASSERT_TRUE(oracle.login({name, QStringLiteral("LOG_TABLE")}))
        << oracle.prompts.texts().join('\n').toStdString();
    const auto both = [&](const std::function<void(Session&)>& step) {
        step(embedded);
        step(oracle);
    };

    for (const char* list :
         {"DBLookupComboBoxTable", "DBLookupComboBoxAction", "DBLookupComboBoxOracleUser",
          "DBLookupComboBoxPC", "DBLookupComboBoxOSUser"})
        EXPECT_EQ(oracle.entries(list), embedded.entries(list)) << list;
    EXPECT_TRUE(oracle.entries("DBLookupComboBoxOSUser").contains(QStringLiteral("ИВАНОВ ")));

    // A Cyrillic value chosen in a list, then every record.
    both([](Session& s) {
        ASSERT_TRUE(s.choose("DBLookupComboBoxTable", QStringLiteral("СКЛАД")));
        s.click("BitBtnSelect");
    });
    EXPECT_EQ(oracle.column(QStringLiteral("SCHANGES")), QStringList{longText});
    both([](Session& s) {
        s.click("BitBtnClearFiltr");
        s.click("BitBtnSelect");
    });
    for (const char* field : {"SID", "DDATE", "STABLE", "SACTION", "SCHANGES", "SUSER_INFO"})
        EXPECT_EQ(oracle.column(QString::fromLatin1(field)),
                  embedded.column(QString::fromLatin1(field)))
            << field;
    EXPECT_TRUE(oracle.prompts.shown.empty()) << oracle.prompts.texts().join('\n').toStdString();

    // Ctrl+Delete of the long Cyrillic record and of the one of NULLs: one record each.
    const auto count = [](const QString& file) {
        return queryScalar(file, QStringLiteral("select count(*) from LOG_TABLE"));
    };
    const long long before = count(oracleFile);
    for (const int sid : {900001, 900002}) {
        both([sid](Session& s) { s.deleteRow(int(s.sids().indexOf(sid))); });
        EXPECT_EQ(
            queryScalar(oracleFile,
                        QStringLiteral("select count(*) from LOG_TABLE where sid = %1").arg(sid)),
            0)
            << oracle.prompts.texts().join('\n').toStdString();
    }
    EXPECT_EQ(count(oracleFile), before - 2);
    EXPECT_EQ(oracle.sids(), embedded.sids());

    // The export of a period, then its deletion, then the export of what is left.
    const Period march{QDate(2025, 3, 1), QDate(2025, 3, 10)};
    for (const std::optional<Period>& period :
         {std::optional<Period>(march), std::optional<Period>()}) {
        both([&](Session& s) {
            s.exportTo(folder.path(&s == &oracle ? "oracle.txt" : "embedded.txt"), period);
        });
        const QByteArray exported = withoutStamps(fileBytes(folder.path("oracle.txt")));
        EXPECT_GT(exported.count("\r\n"), 20);
        EXPECT_EQ(exported, withoutStamps(fileBytes(folder.path("embedded.txt"))));
        if (period) {
            const long long kept = count(oracleFile);
            both([&](Session& s) { s.deletePeriod(period); });
            // The driver's row count reaches the status line.
            EXPECT_TRUE(oracle.prompts.texts().contains(
                QStringLiteral("Удалено записей: %1").arg(kept - count(oracleFile))))
                << oracle.prompts.texts().join('|').toStdString();
        }
        EXPECT_EQ(count(oracleFile), count(embeddedFile));
    }
    EXPECT_EQ(oracle.prompts.texts().filter(QStringLiteral("Ошибка")), QStringList());
}

// «Подсчитать» on both engines, in Russian and in American dates, counts what sqlite3 counts
// over the same file for the same days at midnight, the dates as the file stores them.
TEST_F(OraclePath, ThePeriodCountIsTheCountOfTheSameDaysInEveryLocale)
{
    const QString source = makeDemoDatabase(folder, 4000, 7);
    const std::optional<Period> periods[] = {
        std::nullopt,
        Period{QDate(2025, 3, 1), QDate(2025, 3, 10)},
        // The month and the day told apart: 1 October is not 10 January.
        Period{QDate(2025, 1, 10), QDate(2025, 10, 1)},
    };
    const auto sqliteCount = [&](const std::optional<Period>& period) {
        QString sql = QStringLiteral("select count(*) from LOG_TABLE");
        if (period)
            sql += QStringLiteral(" where ddate between '%1 00:00:00' and '%2 00:00:00'")
                       .arg(period->from.toString(Qt::ISODate), period->to.toString(Qt::ISODate));
        return queryScalar(source, sql);
    };
    const auto restore = qScopeGuard([saved = QLocale()] { QLocale::setDefault(saved); });
    for (const QLocale& locale : {QLocale(QLocale::Russian, QLocale::Russia),
                                  QLocale(QLocale::English, QLocale::UnitedStates)}) {
        SCOPED_TRACE(locale.name().toStdString());
        QLocale::setDefault(locale);
        const QString name = uniqueName("LOGS");
        OracleStandin::place(source, name);
        Session embedded(folder.path(QStringLiteral("embedded.ini")));
        Session oracle(folder.path(QStringLiteral("oracle.ini")));
        ASSERT_TRUE(embedded.login({source, QStringLiteral("LOG_TABLE")}));
        ASSERT_TRUE(oracle.login({name, QStringLiteral("LOG_TABLE")}))
            << oracle.prompts.texts().join('\n').toStdString();
        for (const std::optional<Period>& period : periods) {
            const long long records = sqliteCount(period);
            const QString expected =
                (period ? QStringLiteral("В периоде: ") : QStringLiteral("В таблице: ")) +
                countText(records, kRecords, locale);
            EXPECT_EQ(embedded.countRecords(period), expected);
            EXPECT_EQ(oracle.countRecords(period), expected);
        }
        EXPECT_GT(sqliteCount(periods[1]), 0);
        for (const Session* session : {&embedded, &oracle})
            EXPECT_TRUE(session->prompts.shown.empty())
                << session->prompts.texts().join('|').toStdString();
    }
}

// The login on Oracle's path: a password that holds the connection string's own characters
// arrives whole; a wrong one, a missing database and a creation without the right to a
// public synonym end as the login's failures do, with the driver's words.
TEST_F(OraclePath, LoginCreationAndItsFailuresThroughTheDriver)
{
    const EnvRestorer password{"VARNEL_ORACLE_STANDIN_PASSWORD"};
    const EnvRestorer synonym{"VARNEL_ORACLE_STANDIN_NO_SYNONYM"};
    const EnvRestorer help{"VARNEL_ORACLE_STANDIN_HELP_LINES"};
    qputenv("VARNEL_ORACLE_STANDIN_PASSWORD", "s;e}c=r{et");
    // Oracle 23ai's second line of every message, which the user is not shown.
    qputenv("VARNEL_ORACLE_STANDIN_HELP_LINES", "1");
    const QString existing = uniqueName("LOGS");
    OracleStandin::place(makeDemoDatabase(folder, 50), existing);

    struct Case {
        const char* name;
        QString base, table, password;
        bool create, refuseSynonym, opens;
        const char* shown; // the first message, or nothing
    };
    const QString fresh = uniqueName("FRESH"), denied = uniqueName("DENIED");
    for (const QString& empty : {fresh, denied})
        OracleStandin::place(makeDatabase(folder, empty + QStringLiteral(".sqlite")), empty);
    const Case cases[] = {
        {"exact password", existing, "LOG_TABLE", "s;e}c=r{et", false, false, true, nullptr},
        {"wrong password", existing, "LOG_TABLE", "secret", false, false, false,
         "Ошибка подключения к базе данных!\n[Oracle][ODBC][Ora]ORA-01017"},
        {"no such database", uniqueName("NOWHERE"), "LOG_TABLE", "s;e}c=r{et", false, false, false,
         "Ошибка подключения к базе данных!\n[Oracle][ODBC][Ora]ORA-12154"},
        {"no such table", existing, "NO_LOG", "s;e}c=r{et", false, false, false,
         "Ошибка подключения к базе данных!\n[Oracle][ODBC][Ora]ORA-00942"},
        {"creation", fresh, "new_log", "s;e}c=r{et", true, false, true,
         "Таблица логов \"NEW_LOGсоздана!"},
        {"creation without the synonym", denied, "new_log", "s;e}c=r{et", true, true, false,
         "Ошибка подключения к базе данных!\n[Oracle][ODBC][Ora]ORA-01031: insufficient "
         "privileges"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.refuseSynonym)
            qputenv("VARNEL_ORACLE_STANDIN_NO_SYNONYM", "1");
        else
            qunsetenv("VARNEL_ORACLE_STANDIN_NO_SYNONYM");
        Session session(folder.path(QStringLiteral("Login.ini")));
        EXPECT_EQ(session.login({c.base, c.table, QStringLiteral("scott"), c.password, c.create}),
                  c.opens);
        const std::vector<ScriptedPrompts::Shown>& shown = session.prompts.shown;
        const auto first = std::find_if(shown.begin(), shown.end(), [](const auto& s) {
            return s.kind == Kind::Message || s.kind == Kind::Error;
        });
        if (c.shown == nullptr) {
            EXPECT_EQ(first, shown.end());
            continue;
        }
        ASSERT_NE(first, shown.end());
        EXPECT_TRUE(first->text.startsWith(QString::fromUtf8(c.shown)))
            << first->text.toStdString();
        EXPECT_FALSE(first->text.contains(QLatin1String("Help:")));
        if (!c.opens) {
            EXPECT_FALSE(session.data().connection().connected());
        }
    }
    // The refused synonym came after the table: what the database created stays.
    EXPECT_EQ(queryScalar(OracleStandin::folder() + u'/' + denied + QStringLiteral(".sqlite"),
                          QStringLiteral("select count(*) from sqlite_schema where name = "
                                         "'new_log'")),
              1);
}

} // namespace
} // namespace varnel::test
