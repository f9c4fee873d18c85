// The log grid and its model on generated databases: real widgets, keys and clicks, the
// scripted prompts answering the question of Ctrl+Delete.

#include "app/wheeltoarrowfilter.h"
#include "browse/findbar.h"
#include "browse/loggrid.h"
#include "browse/loggridmodel.h"
#include "common/scriptedprompts.h"
#include "common/testsupport.h"
#include "db/dberror.h"
#include "db/logdatabase.h"
#include "db/logtableschema.h"
#include "ui/windowsupport.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyledItemDelegate>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>

#include <gtest/gtest.h>

#include <functional>

namespace varnel::test {
namespace {

const QString AllRows = QStringLiteral("Select * from %1 where 1=1 order by ddate, sid");

class Grid : public testing::Test {
protected:
    Grid()
    {
        // Cells take the window's font; titles must not.
        QFont font(QStringLiteral("Comic Sans MS"));
        font.setPixelSize(15);
        font.setBold(true);
        window.setFont(font);
        grid->resize(900, 300);
        (new QLineEdit(&window))->move(0, 310); // somewhere for Tab to go, were it let out
        grid->attach(dataset(), prompts, [this] { return data.currentLogTable(); });
        useDatabase(makeDemoDatabase(folder, 300), QStringLiteral("LOG_TABLE"));
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        grid->setFocus();
    }

    void useDatabase(const QString& path, const QString& table)
    {
        data.connection().connect(localConnectionString(path));
        data.setCurrentLogTable(table);
    }
    // A database of its own whose log table LOGS holds these rows (SQLite values lists).
    QString useLogs(const QStringList& rows)
    {
        QStringList statements{createLogTableStatement(QStringLiteral("LOGS"))};
        for (const QString& row : rows)
            statements << QStringLiteral("insert into LOGS values ") + row;
        const QString path =
            makeDatabase(folder, QStringLiteral("logs%1.sqlite").arg(++m_databases), statements);
        useDatabase(path, QStringLiteral("LOGS"));
        return path;
    }
    // Opens the main query and sets its columns up as the page does after each opening.
    void open(const QString& table = QStringLiteral("LOG_TABLE"))
    {
        dataset().setText(AllRows.arg(table));
        dataset().open();
        dataset().field(QStringLiteral("SID")).setVisible(false);
        dataset().field(QStringLiteral("STABLE")).setDisplayLabel(QStringLiteral("Таблица"));
        dataset().field(QStringLiteral("STABLE")).setDisplayWidth(30);
        dataset().field(QStringLiteral("SCHANGES")).setDisplayWidth(80);
    }
    Dataset& dataset() { return data.mainDataset(); }
    int column(const char* name) { return dataset().field(QString::fromLatin1(name)).index(); }
    QModelIndex cell(int row, const char* name) { return grid->model()->index(row, column(name)); }
    void key(int key, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::keyClick(grid, Qt::Key(key), modifiers);
    }
    // The row whose indicator is drawn, as the screen shows it.
    int markedRow()
    {
        QHeaderView& indicator = *grid->verticalHeader();
        const QImage image = indicator.grab().toImage();
        for (int y = 0; y < image.height(); ++y)
            if (image.pixelColor(image.width() / 2, y).lightness() < 80)
                return indicator.logicalIndexAt(y);
        return -1;
    }
    QPoint titleCentre(int column)
    {
        return {grid->columnViewportPosition(column) + grid->columnWidth(column) / 2, 5};
    }

