// Takes the pictures of the windows that the README shows: the splash, the login dialog, the
// main window, its histogram, the grid's cell menu, record window and value frequencies, and
// the About window, each cut from the screen as the program really shows it.
// Run on a display of its own: xvfb-run -s "-screen 0 1600x900x24" varnel-screenshots OUTDIR
#include "app/mainwindow.h"
#include "app/splashwindow.h"
#include "app/startup.h"
#include "browse/frequencywindow.h"
#include "browse/loggrid.h"
#include "browse/recordwindow.h"
#include "browse/viewlogspage.h"
#include "demodb.h"
#include "login/logindialog.h"
#include "ui/qtprompts.h"
#include "ui/windowsupport.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>

namespace {

QString g_outDir;

void settle()
{
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
        QTest::qWait(25);
    }
}

bool saveArea(const QRect& area, const QString& name)
{
    settle();
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(),
                                                                      area.width(), area.height());
    const QString path = QDir(g_outDir).filePath(name);
    const bool ok = shot.save(path);
    std::printf("%s %s\n", ok ? "saved" : "FAILED", qPrintable(path));
    return ok;
}

bool save(QWidget* window, const QString& name)
{
    return saveArea(window->frameGeometry().adjusted(-8, -8, 8, 8), name);
}

// A part of a window, as the screen shows it.
bool savePart(QWidget* part, const QString& name)
{
    return saveArea(QRect(part->mapToGlobal(QPoint(0, 0)), part->size()).adjusted(-4, -4, 4, 4),
                    name);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Varnel"));
    varnel::substituteWindowFont();
    if (argc != 2) {
        std::fprintf(stderr, "usage: varnel-screenshots OUTDIR\n");
        return 2;
    }
    g_outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(g_outDir);

    QTemporaryDir work;
    varnel::demo::Options demo;
    demo.path = work.filePath(QStringLiteral("varnel-demo.sqlite"));
    demo.records = 2000;
    varnel::demo::generate(demo);

    bool ok = true;
    {
        varnel::SplashWindow splash;
        splash.show();
        ok &= save(&splash, QStringLiteral("splash.png"));
    }

    varnel::QtPrompts prompts;
    varnel::Startup startup(prompts, work.filePath(QStringLiteral("Login.ini")));
    startup.start(std::chrono::milliseconds(0));
    varnel::LoginDialog* login = startup.loginDialog();
    login->findChild<QComboBox*>(QStringLiteral("ComboBox_User"))->setEditText("scott");
    login->findChild<QLineEdit*>(QStringLiteral("Edit_Password"))->setText("tiger");
    login->findChild<QComboBox*>(QStringLiteral("ComboBox_Base"))->setEditText(demo.path);
    login->findChild<QComboBox*>(QStringLiteral("ComboBox_Table"))->setEditText("LOG_TABLE");
    ok &= save(login, QStringLiteral("login.png"));

    login->findChild<QPushButton*>(QStringLiteral("BitBtn_OK"))->click();
    varnel::MainWindow* main = startup.mainWindow();
    if (!main) {
        std::fprintf(stderr, "the login did not open the main window\n");
        return 1;
    }
    // The page as a user sees it after "Отобрать" with every filter off.
    main->findChild<QPushButton*>(QStringLiteral("BitBtnSelect"))->click();
    ok &= save(main, QStringLiteral("main.png"));
    if (QWidget* histogram = main->findChild<QWidget*>(QStringLiteral("GroupBoxHistogram")))
        ok &= savePart(histogram, QStringLiteral("histogram.png"));
    main->findChild<QTabWidget*>(QStringLiteral("PageControl"))->setCurrentIndex(1);
    ok &= save(main, QStringLiteral("maintain.png"));
    main->findChild<QTabWidget*>(QStringLiteral("PageControl"))->setCurrentIndex(0);

    // The cell's menu over the grid, opened on a change text by the keyboard's Menu key.
    auto* grid = main->findChild<varnel::LogGrid*>(QStringLiteral("DBGridMain"));
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(3, 4));
    QTest::keyClick(grid, Qt::Key_Menu);
    ok &= save(main, QStringLiteral("menu.png"));
    grid->cellMenu().hide();

    // The find bar under the grid, its matches tinted, the cursor on the second.
    grid->setCurrentIndex(grid->model()->index(0, 1));
    QTest::keyClick(grid, Qt::Key_F, Qt::ControlModifier);
    if (QWidget* edit = main->findChild<QWidget*>(QStringLiteral("EditFind"))) {
        QTest::keyClicks(edit, QStringLiteral("cleanup"));
        QTest::keyClick(edit, Qt::Key_F3);
        ok &= save(main, QStringLiteral("find.png"));
        QTest::keyClick(edit, Qt::Key_Escape);
    }

    // How often each changed table comes, from the menu of a cell of the table column.
    grid->setCurrentIndex(grid->model()->index(0, 2));
    if (auto* frequencies = grid->cellMenu().findChild<QAction*>("ActionValueFrequencies")) {
        QTest::keyClick(grid, Qt::Key_Menu);
        frequencies->trigger();
        grid->cellMenu().hide();
        if (QWidget* window = main->viewLogsPage().frequencyWindow()) {
            ok &= save(window, QStringLiteral("frequencies.png"));
            window->close();
        }
    }

    // The record's window beside the grid, one record further down.
    QTest::keyClick(grid, Qt::Key_Return);
    QWidget* record = main->viewLogsPage().recordWindow();
    if (record) {
        record->move(main->geometry().right() - record->width() + 40, main->geometry().top() + 120);
        QTest::keyClick(record, Qt::Key_Down);
        ok &= save(record, QStringLiteral("record.png"));
        record->close();
    }

    QTimer::singleShot(300, [&ok] {
        QWidget* about = QApplication::activeModalWidget();
        ok &= about && save(about, QStringLiteral("about.png"));
        if (about)
            about->close();
    });
    main->findChild<QPushButton*>(QStringLiteral("ButtonAbout"))->click();
    return ok ? 0 : 1;
}
