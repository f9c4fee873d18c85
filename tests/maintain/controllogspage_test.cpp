#include "base/localetext.h"
#include "common/scriptedprompts.h"
#include "common/testsupport.h"
#include "db/logdatabase.h"
#include "maintain/controllogspage.h"
#include "maintain/core/periodstatements.h"
#include "ui/progresswait.h"
#include "ui/windowsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <bit>
#include <functional>

namespace varnel::test {
namespace {

using Kind = ScriptedPrompts::Kind;

const QString kCreate =
    QStringLiteral("create table %1(sid NUMBER, ddate DATE, stable VARCHAR2(50), saction "
                   "VARCHAR2(10), schanges VARCHAR2(4000), suser_info VARCHAR2(100))");

// Around the period 01.05.2026 - 02.05.2026: its two bounds, a record inside, one a second
// before and one a second after, and one without a date.
const QStringList kPeriodRecords = {
    "insert into LOGS(sid, ddate, stable) values (1, '2026-05-01 00:00:00', 'A'), "
    "(2, '2026-05-01 10:00:00', 'B'), (3, '2026-05-02 00:00:00', 'C'), "
    "(4, '2026-05-02 00:00:01', 'D'), (5, '2026-04-30 23:59:59', 'E'), (6, NULL, 'F')"};

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no file>");
}

// The begin and end stamps are the clock's: they are checked for their form, then set aside.
QByteArray withoutStamps(const QByteArray& bytes)
{
    static const QRegularExpression stamp(
        QStringLiteral("-- (Begin|End) - \\d\\d\\.\\d\\d\\.\\d{4}( \\d\\d:\\d\\d:\\d\\d)?\r\n"));
    return QString::fromLatin1(bytes).replace(stamp, QStringLiteral("-- \\1 - *\r\n")).toLatin1();
}

class ControlLogs : public ::testing::Test {
public:
    ControlLogs()
    {
        // The main window's font, which every control without its own size takes.
        host.setFont(QFont(QStringLiteral("Comic Sans MS")));
        host.setProperty("pixelSize", 12);
        auto* layout = new QVBoxLayout(&host);
        layout->setContentsMargins(0, 0, 0, 0);
        page = new ControlLogsPage(database, prompts, &host);
        layout->addWidget(page);
        applyPixelSizes(host);
        host.resize(1239, 570);
        page->setDatesToToday();
        host.show();
        QApplication::setActiveWindow(&host);
    }

    // A log table LOGS holding `statements`' records, connected as the current log table
    // `table`.
    QString use(const QStringList& statements, const QString& table = QStringLiteral("LOGS"))
    {
        const QString path = makeDatabase(folder, QStringLiteral("log%1.sqlite").arg(++databases),
                                          QStringList{kCreate.arg("LOGS")} + statements);
        database.connection().connect(localConnectionString(path));
        database.setCurrentLogTable(table);
        return path;
    }

