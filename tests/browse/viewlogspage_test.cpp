// The page "Просмотр логов" in the real main window, driven by clicks and keys over a small log
// whose every record is known.

#include "app/mainwindow.h"
#include "app/wheeltoarrowfilter.h"
#include "base/localetext.h"
#include "browse/core/filterset.h"
#include "browse/dblookupcombobox.h"
#include "browse/findbar.h"
#include "browse/frequencywindow.h"
#include "browse/loggrid.h"
#include "browse/recordwindow.h"
#include "browse/viewlogspage.h"
#include "common/scriptedprompts.h"
#include "common/testsupport.h"
#include "db/call.h"
#include "db/logdatabase.h"
#include "ui/windowsettings.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <functional>

namespace varnel::test {
namespace {

// sid, ddate, stable, saction, schanges, suser_info
const char* const kRecords[] = {
    "(1, '2025-03-01 10:00:00', 'orders', 'INSERT', 'first', 'PETROV - WS12 - APPUSER')",
    "(2, '2025-03-01 00:00:00', 'ORDERS', 'UPDATE', 'Ab second', 'IVANOV - WS1 - SYSADMIN')",
    "(3, '2025-03-02 12:00:00', 'CLIENTS', 'DELETE', 'it''s third', 'PETROV - WS12 - ADMIN')",
    "(4, '2025-03-03 09:00:00', 'CLIENTS', 'INSERT', 'fourth', 'SIDOROV - PC10 - APPUSER')",
    "(5, '2025-03-03 23:59:59', 'ORDERS', 'INSERT', null, 'NOHYPHEN')",
};

class Page : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = makeLogDatabase(folder, QStringLiteral("log.sqlite"), kRecords);
        data.connection().connect(localConnectionString(path));
        data.setCurrentLogTable(QStringLiteral("LOG_TABLE"));
        // What the login's hand-over does before the main window exists.
        rebuildFilterLists(data, FilterValues{}, LocaleText::current());
        window = std::make_unique<MainWindow>(data, prompts);
        window->show();
        QApplication::setActiveWindow(window.get());
        QApplication::processEvents();
    }

    template <class T> T* child(const char* name) const
    {
        T* widget = window->findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    DBLookupComboBox* box(const char* name) const { return child<DBLookupComboBox>(name); }
    LogGrid* grid() const { return child<LogGrid>("DBGridMain"); }
    Dataset& main() { return data.mainDataset(); }

    QStringList items(const char* name) const
    {
        QStringList texts;
        for (int i = 0; i < box(name)->count(); ++i)
            texts << box(name)->itemText(i);
        return texts;
    }

    // The SIDs of the grid's rows, in the order shown.
    QList<int> shownSids()
    {
        QList<int> sids;
        if (!main().isOpen())
            return sids;
        const int sid = main().field(QStringLiteral("SID")).index();
        for (int row = 0; row < main().recordCount(); ++row)
            sids << main().displayText(row, sid).toInt();
        return sids;
    }

    // Chooses the entry with `text` by the keyboard, then leaves the control with Tab.
    void choose(const char* name, const QString& text)
    {
        DBLookupComboBox* combo = box(name);
        combo->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(combo, Qt::Key_Home);
        while (combo->currentText() != text && combo->currentIndex() + 1 < combo->count())
            QTest::keyClick(combo, Qt::Key_Down);
        ASSERT_EQ(combo->currentText(), text);
        QTest::keyClick(combo, Qt::Key_Tab);
    }

    // Through the window, as the window system delivers them: a right click there brings the
    // context menu event, a double click the view's own.
    void mouseOn(const QModelIndex& cell, Qt::MouseButton button, bool twice = false)
    {
        LogGrid* view = grid();
        const QPoint at = view->viewport()->mapTo(window.get(), view->visualRect(cell).center());
        if (twice)
            QTest::mouseDClick(window->windowHandle(), button, {}, at);
        else
            QTest::mouseClick(window->windowHandle(), button, {}, at);
    }

    // «Отобрать по значению» from the cell's menu, opened by a right click on the cell.
    void filterBy(const QModelIndex& cell) { fromMenu(cell, "ActionFilterByValue"); }

    // An item of the cell's menu, opened by a right click on the cell.
    void fromMenu(const QModelIndex& cell, const char* action)
    {
        LogGrid* view = grid();
        mouseOn(cell, Qt::RightButton);
        QMenu& menu = view->cellMenu();
        ASSERT_TRUE(menu.isVisible());
        QAction* item = menu.findChild<QAction*>(QLatin1String(action));
        ASSERT_TRUE(item && item->isEnabled()) << action;
        QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(item).center());
    }
    QModelIndex cellOf(int sid, const char* field)
    {
        return grid()->model()->index(int(shownSids().indexOf(sid)),
                                      main().field(QLatin1String(field)).index());
    }

    void click(const char* button)
    {
        QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton);
    }

    TempFolder folder;
    QString path;
    ScriptedPrompts prompts;
    LogDatabase data;
    std::unique_ptr<MainWindow> window;
};

