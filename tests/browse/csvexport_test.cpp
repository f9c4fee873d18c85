// «Экспорт в CSV…» of the log grid on generated databases: the file read back by a parser of
// RFC 4180 of the test's own and compared with what the grid shows, the scripted prompts
// answering the save dialog.

#include "browse/csvexport.h"
#include "browse/gridcsvexport.h"
#include "browse/loggrid.h"
#include "common/scriptedprompts.h"
#include "common/testsupport.h"
#include "db/datamodulebase.h"
#include "db/dberror.h"
#include "db/logtableschema.h"
#include "ui/progresswait.h"

#include <QAbstractItemModel>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <vector>

namespace varnel::test {
namespace {

using Kind = ScriptedPrompts::Kind;
using Records = std::vector<QStringList>;

const QByteArray kBom = "\xEF\xBB\xBF";

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no file>");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// The records of a CSV file after its byte-order mark, read strictly: every record ends with
// CR LF, quotes only around whole fields, a doubled quote inside them. Anything else fails.
Records parseCsv(const QByteArray& file)
{
    Records records;
    if (!file.startsWith(kBom)) {
        ADD_FAILURE() << "no byte-order mark";
        return records;
    }
    const QString text = QString::fromUtf8(file.mid(kBom.size()));
    QStringList record;
    QString field;
    bool quoted = false, wasQuoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c != u'"')
                field += c;
            else if (i + 1 < text.size() && text[i + 1] == u'"')
                field += text[++i];
            else
                quoted = false;
        } else if (c == u'"' && field.isEmpty() && !wasQuoted) {
            quoted = wasQuoted = true;
        } else if (c == u',' || c == u'\r') {
            if (c == u'\r' && (i + 1 >= text.size() || text[++i] != u'\n')) {
                ADD_FAILURE() << "CR without LF at " << i;
                return records;
            }
            record << field;
            field.clear();
            wasQuoted = false;
            if (c == u'\r')
                records.push_back(std::exchange(record, {}));
        } else if (c == u'\n' || c == u'"' || wasQuoted) {
            ADD_FAILURE() << "unquoted line break or quote, or text after a quote, at " << i;
            return records;
        } else {
            field += c;
        }
    }
    if (quoted || !field.isEmpty() || !record.isEmpty())
        ADD_FAILURE() << "the last record does not end with CR LF";
    return records;
}

// The grid's model columns in the order its titles show them, hidden ones left out: what the
// grid's context menu hands to the export.
std::vector<int> shownColumns(const LogGrid& grid)
{
    const QHeaderView& titles = *grid.horizontalHeader();
    std::vector<int> columns;
    for (int visual = 0; visual < titles.count(); ++visual)
        if (!titles.isSectionHidden(titles.logicalIndex(visual)))
            columns.push_back(titles.logicalIndex(visual));
    return columns;
}

// What the grid shows: the titles, then each row's cells, in its own order.
Records gridTexts(const LogGrid& grid)
{
    const QAbstractItemModel& model = *grid.model();
    const std::vector<int> columns = shownColumns(grid);
    Records records(1);
    for (int column : columns)
        records[0] << model.headerData(column, Qt::Horizontal).toString();
    for (int row = 0; row < model.rowCount(); ++row) {
        QStringList& cells = records.emplace_back();
        for (int column : columns)
            cells << model.index(row, column).data().toString();
    }
    return records;
}

class CsvExport : public ::testing::Test {
protected:
    CsvExport()
    {
        grid->attach(slot(), prompts);
        grid->resize(900, 300);
        window.show();
    }

    void useDatabase(const QString& path, const QString& table = QStringLiteral("LOGS"))
    {
        data.ADOConnectionBase().connect(localConnectionString(path));
        data.setCurrentLogTable(table);
    }
    // A database of its own whose log table LOGS holds these rows (SQLite values lists).
    QString useLogs(const QStringList& rows)
    {
        QStringList statements{createLogTableStatement(QStringLiteral("LOGS"))};
        for (const QString& row : rows)
            statements << QStringLiteral("insert into LOGS values ") + row;
        const QString path =
            makeDatabase(folder, QStringLiteral("logs%1.sqlite").arg(++databases), statements);
        useDatabase(path);
        return path;
    }
    // Opens the grid's rows and sets their columns up as the view page does.
    void open(const QString& sql = QStringLiteral("Select * from LOGS order by sid"))
    {
        slot().setText(sql);
        slot().open();
        slot().field(QStringLiteral("SID")).setVisible(false);
        const char* const labels[][2] = {{"DDATE", "Дата изменения"},
                                         {"STABLE", "Таблица"},
                                         {"SACTION", "Тип действия"},
                                         {"SCHANGES", "Внесенные изменения"},
                                         {"SUSER_INFO", "Информация о пользователе"}};
        for (const auto& [name, label] : labels)
            slot().field(QString::fromLatin1(name)).setDisplayLabel(QString::fromUtf8(label));
    }
    // «Экспорт в CSV…» answered with `path`.
    void exportTo(const QString& path)
    {
        prompts.shown.clear();
        prompts.fileNames = {path};
        exportGridToCsv(grid, slot(), shownColumns(*grid), prompts);
    }
    StatementSlot& slot() { return data.ADOQueryMain(); }