    template <class T> T* child(const char* name) const
    {
        T* widget = page->findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    void click(const char* name) { QTest::mouseClick(child<QWidget>(name), Qt::LeftButton); }

    void setPeriod(QDate from, QDate to)
    {
        if (!child<QCheckBox>("CheckBoxClearLogTable")->isChecked())
            click("CheckBoxClearLogTable");
        child<QDateEdit>("DateTimePickerClearFrom")->setDate(from);
        child<QDateEdit>("DateTimePickerClearTo")->setDate(to);
    }

    // The sids left in LOGS, as bits.
    static long long sidsLeft(const QString& path)
    {
        return queryScalar(path, QStringLiteral("select ifnull(sum(1 << sid), 0) from LOGS"));
    }

    TempFolder folder;
    ScriptedPrompts prompts;
    LogDatabase database;
    QWidget host;
    ControlLogsPage* page;
    int databases = 0;
};

long long bits(std::initializer_list<int> sids)
{
    long long mask = 0;
    for (int sid : sids)
        mask |= 1LL << sid;
    return mask;
}

TEST_F(ControlLogs, ControlsHaveTheirCaptionsHintsPlacesFontsAndStartingStates)
{
    const struct {
        const char* name;
        const char* text;
        const char* hint;
        QRect place;
        int pixels;
        bool bold, enabled;
    } controls[] = {
        // clang-format off
        {"BitBtnClearLogTable", "Очистить таблицу", "Удаление записей логов из таблицы БД",
         {24, 30, 137, 25}, 12, true, true},
        {"BitBtnExport", " Выгрузить", "Импорт записей логов из таблицы БД в текстовый файл",
         {208, 30, 137, 25}, 12, true, true},
        {"CheckBoxClearLogTable", "Удалить/Выгрузить записи за период",
         "Включить/выключить очистку/импорт записей из таблицы БД за определенный период",
         {32, 63, 297, 17}, 12, false, true},
        {"LabelClearFrom", "С:", "", {46, 90, 11, 17}, 12, false, false},
        {"DateTimePickerClearFrom", "",
         "Установка начальной даты периода удаления/импорта записей из таблицы БД",
         {64, 90, 89, 23}, 11, false, false},
        {"LabelClearTo", "По:", "", {187, 90, 22, 17}, 12, false, false},
        {"DateTimePickerClearTo", "",
         "Установка конечной даты периода удаления/импорта записей из таблицы БД",
         {216, 90, 89, 23}, 11, false, false},
        {"BitBtnCountRecords", "Подсчитать",
         "Подсчёт записей логов в таблице БД: за период, если он включён, иначе всех",
         {320, 89, 122, 25}, 12, true, true},
        {"LabelRecordCount", "В таблице: —", "", {46, 116, 396, 17}, 12, false, true},
        {"BitBtnExit2", "Выход", "Выход из программы", {116, 139, 122, 26}, 13, true, true},
        // clang-format on
    };
    const auto* box = child<QGroupBox>("GroupBoxCreateLogTable");
    EXPECT_EQ(box->title(), QStringLiteral("Очистка таблицы логов (удаление из базы данных) и "
                                           "выгрузка записей в текстовый файл"));
    EXPECT_EQ(box->geometry(), page->rect());
    for (const auto& c : controls) {
        SCOPED_TRACE(c.name);
        const QWidget* w = child<QWidget>(c.name);
        EXPECT_EQ(w->parentWidget(), box);
        EXPECT_EQ(w->geometry(), c.place);
        EXPECT_EQ(w->toolTip(), QString::fromUtf8(c.hint));
        EXPECT_EQ(w->font().family(), QStringLiteral("Comic Sans MS"));
        EXPECT_EQ(w->font().pixelSize(), c.pixels);
        EXPECT_EQ(w->font().bold(), c.bold);
        EXPECT_EQ(w->isEnabled(), c.enabled);
        QString text = w->property("text").toString();
        if (const auto* picker = qobject_cast<const QDateEdit*>(w)) {
            EXPECT_EQ(picker->date(), QDate::currentDate());
            EXPECT_EQ(picker->displayFormat(), QStringLiteral("dd.MM.yyyy"));
            text.clear();
        }
        EXPECT_EQ(text, QString::fromUtf8(c.text));
    }
    EXPECT_FALSE(child<QCheckBox>("CheckBoxClearLogTable")->isChecked());

    QStringList order;
    QWidget* w = page->firstControl();
    do {
        order << w->objectName();
        do
            w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus) || w->parentWidget() != box);
    } while (w != page->firstControl());
    EXPECT_EQ(order, QStringList({"CheckBoxClearLogTable", "DateTimePickerClearFrom",
                                  "DateTimePickerClearTo", "BitBtnCountRecords",
                                  "BitBtnClearLogTable", "BitBtnExport", "BitBtnExit2"}));

    QSignalSpy exit(page, &ControlLogsPage::exitRequested);
    click("BitBtnExit2");
    EXPECT_EQ(exit.count(), 1);
}

TEST_F(ControlLogs, TheCheckBoxSwitchesThePeriodControlsAndTheDatesStay)
{
    const QDate from(2026, 1, 5);
    child<QDateEdit>("DateTimePickerClearFrom")->setDate(from);
    for (bool on : {true, false, true}) {
        click("CheckBoxClearLogTable");
        for (const char* name :
             {"LabelClearFrom", "DateTimePickerClearFrom", "LabelClearTo", "DateTimePickerClearTo"})
            EXPECT_EQ(child<QWidget>(name)->isEnabled(), on) << name;
        EXPECT_EQ(page->period().has_value(), on);
    }
    EXPECT_EQ(page->period()->from, from);
}

