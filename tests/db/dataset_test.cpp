// The gateway on databases made by the demo generator: connection, datasets, fields, sorting and
// deleting the current record.

#include "base/largepages.h"
#include "common/testsupport.h"
#include "db/connectionstring.h"
#include "db/dberror.h"
#include "db/logdatabase.h"

#include <QCollator>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace varnel;
using namespace varnel::test;

namespace {

class Gateway : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = makeDemoDatabase(folder, 2000);
        data.connection().connect(localConnectionString(path));
        data.setCurrentLogTable(QStringLiteral("LOG_TABLE"));
    }

    void openMain(const QString& sql =
                      QStringLiteral("Select * from LOG_TABLE where 1=1 order by ddate, sid"))
    {
        main().setText(sql);
        main().open();
    }
    Dataset& main() { return data.mainDataset(); }

    // Switches to a database of its own with a log table LOGS holding these rows.
    QString useLogs(std::initializer_list<const char*> rows)
    {
        QStringList statements{QStringLiteral(
            "create table LOGS(sid NUMBER, ddate DATE, stable VARCHAR2(50), saction VARCHAR2(10), "
            "schanges VARCHAR2(4000), suser_info VARCHAR2(100))")};
        for (const char* row : rows)
            statements << QStringLiteral("insert into LOGS values ") + QString::fromUtf8(row);
        const QString file = makeDatabase(folder, QStringLiteral("logs.sqlite"), statements);
        data.connection().connect(localConnectionString(file));
        data.setCurrentLogTable(QStringLiteral("logs"));
        return file;
    }

    TempFolder folder;
    QString path;
    LogDatabase data;
};

} // namespace

TEST_F(Gateway, TextIsKeptAsLinesAndReadBackWithCrLfAfterEach)
{
    const std::pair<QString, QString> cases[] = {
        {"Select * from T", "Select * from T\r\n"},
        {"a\nb\r\nc\rd", "a\r\nb\r\nc\r\nd\r\n"},
        {"a\r\n", "a\r\n"},
        {"a\n\nb", "a\r\n\r\nb\r\n"},
        {"", ""},
    };
    for (const auto& [text, expected] : cases) {
        main().setText(text);
        EXPECT_EQ(main().getText(), expected);
    }
    main().clearText();
    EXPECT_EQ(main().getText(), QString());
}

TEST_F(Gateway, OpenFetchesOnceCloseDiscardsAndANewTextCloses)
{
    QSignalSpy opened(&main(), &Dataset::opened), closed(&main(), &Dataset::closed);
    openMain();
    EXPECT_EQ(main().recordCount(), 2000);
    // A second open must not re-run the statement: rows deleted since are still shown.
    data.commandDataset().setText(QStringLiteral("delete LOG_TABLE where sid > 5"));
    data.commandDataset().execute();
    main().open();
    EXPECT_EQ(opened.count(), 1);
    EXPECT_EQ(main().recordCount(), 2000);
    // Rows never outlive their text.
    main().setText(QStringLiteral("Select sid from LOG_TABLE where sid is not null order by sid"));
    EXPECT_FALSE(main().isOpen());
    EXPECT_EQ(closed.count(), 1);
    main().close();
    EXPECT_EQ(closed.count(), 1);
    main().open();
    QStringList seen;
    for (main().first(); !main().atEnd(); main().next())
        seen << main().field(QStringLiteral("SID")).displayText();
    EXPECT_EQ(seen, QStringList({"1", "2", "3", "4", "5"}));

    main().setText(QStringLiteral("Select * from NO_SUCH_TABLE"));
    EXPECT_EQ(errorOf([&] { main().open(); }),
              QStringLiteral("ORA-00942: table or view does not exist"));
    EXPECT_FALSE(main().isOpen());
    EXPECT_TRUE(main().atEnd());
}

