// Varnel.ini: its file through damage, the main window placed from it and fitted onto the
// screen (the offscreen screen is smaller than the first layout), and the start-up that keeps
// it beside Login.ini.

#include "app/mainwindow.h"
#include "base/localetext.h"
#include "browse/core/filterset.h"
#include "browse/loggrid.h"
#include "browse/recordwindow.h"
#include "browse/viewlogspage.h"
#include "common/session.h"
#include "common/testsupport.h"
#include "db/logdatabase.h"
#include "ui/progresswait.h"
#include "ui/windowsettings.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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
    const QRect area(40, 0, 760, 600); // a task bar at the left
    const std::pair<QRect, QRect> cases[] = {
        {{66, 76, 600, 400}, {66, 76, 600, 400}},      // fits: stays
        {{500, 300, 600, 400}, {200, 200, 600, 400}},  // out right and below
        {{-50, -20, 300, 200}, {40, 0, 300, 200}},     // out left and above
        {{66, 76, 1263, 700}, {40, 0, 760, 600}},      // larger: the whole area
        {{5000, 4000, 1000, 100}, {40, 500, 760, 100}} // on a monitor since removed
    };
    for (const auto& [frame, expected] : cases)
        EXPECT_EQ(fitInto(frame, area), expected) << frame.x() << "," << frame.y();
}

TEST(SettingsFile, ReadsWhatParsesKeepsForeignKeysAndNeverStopsTheProgram)
{
    TempFolder folder;
    const QString path = folder.path("Varnel.ini");
    // Saved by Notepad (a byte order mark), then edited by hand.
    writeFile(path, "\xEF\xBB\xBF[MainWindow]\r\nGeometry=10,20,300,200\r\nGeometry=1,1,1,1\r\n"
                    "  Maximized = true  \r\n[Broken\nLost=1\n[DBGridMain]\nSCHANGES=640\n"
                    "STABLE=-5\nSACTION=abc\n SUSER_INFO = 90 \n[Foreign]\nColour=blue\n");
    {
        WindowSettings settings(path);
        EXPECT_EQ(settings.value("MainWindow", "Geometry"), "10,20,300,200");
        EXPECT_EQ(settings.value("Broken", "Lost"), QString());
        EXPECT_EQ(settings.numbers("DBGridMain", 1, 100000),
                  (QMap<QString, int>{{"SCHANGES", 640}, {"SUSER_INFO", 90}}));
        // Names and values that would not read back are never written.
        settings.setValue("DBGridMain", "A=B", "1");
        settings.setValue("DBGridMain", "Two", "lines\nof text");
        settings.setNumber("DBGridMain", "SCHANGES", 700);
        ASSERT_TRUE(settings.save());
    }
    EXPECT_EQ(fileBytes(path), "[DBGridMain]\r\nSACTION=abc\r\nSCHANGES=700\r\nSTABLE=-5\r\n"
                               "SUSER_INFO=90\r\n\r\n[Foreign]\r\nColour=blue\r\n\r\n"
                               "[MainWindow]\r\nGeometry=10,20,300,200\r\nMaximized=true\r\n");

    // A folder in the file's place, a path under a regular file, a huge or binary file. A file
    // too large to be the program's is not read, and not saved over either.
    writeFile(folder.path("file"), "x");
    ASSERT_TRUE(QDir().mkpath(folder.path("folder/Varnel.ini")));
    writeFile(folder.path("huge.ini"), QByteArray(3 << 20, '\n') + "[MainWindow]\nMaximized=1\n");
    writeFile(folder.path("binary.ini"), QByteArray("\x00\xff[MainWindow]\x00=\xfe\n", 14));
    for (const auto& [name, writable] : {std::pair("folder/Varnel.ini", false),
                                         {"file/Varnel.ini", false},
                                         {"huge.ini", false},
                                         {"binary.ini", true}}) {
        WindowSettings settings(folder.path(name));
        EXPECT_EQ(settings.value("MainWindow", "Maximized"), QString()) << name;
        QWidget window;
        EXPECT_FALSE(settings.track("MainWindow", window)) << name;
        EXPECT_EQ(settings.save(), writable) << name;
    }
}