// The export, the count and the deletion of a period read the same condition: what one writes,
// the next counts and the last deletes. Records are told apart by their table letter (A is sid 1).
TEST_F(ControlLogs, ExportAndDeletionOfAPeriodTakeTheSameRecords)
{
    const QDate may1(2026, 5, 1), may2(2026, 5, 2);
    const struct {
        const char* name;
        QString table;
        std::optional<Period> period;
        long long left;
        const char* counted;
    } cases[] = {
        {"no period: everything", "LOGS", std::nullopt, 0, "В таблице: 6 записей"},
        {"From 00:00:00 to To 00:00:00, both included", "LOGS", Period{may1, may2}, bits({4, 5, 6}),
         "В периоде: 3 записи"},
        {"From = To: midnight only", "LOGS", Period{may1, may1}, bits({2, 3, 4, 5, 6}),
         "В периоде: 1 запись"},
        {"From later than To: nothing", "LOGS", Period{may2, may1}, bits({1, 2, 3, 4, 5, 6}),
         "В периоде: 0 записей"},
        {"a lower-case name upper-cased in the question only", "logs", std::nullopt, 0,
         "В таблице: 6 записей"},
    };
    const LocaleText locale = LocaleText::current();
    const QString target = folder.path(QStringLiteral("period.txt"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = use(kPeriodRecords, c.table);
        if (c.period)
            setPeriod(c.period->from, c.period->to);
        else if (child<QCheckBox>("CheckBoxClearLogTable")->isChecked())
            click("CheckBoxClearLogTable");
        prompts.shown.clear();
        prompts.fileNames = {target};
        click("BitBtnExport");
        long long exported = 0;
        for (const QByteArray& line : bytesOf(target).split('\n'))
            if (line.contains(" - ") && !line.startsWith("--"))
                exported |= 1LL << (line.at(line.indexOf(" - ") + 3) - 'A' + 1);

        // Counted by the database, no dataset touched; gone once the deletion has run.
        auto* count = child<QLabel>("LabelRecordCount");
        click("BitBtnCountRecords");
        EXPECT_EQ(count->text(), QString::fromUtf8(c.counted));
        EXPECT_TRUE(database.exportDataset().isOpen());
        prompts.answers = {true};
        click("BitBtnClearLogTable");
        EXPECT_TRUE(count->text().endsWith(QStringLiteral(": —"))) << count->text().toStdString();
        EXPECT_EQ(sidsLeft(path), c.left);
        EXPECT_EQ(exported, bits({1, 2, 3, 4, 5, 6}) & ~c.left);
        EXPECT_EQ(database.commandDataset().getText(),
                  periodDeletionStatement(c.table, c.period, locale) + "\r\n");
        ASSERT_EQ(prompts.shown.size(), 5u);
        EXPECT_EQ(prompts.shown[2].kind, Kind::Confirm);
        EXPECT_EQ(prompts.shown[2].owner, page->window());
        EXPECT_EQ(prompts.shown[2].title, QStringLiteral("Удалить записи таблицы логов"));
        EXPECT_EQ(prompts.shown[2].text, periodDeletionQuestion(c.table, c.period, locale));
        // The statement's own count: what went, not what the period might hold.
        EXPECT_EQ(prompts.shown[3].text,
                  QStringLiteral("Удалено записей: %1")
                      .arg(6 - std::popcount(static_cast<unsigned long long>(c.left))));
        EXPECT_EQ(prompts.shown[4].text, QStringLiteral("Записи успешно удалены!"));
    }
}

TEST_F(ControlLogs, DeletionAnsweredNoSendsNothingAndAFailureShowsTheDatabaseMessage)
{
    const QString path = use(kPeriodRecords);
    Dataset& dataset = database.commandDataset();
    dataset.setText(QStringLiteral("Select * from LOGS"));
    dataset.open();
    prompts.answers = {false};
    click("BitBtnClearLogTable");
    EXPECT_EQ(prompts.shown.size(), 1u);
    EXPECT_TRUE(dataset.isOpen());
    EXPECT_EQ(dataset.getText(), QStringLiteral("Select * from LOGS\r\n"));

    database.setCurrentLogTable(QStringLiteral("MISSING"));
    prompts.answers = {true};
    click("BitBtnClearLogTable");
    ASSERT_EQ(prompts.shown.size(), 3u);
    EXPECT_EQ(prompts.shown[2].kind, Kind::Message);
    EXPECT_EQ(prompts.shown[2].text,
              QStringLiteral("Ошибка подключения к базе данных!\nORA-00942: table or view does "
                             "not exist"));
    EXPECT_FALSE(dataset.isOpen());
    EXPECT_EQ(sidsLeft(path), bits({1, 2, 3, 4, 5, 6}));
}

// A count belongs to the controls as they stood when it was made: any change of them, and a
// failure, leave «—», never the count of another period or of another table.
TEST_F(ControlLogs, TheCountGoesAtEveryChangeOfThePeriodAndAfterAFailure)
{
    use(kPeriodRecords);
    auto* from = child<QDateEdit>("DateTimePickerClearFrom");
    auto* to = child<QDateEdit>("DateTimePickerClearTo");
    const auto typeInto = [](QDateEdit* picker, const char* text) {
        picker->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(picker, QString::fromLatin1(text));
        QTest::keyClick(picker, Qt::Key_Tab);
    };
    const struct {
        const char* name;
        std::function<void()> change;
        QString shown;
    } changes[] = {
        {"the box ticked", [&] { click("CheckBoxClearLogTable"); }, "В периоде: —"},
        {"From set", [&] { from->setDate(from->date().addDays(-1)); }, "В периоде: —"},
        {"To set", [&] { to->setDate(to->date().addDays(1)); }, "В периоде: —"},
        {"From typed", [&] { typeInto(from, "01.05.2026"); }, "В периоде: —"},
        {"To typed", [&] { typeInto(to, "02.05.2026"); }, "В периоде: —"},
        {"the box cleared", [&] { click("CheckBoxClearLogTable"); }, "В таблице: —"},
        {"a count that fails",
         [&] {
             database.setCurrentLogTable(QStringLiteral("MISSING"));
             click("BitBtnCountRecords");
         },
         "В таблице: —"},
    };
    auto* label = child<QLabel>("LabelRecordCount");
    for (const auto& c : changes) {
        SCOPED_TRACE(c.name);
        database.setCurrentLogTable(QStringLiteral("LOGS"));
        click("BitBtnCountRecords");
        ASSERT_TRUE(label->text().contains(QStringLiteral(" запис")))
            << label->text().toStdString();
        prompts.shown.clear();
        c.change();
        EXPECT_EQ(label->text(), c.shown);
    }
    EXPECT_EQ(prompts.texts(),
              QStringList{QStringLiteral(
                  "Ошибка подключения к базе данных!\nORA-00942: table or view does not exist")});
    EXPECT_EQ(prompts.shown.front().kind, Kind::Message);
    // The typed period is the one counted.
    database.setCurrentLogTable(QStringLiteral("LOGS"));
    click("CheckBoxClearLogTable");
    click("BitBtnCountRecords");
    EXPECT_EQ(label->text(), QStringLiteral("В периоде: 3 записи"));
}

// Every export starts a new buffer: a file holds exactly one block, whatever came before. The
// record lines carry NULLs, a midnight, line breaks, Cyrillic and characters Windows-1251 lacks.
TEST_F(ControlLogs, EachExportReplacesTheFileWithOneBlockOfTheRecordsAsTheyAre)
{
    VARNEL_SKIP_UNLESS_WINDOWS_1251();
    use({"insert into LOGS values"
         " (1, '2026-03-09 00:00:00', 'ORDERS', NULL, 'a - b', 'Иванов - PC1 - SCOTT'),"
         " (2, '2026-03-09 14:05:07', NULL, 'UPDATE', 'one' || char(13, 10) || 'two', NULL),"
         " (3, NULL, 'T', 'DELETE', 'x' || char(10) || 'y', 'u'),"
         " (4, '2026-03-10 08:00:00', 'Склад', 'INSERT', '€ 日 😀', 'müller'),"
         " (5, NULL, NULL, NULL, NULL, NULL)"});
    const QByteArray expected =
        "-- Varnel 1.0.0. Unload Logs.\r\n\r\n-- Select * from LOGS\r\n\r\n-- Begin - *\r\n"
        "09.03.2026 - ORDERS -  - a - b - \xC8\xE2\xE0\xED\xEE\xE2 - PC1 - SCOTT\r\n"
        "09.03.2026 14:05:07 -  - UPDATE - one\r\ntwo - \r\n"
        " - T - DELETE - x\r\ny - u\r\n"
        "10.03.2026 08:00:00 - \xD1\xEA\xEB\xE0\xE4 - INSERT - \x88 ? ? - m?ller\r\n"
        " -  -  -  - \r\n"
        "-- End - *\r\n";
    const QString target = folder.path(QStringLiteral("export.txt"));
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(5000, 'z'));
    old.close();
    for (int run = 0; run < 2; ++run) {
        prompts.shown.clear();
        prompts.fileNames = {target};
        click("BitBtnExport");
        EXPECT_EQ(prompts.texts(),
                  QStringList({"Varnel_" + QDate::currentDate().toString("dd.MM.yyyy") + ".txt",
                               "Выгрузка логов завершена!"}));
        const QByteArray bytes = bytesOf(target);
        EXPECT_EQ(withoutStamps(bytes), expected) << bytes.data();
    }
    const SaveFileRequest& request = prompts.saveRequests.front();
    EXPECT_EQ(request.filter, QStringLiteral("Текстовый файл (*.txt)"));
    EXPECT_EQ(request.defaultSuffix, QStringLiteral("txt"));
    // The existing file is replaced once the dialog's question has been answered Yes.
    EXPECT_TRUE(request.confirmOverwrite);
    EXPECT_EQ(prompts.shown[0].owner, page->window());
    EXPECT_TRUE(database.exportDataset().isOpen());
}