TEST_F(Gateway, FieldsByNameWithDisplayTextAndGridSettings)
{
    useLogs({"(1, '2026-12-07 00:00:12', 'T', NULL, NULL, NULL)",
             "(2, '2026-12-07 00:00:00', 'T', NULL, NULL, NULL)"});
    openMain(QStringLiteral("Select * from LOGS order by sid"));
    Field date = main().field(QStringLiteral("ddate"));
    EXPECT_EQ(date.name(), QStringLiteral("DDATE"));
    EXPECT_EQ(date.displayLabel(), QStringLiteral("DDATE"));
    EXPECT_TRUE(date.visible());
    EXPECT_EQ(date.displayText(), QStringLiteral("07.12.2026 00:00:12"));
    EXPECT_TRUE(main().field(QStringLiteral("SACTION")).isNull());
    EXPECT_EQ(main().field(QStringLiteral("SACTION")).displayText(), QString());
    main().next();
    EXPECT_EQ(date.displayText(), QStringLiteral("07.12.2026"));

    QSignalSpy changed(&main(), &Dataset::fieldsChanged);
    Field sid = main().field(QStringLiteral("Sid"));
    sid.setVisible(false);
    main().field(QStringLiteral("STABLE")).setDisplayLabel(QStringLiteral("Таблица"));
    main().field(QStringLiteral("STABLE")).setDisplayWidth(30);
    EXPECT_EQ(changed.count(), 3);
    EXPECT_FALSE(main().field(QStringLiteral("SID")).visible());
    EXPECT_EQ(main().field(QStringLiteral("stable")).displayLabel(), QStringLiteral("Таблица"));
    EXPECT_EQ(main().field(QStringLiteral("stable")).displayWidth(), 30);

    // Settings belong to the open result.
    main().close();
    main().open();
    EXPECT_TRUE(main().field(QStringLiteral("SID")).visible());
    EXPECT_EQ(main().field(QStringLiteral("STABLE")).displayLabel(), QStringLiteral("STABLE"));
    EXPECT_EQ(main().field(QStringLiteral("STABLE")).displayWidth(), 50);
}

TEST_F(Gateway, FieldAndSortErrorsNameTheSlot)
{
    EXPECT_EQ(errorOf([&] { main().field(QStringLiteral("SID")); }),
              QStringLiteral("ADOQueryMain: Cannot perform this operation on a closed dataset"));
    EXPECT_EQ(errorOf([&] { main().sortBy(QStringLiteral("STABLE")); }),
              QStringLiteral("ADOQueryMain: Cannot perform this operation on a closed dataset"));
    openMain(QStringLiteral("Select sid, stable from LOG_TABLE"));
    EXPECT_EQ(errorOf([&] { main().field(QStringLiteral("SUSER_INFO")); }),
              QStringLiteral("ADOQueryMain: Field 'SUSER_INFO' not found"));
}

TEST_F(Gateway, SortByReordersFetchedRowsOnlyAndKeepsTheCurrentRecord)
{
    openMain();
    main().setCurrentRow(100);
    const QString currentSid = main().field(QStringLiteral("SID")).displayText();
    QSignalSpy reordered(&main(), &Dataset::reordered);

    // Rows written after the open must not appear: the sort never asks the database.
    data.commandDataset().setText(QStringLiteral("delete LOG_TABLE where sid > 10"));
    data.commandDataset().execute();
    main().sortBy(QStringLiteral("stable"));
    EXPECT_EQ(reordered.count(), 1);
    EXPECT_EQ(main().recordCount(), 2000);
    EXPECT_EQ(main().field(QStringLiteral("SID")).displayText(), currentSid);

    // Ascending by table; equal tables keep the main query's date order; NULLs last.
    const RowSet& rows = main().rows();
    const int stable = rows.indexOf(u"STABLE");
    const int ddate = rows.indexOf(u"DDATE");
    QCollator collator(QLocale(QLocale::Russian, QLocale::Russia));
    bool sawNull = false;
    for (int i = 1; i < main().recordCount(); ++i) {
        const uint32_t a = main().rowAt(i - 1), b = main().rowAt(i);
        if (rows.isNull(b, stable)) {
            sawNull = true;
            continue;
        }
        ASSERT_FALSE(rows.isNull(a, stable)) << "a NULL before a value at " << i;
        const QString ta = main().displayText(i - 1, stable), tb = main().displayText(i, stable);
        const int order = collator.compare(ta, tb);
        ASSERT_LE(order, 0) << i;
        if (ta == tb && !rows.isNull(a, ddate) && !rows.isNull(b, ddate)) {
            ASSERT_LE(rows.dateSeconds(a, ddate), rows.dateSeconds(b, ddate)) << i;
        }
    }
    EXPECT_TRUE(sawNull);
}

