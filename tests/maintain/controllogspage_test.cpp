#include "common/scriptedprompts.h"
#include "common/testsupport.h"
#include "db/datamodulebase.h"
#include "maintain/controllogspage.h"
#include "maintain/progresswindow.h"
#include "ui/windowsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

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
        page = new ControlLogsPage(dataModule, prompts, &host);
        layout->addWidget(page);
        applyPixelSizes(host);
        host.resize(1239, 570);
        page->FormCreate();
        host.show();
        QApplication::setActiveWindow(&host);
    }

    // A log table LOGS holding `statements`' records, connected as the current log table
    // `table`.
    QString use(const QStringList& statements, const QString& table = QStringLiteral("LOGS"))
    {
        const QString path = makeDatabase(folder, QStringLiteral("log%1.sqlite").arg(++databases),
                                          QStringList{kCreate.arg("LOGS")} + statements);
        dataModule.ADOConnectionBase().connect(localConnectionString(path));
        dataModule.setCurrentLogTable(table);
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
    TDataModuleBase dataModule;
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
        {"BitBtnClearLogTable",
         "Очистить таблицу",
         "Удаление записей логов из таблицы БД",
         {24, 30, 137, 25},
         12,
         true,
         true},
        {"BitBtnExport",
         " Выгрузить",
         "Импорт записей логов из таблицы БД в текстовый файл",
         {208, 30, 137, 25},
         12,
         true,
         true},
        {"CheckBoxClearLogTable",
         "Удалить/Выгрузить записи за период",
         "Включить/выключить очистку/импорт записей из таблицы БД за определенный период",
         {32, 63, 297, 17},
         12,
         false,
         true},
        {"LabelClearFrom", "С:", "", {46, 90, 11, 17}, 12, false, false},
        {"DateTimePickerClearFrom",
         "",
         "Установка начальной даты периода удаления/импорта записей из таблицы БД",
         {64, 90, 89, 23},
         11,
         false,
         false},
        {"LabelClearTo", "По:", "", {187, 90, 22, 17}, 12, false, false},
        {"DateTimePickerClearTo",
         "",
         "Установка конечной даты периода удаления/импорта записей из таблицы БД",
         {216, 90, 89, 23},
         11,
         false,
         false},
        {"BitBtnExit2", "Выход", "Выход из программы", {116, 139, 122, 26}, 13, true, true},
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
                                  "DateTimePickerClearTo", "BitBtnClearLogTable", "BitBtnExport",
                                  "BitBtnExit2"}));

    QSignalSpy exit(page, &ControlLogsPage::exitRequested);
    click("BitBtnExit2");
    EXPECT_EQ(exit.count(), 1);
}

TEST_F(ControlLogs, TheCheckBoxSwitchesThePeriodControlsAndTheDatesStay)
{
    const char* periodControls[] = {"LabelClearFrom", "DateTimePickerClearFrom", "LabelClearTo",
                                    "DateTimePickerClearTo"};
    const QDate from(2026, 1, 5);
    for (bool on : {true, false, true}) {
        click("CheckBoxClearLogTable");
        for (const char* name : periodControls)
            EXPECT_EQ(child<QWidget>(name)->isEnabled(), on) << name;
        if (on)
            child<QDateEdit>("DateTimePickerClearFrom")->setDate(from);
        EXPECT_EQ(child<QDateEdit>("DateTimePickerClearFrom")->date(), from);
        EXPECT_EQ(page->period().has_value(), on);
    }
}

