// Every kind of statement the program sends, as exact texts, run on the embedded engine over a
// generated log and checked against results worked out here from the raw records with
// Oracle's rules.

#include "base/civiltime.h"
#include "browse/core/filterset.h"
#include "common/oraclestandin.h"
#include "common/testsupport.h"
#include "db/connectionstring.h"
#include "db/dberror.h"
#include "db/logdatabase.h"

#include <QDate>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>

using namespace varnel;
using namespace varnel::test;

namespace {

struct Record {
    std::optional<int64_t> sid, ddate; // ddate in seconds (civiltime.h)
    std::optional<QString> stable, saction, schanges, suserInfo;
};

using Predicate = std::function<bool(const Record&)>;

std::vector<Record> readRecords(const QString& path)
{
    sqlite3* db = nullptr;
    sqlite3_stmt* st = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_prepare_v2(db,
                       "select sid, ddate, stable, saction, schanges, suser_info from LOG_TABLE",
                       -1, &st, nullptr);
    std::vector<Record> records;
    auto text = [&](int col) -> std::optional<QString> {
        if (sqlite3_column_type(st, col) == SQLITE_NULL)
            return std::nullopt;
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, col)));
    };
    while (sqlite3_step(st) == SQLITE_ROW) {
        Record r{{}, {}, text(2), text(3), text(4), text(5)};
        if (sqlite3_column_type(st, 0) != SQLITE_NULL)
            r.sid = sqlite3_column_int64(st, 0);
        if (sqlite3_column_type(st, 1) != SQLITE_NULL) {
            int64_t seconds = 0;
            EXPECT_TRUE(civil::parseStoredDateTime(
                reinterpret_cast<const char*>(sqlite3_column_text(st, 1)),
                sqlite3_column_bytes(st, 1), seconds));
            r.ddate = seconds;
        }
        records.push_back(std::move(r));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return records;
}

int64_t dayStart(unsigned y, unsigned m, unsigned d)
{
    return civil::toSeconds(y, m, d, 0, 0, 0);
}

std::optional<QString> upper(const std::optional<QString>& s)
{
    return s ? std::optional<QString>(s->toUpper()) : std::nullopt;
}

// Oracle's LIKE: % and _ are wildcards, letter case counts, NULL never matches.
bool like(const std::optional<QString>& text, const QString& pattern)
{
    QString regex;
    for (const QChar c : pattern)
        regex += c == QLatin1Char('%')   ? QStringLiteral(".*")
                 : c == QLatin1Char('_') ? QStringLiteral(".")
                                         : QRegularExpression::escape(QString(c));
    return text && QRegularExpression(QLatin1Char('^') + regex + QLatin1Char('$'),
                                      QRegularExpression::DotMatchesEverythingOption)
                       .match(*text)
                       .hasMatch();
}

// The three segments of a user-info text as the list statements cut them, with Oracle's
// substr (position 0 counts as 1, a length below 1 or a start past the end gives NULL) and
// instr (0 when not found).
struct Segments {
    std::optional<QString> osUser, computer, databaseUser;
};

Segments segments(const std::optional<QString>& info)
{
    if (!info)
        return {};
    auto substr = [&](qsizetype pos, std::optional<qsizetype> len) -> std::optional<QString> {
        const qsizetype start = std::max<qsizetype>(pos, 1) - 1;
        if (start >= info->size() || (len && *len < 1))
            return std::nullopt;
        return info->mid(start, len.value_or(-1)).toUpper();
    };
    auto hyphen = [&](qsizetype from) {
        return info->indexOf(QLatin1Char('-'), from - 1) + 1;
    };
    const qsizetype p1 = hyphen(1), p2 = hyphen(p1 + 1);
    return {substr(1, p1 - 1), substr(p1 + 2, p2 - (p1 + 2) - 1), substr(p2 + 2, std::nullopt)};
}

QString key(const Record& r)
{
    auto text = [](const std::optional<QString>& s) {
        return s.value_or(QStringLiteral("<null>"));
    };
    auto number = [](const std::optional<int64_t>& n) {
        return n ? QString::number(*n) : QStringLiteral("<null>");
    };
    return QStringList{number(r.sid),   number(r.ddate),  text(r.stable),
                       text(r.saction), text(r.schanges), text(r.suserInfo)}
        .join(QLatin1Char('|'));
}

Record recordOf(const RowSet& rows, uint32_t row)
{
    auto text = [&](int col) -> std::optional<QString> {
        if (rows.isNull(row, col))
            return std::nullopt;
        const std::string_view t = rows.text(row, col);
        return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
    };
    Record r{{}, {}, text(2), text(3), text(4), text(5)};
    if (!rows.isNull(row, 0))
        r.sid = rows.integer(row, 0);
    if (!rows.isNull(row, 1))
        r.ddate = rows.dateSeconds(row, 1);
    return r;
}

// The three segments as the statements cut the user-info column.
const QString kOsUserSegment =
    QStringLiteral("upper(substr(suser_info, 1,  instr(suser_info, '-', 1) - 1))");
const QString kPcSegment = QStringLiteral(
    "upper(substr(suser_info,  instr(suser_info, '-', 1) + 2, (instr(suser_info, '-',  "
    "instr(suser_info, '-', 1)+1)) - (instr(suser_info, '-', 1) + 2) - 1))");
