// The histogram «Записей по времени» of the page "Просмотр логов" in the whole program, from
// its login on, driven by the mouse and the keyboard over a small log whose every record is
// known, on the embedded engine and on Oracle's path, in a Russian and an American locale.

#include "app/mainwindow.h"
#include "browse/dblookupcombobox.h"
#include "browse/timehistogramview.h"
#include "common/oraclestandin.h"
#include "common/session.h"
#include "common/testsupport.h"
#include "db/logdatabase.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDateEdit>
#include <QFile>
#include <QGroupBox>
#include <QHelpEvent>
#include <QMenu>
#include <QStyleOptionGroupBox>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

#include <functional>

namespace varnel::test {
namespace {

// Five days of March 2025, the third without a record, and one record without a date.
const char* const kRecords[] = {
    "(1, '2025-03-01 10:00:00', 'ORDERS', 'INSERT', 'a', 'PETROV - WS12 - APPUSER')",
    "(2, '2025-03-01 23:00:00', 'CLIENTS', 'UPDATE', 'b', 'IVANOV - WS1 - ADMIN')",
    "(3, '2025-03-02 12:00:00', 'ORDERS', 'DELETE', 'c', 'PETROV - WS12 - APPUSER')",
    "(4, '2025-03-04 09:00:00', 'CLIENTS', 'INSERT', 'd', 'SIDOROV - PC10 - APPUSER')",
    "(5, '2025-03-05 08:00:00', 'GOODS', 'INSERT', 'e', 'IVANOV - WS1 - ADMIN')",
    "(6, null, 'ORDERS', 'UPDATE', 'f', 'PETROV - WS12 - APPUSER')",
    "(7, '2025-03-05 18:00:00', 'ORDERS', 'UPDATE', 'g', 'PETROV - WS12 - APPUSER')",
};
const QList<int> kAllSids = {1, 2, 3, 4, 5, 7, 6};

// What the user reads and copies in each locale.
struct LocaleCase {
    QLocale locale;
    const char* firstTip;
    const char* copy;
};
const LocaleCase kLocales[] = {
    {QLocale(QLocale::Russian, QLocale::Russia), "01.03.2025: 2",
     "Период\tЗаписей\r\n01.03.2025\t2\r\n02.03.2025\t1\r\n03.03.2025\t0\r\n04.03.2025\t1\r\n"
     "05.03.2025\t2\r\n\t1\r\n"},
    {QLocale(QLocale::English, QLocale::UnitedStates), "3/1/25: 2",
     "Период\tЗаписей\r\n3/1/25\t2\r\n3/2/25\t1\r\n3/3/25\t0\r\n3/4/25\t1\r\n3/5/25\t2\r\n\t1\r\n"},
};

// On Oracle's path (the stand-in driver) when the parameter says so.
class HistogramPage : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        QString why;
        if (GetParam() && !OracleStandin::available(&why))
            GTEST_SKIP() << why.toStdString();
        source = makeLogDatabase(folder, QStringLiteral("log.sqlite"), kRecords);
    }

    // A fresh copy of the log, logged into; its file in `file`.
    std::unique_ptr<Session> start(const QString& history, QString& file)
    {
        static int made = 0;
        const QString name = QStringLiteral("HIST%1").arg(++made);
        QString base = name;
        if (GetParam()) {
            file = OracleStandin::place(source, name);
        } else {
            file = base = folder.path(name + QStringLiteral(".sqlite"));
            EXPECT_TRUE(QFile::copy(source, file));
        }
        auto session = std::make_unique<Session>(folder.path(history));
        EXPECT_TRUE(session->login({base, QStringLiteral("LOG_TABLE")}))
            << session->prompts.texts().join('\n').toStdString();
        return session;
    }

    TempFolder folder;
    QString source;
};

TimeHistogramView* chart(Session& session)
{
    return session.find<TimeHistogramView>("HistogramRecords");
}