TEST_F(ControlLogs, DeletionAsksThenDeletesExactlyThePeriodsRecords)
{
    const QDate may1(2026, 5, 1), may2(2026, 5, 2);
    const QString all = QStringLiteral(
        "Вы действительно хотите удалить все записи таблицы логов (LOGS) из базы данных?");
    const struct {
        const char* name;
        QString table;
        std::optional<std::pair<QDate, QDate>> period;
        QString statement, question;
        long long left;
    } cases[] = {
        {"no period: everything", "LOGS", std::nullopt, "delete LOGS", all, 0},
        {"From 00:00:00 to To 00:00:00, both included", "LOGS", std::pair{may1, may2},
         "delete LOGS where ddate between '01.05.2026' and '02.05.2026'",
         "Вы действительно хотите удалить записи таблицы логов ( LOGS) за период с "
         "01.05.2026г. по 02.05.2026г. из базы данных?",
         bits({4, 5, 6})},
        {"From = To: midnight only", "LOGS", std::pair{may1, may1},
         "delete LOGS where ddate between '01.05.2026' and '01.05.2026'",
         "Вы действительно хотите удалить записи таблицы логов ( LOGS) за период с "
         "01.05.2026г. по 01.05.2026г. из базы данных?",
         bits({2, 3, 4, 5, 6})},
        {"From later than To: nothing", "LOGS", std::pair{may2, may1},
         "delete LOGS where ddate between '02.05.2026' and '01.05.2026'",
         "Вы действительно хотите удалить записи таблицы логов ( LOGS) за период с "
         "02.05.2026г. по 01.05.2026г. из базы данных?",
         bits({1, 2, 3, 4, 5, 6})},
        {"a lower-case name upper-cased in the question only", "logs", std::nullopt, "delete logs",
         all, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = use(kPeriodRecords, c.table);
        if (c.period)
            setPeriod(c.period->first, c.period->second);
        else if (child<QCheckBox>("CheckBoxClearLogTable")->isChecked())
            click("CheckBoxClearLogTable");
        prompts.shown.clear();
        prompts.answers = {true};
        click("BitBtnClearLogTable");
        ASSERT_EQ(prompts.shown.size(), 2u);
        EXPECT_EQ(prompts.shown[0].kind, Kind::Confirm);
        EXPECT_EQ(prompts.shown[0].owner, page->window());
        EXPECT_EQ(prompts.shown[0].title, QStringLiteral("Удалить записи таблицы логов"));
        EXPECT_EQ(prompts.shown[0].text, c.question);
        EXPECT_EQ(prompts.shown[1].kind, Kind::Message);
        EXPECT_EQ(prompts.shown[1].text, QStringLiteral("Записи успешно удалены!"));
        EXPECT_EQ(dataModule.ADOQueryCreateTable().getText(), c.statement + "\r\n");
        EXPECT_EQ(sidsLeft(path), c.left);
    }
}

TEST_F(ControlLogs, NoSendsNothingAndAFailureShowsTheDatabaseMessage)
{
    const QString path = use(kPeriodRecords);
    StatementSlot& slot = dataModule.ADOQueryCreateTable();
    slot.setText(QStringLiteral("Select * from LOGS"));
    slot.open();
    prompts.answers = {false};
    click("BitBtnClearLogTable");
    EXPECT_EQ(prompts.shown.size(), 1u);
    EXPECT_TRUE(slot.isOpen());
    EXPECT_EQ(slot.getText(), QStringLiteral("Select * from LOGS\r\n"));
    EXPECT_EQ(sidsLeft(path), bits({1, 2, 3, 4, 5, 6}));

    dataModule.setCurrentLogTable(QStringLiteral("MISSING"));
    prompts.shown.clear();
    prompts.answers = {true};
    click("BitBtnClearLogTable");
    EXPECT_EQ(prompts.texts(),
              QStringList({"Вы действительно хотите удалить все записи таблицы логов (MISSING) из "
                           "базы данных?",
                           "Ошибка подключения к базе данных!\nORA-00942: table or view does not "
                           "exist"}));
    EXPECT_EQ(prompts.shown[1].kind, Kind::Message);
    EXPECT_FALSE(slot.isOpen());
    EXPECT_EQ(sidsLeft(path), bits({1, 2, 3, 4, 5, 6}));
}

// Every export starts a new buffer: a file holds exactly one block, whatever came before.
TEST_F(ControlLogs, ExportWritesOneBlockPerFileAndReplacesAnExistingFile)
{
    use({"insert into LOGS values (1, '2026-05-01 00:00:00', 'ORDERS', NULL, 'a' || char(13, 10) "
         "|| 'b', 'Иванов - PC1 - SCOTT'), (2, '2026-05-02 13:04:05', 'Склад', 'UPDATE', "
         "'x' || char(10) || 'y', '日')"});
    const QString target = folder.path(QStringLiteral("export.txt"));
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(5000, 'z'));
    }
    const QByteArray head = "-- Varnel 1.0.0. Unload Logs.\r\n\r\n-- Select * from LOGS";
    const QByteArray all = head + "\r\n\r\n-- Begin - *\r\n"
                                  "01.05.2026 - ORDERS -  - a\r\nb - \xC8\xE2\xE0\xED\xEE\xE2 - "
                                  "PC1 - SCOTT\r\n"
                                  "02.05.2026 13:04:05 - \xD1\xEA\xEB\xE0\xE4 - UPDATE - x\r\n"
                                  "y - ?\r\n"
                                  "-- End - *\r\n";
    const QByteArray firstDay = head + " where ddate between '01.05.2026' and '01.05.2026'"
                                       "\r\n\r\n-- Begin - *\r\n"
                                       "01.05.2026 - ORDERS -  - a\r\nb - \xC8\xE2\xE0\xED\xEE\xE2 "
                                       "- PC1 - SCOTT\r\n"
                                       "-- End - *\r\n";
    for (const QByteArray& expected : {all, firstDay, firstDay}) {
        if (expected == firstDay)
            setPeriod(QDate(2026, 5, 1), QDate(2026, 5, 1));
        prompts.shown.clear();
        prompts.fileNames = {target};
        click("BitBtnExport");
        EXPECT_EQ(prompts.texts(),
                  QStringList({"Varnel_" + QDate::currentDate().toString("dd.MM.yyyy"),
                               "Выгрузка логов завершена!"}));
        const QByteArray bytes = bytesOf(target);
        EXPECT_EQ(withoutStamps(bytes), expected) << bytes.data();
        EXPECT_EQ(bytes.count("-- Begin - "), 1);
    }
    const SaveFileRequest& request = prompts.saveRequests.front();
    EXPECT_EQ(request.filter, QStringLiteral("Текстовый файл (*.txt)"));
    EXPECT_EQ(request.defaultSuffix, QStringLiteral("txt"));
    EXPECT_FALSE(request.confirmOverwrite);
    EXPECT_EQ(prompts.shown[0].owner, page->window());
    EXPECT_TRUE(dataModule.ADOQuerySaveLog().isOpen());
}

