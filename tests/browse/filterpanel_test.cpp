// The page "Просмотр логов" in the real main window, driven by clicks, keys and resizes: what
// Enter runs, how a typed date lands in a picker after a click, and who takes the room of a
// growing window.

#include "app/mainwindow.h"
#include "base/localetext.h"
#include "browse/core/filterset.h"
#include "browse/loggrid.h"
#include "common/scriptedprompts.h"
#include "common/testsupport.h"
#include "db/logdatabase.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <map>

namespace varnel::test {
namespace {

class FilterPanel : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = makeDemoDatabase(folder, 40);
        data.connection().connect(localConnectionString(path));
        data.setCurrentLogTable(QStringLiteral("LOG_TABLE"));
        rebuildFilterLists(data, FilterValues{}, LocaleText::current());
        window = std::make_unique<MainWindow>(data, prompts);
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    template <class T = QWidget> T* child(const char* name) const
    {
        return window->findChild<T*>(QLatin1String(name));
    }
    std::map<QString, int> shownWidths() const
    {
        const LogGrid& grid = *child<LogGrid>("DBGridMain");
        std::map<QString, int> widths;
        for (int column = 0; column < grid.model()->columnCount(); ++column)
            if (!grid.isColumnHidden(column))
                widths[grid.fieldName(column)] = grid.columnWidth(column);
        return widths;
    }

