#include "app/appmessage.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QKeyEvent>
#include <QStandardItemModel>
#include <QTableView>
#include <QtTest>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QWindow>

#include <gtest/gtest.h>

#include <vector>

namespace varnel {
namespace {

// Records the keys and wheel turns that reach it, and takes neither.
class Recorder : public QWidget {
public:
    std::vector<int> keys;
    std::vector<QPoint> wheels;

protected:
    void keyPressEvent(QKeyEvent* event) override { keys.push_back(event->key()); }
    void wheelEvent(QWheelEvent* event) override
    {
        wheels.push_back(event->angleDelta());
        event->ignore();
    }
};

// A window of real controls with the filter installed on the application, as at start-up.
class WheelTest : public testing::Test {
protected:
    WheelTest()
    {
        auto* layout = new QVBoxLayout(&window);
        for (int i = 0; i < 10; ++i)
            combo->addItem(QString::number(i));
        date->setCalendarPopup(true);
        model.setRowCount(20);
        model.setColumnCount(3);
        table->setModel(&model);
        for (QWidget* w : {static_cast<QWidget*>(combo), static_cast<QWidget*>(date),
                           static_cast<QWidget*>(table), static_cast<QWidget*>(recorder)})
            layout->addWidget(w);
        recorder->setMinimumHeight(40);
        recorder->setFocusPolicy(Qt::StrongFocus);
        qApp->installEventFilter(&filter);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    // Turns the wheel over `over` the way the window system delivers it: to the window first.
    static void turn(QWidget* over, int dy, int dx = 0)
    {
        const QPoint centre = over->rect().center();
        QWheelEvent wheel(over->mapTo(over->window(), centre), over->mapToGlobal(centre), QPoint(),
                          QPoint(dx, dy), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(over->window()->windowHandle(), &wheel);
    }

    AppMessage filter;
    QWidget window;
    QComboBox* combo = new QComboBox;
    QDateEdit* date = new QDateEdit(QDate(2024, 3, 15));
    QStandardItemModel model;
    QTableView* table = new QTableView;
    Recorder* recorder = new Recorder;
};

TEST_F(WheelTest, DropDownStepsOneEntryPerNotchWhateverTheDelta)
{
    struct Case {
        const char* name;
        std::vector<int> deltas;
        int index;
    };
    // A combo box steps on every wheel event by itself: only the translation steps once per
    // notch, and only the reset on a turn back makes the last case move down.
    const Case cases[] = {
        {"notch away", {120}, 4},
        {"notch towards", {-120}, 6},
        {"three notches away", {360}, 4},
        {"three notches towards", {-360}, 6},
        {"two large events", {-360, -360}, 7},
        {"thirds of a notch", {40, 40, 40}, 4},
        {"short of a notch", {40, 40}, 5},
        {"turned back", {60, -60, -60}, 6},
        {"high-resolution wheel", {-15, -15, -15, -15, -15, -15, -15, -15}, 6},
    };
    combo->setFocus();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AppMessage fresh;
        qApp->removeEventFilter(&filter);
        qApp->installEventFilter(&fresh);
        combo->setCurrentIndex(5);
        for (int delta : c.deltas)
            turn(combo, delta);
        EXPECT_EQ(combo->currentIndex(), c.index);
        qApp->removeEventFilter(&fresh);
    }
}

TEST_F(WheelTest, DatePickerStepsOneDay)
{
    date->setFocus();
    date->setCurrentSection(QDateTimeEdit::DaySection);
    turn(date, 360);
    EXPECT_EQ(date->date(), QDate(2024, 3, 16));
    turn(date, -120);
    turn(date, -120);
    EXPECT_EQ(date->date(), QDate(2024, 3, 14));
}

TEST_F(WheelTest, GridCurrentRowMovesByOne)
{
    table->setFocus();
    table->setCurrentIndex(model.index(5, 1));
    turn(table->viewport(), 360);
    EXPECT_EQ(table->currentIndex().row(), 4);
    turn(table->viewport(), -120);
    turn(table->viewport(), -120);
    EXPECT_EQ(table->currentIndex().row(), 6);
}

TEST_F(WheelTest, KeyGoesToTheFocusedWidgetElseToTheOneUnderTheWheel)
{
    table->setCurrentIndex(model.index(5, 1));
    combo->setCurrentIndex(5);
    recorder->setFocus();
    turn(table->viewport(), -120);
    EXPECT_EQ(recorder->keys, std::vector<int>{Qt::Key_Down}) << "exactly one press";
    EXPECT_EQ(table->currentIndex().row(), 5);

    recorder->clearFocus();
    ASSERT_EQ(QApplication::focusWidget(), nullptr);
    turn(table->viewport(), -120);
    EXPECT_EQ(table->currentIndex().row(), 6);
}

TEST_F(WheelTest, HorizontalWheelPassesUnchanged)
{
    recorder->setFocus();
    turn(recorder, 0, 120);
    EXPECT_EQ(recorder->wheels, std::vector<QPoint>{QPoint(120, 0)});
    EXPECT_TRUE(recorder->keys.empty());
}

} // namespace
} // namespace varnel