TEST_F(ControlLogs, ExportFailuresLeaveFilesAsTheyWereAndReachTheErrorDisplay)
{
    use(kPeriodRecords);
    const QString old = folder.path(QStringLiteral("old.txt"));
    {
        QFile file(old);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("old\r\n");
    }
    StatementSlot& slot = dataModule.ADOQuerySaveLog();
    slot.setText(QStringLiteral("Select sid from LOGS"));
    slot.open();

    // Cancelled: nothing runs, nothing is written, nothing is shown.
    prompts.fileNames = {QString()};
    click("BitBtnExport");
    EXPECT_EQ(prompts.shown.size(), 1u);
    EXPECT_TRUE(slot.isOpen());
    EXPECT_EQ(slot.getText(), QStringLiteral("Select sid from LOGS\r\n"));
    EXPECT_EQ(slot.recordCount(), 6);

    // A target under a regular file cannot be made, even by root.
    const QString blocked = old + QStringLiteral("/export.txt");
    prompts.shown.clear();
    prompts.fileNames = {blocked};
    click("BitBtnExport");
    ASSERT_EQ(prompts.shown.size(), 2u);
    EXPECT_EQ(prompts.shown[1].kind, Kind::Error);
    EXPECT_TRUE(prompts.shown[1].text.startsWith(QStringLiteral("Cannot create file \"") +
                                                 QDir::toNativeSeparators(blocked) + "\". "))
        << prompts.shown[1].text.toStdString();
    EXPECT_TRUE(prompts.shown[1].text.endsWith(u'.'));
    EXPECT_EQ(bytesOf(old), QByteArray("old\r\n"));

    // A database failure: no file at all.
    dataModule.setCurrentLogTable(QStringLiteral("MISSING"));
    const QString fresh = folder.path(QStringLiteral("fresh.txt"));
    prompts.shown.clear();
    prompts.fileNames = {fresh};
    click("BitBtnExport");
    ASSERT_EQ(prompts.shown.size(), 2u);
    EXPECT_EQ(prompts.shown[1].kind, Kind::Error);
    EXPECT_EQ(prompts.shown[1].text, QStringLiteral("ORA-00942: table or view does not exist."));
    EXPECT_FALSE(QFile::exists(fresh));
}

