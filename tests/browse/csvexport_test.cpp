// «Экспорт в CSV…» of the log grid on generated databases: the file read back by the test's own
// reading of RFC 4180 and compared with what the grid shows; the scripted prompts answer the
// save dialog.

#include "browse/core/csvexport.h"
#include "browse/gridcsvexport.h"
#include "browse/loggrid.h"
#include "common/scriptedprompts.h"
#include "common/testsupport.h"
#include "db/dberror.h"
#include "db/logdatabase.h"
#include "db/logtableschema.h"
#include "ui/progresswait.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
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

// The records after the byte-order mark, read strictly: each field bare (no quote, comma or
// line break) or quoted with its quotes doubled, each record ended by CR LF.
Records parseCsv(const QByteArray& file)
{
    static const QRegularExpression field(
        QStringLiteral(R"re((?:"((?:[^"]++|"")*+)"|([^",\r\n]*+))(,|\r\n))re"));
    EXPECT_TRUE(file.startsWith(kBom));
    const QString text = QString::fromUtf8(file.mid(kBom.size()));
    Records records(1);
    for (qsizetype at = 0; at < text.size();) {
        const QRegularExpressionMatch m =
            field.match(text, at, QRegularExpression::NormalMatch,
                        QRegularExpression::AnchorAtOffsetMatchOption);
        if (!m.hasMatch()) {
            ADD_FAILURE() << "no CSV at " << at << ": " << text.mid(at, 40).toStdString();
            return {};
        }
        records.back() << (m.hasCaptured(1)
                               ? m.captured(1).replace(QStringLiteral("\"\""), QStringLiteral("\""))
                               : m.captured(2));
        if (m.captured(3) == u"\r\n")
            records.emplace_back();
        at = m.capturedEnd();
    }
    records.pop_back(); // after the last CR LF
    return records;
}

// The grid's model columns in the order of its titles, hidden ones left out: what its context
// menu hands to the export.
std::vector<int> shownColumns(const LogGrid& grid)
{
    const QHeaderView& titles = *grid.horizontalHeader();
    std::vector<int> columns;
    for (int visual = 0; visual < titles.count(); ++visual)
        if (!titles.isSectionHidden(titles.logicalIndex(visual)))
            columns.push_back(titles.logicalIndex(visual));
    return columns;
}

class CsvExport : public ::testing::Test {
protected:
    CsvExport()
    {
        grid->attach(dataset(), prompts, [this] { return data.currentLogTable(); });
        window.show();
    }

    void useDatabase(const QString& path, const QString& table = QStringLiteral("LOGS"))
    {
        data.connection().connect(localConnectionString(path));
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
        dataset().setText(sql);
        dataset().open();
        dataset().field(QStringLiteral("SID")).setVisible(false);
        const char* const labels[][2] = {{"DDATE", "Дата изменения"},
                                         {"STABLE", "Таблица"},
                                         {"SACTION", "Тип действия"},
                                         {"SCHANGES", "Внесенные изменения"},
                                         {"SUSER_INFO", "Информация о пользователе"}};
        for (const auto& [name, label] : labels)
            dataset().field(QString::fromLatin1(name)).setDisplayLabel(QString::fromUtf8(label));
    }
    // «Экспорт в CSV…» answered with `path`.
    void exportTo(const QString& path)
    {
        prompts.shown.clear();
        prompts.fileNames = {path};
        exportGridToCsv(grid, dataset(), shownColumns(*grid), prompts);
    }
    Dataset& dataset() { return data.mainDataset(); }
    int column(const char* name) { return dataset().field(QString::fromLatin1(name)).index(); }
    int files() const { return int(QDir(folder.path(".")).entryList(QDir::Files).size()); }

    TempFolder folder;
    ScriptedPrompts prompts;
    LogDatabase data;
    QWidget window;
    LogGrid* grid = new LogGrid(&window);
    int databases = 0;
};

// A change text as stored, and the field that stands for it; then dates and numbers, which
// are the grid's texts.
TEST_F(CsvExport, FieldsAreQuotedOnlyWhereASpreadsheetWouldSplitThem)
{
    const struct {
        QString stored; // an SQLite expression
        QByteArray field;
    } cases[] = {
        {"'abc'", "abc"},
        {"NULL", ""},
        {"'a,b'", "\"a,b\""},
        {"'say \"hi\"'", "\"say \"\"hi\"\"\""},
        {"'\"'", "\"\"\"\""},
        {"'one' || char(13, 10) || 'two'", "\"one\r\ntwo\""},
        {"'one' || char(10) || 'two'", "\"one\ntwo\""},
        {"'one' || char(13) || 'two'", "\"one\rtwo\""},
        {"'end' || char(10)", "\"end\n\""},
        {"' a;b' || char(9) || 'c '", " a;b\tc "},
        {"'Склад, «остатки»'", "\"Склад, «остатки»\""},
        {"'€ 日 😀'", "€ 日 😀"},
        {"'" + QString(40, u'x') + "\"\"'", "\"" + QByteArray(40, 'x') + "\"\"\"\"\""},
        {"cast(x'41C3' as text) || ',z'", "\"A\xEF\xBF\xBD,z\""}, // no UTF-8: as the grid shows
    };
    QStringList rows;
    for (size_t i = 0; i < std::size(cases); ++i)
        rows << QStringLiteral("(%1, NULL, 'T', 'A', %2, NULL)").arg(i).arg(cases[i].stored);
    useLogs(rows);
    open();
    const QString target = folder.path(QStringLiteral("fields.csv"));
    saveCsv(target, dataset(), std::vector<int>{column("SCHANGES")},
            std::vector<QString>{QStringLiteral("Изменения, текст")});
    QByteArray expected = kBom + "\"Изменения, текст\"\r\n";
    for (const auto& c : cases)
        expected += c.field + "\r\n";
    EXPECT_EQ(bytesOf(target), expected);

    useLogs({"(1, '2026-03-09 00:00:00', 'T', 'A', NULL, NULL)",
             "(-9007199254740993, '2026-03-09 14:05:07', NULL, NULL, NULL, NULL)",
             "(0.5, NULL, NULL, NULL, NULL, NULL)",
             "(NULL, '2025-01-02 03:04:05', NULL, NULL, NULL, NULL)"});
    open(QStringLiteral("Select * from LOGS order by ddate"));
    saveCsv(target, dataset(), std::vector<int>{column("DDATE"), column("SID")},
            std::vector<QString>{"Дата", "Номер"});
    EXPECT_EQ(bytesOf(target), kBom + "Дата,Номер\r\n02.01.2025 03:04:05,\r\n09.03.2026,1\r\n"
                                      "09.03.2026 14:05:07,-9007199254740993\r\n,0.5\r\n");
}

// A generated log after a sort and two deletions, a column moved: the file holds what the
// grid shows, title for title and cell for cell, in its order, without SID.
TEST_F(CsvExport, TheFileHoldsWhatTheGridShowsInItsOrder)
{
    useDatabase(makeDemoDatabase(folder, 300), QStringLiteral("LOG_TABLE"));
    open(QStringLiteral("Select * from LOG_TABLE"));
    dataset().sortBy(QStringLiteral("STABLE"));
    for (const int row : {0, 150}) {
        dataset().setCurrentRow(row);
        dataset().deleteCurrent(data.currentLogTable());
    }
    QHeaderView& titles = *grid->horizontalHeader();
    titles.moveSection(titles.visualIndex(column("SUSER_INFO")), 2);
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

    const QAbstractItemModel& model = *grid->model();
    Records shown(1);
    for (int c : shownColumns(*grid))
        shown[0] << model.headerData(c, Qt::Horizontal).toString();
    for (int row = 0; row < model.rowCount(); ++row)
        for (QStringList& cells = shown.emplace_back(); int c : shownColumns(*grid))
            cells << model.index(row, c).data().toString();
    EXPECT_EQ(shown[0], QStringList({"Дата изменения", "Информация о пользователе", "Таблица",
                                     "Тип действия", "Внесенные изменения"}));
    const Records records = parseCsv(bytesOf(target));
    ASSERT_EQ(records.size(), 299u);
    for (size_t i = 0; i < shown.size(); ++i)
        ASSERT_EQ(records[i], shown[i]) << "record " << i;
    // The demo's change texts have quotes: the comparison above saw them through.
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

    dataset().close();
    prompts.shown.clear();
    exportGridToCsv(grid, dataset(), shownColumns(*grid), prompts);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].kind, Kind::Message);
    EXPECT_EQ(prompts.shown[0].text, QStringLiteral("Экспортировать нечего: записи не отобраны."));
}

// No way of failing leaves a file, or changes one that was there.
TEST_F(CsvExport, FailuresLeaveFilesAsTheyWereAndSaySo)
{
    const QString database = useLogs({"(1, NULL, 'T', 'A', 'x', NULL)"});
    open();
    const QString old = folder.path(QStringLiteral("old.csv"));
    writeFile(old, "old\r\n");
    const QString blocked = old + QStringLiteral("/export.csv");
    const QString refused = QStringLiteral("Нельзя выгрузить записи в файл %1: это файл, с "
                                           "которым работает программа.");
    const struct {
        QString answer;
        Kind kind;
        QString text; // the start of what is shown after the dialog
    } failures[] = {
        {QString(), Kind::SaveFile, {}},
        {blocked, Kind::Error,
         "Не удалось создать файл \"" + QDir::toNativeSeparators(blocked) + "\". "},
        {database, Kind::Message, refused.arg(QDir::toNativeSeparators(database))},
    };
    const QByteArray databaseBytes = bytesOf(database);
    for (const auto& f : failures) {
        SCOPED_TRACE(f.answer.toStdString());
        exportTo(f.answer);
        ASSERT_EQ(prompts.shown.size(), f.kind == Kind::SaveFile ? 1u : 2u);
        EXPECT_EQ(prompts.shown.back().kind, f.kind);
        EXPECT_TRUE(prompts.shown.back().text.startsWith(f.text));
        EXPECT_TRUE(f.text.isEmpty() || prompts.shown.back().text.endsWith(u'.'));
    }
    EXPECT_EQ(bytesOf(old), QByteArray("old\r\n"));
    EXPECT_EQ(bytesOf(database), databaseBytes);
    EXPECT_EQ(files(), 2);
}

// The progress window «Экспорт в CSV» counts the records written, and its Cancel stops the
// export with nothing but «Отменено»; a cancel that comes after the last record, before the
// file takes the old one's place, stops it as well.
TEST_F(CsvExport, ACancelLeavesTheOldFile)
{
    useDatabase(makeDemoDatabase(folder, 100000), QStringLiteral("LOG_TABLE"));
    open(QStringLiteral("Select * from LOG_TABLE"));
    const QString target = folder.path(QStringLiteral("cancelled.csv"));
    writeFile(target, "old");
    Connection& connection = data.connection();
    ProgressWait wait(std::chrono::milliseconds(0));
    QString title, progress;
    wait.whileShown = [&](QWidget& shown) {
        title = shown.windowTitle();
        progress = shown.findChild<QLabel*>("ProgressText")->text();
        wait.whileShown = {};
        QTest::mouseClick(shown.findChild<QPushButton*>("ButtonCancel"), Qt::LeftButton);
    };
    connection.setWaiter(&wait);
    exportTo(target);
    connection.setWaiter(nullptr);
    EXPECT_EQ(title, QStringLiteral("Экспорт в CSV"));
    EXPECT_TRUE(progress.contains(QStringLiteral("Записей: "))) << progress.toStdString();
    ASSERT_EQ(prompts.shown.size(), 2u);
    EXPECT_EQ(prompts.shown[1].kind, Kind::Status);
    EXPECT_EQ(prompts.shown[1].text, QStringLiteral("Отменено"));
    EXPECT_EQ(bytesOf(target), QByteArray("old"));
    EXPECT_EQ(files(), 2);

    open(QStringLiteral("Select * from LOG_TABLE where sid = 1"));
    // Cancelled once the writing has started (a call cancelled before never starts).
    std::atomic<bool> running{false};
    struct Impatient : Waiter {
        std::atomic<bool>& running;
        explicit Impatient(std::atomic<bool>& started) : running(started) {}
        void wait(Call& call) override
        {
            while (!running.load())
                QThread::yieldCurrentThread();
            call.cancel();
            call.waitFinished();
        }
    } impatient(running);
    int64_t counted = -1;
    connection.setWaiter(&impatient);
    EXPECT_THROW(connection.work(QStringLiteral("Экспорт в CSV"),
                                 [&](Call& call) {
                                     running = true;
                                     while (!call.cancelRequested())
                                         QThread::yieldCurrentThread();
                                     saveCsv(target, dataset(), std::vector<int>{1},
                                             std::vector<QString>{"x"},
                                             [&](int64_t n) { counted = n; });
                                 }),
                 Cancelled);
    connection.setWaiter(nullptr);
    EXPECT_EQ(counted, 1);
    EXPECT_EQ(bytesOf(target), QByteArray("old"));
    EXPECT_EQ(files(), 2);
}

} // namespace
} // namespace varnel::test
