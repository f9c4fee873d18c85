#include "app/mainwindow.h"
#include "app/startup.h"
#include "common/scriptedprompts.h"
#include "common/testsupport.h"
#include "db/logdatabase.h"
#include "login/logindialog.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace varnel::test {
namespace {

// Runs the event loop as the program does and tells how it ended: 0 when the program
// ended itself, -1 when nothing ended it within the time.
int runEventLoop()
{
    QTimer failsafe;
    failsafe.setSingleShot(true);
    QObject::connect(&failsafe, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
    failsafe.start(5000);
    return QApplication::exec();
}

void wheel(QWidget* target, int delta)
{
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

class StartupFlow : public ::testing::Test {
protected:
    TempFolder folder;
    ScriptedPrompts prompts;
    QString history = folder.path(QStringLiteral("Login.ini"));
};

TEST_F(StartupFlow, ClosingTheLoginDialogEndsTheProgramWithoutAMainWindow)
{
    {
        Startup startup(prompts, history);
        startup.start(std::chrono::milliseconds(0));
        ASSERT_NE(startup.loginDialog(), nullptr);
        EXPECT_TRUE(startup.loginDialog()->isVisible());
        QTest::mouseClick(startup.loginDialog()->findChild<QPushButton*>("BitBtn_Cancel"),
                          Qt::LeftButton);
        EXPECT_EQ(runEventLoop(), 0);
        EXPECT_EQ(startup.mainWindow(), nullptr);
    }
    EXPECT_TRUE(QFile::exists(history)) << "the dialog's end stores the history";
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(StartupFlow, LoginOpensTheMainWindowAndExitEndsTheProgram)
{
    QFile file(history);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Login]\r\nUser=first;scott;\r\n");
    file.close();
    const QString base = makeDemoDatabase(folder, 50);

    Startup startup(prompts, history);
    startup.start(std::chrono::milliseconds(0));
    LoginDialog* dialog = startup.loginDialog();
    QApplication::setActiveWindow(dialog);
    auto* user = dialog->findChild<QComboBox*>("ComboBox_User");
    user->setFocus();
    // The wheel hook is in place: a notch towards the user steps the list down by one.
    wheel(user, -120);
    EXPECT_EQ(user->currentText(), QStringLiteral("scott"));
    wheel(user, 360);
    EXPECT_EQ(user->currentText(), QStringLiteral("first"));
    wheel(user, -120);

    QTest::keyClicks(dialog->findChild<QLineEdit*>("Edit_Password"), QStringLiteral("tiger"));
    QTest::keyClicks(dialog->findChild<QComboBox*>("ComboBox_Base")->lineEdit(), base);
    QTest::keyClicks(dialog->findChild<QComboBox*>("ComboBox_Table")->lineEdit(),
                     QStringLiteral("LOG_TABLE"));
    QTest::keyClick(dialog->findChild<QLineEdit*>("Edit_Password"), Qt::Key_Return);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    EXPECT_TRUE(prompts.shown.empty()) << prompts.texts().join('|').toStdString();
    EXPECT_EQ(startup.loginDialog(), nullptr);
    ASSERT_NE(startup.mainWindow(), nullptr);
    EXPECT_TRUE(startup.mainWindow()->isVisible());
    EXPECT_EQ(startup.database().currentLogTable(), QStringLiteral("LOG_TABLE"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("User=scott;first;\r\n"));

    // Exit is pressed while the event loop runs, as in the program.
    QTimer::singleShot(0, startup.mainWindow(), [&startup] {
        QTest::mouseClick(startup.mainWindow()->findChild<QPushButton*>("BitBtnExit"),
                          Qt::LeftButton);
    });
    EXPECT_EQ(runEventLoop(), 0);
    EXPECT_FALSE(startup.database().connection().connected());
}

TEST_F(StartupFlow, ATableWithoutTheLogColumnsEndsTheLoginAtTheFilterLists)
{
    // It can be read, so the probe passes; the first list statement names a missing column.
    const QString base = makeDatabase(folder, QStringLiteral("other.sqlite"),
                                      {QStringLiteral("create table NOT_A_LOG(a NUMBER)")});
    Startup startup(prompts, history);
    startup.start(std::chrono::milliseconds(0));
    LoginDialog* dialog = startup.loginDialog();
    dialog->findChild<QComboBox*>("ComboBox_User")->setEditText(QStringLiteral("scott"));
    dialog->findChild<QLineEdit*>("Edit_Password")->setText(QStringLiteral("tiger"));
    dialog->findChild<QComboBox*>("ComboBox_Base")->setEditText(base);
    dialog->findChild<QComboBox*>("ComboBox_Table")->setEditText(QStringLiteral("NOT_A_LOG"));
    QTest::mouseClick(dialog->findChild<QPushButton*>("BitBtn_OK"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    EXPECT_EQ(prompts.texts(),
              QStringList{QStringLiteral("ORA-00904: \"STABLE\": invalid identifier.")});
    EXPECT_EQ(prompts.shown.at(0).kind, ScriptedPrompts::Kind::Error);
    EXPECT_EQ(startup.loginDialog(), dialog);
    EXPECT_EQ(startup.mainWindow(), nullptr);
    EXPECT_TRUE(startup.database().connection().connected());
    EXPECT_EQ(startup.database().currentLogTable(), QStringLiteral("NOT_A_LOG"));
}

} // namespace
} // namespace varnel::test
