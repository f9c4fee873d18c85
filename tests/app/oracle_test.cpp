// The whole program on Oracle's path: the login, the filter lists, the grid, Ctrl+Delete, the
// period deletion and the export through the ODBC engine and the Oracle stand-in driver, each
// side by side with the same steps on the embedded engine over the same records, which must
// give the same rows, lists, deletions and file bytes.

#include "browse/loggrid.h"
#include "common/oraclestandin.h"
#include "common/session.h"
#include "common/testsupport.h"
#include "db/logdatabase.h"
#include "ui/core/statustext.h"
#include "ui/progresswait.h"

#include <QApplication>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace varnel::test {
namespace {

using Kind = ScriptedPrompts::Kind;

const QString kDbError = QStringLiteral("Ошибка подключения к базе данных!\n");
const QString kOra = QStringLiteral("[Oracle][ODBC][Ora]");

// The messages and errors a session showed, in order.
QStringList shownTexts(const Session& session)
{
    QStringList texts;
    for (const ScriptedPrompts::Shown& shown : session.prompts.shown)
        if (shown.kind == Kind::Message || shown.kind == Kind::Error)
            texts << shown.text;
    return texts;
}

QString uniqueName(const char* stem)
{
    static int made = 0;
    return QStringLiteral("%1%2").arg(QLatin1String(stem)).arg(++made);
}

// The embedded engine and Oracle's path over copies of one log file, each logged in to its copy
// as a user does.
struct SideBySide {
    SideBySide(const TempFolder& folder, const QString& source, const char* stem)
        : embeddedFile(folder.path(QStringLiteral("embedded.sqlite"))), name(uniqueName(stem)),
          embedded(folder.path(QStringLiteral("embedded.ini"))),
          oracle(folder.path(QStringLiteral("oracle.ini")))
    {
        EXPECT_TRUE(QFile::copy(source, embeddedFile));
        oracleFile = OracleStandin::place(source, name);
        opened = embedded.login({embeddedFile, QStringLiteral("LOG_TABLE")}) &&
                 oracle.login({name, QStringLiteral("LOG_TABLE")});
    }
    void both(const std::function<void(Session&)>& step)
    {
        step(embedded);
        step(oracle);
    }