TEST_F(Page, OpensWithEveryFilterOffAndEnterOnTheFirstBoxShowsEveryRecord)
{
    EXPECT_EQ(window->findChild<QWidget*>("TabSheetViewLogs")->size(), QSize(1239, 570));
    // The histogram's strip takes 90 of the 394 pixels under the panel, the grid the rest.
    EXPECT_EQ(child<QWidget>("GroupBoxHistogram")->height(), 90);
    EXPECT_EQ(child<QWidget>("GroupBoxTable")->height(), 394 - 90);
    for (const char* picker : {"DateTimePickerFrom", "DateTimePickerTo"}) {
        EXPECT_FALSE(child<QDateEdit>(picker)->isEnabled());
        EXPECT_EQ(child<QDateEdit>(picker)->date(), QDate::currentDate());
    }
    EXPECT_TRUE(child<QRadioButton>("RadioGroupChangesItem1")->isChecked());
    EXPECT_EQ(items("DBLookupComboBoxTable"), QStringList({"CLIENTS", "ORDERS", ""}));
    EXPECT_EQ(items("DBLookupComboBoxOSUser"), QStringList({"IVANOV ", "PETROV ", "SIDOROV ", ""}));
    EXPECT_EQ(items("DBLookupComboBoxPC"), QStringList({"PC10", "WS1", "WS12", ""}));
    EXPECT_EQ(items("DBLookupComboBoxOracleUser"),
              QStringList({"ADMIN", "APPUSER", "OHYPHEN", "SYSADMIN", ""}));
    EXPECT_EQ(box("DBLookupComboBoxTable")->shownText(), QString());
    EXPECT_FALSE(main().isOpen());

    // The window opens with the focus on the first date box: Enter runs "Отобрать".
    ASSERT_EQ(QApplication::focusWidget(), child<QWidget>("CheckBoxDateFrom"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(shownSids(), QList<int>({2, 1, 3, 4, 5}));
    EXPECT_EQ(main().getText(), QStringLiteral("Select * from LOG_TABLE where 1=1 order by ddate, "
                                               "sid\r\n"));
    QHeaderView* titles = grid()->horizontalHeader();
    EXPECT_TRUE(titles->isSectionHidden(0)); // SID
    EXPECT_EQ(grid()->model()->headerData(1, Qt::Horizontal).toString(),
              QStringLiteral("Дата изменения"));
    EXPECT_TRUE(prompts.shown.empty()) << prompts.texts().join('|').toStdString();

    // Tab walks the panel in its order, the disabled pickers skipped, the radio group entered
    // at its chosen item, then the histogram's check box and chart, then into the grid, which
    // keeps Tab for its cells.
    QStringList order;
    for (QWidget* w = QApplication::focusWidget(); order.size() < 17;
         w = QApplication::focusWidget()) {
        order << w->objectName();
        QTest::keyClick(w, Qt::Key_Tab);
    }
    EXPECT_EQ(order, QStringList({"CheckBoxDateFrom", "CheckBoxDateTo", "DBLookupComboBoxTable",
                                  "DBLookupComboBoxAction", "DBLookupComboBoxOracleUser",
                                  "DBLookupComboBoxPC", "DBLookupComboBoxOSUser", "BitBtnSelect",
                                  "BitBtnClearFiltr", "BitBtnRefresh", "BitBtnExit", "EditChanges",
                                  "RadioGroupChangesItem1", "GroupBoxHistogram", "HistogramRecords",
                                  "DBGridMain", "DBGridMain"}));
}

TEST_F(Page, ListsNarrowOnLeavingAndAHiddenChoiceComesBack)
{
    // Choosing a table and leaving the drop-down narrows the other lists, not its own.
    choose("DBLookupComboBoxTable", QStringLiteral("CLIENTS"));
    EXPECT_EQ(items("DBLookupComboBoxTable"), QStringList({"CLIENTS", "ORDERS", ""}));
    EXPECT_EQ(items("DBLookupComboBoxAction"), QStringList({"DELETE", "INSERT", ""}));
    choose("DBLookupComboBoxAction", QStringLiteral("DELETE"));

    // A date box narrows all five at once when clicked; the picker keeps its day meanwhile.
    child<QDateEdit>("DateTimePickerFrom")->setDate(QDate(2025, 3, 3));
    QTest::mouseClick(child<QCheckBox>("CheckBoxDateFrom"), Qt::LeftButton);
    EXPECT_TRUE(child<QDateEdit>("DateTimePickerFrom")->isEnabled());
    // Every list is built from the filters as they were before any of them changed: no
    // DELETE from that day on, and only an INSERT of CLIENTS. Both choices are hidden, so
    // their filters are off.
    EXPECT_EQ(items("DBLookupComboBoxTable"), QStringList({""}));
    EXPECT_EQ(items("DBLookupComboBoxAction"), QStringList({"INSERT", ""}));
    EXPECT_EQ(box("DBLookupComboBoxTable")->shownText(), QString());
    EXPECT_EQ(box("DBLookupComboBoxAction")->shownText(), QString());
    click("BitBtnSelect");
    EXPECT_EQ(shownSids(), QList<int>({4, 5}));
    // Tab leaves a picker for the next control, not for its month.
    child<QDateEdit>("DateTimePickerFrom")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), box("DBLookupComboBoxTable"));

    // Clearing the box widens the lists again, and the choices show without being made again.
    QTest::mouseClick(child<QCheckBox>("CheckBoxDateFrom"), Qt::LeftButton);
    EXPECT_FALSE(child<QDateEdit>("DateTimePickerFrom")->isEnabled());
    EXPECT_EQ(box("DBLookupComboBoxTable")->shownText(), QStringLiteral("CLIENTS"));
    EXPECT_EQ(box("DBLookupComboBoxAction")->shownText(), QStringLiteral("DELETE"));
    click("BitBtnSelect");
    EXPECT_EQ(shownSids(), QList<int>({3}));

    // The reset keeps the grid and the pickers' days, and every list shows all values again.
    child<QLineEdit>("EditChanges")->setText(QStringLiteral("x"));
    child<QRadioButton>("RadioGroupChangesItem0")->setChecked(true);
    QTest::mouseClick(child<QCheckBox>("CheckBoxDateTo"), Qt::LeftButton);
    click("BitBtnClearFiltr");
    EXPECT_EQ(shownSids(), QList<int>({3}));
    EXPECT_FALSE(child<QCheckBox>("CheckBoxDateTo")->isChecked());
    EXPECT_FALSE(child<QDateEdit>("DateTimePickerTo")->isEnabled());
    EXPECT_EQ(child<QDateEdit>("DateTimePickerFrom")->date(), QDate(2025, 3, 3));
    EXPECT_EQ(box("DBLookupComboBoxTable")->shownText(), QString());
    EXPECT_EQ(box("DBLookupComboBoxAction")->keyValue(), QString());
    EXPECT_EQ(items("DBLookupComboBoxAction"), QStringList({"DELETE", "INSERT", "UPDATE", ""}));
    EXPECT_TRUE(child<QLineEdit>("EditChanges")->text().isEmpty());
    EXPECT_TRUE(child<QRadioButton>("RadioGroupChangesItem1")->isChecked());
    EXPECT_TRUE(prompts.shown.empty()) << prompts.texts().join('|').toStdString();
}

TEST_F(Page, EnterInTheChangeTextSearchesForItAndAQuoteFindsItself)
{
    const std::tuple<QString, const char*, QList<int>> cases[] = {
        {"it's", "RadioGroupChangesItem1", {3}},
        {"ab", "RadioGroupChangesItem0", {2}},
        {"TH", "RadioGroupChangesItem2", {4}},
        {"%", "RadioGroupChangesItem1", {2, 1, 3, 4}},
    };
    for (const auto& [text, position, sids] : cases) {
        child<QRadioButton>(position)->setChecked(true);
        QLineEdit* edit = child<QLineEdit>("EditChanges");
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
        EXPECT_EQ(shownSids(), sids) << text.toStdString();
    }
}

TEST_F(Page, ATitleClickSortsTheFetchedRowsAndOtobratRestoresTheOrder)
{
    auto titleClick = [&](int column) {
        QHeaderView* titles = grid()->horizontalHeader();
        const QPoint at(titles->sectionViewportPosition(column) + 5, titles->height() / 2);
        QTest::mouseClick(titles->viewport(), Qt::LeftButton, {}, at);
    };
    // Closed: one blank column, whose title asks the closed dataset to sort.
    titleClick(0);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].kind, ScriptedPrompts::Kind::Error);
    EXPECT_EQ(prompts.shown[0].text,
              QStringLiteral("ADOQueryMain: Cannot perform this operation on a closed dataset."));

    click("BitBtnSelect");
    titleClick(main().field(QStringLiteral("STABLE")).index());
    // CLIENTS, then "orders" before "ORDERS" as the locale orders them, ties as fetched.
    EXPECT_EQ(shownSids(), QList<int>({3, 4, 1, 2, 5}));
    EXPECT_TRUE(grid()->horizontalHeader()->isSectionHidden(0));
    click("BitBtnSelect");
    EXPECT_EQ(shownSids(), QList<int>({2, 1, 3, 4, 5}));
    EXPECT_EQ(prompts.shown.size(), 1u);
}