const QString kOracleUserSegment = QStringLiteral(
    "upper(substr(suser_info,  instr(suser_info, '-', instr(suser_info, '-', 1) + 1) + 2))");

// The same statements through both engines: the embedded one, and Oracle's path (the ODBC
// engine and the stand-in driver), which must give the same rows and Oracle's messages.
enum class Path { Embedded, Oracle };

class Statements : public ::testing::TestWithParam<Path> {
protected:
    static void SetUpTestSuite()
    {
        s_folder = new TempFolder;
        s_path = makeDemoDatabase(*s_folder, 5000, 7);
        s_records = new std::vector<Record>(readRecords(s_path));
    }
    static void TearDownTestSuite()
    {
        delete s_records;
        delete s_folder;
    }

    void SetUp() override
    {
        QString why;
        if (GetParam() == Path::Oracle && !OracleStandin::available(&why))
            GTEST_SKIP() << why.toStdString();
        connectTo(s_path);
    }

    // Connects to the log in the file `path`; returns the file that the statements reach.
    QString connectTo(const QString& path)
    {
        QString reached = path;
        if (GetParam() == Path::Oracle) {
            static int databases = 0;
            const QString name = QStringLiteral("STATEMENTS%1").arg(++databases);
            reached = OracleStandin::place(path, name);
            connection =
                buildConnectionString(QStringLiteral("tiger"), QStringLiteral("scott"), name);
        } else {
            connection = localConnectionString(path);
        }
        data.connection().connect(connection);
        data.setCurrentLogTable(QStringLiteral("LOG_TABLE"));
        return reached;
    }

    // A database's message as the engine of the path reports it.
    QString message(const char* oracle) const
    {
        return (GetParam() == Path::Oracle ? QStringLiteral("[Oracle][ODBC][Ora]") : QString()) +
               QString::fromUtf8(oracle);
    }

    // A copy of the shared log for tests that delete.
    QString copyOfLog()
    {
        const QString copy = folder.path(QStringLiteral("copy.sqlite"));
        EXPECT_TRUE(QFile::copy(s_path, copy));
        return connectTo(copy);
    }

    // The rows stay valid until the dataset runs its next statement.
    const RowSet& run(Dataset& dataset, const QString& sql)
    {
        dataset.close();
        dataset.clearText();
        dataset.setText(sql);
        dataset.open();
        return dataset.rows();
    }

    std::vector<Record> expected(const Predicate& keep) const
    {
        std::vector<Record> out;
        for (const Record& r : *s_records)
            if (keep(r))
                out.push_back(r);
        return out;
    }

    static void expectSameRecords(const RowSet& rows, const std::vector<Record>& want)
    {
        std::multiset<QString> got, wanted;
        for (uint32_t row = 0; row < rows.rowCount(); ++row)
            got.insert(key(recordOf(rows, row)));
        for (const Record& r : want)
            wanted.insert(key(r));
        EXPECT_EQ(rows.rowCount(), want.size());
        EXPECT_TRUE(got == wanted);
    }

    // Ascending by date, then record number; NULLs after values in both.
    static void expectDateOrder(const RowSet& rows)
    {
        auto rank = [&](uint32_t row) {
            const Record r = recordOf(rows, row);
            return std::make_tuple(!r.ddate, r.ddate.value_or(0), !r.sid, r.sid.value_or(0));
        };
        for (uint32_t row = 1; row < rows.rowCount(); ++row)
            ASSERT_LE(rank(row - 1), rank(row)) << "row " << row;
    }

    static inline TempFolder* s_folder = nullptr;
    static inline QString s_path;
    QString connection;
    static inline std::vector<Record>* s_records = nullptr;

    TempFolder folder;
    LogDatabase data;
};

} // namespace

