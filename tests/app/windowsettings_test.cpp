// Varnel.ini: what the windows keep from one run to the next, its file read and written
// through damage, the main window placed from it and fitted onto the screen, and the start-up
// that keeps it beside Login.ini. The offscreen screen is smaller than the first layout.

#include "app/formmain.h"
#include "browse/filterset.h"
#include "browse/loggrid.h"
#include "common/session.h"
#include "common/testsupport.h"
#include "db/datamodulebase.h"
#include "db/localetext.h"
#include "ui/progresswait.h"
#include "ui/windowsettings.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QSplitterHandle>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace varnel::test {
namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

QRect available()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

TEST(FitInto, MovesAndShrinksOnlyWhatLeavesTheArea)
{
    const QRect area(0, 0, 800, 600);
    const struct {
        QRect frame, expected;
    } cases[] = {
        {{66, 76, 600, 400}, {66, 76, 600, 400}},      // fits: stays
        {{500, 300, 600, 400}, {200, 200, 600, 400}},  // out right and below: moved back
        {{-50, -20, 300, 200}, {0, 0, 300, 200}},      // out left and above
        {{66, 76, 1263, 700}, {0, 0, 800, 600}},       // larger: shrunk to the area
        {{5000, 4000, 1000, 100}, {0, 500, 800, 100}}, // on a monitor since removed
        {{10, 10, 100, 900}, {10, 0, 100, 600}},       // only too high
        {{0, 0, 800, 600}, {0, 0, 800, 600}},          // exactly the area
    };
    for (const auto& c : cases)
        EXPECT_EQ(fitInto(c.frame, area), c.expected) << c.frame.x() << "," << c.frame.y();
    // A task bar at the left: the area does not start at 0.
    EXPECT_EQ(fitInto({0, 0, 300, 200}, {40, 0, 760, 600}), QRect(40, 0, 300, 200));
}

TEST(SettingsFile, ValuesReadBackAndWhatDoesNotParseIsIgnored)
{
    TempFolder folder;
    const QString path = folder.path(QStringLiteral("Varnel.ini"));
    // Saved by Notepad: a byte order mark before the first section.
    writeFile(path, "\xEF\xBB\xBF[MainWindow]\r\n"
                    "Geometry=10,20,300,200\r\n"
                    "Geometry=1,1,1,1\r\n"
                    "  Maximized = true  \r\n"
                    "[Broken\n"
                    "Lost=1\n"
                    "; a comment=1\n"
                    "[DBGridMain]\n"
                    "SCHANGES=640\n"
                    "STABLE=-5\n"
                    "SACTION=abc\n"
                    "DDATE=99999999999\n"
                    " SUSER_INFO = 90 \n"
                    "[Foreign]\n"
                    "Colour=blue\n");
    {
        WindowSettings settings(path);
        EXPECT_EQ(settings.value("MainWindow", "Geometry"), "10,20,300,200");
        EXPECT_EQ(settings.value("MainWindow", "Maximized"), "true");
        EXPECT_EQ(settings.value("Broken", "Lost"), QString());
        EXPECT_EQ(settings.number("DBGridMain", "SCHANGES", 1, 100000), 640);
        EXPECT_EQ(settings.number("DBGridMain", "SACTION", 1, 100000), std::nullopt);
        EXPECT_EQ(settings.numbers("DBGridMain", 1, 100000),
                  (QMap<QString, int>{{"SCHANGES", 640}, {"SUSER_INFO", 90}}));
        // Names and values that would not read back are never written.
        settings.setValue("DBGridMain", "A=B", "1");
        settings.setValue("DBGridMain", "", "1");
        settings.setValue("DBGridMain", "Two", "lines\nof text");
        settings.setValue("[x", "y", "1");
        settings.setNumber("DBGridMain", "SCHANGES", 700);
        settings.setValue("ViewLogs", "Splitter1", "200");
        ASSERT_TRUE(settings.save());
    }
    EXPECT_EQ(fileBytes(path), QByteArray("[DBGridMain]\r\n"
                                          "DDATE=99999999999\r\n"
                                          "SACTION=abc\r\n"
                                          "SCHANGES=700\r\n"
                                          "STABLE=-5\r\n"
                                          "SUSER_INFO=90\r\n"
                                          "\r\n"
                                          "[Foreign]\r\n"
                                          "Colour=blue\r\n"
                                          "\r\n"
                                          "[MainWindow]\r\n"
                                          "Geometry=10,20,300,200\r\n"
                                          "Maximized=true\r\n"
                                          "\r\n"
                                          "[ViewLogs]\r\n"
                                          "Splitter1=200\r\n"));
}