    TempFolder folder;
    ScriptedPrompts prompts;
    TDataModuleBase data;
    QWidget window;
    LogGrid* grid = new LogGrid(&window);
    int databases = 0;
};

// Each value of a change text, as stored, and the field that stands for it in the file.
TEST_F(CsvExport, FieldsAreQuotedOnlyWhereASpreadsheetWouldSplitThem)
{
    const struct {
        const char* name;
        QString stored; // an SQLite expression
        QByteArray field;
    } cases[] = {
        {"plain", "'abc'", "abc"},
        {"NULL", "NULL", ""},
        {"comma", "'a,b'", "\"a,b\""},
        {"quote", "'say \"hi\"'", "\"say \"\"hi\"\"\""},
        {"only a quote", "'\"'", "\"\"\"\""},
        {"CR LF kept", "'one' || char(13, 10) || 'two'", "\"one\r\ntwo\""},
        {"LF kept", "'one' || char(10) || 'two'", "\"one\ntwo\""},
        {"lone CR kept", "'one' || char(13) || 'two'", "\"one\rtwo\""},
        {"break at the end", "'end' || char(10)", "\"end\n\""},
        {"semicolon, tab, blanks", "' a;b' || char(9) || 'c '", " a;b\tc "},
        {"Cyrillic", "'Склад, «остатки»'", "\"Склад, «остатки»\""},
        {"beyond the BMP", "'€ 日 😀'", "€ 日 😀"},
        {"long, quote far in", "'" + QString(40, u'x') + "\"\"'",
         "\"" + QByteArray(40, 'x') + "\"\"\"\"\""},
        {"not UTF-8", "cast(x'41C3' as text) || ',z'", "\"A\xEF\xBF\xBD,z\""},
    };
    QStringList rows;
    for (size_t i = 0; i < std::size(cases); ++i)
        rows << QStringLiteral("(%1, NULL, 'T', 'A', %2, NULL)").arg(i).arg(cases[i].stored);
    useLogs(rows);
    open();
    const QString target = folder.path(QStringLiteral("fields.csv"));
    const std::vector<int> columns = {slot().field(QStringLiteral("SCHANGES")).index()};
    saveCsv(target, slot(), columns, std::vector<QString>{QStringLiteral("Изменения, текст")});

    QByteArray expected = kBom + "\"Изменения, текст\"\r\n";
    for (const auto& c : cases)
        expected += c.field + "\r\n";
    const QByteArray bytes = bytesOf(target);
    EXPECT_EQ(bytes, expected);
    // Field by field, for a failure that says which.
    const Records records = parseCsv(bytes);
    ASSERT_EQ(records.size(), std::size(cases) + 1);
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(records[i + 1], QStringList{slot().displayText(int(i), columns[0])})
            << cases[i].name;
}

// Dates and numbers in the text the grid shows for them; NULL of any type an empty field.
TEST_F(CsvExport, DatesAndNumbersAreTheGridsTexts)
{
    useLogs({"(1, '2026-03-09 00:00:00', 'T', 'A', NULL, NULL)",
             "(-9007199254740993, '2026-03-09 14:05:07', NULL, NULL, NULL, NULL)",
             "(0.5, NULL, NULL, NULL, NULL, NULL)",
             "(NULL, '2025-01-02 03:04:05', NULL, NULL, NULL, NULL)"});
    open(QStringLiteral("Select * from LOGS order by ddate"));
    const std::vector<int> columns = {slot().field(QStringLiteral("DDATE")).index(),
                                      slot().field(QStringLiteral("SID")).index()};
    const QString target = folder.path(QStringLiteral("types.csv"));
    saveCsv(target, slot(), columns, std::vector<QString>{"Дата", "Номер"});
    EXPECT_EQ(bytesOf(target), kBom + "Дата,Номер\r\n"
                                      "02.01.2025 03:04:05,\r\n"
                                      "09.03.2026,1\r\n"
                                      "09.03.2026 14:05:07,-9007199254740993\r\n"
                                      ",0.5\r\n");
}