// The first click on a title sorts ascending, the next descending, the next ascending again;
// the title shows the arrow of the order the rows are in.
TEST_F(Page, ASecondClickOnATitleSortsDescendingAndTheArrowShowsTheOrderUntilOtobrat)
{
    QHeaderView* titles = grid()->horizontalHeader();
    auto titleClick = [&](int column) {
        const QPoint at(titles->sectionViewportPosition(column) + 5, titles->height() / 2);
        QTest::mouseClick(titles->viewport(), Qt::LeftButton, {}, at);
    };
    const auto arrow = [&] {
        return std::pair(titles->isSortIndicatorShown() ? titles->sortIndicatorSection() : -2,
                         titles->sortIndicatorOrder());
    };
    click("BitBtnSelect");
    EXPECT_EQ(arrow().first, -1);
    const int stable = main().field(QStringLiteral("STABLE")).index();
    const int ddate = main().field(QStringLiteral("DDATE")).index();
    const struct {
        int column;
        QList<int> sids;
        Qt::SortOrder order;
    } clicks[] = {
        {stable, {3, 4, 1, 2, 5}, Qt::AscendingOrder},
        // ORDERS before orders, ties (2 and 5, 3 and 4) in the fetched order
        {stable, {2, 5, 1, 3, 4}, Qt::DescendingOrder},
        {stable, {3, 4, 1, 2, 5}, Qt::AscendingOrder},
        {stable, {2, 5, 1, 3, 4}, Qt::DescendingOrder},
        {ddate, {2, 1, 3, 4, 5}, Qt::AscendingOrder}, // another title: ascending first
        {ddate, {5, 4, 3, 1, 2}, Qt::DescendingOrder},
    };
    for (const auto& c : clicks) {
        titleClick(c.column);
        EXPECT_EQ(shownSids(), c.sids) << c.column;
        EXPECT_EQ(arrow(), std::pair(c.column, c.order)) << c.column;
    }
    // A cancelled sort leaves the rows and the arrow as they were.
    struct Impatient : Waiter {
        void wait(Call& call) override
        {
            call.cancel();
            call.waitFinished();
        }
    } impatient;
    data.connection().setWaiter(&impatient);
    for (const int column : {ddate, stable}) {
        titleClick(column);
        EXPECT_EQ(shownSids(), QList<int>({5, 4, 3, 1, 2}));
        EXPECT_EQ(arrow(), std::pair(ddate, Qt::DescendingOrder));
    }
    data.connection().setWaiter(nullptr);
    // No error: the status bar says what happened.
    EXPECT_EQ(prompts.texts(), QStringList({"Отменено", "Отменено"}));
    for (const auto& shown : prompts.shown)
        EXPECT_EQ(shown.kind, ScriptedPrompts::Kind::Status);

    click("BitBtnSelect");
    EXPECT_EQ(shownSids(), QList<int>({2, 1, 3, 4, 5}));
    EXPECT_EQ(arrow().first, -1);
    titleClick(ddate);
    EXPECT_EQ(arrow(), std::pair(ddate, Qt::AscendingOrder));
}