TEST_F(ControlLogs, ExportFailuresLeaveFilesAsTheyWereAndReachTheErrorDisplay)
{
    use({kPeriodRecords.front(), "create table NARROW(sid NUMBER, ddate DATE)",
         "insert into NARROW values (1, NULL)"});
    const QString old = folder.path(QStringLiteral("old.txt"));
    QFile file(old);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("old\r\n");
    file.close();
    Dataset& dataset = database.exportDataset();
    dataset.setText(QStringLiteral("Select sid from LOGS"));
    dataset.open();

    // Cancelled: nothing runs, nothing is written, nothing is shown.
    prompts.fileNames = {QString()};
    click("BitBtnExport");
    EXPECT_EQ(prompts.shown.size(), 1u);
    EXPECT_TRUE(dataset.isOpen());
    EXPECT_EQ(dataset.getText(), QStringLiteral("Select sid from LOGS\r\n"));
    EXPECT_EQ(dataset.recordCount(), 6);

    // A target under a regular file, which even root cannot make; a missing table; a table
    // without the columns of a record line.
    const QString blocked = old + QStringLiteral("/export.txt");
    const QString fresh = folder.path(QStringLiteral("fresh.txt"));
    const struct {
        QString table, target, message;
    } failures[] = {
        {"LOGS", blocked,
         "Не удалось создать файл \"" + QDir::toNativeSeparators(blocked) + "\". "},
        {"MISSING", fresh, "ORA-00942: table or view does not exist."},
        {"NARROW", fresh, "ADOQuerySaveLog: Field 'stable' not found."},
    };
    for (const auto& f : failures) {
        database.setCurrentLogTable(f.table);
        prompts.shown.clear();
        prompts.fileNames = {f.target};
        click("BitBtnExport");
        ASSERT_EQ(prompts.shown.size(), 2u);
        EXPECT_EQ(prompts.shown[1].kind, Kind::Error);
        EXPECT_TRUE(prompts.shown[1].text.startsWith(f.message))
            << prompts.shown[1].text.toStdString();
        EXPECT_TRUE(prompts.shown[1].text.endsWith(u'.'));
    }
    EXPECT_EQ(bytesOf(old), QByteArray("old\r\n"));
    EXPECT_FALSE(QFile::exists(fresh));
}