TEST(SettingsFile, WhereItCannotBeReadOrWrittenTheProgramGoesOnWithout)
{
    TempFolder folder;
    writeFile(folder.path("file"), "x");
    ASSERT_TRUE(QDir().mkpath(folder.path("folder/Varnel.ini")));
    writeFile(folder.path("huge.ini"),
              QByteArray(3 << 20, '\n') + "[MainWindow]\nMaximized=true\n");
    writeFile(folder.path("binary.ini"), QByteArray("\x00\xff[MainWindow]\x00=\xfe\n", 14));
    const struct {
        QString path;
        bool writable;
    } cases[] = {
        {folder.path("folder/Varnel.ini"), false}, // a folder in the file's place
        {folder.path("file/Varnel.ini"), false},   // under a regular file
        {folder.path("huge.ini"), true},
        {folder.path("binary.ini"), true},
    };
    for (const auto& c : cases) {
        WindowSettings settings(c.path);
        EXPECT_EQ(settings.value("MainWindow", "Maximized"), QString()) << c.path.toStdString();
        QWidget window;
        EXPECT_FALSE(settings.track("MainWindow", window));
        settings.setNumber("ViewLogs", "Splitter1", 120);
        EXPECT_EQ(settings.save(), c.writable) << c.path.toStdString();
    }
    EXPECT_EQ(WindowSettings(folder.path("huge.ini")).number("ViewLogs", "Splitter1", 1, 999), 120);
}

TEST(SettingsFile, LivesBesideTheFileItIsGiven)
{
    EXPECT_EQ(WindowSettings::pathBeside("/opt/varnel/Login.ini"), "/opt/varnel/Varnel.ini");
    EXPECT_EQ(WindowSettings::pathBeside("/home/u/.config/Varnel/Login.ini"),
              "/home/u/.config/Varnel/Varnel.ini");
}

// Any window of the program keeps its geometry under its own name (the record viewer's
// "RecordWindow"): stored when hidden, given back to the next window of that name.
TEST(SettingsFile, ATrackedWindowComesBackWhereItWasHidden)
{
    TempFolder folder;
    const QString path = folder.path("Varnel.ini");
    const QRect place(120, 90, 400, 300);
    {
        WindowSettings settings(path);
        QWidget viewer;
        // A first size too large for the screen is fitted too.
        viewer.resize(4000, 3000);
        EXPECT_FALSE(settings.track("RecordWindow", viewer));
        EXPECT_TRUE(available().contains(viewer.geometry()));
        viewer.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&viewer));
        viewer.setGeometry(place);
        QTest::qWait(0);
        viewer.hide();
        QWidget second;
        EXPECT_TRUE(settings.track("RecordWindow", second));
        EXPECT_EQ(second.geometry(), place);
        // Still open at the save: its place then counts.
        second.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&second));
        second.setGeometry(place.translated(30, 20));
        QTest::qWait(0);
        ASSERT_TRUE(settings.save());
    }
    WindowSettings settings(path);
    QWidget third;
    EXPECT_TRUE(settings.track("RecordWindow", third));
    EXPECT_EQ(third.geometry(), place.translated(30, 20));
}

class MainWindowSettings : public ::testing::Test {
protected:
    MainWindowSettings()
    {
        data.ADOConnectionBase().connect(localConnectionString(makeDemoDatabase(folder, 40)));
        data.setCurrentLogTable(QStringLiteral("LOG_TABLE"));
        rebuildFilterLists(data, FilterValues{}, LocaleText::current());
    }

    // A run of the main window over the settings of `path`, as the start-up makes it.
    struct Run {
        WindowSettings settings;
        TFormMain window;
        Run(const QString& path, TDataModuleBase& data, Prompts& prompts)
            : settings(path), window(data, prompts)
        {
            window.useSettings(settings);
        }
    };
    std::unique_ptr<Run> start()
    {
        // The exit of a run before closed the connection.
        if (!data.ADOConnectionBase().connected())
            data.ADOConnectionBase().connect();
        auto run = std::make_unique<Run>(path, data, prompts);
        run->window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&run->window));
        QTest::qWait(0);
        return run;
    }
    // «Выход», pressed while the event loop runs, as in the program.
    void exit(TFormMain& window)
    {
        QTimer::singleShot(0, &window, [&window] {
            QTest::mouseClick(window.findChild<QPushButton*>("BitBtnExit"), Qt::LeftButton);
        });
        QObject giveUp;
        QTimer::singleShot(5000, &giveUp, [] { QCoreApplication::exit(1); });
        EXPECT_EQ(QCoreApplication::exec(), 0);
    }

    TempFolder folder;
    QString path = folder.path("Varnel.ini");
    ScriptedPrompts prompts;
    TDataModuleBase data;
};

