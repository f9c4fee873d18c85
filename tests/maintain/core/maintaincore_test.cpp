#include "base/localetext.h"
#include "common/testsupport.h"
#include "maintain/core/memoexport.h"
#include "maintain/core/periodstatements.h"

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

TEST(PeriodTexts, StatementsAndQuestionsToTheCharacter)
{
    const Period may{QDate(2026, 5, 1), QDate(2026, 5, 31)};
    const struct {
        QString table;
        std::optional<Period> period;
        QString deletion, question, select, count;
    } cases[] = {
        {"LOG_TABLE", std::nullopt, "delete LOG_TABLE",
         "Вы действительно хотите удалить все записи таблицы логов (LOG_TABLE) из базы данных?",
         "Select * from LOG_TABLE", "select count(*) from LOG_TABLE"},
        {"scott.logs", may, "delete scott.logs where ddate between '01.05.2026' and '31.05.2026'",
         "Вы действительно хотите удалить записи таблицы логов ( SCOTT.LOGS) за период с "
         "01.05.2026г. по 31.05.2026г. из базы данных?",
         "Select * from scott.logs where ddate between '01.05.2026' and '31.05.2026'",
         "select count(*) from scott.logs where ddate between '01.05.2026' and '31.05.2026'"},
        // Dates in the order the pickers hold them; the locale upper-cases Cyrillic too.
        {"журнал", Period{QDate(2026, 1, 2), QDate(2025, 12, 31)},
         "delete журнал where ddate between '02.01.2026' and '31.12.2025'",
         "Вы действительно хотите удалить записи таблицы логов ( ЖУРНАЛ) за период с "
         "02.01.2026г. по 31.12.2025г. из базы данных?",
         "Select * from журнал where ddate between '02.01.2026' and '31.12.2025'",
         "select count(*) from журнал where ddate between '02.01.2026' and '31.12.2025'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table.toStdString());
        EXPECT_EQ(periodDeletionStatement(c.table, c.period, ru()), c.deletion);
        EXPECT_EQ(periodDeletionQuestion(c.table, c.period, ru()), c.question);
        EXPECT_EQ(exportStatement(c.table, c.period, ru()), c.select);
        EXPECT_EQ(periodCountStatement(c.table, c.period, ru()), c.count);
    }
}

TEST(MemoExport, EachLineBreakEndsALineAndTheFileHoldsTheLinesInTheCodePage)
{
    VARNEL_SKIP_UNLESS_WINDOWS_1251();
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
    // Joined texts break where their concatenation would.
    MemoExport memo;
    const QString parts[] = {"a\r", "b\r\nc", ""};
    memo.appendJoined(parts, " - ");
    EXPECT_EQ(memo.lineCount(), 3);
    EXPECT_EQ(memo.text(), QStringLiteral("a\r\n - b\r\nc - \r\n"));
}

} // namespace
} // namespace varnel::test
