#include "app/aboutdialog.h"
#include "app/mainwindow.h"
#include "app/splashwindow.h"
#include "app/wheeltoarrowfilter.h"
#include "common/scriptedprompts.h"
#include "common/testsupport.h"
#include "db/logdatabase.h"
#include "ui/progresswait.h"
#include "ui/windowsupport.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QDesktopServices>
#include <QFileDialog>
#include <QImageReader>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStandardItemModel>
#include <QTableView>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>
#include <QVBoxLayout>
#include <QWindow>

#include <gtest/gtest.h>

#include <optional>
#include <thread>
#include <vector>

namespace varnel {
namespace {

// Catches what the desktop would be asked to open, for as long as it lives.
class UrlCatcher : public QObject {
    Q_OBJECT

public:
    UrlCatcher() { QDesktopServices::setUrlHandler("https", this, "open"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler("https"); }
    QStringList opened;

public slots:
    void open(const QUrl& url) { opened << url.toString(); }
};

TEST(Pictures, EveryPictureDecodesFromTheProgram)
{
    for (const char* name :
         {"program.png", "picture.jpg", "ok.png", "cancel.png", "exit.png", "about.png",
          "select.png", "clear.png", "refresh.png", "delete.png", "export.png", "count.png"}) {
        QImageReader reader(QString(":/varnel/") + name);
        EXPECT_FALSE(reader.read().isNull()) << name << ": " << reader.errorString().toStdString();
    }
}

// Centred on the screen, not on an owner; pictures fit one side; of all clicks on their labels
// only a left one on the About's link opens. The splash is clicked before the modal About shows.
TEST(SplashAndAbout, CentredPicturesFitAndOnlyTheAboutLinkOpensOnALeftClick)
{
    QWidget owner;
    owner.setGeometry(10, 10, 200, 100);
    SplashWindow welcome;
    AboutDialog about(&owner);
    const std::pair<QWidget*, std::vector<const char*>> forms[] = {
        {&welcome, {"ImageProgram", "ImagePicture"}}, {&about, {"ProgramIcon", "ImagePicture"}}};
    UrlCatcher catcher;
    for (const auto& [form, pictures] : forms) {
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
        EXPECT_EQ(form->geometry().center(), form->screen()->availableGeometry().center())
            << form->metaObject()->className();
        for (const char* name : pictures) {
            const auto* label = form->findChild<QLabel*>(name);
            const QSizeF shown = label->pixmap().deviceIndependentSize();
            ASSERT_FALSE(shown.isEmpty()) << name << " not decoded";
            EXPECT_EQ(shown, shown.scaled(label->size(), Qt::KeepAspectRatio)) << name;
        }
        for (QLabel* label : form->findChildren<QLabel*>()) {
            QTest::mouseClick(label, Qt::LeftButton); // first: a right click may open a menu
            QTest::mouseClick(label, Qt::RightButton);
        }
    }
    EXPECT_EQ(catcher.opened, QStringList{"https://varnel.example.org/"});
}

class MainWindowTest : public testing::Test {
protected:
    MainWindowTest()
    {
        database.connection().connect(
            test::localConnectionString(test::makeDatabase(folder, "main.sqlite")));
        main.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&main));
    }
    QPushButton* button(const char* name) { return main.findChild<QPushButton*>(name); }

