// The filter panel and the grid of the page "Просмотр логов" in the real main window, driven by
// clicks, keys and resizes: what Enter runs, how a typed date lands in a picker after a click,
// and who takes the room of a growing window.

#include "app/formmain.h"
#include "browse/filterset.h"
#include "browse/loggrid.h"
#include "common/scriptedprompts.h"
#include "common/testsupport.h"
#include "db/datamodulebase.h"
#include "db/localetext.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
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
        const QString path = makeDemoDatabase(folder, 40);
        data.ADOConnectionBase().connect(localConnectionString(path));
        data.setCurrentLogTable(QStringLiteral("LOG_TABLE"));
        rebuildFilterLists(data, FilterValues{}, LocaleText::current());
        window = std::make_unique<TFormMain>(data, prompts);
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    template <class T> T* child(const char* name) const
    {
        T* widget = window->findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    // The widths of the shown columns by field name.
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
    ScriptedPrompts prompts;
    TDataModuleBase data;
    std::unique_ptr<TFormMain> window;
};

// Clicks a picker where a user clicks: on its text (the line edit inside it), in the middle of
// one of its parts (0 the day, 1 the month, 2 the year of dd.MM.yyyy).
void clickPart(QDateEdit& picker, int part)
{
    auto* text = picker.findChild<QLineEdit*>();
    ASSERT_NE(text, nullptr);
    const int inside[] = {1, 4, 8};
    const int y = text->height() / 2;
    int x = 0;
    while (x < text->width() && text->cursorPositionAt({x, y}) < inside[part])
        ++x;
    QTest::mouseClick(text, Qt::LeftButton, {}, {x, y});
}

TEST_F(FilterPanel, OnlyEnterWithoutCtrlShiftOrAltRunsOtobrat)
{
    const std::tuple<Qt::Key, Qt::KeyboardModifiers, bool> keys[] = {
        {Qt::Key_Return, Qt::NoModifier, true},
        {Qt::Key_Enter, Qt::KeypadModifier, true},
        {Qt::Key_Return, Qt::ControlModifier, false},
        {Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier, false},
        {Qt::Key_Return, Qt::ShiftModifier, false},
        {Qt::Key_Return, Qt::AltModifier, false},
    };
    StatementSlot& main = data.ADOQueryMain();
    for (const char* name :
         {"CheckBoxDateFrom", "EditChanges", "DBLookupComboBoxAction", "RadioGroupChangesItem1"}) {
        for (const auto& [key, modifiers, runs] : keys) {
            main.close();
            QWidget* control = child<QWidget>(name);
            control->setFocus(Qt::TabFocusReason);
            QTest::keyClick(control, key, modifiers);
            EXPECT_EQ(main.isOpen(), runs)
                << name << " key " << key << " modifiers " << modifiers.toInt();
        }
    }
    EXPECT_TRUE(prompts.shown.empty()) << prompts.texts().join('|').toStdString();
}

// Drawn as a dialog's default button, so that the user sees what Enter does; still pressed
// once by Enter, whether the focus is in the panel or on the button itself.
TEST_F(FilterPanel, OtobratIsDrawnAsTheDefaultButtonAndEnterPressesItOnce)
{
    auto* select = child<QPushButton>("BitBtnSelect");
    ASSERT_TRUE(select->isDefault());
    const QImage drawn = select->grab().toImage();
    select->setDefault(false);
    EXPECT_NE(select->grab().toImage(), drawn) << "nothing marks the default button";
    select->setDefault(true);

    int presses = 0;
    QObject::connect(select, &QPushButton::clicked, [&presses] { ++presses; });
    QTest::keyClick(child<QWidget>("CheckBoxDateFrom"), Qt::Key_Return);
    select->setFocus(Qt::TabFocusReason);
    QTest::keyClick(select, Qt::Key_Return);
    // Another button with the focus takes Enter for itself, as in a dialog.
    auto* clear = child<QPushButton>("BitBtnClearFiltr");
    clear->setFocus(Qt::TabFocusReason);
    QTest::keyClick(clear, Qt::Key_Return);
    EXPECT_EQ(presses, 2);
    EXPECT_TRUE(select->isDefault());
}