TEST_P(Statements, MainQueryWithEachFilter)
{
    const int64_t march1 = dayStart(2025, 3, 1), march2 = dayStart(2025, 3, 2);
    const int64_t may10 = dayStart(2026, 5, 10);
    struct Case {
        const char* sql;
        Predicate keep;
    };
    const Case cases[] = {
        {"Select * from LOG_TABLE where 1=1 order by ddate, sid",
         [](const Record&) {
             return true;
         }},
        {"Select * from LOG_TABLE where 1=1  and trunc(ddate) >= '10.05.2026'order by ddate, sid",
         [&](const Record& r) {
             return r.ddate && *r.ddate >= may10;
         }},
        {"Select * from LOG_TABLE where 1=1  and trunc(ddate) <= '01.03.2025'order by ddate, sid",
         [&](const Record& r) {
             return r.ddate && *r.ddate < march2;
         }},
        // the same day on both sides: the whole day, midnight included
        {"Select * from LOG_TABLE where 1=1  and trunc(ddate) >= '01.03.2025' and trunc(ddate) <= "
         "'01.03.2025'order by ddate, sid",
         [&](const Record& r) {
             return r.ddate && *r.ddate >= march1 && *r.ddate < march2;
         }},
        {"Select * from LOG_TABLE where 1=1  and trunc(ddate) >= '02.03.2025' and trunc(ddate) <= "
         "'01.03.2025'order by ddate, sid",
         [](const Record&) {
             return false;
         }},
        // lower-case writers are found through upper()
        {"Select * from LOG_TABLE where 1=1  and upper(stable) = 'ORDERS'order by ddate, sid",
         [](const Record& r) {
             return upper(r.stable) == QStringLiteral("ORDERS");
         }},
        {"Select * from LOG_TABLE where 1=1  and upper(saction) = 'UPDATE'order by ddate, sid",
         [](const Record& r) {
             return upper(r.saction) == QStringLiteral("UPDATE");
         }},
        {"Select * from LOG_TABLE where 1=1  and upper(stable) = 'СКЛАД_ОСТАТКИ'order by ddate, "
         "sid",
         [](const Record& r) {
             return upper(r.stable) == QStringLiteral("СКЛАД_ОСТАТКИ");
         }},
        // ADMIN also passes SYSADMIN; PC1 also PC10; an underscore is a wildcard
        {"Select * from LOG_TABLE where 1=1  and upper(suser_info)  like '%ADMIN'order by ddate, "
         "sid",
         [](const Record& r) {
             return like(upper(r.suserInfo), QStringLiteral("%ADMIN"));
         }},
        {"Select * from LOG_TABLE where 1=1  and upper(suser_info)  like '%PC1%'order by ddate, "
         "sid",
         [](const Record& r) {
             return like(upper(r.suserInfo), QStringLiteral("%PC1%"));
         }},
        {"Select * from LOG_TABLE where 1=1  and upper(suser_info)  like '%NB_PETROVA%'order by "
         "ddate, sid",
         [](const Record& r) {
             return like(upper(r.suserInfo), QStringLiteral("%NB_PETROVA%"));
         }},
        {"Select * from LOG_TABLE where 1=1  and upper(suser_info)  like 'СИДОРОВ %'order by "
         "ddate, sid",
         [](const Record& r) {
             return like(upper(r.suserInfo), QStringLiteral("СИДОРОВ %"));
         }},
        {"Select * from LOG_TABLE where 1=1  and upper(schanges) like upper('price%')order by "
         "ddate, sid",
         [](const Record& r) {
             return like(upper(r.schanges), QStringLiteral("PRICE%"));
         }},
        {"Select * from LOG_TABLE where 1=1  and upper(schanges) like upper('%изменено "
         "поле%')order by ddate, sid",
         [](const Record& r) {
             return like(upper(r.schanges), QStringLiteral("%ИЗМЕНЕНО ПОЛЕ%"));
         }},
        {"Select * from LOG_TABLE where 1=1  and upper(schanges) like upper( '%job')order by "
         "ddate, sid",
         [](const Record& r) {
             return like(upper(r.schanges), QStringLiteral("%JOB"));
         }},
        {"Select * from LOG_TABLE where 1=1  and upper(schanges) like upper('%%%')order by ddate, "
         "sid",
         [](const Record& r) {
             return r.schanges.has_value();
         }},
        {"Select * from LOG_TABLE where 1=1  and upper(schanges) like upper('% %')order by ddate, "
         "sid",
         [](const Record& r) {
             return like(r.schanges, QStringLiteral("% %"));
         }},
        {"Select * from LOG_TABLE where 1=1  and trunc(ddate) >= '01.01.2025' and trunc(ddate) <= "
         "'31.12.2026' and "
         "upper(stable) = 'ORDERS' and upper(saction) = 'UPDATE' and upper(suser_info)  like "
         "'%APPUSER' and "
         "upper(suser_info)  like '%WS1%' and upper(suser_info)  like 'IVANOV %' and "
         "upper(schanges) like upper('%.%')order by ddate, sid",
         [](const Record& r) {
             return r.ddate && upper(r.stable) == QStringLiteral("ORDERS") &&
                    upper(r.saction) == QStringLiteral("UPDATE") &&
                    like(upper(r.suserInfo), QStringLiteral("%APPUSER")) &&
                    like(upper(r.suserInfo), QStringLiteral("%WS1%")) &&
                    like(upper(r.suserInfo), QStringLiteral("IVANOV %")) &&
                    like(r.schanges, QStringLiteral("%.%"));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        const RowSet& rows = run(data.mainDataset(), QString::fromUtf8(c.sql));
        const std::vector<Record> want = expected(c.keep);
        expectSameRecords(rows, want);
        expectDateOrder(rows);
    }
    // The cases are not vacuous: the generated log has records for the narrow filters.
    EXPECT_FALSE(expected(cases[5].keep).empty());
    EXPECT_FALSE(expected(cases[17].keep).empty() && expected(cases[12].keep).empty());
}

// The conditions of values «Отобрать по значению» took from a cell pass exactly the records
// whose cell gives the value: a segment as the lists cut it, NULL for an empty one, the start
// of a change text with its letter case; quotes, wildcards, backslashes, Cyrillic and emoji are
// themselves.
TEST_P(Statements, ExactValuesPassExactlyTheRecordsThatHoldThem)
{
    const QString copy = folder.path(QStringLiteral("exact.sqlite"));
    ASSERT_TRUE(QFile::copy(s_path, copy));
    const QString emoji = QStringLiteral("\U0001F600"), other = QStringLiteral("\U0001F601");
    const QString tail = QString(99, u'x');
    const std::pair<QString, QString> added[] = {
        // user info, change text
        {"a_b - PC_1 - U_1", "rate 50% done"},
        {"axb - PCX1 - UX1", "rate 50x done"},
        {"o'neil - PC'1 - U'1", "rate 50% done, and more"},
        {"a\\b - PC\\1 - U\\1", "RATE 50% DONE"},
        {"50% - PC%1 - 100%", "C:\\temp\\x_1"},
        {"5000 - PCx1 - 100x", "C:\\tempx"},
        {"иванов - пк_1 - админ", "it's 100%"},
        {"ИВАНОВ - ПК_1 - АДМИН", "it's 1000"},
        {emoji + " - PC" + emoji + " - U" + emoji, "Привет, мир"},
        {"- WS12 - APPUSER", "привет, мир"},
        {"a -  - b", tail + emoji + " one"},
        {"NOHYPHEN", tail + emoji + " two"},
        {"PETROV - WS12 - APPUSER", tail + other},
    };
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(copy.toUtf8().constData(), &db), SQLITE_OK);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db,
                           "insert into LOG_TABLE values (?, '2026-06-01 10:00:00', 'EXACT', "
                           "'INSERT', ?, ?)",
                           -1, &insert, nullptr);
        int sid = 1000000;
        for (const auto& [info, changes] : added) {
            const QByteArray infoText = info.toUtf8(), changesText = changes.toUtf8();
            sqlite3_bind_int(insert, 1, ++sid);
            sqlite3_bind_text(insert, 2, changesText.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 3, infoText.constData(), -1, SQLITE_TRANSIENT);
            ASSERT_EQ(sqlite3_step(insert), SQLITE_DONE);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        sqlite3_close(db);
    }
    const std::vector<Record> records = readRecords(copy);
    connectTo(copy);

    const QString& osUser = kOsUserSegment;
    const QString& pc = kPcSegment;
    const QString& oracleUser = kOracleUserSegment;
    using Segment = std::optional<QString> Segments::*;
    auto segmentIs = [](Segment segment, std::optional<QString> value) -> Predicate {
        return [segment, value](const Record& r) {
            return segments(r.suserInfo).*segment == value;
        };
    };
    auto startsWith = [](QString start) -> Predicate {
        return [start](const Record& r) {
            return r.schanges && r.schanges->startsWith(start);
        };
    };
    const struct {
        QString condition;
        Predicate keep;
    } cases[] = {
        {osUser + " = 'A_B '", segmentIs(&Segments::osUser, "A_B ")},
        {pc + " = 'PC_1'", segmentIs(&Segments::computer, "PC_1")},
        {oracleUser + " = 'U_1'", segmentIs(&Segments::databaseUser, "U_1")},
        {osUser + " = 'O''NEIL '", segmentIs(&Segments::osUser, "O'NEIL ")},
        {pc + " = 'PC\\1'", segmentIs(&Segments::computer, "PC\\1")},
        {oracleUser + " = '100%'", segmentIs(&Segments::databaseUser, "100%")},
        {pc + " = 'ПК_1'", segmentIs(&Segments::computer, "ПК_1")},
        {oracleUser + " = 'U" + emoji + "'", segmentIs(&Segments::databaseUser, "U" + emoji)},
        {"(" + osUser + " is null)", segmentIs(&Segments::osUser, std::nullopt)},
        {"(" + pc + " is null)", segmentIs(&Segments::computer, std::nullopt)},
        {"schanges like 'rate 50\\% done%' escape '\\'", startsWith("rate 50% done")},
        {"schanges like 'C:\\\\temp\\\\x\\_1%' escape '\\'", startsWith("C:\\temp\\x_1")},
        {"schanges like 'it''s 100\\%%' escape '\\'", startsWith("it's 100%")},
        {"schanges like 'Привет, мир%' escape '\\'", startsWith("Привет, мир")},
        {"schanges like '" + tail + emoji + "%' escape '\\'", startsWith(tail + emoji)},
    };
    for (const auto& c : cases) {
        const QString sql =
            "Select * from LOG_TABLE where 1=1  and " + c.condition + "order by ddate, sid";
        SCOPED_TRACE(sql.toStdString());
        std::vector<Record> want;
        std::copy_if(records.begin(), records.end(), std::back_inserter(want), c.keep);
        EXPECT_FALSE(want.empty());
        expectSameRecords(run(data.mainDataset(), sql), want);
    }
}