// The grid of a generated log after a sort and two deletions, with a column moved: the file
// holds what the grid shows, title for title and cell for cell, in its order, without SID.
TEST_F(CsvExport, TheFileHoldsWhatTheGridShowsInItsOrder)
{
    useDatabase(makeDemoDatabase(folder, 300), QStringLiteral("LOG_TABLE"));
    open(QStringLiteral("Select * from LOG_TABLE"));
    slot().sortBy(QStringLiteral("STABLE"));
    for (const int row : {0, 150}) {
        slot().setCurrentRow(row);
        slot().deleteCurrent();
    }
    grid->horizontalHeader()->moveSection(
        grid->horizontalHeader()->visualIndex(slot().field(QStringLiteral("SUSER_INFO")).index()),
        2);
    const QString target = folder.path(QStringLiteral("grid.csv"));
    exportTo(target);

    EXPECT_EQ(prompts.texts(),
              QStringList({"Varnel_" + QDate::currentDate().toString("dd.MM.yyyy") + ".csv",
                           "Экспорт в CSV завершён!"}));
    EXPECT_EQ(prompts.shown[0].owner, &window);
    const SaveFileRequest& request = prompts.saveRequests.front();
    EXPECT_EQ(request.title, QStringLiteral("Экспорт в CSV"));
    EXPECT_EQ(request.filter, QStringLiteral("Файл CSV (*.csv)"));
    EXPECT_EQ(request.defaultSuffix, QStringLiteral("csv"));
    EXPECT_TRUE(request.confirmOverwrite);

    const Records records = parseCsv(bytesOf(target));
    const Records shown = gridTexts(*grid);
    ASSERT_EQ(shown.size(), 299u);
    EXPECT_EQ(shown[0], QStringList({"Дата изменения", "Информация о пользователе", "Таблица",
                                     "Тип действия", "Внесенные изменения"}));
    ASSERT_EQ(records.size(), shown.size());
    for (size_t i = 0; i < shown.size(); ++i)
        ASSERT_EQ(records[i], shown[i]) << "record " << i;
    // The demo's change texts have line breaks and quotes: the test above saw them through.
    EXPECT_TRUE(bytesOf(target).contains("\"\""));
}

TEST_F(CsvExport, AnOpenGridWithoutRowsGivesTheTitlesAndAClosedOneNothing)
{
    useLogs({});
    open();
    const QString target = folder.path(QStringLiteral("empty.csv"));
    exportTo(target);
    EXPECT_EQ(bytesOf(target), kBom + "Дата изменения,Таблица,Тип действия,Внесенные "
                                      "изменения,Информация о пользователе\r\n");
    EXPECT_EQ(prompts.shown.back().text, QStringLiteral("Экспорт в CSV завершён!"));

    slot().close();
    QFile::remove(target);
    prompts.shown.clear();
    exportGridToCsv(grid, slot(), shownColumns(*grid), prompts);
    EXPECT_EQ(prompts.texts(),
              QStringList{QStringLiteral("Экспортировать нечего: записи не отобраны.")});
    EXPECT_EQ(prompts.shown[0].kind, Kind::Message);
    EXPECT_FALSE(QFile::exists(target));
}

// No way of failing leaves a file, or changes one that was there.
TEST_F(CsvExport, FailuresLeaveFilesAsTheyWereAndSaySo)
{
    const QString database = useLogs({"(1, NULL, 'T', 'A', 'x', NULL)"});
    open();
    const QString old = folder.path(QStringLiteral("old.csv"));
    writeFile(old, "old\r\n");
    const QString blocked = old + QStringLiteral("/export.csv");
    const struct {
        const char* name;
        QString answer;
        std::vector<Kind> kinds; // after the dialog
        QString text;            // the start of the last one
    } failures[] = {
        {"dialog cancelled", QString(), {}, {}},
        {"under a regular file",
         blocked,
         {Kind::Error},
         "Не удалось создать файл \"" + QDir::toNativeSeparators(blocked) + "\". "},
        {"the open database",
         database,
         {Kind::Message},
         "Нельзя выгрузить записи в файл " + QDir::toNativeSeparators(database) +
             ": это файл, с которым работает программа."},
        {"its journal",
         database + "-journal",
         {Kind::Message},
         "Нельзя выгрузить записи в файл " + QDir::toNativeSeparators(database + "-journal")},
    };
    const QByteArray databaseBytes = bytesOf(database);
    for (const auto& f : failures) {
        SCOPED_TRACE(f.name);
        exportTo(f.answer);
        ASSERT_EQ(prompts.shown.size(), f.kinds.size() + 1);
        EXPECT_EQ(prompts.shown[0].kind, Kind::SaveFile);
        for (size_t i = 0; i < f.kinds.size(); ++i)
            EXPECT_EQ(prompts.shown[i + 1].kind, f.kinds[i]);
        if (!f.kinds.empty()) {
            EXPECT_TRUE(prompts.shown.back().text.startsWith(f.text))
                << prompts.shown.back().text.toStdString();
            EXPECT_TRUE(prompts.shown.back().text.endsWith(u'.'));
        }
    }
    EXPECT_EQ(bytesOf(old), QByteArray("old\r\n"));
    EXPECT_EQ(bytesOf(database), databaseBytes);
    EXPECT_FALSE(QFile::exists(database + "-journal"));
    EXPECT_EQ(QDir(folder.path(".")).entryList(QDir::Files | QDir::Hidden).size(), 2)
        << QDir(folder.path(".")).entryList(QDir::Files | QDir::Hidden).join(' ').toStdString();
}