TEST_F(Gateway, SortDirectionLastsUntilTheNextOpeningAndACancelledSortChangesNothing)
{
    openMain();
    EXPECT_EQ(main().sortColumn(), -1);
    main().setCurrentRow(100);
    const QString currentSid = main().field(QStringLiteral("SID")).displayText();
    const int stable = main().field(QStringLiteral("STABLE")).index();
    main().sortBy(QStringLiteral("STABLE"), Qt::DescendingOrder);
    EXPECT_EQ(std::pair(main().sortColumn(), main().sortOrder()),
              std::pair(stable, Qt::DescendingOrder));
    EXPECT_EQ(main().field(QStringLiteral("SID")).displayText(), currentSid);

    // Descending by table: NULLs first.
    EXPECT_TRUE(main().rows().isNull(main().rowAt(0), stable));
    EXPECT_FALSE(main().rows().isNull(main().rowAt(main().recordCount() - 1), stable));

    // Cancelled before it could finish: the order and its direction stay.
    struct Impatient : Waiter {
        void wait(Call& call) override
        {
            call.cancel();
            call.waitFinished();
        }
    } impatient;
    std::vector<uint32_t> before;
    for (int row = 0; row < main().recordCount(); ++row)
        before.push_back(main().rowAt(row));
    data.connection().setWaiter(&impatient);
    for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
        EXPECT_THROW(main().sortBy(QStringLiteral("SID"), order), Cancelled);
        std::vector<uint32_t> after;
        for (int row = 0; row < main().recordCount(); ++row)
            after.push_back(main().rowAt(row));
        EXPECT_EQ(after, before);
        EXPECT_EQ(std::pair(main().sortColumn(), main().sortOrder()),
                  std::pair(stable, Qt::DescendingOrder));
    }
    data.connection().setWaiter(nullptr);

    // A new opening shows the fetched order, and so does the same text opened again.
    main().close();
    EXPECT_EQ(main().sortColumn(), -1);
    main().open();
    EXPECT_EQ(main().sortColumn(), -1);
    main().sortBy(QStringLiteral("STABLE"));
    openMain(QStringLiteral("Select * from LOG_TABLE where sid < 10"));
    EXPECT_EQ(main().sortColumn(), -1);
}

