#include "app/form_about.h"
#include "app/form_welcome.h"
#include "app/formmain.h"
#include "common/scriptedprompts.h"
#include "common/testsupport.h"
#include "db/datamodulebase.h"

#include <QDesktopServices>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>
#include <QWindow>

#include <gtest/gtest.h>

namespace varnel {
namespace {

// Catches what the desktop would be asked to open, for as long as it lives.
class UrlCatcher : public QObject {
    Q_OBJECT

public:
    UrlCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }
    QStringList opened;

public slots:
    void open(const QUrl& url) { opened << url.toString(); }
};

QPoint availableCentre(const QWidget& w)
{
    return w.screen()->availableGeometry().center();
}

// Every picture label shows its decoded picture inside the label, filling it on one side.
void expectPicturesFit(const QWidget& window, const QStringList& labels)
{
    for (const QString& name : labels) {
        SCOPED_TRACE(name.toStdString());
        const auto* label = window.findChild<QLabel*>(name);
        ASSERT_NE(label, nullptr);
        const QPixmap pixmap = label->pixmap();
        ASSERT_FALSE(pixmap.isNull()) << "picture not decoded";
        const QSizeF shown = pixmap.deviceIndependentSize();
        EXPECT_LE(shown.width(), label->width());
        EXPECT_LE(shown.height(), label->height());
        EXPECT_TRUE(shown.width() == label->width() || shown.height() == label->height());
    }
}

TEST(Pictures, EveryPictureDecodesFromTheProgram)
{
    const struct {
        const char* path;
        QSize size;
    } pictures[] = {
        {":/varnel/program.png", {128, 128}}, {":/varnel/picture.jpg", {120, 60}},
        {":/varnel/ok.png", {16, 16}},        {":/varnel/cancel.png", {16, 16}},
        {":/varnel/exit.png", {16, 16}},      {":/varnel/about.png", {16, 16}},
        {":/varnel/select.png", {16, 16}},    {":/varnel/clear.png", {16, 16}},
        {":/varnel/refresh.png", {16, 16}},   {":/varnel/delete.png", {16, 16}},
        {":/varnel/export.png", {16, 16}},
    };
    for (const auto& picture : pictures) {
        QImageReader reader(QString::fromLatin1(picture.path));
        const QImage image = reader.read();
        EXPECT_EQ(image.size(), picture.size)
            << picture.path << ": " << reader.errorString().toStdString();
    }
}

TEST(Welcome, FramelessCentredAndInert)
{
    TForm_Welcome welcome;
    welcome.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&welcome));
    EXPECT_EQ(welcome.size(), QSize(332, 150));
    EXPECT_TRUE(welcome.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(welcome.geometry().center(), availableCentre(welcome));
    expectPicturesFit(welcome, {"ImageProgram", "ImagePicture"});

    UrlCatcher catcher;
    for (QWidget* child : welcome.findChildren<QWidget*>()) {
        EXPECT_EQ(child->focusPolicy(), Qt::NoFocus) << child->objectName().toStdString();
        QTest::mouseClick(child, Qt::LeftButton);
    }
    EXPECT_TRUE(catcher.opened.isEmpty());
}

TEST(About, FixedCentredAndItsLinkOpensTheFullAddress)
{
    QWidget owner;
    owner.setGeometry(10, 10, 200, 100);
    TForm_About about(&owner);
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    EXPECT_EQ(about.minimumSize(), QSize(298, 220));
    EXPECT_EQ(about.maximumSize(), QSize(298, 220));
    EXPECT_EQ(about.geometry().center(), availableCentre(about)) << "not on its owner";
    expectPicturesFit(about, {"ProgramIcon", "ImagePicture"});

    UrlCatcher catcher;
    auto* link = about.findChild<QLabel*>("Label2");
    QTest::mouseClick(link, Qt::RightButton);
    QTest::mouseClick(link, Qt::LeftButton);
    EXPECT_EQ(catcher.opened, QStringList{"https://varnel.example.org/"});
}