    test::TempFolder folder;
    LogDatabase database;
    test::ScriptedPrompts prompts;
    MainWindow main{database, prompts};
};

// With another window open, which alone would keep the event loop running.
TEST_F(MainWindowTest, EveryWayOutDisconnectsAndEndsTheEventLoop)
{
    QWidget other;
    other.show();
    const std::tuple<const char*, int, const char*> ways[] = {
        {"Exit on the view page", 0, "BitBtnExit"},
        {"Exit on the manage page", 1, "BitBtnExit2"},
        {"close box", 0, nullptr}};
    for (const auto& [way, page, exit] : ways) {
        database.connection().connect();
        main.show();
        main.findChild<QTabWidget*>("PageControl")->setCurrentIndex(page);
        QTimer::singleShot(0, &main, [this, name = exit] {
            name ? QTest::mouseClick(button(name), Qt::LeftButton)
                 : void(main.windowHandle()->close());
        });
        QObject giveUp; // its timer dies with it, never ending a later loop
        QTimer::singleShot(2000, &giveUp, [] { QCoreApplication::exit(1); });
        EXPECT_EQ(QCoreApplication::exec(), 0) << way;
        EXPECT_FALSE(database.connection().connected()) << way;
        EXPECT_FALSE(main.isVisible()) << way;
    }
}

TEST_F(MainWindowTest, EachAboutPressShowsANewWindowClosedByItsOk)
{
    for (int press = 1; press <= 2; ++press) {
        QPointer<QDialog> shown;
        QTimer::singleShot(0, &main, [&] {
            shown = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(shown, nullptr);
            QTest::mouseClick(shown->findChild<QPushButton*>("OKButton"), Qt::LeftButton);
            EXPECT_EQ(shown->result(), QDialog::Accepted) << "press " << press;
            shown->done(QDialog::Accepted); // never hang on an OK that does nothing
        });
        QTest::mouseClick(button("ButtonAbout"), Qt::LeftButton);
        EXPECT_TRUE(shown.isNull()) << "the About window outlived press " << press;
    }
}

// Uncut at any width (as the tab widget's corner widget it lost a pixel); pixel fonts apply.
TEST_F(MainWindowTest, AboutButtonInTheTopRightCornerAndPixelFonts)
{
    for (int width : {1263, 700}) {
        main.resize(width, 640);
        QTest::qWait(0);
        const QRect placed(button("ButtonAbout")->mapTo(&main, QPoint()), QSize(42, 25));
        EXPECT_EQ(button("ButtonAbout")->size(), placed.size());
        EXPECT_TRUE(main.rect().contains(placed) && placed.right() >= width - 6 &&
                    placed.top() <= 4)
            << "not whole in the corner at width " << width;
    }
    for (const auto& [name, pixels] :
         {std::pair("PageControl", 12), {"BitBtnExit", 13}, {"BitBtnExit2", 13}}) {
        const QFont font = main.findChild<QWidget*>(name)->font();
        EXPECT_EQ(font.family(), "Comic Sans MS") << name;
        EXPECT_EQ(font.pixelSize(), pixels) << name;
    }
}

// Records the keys (with their modifiers) and the wheel turns that reach it.
struct Recorder : QWidget {
    std::vector<int> keys;
    std::vector<QPoint> wheels;
    void keyPressEvent(QKeyEvent* e) override { keys.push_back(e->keyCombination().toCombined()); }
    void wheelEvent(QWheelEvent* e) override { wheels.push_back(e->angleDelta()); }
};

// Real controls in an active window, the filter installed on the application as at start-up.
class WheelTest : public testing::Test {
protected:
    WheelTest()
    {
        auto* layout = new QVBoxLayout(&window);
        combo->addItems({"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"});
        date->setCalendarPopup(true);
        table->setModel(&model);
        for (QWidget* w : std::initializer_list<QWidget*>{combo, date, table, recorder})
            layout->addWidget(w);
        recorder->setMinimumHeight(40);
        recorder->setFocusPolicy(Qt::StrongFocus);
        takeWheelAsArrows(window);
        qApp->installEventFilter(&filter);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    // Turns the wheel over `over` as the window system does: addressed to the window.
    static void turn(QWidget* over, int dy, int dx = 0, Qt::KeyboardModifiers mods = {})
    {
        const QPoint at = over->rect().center();
        QWheelEvent wheel(over->mapTo(over->window(), at), over->mapToGlobal(at), QPoint(),
                          QPoint(dx, dy), Qt::NoButton, mods, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(over->window()->windowHandle(), &wheel);
    }

    WheelToArrowFilter filter;
    QWidget window;
    QComboBox* combo = new QComboBox;
    QDateEdit* date = new QDateEdit;
    QStandardItemModel model{20, 3};
    QTableView* table = new QTableView;
    Recorder* recorder = new Recorder;
};

// From entry 5, the 15th or row 5. A combo box would step on every wheel event by itself.
TEST_F(WheelTest, EachNotchStepsOneEntryDayOrRowWhateverTheDelta)
{
    const std::tuple<const char*, QWidget*, std::vector<int>, int> cases[] = {
        {"three notches away", combo, {360}, 4},
        {"two large events", combo, {-360, -360}, 7},
        {"thirds of a notch", combo, {40, 40, 40}, 4},
        {"short of a notch", combo, {40, 40}, 5},
        {"a third after a notch", combo, {120, 40}, 4},
        {"turned back", combo, {60, -60, -60}, 6},
        {"high-resolution wheel", combo, {-15, -15, -15, -15, -15, -15, -15, -15}, 6},
        {"date, three notches away", date, {360}, 16},
        {"date, two notches towards", date, {-120, -120}, 13},
        {"grid, three notches away", table, {360}, 4},
        {"grid, two notches towards", table, {-120, -120}, 7},
    };
    for (const auto& [name, control, deltas, expected] : cases) {
        WheelToArrowFilter fresh; // nothing summed by the case before
        qApp->removeEventFilter(&filter);
        qApp->installEventFilter(&fresh);
        control->setFocus();
        combo->setCurrentIndex(5);
        date->setDate(QDate(2024, 3, 15));
        date->setCurrentSection(QDateTimeEdit::DaySection);
        table->setCurrentIndex(model.index(5, 1));
        for (int delta : deltas)
            turn(control, delta);
        const int value = control == combo  ? combo->currentIndex()
                          : control == date ? date->date().day()
                                            : table->currentIndex().row();
        EXPECT_EQ(value, expected) << name;
    }
}

TEST_F(WheelTest, KeyGoesToTheFocusedWidgetElseUnderTheWheelAndHorizontalPasses)
{
    table->setCurrentIndex(model.index(5, 1));
    recorder->setFocus();
    turn(recorder, 0, 120);
    EXPECT_EQ(recorder->wheels, std::vector<QPoint>{QPoint(120, 0)});
    turn(table->viewport(), -120, 0, Qt::ControlModifier);
    EXPECT_EQ(recorder->keys, std::vector{(Qt::ControlModifier | Qt::Key_Down).toCombined()});
    EXPECT_EQ(table->currentIndex().row(), 5);

    recorder->clearFocus();
    ASSERT_EQ(QApplication::focusWidget(), nullptr);
    turn(table->viewport(), -120);
    EXPECT_EQ(table->currentIndex().row(), 6);
}

// The wheel steps like the arrows in the program's own windows and the pop-ups they open (a
// drop-down list, a picker's calendar), never in a box, the save dialog or the progress
// window opened over them, where an arrow would move the default button or the chosen file.
TEST_F(WheelTest, OnlyTheProgramsWindowsAndTheirPopUpsTakeTheWheelAsArrows)
{
    combo->showPopup();
    QMessageBox box(&window);
    QFileDialog dialog(&window);
    QWidget plain;
    // The progress window of a wait, while it is shown.
    LogDatabase data;
    ProgressWait wait(std::chrono::milliseconds(0));
    data.connection().setWaiter(&wait);
    std::optional<bool> progressServed;
    wait.whileShown = [&](QWidget& shown) {
        progressServed = takesWheelAsArrows(&shown);
    };
    data.connection().work(QStringLiteral("Выгрузка логов"), [](Call&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    });
    EXPECT_EQ(progressServed, std::optional<bool>(false));
    const std::tuple<const char*, const QWidget*, bool> cases[] = {
        {"the window", &window, true},          {"a control", combo, true},
        {"the open list", combo->view(), true}, {"the calendar", date->calendarWidget(), true},
        {"a question box", &box, false},        {"the save dialog", &dialog, false},
        {"another window", &plain, false},      {"nothing", nullptr, false},
    };
    for (const auto& [name, widget, served] : cases)
        EXPECT_EQ(takesWheelAsArrows(widget), served) << name;
    combo->hidePopup();
}

} // namespace
} // namespace varnel

#include "shell_test.moc"