// Cells are read row after row in the shown order, within a row in the order of the columns
// given (the grid's shown ones); what a text matched is kept only for its opening.
TEST_F(Gateway, FindStepsThroughTheMatchingCellsInTheShownOrderAndGoesOnAtTheOtherEnd)
{
    useLogs({
        "(1, '2026-12-07 10:00:00', 'ORDERS', 'UPDATE', 'price: 10', 'petrov - ws1 - app')",
        "(2, '2026-12-07 00:00:00', 'CLIENTS', 'INSERT', 'Petrov' || char(10) || 'Ivan', "
        "'ivanov - ws2 - app')",
        "(3, NULL, 'orders', 'DELETE', NULL, 'PETROV - WS3 - APP')",
        "(4, '2026-12-08 10:00:00', 'Склад', 'update', 'склад ordersы', 'sidorov')",
    });
    using From = Dataset::FindFrom;
    const std::vector<int> shown = {1, 2, 3, 4, 5}; // SID left out
    const auto find = [&](const char* text, int row, int index, From from) {
        const Dataset::FoundCell found =
            main().find(QString::fromUtf8(text), shown, row, index, from);
        return std::tuple(found.row, found.column, found.wrapped);
    };
    EXPECT_EQ(find("petrov", 0, 0, From::Here), std::tuple(-1, -1, false)); // closed
    openMain(QStringLiteral("Select * from logs order by sid"));
    const struct {
        const char* text;
        int row, index;
        From from;
        std::tuple<int, int, bool> found;
    } cases[] = {
        {"petrov", 0, 0, From::Here, {0, 5, false}},
        {"petrov", 0, 4, From::After, {1, 4, false}},
        {"PETROV", 1, 3, From::After, {2, 5, false}},
        {"petrov", 2, 4, From::After, {0, 5, true}},
        {"petrov", 0, 4, From::Before, {2, 5, true}},
        {"petrov", 2, 4, From::Before, {1, 4, false}},
        {"petrov", 1, 3, From::Here, {1, 4, false}},
        {"price", 0, 3, From::After, {0, 4, true}},       // the cell itself comes last
        {"petrov ivan", 3, 0, From::After, {1, 4, true}}, // the line break shows as a blank
        {"07.12.2026 10", 1, 0, From::Here, {0, 1, true}},
        {"07.12.2026", 0, 0, From::After, {1, 1, false}},
        {"склад", 3, 1, From::After, {3, 4, false}},
        {"склад", 3, 3, From::After, {3, 2, true}},
        {"склад", 3, 1, From::Before, {3, 4, true}},
        {"4", 0, 0, From::Here, {-1, -1, false}}, // only in SID, which is not shown
        {"zzz", 2, 2, From::Here, {-1, -1, false}},
        {"", 0, 0, From::Here, {-1, -1, false}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(find(c.text, c.row, c.index, c.from), c.found)
            << c.text << " from " << c.row << ":" << c.index;

    // Sorted: Cyrillic first, then lower case before upper; the shown order is read.
    main().sortBy(QStringLiteral("STABLE"));
    EXPECT_EQ(find("petrov", 0, 0, From::Here), std::tuple(1, 4, false));
    main().setCurrentRow(1);
    main().deleteCurrent(data.currentLogTable());
    EXPECT_EQ(find("petrov", 0, 0, From::Here), std::tuple(1, 5, false));
    // Another opening reads its own rows.
    main().close();
    data.commandDataset().setText(QStringLiteral("update logs set suser_info = 'x'"));
    data.commandDataset().execute();
    main().open();
    EXPECT_EQ(find("petrov", 0, 0, From::Here), std::tuple(-1, -1, false));
}

TEST_F(Gateway, SortByNumberIsNumeric)
{
    openMain(
        QStringLiteral("Select sid from LOG_TABLE where sid in (9, 10, 100, 2) order by sid desc"));
    main().sortBy(QStringLiteral("SID"));
    QStringList seen;
    for (main().first(); !main().atEnd(); main().next())
        seen << main().field(QStringLiteral("SID")).displayText();
    EXPECT_EQ(seen, QStringList({"2", "9", "10", "100"}));
}

TEST_F(Gateway, DeleteCurrentRemovesExactlyOneOfIdenticalRecords)
{
    const QString dupPath = useLogs({
        "(1, '2026-12-07 10:00:00', 'T', 'UPDATE', NULL, 'a - b - c')",
        "(1, '2026-12-07 10:00:00', 'T', 'UPDATE', NULL, 'a - b - c')",
        "(1, '2026-12-07 10:00:00', 'T', 'UPDATE', NULL, 'a - b - c')",
        "(NULL, NULL, NULL, NULL, NULL, NULL)",
        "(2, '2026-12-07 00:00:00', 'Склад', 'INSERT', 'x', 'y')",
    });
    openMain(QStringLiteral("Select * from logs where 1=1 order by ddate, sid"));
    ASSERT_EQ(main().recordCount(), 5);
    QSignalSpy removed(&main(), &Dataset::rowRemoved);

    main().setCurrentRow(1); // the first of the three identical 10:00 records
    main().deleteCurrent(data.currentLogTable());
    EXPECT_EQ(queryScalar(dupPath, QStringLiteral("select count(*) from LOGS where sid = 1")), 2);
    EXPECT_EQ(main().recordCount(), 4);
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed.at(0).at(0).toInt(), 1);
    EXPECT_EQ(main().currentRow(), 1);

    // The all-NULL record, last in the order, matches through NULL = NULL.
    main().setCurrentRow(3);
    EXPECT_TRUE(main().field(QStringLiteral("SID")).isNull());
    main().deleteCurrent(data.currentLogTable());
    EXPECT_EQ(queryScalar(dupPath, QStringLiteral("select count(*) from LOGS where sid is null")),
              0);
    EXPECT_EQ(main().currentRow(), 2);

    // A record that someone else deleted meanwhile cannot be deleted again.
    main().setCurrentRow(0);
    data.commandDataset().setText(QStringLiteral("delete logs where sid = 2"));
    data.commandDataset().execute();
    EXPECT_TRUE(errorOf([&] {
                    main().deleteCurrent(data.currentLogTable());
                }).startsWith(QStringLiteral("Row cannot be located")));
    EXPECT_EQ(main().recordCount(), 3);
}

TEST_F(Gateway, DeleteCurrentNeverRunsASecondStatementFromTheTableName)
{
    openMain();
    data.setCurrentLogTable(QStringLiteral("LOG_TABLE; drop table LOG_TABLE"));
    EXPECT_EQ(errorOf([&] { main().deleteCurrent(data.currentLogTable()); }),
              QStringLiteral("ORA-00911: invalid character"));
    EXPECT_EQ(queryScalar(path, QStringLiteral("select count(*) from LOG_TABLE")), 2000);
    EXPECT_EQ(main().recordCount(), 2000);
}

// A deletion that cannot name its record, or its table, is refused before the database is
// asked; the table given is the one deleted from, whatever the dataset's text reads.
TEST_F(Gateway, DeleteCurrentRefusesWithoutARowOrATableAndDeletesFromTheTableGiven)
{
    const struct {
        const char* sql; // nullptr: the dataset stays closed
        const char* table;
        const char* error;
        long long left; // records of LOG_TABLE afterwards
    } cases[] = {
        {nullptr, "LOG_TABLE", "ADOQueryMain: Cannot perform this operation on a closed dataset",
         2000},
        {"Select * from LOG_TABLE where sid < 0", "LOG_TABLE",
         "ADOQueryMain: Cannot perform this operation on an empty dataset", 2000},
        {"Select * from LOG_TABLE", "", "ADOQueryMain: No log table is chosen", 2000},
        {"Select * from LOG_TABLE", "NO_SUCH_TABLE", "ORA-00942: table or view does not exist",
         2000},
        {"Select * from LOG_TABLE", "LOG_TABLE", "<no error>", 1999},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table);
        main().close();
        if (c.sql)
            openMain(QString::fromLatin1(c.sql));
        EXPECT_EQ(errorOf([&] { main().deleteCurrent(QString::fromLatin1(c.table)); }),
                  QString::fromLatin1(c.error));
        EXPECT_EQ(queryScalar(path, QStringLiteral("select count(*) from LOG_TABLE")), c.left);
    }
}

