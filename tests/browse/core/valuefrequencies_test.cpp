// The frequencies of a column's values over the fetched records: what a value is for each way
// of counting, their order, the list's limit, and the counts of a generated log against
// SQLite's own GROUP BY over the same file.

#include "browse/core/valuefrequencies.h"
#include "common/testsupport.h"
#include "db/call.h"
#include "db/connection.h"
#include "db/dberror.h"
#include "db/logdatabase.h"

#include <QTextBoundaryFinder>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <map>

using namespace varnel;
using namespace varnel::test;

namespace {

const LocaleText kRussian(QLocale(QLocale::Russian, QLocale::Russia));

// The main dataset over every record of the log in `path`.
Dataset& openLog(LogDatabase& data, const QString& path)
{
    data.connection().connect(localConnectionString(path));
    Dataset& dataset = data.mainDataset();
    dataset.setText(QStringLiteral("Select * from LOG_TABLE"));
    dataset.open();
    return dataset;
}

// The listed values as lines «value\tcount», «(пусто)» for NULL, days as the grid writes them.
QStringList lines(const Frequencies& frequencies)
{
    QStringList out;
    for (const ValueCount& count : frequencies.listed)
        out << valueText(count.value, kRussian) + QLatin1Char('\t') +
                   QString::number(count.records);
    return out;
}

class Frequency : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString xs = QString(100, u'x');
        const QString records[] = {
            "(1, '2025-03-01 10:00:00', 'orders', 'INSERT', 'first', 'PETROV - WS12 - APPUSER')",
            "(2, '2025-03-01 00:00:00', 'ORDERS', 'UPDATE', 'Ab second', 'IVANOV - WS1 - "
            "SYSADMIN')",
            "(3, '2025-03-02 12:00:00', 'CLIENTS', 'DELETE', 'it''s third', 'PETROV - WS12 - "
            "ADMIN')",
            "(4, '2025-03-03 09:00:00', 'CLIENTS', 'insert', 'first', 'petrov - ws12 - appuser')",
            "(5, '2025-03-03 23:59:59', 'ORDERS', 'INSERT', null, 'NOHYPHEN')",
            // the 100th character a letter with its accent, or CR LF: one character each
            "(6, null, 'ёлка', 'INSERT', '" + xs.left(99) + "e' || char(769) || 'tail', null)",
            "(7, '2025-03-01 12:00:00', 'Ёлка', null, '" + xs.left(99) +
                "' || char(13, 10) || 'more', 'Ж - W - E')",
            "(8, '2025-03-02 01:00:00', null, 'UPDATE', '" + xs + "zz', '- WS12 - APPUSER')",
            "(9, '2025-03-02 02:00:00', 'straße', 'UPDATE', '" + xs + "q', '- WS12 - APPUSER')",
        };
        QStringList statements = {QStringLiteral(
            "create table LOG_TABLE(sid NUMBER, ddate DATE, stable VARCHAR2(50), saction "
            "VARCHAR2(10), schanges VARCHAR2(4000), suser_info VARCHAR2(100))")};
        for (const QString& record : records)
            statements << "insert into LOG_TABLE values " + record;
        data.connection().connect(
            localConnectionString(makeDatabase(folder, QStringLiteral("log.sqlite"), statements)));
        main().setText(QStringLiteral("Select * from LOG_TABLE order by sid"));
        main().open();
    }

    Dataset& main() { return data.mainDataset(); }
    Frequencies count(const char* field, ValueColumn by, size_t listed = kListedValues)
    {
        return countValues(main(), main().field(QLatin1String(field)).index(), by, kRussian,
                           listed);
    }

    TempFolder folder;
    LogDatabase data;
};

} // namespace