class MainWindowTest : public testing::Test {
protected:
    MainWindowTest()
    {
        dataModule.ADOConnectionBase().connect(
            test::localConnectionString(test::makeDatabase(folder, "main.sqlite")));
        main.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&main));
    }

    test::TempFolder folder;
    TDataModuleBase dataModule;
    test::ScriptedPrompts prompts;
    TFormMain main{dataModule, prompts};
};

TEST_F(MainWindowTest, EveryWayOutDisconnects)
{
    const struct {
        const char* name;
        int page;
        const char* button;
    } ways[] = {{"Exit on the view page", 0, "BitBtnExit"},
                {"Exit on the manage page", 1, "BitBtnExit2"},
                {"close box", 0, nullptr}};
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        dataModule.ADOConnectionBase().connect();
        main.show();
        ASSERT_TRUE(dataModule.ADOConnectionBase().connected());
        main.findChild<QTabWidget*>("PageControl")->setCurrentIndex(way.page);
        if (way.button)
            QTest::mouseClick(main.findChild<QPushButton*>(way.button), Qt::LeftButton);
        else
            main.windowHandle()->close();
        EXPECT_FALSE(dataModule.ADOConnectionBase().connected());
        EXPECT_FALSE(main.isVisible());
    }
}

TEST_F(MainWindowTest, ExitEndsTheEventLoopWhileAnotherWindowIsOpen)
{
    QWidget other;
    other.show();
    QTimer::singleShot(0, &main, [this] {
        QTest::mouseClick(main.findChild<QPushButton*>("BitBtnExit"), Qt::LeftButton);
    });
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    giveUp.start(2000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
}

TEST_F(MainWindowTest, EachAboutPressShowsANewWindowClosedByItsOk)
{
    // The second About is closed by Enter, as its OK button is the default one.
    const std::function<void(QDialog*)> closers[] = {
        [](QDialog* d) {
            QTest::mouseClick(d->findChild<QPushButton*>("OKButton"), Qt::LeftButton);
        },
        [](QDialog* d) { QTest::keyClick(d, Qt::Key_Return); },
    };
    auto* button = main.findChild<QPushButton*>("ButtonAbout");
    for (const auto& closeIt : closers) {
        QPointer<QDialog> shown;
        int result = -1;
        QTimer::singleShot(0, &main, [&] {
            shown = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(shown, nullptr);
            QObject::connect(shown, &QDialog::finished, [&](int r) { result = r; });
            closeIt(shown);
            if (shown && shown->isVisible())
                shown->done(-2); // never hang on a button that does nothing
        });
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(result, QDialog::Accepted);
        EXPECT_TRUE(shown.isNull()) << "the About window outlived its press";
    }
}

TEST_F(MainWindowTest, AboutButtonStaysWholeInTheTopRightCorner)
{
    auto* button = main.findChild<QPushButton*>("ButtonAbout");
    for (int width : {1263, 700}) {
        main.resize(width, 640);
        QTest::qWait(0);
        const QRect placed(button->mapTo(&main, QPoint()), button->size());
        EXPECT_EQ(placed.size(), QSize(42, 25));
        EXPECT_TRUE(main.rect().contains(placed)) << "clipped at width " << width;
        EXPECT_GE(placed.right(), width - 6);
        EXPECT_LE(placed.top(), 4);
    }
}

TEST_F(MainWindowTest, PixelFontsFromTheFormReachEveryControl)
{
    const struct {
        const char* name;
        int pixels;
        bool bold;
    } controls[] = {
        {"PageControl", 12, false}, {"BitBtnExit", 13, true}, {"BitBtnExit2", 12, true}};
    for (const auto& control : controls) {
        const QFont font = main.findChild<QWidget*>(control.name)->font();
        EXPECT_EQ(font.family(), "Comic Sans MS") << control.name;
        EXPECT_EQ(font.pixelSize(), control.pixels) << control.name;
        EXPECT_EQ(font.bold(), control.bold) << control.name;
    }
}

} // namespace
} // namespace varnel

#include "shell_test.moc"