class MainWindowSettings : public ::testing::Test {
protected:
    MainWindowSettings()
    {
        data.connection().connect(localConnectionString(makeDemoDatabase(folder, 40)));
        data.setCurrentLogTable(QStringLiteral("LOG_TABLE"));
        rebuildFilterLists(data, FilterValues{}, LocaleText::current());
    }

    // A run of the main window over Varnel.ini, as the start-up makes it.
    struct Run {
        WindowSettings settings;
        MainWindow window;
        Run(const QString& path, LogDatabase& data, Prompts& prompts)
            : settings(path), window(data, prompts)
        {
            window.useSettings(settings);
            window.show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        }
        template <class T> T* child(const char* name) { return window.findChild<T*>(name); }
    };
    std::unique_ptr<Run> start()
    {
        if (!data.connection().connected()) // the last run's exit closed it
            data.connection().connect();
        return std::make_unique<Run>(path, data, prompts);
    }
    // «Выход», pressed while the event loop runs, as in the program.
    static void exit(MainWindow& window)
    {
        QTimer::singleShot(0, &window, [&window] {
            QTest::mouseClick(window.findChild<QPushButton*>("BitBtnExit"), Qt::LeftButton);
        });
        QObject giveUp;
        QTimer::singleShot(5000, &giveUp, [] { QCoreApplication::exit(1); });
        EXPECT_EQ(QCoreApplication::exec(), 0);
    }
    static void drag(QWidget* widget, QPoint from, QPoint by)
    {
        QTest::mousePress(widget, Qt::LeftButton, {}, from);
        QTest::mouseMove(widget, from + by);
        QTest::mouseRelease(widget, Qt::LeftButton, {}, from + by);
    }

    TempFolder folder;
    QString path = folder.path("Varnel.ini");
    ScriptedPrompts prompts;
    LogDatabase data;
};

// What the user changed comes back; a column never dragged follows the width rule. So does
// the geometry of another window kept under its own name (the record viewer's).
TEST_F(MainWindowSettings, ExitStoresWhatTheUserChangedAndTheNextRunRestoresIt)
{
    const QRect place(30, 40, 700, 500), viewerPlace(100, 90, 300, 200);
    int stable = 0, panel = 0;
    for (const bool maximised : {false, true}) {
        auto run = start();
        QWidget viewer;
        // Open at the first exit, so stored then: the second run finds it.
        EXPECT_EQ(run->settings.track("RecordWindow", viewer), maximised);
        viewer.setGeometry(viewerPlace);
        viewer.show();
        run->window.setGeometry(place);
        QTest::qWait(0);
        if (maximised) {
            run->window.showMaximized();
            QTest::qWait(0);
        } else {
            QSplitterHandle* handle = run->child<QSplitter>("Splitter1")->handle(1);
            drag(handle, handle->rect().center(), {0, 30});
            panel = run->child<QSplitter>("Splitter1")->sizes().value(0);
            QTest::mouseClick(run->child<QPushButton>("BitBtnSelect"), Qt::LeftButton);
            auto* grid = run->child<LogGrid>("DBGridMain");
            const int column = data.mainDataset().field("STABLE").index();
            drag(grid->horizontalHeader()->viewport(),
                 {grid->columnViewportPosition(column) + grid->columnWidth(column) - 1, 5},
                 {-50, 0});
            stable = grid->columnWidth(column);
        }
        exit(run->window);
    }
    ASSERT_GT(panel, 173 + 20);
    const WindowSettings saved(path);
    EXPECT_EQ(saved.value("MainWindow", "Geometry"), "30,40,700,500");
    EXPECT_EQ(saved.value("MainWindow", "Maximized"), "true");
    EXPECT_EQ(saved.numbers("DBGridMain", 1, 9999), (QMap<QString, int>{{"STABLE", stable}}));

    auto run = start();
    EXPECT_TRUE(run->window.isMaximized());
    EXPECT_EQ(run->window.normalGeometry(), place);
    EXPECT_EQ(run->child<QSplitter>("Splitter1")->sizes().value(0), panel);
    QWidget viewer;
    ASSERT_TRUE(run->settings.track("RecordWindow", viewer));
    EXPECT_EQ(viewer.geometry(), viewerPlace);
    QTest::mouseClick(run->child<QPushButton>("BitBtnSelect"), Qt::LeftButton);
    auto* grid = run->child<LogGrid>("DBGridMain");
    EXPECT_EQ(grid->columnWidth(data.mainDataset().field("STABLE").index()), stable);
    EXPECT_EQ(grid->columnWidth(data.mainDataset().field("SUSER_INFO").index()),
              30 * grid->fontMetrics().horizontalAdvance('0') + 4);
}