// A cancel at the writer's first cancellation point, and one just before the file would take
// the old one's place: neither leaves a file, and the old one stays.
TEST_F(CsvExport, ACancelledWriteLeavesTheOldFile)
{
    useDatabase(makeDemoDatabase(folder, 1000));
    open(QStringLiteral("Select * from LOG_TABLE"));
    const QString target = folder.path(QStringLiteral("cancelled.csv"));
    writeFile(target, "old");
    struct Impatient : Waiter {
        void wait(Call& call) override
        {
            call.cancel();
            call.waitFinished();
        }
    } impatient;
    Connection& connection = data.ADOConnectionBase();
    const std::vector<int> columns = shownColumns(*grid);
    const std::vector<QString> labels(columns.size(), QStringLiteral("x"));
    for (const int records : {1000, 1}) {
        SCOPED_TRACE(records);
        if (records == 1)
            open(QStringLiteral("Select * from LOG_TABLE where sid = 1"));
        int64_t counted = -1;
        connection.setWaiter(&impatient);
        EXPECT_THROW(connection.work(QStringLiteral("Экспорт в CSV"),
                                     [&](Call& call) {
                                         // The cancel is there before the first record.
                                         while (!call.cancelRequested())
                                             QThread::yieldCurrentThread();
                                         saveCsv(target, slot(), columns, labels,
                                                 [&](int64_t n) { counted = n; });
                                     }),
                     Cancelled);
        connection.setWaiter(nullptr);
        EXPECT_EQ(counted, records == 1 ? 1 : 256);
        EXPECT_EQ(bytesOf(target), QByteArray("old"));
        EXPECT_EQ(QDir(folder.path(".")).entryList(QDir::Files).size(), 2);
    }
}

// Through the grid's command: the progress window titled «Экспорт в CSV» counts the records
// written, and its Cancel stops the export with nothing but «Отменено».
TEST_F(CsvExport, TheProgressWindowCountsAndItsCancelStopsTheExport)
{
    useDatabase(makeDemoDatabase(folder, 100000));
    open(QStringLiteral("Select * from LOG_TABLE"));
    const QString target = folder.path(QStringLiteral("long.csv"));
    writeFile(target, "old");
    ProgressWait wait(std::chrono::milliseconds(0));
    data.ADOConnectionBase().setWaiter(&wait);
    QString title, progress;
    wait.whileShown = [&](QWidget& shown) {
        title = shown.windowTitle();
        progress = shown.findChild<QLabel*>("ProgressText")->text();
        wait.whileShown = {};
        QTest::mouseClick(shown.findChild<QPushButton*>("ButtonCancel"), Qt::LeftButton);
    };
    exportTo(target);
    data.ADOConnectionBase().setWaiter(nullptr);
    EXPECT_EQ(title, QStringLiteral("Экспорт в CSV"));
    EXPECT_TRUE(progress.contains(QStringLiteral("Записей: "))) << progress.toStdString();
    ASSERT_EQ(prompts.shown.size(), 2u);
    EXPECT_EQ(prompts.shown[1].kind, Kind::Status);
    EXPECT_EQ(prompts.shown[1].text, QStringLiteral("Отменено"));
    EXPECT_EQ(bytesOf(target), QByteArray("old"));
    EXPECT_EQ(QDir(folder.path(".")).entryList(QDir::Files).size(), 2);
}

} // namespace
} // namespace varnel::test
