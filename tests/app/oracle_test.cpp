// The whole program on Oracle's path: the login, the filter lists, the grid, Ctrl+Delete, the
// period deletion and the export through the ODBC engine and the Oracle stand-in driver, each
// side by side with the same steps on the embedded engine over the same records, which must
// give the same rows, lists, deletions and file bytes.

#include "browse/loggrid.h"
#include "common/oraclestandin.h"
#include "common/session.h"
#include "common/testsupport.h"
#include "db/logdatabase.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace varnel::test {
namespace {

using Kind = ScriptedPrompts::Kind;

QString uniqueName(const char* stem)
{
    static int made = 0;
    return QStringLiteral("%1%2").arg(QLatin1String(stem)).arg(++made);
}

using OraclePath = OracleStandinTest;

// The embedded engine and Oracle's path over copies of one log file, both logged in to `table`.
struct SideBySide {
    SideBySide(const TempFolder& folder, const QString& source, const char* stem,
               const QString& table)
        : name(uniqueName(stem)), embeddedFile(folder.path(QStringLiteral("embedded.sqlite"))),
          oracleFile(OracleStandin::place(source, name)),
          embedded(folder.path(QStringLiteral("embedded.ini"))),
          oracle(folder.path(QStringLiteral("oracle.ini")))
    {
        loggedIn = QFile::copy(source, embeddedFile) && embedded.login({embeddedFile, table}) &&
                   oracle.login({name, table});
    }
    // Why a login failed.
    std::string shown() const { return oracle.prompts.texts().join('\n').toStdString(); }

    const QString name;
    const QString embeddedFile, oracleFile;
    Session embedded, oracle;
    bool loggedIn = false;
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
    SideBySide paths(folder, source, "LOGS", QStringLiteral("LOG_TABLE"));
    ASSERT_TRUE(paths.loggedIn) << paths.shown();
    Session &embedded = paths.embedded, &oracle = paths.oracle;
    const QString& oracleFile = paths.oracleFile;
    const QString& embeddedFile = paths.embeddedFile;
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

// A log whose change texts are a CLOB, as a table made elsewhere may have them: Oracle's driver
// gives such a column no width and compares none with "=", and the program reads it whole all
// the same. The grid shows it, the find bar finds a word deep in a long text, the export
// writes what the embedded engine writes, and Ctrl+Delete takes one of two equal records.
TEST_F(OraclePath, ALogOfClobChangeTextsShowsFindsExportsAndDeletesOneRecord)
{
    const QString source = makeDemoDatabase(folder, 400, 17);
    const QString longText = QString(2500, QChar(0x416)) + QStringLiteral(" NEEDLE ") +
                             QString(2500, QChar(0x44F)) + QStringLiteral("'\r\n«ё»");
    for (const QString& statement :
         {QStringLiteral("create table CLOB_LOG(sid NUMBER, ddate DATE, stable VARCHAR2(50), "
                         "saction VARCHAR2(10), schanges CLOB, suser_info VARCHAR2(100))"),
          QStringLiteral("insert into CLOB_LOG select * from LOG_TABLE"),
          QStringLiteral("insert into CLOB_LOG values (900001, '2025-04-01 12:00:00', 'СКЛАД', "
                         "'UPDATE', '%1', 'Иванов - ПК-1 - ADMIN')")
              .arg(QString(longText).replace(u'\'', QStringLiteral("''")))})
        queryScalar(source, statement);
    queryScalar(source, QStringLiteral("insert into CLOB_LOG select * from CLOB_LOG where sid = "
                                       "900001"));
    SideBySide paths(folder, source, "CLOBS", QStringLiteral("CLOB_LOG"));
    ASSERT_TRUE(paths.loggedIn) << paths.shown();
    Session &embedded = paths.embedded, &oracle = paths.oracle;
    const QString& oracleFile = paths.oracleFile;
    for (Session* s : {&embedded, &oracle})
        s->click("BitBtnSelect");
    EXPECT_EQ(oracle.column(QStringLiteral("SCHANGES")),
              embedded.column(QStringLiteral("SCHANGES")));
    EXPECT_TRUE(oracle.column(QStringLiteral("SCHANGES")).contains(longText));

    // Ctrl+F and the word typed: the cursor goes to the first of the two long records.
    LogGrid* grid = oracle.grid();
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(0, 1));
    QTest::keyClick(grid, Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(oracle.find<QLineEdit>("EditFind"), QStringLiteral("needle"));
    const int found = grid->currentIndex().row();
    ASSERT_GE(found, 0);
    EXPECT_EQ(oracle.sids().at(found), 900001);
    QTest::keyClick(oracle.find<QLineEdit>("EditFind"), Qt::Key_Escape);

    for (Session* s : {&embedded, &oracle})
        s->exportTo(folder.path(s == &oracle ? "oracle.txt" : "embedded.txt"));
    const QByteArray exported = withoutStamps(fileBytes(folder.path("oracle.txt")));
    EXPECT_EQ(exported.count("NEEDLE"), 2);
    EXPECT_EQ(exported, withoutStamps(fileBytes(folder.path("embedded.txt"))));

    for (Session* s : {&embedded, &oracle})
        s->deleteRow(int(s->sids().indexOf(900001)));
    EXPECT_EQ(
        queryScalar(oracleFile, QStringLiteral("select count(*) from CLOB_LOG where sid = 900001")),
        1)
        << oracle.prompts.texts().join('\n').toStdString();
    EXPECT_EQ(queryScalar(oracleFile, QStringLiteral("select count(*) from CLOB_LOG")), 401);
    EXPECT_EQ(oracle.sids(), embedded.sids());
    EXPECT_EQ(oracle.prompts.texts().filter(QStringLiteral("Ошибка")), QStringList());
}

} // namespace
} // namespace varnel::test