// The first layout (66, 76, a page of 1239 x 570) is wider than the offscreen screen; saved
// geometries may come from a larger screen or a monitor since removed.
TEST_F(MainWindowSettings, WhatDoesNotFitTheScreenIsMovedAndShrunkOntoIt)
{
    const struct {
        const char* file; // null: no Varnel.ini
        bool wide, high;  // as wide or as high as the screen
    } cases[] = {
        {nullptr, true, false},
        {"[MainWindow]\nGeometry=5000,4000,300,200\n", false, false},
        {"[MainWindow]\nGeometry=-900,-900,400,300\n", false, false},
        {"[MainWindow]\nGeometry=10,10,3000,2500\n", true, true},
        {"[MainWindow]\nGeometry=10,10,zero,2500\n", true, false}, // damaged: the first layout
    };
    for (const auto& c : cases) {
        const char* name = c.file ? c.file : "no file";
        QFile::remove(path);
        if (c.file)
            writeFile(path, c.file);
        const QRect frame = start()->window.frameGeometry();
        EXPECT_TRUE(available().contains(frame)) << name;
        EXPECT_EQ(frame.width() == available().width(), c.wide) << name;
        EXPECT_EQ(frame.height() == available().height(), c.high) << name;
    }
}

// A Varnel.ini that is not the program's (too large to be, or a link, a folder) is left as it
// is at «Выход», and so is what a link leads to; a save that fails says why, once.
TEST_F(MainWindowSettings, ExitSavesOverNothingItDidNotReadAndSaysWhatFailed)
{
    const QByteArray huge = "[MainWindow]\r\n" + QByteArray(2 << 20, ';') + "\r\n";
    writeFile(folder.path("target.ini"), "[Other]\r\nkept=1\r\n");
    writeFile(folder.path("plain"), "x");
    ASSERT_TRUE(QDir().mkpath(folder.path("folder/Varnel.ini")));
    const struct {
        const char* name;
        QString path;
        QByteArray file; // written there first, unless empty
        QString linkTo;  // or a link to this
        QString reason;  // empty: the system's own
    } cases[] = {
        {"2 MB",
         folder.path("huge/Varnel.ini"),
         huge,
         {},
         "Файл больше 1 МБ: это не файл настроек программы"},
#ifndef Q_OS_WIN // where QFile::link makes a shortcut
        {"a link to a file",
         folder.path("link/Varnel.ini"),
         {},
         folder.path("target.ini"),
         "Это символическая ссылка"},
        {"a dangling link",
         folder.path("dangling/Varnel.ini"),
         {},
         folder.path("made.ini"),
         "Это символическая ссылка"},
#endif
        {"a folder", folder.path("folder/Varnel.ini"), {}, {}, "Это папка"},
        {"under a regular file", folder.path("plain/Varnel.ini"), {}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        path = c.path;
        QDir().mkpath(QFileInfo(path).path());
        if (!c.file.isEmpty())
            writeFile(path, c.file);
        if (!c.linkTo.isEmpty()) {
            ASSERT_TRUE(QFile::link(c.linkTo, path));
        }
        prompts.shown.clear();
        exit(start()->window);
        const QString said = QStringLiteral("Не удалось записать файл \"") +
                             QDir::toNativeSeparators(path) + QStringLiteral("\". ");
        EXPECT_EQ(prompts.texts().size(), 1) << prompts.texts().join('|').toStdString();
        EXPECT_TRUE(!prompts.shown.empty() &&
                    prompts.shown[0].kind == ScriptedPrompts::Kind::Error);
        const QString text = prompts.texts().value(0);
        EXPECT_TRUE(text.startsWith(said) && text.size() > said.size() + 1) << text.toStdString();
        if (!c.reason.isEmpty()) {
            EXPECT_EQ(text, said + c.reason + u'.');
        }
        if (!c.file.isEmpty()) {
            EXPECT_EQ(fileBytes(path), c.file);
        }
        if (!c.linkTo.isEmpty()) {
            EXPECT_EQ(QFileInfo(path).symLinkTarget(), c.linkTo);
        }
    }
    EXPECT_EQ(fileBytes(folder.path("target.ini")), "[Other]\r\nkept=1\r\n");
    EXPECT_FALSE(QFileInfo::exists(folder.path("made.ini")));
}

// A saved place that would leave a window off the screen once it grows to its least size, or a
// pane of the splitter below its own, is not restored as it is.
TEST_F(MainWindowSettings, SavedPlacesThatWouldHideAWindowOrAPaneAreNotRestoredSo)
{
    int least = 0; // the filter panel's least height, as a drag of the handle finds it
    {
        auto run = start();
        QSplitterHandle* handle = run->child<QSplitter>("Splitter1")->handle(1);
        drag(handle, handle->rect().center(), {0, -500});
        least = run->child<QSplitter>("Splitter1")->sizes().value(0);
    }
    ASSERT_GT(least, 1);
    ASSERT_LT(least, 173);
    const struct {
        QByteArray file;
        int panel;
    } cases[] = {
        {"[RecordWindow]\nGeometry=5000,4000,1,1\n[ViewLogs]\nSplitter1=99999\n", 173},
        {"[RecordWindow]\nGeometry=-9000,-9000,19,19\n[ViewLogs]\nSplitter1=1\n", 173},
        {"[RecordWindow]\nGeometry=790,790,2,2\n[ViewLogs]\nSplitter1=" +
             QByteArray::number(least) + "\n",
         least},
        {"[ViewLogs]\nSplitter1=250\n", 250},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.constData());
        writeFile(path, c.file);
        auto run = start();
        auto* splitter = run->child<QSplitter>("Splitter1");
        EXPECT_EQ(splitter->sizes().value(0), c.panel);
        EXPECT_GE(splitter->sizes().value(1), splitter->widget(1)->minimumSizeHint().height());
        QTest::mouseClick(run->child<QPushButton>("BitBtnSelect"), Qt::LeftButton);
        auto* grid = run->child<LogGrid>("DBGridMain");
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Return);
        QWidget* record = run->window.viewLogsPage().recordWindow();
        ASSERT_NE(record, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(record));
        const QRect frame = record->frameGeometry();
        EXPECT_TRUE(available().contains(frame)) << frame.x() << "," << frame.y();
        EXPECT_EQ(record->size(), record->size().expandedTo(record->minimumSizeHint()));
    }
}