// An excluded value leaves out exactly the records that hold it, as «Отобрать по значению»
// with it would find them, and keeps every other record, those without a value among them;
// a NULL value leaves out the records without one. Quotes, wildcards, backslashes, Cyrillic
// and emoji are themselves. The builders' texts are pinned here, where both engines run them.
TEST_P(Statements, ExclusionsLeaveOutExactlyTheRecordsThatHoldTheValue)
{
    const QString copy = folder.path(QStringLiteral("exclusions.sqlite"));
    ASSERT_TRUE(QFile::copy(s_path, copy));
    const QString emoji = QStringLiteral("\U0001F600");
    const QString tail = QString(99, u'y');
    // ddate, stable, saction, schanges, suser_info; NULL where absent
    const std::optional<QString> added[][5] = {
        {"2026-06-01 00:00:00", "o'neil_%", "update", "rate 50% done", "a_b - PC_1 - U_1"},
        {"2026-06-01 23:59:59", "O'NEILX%", "UPDATE", "rate 50x done", "axb - PCX1 - UX1"},
        {"2026-06-02 00:00:00", "склад_остатки", "INSERT", "rate 50% done, more",
         "o'neil - PC'1 - U'1"},
        {std::nullopt, std::nullopt, std::nullopt, "C:\\temp\\x_1", "- WS12 - APPUSER"},
        {"2026-06-02 10:00:00", "ORDERS", "DELETE", "C:\\tempx_1", "50% - PC%1 - 100%"},
        {"2026-06-03 10:00:00", "ORDERS", "DELETE", tail + emoji + " one", "5000 - PCx1 - 100x"},
        {"2026-06-03 11:00:00", "ORDERS", "DELETE", tail + "z", std::nullopt},
    };
    QStringList inserts;
    int sid = 2000000;
    for (const auto& record : added) {
        QStringList values = {QString::number(++sid)};
        for (const std::optional<QString>& value : record)
            values << (value ? "'" + QString(*value).replace("'", "''") + "'"
                             : QStringLiteral("null"));
        inserts << "insert into LOG_TABLE values (" + values.join(", ") + ")";
    }
    ASSERT_EQ(queryScalar(makeDatabase(folder, QStringLiteral("exclusions.sqlite"), inserts),
                          QStringLiteral("select count(*) from LOG_TABLE where sid > 2000000")),
              static_cast<long long>(std::size(added)));
    const std::vector<Record> records = readRecords(copy);
    connectTo(copy);

    const QString& osUser = kOsUserSegment;
    const QString& pc = kPcSegment;
    const QString& oracleUser = kOracleUserSegment;
    const auto day = [](const Record& r, int64_t start) {
        return r.ddate && *r.ddate >= start && *r.ddate < start + 86400;
    };
    const int64_t june1 = dayStart(2026, 6, 1);
    const auto text = [](ValueColumn column, const char* value) {
        return ColumnValue::ofText(column, QString::fromUtf8(value));
    };
    FilterValues filtered;
    filtered.action = QStringLiteral("DELETE");
    filtered.exclusions = {text(ValueColumn::Table, "ORDERS"), ColumnValue::ofDay(QDate())};
    const struct {
        std::vector<ColumnValue> exclusions;
        QString fragments;
        Predicate keep;
        FilterValues values = {};
    } cases[] = {
        {{text(ValueColumn::Table, "ORDERS")},
         " and (upper(stable) <> 'ORDERS' or stable is null)",
         [](const Record& r) {
             return upper(r.stable) != QStringLiteral("ORDERS");
         }},
        {{text(ValueColumn::Action, "UPDATE")},
         " and (upper(saction) <> 'UPDATE' or saction is null)",
         [](const Record& r) {
             return upper(r.saction) != QStringLiteral("UPDATE");
         }},
        {{text(ValueColumn::Table, "O'NEIL_%")},
         " and (upper(stable) <> 'O''NEIL_%' or stable is null)",
         [](const Record& r) {
             return upper(r.stable) != QStringLiteral("O'NEIL_%");
         }},
        {{text(ValueColumn::Table, "СКЛАД_ОСТАТКИ")},
         " and (upper(stable) <> 'СКЛАД_ОСТАТКИ' or stable is null)",
         [](const Record& r) {
             return upper(r.stable) != QStringLiteral("СКЛАД_ОСТАТКИ");
         }},
        {{ColumnValue::ofNull(ValueColumn::Table)},
         " and (stable is not null)",
         [](const Record& r) {
             return r.stable.has_value();
         }},
        {{text(ValueColumn::OSUser, "A_B ")},
         " and (" + osUser + " <> 'A_B ' or " + osUser + " is null)",
         [](const Record& r) {
             return segments(r.suserInfo).osUser != QStringLiteral("A_B ");
         }},
        {{text(ValueColumn::PC, "PC'1")},
         " and (" + pc + " <> 'PC''1' or " + pc + " is null)",
         [](const Record& r) {
             return segments(r.suserInfo).computer != QStringLiteral("PC'1");
         }},
        {{text(ValueColumn::OracleUser, "100%")},
         " and (" + oracleUser + " <> '100%' or " + oracleUser + " is null)",
         [](const Record& r) {
             return segments(r.suserInfo).databaseUser != QStringLiteral("100%");
         }},
        // an empty segment is the lists' NULL
        {{ColumnValue::ofNull(ValueColumn::OSUser)},
         " and (" + osUser + " is not null)",
         [](const Record& r) {
             return segments(r.suserInfo).osUser.has_value();
         }},
        // a whole text: the records whose three segments are all the text's go
        {{text(ValueColumn::UserInfo, "o'neil - PC'1 - U'1")},
         " and (" + osUser + " <> 'O''NEIL ' or " + osUser + " is null or " + pc +
             " <> 'PC''1' or " + pc + " is null or " + oracleUser + " <> 'U''1' or " + oracleUser +
             " is null)",
         [](const Record& r) {
             const Segments s = segments(r.suserInfo);
             return !(s.osUser == QStringLiteral("O'NEIL ") &&
                      s.computer == QStringLiteral("PC'1") &&
                      s.databaseUser == QStringLiteral("U'1"));
         }},
        {{text(ValueColumn::UserInfo, "- WS12 - APPUSER")},
         " and (" + osUser + " is not null or " + pc + " <> 'WS12' or " + pc + " is null or " +
             oracleUser + " <> 'APPUSER' or " + oracleUser + " is null)",
         [](const Record& r) {
             const Segments s = segments(r.suserInfo);
             return !(!s.osUser && s.computer == QStringLiteral("WS12") &&
                      s.databaseUser == QStringLiteral("APPUSER"));
         }},
        {{ColumnValue::ofNull(ValueColumn::UserInfo)},
         " and (suser_info is not null)",
         [](const Record& r) {
             return r.suserInfo.has_value();
         }},
        {{text(ValueColumn::Changes, "rate 50% done")},
         " and (schanges not like 'rate 50\\% done%' escape '\\' or schanges is null)",
         [](const Record& r) {
             return !r.schanges || !r.schanges->startsWith(QStringLiteral("rate 50% done"));
         }},
        {{text(ValueColumn::Changes, "C:\\temp\\x_1")},
         " and (schanges not like 'C:\\\\temp\\\\x\\_1%' escape '\\' or schanges is null)",
         [](const Record& r) {
             return !r.schanges || !r.schanges->startsWith(QStringLiteral("C:\\temp\\x_1"));
         }},
        // the first 100 characters, the emoji whole
        {{ColumnValue::ofText(ValueColumn::Changes, tail + emoji + " one")},
         " and (schanges not like '" + tail + emoji + "%' escape '\\' or schanges is null)",
         [&](const Record& r) {
             return !r.schanges || !r.schanges->startsWith(tail + emoji);
         }},
        {{ColumnValue::ofNull(ValueColumn::Changes)},
         " and (schanges is not null)",
         [](const Record& r) {
             return r.schanges.has_value();
         }},
        {{ColumnValue::ofDay(QDate(2026, 6, 1))},
         " and (trunc(ddate) <> '01.06.2026' or ddate is null)",
         [&](const Record& r) {
             return !day(r, june1);
         }},
        {{ColumnValue::ofDay(QDate())},
         " and (ddate is not null)",
         [](const Record& r) {
             return r.ddate.has_value();
         }},
        // after the filters' fragments, in the order added
        {filtered.exclusions,
         " and upper(saction) = 'DELETE' and (upper(stable) <> 'ORDERS' or stable is null) and "
         "(ddate is not null)",
         [](const Record& r) {
             return upper(r.saction) == QStringLiteral("DELETE") &&
                    upper(r.stable) != QStringLiteral("ORDERS") && r.ddate;
         },
         filtered},
    };
    for (const auto& c : cases) {
        FilterValues values = c.values;
        values.exclusions = c.exclusions;
        const QString sql =
            mainQueryText(QStringLiteral("LOG_TABLE"), values, LocaleText::current());
        SCOPED_TRACE(sql.toStdString());
        EXPECT_EQ(sql, "Select * from LOG_TABLE where 1=1 " + c.fragments + "order by ddate, sid");
        std::vector<Record> want;
        std::copy_if(records.begin(), records.end(), std::back_inserter(want), c.keep);
        // Each leaves out some records and keeps some.
        EXPECT_LT(want.size(), records.size());
        EXPECT_FALSE(want.empty());
        expectSameRecords(run(data.mainDataset(), sql), want);
    }

    // The lists narrow under them: a value left out is no choice, its own list's included.
    FilterValues listed;
    listed.exclusions = {text(ValueColumn::Table, "ORDERS"), text(ValueColumn::OSUser, "A_B ")};
    const QString list = filterListStatement(FilterList::Table, QStringLiteral("LOG_TABLE"), listed,
                                             LocaleText::current());
    EXPECT_EQ(list, "Select distinct upper(stable) stable from LOG_TABLE where 1=1  and "
                    "(upper(stable) <> 'ORDERS' or stable is null) and (" +
                        osUser + " <> 'A_B ' or " + osUser +
                        " is null) union Select null from dual order by stable");
    std::set<QString> tables;
    for (const Record& r : records)
        if (upper(r.stable) && *upper(r.stable) != QStringLiteral("ORDERS") &&
            segments(r.suserInfo).osUser != QStringLiteral("A_B "))
            tables.insert(*upper(r.stable));
    const RowSet& rows = run(data.dataset(DatasetRole::Table), list);
    std::set<QString> got;
    for (uint32_t row = 0; row + 1 < rows.rowCount(); ++row) {
        const std::string_view t = rows.text(row, 0);
        got.insert(QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size())));
    }
    EXPECT_EQ(got, tables);
    EXPECT_TRUE(tables.count(QStringLiteral("O'NEIL_%")) == 0 && !tables.empty());
    EXPECT_TRUE(rows.isNull(rows.rowCount() - 1, 0));
}