    const QString embeddedFile, name;
    QString oracleFile;
    Session embedded, oracle;
    bool opened = false;
};

using OraclePath = OracleStandinTest;

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
    SideBySide sides(folder, source, "LOGS");
    Session& embedded = sides.embedded;
    Session& oracle = sides.oracle;
    const QString& embeddedFile = sides.embeddedFile;
    const QString& oracleFile = sides.oracleFile;
    ASSERT_TRUE(sides.opened) << oracle.prompts.texts().join('\n').toStdString();
    const auto both = [&](const std::function<void(Session&)>& step) {
        sides.both(step);
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

// A log whose DDATE is a TIMESTAMP(6) filled with fractions of a second, as SYSTIMESTAMP fills
// it: Oracle's path shows, sorts, finds, filters by day and exports its records as the
// embedded engine does over the same file (the dates as their seconds, the records of one
// second in the order of their fractions), and Ctrl+Delete deletes exactly the record chosen.
TEST_F(OraclePath, ATimestampLogShowsFindsExportsAndDeletesExactlyTheRecordChosen)
{
    const QString source = makeDatabase(
        folder, QStringLiteral("stamps.sqlite"),
        {"create table LOG_TABLE(sid NUMBER, ddate TIMESTAMP(6), stable VARCHAR2(50), saction "
         "VARCHAR2(10), schanges VARCHAR2(4000), suser_info VARCHAR2(100))",
         "insert into LOG_TABLE values "
         "(1, '2025-03-05 10:11:12.250000', 'СКЛАД', 'UPDATE', 'вес', 'Иванов - ПК-1 - ADMIN'), "
         "(2, '2025-03-05 10:11:12.125000', 'СКЛАД', 'INSERT', 'цена', 'Иванов - ПК-1 - ADMIN'), "
         "(3, '2025-03-05 00:00:00.000001', 'КЛИЕНТЫ', 'DELETE', 'имя', 'Петров - ПК-2 - SCOTT'), "
         "(4, '2025-03-06 08:00:00.999999', 'СКЛАД', 'UPDATE', 'вес', 'Петров - ПК-2 - SCOTT'), "
         "(5, '2025-03-04 23:59:59.999999', 'КЛИЕНТЫ', 'INSERT', 'имя', 'Иванов - ПК-1 - ADMIN')"});
    SideBySide sides(folder, source, "STAMPS");
    Session& embedded = sides.embedded;
    Session& oracle = sides.oracle;
    ASSERT_TRUE(sides.opened) << oracle.prompts.texts().join('\n').toStdString();
    const auto both = [&](const std::function<void(Session&)>& step) {
        sides.both(step);
    };
    const auto sameAsEmbedded = [&](const char* what) {
        SCOPED_TRACE(what);
        EXPECT_EQ(oracle.sids(), embedded.sids());
        EXPECT_EQ(oracle.column(QStringLiteral("DDATE")), embedded.column(QStringLiteral("DDATE")));
    };

    // Every record, then sorted by the change text and back by the date: the two of 10:11:12
    // in the order of their fractions.
    const QList<int> byTime = {5, 3, 2, 1, 4};
    both([](Session& s) { s.click("BitBtnSelect"); });
    EXPECT_EQ(oracle.sids(), byTime);
    sameAsEmbedded("Отобрать");
    EXPECT_EQ(oracle.column(QStringLiteral("DDATE")).mid(1, 3),
              QStringList({"05.03.2025", "05.03.2025 10:11:12", "05.03.2025 10:11:12"}));
    both([](Session& s) {
        s.titleClick(QStringLiteral("SCHANGES"));
        s.titleClick(QStringLiteral("DDATE"));
    });
    EXPECT_EQ(oracle.sids(), byTime);
    sameAsEmbedded("sorted by the date");

    // The find bar finds both records of that second by the time shown.
    auto* edit = oracle.find<QLineEdit>("EditFind");
    oracle.grid()->setFocus();
    QTest::keyClick(oracle.grid(), Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(edit, QStringLiteral("10:11:12"));
    const int first = oracle.sids().value(oracle.grid()->currentIndex().row());
    QTest::keyClick(edit, Qt::Key_Return);
    const int second = oracle.sids().value(oracle.grid()->currentIndex().row());
    EXPECT_EQ(std::pair(first, second), std::pair(2, 1));
    QTest::keyClick(edit, Qt::Key_Escape);

    // The day 05.03.2025 on both date boxes: its records, whatever their fraction.
    both([](Session& s) {
        for (const char* picker : {"DateTimePickerFrom", "DateTimePickerTo"})
            s.find<QDateEdit>(picker)->setDate(QDate(2025, 3, 5));
        s.click("CheckBoxDateFrom");
        s.click("CheckBoxDateTo");
        s.click("BitBtnSelect");
    });
    EXPECT_EQ(oracle.sids(), QList<int>({3, 2, 1}));
    sameAsEmbedded("the day");

    // The export of the period from 05.03 to 06.03 at 00:00:00, the dates without fractions.
    const Period period{QDate(2025, 3, 5), QDate(2025, 3, 6)};
    both([&](Session& s) {
        s.exportTo(folder.path(&s == &oracle ? "oracle.txt" : "embedded.txt"), period);
    });
    const QByteArray exported = withoutStamps(fileBytes(folder.path("oracle.txt")));
    EXPECT_EQ(exported, withoutStamps(fileBytes(folder.path("embedded.txt"))));
    EXPECT_EQ(exported.count("\r\n05.03.2025 10:11:12 - "), 2) << exported.toStdString();
    EXPECT_EQ(exported.count("\r\n05.03.2025 - "), 1) << exported.toStdString();
    EXPECT_EQ(exported.count("\r\n0"), 3) << exported.toStdString();

    // Ctrl+Delete of the record of 10:11:12.25: that one alone, not its neighbour of .125.
    both([](Session& s) { s.deleteRow(int(s.sids().indexOf(1))); });
    const auto sidsIn = [](const QString& file) {
        QList<long long> left;
        for (int sid = 1; sid <= 5; ++sid)
            if (queryScalar(
                    file,
                    QStringLiteral("select count(*) from LOG_TABLE where sid = %1").arg(sid)) == 1)
                left << sid;
        return left;
    };
    EXPECT_EQ(sidsIn(sides.oracleFile), QList<long long>({2, 3, 4, 5}))
        << oracle.prompts.texts().join('\n').toStdString();
    EXPECT_EQ(sidsIn(sides.embeddedFile), QList<long long>({2, 3, 4, 5}));
    EXPECT_EQ(oracle.sids(), QList<int>({3, 2}));

    // The period's deletion takes the other two of that day.
    both([&](Session& s) { s.deletePeriod(period); });
    EXPECT_TRUE(oracle.prompts.texts().contains(QStringLiteral("Удалено записей: 2")))
        << oracle.prompts.texts().join('|').toStdString();
    EXPECT_EQ(sidsIn(sides.oracleFile), QList<long long>({4, 5}));
    EXPECT_EQ(sidsIn(sides.embeddedFile), QList<long long>({4, 5}));
    EXPECT_EQ(oracle.prompts.texts().filter(QStringLiteral("Ошибка")), QStringList());
    EXPECT_EQ(oracle.prompts.texts().filter(QStringLiteral("Row cannot")), QStringList());
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

// What the driver says reaches the user whole, with nothing after it: Oracle's driver counts
// its messages in bytes, which would take as many NULs again into each. The third is a log
// table without the log's columns, whose failure the default error display ends with a full
// stop.
TEST_F(OraclePath, TheDriversWordsReachTheUserWholeWithNothingAfterThem)
{
    const EnvRestorer password{"VARNEL_ORACLE_STANDIN_PASSWORD"};
    qputenv("VARNEL_ORACLE_STANDIN_PASSWORD", "tiger");
    const QString name = uniqueName("WORDS");
    const QString file = OracleStandin::place(makeDemoDatabase(folder, 20), name);
    queryScalar(file, QStringLiteral("create table NOT_A_LOG(sid NUMBER)"));
    const struct {
        const char* password;
        const char* table;
        QString shown;
    } cases[] = {
        {"secret", "LOG_TABLE",
         kDbError + kOra + "ORA-01017: invalid username/password; logon denied"},
        {"tiger", "NO_LOG", kDbError + kOra + "ORA-00942: table or view does not exist"},
        {"tiger", "NOT_A_LOG", kOra + "ORA-00904: \"STABLE\": invalid identifier."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table);
        Session session(folder.path(QStringLiteral("Login.ini")));
        EXPECT_FALSE(session.login({name, c.table, QStringLiteral("scott"), c.password}));
        EXPECT_EQ(shownTexts(session), QStringList{c.shown});
    }
}

// A public synonym belongs to no schema: a log table named with its schema is created, and
// reached through a synonym of its bare name.
TEST_F(OraclePath, ALogTableNamedWithItsSchemaIsCreatedWithASynonymOfItsBareName)
{
    const QString name = uniqueName("SCHEMA");
    const QString file =
        OracleStandin::place(makeDatabase(folder, name + QStringLiteral(".sqlite")), name);
    Session session(folder.path(QStringLiteral("Login.ini")));
    ASSERT_TRUE(session.login({name, QStringLiteral("SCOTT.NEW_LOG"), QStringLiteral("scott"),
                               QStringLiteral("tiger"), true}))
        << shownTexts(session).join('|').toStdString();
    session.click("BitBtnSelect");
    EXPECT_EQ(shownTexts(session),
              QStringList{QStringLiteral("Таблица логов \"SCOTT.NEW_LOGсоздана!")});
    EXPECT_EQ(queryScalar(file, QStringLiteral("select count(*) from varnel_public_synonyms where "
                                               "name = 'NEW_LOG' and target = 'NEW_LOG'")),
              1);
}

// Oracle's driver fails over to a new session when its instance goes, and that session has
// lost the date format the program set: the program turns failover off, so that a lost
// instance fails the statement with the driver's words and never reads the dates of a period
// in another format.
TEST_F(OraclePath, ALostInstanceFailsTheStatementInsteadOfReadingDatesInAnotherFormat)
{
    const EnvRestorer instance{"VARNEL_ORACLE_STANDIN_INSTANCE"};
    qunsetenv("VARNEL_ORACLE_STANDIN_INSTANCE");
    const QString name = uniqueName("FAILOVER");
    const QString file = OracleStandin::place(makeDemoDatabase(folder, 300, 5), name);
    const auto count = [&] {
        return queryScalar(file, QStringLiteral("select count(*) from LOG_TABLE"));
    };
    const long long records = count();
    Session session(folder.path(QStringLiteral("Login.ini")));
    ASSERT_TRUE(session.login({name, QStringLiteral("LOG_TABLE")}));

    qputenv("VARNEL_ORACLE_STANDIN_INSTANCE", "another");
    const Period march{QDate(2025, 3, 1), QDate(2025, 3, 10)};
    for (const char* said : {"ORA-03113: end-of-file on communication channel",
                             "ORA-03114: not connected to ORACLE"}) {
        session.prompts.shown.clear();
        session.deletePeriod(march);
        EXPECT_EQ(shownTexts(session), QStringList{kDbError + kOra + QLatin1String(said)});
    }
    EXPECT_EQ(count(), records);
}

// Oracle's driver blocks in its connect until TCP gives up when the host does not answer (a
// mistyped one), and takes no cancel there: «Отмена» of the progress window gives the dialog
// back at once, and the next login does not wait behind the connect that still blocks.
TEST_F(OraclePath, ALoginStoppedInsideTheDriversConnectGivesTheDialogBackAndTheNextGoesOn)
{
    const EnvRestorer unreachable{"VARNEL_ORACLE_STANDIN_UNREACHABLE"};
    const QString blocked = uniqueName("UNREACHABLE"), reachable = uniqueName("LOGS");
    const QString log = makeDemoDatabase(folder, 20);
    for (const QString& name : {blocked, reachable})
        OracleStandin::place(log, name);
    qputenv("VARNEL_ORACLE_STANDIN_UNREACHABLE", blocked.toUtf8());
    // The blocked connect goes on after ten seconds whatever happens, so that a login that
    // waits for it fails this test instead of hanging it.
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout,
                     [] { qunsetenv("VARNEL_ORACLE_STANDIN_UNREACHABLE"); });
    giveUp.start(10000);

    Session session(folder.path(QStringLiteral("Login.ini")));
    QElapsedTimer clock;
    qint64 shownAt = -1;
    QString title;
    session.progressWait().whileShown = [&](QWidget& window) {
        if (shownAt >= 0)
            return;
        shownAt = clock.elapsed();
        title = window.windowTitle();
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("ButtonCancel")),
                          Qt::LeftButton);
    };
    clock.start();
    EXPECT_FALSE(session.login({blocked, QStringLiteral("LOG_TABLE")}));
    EXPECT_EQ(title, QStringLiteral("Подключение к базе данных"));
    EXPECT_GE(shownAt, 500);
    EXPECT_LT(clock.elapsed() - shownAt, 1000);
    EXPECT_TRUE(session.dialog());
    EXPECT_FALSE(session.data().connection().connected());
    EXPECT_EQ(shownTexts(session), QStringList());

    clock.restart();
    EXPECT_TRUE(session.login({reachable, QStringLiteral("LOG_TABLE")}))
        << shownTexts(session).join('|').toStdString();
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(qgetenv("VARNEL_ORACLE_STANDIN_UNREACHABLE"), blocked.toUtf8())
        << "the first connect was let go before the second login ended";
    // Now the abandoned connect opens its session, and closes it on its own thread.
    qunsetenv("VARNEL_ORACLE_STANDIN_UNREACHABLE");
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
    // The log's table made again with SCHANGES a CLOB, and two equal records of a long text.
    for (const QString& statement :
         {QStringLiteral("create table CLOB_LOG(sid NUMBER, ddate DATE, stable VARCHAR2(50), "
                         "saction VARCHAR2(10), schanges CLOB, suser_info VARCHAR2(100))"),
          QStringLiteral("insert into CLOB_LOG select * from LOG_TABLE"),
          QStringLiteral("drop table LOG_TABLE"),
          QStringLiteral("alter table CLOB_LOG rename to LOG_TABLE"),
          QStringLiteral("insert into LOG_TABLE values (900001, '2025-04-01 12:00:00', 'СКЛАД', "
                         "'UPDATE', '%1', 'Иванов - ПК-1 - ADMIN')")
              .arg(QString(longText).replace(u'\'', QStringLiteral("''"))),
          QStringLiteral("insert into LOG_TABLE select * from LOG_TABLE where sid = 900001")})
        queryScalar(source, statement);
    SideBySide sides(folder, source, "CLOBS");
    Session& embedded = sides.embedded;
    Session& oracle = sides.oracle;
    const QString& oracleFile = sides.oracleFile;
    ASSERT_TRUE(sides.opened) << oracle.prompts.texts().join('\n').toStdString();
    sides.both([](Session& s) { s.click("BitBtnSelect"); });
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

    sides.both([&](Session& s) {
        s.exportTo(folder.path(&s == &oracle ? "oracle.txt" : "embedded.txt"));
    });
    const QByteArray exported = withoutStamps(fileBytes(folder.path("oracle.txt")));
    EXPECT_EQ(exported.count("NEEDLE"), 2);
    EXPECT_EQ(exported, withoutStamps(fileBytes(folder.path("embedded.txt"))));

    sides.both([](Session& s) { s.deleteRow(int(s.sids().indexOf(900001))); });
    EXPECT_EQ(queryScalar(oracleFile,
                          QStringLiteral("select count(*) from LOG_TABLE where sid = 900001")),
              1)
        << oracle.prompts.texts().join('\n').toStdString();
    EXPECT_EQ(queryScalar(oracleFile, QStringLiteral("select count(*) from LOG_TABLE")), 401);
    EXPECT_EQ(oracle.sids(), embedded.sids());
    EXPECT_EQ(oracle.prompts.texts().filter(QStringLiteral("Ошибка")), QStringList());
}

} // namespace
} // namespace varnel::test