// Varnel.ini is made beside Login.ini, whatever folder that is, leaves the login history as
// it is, and is a file of the program's that an export must not replace.
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
        session.window()->setGeometry(place);
        QTest::qWait(0);
        session.window()->close();
        EXPECT_TRUE(session.prompts.shown.empty());
    }
    EXPECT_EQ(fileBytes(history), login);
    EXPECT_TRUE(fileBytes(settings).contains("[MainWindow]"));

    Session next(history);
    ASSERT_TRUE(next.login({base, QStringLiteral("LOG_TABLE")}));
    EXPECT_EQ(next.window()->geometry(), place);
    const QByteArray kept = fileBytes(settings);
    next.exportTo(folder.path("some/deeper/../deeper/folder/Varnel.ini"));
    EXPECT_TRUE(next.prompts.texts().last().endsWith(
        QStringLiteral(": это файл, с которым работает программа.")));
    EXPECT_EQ(fileBytes(settings), kept);
}

// With no folder to keep them in (no home for the configuration folder), the start says so once;
// the login and the exit go on and write no file, in the working folder neither.
TEST(StartupSettings, WithNowhereToKeepTheFilesTheStartSaysSoOnceAndWritesNothing)
{
    TempFolder folder;
    const QString base = makeDemoDatabase(folder, 30);
    const QString work = folder.path("work");
    ASSERT_TRUE(QDir().mkpath(work));
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(work));
    {
        Session session{QString()};
        const QStringList said{QStringLiteral("Не найдена домашняя папка пользователя: имена "
                                              "входа и расположение окон не будут сохранены.")};
        EXPECT_EQ(session.prompts.texts(), said);
        ASSERT_TRUE(session.login({base, QStringLiteral("LOG_TABLE")}));
        session.window()->close();
        EXPECT_EQ(session.prompts.texts(), said);
    }
    QDir::setCurrent(before);
    EXPECT_TRUE(QDir(work).isEmpty());
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