TEST_P(Statements, FilterListsHoldEachUpperCasedValueOnceAndOneEmptyEntryLast)
{
    using Extract = std::function<std::optional<QString>(const Record&)>;
    struct Case {
        const char* sql;
        Extract value;
        Predicate keep;
    };
    auto all = [](const Record&) {
        return true;
    };
    const int64_t from = dayStart(2026, 1, 1);
    const Case cases[] = {
        {"Select distinct upper(stable) stable from LOG_TABLE where 1=1  union Select null from "
         "dual order by stable",
         [](const Record& r) { return upper(r.stable); }, all},
        {"Select distinct upper(saction) saction from LOG_TABLE where 1=1  union Select null from "
         "dual order by saction",
         [](const Record& r) { return upper(r.saction); }, all},
        {"Select distinct upper(substr(t.suser_info,  instr(t.suser_info, '-', instr(t.suser_info, "
         "'-', 1) + 1) + 2))  "
         "Oracle_User from LOG_TABLE t where 1=1  union Select null  from dual order by "
         "Oracle_User",
         [](const Record& r) { return segments(r.suserInfo).databaseUser; }, all},
        {"Select distinct upper(substr(t.suser_info,  instr(t.suser_info, '-', 1) + 2, "
         "(instr(t.suser_info, '-',  "
         "instr(t.suser_info, '-', 1)+1)) - (instr(t.suser_info, '-', 1) + 2) - 1))  PC from "
         "LOG_TABLE t where 1=1  "
         "union Select null from dual order by PC",
         [](const Record& r) { return segments(r.suserInfo).computer; }, all},
        {"Select upper(substr(t.suser_info, 1,  instr(t.suser_info, '-', 1) - 1)) OS_User from "
         "LOG_TABLE t where 1=1  "
         "union Select null from dual order by OS_User",
         [](const Record& r) { return segments(r.suserInfo).osUser; }, all},
        // narrowed by the other filters: a date, a table and a computer
        {"Select distinct upper(saction) saction from LOG_TABLE where 1=1  and trunc(ddate) >= "
         "'01.01.2026' and "
         "upper(stable) = 'ORDERS' and upper(suser_info)  like '%PC1%' union Select null from dual "
         "order by saction",
         [](const Record& r) { return upper(r.saction); },
         [&](const Record& r) {
             return r.ddate && *r.ddate >= from && upper(r.stable) == QStringLiteral("ORDERS") &&
                    like(upper(r.suserInfo), QStringLiteral("%PC1%"));
         }},
        {"Select upper(substr(t.suser_info, 1,  instr(t.suser_info, '-', 1) - 1)) OS_User from "
         "LOG_TABLE t where 1=1  "
         "and upper(stable) = 'INVOICES' and upper(saction) = 'DELETE' union Select null from dual "
         "order by OS_User",
         [](const Record& r) { return segments(r.suserInfo).osUser; },
         [](const Record& r) {
             return upper(r.stable) == QStringLiteral("INVOICES") &&
                    upper(r.saction) == QStringLiteral("DELETE");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        std::set<QString> values;
        for (const Record& r : expected(c.keep))
            if (const auto v = c.value(r))
                values.insert(*v);
        // SQLite orders by code points; the list's order is its own matter, the values are not.
        const RowSet& rows = run(data.dataset(DatasetRole::Table), QString::fromUtf8(c.sql));
        ASSERT_EQ(rows.columnCount(), 1);
        ASSERT_EQ(rows.rowCount(), values.size() + 1);
        auto it = values.begin();
        for (uint32_t row = 0; row + 1 < rows.rowCount(); ++row, ++it) {
            ASSERT_FALSE(rows.isNull(row, 0)) << row;
            const std::string_view t = rows.text(row, 0);
            EXPECT_EQ(QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size())), *it);
        }
        EXPECT_TRUE(rows.isNull(rows.rowCount() - 1, 0));
    }
}