TEST_F(MainWindowSettings, ExitStoresPlaceSizeSplitterAndDraggedWidthsForTheNextRun)
{
    const QRect place(30, 40, 700, 500);
    int stable = 0;
    int panel = 0;
    {
        auto run = start();
        TFormMain& window = run->window;
        window.setGeometry(place);
        QTest::qWait(0);
        // The splitter's handle dragged 30 pixels down.
        QSplitterHandle* handle = window.findChild<QSplitter*>("Splitter1")->handle(1);
        const QPoint grip = handle->rect().center();
        QTest::mousePress(handle, Qt::LeftButton, {}, grip);
        QTest::mouseMove(handle, grip + QPoint(0, 30));
        QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(0, 30));
        panel = window.findChild<QSplitter*>("Splitter1")->sizes().value(0);
        ASSERT_GT(panel, 173 + 20);
        // «Отобрать», then the title border of STABLE dragged.
        QTest::mouseClick(window.findChild<QPushButton*>("BitBtnSelect"), Qt::LeftButton);
        auto* grid = window.findChild<LogGrid*>("DBGridMain");
        const int column = data.ADOQueryMain().field("STABLE").index();
        QWidget* titles = grid->horizontalHeader()->viewport();
        const QPoint border(grid->columnViewportPosition(column) + grid->columnWidth(column) - 1,
                            5);
        QTest::mousePress(titles, Qt::LeftButton, {}, border);
        QTest::mouseMove(titles, border - QPoint(50, 0));
        QTest::mouseRelease(titles, Qt::LeftButton, {}, border - QPoint(50, 0));
        stable = grid->columnWidth(column);
        exit(window);
    }
    const WindowSettings saved(path);
    EXPECT_EQ(saved.value("MainWindow", "Geometry"), "30,40,700,500");
    EXPECT_EQ(saved.value("MainWindow", "Maximized"), "false");
    EXPECT_EQ(saved.number("ViewLogs", "Splitter1", 1, 9999), panel);
    EXPECT_EQ(saved.numbers("DBGridMain", 1, 9999), (QMap<QString, int>{{"STABLE", stable}}));

    auto run = start();
    EXPECT_EQ(run->window.geometry(), place);
    EXPECT_EQ(run->window.findChild<QSplitter*>("Splitter1")->sizes().value(0), panel);
    QTest::mouseClick(run->window.findChild<QPushButton*>("BitBtnSelect"), Qt::LeftButton);
    auto* grid = run->window.findChild<LogGrid*>("DBGridMain");
    EXPECT_EQ(grid->columnWidth(data.ADOQueryMain().field("STABLE").index()), stable);
    const int zero = grid->fontMetrics().horizontalAdvance('0');
    EXPECT_EQ(grid->columnWidth(data.ADOQueryMain().field("SACTION").index()),
              std::max(10 * zero, grid->horizontalHeader()->fontMetrics().horizontalAdvance(
                                      QStringLiteral("Тип действия"))) +
                  4);
}

TEST_F(MainWindowSettings, AMaximisedWindowComesBackMaximisedOverItsNormalPlace)
{
    const QRect place(50, 60, 600, 450);
    {
        auto run = start();
        run->window.setGeometry(place);
        QTest::qWait(0);
        run->window.showMaximized();
        QTest::qWait(0);
        exit(run->window);
    }
    EXPECT_EQ(WindowSettings(path).value("MainWindow", "Maximized"), "true");
    auto run = start();
    EXPECT_TRUE(run->window.isMaximized());
    EXPECT_EQ(run->window.normalGeometry(), place);
    run->window.showNormal();
    QTest::qWait(0);
    EXPECT_EQ(run->window.geometry(), place);
}