// Ctrl+F opens the bar under the grid; what is typed there is looked for in the shown cells
// from the current one on, and Enter, F3 and Shift+F3 step through the matches.
TEST_F(Page, CtrlFFindsTheTypedTextInTheShownCellsAndF3StepsThroughTheMatches)
{
    FindBar* bar = child<FindBar>("FindBarMain");
    auto* edit = bar->findChild<QLineEdit*>("EditFind");
    EXPECT_FALSE(bar->isVisible());
    click("BitBtnSelect");
    // Anywhere on the page.
    child<QLineEdit>("EditChanges")->setFocus();
    QTest::keyClick(child<QLineEdit>("EditChanges"), Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->parentWidget(), child<QWidget>("GroupBoxTable"));
    EXPECT_EQ(QApplication::focusWidget(), edit);

    const int ddate = main().field(QStringLiteral("DDATE")).index();
    const int user = main().field(QStringLiteral("SUSER_INFO")).index();
    const int changes = main().field(QStringLiteral("SCHANGES")).index();
    // Shown: 2 IVANOV, 1 PETROV, 3 PETROV ("it's third"), 4 SIDOROV, 5 NOHYPHEN.
    const struct {
        QWidget* target;
        int key;
        Qt::KeyboardModifiers modifiers;
        const char* typed;
        int row, column;
        QString status;
    } steps[] = {
        {edit, 0, {}, "petrov", 1, user, ""},
        // Enter stays in the bar: "Отобрать" would bring the first record back.
        {edit, Qt::Key_Return, {}, nullptr, 2, user, ""},
        {edit, Qt::Key_F3, {}, nullptr, 1, user, "Поиск продолжен с начала"},
        {edit, Qt::Key_F3, Qt::ShiftModifier, nullptr, 2, user, "Поиск продолжен с конца"},
        // Typing on starts at the current cell: it still matches.
        {edit, 0, {}, " - ws12 - admin", 2, user, ""},
        {edit, 0, {}, "x", 2, user, "Не найдено"},
        // The grid's focus keeps F3 and Shift+F3 while the bar is open.
        {edit, Qt::Key_Backspace, {}, nullptr, 2, user, ""},
        {grid(), Qt::Key_F3, {}, nullptr, 2, user, "Поиск продолжен с начала"},
        {edit, Qt::Key_A, Qt::ControlModifier, "01.03.2025 10", 1, ddate, ""},
        {grid(), Qt::Key_F3, Qt::ShiftModifier, nullptr, 1, ddate, "Поиск продолжен с конца"},
        {edit, Qt::Key_A, Qt::ControlModifier, "IT'S", 2, changes, ""},
    };
    for (const auto& s : steps) {
        const QString what = s.typed ? QString::fromUtf8(s.typed) : QString::number(s.key);
        if (s.key != 0)
            QTest::keyClick(s.target, Qt::Key(s.key), s.modifiers);
        if (s.typed)
            QTest::keyClicks(s.target, QString::fromUtf8(s.typed));
        EXPECT_EQ(std::pair(grid()->currentIndex().row(), grid()->currentIndex().column()),
                  std::pair(s.row, s.column))
            << what.toStdString();
        EXPECT_EQ(main().currentRow(), s.row);
        EXPECT_EQ(bar->status(), s.status) << what.toStdString();
        // The record found is the only one selected, whole.
        EXPECT_EQ(grid()->selectionModel()->selectedRows().size(), 1);
        EXPECT_TRUE(grid()->selectionModel()->isRowSelected(s.row));
    }
    EXPECT_TRUE(prompts.shown.empty()) << prompts.texts().join('|').toStdString();

    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), grid());
    // Closed, F3 does nothing; Ctrl+F brings the text back, all of it chosen.
    QTest::keyClick(grid(), Qt::Key_F3);
    EXPECT_EQ(main().currentRow(), 2);
    QTest::keyClick(grid(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(edit->selectedText(), QStringLiteral("IT'S"));
}

// The bar counts the records that show the text, not its cells, as each key is typed, and
// keeps the count true of the grid: a deleted record goes from it, a new «Отобрать» clears it.
TEST_F(Page, TheFindBarCountsTheRecordsThatShowTheTextAsItIsTyped)
{
    FindBar* bar = child<FindBar>("FindBarMain");
    auto* edit = bar->findChild<QLineEdit*>("EditFind");
    auto* count = bar->findChild<QLabel*>("LabelFindCount");
    click("BitBtnSelect");
    QTest::keyClick(grid(), Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(bar->isVisible());
    const struct {
        int key; // Ctrl+A first, or Backspace
        const char* typed;
        const char* count;
        const char* status;
    } steps[] = {
        {Qt::Key_A, "p", "Найдено: 5 из 5", ""},
        {0, "e", "Найдено: 2 из 5", ""},          // PETROV twice, not APPUSER
        {Qt::Key_A, "er", "Найдено: 4 из 5", ""}, // eight cells of four records
        {Qt::Key_A, "01.03.2025", "Найдено: 2 из 5", ""},
        {Qt::Key_A, "4", "", "Не найдено"}, // in the hidden SID only
        {Qt::Key_Backspace, "", "", ""},
        {0, "PETROV - ws12", "Найдено: 2 из 5", ""},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.typed);
        if (s.key == Qt::Key_A)
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        else if (s.key != 0)
            QTest::keyClick(edit, Qt::Key(s.key));
        QTest::keyClicks(edit, QString::fromUtf8(s.typed));
        EXPECT_EQ(count->text(), QString::fromUtf8(s.count));
        EXPECT_EQ(bar->countLine(), count->text());
        EXPECT_EQ(bar->status(), QString::fromUtf8(s.status));
    }
    EXPECT_TRUE(count->isVisible());

    // Ctrl+Delete of a record found, and of one not found.
    prompts.answers = {true, true};
    for (const int sid : {3, 5}) {
        grid()->setFocus();
        grid()->setCurrentIndex(grid()->model()->index(int(shownSids().indexOf(sid)), 1));
        QTest::keyClick(grid(), Qt::Key_Delete, Qt::ControlModifier);
    }
    EXPECT_EQ(count->text(), QStringLiteral("Найдено: 1 из 3"));
    // Closed and opened again, the bar counts its text anew.
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Escape);
    ASSERT_FALSE(bar->isVisible());
    EXPECT_EQ(count->text(), QString());
    QTest::keyClick(grid(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(count->text(), QStringLiteral("Найдено: 1 из 3"));
    click("BitBtnSelect");
    EXPECT_EQ(count->text(), QString());
    EXPECT_EQ(prompts.texts().filter(QStringLiteral("Ошибка")), QStringList());
}

TEST_F(Page, AFailingListClosesItAndTheOnesAfterItAndShowsTheDatabasesMessage)
{
    // A column that the list statements need goes: lists 1 and 2 still open, 3 to 5 fail.
    data.connection().engine().execute(
        QStringLiteral("alter table LOG_TABLE rename column suser_info to other"));
    click("BitBtnRefresh");
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_TRUE(prompts.shown[0].text.startsWith(QStringLiteral("ORA-00904")))
        << prompts.shown[0].text.toStdString();
    EXPECT_TRUE(data.dataset(DatasetRole::Table).isOpen());
    EXPECT_TRUE(data.dataset(DatasetRole::Action).isOpen());
    for (auto dataset : {DatasetRole::OracleUser, DatasetRole::PC, DatasetRole::OSUser})
        EXPECT_FALSE(data.dataset(dataset).isOpen());
    EXPECT_EQ(box("DBLookupComboBoxPC")->count(), 0);
    EXPECT_EQ(items("DBLookupComboBoxTable"), QStringList({"CLIENTS", "ORDERS", ""}));
}

TEST_F(Page, EnterInAnOpenDropDownTakesTheEntryAndRunsNoQuery)
{
    DBLookupComboBox* combo = box("DBLookupComboBoxTable");
    combo->setFocus();
    combo->showPopup();
    QAbstractItemView* list = combo->view();
    list->setCurrentIndex(list->model()->index(1, 0));
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(combo->shownText(), QStringLiteral("ORDERS"));
    EXPECT_FALSE(main().isOpen());
}

// The record's place and count, the last «Отобрать»'s time and where the log lives: the main
// window's status bar follows the grid.
TEST_F(Page, TheStatusBarCountsTheRecordsAndFollowsTheCurrentOne)
{
    const auto label = [&](const char* name) {
        QLabel* shown = child<QLabel>(name);
        return shown->isVisible() ? shown->text() : QString();
    };
    EXPECT_EQ(label("LabelDatabase"), QStringLiteral("LOG_TABLE — ") + path);
    EXPECT_EQ(label("LabelRecords"), QString());

    click("BitBtnSelect");
    EXPECT_EQ(label("LabelRecords"), QStringLiteral("Записей: 5"));
    EXPECT_EQ(label("LabelRecordPlace"), QStringLiteral("Запись 1 из 5"));
    EXPECT_TRUE(label("LabelSelectTime").startsWith(QStringLiteral("Отобрано за ")));
    grid()->setFocus();
    QTest::keyClick(grid(), Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(label("LabelRecordPlace"), QStringLiteral("Запись 5 из 5"));
    prompts.answers = {true};
    QTest::keyClick(grid(), Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(label("LabelRecords"), QStringLiteral("Записей: 4"));
    EXPECT_EQ(label("LabelRecordPlace"), QStringLiteral("Запись 4 из 4"));
    EXPECT_EQ(prompts.texts().last(), QStringLiteral("Удалено записей: 1"));

    // Nothing found says so, where an empty grid alone would not.
    QTest::keyClicks(child<QLineEdit>("EditChanges"), QStringLiteral("no such change"));
    click("BitBtnSelect");
    EXPECT_EQ(label("LabelRecords"), QStringLiteral("Записей: 0"));
    EXPECT_EQ(label("LabelRecordPlace"), QString());
    EXPECT_EQ(prompts.texts().last(), QStringLiteral("Нет записей, отвечающих фильтрам"));
}

// The cell's menu as the keyboard and the mouse open it, with its items in their order.
TEST_F(Page, TheCellMenuOpensByRightClickMenuKeyAndShiftF10AndCopies)
{
    click("BitBtnSelect");
    LogGrid* view = grid();
    QMenu& menu = view->cellMenu();
    const int stable = main().field(QStringLiteral("STABLE")).index();
    const std::function<void()> openers[] = {
        [&] { mouseOn(view->model()->index(2, stable), Qt::RightButton); },
        [&] { QTest::keyClick(view, Qt::Key_Menu); },
        [&] { QTest::keyClick(view, Qt::Key_F10, Qt::ShiftModifier); },
    };
    for (const auto& open : openers) {
        menu.hide();
        view->setFocus();
        view->setCurrentIndex(view->model()->index(2, stable));
        open();
        ASSERT_TRUE(menu.isVisible());
        QStringList items;
        for (QAction* action : menu.actions())
            items << (action->isSeparator() ? QStringLiteral("—") : action->text());
        EXPECT_EQ(items,
                  QStringList({"Просмотр записи", "Копировать значение",
                               "Копировать строки с заголовками", "Отобрать по значению",
                               "Исключить значение", "Частота значений…", "—", "Экспорт в CSV…"}));
    }
    const auto choose = [&](const char* action) {
        QAction* item = menu.findChild<QAction*>(QLatin1String(action));
        QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(item).center());
    };
    choose("ActionCopyValue");
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("CLIENTS")); // sid 3

    // Two rows selected, the menu opened inside the selection: both, under their titles.
    view->selectionModel()->select(
        QItemSelection(view->model()->index(0, 0), view->model()->index(1, 0)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    mouseOn(view->model()->index(1, stable), Qt::RightButton);
    choose("ActionCopyRowsWithTitles");
    const QStringList lines = QApplication::clipboard()->text().split('\n');
    ASSERT_EQ(lines.size(), 4) << lines.join('|').toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("Дата изменения\tТаблица\tТип действия\t"
                                       "Внесенные изменения\tИнформация о пользователе"));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("\tORDERS\tUPDATE\tAb second\t")));
    EXPECT_TRUE(lines[2].contains(QStringLiteral("\torders\tINSERT\tfirst\t")));
    EXPECT_TRUE(prompts.shown.empty()) << prompts.texts().join('|').toStdString();

    // The last item writes what the grid shows into the file the user names.
    const QString csv = folder.path(QStringLiteral("grid.csv"));
    prompts.fileNames = {csv};
    mouseOn(view->model()->index(0, stable), Qt::RightButton);
    choose("ActionExportCsv");
    QFile written(csv);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readLine().startsWith("\xEF\xBB\xBF\xD0\x94")); // BOM, "Дата"
    EXPECT_EQ(written.readAll().count("\r\n"), 5);
}