// The regional settings given at connect, not the default ones (Russian here), read the date
// texts of statements and show the rows: the two orders of day and month tell them apart.
TEST_F(Gateway, TheLocaleOfTheConnectionReadsStatementDatesAndShowsTheRows)
{
    useLogs({"(1, '2026-12-07 10:30:00', 'T', 'UPDATE', NULL, 'a - b - c')",
             "(2, '2026-07-12 10:30:00', 'T', 'UPDATE', NULL, 'a - b - c')"});
    for (const QLocale& qlocale : {QLocale(QLocale::English, QLocale::UnitedStates),
                                   QLocale(QLocale::English, QLocale::UnitedKingdom)}) {
        SCOPED_TRACE(qlocale.name().toStdString());
        const LocaleText locale(qlocale);
        data.connection().disconnect();
        data.connection().connect(locale);
        openMain(QStringLiteral("Select sid, ddate from logs where trunc(ddate) = '%1'")
                     .arg(locale.dateText(QDate(2026, 12, 7))));
        ASSERT_EQ(main().recordCount(), 1);
        EXPECT_EQ(main().displayText(0, 0), QStringLiteral("1"));
        EXPECT_EQ(main().displayText(0, 1), locale.dateTimeText(QDate(2026, 12, 7), QTime(10, 30)));
    }
}