    TempFolder folder;
    QString path;
    ScriptedPrompts prompts;
    LogDatabase data;
    std::unique_ptr<MainWindow> window;
};

TEST_F(FilterPanel, OnlyEnterWithoutCtrlShiftOrAltRunsTheDrawnDefaultOtobrat)
{
    const std::tuple<Qt::Key, Qt::KeyboardModifiers, bool> keys[] = {
        {Qt::Key_Return, Qt::NoModifier, true},
        {Qt::Key_Enter, Qt::KeypadModifier, true},
        {Qt::Key_Return, Qt::ControlModifier, false},
        {Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier, false},
        {Qt::Key_Return, Qt::ShiftModifier, false},
        {Qt::Key_Return, Qt::AltModifier, false},
    };
    for (const char* name :
         {"CheckBoxDateFrom", "EditChanges", "DBLookupComboBoxAction", "RadioGroupChangesItem1"}) {
        for (const auto& [key, modifiers, runs] : keys) {
            data.mainDataset().close();
            child(name)->setFocus(Qt::TabFocusReason);
            QTest::keyClick(child(name), key, modifiers);
            EXPECT_EQ(data.mainDataset().isOpen(), runs)
                << name << " key " << key << " modifiers " << modifiers.toInt();
        }
    }
    // The button itself, no longer auto-default, still takes Enter.
    data.mainDataset().close();
    child("BitBtnSelect")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(child("BitBtnSelect"), Qt::Key_Return);
    EXPECT_TRUE(data.mainDataset().isOpen());
    // Still drawn as the default button after the focus has been on it and left it.
    auto* select = child<QPushButton>("BitBtnSelect");
    child("EditChanges")->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(select->isDefault());
    const QImage drawn = select->grab().toImage();
    select->setDefault(false);
    EXPECT_NE(select->grab().toImage(), drawn) << "nothing marks the default button";
    EXPECT_TRUE(prompts.shown.empty()) << prompts.texts().join('|').toStdString();
}

// Clicks a picker where a user does: on its text (its line edit), inside one of its parts
// (0 the day, 1 the month, 2 the year of dd.MM.yyyy).
void clickPart(QDateEdit& picker, int part)
{
    auto* text = picker.findChild<QLineEdit*>();
    const int inside[] = {1, 4, 8};
    const int y = text->height() / 2;
    int x = 0;
    while (x < text->width() && text->cursorPositionAt({x, y}) < inside[part])
        ++x;
    QTest::mouseClick(text, Qt::LeftButton, {}, {x, y});
}

// A click into a picker selects its first part as Tab does, so that a typed date fills day,
// month and year; a click while it has the focus selects the part clicked, for that part.
TEST_F(FilterPanel, ADateTypedAfterAClickLandsInItsParts)
{
    const struct {
        const char* picker;
        bool focusedBefore;
        int part;
        const char* typed;
        QDate expected;
    } cases[] = {
        {"DateTimePickerFrom", false, 1, "05.03.2024", {2024, 3, 5}},
        {"DateTimePickerTo", false, 2, "01112025", {2025, 11, 1}},
        {"DateTimePickerFrom", false, 0, "7.8.2023", {2023, 8, 7}},
        {"DateTimePickerFrom", true, 2, "2023", {2023, 12, 8}},
        {"DateTimePickerTo", true, 1, "07", {2026, 7, 8}},
        {"DateTimePickerClearFrom", false, 1, "05.03.2024", {2024, 3, 5}},
        {"DateTimePickerClearTo", true, 0, "31", {2026, 12, 31}},
    };
    for (const char* box : {"CheckBoxDateFrom", "CheckBoxDateTo", "CheckBoxClearLogTable"})
        child<QCheckBox>(box)->click();
    for (const auto& c : cases) {
        auto* picker = child<QDateEdit>(c.picker);
        const bool viewPage = child("TabSheetViewLogs")->isAncestorOf(picker);
        child<QTabWidget>("PageControl")->setCurrentIndex(viewPage ? 0 : 1);
        picker->setDate(QDate(2026, 12, 8));
        child(viewPage ? "CheckBoxDateFrom" : "CheckBoxClearLogTable")
            ->setFocus(Qt::TabFocusReason);
        if (c.focusedBefore)
            clickPart(*picker, 0);
        clickPart(*picker, c.part);
        ASSERT_TRUE(picker->hasFocus()) << c.picker;
        QTest::keyClicks(picker, QString::fromLatin1(c.typed));
        EXPECT_EQ(picker->date(), c.expected) << c.picker << " typed " << c.typed;
    }
}

// A two-digit year typed into a picker that shows four is read as the database reads two
// digits (RR), shown so as soon as the typing ends, and is what the lists and «Отобрать» use;
// a year that cannot be read stays as typed, in red, and is not replaced by the last day.
TEST_F(FilterPanel, ATwoDigitYearTypedIntoAPickerIsReadAsTheDatabaseReadsIt)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    const QDate before(2026, 12, 8);
    const struct {
        QLocale locale;
        const char* typed;
        Qt::Key leaving;
        QString shown;
        QDate day;
        bool read;
    } cases[] = {
        {english, "1/1/75", Qt::Key_Tab, "1/1/1975", {1975, 1, 1}, true},
        {english, "12/31/49", Qt::Key_Return, "12/31/2049", {2049, 12, 31}, true},
        {german, "1.2.50", Qt::Key_Tab, "01.02.1950", {1950, 2, 1}, true},
        {german, "1.2.16", Qt::Key_Return, "01.02.2016", {2016, 2, 1}, true},
        {russian, "01.02.00", Qt::Key_Return, "01.02.2000", {2000, 2, 1}, true},
        {russian, "01.02.1975", Qt::Key_Tab, "01.02.1975", {1975, 2, 1}, true},
        // the year first: the separator after it ends it
        {japanese, "99/3/4", Qt::Key_Tab, "1999/03/04", {1999, 3, 4}, true},
        // the last day the text could be read as stays, the text too
        {english, "1/1/7", Qt::Key_Tab, "1/1/7", {2026, 1, 1}, false},
        {german, "1.2.197", Qt::Key_Return, "01.02.197", {2026, 2, 1}, false},
        {russian, "05.06.7", Qt::Key_Tab, "05.06.7", {2026, 6, 5}, false},
    };
    const QLocale saved;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale.name().toStdString() + " " + c.typed);
        QLocale::setDefault(c.locale);
        // The connection reads the statements' dates in the locale's format.
        LogDatabase local;
        local.connection().connect(localConnectionString(path));
        local.setCurrentLogTable(QStringLiteral("LOG_TABLE"));
        rebuildFilterLists(local, FilterValues{}, LocaleText::current());
        MainWindow page(local, prompts);
        page.show();
        QApplication::setActiveWindow(&page);
        auto* picker = page.findChild<QDateEdit*>(QStringLiteral("DateTimePickerFrom"));
        auto* text = picker->findChild<QLineEdit*>();
        picker->setDate(before);
        page.findChild<QCheckBox*>(QStringLiteral("CheckBoxDateFrom"))->click();
        picker->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(picker, QString::fromLatin1(c.typed));
        QTest::keyClick(picker, c.leaving);

        EXPECT_EQ(text->text(), c.shown);
        EXPECT_EQ(picker->date(), c.day);
        EXPECT_EQ(text->palette().color(QPalette::Text) == QColor(Qt::red), !c.read);
        if (c.read) {
            const QString day = LocaleText::current().dateText(c.day);
            const QString statement =
                (c.leaving == Qt::Key_Tab ? local.dataset(DatasetRole::Table) : local.mainDataset())
                    .getText();
            EXPECT_TRUE(statement.contains(" and trunc(ddate) >= '" + day + "'"))
                << statement.toStdString();
        } else {
            // Back in it by the keyboard or a click, the text is still the one typed, its year
            // chosen to be typed again.
            picker->setFocus(Qt::BacktabFocusReason);
            EXPECT_EQ(text->text(), c.shown);
            page.findChild<QWidget*>(QStringLiteral("CheckBoxDateFrom"))->setFocus();
            QTest::mouseClick(text, Qt::LeftButton, {}, {2, text->height() / 2});
            EXPECT_TRUE(picker->hasFocus());
            EXPECT_EQ(text->text(), c.shown);
            QTest::keyClicks(picker, QStringLiteral("75"));
            QTest::keyClick(picker, Qt::Key_Tab);
            EXPECT_EQ(picker->date(), QDate(1975, c.day.month(), c.day.day()));
        }
    }

    // On «Управление логами» a click on «Очистить таблицу» ends the typing: its question
    // names the year typed.
    QLocale::setDefault(english);
    MainWindow program(data, prompts);
    program.show();
    QApplication::setActiveWindow(&program);
    program.findChild<QTabWidget*>(QStringLiteral("PageControl"))->setCurrentIndex(1);
    program.findChild<QCheckBox*>(QStringLiteral("CheckBoxClearLogTable"))->click();
    auto* picker = program.findChild<QDateEdit*>(QStringLiteral("DateTimePickerClearFrom"));
    picker->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(picker, QStringLiteral("1/1/75"));
    prompts.answers = {false};
    QTest::mouseClick(program.findChild<QPushButton*>(QStringLiteral("BitBtnClearLogTable")),
                      Qt::LeftButton);
    ASSERT_FALSE(prompts.shown.empty());
    EXPECT_TRUE(prompts.shown.back().text.contains(QStringLiteral("1/1/1975")))
        << prompts.shown.back().text.toStdString();
    prompts.shown.pop_back();

    QLocale::setDefault(saved);
    for (const auto& prompt : prompts.shown) // the days after 2049 hold no record
        EXPECT_EQ(prompt.kind, ScriptedPrompts::Kind::Status) << prompt.text.toStdString();
}