// «Экспорт в CSV…» writes a text cell that a spreadsheet would run as a formula with an
// apostrophe in front, inside its quotes, as OWASP advises against CSV injection; other cells,
// the dates among them, stay as they are.
TEST_F(Page, CsvCellsThatASpreadsheetWouldRunAreWrittenAsText)
{
    const struct {
        QString stored; // an SQLite expression for the change text
        QByteArray field;
    } cases[] = {
        {"'=HYPERLINK(\"http://x.example\",\"y\")'",
         "\"'=HYPERLINK(\"\"http://x.example\"\",\"\"y\"\")\""},
        {"'+1+2'", "\"'+1+2\""},
        {"'-2+3'", "\"'-2+3\""},
        {"'@SUM(A1)'", "\"'@SUM(A1)\""},
        {"char(9) || '=1'", "\"'\t=1\""},
        {"char(13) || '=1'", "\"'\r=1\""},
        {"'=a,b'", "\"'=a,b\""},
        // not at the start, or after a blank: text to a spreadsheet already
        {"'a=b'", "a=b"},
        {"' =1'", " =1"},
        {"'''=1'", "'=1"},
    };
    data.connection().engine().execute(QStringLiteral("delete from LOG_TABLE"));
    for (size_t i = 0; i < std::size(cases); ++i)
        data.connection().engine().execute(
            QStringLiteral("insert into LOG_TABLE values (%1, '2025-03-05 10:00:%2', '=T', "
                           "'-A', %3, '@U - PC - +X')")
                .arg(i)
                .arg(i, 2, 10, QLatin1Char('0'))
                .arg(cases[i].stored));
    click("BitBtnSelect");
    const QString csv = folder.path(QStringLiteral("formulas.csv"));
    prompts.fileNames = {csv};
    mouseOn(grid()->model()->index(0, main().field(QStringLiteral("STABLE")).index()),
            Qt::RightButton);
    QMenu& menu = grid()->cellMenu();
    QAction* item = menu.findChild<QAction*>(QStringLiteral("ActionExportCsv"));
    QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(item).center());

    QFile written(csv);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = written.readAll().split('\n');
    ASSERT_EQ(lines.size(), qsizetype(std::size(cases)) + 2) << lines.join('|').toStdString();
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(lines[qsizetype(i) + 1],
                  "05.03.2025 10:00:" + QByteArray::number(qulonglong(i)).rightJustified(2, '0') +
                      ",\"'=T\",\"'-A\"," + cases[i].field + ",\"'@U - PC - +X\"\r")
            << cases[i].stored.toStdString();
}

// «Отобрать по значению» on each column of record 3 sets the filter that column stands for
// and shows the records that share the value.
TEST_F(Page, FilterByValueSetsTheColumnsFilterAndSelects)
{
    const struct {
        const char* column;
        QList<int> sids;
        std::function<void()> check;
    } cases[] = {
        {"STABLE",
         {3, 4},
         [this] {
             EXPECT_EQ(box("DBLookupComboBoxTable")->shownText(), "CLIENTS");
         }},
        {"SACTION",
         {3},
         [this] {
             EXPECT_EQ(box("DBLookupComboBoxAction")->shownText(), "DELETE");
         }},
        {"SUSER_INFO",
         {3},
         [this] {
             EXPECT_EQ(box("DBLookupComboBoxOSUser")->shownText(), "PETROV ");
             EXPECT_EQ(box("DBLookupComboBoxPC")->shownText(), "WS12");
             EXPECT_EQ(box("DBLookupComboBoxOracleUser")->shownText(), "ADMIN");
         }},
        {"DDATE",
         {3},
         [this] {
             for (const char* box : {"CheckBoxDateFrom", "CheckBoxDateTo"})
                 EXPECT_TRUE(child<QCheckBox>(box)->isChecked());
             for (const char* picker : {"DateTimePickerFrom", "DateTimePickerTo"}) {
                 EXPECT_TRUE(child<QDateEdit>(picker)->isEnabled());
                 EXPECT_EQ(child<QDateEdit>(picker)->date(), QDate(2025, 3, 2));
             }
             EXPECT_EQ(items("DBLookupComboBoxTable"), QStringList({"CLIENTS", ""}));
         }},
        {"SCHANGES",
         {3},
         [this] {
             EXPECT_EQ(child<QLineEdit>("EditChanges")->text(), "it's third");
             EXPECT_TRUE(child<QRadioButton>("RadioGroupChangesItem0")->isChecked());
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.column);
        click("BitBtnClearFiltr");
        click("BitBtnSelect");
        const QModelIndex cell =
            grid()->model()->index(2, main().field(QLatin1String(c.column)).index()); // sid 3
        ASSERT_EQ(shownSids().value(2), 3);
        filterBy(cell);
        EXPECT_EQ(shownSids(), c.sids);
        c.check();
    }
    // The record without hyphens: its one segment the lists show is the database user's.
    click("BitBtnClearFiltr");
    click("BitBtnSelect");
    filterBy(grid()->model()->index(4, main().field(QStringLiteral("SUSER_INFO")).index()));
    EXPECT_EQ(box("DBLookupComboBoxOracleUser")->shownText(), QStringLiteral("OHYPHEN"));
    EXPECT_EQ(box("DBLookupComboBoxPC")->shownText(), QString());
    EXPECT_EQ(shownSids(), QList<int>({5}));
    EXPECT_TRUE(prompts.shown.empty()) << prompts.texts().join('|').toStdString();
}

// «Отобрать по значению» shows the records whose cell holds the value and no others: no
// wildcards in it, a blank segment is one, a change text is cut at a whole character, a table
// upper-cased as its list shows it. The value stays exact for a later «Отобрать» until the
// user changes its control, or «Сбросить фильтры».
TEST_F(Page, FilterByValueShowsOnlyTheRecordsThatHoldTheValue)
{
    const QString emoji = QStringLiteral("\U0001F600"), other = QStringLiteral("\U0001F601");
    const QString tail = QString(99, u'x');
    const QString added[] = {
        "(6, '2025-03-05 10:00:00', 'A_B', 'INSERT', 'rate 50% done', 'a_b - PC_1 - U_1')",
        "(7, '2025-03-05 11:00:00', 'STRASSE', 'INSERT', 'rate 50x done', 'axb - PCX1 - UX1')",
        "(8, '2025-03-05 12:00:00', 'straße', 'INSERT', 'it''s', '- WS12 - APPUSER')",
        "(9, '2025-03-05 13:00:00', 'A_B', 'INSERT', '" + tail + emoji + " one', 'Q - W - E')",
        "(10, '2025-03-05 14:00:00', 'A_B', 'INSERT', '" + tail + other + "', 'Q - W - E')",
    };
    for (const QString& record : added)
        data.connection().engine().execute("insert into LOG_TABLE values " + record);
    const struct {
        int sid;
        const char* column;
        QList<int> sids;
    } cases[] = {
        {6, "SUSER_INFO", {6}}, {6, "SCHANGES", {6}}, {8, "SUSER_INFO", {8}},
        {8, "STABLE", {8}},     {9, "SCHANGES", {9}},
    };
    const auto byValue = [&](int sid, const char* column) {
        click("BitBtnClearFiltr");
        click("BitBtnSelect");
        const int row = int(shownSids().indexOf(sid));
        filterBy(grid()->model()->index(row, main().field(QLatin1String(column)).index()));
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.sid) + " " + c.column);
        byValue(c.sid, c.column);
        EXPECT_EQ(shownSids(), c.sids);
        click("BitBtnSelect");
        EXPECT_EQ(shownSids(), c.sids) << "«Отобрать» again";
    }
    EXPECT_EQ(child<QLineEdit>("EditChanges")->text(), tail + emoji);

    // Edited, the change text is a pattern again, its letter case aside.
    byValue(6, "SCHANGES");
    QLineEdit* edit = child<QLineEdit>("EditChanges");
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, QStringLiteral("E"));
    click("BitBtnSelect");
    EXPECT_EQ(shownSids(), QList<int>({6, 7}));

    // The empty entry chosen turns the blank segment's filter off; the reset, all three.
    byValue(8, "SUSER_INFO");
    choose("DBLookupComboBoxOSUser", QString());
    click("BitBtnSelect");
    EXPECT_EQ(shownSids(), QList<int>({1, 8}));
    byValue(8, "SUSER_INFO");
    click("BitBtnClearFiltr");
    click("BitBtnSelect");
    EXPECT_EQ(shownSids().size(), 10);
    EXPECT_TRUE(prompts.shown.empty()) << prompts.texts().join('|').toStdString();
}

