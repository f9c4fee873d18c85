#include "common/testsupport.h"
#include "db/datamodulebase.h"
#include "db/localetext.h"
#include "maintain/logexport.h"
#include "maintain/memoexport.h"
#include "maintain/periodstatements.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace varnel::test {
namespace {

const LocaleText& ru()
{
    static const LocaleText locale(QLocale(QLocale::Russian, QLocale::Russia));
    return locale;
}

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no file>");
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

TEST(PeriodTexts, StatementsAndQuestionsToTheCharacter)
{
    const Period may{QDate(2026, 5, 1), QDate(2026, 5, 31)};
    const struct {
        QString table;
        std::optional<Period> period;
        QString deletion, question, select;
    } cases[] = {
        {"LOG_TABLE", std::nullopt, "delete LOG_TABLE",
         "Вы действительно хотите удалить все записи таблицы логов (LOG_TABLE) из базы данных?",
         "Select * from LOG_TABLE"},
        {"scott.logs", may, "delete scott.logs where ddate between '01.05.2026' and '31.05.2026'",
         "Вы действительно хотите удалить записи таблицы логов ( SCOTT.LOGS) за период с "
         "01.05.2026г. по 31.05.2026г. из базы данных?",
         "Select * from scott.logs where ddate between '01.05.2026' and '31.05.2026'"},
        // Dates in the order the pickers hold them; the locale upper-cases Cyrillic too.
        {"журнал", Period{QDate(2026, 1, 2), QDate(2025, 12, 31)},
         "delete журнал where ddate between '02.01.2026' and '31.12.2025'",
         "Вы действительно хотите удалить записи таблицы логов ( ЖУРНАЛ) за период с "
         "02.01.2026г. по 31.12.2025г. из базы данных?",
         "Select * from журнал where ddate between '02.01.2026' and '31.12.2025'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table.toStdString());
        EXPECT_EQ(periodDeletionStatement(c.table, c.period, ru()), c.deletion);
        EXPECT_EQ(periodDeletionQuestion(c.table, c.period, ru()), c.question);
        EXPECT_EQ(exportStatement(c.table, c.period, ru()), c.select);
    }
    EXPECT_EQ(exportFileName(QDate(2026, 3, 9), ru()), QStringLiteral("Varnel_09.03.2026"));
    const LocaleText us(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(exportFileName(QDate(2026, 3, 9), us), QStringLiteral("Varnel_3/9/26"));
}

TEST(MemoExport, EachLineBreakEndsALineAndTheFileHoldsTheLinesInTheCodePage)
{
    TempFolder folder;
    const QString path = folder.path(QStringLiteral("memo.txt"));
    const struct {
        QStringList texts;
        int lines;
        QByteArray bytes;
    } cases[] = {
        {{""}, 1, "\r\n"},
        {{"a\r\nb", "c"}, 3, "a\r\nb\r\nc\r\n"},
        {{"a\nb\rc"}, 3, "a\r\nb\r\nc\r\n"},
        // A break at the end is followed by an empty line.
        {{"-- Select * from T\r\n", "-- Begin"}, 3, "-- Select * from T\r\n\r\n-- Begin\r\n"},
        {{"a\r"}, 2, "a\r\n\r\n"},
        // LF CR is two breaks, CR LF one.
        {{"a\n\r"}, 3, "a\r\n\r\n\r\n"},
        {{"\r\n\r\n"}, 3, "\r\n\r\n\r\n"},
        {{"Ёжик € 日 😀"}, 1, "\xA8\xE6\xE8\xEA \x88 ? ?\r\n"},
        // Lines that cross the buffer's pieces, and one larger than a piece.
        {{QString(3'000'000, u'a'), QString(2'000'000, u'b'), QString(5'000'000, u'c')},
         3,
         QByteArray(3'000'000, 'a') + "\r\n" + QByteArray(2'000'000, 'b') + "\r\n" +
             QByteArray(5'000'000, 'c') + "\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.texts.join(u'|').left(40).toStdString());
        MemoExport memo;
        for (const QString& text : c.texts)
            memo.append(text);
        EXPECT_EQ(memo.lineCount(), c.lines);
        EXPECT_EQ(memo.byteCount(), c.bytes.size());
        memo.saveToFile(path);
        EXPECT_TRUE(bytesOf(path) == c.bytes) << bytesOf(path).left(80).toHex(' ').data();
        memo.clear();
        EXPECT_EQ(memo.lineCount(), 0);
        EXPECT_EQ(memo.text(), QString());
    }
}

// An existing file is replaced whole, never cut or left half-written; a target that cannot be
// made (here a path under a regular file, which even root cannot write) fails naming the path.
TEST(MemoExport, SavingReplacesAWholeFileOrFailsAndKeepsIt)
{
    TempFolder folder;
    const QString existing = folder.path(QStringLiteral("old.txt"));
    writeBytes(existing, QByteArray(1000, 'x'));
    MemoExport memo;
    memo.append(u"new");
    memo.saveToFile(existing);
    EXPECT_EQ(bytesOf(existing), QByteArray("new\r\n"));

    const QString blocked = existing + QStringLiteral("/export.txt");
    const QString error = errorOf([&] { memo.saveToFile(blocked); });
    EXPECT_TRUE(error.startsWith(QStringLiteral("Cannot create file \"") +
                                 QDir::toNativeSeparators(blocked) + QStringLiteral("\". ")))
        << error.toStdString();
    EXPECT_EQ(bytesOf(existing), QByteArray("new\r\n"));
}

class LogExport : public ::testing::Test {
public:
    // A log table with the cases a record line has to get right, in rowid order.
    void SetUp() override
    {
        const QString path = makeDatabase(
            folder, QStringLiteral("log.sqlite"),
            {"create table LOGS(sid NUMBER, ddate DATE, stable VARCHAR2(50), saction "
             "VARCHAR2(10), schanges VARCHAR2(4000), suser_info VARCHAR2(100))",
             "create table NARROW(sid NUMBER, ddate DATE, stable VARCHAR2(50))",
             "insert into NARROW values (1, '2026-03-09 00:00:00', 'ORDERS')",
             "insert into LOGS values"
             " (1, '2026-03-09 00:00:00', 'ORDERS', NULL, 'a - b', 'Иванов - PC1 - SCOTT'),"
             " (2, '2026-03-09 14:05:07', NULL, 'UPDATE', 'one' || char(13, 10) || 'two', NULL),"
             " (3, NULL, 'T', 'DELETE', 'x' || char(10) || 'y', 'u'),"
             " (4, '2026-03-10 08:00:00', 'Склад', 'INSERT', '€ 日 😀', 'müller'),"
             " (5, NULL, NULL, NULL, NULL, NULL)"});
        dataModule.ADOConnectionBase().connect(localConnectionString(path));
        hooks.now = [this] {
            return QDateTime(QDate(2026, 3, 10), QTime(9, 15, stamps++));
        };
        hooks.progress = [this](int64_t records) {
            progress.push_back(records);
        };
    }

    QByteArray exported(const QString& statement)
    {
        exportLog(dataModule.ADOQuerySaveLog(), statement, memo, hooks);
        const QString path = folder.path(QStringLiteral("export.txt"));
        memo.saveToFile(path);
        return bytesOf(path);
    }

    TempFolder folder;
    TDataModuleBase dataModule;
    MemoExport memo;
    ExportHooks hooks;
    int stamps = 0;
    std::vector<int64_t> progress;
};

TEST_F(LogExport, TheBlockHoldsEveryRecordLineAsTheFileMustShowIt)
{
    const QByteArray expected =
        "-- Varnel 1.0.0. Unload Logs.\r\n"
        "\r\n"
        "-- Select * from LOGS\r\n"
        "\r\n"
        "-- Begin - 10.03.2026 09:15:00\r\n"
        "09.03.2026 - ORDERS -  - a - b - \xC8\xE2\xE0\xED\xEE\xE2 - PC1 - SCOTT\r\n"
        "09.03.2026 14:05:07 -  - UPDATE - one\r\n"
        "two - \r\n"
        " - T - DELETE - x\r\n"
        "y - u\r\n"
        "10.03.2026 08:00:00 - \xD1\xEA\xEB\xE0\xE4 - INSERT - \x88 ? ? - m?ller\r\n"
        " -  -  -  - \r\n"
        "-- End - 10.03.2026 09:15:01\r\n";
    const QByteArray bytes = exported(QStringLiteral("Select * from LOGS"));
    EXPECT_EQ(bytes, expected) << bytes.data();
    EXPECT_EQ(progress, std::vector<int64_t>{5});
    EXPECT_TRUE(dataModule.ADOQuerySaveLog().isOpen());
    EXPECT_EQ(dataModule.ADOQuerySaveLog().getText(), QStringLiteral("Select * from LOGS\r\n"));
}

// Whatever a failing export appended stays in the buffer; the caller decides what to do
// with it.
TEST_F(LogExport, FailuresEndTheExportAfterTheHeadLines)
{
    const std::pair<QString, QString> cases[] = {
        {"Select * from MISSING", "ORA-00942: table or view does not exist"},
        {"Select * from NARROW", "ADOQuerySaveLog: Field 'saction' not found"},
    };
    for (const auto& [statement, message] : cases) {
        memo.clear();
        EXPECT_EQ(errorOf([&] { exported(statement); }), message);
        EXPECT_EQ(memo.lineCount(), 5);
        EXPECT_TRUE(
            memo.text().startsWith(QStringLiteral("-- Varnel 1.0.0. Unload Logs.\r\n\r\n-- ") +
                                   statement + QStringLiteral("\r\n\r\n-- Begin - ")));
    }
}

} // namespace
} // namespace varnel::test