void drag(QWidget* widget, QPoint from, QPoint to)
{
    QTest::mousePress(widget, Qt::LeftButton, {}, from);
    QTest::mouseMove(widget, (from + to) / 2);
    QTest::mouseMove(widget, to);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, to);
}

// Through the window, as the window system delivers it: a right click there brings the
// context menu event.
void rightClick(QWidget* widget, QPoint at)
{
    QTest::mouseClick(widget->window()->windowHandle(), Qt::RightButton, {},
                      widget->mapTo(widget->window(), at));
}

void clickItem(QMenu& menu, const char* name)
{
    ASSERT_TRUE(menu.isVisible()) << name;
    QAction* item = menu.findChild<QAction*>(QLatin1String(name));
    ASSERT_NE(item, nullptr) << name;
    QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(item).center());
}

// The date filter the panel holds: "" with both boxes clear and their pickers disabled, the
// two days ("2025-03-02..2025-03-04") with both ticked and enabled.
QString dateFilter(Session& session)
{
    const bool from = session.find<QCheckBox>("CheckBoxDateFrom")->isChecked();
    const bool to = session.find<QCheckBox>("CheckBoxDateTo")->isChecked();
    const auto* first = session.find<QDateEdit>("DateTimePickerFrom");
    const auto* last = session.find<QDateEdit>("DateTimePickerTo");
    if (from != to || first->isEnabled() != from || last->isEnabled() != to)
        return QStringLiteral("a box and its picker disagree");
    return from ? first->date().toString(Qt::ISODate) + QStringLiteral("..") +
                      last->date().toString(Qt::ISODate)
                : QString();
}

// Filled by «Отобрать» with exact counts, told by its tooltips, drawn to scale, copied, kept
// exact through a deletion, and emptied with the grid.
TEST_P(HistogramPage, FilledByOtobratToldCopiedAndEmptiedWithTheGrid)
{
    for (const LocaleCase& c : kLocales) {
        SCOPED_TRACE(c.locale.name().toStdString());
        const DefaultLocale scoped(c.locale);
        QString file;
        const auto session = start(QStringLiteral("exact.ini"), file);
        TimeHistogramView* view = chart(*session);
        EXPECT_TRUE(view->histogram().isEmpty()) << "before the first «Отобрать»";

        session->click("BitBtnSelect");
        ASSERT_EQ(session->sids(), kAllSids);
        const TimeHistogram& histogram = view->histogram();
        EXPECT_EQ(histogram.unit, TimeUnit::Day);
        EXPECT_EQ(histogram.counts, std::vector<int64_t>({2, 1, 0, 1, 2}));
        EXPECT_EQ(histogram.undated, 1);

        const QPoint first = view->barRect(0).center();
        QHelpEvent help(QEvent::ToolTip, first, view->mapToGlobal(first));
        QApplication::sendEvent(view, &help);
        EXPECT_EQ(QToolTip::text(), QString::fromUtf8(c.firstTip));
        QToolTip::hideText();

        // The largest count reaches the plot's top, one record half of it, none nothing.
        const QImage picture = view->grab().toImage();
        const auto pixel = [&](int bar, bool top) {
            const QRect column = view->barRect(bar);
            return picture.pixel(column.center().x(), top ? column.top() + 1 : column.bottom());
        };
        const QRgb empty = pixel(2, false);
        EXPECT_NE(pixel(0, false), empty);
        EXPECT_EQ(pixel(0, true), pixel(0, false));
        EXPECT_EQ(pixel(4, true), pixel(0, false));
        EXPECT_NE(pixel(3, false), empty);
        EXPECT_EQ(pixel(3, true), empty);

        QApplication::clipboard()->clear();
        // The bar right-clicked is the one the keyboard goes on from.
        rightClick(view, view->barRect(3).center());
        EXPECT_EQ(view->currentBar(), 3);
        clickItem(view->menu(), "ActionCopyData");
        EXPECT_EQ(QApplication::clipboard()->text(), QString::fromUtf8(c.copy));

        // Ctrl+Delete on the first row, of 1 March, and on the undated one.
        session->deleteRow(0);
        session->deleteRow(int(kAllSids.size()) - 2);
        EXPECT_EQ(histogram.counts, std::vector<int64_t>({1, 1, 0, 1, 2}));
        EXPECT_EQ(histogram.undated, 0);

        // A «Отобрать» that fails leaves the grid closed, and the histogram empty.
        queryScalar(file, QStringLiteral("drop table LOG_TABLE"));
        session->prompts.shown.clear();
        session->click("BitBtnSelect");
        ASSERT_FALSE(session->prompts.shown.empty());
        EXPECT_EQ(session->prompts.shown.back().kind, ScriptedPrompts::Kind::Error);
        EXPECT_FALSE(session->data().mainDataset().isOpen());
        EXPECT_TRUE(view->histogram().isEmpty());
    }
}