// A value the lists were built without: a record written after the last rebuild is added by
// rebuilding them; one the other filters now exclude finds nothing rather than every record.
TEST_F(Page, FilterByAValueTheListsLackRebuildsThemOrFindsNothing)
{
    data.connection().engine().execute(QStringLiteral(
        "insert into LOG_TABLE values (6, '2025-03-04 08:00:00', 'NEWTAB', 'INSERT', 'new', "
        "'KOZLOV - PC2 - APPUSER')"));
    click("BitBtnSelect");
    ASSERT_FALSE(items("DBLookupComboBoxTable").contains(QStringLiteral("NEWTAB")));
    const int stable = main().field(QStringLiteral("STABLE")).index();
    filterBy(grid()->model()->index(5, stable));
    EXPECT_EQ(box("DBLookupComboBoxTable")->shownText(), QStringLiteral("NEWTAB"));
    EXPECT_EQ(shownSids(), QList<int>({6}));

    click("BitBtnClearFiltr");
    click("BitBtnSelect");
    choose("DBLookupComboBoxAction", QStringLiteral("UPDATE")); // only ORDERS left in the list
    prompts.shown.clear();
    filterBy(grid()->model()->index(2, stable)); // CLIENTS
    EXPECT_EQ(shownSids(), QList<int>());
    EXPECT_EQ(prompts.texts(), QStringList({"Нет записей, отвечающих фильтрам"}));
}