// Cancel in the progress window is honoured until the new file replaces the old one, and no
// later: what the export then says is what became of the file. The change texts of 4000
// characters make a file of several blocks, long enough for its wait to show the window.
TEST_F(ControlLogs, ACancelAtTheExportsEndIsToldAsWhatBecameOfTheFile)
{
    use({"with recursive n(i) as (select 1 union all select i + 1 from n where i < 3000) "
         "insert into LOGS select i, '2026-05-01 10:00:00', 'T', 'UPDATE', "
         "replace(hex(zeroblob(2000)), '0', 'x'), 'u' from n"});
    const QString target = folder.path(QStringLiteral("end.txt"));
    const auto head = [&] {
        QFile file(target);
        return file.open(QIODevice::ReadOnly) ? file.read(9) : QByteArray();
    };
    ProgressWait wait(std::chrono::milliseconds(0));
    database.connection().setWaiter(&wait);
    // The export's waits: the statement, the record lines, the file.
    enum Wait { Statement = 1, Lines, File };
    const struct {
        const char* name;
        Wait during;
        bool onceReplaced; // Cancel once the new file stands in place of the old one
        bool done;         // the export is told as done; when not `sure`, it may be either
        bool sure;
    } cases[] = {
        {"while the lines are made", Lines, false, false, true},
        {"while the file is written", File, false, false, false},
        {"once the file has replaced the old one", File, true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool stopped = false;
        // The file's wait may end before its window is up; then the export is tried again.
        for (int attempt = 0; attempt < 3 && !stopped; ++attempt) {
            QFile old(target);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("old");
            old.close();
            int waits = 0;
            wait.starting = [&] {
                ++waits;
            };
            wait.whileShown = [&](QWidget& window) {
                if (waits != c.during || stopped)
                    return;
                QElapsedTimer clock;
                clock.start();
                while (c.onceReplaced && head() == "old" && clock.elapsed() < 10000)
                    QThread::msleep(1);
                stopped = true;
                QTest::mouseClick(window.findChild<QPushButton*>("ButtonCancel"), Qt::LeftButton);
            };
            prompts.shown.clear();
            prompts.fileNames = {target};
            click("BitBtnExport");
            EXPECT_EQ(waits, c.during == Lines && stopped ? int(Lines) : int(File));
        }
        wait.starting = {};
        wait.whileShown = {};
        ASSERT_TRUE(stopped) << "no window to cancel in";
        const bool replaced = head() == "-- Varnel";
        EXPECT_TRUE(replaced || head() == "old");
        if (c.sure) {
            EXPECT_EQ(replaced, c.done);
        }
        ASSERT_EQ(prompts.shown.size(), 2u);
        EXPECT_EQ(prompts.shown[1].kind, replaced ? Kind::Message : Kind::Status);
        EXPECT_EQ(prompts.shown[1].text, replaced ? QStringLiteral("Выгрузка логов завершена!")
                                                  : QStringLiteral("Отменено"));
    }
    database.connection().setWaiter(nullptr);
}

// Held up long enough, an operation shows a modal window over the program with the wait
// cursor; afterwards everything is as before.
TEST_F(ControlLogs, ALongOperationShowsAModalProgressWindowUntilItEnds)
{
    use({"insert into LOGS(sid) values (1), (2), (3), (4), (5), (6), (7), (8)"});
    Dataset& dataset = database.exportDataset();
    dataset.setText(QStringLiteral(
        "Select count(*) from LOGS a, LOGS b, LOGS c, LOGS d, LOGS e, LOGS f, LOGS g"));
    ProgressWait wait(std::chrono::milliseconds(0));
    database.connection().setWaiter(&wait);
    QPointer<QWidget> shown;
    int ticks = 0;
    wait.whileShown = [&](QWidget& window) {
        shown = &window;
        ++ticks;
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(QApplication::activeModalWidget(), &window);
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Выгрузка логов"));
        EXPECT_TRUE(window.findChild<QLabel*>("ProgressText")->text().startsWith("Прошло: 0:0"));
    };
    dataset.open(QStringLiteral("Выгрузка логов"));
    EXPECT_GT(ticks, 0);
    EXPECT_FALSE(shown);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(dataset.field(QStringLiteral("count(*)")).displayText(), QStringLiteral("2097152"));
    database.connection().setWaiter(nullptr);
}

} // namespace
} // namespace varnel::test