// Each way of taking bars ticks both date boxes on the first and the last of their days,
// narrows the lists as a click on a date box does and runs «Отобрать», which counts the new
// records; «Сбросить даты», reached by each of the menu's ways, undoes it all.
TEST_P(HistogramPage, TakenBarsBecomeTheDateFilterAndSbrositDatyClearsIt)
{
    const auto bar = [](Session& session, int bar) {
        return chart(session)->barRect(bar);
    };
    const struct {
        const char* way;
        std::function<void(Session&)> take;
        const char* days;
        QList<int> sids;
        QStringList tables;
        TimeUnit unit; // of the new records' span
        std::function<void(TimeHistogramView*)> openMenu;
    } cases[] = {
        {"a drag from the second bar to the fourth",
         [&](Session& s) { drag(chart(s), bar(s, 1).center(), bar(s, 3).center()); },
         "2025-03-02..2025-03-04",
         {3, 4},
         {"CLIENTS", "ORDERS", ""},
         TimeUnit::Hour,
         [](TimeHistogramView* view) {
             rightClick(view, view->rect().center());
         }},
        {"a drag from the fourth bar back past the left end",
         [&](Session& s) {
             drag(chart(s), bar(s, 3).center(), QPoint(-50, bar(s, 0).center().y()));
         },
         "2025-03-01..2025-03-04",
         {1, 2, 3, 4},
         {"CLIENTS", "ORDERS", ""},
         TimeUnit::Day,
         [](TimeHistogramView* view) {
             QTest::keyClick(view, Qt::Key_Menu);
         }},
        {"a double click on the last bar",
         [&](Session& s) { QTest::mouseDClick(chart(s), Qt::LeftButton, {}, bar(s, 4).center()); },
         "2025-03-05..2025-03-05",
         {5, 7},
         {"GOODS", "ORDERS", ""},
         TimeUnit::Hour,
         [](TimeHistogramView* view) {
             QTest::keyClick(view, Qt::Key_F10, Qt::ShiftModifier);
         }},
        {"Tab into the chart, Left three times, Right and Enter",
         [](Session& s) {
             TimeHistogramView* view = chart(s);
             s.find<QWidget>("GroupBoxHistogram")->setFocus(Qt::OtherFocusReason);
             QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
             ASSERT_EQ(QApplication::focusWidget(), view);
             // From the bar the click highlighted, past the left end and back.
             for (const Qt::Key key : {Qt::Key_Left, Qt::Key_Left, Qt::Key_Left, Qt::Key_Right})
                 QTest::keyClick(view, key);
             EXPECT_EQ(view->currentBar(), 1);
             EXPECT_EQ(QToolTip::text(), QString::fromUtf8("02.03.2025: 1"));
             QTest::keyClick(view, Qt::Key_Return);
         },
         "2025-03-02..2025-03-02",
         {3},
         {"ORDERS", ""},
         TimeUnit::Hour,
         [](TimeHistogramView* view) {
             QTest::keyClick(view, Qt::Key_Menu);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.way);
        QString file;
        const auto session = start(QStringLiteral("take.ini"), file);
        session->click("BitBtnSelect");
        ASSERT_EQ(session->sids(), kAllSids);
        // A click alone only highlights its bar.
        QTest::mouseClick(chart(*session), Qt::LeftButton, {}, bar(*session, 2).center());
        EXPECT_EQ(chart(*session)->currentBar(), 2);
        EXPECT_EQ(dateFilter(*session), QString());
        EXPECT_EQ(session->sids(), kAllSids);

        c.take(*session);
        EXPECT_EQ(dateFilter(*session), QLatin1String(c.days));
        EXPECT_EQ(session->sids(), c.sids);
        EXPECT_EQ(session->entries("DBLookupComboBoxTable"), c.tables);
        // The records of the days, counted anew.
        int64_t counted = 0;
        for (const int64_t count : chart(*session)->histogram().counts)
            counted += count;
        EXPECT_EQ(counted, c.sids.size());
        EXPECT_EQ(chart(*session)->histogram().unit, c.unit);

        TimeHistogramView* view = chart(*session);
        view->setFocus(Qt::OtherFocusReason);
        c.openMenu(view);
        clickItem(view->menu(), "ActionResetDates");
        EXPECT_EQ(dateFilter(*session), QString());
        EXPECT_EQ(session->sids(), kAllSids);
        EXPECT_EQ(session->entries("DBLookupComboBoxTable"),
                  QStringList({"CLIENTS", "GOODS", "ORDERS", ""}));
        EXPECT_EQ(chart(*session)->histogram().counts, std::vector<int64_t>({2, 1, 0, 1, 2}));
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, HistogramPage, ::testing::Values(false, true),
                         [](const auto& info) {
                             return std::string(info.param ? "Oracle" : "Embedded");
                         });

// The check box in the strip's title hides the chart, and the grid takes its room; the next
// run opens as this one ended, and the box brings the chart back.
TEST(HistogramStrip, TheCheckBoxHidesTheChartForTheGridAndTheNextRunKeepsIt)
{
    TempFolder folder;
    const QString base = makeDemoDatabase(folder, 30);
    const QString history = folder.path("Login.ini");
    int table = 0;
    {
        Session session(history);
        ASSERT_TRUE(session.login({base, QStringLiteral("LOG_TABLE")}));
        auto* strip = session.find<QGroupBox>("GroupBoxHistogram");
        table = session.find<QWidget>("GroupBoxTable")->height();
        EXPECT_EQ(strip->height(), 90);
        QStyleOptionGroupBox option;
        option.initFrom(strip);
        option.subControls = QStyle::SC_GroupBoxCheckBox;
        option.text = strip->title();
        const QRect box = strip->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                         QStyle::SC_GroupBoxCheckBox, strip);
        QTest::mouseClick(strip, Qt::LeftButton, {}, box.center());
        QTest::qWait(0);
        EXPECT_FALSE(strip->isChecked());
        EXPECT_FALSE(chart(session)->isVisible());
        EXPECT_LT(strip->height(), 40);
        EXPECT_EQ(session.find<QWidget>("GroupBoxTable")->height(), table + 90 - strip->height());
        session.window()->close();
    }
    EXPECT_TRUE(fileBytes(folder.path("Varnel.ini")).contains("Histogram=false"));

    Session next(history);
    ASSERT_TRUE(next.login({base, QStringLiteral("LOG_TABLE")}));
    QTest::qWait(0);
    auto* strip = next.find<QGroupBox>("GroupBoxHistogram");
    EXPECT_FALSE(strip->isChecked());
    EXPECT_FALSE(chart(next)->isVisible());
    strip->setFocus(Qt::TabFocusReason);
    QTest::keyClick(strip, Qt::Key_Space);
    QTest::qWait(0);
    EXPECT_TRUE(strip->isChecked());
    EXPECT_TRUE(chart(next)->isVisible());
    EXPECT_EQ(strip->height(), 90);
    EXPECT_EQ(next.find<QWidget>("GroupBoxTable")->height(), table);
}

} // namespace
} // namespace varnel::test