// Each way counts the value that the lists show and the filters compare: the table and the
// action upper-cased character by character, the segments as the lists cut them (an empty one
// is NULL), a change text by its first 100 characters, DDATE by day. The most frequent come
// first, equal counts in the locale's order (Russian: Cyrillic before Latin), NULL after them.
TEST_F(Frequency, EachWayCountsTheValueTheFiltersCompare)
{
    const QString xs = QString(100, u'x');
    const struct {
        const char* field;
        ValueColumn by;
        QStringList lines;
        int values;
    } cases[] = {
        {"STABLE",
         ValueColumn::Table,
         {"ORDERS\t3", "ЁЛКА\t2", "CLIENTS\t2", "STRAßE\t1", "(пусто)\t1"},
         5},
        {"SACTION", ValueColumn::Action, {"INSERT\t4", "UPDATE\t3", "DELETE\t1", "(пусто)\t1"}, 4},
        {"DDATE",
         ValueColumn::Day,
         {"01.03.2025\t3", "02.03.2025\t3", "03.03.2025\t2", "(пусто)\t1"},
         4},
        {"SCHANGES",
         ValueColumn::Changes,
         {"first\t2", xs + "\t2", "Ab second\t1", "it's third\t1", xs.left(99) + "\r\n\t1",
          xs.left(99) + "e\u0301\t1", "(пусто)\t1"},
         7},
        {"SUSER_INFO",
         ValueColumn::UserInfo,
         {"- WS12 - APPUSER\t2", "Ж - W - E\t1", "IVANOV - WS1 - SYSADMIN\t1", "NOHYPHEN\t1",
          "PETROV - WS12 - ADMIN\t1", "petrov - ws12 - appuser\t1", "PETROV - WS12 - APPUSER\t1",
          "(пусто)\t1"},
         8},
        {"SUSER_INFO", ValueColumn::OSUser, {"(пусто)\t4", "PETROV \t3", "Ж \t1", "IVANOV \t1"}, 4},
        {"SUSER_INFO", ValueColumn::PC, {"WS12\t5", "(пусто)\t2", "W\t1", "WS1\t1"}, 4},
        {"SUSER_INFO",
         ValueColumn::OracleUser,
         {"APPUSER\t4", "ADMIN\t1", "E\t1", "OHYPHEN\t1", "SYSADMIN\t1", "(пусто)\t1"},
         6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.field) + " " + std::to_string(int(c.by)));
        const Frequencies frequencies = count(c.field, c.by);
        EXPECT_EQ(lines(frequencies), c.lines);
        EXPECT_EQ(frequencies.records, 9);
        EXPECT_EQ(frequencies.values, c.values);
        EXPECT_EQ(frequencies.otherValues(), 0);
        EXPECT_EQ(frequencies.otherRecords(), 0);
    }
}

// Beyond the limit the values are counted, not listed; a sort changes nothing, a deleted
// record is no longer counted.
TEST_F(Frequency, TheListStopsAtItsLimitAndFollowsTheRecordsHeld)
{
    Frequencies pc = count("SUSER_INFO", ValueColumn::PC, 2);
    EXPECT_EQ(lines(pc), QStringList({"WS12\t5", "(пусто)\t2"}));
    EXPECT_EQ(pc.values, 4);
    EXPECT_EQ(pc.otherValues(), 2);
    EXPECT_EQ(pc.otherRecords(), 2);

    // Of equal counts at the limit, the value met first in the fetched rows.
    EXPECT_EQ(lines(count("SUSER_INFO", ValueColumn::PC, 3)),
              QStringList({"WS12\t5", "(пусто)\t2", "WS1\t1"}));

    main().sortBy(QStringLiteral("SCHANGES"), Qt::DescendingOrder);
    EXPECT_EQ(lines(count("STABLE", ValueColumn::Table)),
              QStringList({"ORDERS\t3", "ЁЛКА\t2", "CLIENTS\t2", "STRAßE\t1", "(пусто)\t1"}));
    // Descending, the record without a change text comes first.
    main().first();
    ASSERT_TRUE(main().rows().isNull(main().rowAt(0), main().field("SCHANGES").index()));
    main().deleteCurrent(QStringLiteral("LOG_TABLE")); // record 5, ORDERS
    const Frequencies tables = count("STABLE", ValueColumn::Table);
    EXPECT_EQ(lines(tables),
              QStringList({"ЁЛКА\t2", "CLIENTS\t2", "ORDERS\t2", "STRAßE\t1", "(пусто)\t1"}));
    EXPECT_EQ(tables.records, 8);
}