TEST_F(Gateway, DisconnectClosesEverySlot)
{
    openMain();
    data.dataset(DatasetRole::Table)
        .setText(QStringLiteral("Select distinct upper(stable) stable from LOG_TABLE"));
    data.dataset(DatasetRole::Table).open();
    data.connection().disconnect();
    data.connection().disconnect();
    EXPECT_FALSE(main().isOpen());
    EXPECT_FALSE(data.dataset(DatasetRole::Table).isOpen());
    EXPECT_EQ(errorOf([&] { main().open(); }),
              QStringLiteral("ADOConnectionBase: Connection is not open"));
}

TEST_F(Gateway, ANewConnectionStringReachesTheNewDatabase)
{
    Connection& connection = data.connection();
    const QString first = connection.connectionString();
    openMain();

    // The same string over an open connection changes nothing.
    connection.connect(first);
    EXPECT_TRUE(main().isOpen());

    const QString other = makeDemoDatabase(folder, 10, 2);
    connection.setConnectionString(localConnectionString(other));
    EXPECT_FALSE(connection.connected());
    EXPECT_FALSE(main().isOpen());
    connection.connect();
    openMain(QStringLiteral("Select * from LOG_TABLE"));
    EXPECT_EQ(main().recordCount(), 10);
}

TEST_F(Gateway, APasswordWithASemicolonCannotRedirectTheConnection)
{
    const QString decoy = makeDemoDatabase(folder, 3, 3);
    Connection connection;
    connection.connect(
        buildConnectionString(QStringLiteral("x;Data Source=") + decoy, QStringLiteral("u"), path));
    EXPECT_EQ(connection.engine().query(QStringLiteral("Select * from LOG_TABLE")).rowCount(),
              2000u);
}

TEST(Connection, FailuresSayWhatIsWrong)
{
    TempFolder folder;
    QFile notADatabase(folder.path(QStringLiteral("notes.db")));
    ASSERT_TRUE(notADatabase.open(QIODevice::WriteOnly));
    notADatabase.write(
        "this is not a database, just text that is long enough to be read as a header");
    notADatabase.close();

    const std::pair<QString, QString> cases[] = {
        {folder.path(QStringLiteral("missing.sqlite")), "missing.sqlite"},
        {folder.path(QStringLiteral("notes.db")), "not a database"},
        {QStringLiteral("ORCL"), "Oracle"},
    };
    for (const auto& [source, fragment] : cases) {
        Connection connection;
        EXPECT_TRUE(errorOf([&, &source = source] {
                        connection.connect(localConnectionString(source));
                    }).contains(fragment))
            << source.toStdString();
        EXPECT_FALSE(connection.connected());
    }
    EXPECT_FALSE(QFile::exists(folder.path(QStringLiteral("missing.sqlite"))));
}

TEST_F(Gateway, ALogTableThatAnotherProgramCreatesMeanwhileReadsDates)
{
    openMain();
    makeDatabase(folder, QFileInfo(path).fileName(),
                 {QStringLiteral("create table LATE_LOG(sid NUMBER, stamp DATE)"),
                  QStringLiteral("insert into LATE_LOG values (1, '2026-12-07 10:00:00')")});
    // The column, not trunc(), tells that the quoted text is a date.
    openMain(
        QStringLiteral("Select * from LATE_LOG where stamp between '07.12.2026' and '08.12.2026'"));
    EXPECT_EQ(main().recordCount(), 1);
}