TEST_P(Statements, LoginProbeReadsOneRowAndPassesAnEmptyTable)
{
    copyOfLog(); // the shared log stays without the new table
    EXPECT_EQ(run(data.mainDataset(), QStringLiteral("Select * from LOG_TABLE where rownum=1"))
                  .rowCount(),
              1u);
    data.commandDataset().setText(QStringLiteral("create table EMPTY_LOG(sid NUMBER, ddate DATE)"));
    data.commandDataset().execute();
    EXPECT_EQ(run(data.mainDataset(), QStringLiteral("Select * from empty_log where rownum=1"))
                  .rowCount(),
              0u);
    EXPECT_EQ(errorOf([&] {
                  run(data.mainDataset(), QStringLiteral("Select * from NO_LOG where rownum=1"));
              }),
              message("ORA-00942: table or view does not exist"));
}

TEST_P(Statements, PeriodDeletionTakesFullDateTimesBetweenMidnights)
{
    const QString copy = copyOfLog();
    const int64_t from = dayStart(2025, 3, 1), to = dayStart(2025, 3, 10);
    auto inPeriod = [&](const Record& r) {
        return r.ddate && *r.ddate >= from && *r.ddate <= to;
    };
    // The export statement selects exactly what the deletion will take.
    expectSameRecords(
        run(data.exportDataset(),
            QStringLiteral(
                "Select * from LOG_TABLE where ddate between '01.03.2025' and '10.03.2025'")),
        expected(inPeriod));

    Dataset& dataset = data.commandDataset();
    dataset.setText(
        QStringLiteral("delete LOG_TABLE where ddate between '01.03.2025' and '10.03.2025'"));
    dataset.execute();
    expectSameRecords(run(data.exportDataset(), QStringLiteral("Select * from LOG_TABLE")),
                      expected([&](const Record& r) { return !inPeriod(r); }));
    // Later on the last day stays: records between 10.03 00:00:01 and 23:59:59 remain.
    EXPECT_FALSE(expected([&](const Record& r) {
                     return r.ddate && *r.ddate > to && *r.ddate < to + 86400;
                 }).empty());

    // From later than To deletes nothing and is no error.
    dataset.setText(
        QStringLiteral("delete LOG_TABLE where ddate between '10.03.2026' and '01.03.2026'"));
    dataset.execute();
    dataset.setText(QStringLiteral("delete LOG_TABLE"));
    dataset.execute();
    EXPECT_EQ(run(data.exportDataset(), QStringLiteral("Select * from LOG_TABLE")).rowCount(), 0u);
    (void)copy;
}