// The export and the deletion of one period read the same condition: what one writes, the
// other deletes.
TEST_F(ControlLogs, ExportAndDeletionOfOnePeriodTakeTheSameRecords)
{
    const QString path = makeDemoDatabase(folder, 3000);
    dataModule.ADOConnectionBase().connect(localConnectionString(path));
    dataModule.setCurrentLogTable(QStringLiteral("LOG_TABLE"));
    setPeriod(QDate(2025, 3, 1), QDate(2025, 3, 20));
    const long long before = queryScalar(path, QStringLiteral("select count(*) from LOG_TABLE"));

    const QString target = folder.path(QStringLiteral("period.txt"));
    prompts.fileNames = {target};
    click("BitBtnExport");
    const long long exported = dataModule.ADOQuerySaveLog().recordCount();
    EXPECT_GT(exported, 0);
    prompts.answers = {true};
    click("BitBtnClearLogTable");
    EXPECT_EQ(queryScalar(path, QStringLiteral("select count(*) from LOG_TABLE")),
              before - exported);
    EXPECT_EQ(queryScalar(path, QStringLiteral("select count(*) from LOG_TABLE where ddate >= "
                                               "'2025-03-01' and ddate <= '2025-03-20'")),
              0);
}

// Held up long enough, an operation shows a modal window over the program with the wait
// cursor; afterwards everything is as before.
TEST_F(ControlLogs, ALongOperationShowsAModalProgressWindowUntilItEnds)
{
    use({"insert into LOGS(sid) values (1), (2), (3), (4), (5), (6), (7), (8)"});
    StatementSlot& slot = dataModule.ADOQuerySaveLog();
    slot.setText(QStringLiteral("Select count(*) from LOGS a, LOGS b, LOGS c, LOGS d, LOGS e"));
    QPointer<QWidget> shown;
    {
        ProgressWindow progress(
            &host, dataModule.ADOConnectionBase(), QStringLiteral("Выгрузка"),
            [] { return QStringLiteral("Записано записей: 0"); }, std::chrono::milliseconds(0));
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        slot.open();
        shown = progress.window();
        ASSERT_TRUE(shown);
        EXPECT_TRUE(shown->isVisible());
        EXPECT_EQ(QApplication::activeModalWidget(), shown.data());
        EXPECT_EQ(shown->windowTitle(), QStringLiteral("Выгрузка"));
        EXPECT_EQ(shown->findChild<QLabel*>("ProgressText")->text(),
                  QStringLiteral("Записано записей: 0"));
        EXPECT_FALSE(shown->close());
    }
    EXPECT_FALSE(shown);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(slot.field(QStringLiteral("count(*)")).displayText(), QStringLiteral("32768"));
}

} // namespace
} // namespace varnel::test