// Views build begin/end pairs from these signals: each change is announced while the old rows
// are still what the dataset shows, and reported when done; a change that fails sends neither.
// A view moves the cursor while it hears of a removal (a selection model does): the row after
// the deleted one is current all the same.
TEST_F(Gateway, ChangesAreAnnouncedBeforeAndReportedAfterAndFailuresSendNothing)
{
    useLogs({"(3, NULL, 'c', NULL, NULL, NULL)", "(1, NULL, 'a', NULL, NULL, NULL)",
             "(4, NULL, 'd', NULL, NULL, NULL)", "(2, NULL, 'b', NULL, NULL, NULL)"});
    Dataset& dataset = main();
    QStringList heard;
    const auto state = [&] {
        return QStringLiteral("rows=%1 first=%2")
            .arg(dataset.recordCount())
            .arg(dataset.displayText(0, 0));
    };
    const auto hear = [&](const char* name) {
        return [&, name] {
            heard << QString::fromLatin1(name) + ' ' + state();
        };
    };
    QObject::connect(&dataset, &Dataset::aboutToOpen, hear("aboutToOpen"));
    QObject::connect(&dataset, &Dataset::opened, hear("opened"));
    QObject::connect(&dataset, &Dataset::aboutToClose, hear("aboutToClose"));
    QObject::connect(&dataset, &Dataset::closed, hear("closed"));
    QObject::connect(&dataset, &Dataset::aboutToReorder, hear("aboutToReorder"));
    QObject::connect(&dataset, &Dataset::reordered, hear("reordered"));
    QObject::connect(&dataset, &Dataset::aboutToRemoveRow, [&](int row) {
        heard << QStringLiteral("aboutToRemoveRow %1 ").arg(row) + state();
        dataset.setCurrentRow(row + 1);
    });
    QObject::connect(&dataset, &Dataset::rowRemoved, [&](int row) {
        heard << QStringLiteral("rowRemoved %1 ").arg(row) + state() + QStringLiteral(" current=") +
                     dataset.field(QStringLiteral("SID")).displayText();
    });

    const std::pair<std::function<void()>, QStringList> steps[] = {
        {[&] { openMain(QStringLiteral("Select * from logs")); },
         {"aboutToOpen rows=0 first=", "opened rows=4 first=3"}},
        {[&] { dataset.sortBy(QStringLiteral("SID")); },
         {"aboutToReorder rows=4 first=3", "reordered rows=4 first=1"}},
        {[&] {
             dataset.setCurrentRow(1);
             dataset.deleteCurrent(data.currentLogTable());
         },
         {"aboutToRemoveRow 1 rows=4 first=1", "rowRemoved 1 rows=3 first=1 current=3"}},
        {[&] {
             data.commandDataset().setText(QStringLiteral("delete logs where sid = 3"));
             data.commandDataset().execute();
             dataset.deleteCurrent(data.currentLogTable()); // the record is gone: fails
         },
         {}},
        {[&] { dataset.close(); }, {"aboutToClose rows=3 first=1", "closed rows=0 first="}},
        {[&] { dataset.sortBy(QStringLiteral("SID")); }, {}},
        {[&] { openMain(QStringLiteral("Select * from NO_SUCH_TABLE")); }, {}},
    };
    for (const auto& [step, expected] : steps) {
        heard.clear();
        try {
            step();
        } catch (const DbError&) {
        }
        EXPECT_EQ(heard, expected);
    }
}

// Memory of a closed snapshot waits for the next; the blocks that its arrays outgrew while
// they were fetched do not stay beside it (ten million records would keep a few hundred
// megabytes that nothing uses).
TEST(SnapshotMemory, OnlyAClosedSnapshotsBlocksAreKeptForTheNext)
{
    TempFolder folder;
    LogDatabase data;
    data.connection().connect(localConnectionString(makeDemoDatabase(folder, 300000)));
    Dataset& dataset = data.mainDataset();
    dataset.setText(QStringLiteral("Select * from LOG_TABLE"));
    releaseKeptBlocks();

    dataset.open();
    EXPECT_EQ(keptBytes(), 0u);
    const size_t held = dataset.rows().allocatedBytes();
    dataset.close();
    const size_t kept = keptBytes();
    EXPECT_GT(kept, 0u);
    EXPECT_LE(kept, held);
    dataset.open();
    EXPECT_LT(keptBytes(), kept); // the next snapshot took them
    data.connection().disconnect();
    EXPECT_EQ(keptBytes(), 0u);
}
