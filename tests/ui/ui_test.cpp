#include "base/error.h"
#include "common/scriptedprompts.h"
#include "common/testsupport.h"
#include "ui/core/errortext.h"
#include "ui/core/guard.h"
#include "ui/core/statustext.h"
#include "ui/datepicker.h"
#include "ui/qtprompts.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

namespace varnel::test {
namespace {

TEST(ErrorText, ProgramTitleAndFullStopRule)
{
    const struct {
        QString path, title;
    } titles[] = {
        {"/usr/bin/Varnel", "Varnel"},
        {"/opt/varnel/VARNEL.EXE", "Varnel"},
        {"/opt/my.app.bin", "my"},
        {"x", "x"},
    };
    for (const auto& t : titles)
        EXPECT_EQ(programTitle(t.path), t.title) << t.path.toStdString();

    const struct {
        QString message, shown;
    } stops[] = {
        {"Unable to write to /x/Login.ini", "Unable to write to /x/Login.ini."},
        {"ORA-00942: table or view does not exist", "ORA-00942: table or view does not exist."},
        {"Ошибка", "Ошибка."},
        {"Code 42", "Code 42."},
        {"Done.", "Done."},
        {"Stop!", "Stop!"},
        {"(see above)", "(see above)"},
        {"trailing blank ", "trailing blank "},
        {"", ""},
    };
    for (const auto& s : stops)
        EXPECT_EQ(withFullStop(s.message), s.shown) << s.message.toStdString();
}

TEST(StatusText, CountsTakeTheFormOfTheirNumber)
{
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    const struct {
        int64_t count;
        const char* text;
    } cases[] = {
        {0, "0 записей"},
        {1, "1 запись"},
        {2, "2 записи"},
        {4, "4 записи"},
        {5, "5 записей"},
        {11, "11 записей"},
        {12, "12 записей"},
        {14, "14 записей"},
        {21, "21 запись"},
        {22, "22 записи"},
        {111, "111 записей"},
        {101, "101 запись"},
        {12345, "12\u00a0345 записей"},
        {1000000, "1\u00a0000\u00a0000 записей"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(countText(c.count, kRecords, russian), QString::fromUtf8(c.text)) << c.count;
    EXPECT_EQ(countText(3, kValues, russian), QStringLiteral("3 значения"));
}

TEST(Guard, AnUncaughtErrorReachesTheErrorDisplayAndTheProgramGoesOn)
{
    ScriptedPrompts prompts;
    int after = 0;
    runGuarded(prompts, [] { throw Error(QStringLiteral("Unable to write to /x")); });
    runGuarded(prompts, [] { throw std::runtime_error("plain"); });
    runGuarded(prompts, [&] { ++after; });
    EXPECT_EQ(prompts.texts(),
              (QStringList{QStringLiteral("Unable to write to /x."), QStringLiteral("plain.")}));
    EXPECT_EQ(after, 1);
}

// Drives the real message boxes: whatever box is open is answered by `keyOrButton`.
void answerNextBox(const std::function<void(QMessageBox*)>& answer)
{
    QTimer::singleShot(0, [answer] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        answer(box);
    });
}

TEST(DatePicker, ADateTypedAfterTabLandsInItsPartsAndTabLeaves)
{
    QWidget window;
    auto* before = new QLineEdit(&window);
    auto* picker = new DatePicker(&window);
    auto* after = new QLineEdit(&window);
    picker->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    window.show();
    QApplication::setActiveWindow(&window);
    const std::pair<const char*, QDate> cases[] = {
        {"01.11.2025", {2025, 11, 1}}, {"01112025", {2025, 11, 1}}, {"1.11.2025", {2025, 11, 1}},
        {"31.1.2024", {2024, 1, 31}},  {"5.3.2026", {2026, 3, 5}},
    };
    for (const auto& [typed, date] : cases) {
        picker->setDate(QDate(2026, 12, 8));
        before->setFocus();
        QTest::keyClick(before, Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), picker);
        QTest::keyClicks(picker, QString::fromLatin1(typed));
        EXPECT_EQ(picker->date(), date) << typed;
        QTest::keyClick(picker, Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), after) << typed;
    }
}

TEST(QtPromptsSmoke, EscapeAndTheDefaultButtonAnswerNoAndOnlyYesProceeds)
{
    QtPrompts prompts;
    QString title;
    answerNextBox([&](QMessageBox* box) {
        title = box->windowTitle();
        EXPECT_EQ(box->icon(), QMessageBox::Question);
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
        QTest::keyClick(box, Qt::Key_Escape);
    });
    EXPECT_FALSE(prompts.confirm(nullptr, QStringLiteral("Удалить?"), QStringLiteral("Точно?")));
    EXPECT_EQ(title, QStringLiteral("Удалить?"));

    answerNextBox([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); });
    EXPECT_FALSE(prompts.confirm(nullptr, QStringLiteral("t"), QStringLiteral("q")));

    answerNextBox([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
    EXPECT_TRUE(prompts.confirm(nullptr, QStringLiteral("t"), QStringLiteral("q")));

    answerNextBox([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
    EXPECT_FALSE(prompts.confirmOkCancel(nullptr, QStringLiteral("Delete record?")));

    answerNextBox([&](QMessageBox* box) {
        title = box->windowTitle();
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        box->button(QMessageBox::Ok)->click();
    });
    prompts.showError(QStringLiteral("boom."));
    EXPECT_EQ(title, programTitle(QCoreApplication::applicationFilePath()));
}

} // namespace
} // namespace varnel::test