TEST_P(Statements, APeriodOfOneDayTakesOnlyItsMidnightRecords)
{
    // The generator writes nightly jobs at exactly midnight; find a day that has one.
    std::map<int64_t, int> midnights;
    for (const Record& r : *s_records)
        if (r.ddate && civil::secondOfDay(*r.ddate) == 0)
            ++midnights[*r.ddate];
    ASSERT_FALSE(midnights.empty());
    const auto [midnight, count] = *midnights.begin();
    const civil::Ymd day = civil::civilFromDays(civil::dayOf(midnight));
    const QString text =
        QDate(static_cast<int>(day.year), static_cast<int>(day.month), static_cast<int>(day.day))
            .toString(QStringLiteral("dd.MM.yyyy"));
    const RowSet& rows =
        run(data.exportDataset(),
            QStringLiteral("Select * from LOG_TABLE where ddate between '%1' and '%1'").arg(text));
    EXPECT_EQ(rows.rowCount(), static_cast<uint32_t>(count));
}

// A locale whose short format has a two-digit year: the connection reads the four-digit year
// that the program writes in statements, not a year guessed from two digits.
TEST_P(Statements, TwoDigitYearLocalesReadTheFourDigitYearsOfStatements)
{
    struct Case {
        QLocale locale;
        const char* date; // 1 December 2026 as the statements write it in that locale
    };
    const Case cases[] = {
        {QLocale(QLocale::German, QLocale::Germany), "01.12.2026"},
        {QLocale(QLocale::English, QLocale::UnitedStates), "12/1/2026"},
    };
    const QLocale saved;
    const int64_t from = dayStart(2026, 12, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.date);
        QLocale::setDefault(c.locale);
        LogDatabase module;
        module.connection().connect(connection);
        Dataset& dataset = module.mainDataset();
        dataset.setText(
            QStringLiteral(
                "Select * from LOG_TABLE where 1=1  and trunc(ddate) >= '%1'order by ddate, sid")
                .arg(QString::fromLatin1(c.date)));
        dataset.open();
        expectSameRecords(dataset.rows(),
                          expected([&](const Record& r) { return r.ddate && *r.ddate >= from; }));
    }
    QLocale::setDefault(saved);
}

