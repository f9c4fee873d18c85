// The log grid's column widths beyond the width rule: the column that fills the grid and the
// widths the user drags, on a generated log, with real drags of the title borders.

#include "browse/loggrid.h"
#include "common/scriptedprompts.h"
#include "common/testsupport.h"
#include "db/datamodulebase.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace varnel::test {
namespace {

class GridWidths : public testing::Test {
protected:
    GridWidths()
    {
        grid->resize(1600, 300);
        grid->attach(slot(), prompts);
        data.ADOConnectionBase().connect(localConnectionString(makeDemoDatabase(folder, 60)));
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    // As the page does after each «Отобрать».
    void open()
    {
        slot().close();
        slot().setText(QStringLiteral("Select * from LOG_TABLE where 1=1 order by ddate, sid"));
        slot().open();
        slot().field(QStringLiteral("SID")).setVisible(false);
        for (const auto& [name, width] : {std::pair("DDATE", 18),
                                          {"STABLE", 30},
                                          {"SACTION", 10},
                                          {"SCHANGES", 80},
                                          {"SUSER_INFO", 30}})
            slot().field(QLatin1String(name)).setDisplayWidth(width);
    }
    StatementSlot& slot() { return data.ADOQueryMain(); }
    int column(const char* name) { return slot().field(QLatin1String(name)).index(); }
    int width(const char* name) { return grid->columnWidth(column(name)); }
    int rule(int digits) { return digits * grid->fontMetrics().horizontalAdvance('0') + 4; }
    int shownTotal()
    {
        int total = 0;
        for (int c = 0; c < grid->model()->columnCount(); ++c)
            total += grid->isColumnHidden(c) ? 0 : grid->columnWidth(c);
        return total;
    }
    // Drags the right border of a column's title by `dx` pixels, as the user does.
    void drag(const char* name, int dx) { drag(column(name), dx); }
    void drag(int c, int dx)
    {
        QWidget* titles = grid->horizontalHeader()->viewport();
        const QPoint border(grid->columnViewportPosition(c) + grid->columnWidth(c) - 1, 5);
        QTest::mousePress(titles, Qt::LeftButton, {}, border);
        QTest::mouseMove(titles, border + QPoint(dx, 0));
        QTest::mouseRelease(titles, Qt::LeftButton, {}, border + QPoint(dx, 0));
    }

    TempFolder folder;
    TDataModuleBase data;
    ScriptedPrompts prompts;
    QWidget window;
    LogGrid* grid = new LogGrid(&window);
};

// Like the last column of a grid that stretches it, but in the middle: the others keep the
// rule, the fill column takes what is left and never less than its own width.
TEST_F(GridWidths, TheFillColumnTakesWhatTheOthersLeaveAndNeverLessThanItsOwnWidth)
{
    grid->setFillField(QStringLiteral("SCHANGES"));
    open();
    EXPECT_EQ(width("STABLE"), rule(30));
    EXPECT_EQ(width("SUSER_INFO"), rule(30));
    EXPECT_GT(width("SCHANGES"), rule(80));
    // The scroll bars follow from the event loop.
    QTest::qWait(0);
    EXPECT_EQ(shownTotal(), grid->viewport()->width());
    EXPECT_FALSE(grid->horizontalScrollBar()->isVisible());

    // A wider neighbour takes its room from the fill column.
    const int fill = width("SCHANGES");
    drag("SACTION", 30);
    EXPECT_EQ(width("SACTION"), rule(10) + 30);
    EXPECT_EQ(width("SCHANGES"), fill - 30);
    EXPECT_EQ(shownTotal(), grid->viewport()->width());

    // Too narrow a grid: the fill column keeps its own width and the grid scrolls.
    grid->resize(500, 300);
    QTest::qWait(0);
    EXPECT_EQ(width("SCHANGES"), rule(80));
    EXPECT_GT(shownTotal(), grid->viewport()->width());
    grid->resize(1600, 300);
    QTest::qWait(0);
    EXPECT_EQ(shownTotal(), grid->viewport()->width());
}

TEST_F(GridWidths, DraggedWidthsOutliveOpeningsAndSettingsOthersFollowTheRule)
{
    // From an earlier run: one column of this log and one it does not have.
    grid->keepDraggedWidths({{QStringLiteral("SACTION"), 77}, {QStringLiteral("GONE"), 50}});
    open();
    EXPECT_EQ(width("SACTION"), 77);
    EXPECT_EQ(width("STABLE"), rule(30));
    // Openings, sorting and settings alone are no drags.
    slot().sortBy(QStringLiteral("STABLE"));
    open();
    EXPECT_EQ(grid->draggedWidths(),
              (QMap<QString, int>{{QStringLiteral("SACTION"), 77}, {QStringLiteral("GONE"), 50}}));

    drag("STABLE", 40);
    drag("SACTION", -20);
    open();
    slot().field(QStringLiteral("STABLE")).setDisplayWidth(5);
    EXPECT_EQ(width("STABLE"), rule(30) + 40);
    EXPECT_EQ(width("SACTION"), 57);
    EXPECT_EQ(width("SUSER_INFO"), rule(30));
    EXPECT_EQ(grid->draggedWidths(),
              (QMap<QString, int>{{QStringLiteral("SACTION"), 57},
                                  {QStringLiteral("GONE"), 50},
                                  {QStringLiteral("STABLE"), rule(30) + 40}}));
    // The closed slot's blank column is nobody's.
    slot().close();
    drag(0, 15);
    EXPECT_EQ(grid->draggedWidths().size(), 3);
}

} // namespace
} // namespace varnel::test