// «Частота значений…» counts the column of the cell over the fetched records, the most frequent
// first with their shares; the user-info text whole or by a segment as its list cuts it, DDATE
// by day. Ctrl+C copies the selected lines; Enter takes the value as «Отобрать по значению»
// does, and the window, whose records are gone, closes.
TEST_F(Page, TheFrequenciesOfAColumnListItsValuesAndEnterSelectsOne)
{
    click("BitBtnSelect");
    const auto frequencies = [&](int sid, const char* field) -> FrequencyWindow* {
        fromMenu(cellOf(sid, field), "ActionValueFrequencies");
        auto* shown = window->findChild<FrequencyWindow*>();
        EXPECT_TRUE(shown && shown->isVisible());
        return shown;
    };
    const auto shownLines = [](FrequencyWindow* shown) {
        QStringList out;
        const QAbstractItemModel* model = shown->findChild<QTableView*>("GridValues")->model();
        for (int row = 0; row < model->rowCount(); ++row)
            out << model->index(row, 0).data().toString() + '|' +
                       model->index(row, 1).data().toString() + '|' +
                       model->index(row, 2).data().toString();
        return out;
    };
    const struct {
        int sid;
        const char* field;
        const char* title;
        QStringList lines;
    } cases[] = {
        // "orders" is ORDERS, as the table list shows it
        {1, "STABLE", "Частота значений: Таблица", {"ORDERS|3|60,0 %", "CLIENTS|2|40,0 %"}},
        {3,
         "DDATE",
         "Частота значений: Дата изменения",
         {"01.03.2025|2|40,0 %", "03.03.2025|2|40,0 %", "02.03.2025|1|20,0 %"}},
        {5,
         "SCHANGES",
         "Частота значений: Внесенные изменения",
         {"Ab second|1|20,0 %", "first|1|20,0 %", "fourth|1|20,0 %", "it's third|1|20,0 %",
          "(пусто)|1|20,0 %"}},
        {2,
         "SUSER_INFO",
         "Частота значений: Информация о пользователе",
         {"IVANOV - WS1 - SYSADMIN|1|20,0 %", "NOHYPHEN|1|20,0 %", "PETROV - WS12 - ADMIN|1|20,0 %",
          "PETROV - WS12 - APPUSER|1|20,0 %", "SIDOROV - PC10 - APPUSER|1|20,0 %"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        FrequencyWindow* shown = frequencies(c.sid, c.field);
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shown->windowTitle(), QString::fromUtf8(c.title));
        EXPECT_EQ(shownLines(shown), c.lines);
        EXPECT_EQ(shown->findChild<QLabel*>("LabelTotal")->text(),
                  QString("Всего: 5 записей, %1")
                      .arg(c.lines.size() == 5   ? "5 значений"
                           : c.lines.size() == 3 ? "3 значения"
                                                 : "2 значения"));
        EXPECT_FALSE(shown->findChild<QLabel*>("LabelOthers")->isVisible());
        EXPECT_EQ(shown->findChild<QWidget*>("PanelCountBy")->isVisible(),
                  QLatin1String(c.field) == QLatin1String("SUSER_INFO"));
    }

    // The computer, as its list cuts it; the record without hyphens has none.
    FrequencyWindow* shown = window->findChild<FrequencyWindow*>();
    auto* countBy = shown->findChild<QComboBox*>("ComboBoxCountBy");
    countBy->setFocus();
    QTest::keyClick(countBy, Qt::Key_Down);
    QTest::keyClick(countBy, Qt::Key_Down);
    EXPECT_EQ(countBy->currentText(), QStringLiteral("Имя компьютера"));
    EXPECT_EQ(shownLines(shown),
              QStringList({"WS12|2|40,0 %", "PC10|1|20,0 %", "WS1|1|20,0 %", "(пусто)|1|20,0 %"}));
    auto* values = shown->findChild<QTableView*>("GridValues");
    values->setFocus();
    QTest::keyClick(values, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(values, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(),
              QStringLiteral("WS12\t2\nPC10\t1\nWS1\t1\n(пусто)\t1\n"));

    values->setCurrentIndex(values->model()->index(0, 0));
    QTest::keyClick(values, Qt::Key_Return);
    EXPECT_EQ(shownSids(), QList<int>({1, 3}));
    EXPECT_EQ(box("DBLookupComboBoxPC")->shownText(), QStringLiteral("WS12"));
    EXPECT_FALSE(shown->isVisible());

    // A double click on the empty segment finds the records without one.
    click("BitBtnClearFiltr");
    click("BitBtnSelect");
    shown = frequencies(5, "SUSER_INFO");
    countBy->setFocus();
    QTest::keyClick(countBy, Qt::Key_Down);
    QTest::keyClick(countBy, Qt::Key_Down);
    ASSERT_EQ(values->model()->index(3, 0).data(), QStringLiteral("(пусто)"));
    QTest::mouseDClick(shown->windowHandle(), Qt::LeftButton, {},
                       values->viewport()->mapTo(
                           shown, values->visualRect(values->model()->index(3, 0)).center()));
    EXPECT_EQ(shownSids(), QList<int>({5}));

    // An empty change text, which no filter finds by itself, takes no Enter and no «Отобрать
    // по значению»; it can be left out.
    click("BitBtnClearFiltr");
    click("BitBtnSelect");
    shown = frequencies(5, "SCHANGES");
    values->setFocus();
    values->setCurrentIndex(values->model()->index(4, 0));
    QTest::keyClick(values, Qt::Key_Return);
    EXPECT_TRUE(shown->isVisible());
    EXPECT_EQ(main().recordCount(), 5);
    QTest::mouseClick(shown->windowHandle(), Qt::RightButton, {},
                      values->viewport()->mapTo(
                          shown, values->visualRect(values->model()->index(4, 0)).center()));
    QMenu& menu = shown->valueMenu();
    ASSERT_TRUE(menu.isVisible());
    EXPECT_FALSE(menu.findChild<QAction*>("ActionFilterByValue")->isEnabled());
    EXPECT_TRUE(menu.findChild<QAction*>("ActionExcludeValue")->isEnabled());
    menu.hide();
    EXPECT_TRUE(prompts.shown.empty()) << prompts.texts().join('|').toStdString();
}

// Past 1,000 values the rest is counted under the list.
TEST_F(Page, TheFrequenciesListAThousandValuesAndCountTheRest)
{
    QStringList rows;
    for (int i = 0; i < 1005; ++i)
        rows << QStringLiteral("(%1, '2025-04-01 10:00:00', 'BULK', 'INSERT', 'change %1', "
                               "'A - B - C')")
                    .arg(100 + i);
    data.connection().engine().execute("insert into LOG_TABLE values " + rows.join(", "));
    click("BitBtnSelect");
    fromMenu(cellOf(5, "SCHANGES"), "ActionValueFrequencies");
    auto* shown = window->findChild<FrequencyWindow*>();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->findChild<QTableView*>("GridValues")->model()->rowCount(), 1000);
    EXPECT_TRUE(shown->findChild<QLabel*>("LabelOthers")->isVisible());
    EXPECT_EQ(shown->findChild<QLabel*>("LabelOthers")->text(),
              QStringLiteral("Остальные: 10 значений, 10 записей"));
    EXPECT_EQ(shown->findChild<QLabel*>("LabelTotal")->text(),
              QStringLiteral("Всего: 1\u00A0010 записей, 1\u00A0010 значений"));

    // Of the equal counts, those met first in the fetched rows: the records of March, then
    // the first 996 of April; NULL after the values.
    QStringList listed;
    const QAbstractItemModel* model = shown->findChild<QTableView*>("GridValues")->model();
    for (int row = 0; row < model->rowCount(); ++row)
        listed << model->index(row, 0).data().toString();
    EXPECT_EQ(listed.first(), QStringLiteral("Ab second"));
    for (const char* in : {"it's third", "change 100", "change 1095"})
        EXPECT_TRUE(listed.contains(QLatin1String(in))) << in;
    for (const char* out : {"change 1096", "change 1104", "(пусто)"})
        EXPECT_FALSE(listed.contains(QString::fromUtf8(out))) << out;
}

// «Исключить значение» leaves out the records that hold the cell's value, as «Отобрать по
// значению» takes it, shows it in the panel as «≠ value ✕», and narrows the lists; the item's
// click brings the records back at the next «Отобрать», and so does «Сбросить фильтры» for all.
TEST_F(Page, ExcludingAValueLeavesItsRecordsOutUntilItsItemIsRemoved)
{
    const struct {
        int sid;
        const char* field;
        QList<int> sids;
        const char* item;
    } cases[] = {
        {1, "STABLE", {3, 4}, "≠ ORDERS ✕"}, // "orders" and ORDERS alike
        {4, "SACTION", {2, 3}, "≠ INSERT ✕"},
        // the whole text: PETROV - WS12 - ADMIN and - APPUSER of SIDOROV stay
        {1, "SUSER_INFO", {2, 3, 4, 5}, "≠ PETROV - WS12 - APPUSER ✕"},
        {1, "DDATE", {3, 4, 5}, "≠ 01.03.2025 ✕"},
        // the record without a change text stays
        {3, "SCHANGES", {2, 1, 4, 5}, "≠ it's third ✕"},
    };
    QWidget* panel = child<QWidget>("PanelExclusions");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        click("BitBtnClearFiltr");
        EXPECT_FALSE(panel->isVisible());
        click("BitBtnSelect");
        fromMenu(cellOf(c.sid, c.field), "ActionExcludeValue");
        EXPECT_EQ(shownSids(), c.sids);
        ASSERT_TRUE(panel->isVisible());
        const QList<QToolButton*> items = panel->findChildren<QToolButton*>();
        ASSERT_EQ(items.size(), 1);
        EXPECT_EQ(items[0]->text(), QString::fromUtf8(c.item));
    }
    EXPECT_TRUE(main().getText().endsWith(
        "and (schanges not like 'it''s third%' escape '\\' or schanges is null)order by ddate, "
        "sid\r\n"));

    // Two at once, and the lists narrow under both.
    click("BitBtnClearFiltr");
    click("BitBtnSelect");
    fromMenu(cellOf(1, "STABLE"), "ActionExcludeValue");
    fromMenu(cellOf(3, "SACTION"), "ActionExcludeValue");
    EXPECT_EQ(shownSids(), QList<int>({4}));
    EXPECT_EQ(items("DBLookupComboBoxTable"), QStringList({"CLIENTS", ""}));
    EXPECT_EQ(items("DBLookupComboBoxAction"), QStringList({"INSERT", ""}));
    EXPECT_EQ(panel->findChildren<QToolButton*>().size(), 2);

    // A click on an item takes its exclusion away: the lists widen, the grid waits for
    // «Отобрать».
    QTest::mouseClick(panel->findChild<QToolButton*>("ButtonExclusion1"), Qt::LeftButton);
    EXPECT_EQ(panel->findChildren<QToolButton*>().size(), 1);
    EXPECT_EQ(panel->findChild<QToolButton*>("ButtonExclusion1")->text(),
              QStringLiteral("≠ DELETE ✕"));
    EXPECT_EQ(items("DBLookupComboBoxTable"), QStringList({"CLIENTS", "ORDERS", ""}));
    EXPECT_EQ(shownSids(), QList<int>({4}));
    click("BitBtnSelect");
    EXPECT_EQ(shownSids(), QList<int>({2, 1, 4, 5}));

    // An empty cell has no value to leave out; the frequencies' «(пусто)» has.
    mouseOn(cellOf(5, "SCHANGES"), Qt::RightButton);
    QMenu& menu = grid()->cellMenu();
    EXPECT_FALSE(menu.findChild<QAction*>("ActionExcludeValue")->isEnabled());
    EXPECT_TRUE(menu.findChild<QAction*>("ActionValueFrequencies")->isEnabled());
    menu.hide();
    click("BitBtnClearFiltr");
    EXPECT_FALSE(panel->isVisible());
    click("BitBtnSelect");
    EXPECT_EQ(shownSids().size(), 5);
    EXPECT_TRUE(prompts.shown.empty()) << prompts.texts().join('|').toStdString();
}