TEST_P(Statements, RejectedStatementsCarryOraclesMessage)
{
    const std::pair<const char*, const char*> cases[] = {
        // a value holding a single quote breaks the statement
        {"Select * from LOG_TABLE where 1=1  and upper(stable) = 'O'BRIEN'order by ddate, sid",
         "ORA-01756: quoted string not properly terminated"},
        // a date text in another layout than the connection's
        {"Select * from LOG_TABLE where 1=1  and trunc(ddate) >= '01.13.2026'order by ddate, sid",
         "ORA-01843: not a valid month"},
        {"Select * from GONE where 1=1 order by ddate, sid",
         "ORA-00942: table or view does not exist"},
        {"Select * from LOG_TABLE where 1=1 order by ddate, nosuch",
         "ORA-00904: \"NOSUCH\": invalid identifier"},
    };
    for (const auto& [sql, message] : cases) {
        SCOPED_TRACE(sql);
        const QString error =
            errorOf([&, &sql = sql] { run(data.mainDataset(), QString::fromUtf8(sql)); });
        EXPECT_TRUE(error.startsWith(this->message(message))) << error.toStdString();
        EXPECT_FALSE(data.mainDataset().isOpen());
    }
    EXPECT_EQ(run(data.mainDataset(), QStringLiteral("Select * from LOG_TABLE")).rowCount(),
              s_records->size());
}

INSTANTIATE_TEST_SUITE_P(BothEngines, Statements, ::testing::Values(Path::Embedded, Path::Oracle),
                         [](const ::testing::TestParamInfo<Path>& info) {
                             return info.param == Path::Oracle ? "Oracle" : "Embedded";
                         });