// The first layout (tested with the page) gives the panel 173 pixels. A larger window gives
// its height to the grid, which shows more rows, and its width to the change text; a smaller
// one takes the width back from the change text, down to its own width.
TEST_F(FilterPanel, AGrowingWindowGrowsTheGridAndTheChangeTextColumnOnly)
{
    QTest::keyClick(child("CheckBoxDateFrom"), Qt::Key_Return);
    auto* grid = child<LogGrid>("DBGridMain");
    const int panel = child("GroupBoxFiltr")->height(), table = child("GroupBoxTable")->height();
    const int rows = grid->rowAt(grid->viewport()->height() - 1);
    const std::map<QString, int> first = shownWidths();
    const QSize size = window->size();

    window->resize(size + QSize(700, 300));
    QTest::qWait(0);
    EXPECT_EQ(child("GroupBoxFiltr")->height(), panel);
    EXPECT_EQ(child("GroupBoxTable")->height(), table + 300);
    EXPECT_GT(grid->rowAt(grid->viewport()->height() - 1), rows);
    std::map<QString, int> grown = shownWidths();
    EXPECT_GT(grown.at("SCHANGES"), first.at("SCHANGES"));
    int total = 0;
    for (const auto& [name, width] : grown) {
        total += width;
        EXPECT_TRUE(name == "SCHANGES" || width == first.at(name)) << name.toStdString();
    }
    EXPECT_EQ(total, grid->viewport()->width());
    QTest::keyClick(child("CheckBoxDateFrom"), Qt::Key_Return);
    EXPECT_EQ(shownWidths(), grown) << "«Отобрать» again";
    // A neighbour dragged wider takes its room from the change text.
    const int action = data.mainDataset().field("SACTION").index();
    const QPoint border(grid->columnViewportPosition(action) + grid->columnWidth(action) - 1, 5);
    QTest::mousePress(grid->horizontalHeader()->viewport(), Qt::LeftButton, {}, border);
    QTest::mouseMove(grid->horizontalHeader()->viewport(), border + QPoint(30, 0));
    QTest::mouseRelease(grid->horizontalHeader()->viewport(), Qt::LeftButton, {},
                        border + QPoint(30, 0));
    EXPECT_EQ(shownWidths().at("SACTION"), grown.at("SACTION") + 30);
    EXPECT_EQ(shownWidths().at("SCHANGES"), grown.at("SCHANGES") - 30);

    window->resize(size - QSize(500, 0));
    QTest::qWait(0);
    const int zero = grid->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    EXPECT_EQ(shownWidths().at("SCHANGES"), 80 * zero + 4);
}

} // namespace
} // namespace varnel::test