// «Исключить значение» in the frequencies' window leaves the value out as the cell menu does,
// and the window counts the records that remain; «(пусто)» leaves out the records without a
// value.
TEST_F(Page, ExcludingFromTheFrequenciesCountsTheRecordsThatRemain)
{
    click("BitBtnSelect");
    fromMenu(cellOf(1, "SCHANGES"), "ActionValueFrequencies");
    auto* shown = window->findChild<FrequencyWindow*>();
    ASSERT_NE(shown, nullptr);
    auto* values = shown->findChild<QTableView*>("GridValues");
    const auto exclude = [&](const QString& value) {
        const QAbstractItemModel* model = values->model();
        for (int row = 0; row < model->rowCount(); ++row)
            if (model->index(row, 0).data() == value) {
                const QPoint at = values->viewport()->mapTo(
                    shown, values->visualRect(model->index(row, 0)).center());
                QTest::mouseClick(shown->windowHandle(), Qt::LeftButton, {}, at);
                QTest::mouseClick(shown->windowHandle(), Qt::RightButton, {}, at);
                QMenu& menu = shown->valueMenu();
                EXPECT_TRUE(menu.isVisible());
                QAction* item = menu.findChild<QAction*>("ActionExcludeValue");
                QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(item).center());
                return;
            }
        ADD_FAILURE() << value.toStdString();
    };
    exclude(QStringLiteral("(пусто)"));
    EXPECT_EQ(shownSids(), QList<int>({2, 1, 3, 4}));
    exclude(QStringLiteral("first"));
    EXPECT_EQ(shownSids(), QList<int>({2, 3, 4}));
    EXPECT_TRUE(shown->isVisible());
    EXPECT_EQ(shown->findChild<QLabel*>("LabelTotal")->text(),
              QStringLiteral("Всего: 3 записи, 3 значения"));
    QStringList items;
    for (QToolButton* item : child<QWidget>("PanelExclusions")->findChildren<QToolButton*>())
        items << item->text();
    EXPECT_EQ(items, QStringList({"≠ (пусто) ✕", "≠ first ✕"}));

    // Another «Отобрать» takes the records it counted: the window goes.
    click("BitBtnSelect");
    EXPECT_FALSE(shown->isVisible());
    EXPECT_TRUE(prompts.shown.empty()) << prompts.texts().join('|').toStdString();
}

// Enter or a double click shows the record whole; the window walks the grid and copies.
TEST_F(Page, TheRecordWindowShowsTheWholeRecordWalksTheGridAndCopies)
{
    data.connection().engine().execute(QStringLiteral(
        "update LOG_TABLE set schanges = 'a' || char(13) || char(10) || 'b' || char(10) || 'c' "
        "|| char(13) || 'd' where sid = 1"));
    click("BitBtnSelect");
    grid()->setFocus();
    QTest::keyClick(grid(), Qt::Key_Down); // sid 1
    QTest::keyClick(grid(), Qt::Key_Return);
    RecordWindow* record = window->viewLogsPage().recordWindow();
    ASSERT_NE(record, nullptr);
    ASSERT_TRUE(record->isVisible());
    EXPECT_EQ(record->windowTitle(), QStringLiteral("Запись"));
    const auto field = [&](const char* name) {
        return record->findChild<QLineEdit*>(QLatin1String(name))->text();
    };
    auto* memo = record->findChild<QPlainTextEdit*>(QStringLiteral("MemoChanges"));
    EXPECT_EQ(field("EditTable"), QStringLiteral("orders"));
    EXPECT_EQ(field("EditUserInfo"), QStringLiteral("PETROV - WS12 - APPUSER"));
    EXPECT_EQ(memo->document()->blockCount(), 4); // CR LF, LF and CR: one break each
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("a\nb\nc\nd"));

    // Down in the window moves the grid; so does the wheel, turned towards the user.
    memo->setFocus();
    QTest::keyClick(memo, Qt::Key_Down);
    EXPECT_EQ(grid()->currentIndex().row(), 2);
    EXPECT_EQ(field("EditTable"), QStringLiteral("CLIENTS"));
    WheelToArrowFilter wheel;
    qApp->installEventFilter(&wheel);
    QWheelEvent turn(QPointF(5, 5), memo->mapToGlobal(QPointF(5, 5)), {}, QPoint(0, 120), {}, {},
                     Qt::NoScrollPhase, false);
    QApplication::sendEvent(memo->viewport(), &turn);
    qApp->removeEventFilter(&wheel);
    EXPECT_EQ(grid()->currentIndex().row(), 1);
    QTest::keyClick(memo, Qt::Key_Up);
    QTest::keyClick(memo, Qt::Key_Up);
    EXPECT_EQ(grid()->currentIndex().row(), 0); // stops at the first record
    EXPECT_EQ(field("EditTable"), QStringLiteral("ORDERS"));

    // Without a selection Ctrl+C takes the record with its titles; with one, the selection.
    QTest::keyClick(memo, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), grid()->rowsText({0}, true));
    EXPECT_TRUE(QApplication::clipboard()->text().startsWith(QStringLiteral("Дата изменения\t")));
    auto* table = record->findChild<QLineEdit*>(QStringLiteral("EditTable"));
    table->setFocus();
    table->setSelection(0, 3);
    QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("ORD"));

    QTest::keyClick(table, Qt::Key_Escape);
    EXPECT_FALSE(record->isVisible());
    const QModelIndex third = grid()->model()->index(2, 1);
    mouseOn(third, Qt::LeftButton, true);
    EXPECT_TRUE(record->isVisible());
    EXPECT_EQ(field("EditTable"), QStringLiteral("CLIENTS"));
    EXPECT_TRUE(prompts.shown.empty()) << prompts.texts().join('|').toStdString();
}

// The record window of a main window that keeps its settings comes back where the user left it.
TEST_F(Page, TheRecordWindowKeepsItsPlaceInVarnelIni)
{
    const QString ini = folder.path(QStringLiteral("Varnel.ini"));
    const QRect place(40, 50, 500, 300);
    for (const bool first : {true, false}) {
        WindowSettings settings(ini);
        MainWindow main(data, prompts);
        main.useSettings(settings);
        main.show();
        main.findChild<QPushButton*>(QStringLiteral("BitBtnSelect"))->click();
        auto* view = main.findChild<LogGrid*>(QStringLiteral("DBGridMain"));
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Return);
        RecordWindow* record = main.viewLogsPage().recordWindow();
        ASSERT_NE(record, nullptr);
        if (first) {
            record->setGeometry(place);
            record->close();
            ASSERT_TRUE(settings.save());
        } else {
            EXPECT_EQ(record->geometry(), place);
        }
    }
}

} // namespace
} // namespace varnel::test