TEST_F(Frequency, AWayTheColumnCannotBeCountedByIsRefused)
{
    const std::pair<const char*, std::vector<ValueColumn>> ways[] = {
        {"DDATE", {ValueColumn::Day}},
        {"stable", {ValueColumn::Table}},
        {"SACTION", {ValueColumn::Action}},
        {"SCHANGES", {ValueColumn::Changes}},
        {"SUSER_INFO",
         {ValueColumn::UserInfo, ValueColumn::OSUser, ValueColumn::PC, ValueColumn::OracleUser}},
        {"SID", {}},
    };
    for (const auto& [field, expected] : ways) {
        const Field column = main().field(QLatin1String(field));
        EXPECT_EQ(frequencyColumns(column.name(), column.type()), expected) << field;
    }
    // A DDATE that holds no dates, a text read as a day.
    EXPECT_TRUE(frequencyColumns(QStringLiteral("DDATE"), ColumnType::Text).empty());
    EXPECT_TRUE(frequencyColumns(QStringLiteral("STABLE"), ColumnType::Number).empty());
    EXPECT_THROW(count("SID", ValueColumn::Table), std::invalid_argument);
    EXPECT_THROW(count("STABLE", ValueColumn::Day), std::invalid_argument);
}

// A cancel stops the count where it stands: it never runs to its end.
TEST(FrequencyOfAGeneratedLog, ACancelledCountStopsBeforeItsEnd)
{
    TempFolder folder;
    LogDatabase data;
    Dataset& dataset = openLog(data, makeDemoDatabase(folder, 300000));
    std::vector<int64_t> heard;
    EXPECT_THROW(data.connection().work(QStringLiteral("Частота значений"),
                                        [&](Call& call) {
                                            countValues(dataset, 4, ValueColumn::Changes, kRussian,
                                                        kListedValues, [&](int64_t records) {
                                                            heard.push_back(records);
                                                            call.cancel();
                                                        });
                                        }),
                 Cancelled);
    ASSERT_FALSE(heard.empty());
    EXPECT_LT(heard.back(), 300000);
}