// The first layout (66, 76, a page of 1239 x 570) is larger than the offscreen screen, and so
// are saved geometries of a larger screen or of a monitor since removed.
TEST_F(MainWindowSettings, WhatDoesNotFitTheScreenIsMovedAndShrunkOntoIt)
{
    const struct {
        const char* file; // null: no Varnel.ini
        bool wide, high;  // larger than the screen that way: as wide or high as it
        bool panelKept;   // room enough for the filter panel's first height
    } cases[] = {
        {nullptr, true, false, true},
        {"[MainWindow]\nGeometry=5000,4000,300,200\n", false, false, false},
        {"[MainWindow]\nGeometry=-900,-900,400,300\n", false, false, false},
        {"[MainWindow]\nGeometry=10,10,3000,2500\nMaximized=false\n", true, true, true},
        {"[MainWindow]\nGeometry=10,10,zero,2500\n", true, false, true}, // damaged: ignored
    };
    for (const auto& c : cases) {
        const char* name = c.file ? c.file : "no file";
        QFile::remove(path);
        if (c.file)
            writeFile(path, c.file);
        auto run = start();
        const QRect frame = run->window.frameGeometry();
        EXPECT_TRUE(available().contains(frame))
            << name << " frame " << frame.x() << "," << frame.y() << " " << frame.width() << "x"
            << frame.height();
        EXPECT_EQ(frame.width() == available().width(), c.wide) << name;
        EXPECT_EQ(frame.height() == available().height(), c.high) << name;
        // The filter panel keeps its height where it can; the grid has what is left.
        if (c.panelKept) {
            EXPECT_EQ(run->window.findChild<QSplitter*>("Splitter1")->sizes().value(0), 173)
                << name;
        }
    }
}

// The whole program: a login, then the exit. Varnel.ini is made beside Login.ini, whatever
// folder that is, and the login history is not touched by it.
TEST(StartupSettings, VarnelIniLivesBesideLoginIniAndTheNextRunOpensWhereThisOneEnded)
{
    TempFolder folder;
    const QString base = makeDemoDatabase(folder, 30);
    const QString history = folder.path("some/deeper/folder/Login.ini");
    const QString settings = folder.path("some/deeper/folder/Varnel.ini");
    const QRect place(20, 30, 640, 480);
    QByteArray login;
    {
        Session session(history);
        ASSERT_TRUE(session.login({base, QStringLiteral("LOG_TABLE")}));
        login = fileBytes(history);
        ASSERT_NE(login, "<no file>");
        session.window()->setGeometry(place);
        QTest::qWait(0);
        session.window()->close();
        EXPECT_TRUE(session.prompts.shown.empty())
            << session.prompts.texts().join('|').toStdString();
    }
    EXPECT_EQ(fileBytes(history), login);
    EXPECT_FALSE(login.contains("Geometry"));
    EXPECT_TRUE(fileBytes(settings).startsWith("[DBGridMain]") ||
                fileBytes(settings).startsWith("[MainWindow]"))
        << fileBytes(settings).toStdString();

    Session next(history);
    ASSERT_TRUE(next.login({base, QStringLiteral("LOG_TABLE")}));
    EXPECT_EQ(next.window()->geometry(), place);
    // It is a file of the program's, which an export must not replace.
    const QByteArray kept = fileBytes(settings);
    next.exportTo(folder.path("some/deeper/../deeper/folder/Varnel.ini"));
    EXPECT_TRUE(next.prompts.texts().last().endsWith(
        QStringLiteral(": это файл, с которым работает программа.")))
        << next.prompts.texts().join('|').toStdString();
    EXPECT_EQ(fileBytes(settings), kept);
}

TEST(StartupSettings, AVarnelIniThatCannotBeWrittenCostsNothingButTheLayout)
{
    TempFolder folder;
    const QString base = makeDemoDatabase(folder, 30);
    const QString history = folder.path("Login.ini");
    ASSERT_TRUE(QDir().mkpath(folder.path("Varnel.ini/inside")));
    Session session(history);
    ASSERT_TRUE(session.login({base, QStringLiteral("LOG_TABLE")}));
    session.window()->close();
    EXPECT_FALSE(session.window()->isVisible());
    EXPECT_TRUE(session.prompts.shown.empty()) << session.prompts.texts().join('|').toStdString();
    EXPECT_TRUE(fileBytes(history).contains("[Login]"));
}

// The five lists of the filter panel, filled after the login's check of the log table, are
// waited for like every other statement of the windows: under the wait cursor.
TEST(StartupSettings, TheLoginsFilterListsRunUnderTheWaitCursor)
{
    TempFolder folder;
    const QString base = makeDemoDatabase(folder, 30);
    std::vector<bool> waiting; // outlives the session, whose end may still wait
    Session session(folder.path("Login.ini"));
    ProgressWait& wait = session.progressWait();
    wait.starting = [&waiting, before = wait.starting] {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        waiting.push_back(cursor && cursor->shape() == Qt::WaitCursor);
        if (before)
            before();
    };
    ASSERT_TRUE(session.login({base, QStringLiteral("LOG_TABLE")}));
    ASSERT_GE(waiting.size(), 5u);
    EXPECT_EQ(std::vector<bool>(waiting.end() - 5, waiting.end()), std::vector<bool>(5, true));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

} // namespace
} // namespace varnel::test