    TempFolder folder;
    LogDatabase data;
    ScriptedPrompts prompts;
    QWidget window;
    LogGrid* grid = new LogGrid(&window);

private:
    int m_databases = 0;
};

// The tester aborts on the first broken rule. Persistent indexes follow their records through
// a sort; a failed open changes nothing.
TEST_F(Grid, ModelStaysConsistentThroughOpenSortDeleteAndClose)
{
    LogGridModel& model = *grid->gridModel();
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    const auto shape = [&] {
        return std::tuple(model.rowCount(), model.columnCount(),
                          model.headerData(0, Qt::Horizontal).toString());
    };
    EXPECT_EQ(shape(), std::tuple(0, 1, QString()));
    open();
    EXPECT_EQ(shape(), std::tuple(300, 6, QStringLiteral("SID")));
    const QPersistentModelIndex kept = model.index(10, column("SID"));
    const QString keptSid = kept.data().toString();
    dataset().sortBy(QStringLiteral("STABLE"));
    EXPECT_EQ(kept.data().toString(), keptSid);
    EXPECT_NE(kept.row(), 10);
    dataset().setCurrentRow(5);
    dataset().deleteCurrent(data.currentLogTable());
    EXPECT_EQ(model.rowCount(), 299);
    dataset().close();
    dataset().setText(QStringLiteral("Select * from NO_SUCH_TABLE"));
    EXPECT_THROW(dataset().open(), DbError);
    EXPECT_EQ(shape(), std::tuple(0, 1, QString()));
}

TEST_F(Grid, CtrlDeleteAsksAndDeletesExactlyTheCurrentOfTwoIdenticalRecords)
{
    const struct {
        bool answer;
        const char* logTable;
        QStringList shown;
        long long identicalLeft;
    } cases[] = {
        {true, "LOGS", {"Delete record?", "Удалено записей: 1"}, 1},
        {false, "LOGS", {"Delete record?"}, 2},
        {true, "GONE", {"Delete record?", "ORA-00942: table or view does not exist."}, 2},
    };
    for (const auto& c : cases) {
        const QString path = useLogs({"(1, '2026-12-07 10:00:00', 'T', 'UPDATE', 'x', 'u')",
                                      "(1, '2026-12-07 10:00:00', 'T', 'UPDATE', 'x', 'u')",
                                      "(2, '2026-12-08 10:00:00', 'T', 'INSERT', 'y', 'u')"});
        open(QStringLiteral("LOGS"));
        data.setCurrentLogTable(QString::fromLatin1(c.logTable));
        grid->setCurrentIndex(cell(1, "SACTION"));
        prompts.shown.clear();
        prompts.answers = {c.answer};
        key(Qt::Key_Delete, Qt::ControlModifier);
        EXPECT_EQ(prompts.texts(), c.shown) << c.shown.back().toStdString();
        EXPECT_EQ(prompts.shown.front().owner, grid);
        EXPECT_EQ(queryScalar(path, "select count(*) from LOGS where sid = 1"), c.identicalLeft);
        EXPECT_EQ(grid->model()->rowCount(), int(c.identicalLeft) + 1);
        EXPECT_EQ(dataset().currentRow(), grid->currentIndex().row());
    }
    // Closed, or open without rows: no question (an unexpected one fails the test).
    prompts.shown.clear();
    dataset().close();
    key(Qt::Key_Delete, Qt::ControlModifier);
    dataset().setText(QStringLiteral("Select * from LOGS where 1=0"));
    dataset().open();
    key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_TRUE(prompts.shown.empty());
}

// Digits of the cells' font (the window's), titles in the same face at 12 pixels, regular.
TEST_F(Grid, ColumnsAsWideAsTheirDigitsButNeverNarrowerThanTheirTitles)
{
    QFont cells = window.font(), titles = cells;
    titles.setPixelSize(12);
    titles.setBold(false);
    EXPECT_EQ(grid->horizontalHeader()->font(), titles);
    const int zero = QFontMetrics(cells).horizontalAdvance('0');
    const struct {
        const char* field;
        QString label;
        int width, expected;
    } cases[] = {
        {"STABLE", "Таблица", 30, 30 * zero + 4},
        {"SACTION", "Тип действия", 1, QFontMetrics(titles).horizontalAdvance("Тип действия") + 4},
        {"SCHANGES", "", 1, zero + 4},
    };
    open();
    for (const auto& c : cases) {
        dataset().field(c.field).setDisplayLabel(c.label);
        dataset().field(c.field).setDisplayWidth(c.width);
        EXPECT_EQ(grid->columnWidth(column(c.field)), c.expected) << c.field;
    }
    // A title border dragged by the user; a new setting applies the rule again.
    QWidget* titleRow = grid->horizontalHeader()->viewport();
    const int stable = column("STABLE");
    const QPoint border(grid->columnViewportPosition(stable) + grid->columnWidth(stable) - 1, 5);
    QTest::mousePress(titleRow, Qt::LeftButton, {}, border);
    QTest::mouseMove(titleRow, border + QPoint(40, 0));
    QTest::mouseRelease(titleRow, Qt::LeftButton, {}, border + QPoint(40, 0));
    EXPECT_EQ(grid->columnWidth(stable), 30 * zero + 44);
    dataset().field("STABLE").setDisplayWidth(30);
    EXPECT_EQ(grid->columnWidth(stable), 30 * zero + 4);
}

TEST_F(Grid, SidStaysHiddenAfterSortingAndEveryOpeningAndTheCursorAvoidsIt)
{
    const auto expectSidHidden = [&](const char* after) {
        EXPECT_TRUE(grid->isColumnHidden(column("SID"))) << after;
        EXPECT_FALSE(grid->isColumnHidden(column("DDATE"))) << after;
        // The cursor is on the current record, never in the hidden column: the first
        // record's date after an opening.
        EXPECT_EQ(grid->currentIndex(), cell(dataset().currentRow(), "DDATE")) << after;
    };
    open();
    expectSidHidden("opening");
    EXPECT_EQ(dataset().currentRow(), 0);
    dataset().sortBy("SUSER_INFO");
    expectSidHidden("sorting");
    open(QStringLiteral("LOG_TABLE "));
    expectSidHidden("another opening");
    // The settings belong to one opening.
    dataset().close();
    dataset().open();
    EXPECT_FALSE(grid->isColumnHidden(column("SID")));
}

// The dataset's current record is the cursor's row, marked by the indicator; the focus never
// leaves the grid.
TEST_F(Grid, TabMovesBetweenCellsAndArrowsAndWheelNotchesMoveOneRow)
{
    WheelToArrowFilter wheelToKeys;
    takeWheelAsArrows(window);
    qApp->installEventFilter(&wheelToKeys);
    open();
    const int first = column("DDATE"), last = column("SUSER_INFO");
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        int wheel, row, column;
    } steps[] = {
        {Qt::Key_Tab, {}, 0, 1, first + 1},
        {Qt::Key_Tab, Qt::ShiftModifier, 0, 1, first},
        {Qt::Key_Backtab, Qt::ShiftModifier, 0, 0, last}, // past the row's first cell
        {Qt::Key_Tab, {}, 0, 1, first},
        {Qt::Key_End, Qt::ControlModifier, 0, 299, last},
        {Qt::Key_Tab, {}, 0, 299, last}, // in the last cell
        {Qt::Key_Up, {}, 0, 298, last},
        {Qt::Key_Down, {}, 0, 299, last},
        {0, {}, 360, 298, last}, // three notches away from the user: one row
        {0, {}, -120, 299, last},
    };
    grid->setCurrentIndex(cell(1, "DDATE"));
    for (const auto& s : steps) {
        if (s.wheel != 0) {
            const QPoint at = grid->viewport()->rect().center();
            QWheelEvent wheel(at, grid->viewport()->mapToGlobal(at), {}, {0, s.wheel}, Qt::NoButton,
                              {}, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(grid->viewport(), &wheel);
        } else {
            key(s.key, s.modifiers);
        }
        const std::pair step(s.key, s.wheel);
        EXPECT_EQ(std::pair(grid->currentIndex().row(), grid->currentIndex().column()),
                  std::pair(s.row, s.column))
            << step.first << " " << step.second;
        EXPECT_EQ(dataset().currentRow(), s.row);
        EXPECT_EQ(markedRow(), s.row);
        EXPECT_EQ(QApplication::focusWidget(), grid);
    }
}

// Shown order, visible columns only, no title line; Ctrl+A keeps the cell cursor's record.
TEST_F(Grid, CopyWritesSelectedRowsAsTabSeparatedTextQuotedWhereSpreadsheetsNeedIt)
{
    useLogs({"(1, '2026-12-07 10:00:00', 'b', 'UPDATE', 'a' || char(9) || 'b', 'u1')",
             "(2, '2026-12-07 00:00:00', 'a', 'INSERT', 'say \"hi\"', 'u2')",
             "(3, '2026-12-08 10:00:00', 'c', 'DELETE', 'one' || char(10) || 'two', NULL)"});
    open(QStringLiteral("LOGS"));
    dataset().sortBy("STABLE");
    const QString first = "07.12.2026\ta\tINSERT\t\"say \"\"hi\"\"\"\tu2\n";
    const QString second = "07.12.2026 10:00:00\tb\tUPDATE\t\"a\tb\"\tu1\n";
    const QString third = "08.12.2026 10:00:00\tc\tDELETE\t\"one\ntwo\"\t\n";
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        QString copied;
        int current;
    } cases[] = {
        {Qt::Key_A, Qt::ControlModifier, first + second + third, 1},
        {Qt::Key_Down, Qt::ShiftModifier, second + third, 2},
        {Qt::Key_Shift, {}, second, 1}, // the clicked cell alone
    };
    // On the screen the cell shows its text on one line.
    const auto* delegate = static_cast<QStyledItemDelegate*>(grid->itemDelegate());
    EXPECT_EQ(delegate->displayText(cell(2, "SCHANGES").data(), QLocale()), "one two");
    for (const auto& c : cases) {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->visualRect(cell(1, "STABLE")).center());
        key(c.key, c.modifiers);
        key(Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(QApplication::clipboard()->text(), c.copied);
        EXPECT_EQ(grid->currentIndex().row(), c.current);
        EXPECT_EQ(dataset().currentRow(), c.current);
    }
}

TEST_F(Grid, ACellTooNarrowForItsTextShowsAllOfItAsATooltip)
{
    const QString change = QString("x  <b>").repeated(666) + "\nend"; // 4000 characters
    useLogs({"(1, NULL, 'short', NULL, '" + change + "', NULL)"});
    open(QStringLiteral("LOGS"));
    for (const auto& [field, shown] : {std::pair("STABLE", false), {"SCHANGES", true}}) {
        const QPoint at =
            grid->visualRect(cell(0, field)).intersected(grid->viewport()->rect()).center();
        QHelpEvent help(QEvent::ToolTip, at, grid->viewport()->mapToGlobal(at));
        QApplication::sendEvent(grid->viewport(), &help);
        EXPECT_EQ(QToolTip::isVisible(), shown) << field;
    }
    QTextDocument shown;
    shown.setHtml(QToolTip::text());
    EXPECT_EQ(shown.toPlainText(), change);
}

// Sorting is the page's answer to the signal; the click itself moves nothing.
TEST_F(Grid, ALeftClickOnATitleNamesItsColumnAndLeavesTheCurrentRecord)
{
    QSignalSpy clicked(grid, &LogGrid::titleClicked);
    QWidget* titleRow = grid->horizontalHeader()->viewport();
    QTest::mouseClick(titleRow, Qt::LeftButton, {}, titleCentre(0));
    EXPECT_EQ(grid->fieldName(0), QString());

    open();
    QObject::connect(grid, &LogGrid::titleClicked, grid,
                     [&](int c) { dataset().sortBy(grid->fieldName(c)); });
    grid->setCurrentIndex(cell(7, "DDATE"));
    const QString sid = dataset().field("SID").displayText();
    QTest::mouseClick(titleRow, Qt::RightButton, {}, titleCentre(column("STABLE")));
    QTest::mouseClick(titleRow, Qt::LeftButton, {}, titleCentre(column("STABLE")));
    ASSERT_EQ(clicked.count(), 2);
    EXPECT_EQ(clicked.at(0).at(0).toInt(), 0);
    EXPECT_EQ(clicked.at(1).at(0).toInt(), column("STABLE"));
    EXPECT_EQ(grid->fieldName(column("STABLE")), "STABLE");
    EXPECT_EQ(dataset().field("SID").displayText(), sid);
    EXPECT_EQ(grid->currentIndex(), cell(dataset().currentRow(), "DDATE"));
    EXPECT_LE(grid->selectionModel()->selectedIndexes().size(), 1);
}

// Every cell that shows the text looked for is tinted, the one found selected with its row;
// the hidden SID is not looked in, and closing the bar takes the tint away.
TEST_F(Grid, TheFindBarTintsTheCellsThatShowItsTextAndSkipsHiddenColumns)
{
    useLogs({"(555, '2026-12-07 10:00:00', 'T', 'UPDATE', 'one' || char(13) || char(10) || "
             "'two', 'u1')",
             "(556, '2026-12-07 11:00:00', 'T', 'INSERT', 'ONE TWO', 'u2')",
             "(557, '2026-12-07 12:00:00', 'T', 'DELETE', 'three', 'One two')"});
    open(QStringLiteral("LOGS"));
    for (const char* field : {"STABLE", "SCHANGES", "SUSER_INFO"}) // all on the screen
        dataset().field(field).setDisplayWidth(15);
    auto* bar = new FindBar(&window);
    bar->setGeometry(0, 340, 900, 30);
    bar->attach(*grid, prompts);
    bar->open();
    const auto tinted = [&](int row, const char* field) {
        const QImage cells = grid->viewport()->grab().toImage();
        const QRect rect = grid->visualRect(cell(row, field));
        return cells.pixelColor(rect.right() - 3, rect.center().y()) == QColor(255, 232, 120);
    };
    bar->setText(QStringLiteral("E T"));
    EXPECT_EQ(grid->currentIndex(), cell(0, "SCHANGES"));
    const std::tuple<int, const char*, bool> cells[] = {
        {0, "SCHANGES", false}, // selected: the selection's colour
        {1, "SCHANGES", true},  {2, "SUSER_INFO", true},
        {2, "SCHANGES", false}, {1, "SUSER_INFO", false},
    };
    for (const auto& [row, field, expected] : cells)
        EXPECT_EQ(tinted(row, field), expected) << row << " " << field;

    bar->setText(QStringLiteral("556"));
    EXPECT_EQ(bar->status(), QStringLiteral("Не найдено"));
    EXPECT_EQ(grid->currentIndex(), cell(0, "SCHANGES"));
    bar->setText(QStringLiteral("two"));
    bar->dismiss();
    EXPECT_FALSE(bar->isVisible());
    EXPECT_FALSE(tinted(1, "SCHANGES"));
    EXPECT_TRUE(prompts.shown.empty());
}

// Text is made for the cells on the screen only, however many rows the dataset holds.
TEST(GridOfAMillionRows, AsksOnlyForTheCellsItShows)
{
    struct CountingModel : LogGridModel {
        using LogGridModel::LogGridModel;
        QVariant data(const QModelIndex& index, int role) const override
        {
            texts += role == Qt::DisplayRole;
            return LogGridModel::data(index, role);
        }
        mutable int texts = 0;
    };
    TempFolder folder;
    LogDatabase data;
    ScriptedPrompts prompts;
    data.connection().connect(localConnectionString(makeDatabase(
        folder, "big.sqlite",
        {"create table BIG(sid NUMBER, stable VARCHAR2(30), schanges VARCHAR2(4000))",
         "insert into BIG with recursive n(i) as (select 1 union all select i + 1 from n "
         "where i < 1000000) select i, 'T' || (i % 97), 'change ' || i from n"})));
    Dataset& dataset = data.mainDataset();
    LogGrid grid;
    CountingModel model(dataset);
    grid.attach(model, prompts, [&data] { return data.currentLogTable(); });
    grid.resize(600, 300);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    dataset.setText("Select * from BIG");
    dataset.open();
    ASSERT_EQ(model.rowCount(), 1000000);

    const int onScreen = (grid.viewport()->height() / grid.rowHeight(0) + 2) * 3;
    const struct {
        std::function<void()> scroll;
        const char* name;
    } steps[] = {
        {[] {}, "shown"},
        {[&] {
             QTest::keyClick(&grid, Qt::Key_End, Qt::ControlModifier);
             EXPECT_EQ(dataset.currentRow(), 999999);
         },
         "Ctrl+End"},
        {[&] { QTest::keyClick(&grid, Qt::Key_PageUp); }, "Page Up"},
        {[&] { grid.verticalScrollBar()->setValue(500000); }, "to the middle"},
        {[&] { dataset.sortBy("STABLE"); }, "sorted"},
    };
    for (const auto& [scroll, step] : steps) {
        model.texts = 0;
        scroll();
        grid.viewport()->repaint();
        EXPECT_GT(model.texts, 0) << step;
        EXPECT_LE(model.texts, 2 * onScreen) << step;
    }
}

} // namespace
} // namespace varnel::test