// Over a generated log, every way counts what SQLite's GROUP BY counts in the same file: ten
// thousands of distinct change texts, Cyrillic, lower-case writers, NULLs in every column.
TEST(FrequencyOfAGeneratedLog, CountsEqualSqlitesOwnOverTheSameFile)
{
    TempFolder folder;
    const QString path = makeDemoDatabase(folder, 40000, 3);
    LogDatabase data;
    Dataset& dataset = openLog(data, path);
    const struct {
        const char* field;
        ValueColumn by;
        const char* sql; // value (NULL for NULL), count
    } cases[] = {
        // the generator's texts are ASCII but for Cyrillic names already upper-cased
        {"STABLE", ValueColumn::Table, "select upper(stable), count(*) from LOG_TABLE group by 1"},
        {"SACTION", ValueColumn::Action,
         "select upper(saction), count(*) from LOG_TABLE group by 1"},
        {"DDATE", ValueColumn::Day,
         "select substr(ddate, 1, 10), count(*) from LOG_TABLE group by 1"},
        {"SUSER_INFO", ValueColumn::UserInfo,
         "select suser_info, count(*) from LOG_TABLE group by 1"},
        // 100 characters, CR LF one of them; the generator writes no char(1)
        {"SCHANGES", ValueColumn::Changes,
         "select replace(substr(replace(schanges, char(13, 10), char(1)), 1, 100), char(1), "
         "char(13, 10)), count(*) from LOG_TABLE group by 1"},
    };
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        std::map<QString, int64_t> expected;
        sqlite3_stmt* st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, c.sql, -1, &st, nullptr), SQLITE_OK);
        while (sqlite3_step(st) == SQLITE_ROW)
            expected[sqlite3_column_type(st, 0) == SQLITE_NULL
                         ? QStringLiteral("(пусто)")
                         : QString::fromUtf8(reinterpret_cast<const char*>(
                               sqlite3_column_text(st, 0)))] += sqlite3_column_int64(st, 1);
        sqlite3_finalize(st);

        const Frequencies frequencies = countValues(
            dataset, dataset.field(QLatin1String(c.field)).index(), c.by, kRussian, 100000);
        std::map<QString, int64_t> got;
        for (const ValueCount& count : frequencies.listed)
            got[c.by == ValueColumn::Day && !count.value.null
                    ? count.value.day.toString(QStringLiteral("yyyy-MM-dd"))
                    : valueText(count.value, kRussian)] = count.records;
        EXPECT_EQ(got.size(), expected.size());
        EXPECT_TRUE(got == expected);
        EXPECT_EQ(frequencies.values, int64_t(expected.size()));
        EXPECT_EQ(frequencies.records, 40000);
    }
    sqlite3_close(db);
    EXPECT_GT(queryScalar(path, QStringLiteral("select count(distinct schanges) from LOG_TABLE")),
              10000);
}

// The bytes kept of a change text are those of changesPrefix, which cuts at whole characters
// as the user sees them, however the text is made.
TEST(ChangesPrefix, TheBytesKeptAreThoseOfTheFirstHundredCharacters)
{
    const QString xs99 = QString(99, u'x');
    const QString cases[] = {
        QString(),
        QStringLiteral("short"),
        QString(100, u'x'),
        QString(101, u'x'),
        QString(150, u'ж'),
        QString(99, u'ж') + QStringLiteral("ёй"),
        xs99 + QStringLiteral("e\u0301tail"),          // an accent joins the 100th character
        QString(100, u'x') + QStringLiteral("\u0301"), // ... after it, the 101st code point
        xs99 + QStringLiteral("\r\nmore"),             // CR LF one character
        QString(100, u'x') + QStringLiteral("\r\n"),
        QString(98, u'x') + QStringLiteral("\r\n\r\r\n\n") + QString(20, u'x'),
        QString(60, u'x') + QStringLiteral("\r\n").repeated(50),
        xs99 + QStringLiteral("\rmore"),
        xs99 + QStringLiteral("\n\nmore"),
        xs99 + QStringLiteral("\U0001F600 and more"), // a surrogate pair
        xs99 + QStringLiteral("\U0001F468\u200D\U0001F469 family"),
        xs99 + QStringLiteral("\U0001F1F7\U0001F1FA flag"),
        xs99 + QStringLiteral("\u1100\u1161\u11A8 hangul"),
        QString(200, u'\u00E9'),
        QStringLiteral("«") + QString(120, u'—') + QStringLiteral("» №5"),
        QString(98, u'a') + QStringLiteral("\u0483\u0483\u0483 cyrillic marks"),
    };
    for (const QString& text : cases) {
        const QByteArray utf8 = text.toUtf8();
        EXPECT_EQ(changesPrefixBytes(std::string_view(utf8.constData(), size_t(utf8.size()))),
                  size_t(changesPrefix(text).toUtf8().size()))
            << text.toStdString();
    }
    // Bytes that are no UTF-8 never reach past the text.
    for (const char* bytes : {"\xC0\x80", "\xFF", "\xE2\x82", "\xED\xA0\x80"}) {
        const std::string text = std::string(120, 'x').insert(60, bytes);
        EXPECT_LE(changesPrefixBytes(text), text.size());
    }
}