// A click into a picker selects a part as Tab does, so that a date typed with or without
// separators fills day, month and year; a click while it has the focus selects the part
// clicked, for that part alone.
TEST_F(FilterPanel, ADateTypedAfterAClickLandsInItsParts)
{
    const struct {
        const char* picker;
        int page;
        bool focusedBefore;
        int part;
        const char* typed;
        QDate expected;
    } cases[] = {
        {"DateTimePickerFrom", 0, false, 1, "05.03.2024", {2024, 3, 5}},
        {"DateTimePickerTo", 0, false, 2, "01112025", {2025, 11, 1}},
        {"DateTimePickerFrom", 0, false, 0, "7.8.2023", {2023, 8, 7}},
        {"DateTimePickerFrom", 0, true, 2, "2023", {2023, 12, 8}},
        {"DateTimePickerTo", 0, true, 1, "07", {2026, 7, 8}},
        {"DateTimePickerClearFrom", 1, false, 1, "05.03.2024", {2024, 3, 5}},
        {"DateTimePickerClearTo", 1, true, 0, "31", {2026, 12, 31}},
    };
    QTest::mouseClick(child<QCheckBox>("CheckBoxDateFrom"), Qt::LeftButton);
    QTest::mouseClick(child<QCheckBox>("CheckBoxDateTo"), Qt::LeftButton);
    child<QTabWidget>("PageControl")->setCurrentIndex(1);
    QTest::mouseClick(child<QCheckBox>("CheckBoxClearLogTable"), Qt::LeftButton);
    for (const auto& c : cases) {
        child<QTabWidget>("PageControl")->setCurrentIndex(c.page);
        auto* picker = child<QDateEdit>(c.picker);
        ASSERT_TRUE(picker->isEnabled()) << c.picker;
        picker->setDate(QDate(2026, 12, 8));
        // The focus starts elsewhere, in the page's first control.
        (c.page == 0 ? child<QWidget>("CheckBoxDateFrom") : child<QWidget>("CheckBoxClearLogTable"))
            ->setFocus(Qt::TabFocusReason);
        if (c.focusedBefore)
            clickPart(*picker, 0);
        clickPart(*picker, c.part);
        ASSERT_TRUE(picker->hasFocus()) << c.picker;
        QTest::keyClicks(picker, QString::fromLatin1(c.typed));
        EXPECT_EQ(picker->date(), c.expected) << c.picker << " typed " << c.typed;
    }
    EXPECT_TRUE(prompts.shown.empty()) << prompts.texts().join('|').toStdString();
}

// The first layout (tested with the page) gives the panel 173 pixels; a larger window gives
// its extra height to the grid, which shows more rows, and its extra width to the change
// text. A smaller one takes the width back from the change text down to its own width.
TEST_F(FilterPanel, AGrowingWindowGrowsTheGridAndTheChangeTextColumnOnly)
{
    QTest::keyClick(child<QWidget>("CheckBoxDateFrom"), Qt::Key_Return);
    auto* grid = child<LogGrid>("DBGridMain");
    const int panel = child<QGroupBox>("GroupBoxFiltr")->height();
    const int table = child<QGroupBox>("GroupBoxTable")->height();
    const int rows = grid->rowAt(grid->viewport()->height() - 1);
    const std::map<QString, int> first = shownWidths();
    ASSERT_EQ(first.size(), 5u);
    const QSize size = window->size();

    window->resize(size + QSize(700, 300));
    QTest::qWait(0);
    EXPECT_EQ(child<QGroupBox>("GroupBoxFiltr")->height(), panel);
    EXPECT_EQ(child<QGroupBox>("GroupBoxTable")->height(), table + 300);
    EXPECT_GT(grid->rowAt(grid->viewport()->height() - 1), rows);
    std::map<QString, int> grown = shownWidths();
    int total = 0;
    for (const auto& [name, width] : grown) {
        total += width;
        if (name != QLatin1String("SCHANGES")) {
            EXPECT_EQ(width, first.at(name)) << name.toStdString();
        }
    }
    EXPECT_GT(grown.at("SCHANGES"), first.at("SCHANGES"));
    EXPECT_EQ(total, grid->viewport()->width()) << "the columns leave room or overflow";

    // Another «Отобрать» keeps the filled width.
    QTest::keyClick(child<QWidget>("CheckBoxDateFrom"), Qt::Key_Return);
    EXPECT_EQ(shownWidths(), grown);

    window->resize(size - QSize(500, 0));
    QTest::qWait(0);
    const std::map<QString, int> shrunk = shownWidths();
    const int zero = grid->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    EXPECT_EQ(shrunk.at("SCHANGES"), 80 * zero + 4) << "never below its own width";
    EXPECT_EQ(shrunk.at("STABLE"), first.at("STABLE"));
}

} // namespace
} // namespace varnel::test
