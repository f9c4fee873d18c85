#include "browse/core/filterset.h"
#include "common/testsupport.h"
#include "db/logdatabase.h"
#include "db/logtableschema.h"

#include <gtest/gtest.h>

using namespace varnel;
using namespace varnel::test;

namespace {

const LocaleText kRussian(QLocale(QLocale::Russian, QLocale::Russia));
const QString kLog = QStringLiteral("LOG_TABLE");

// Every filter on: dates, the five list values and a change text.
FilterValues allOn(int changesPosition)
{
    FilterValues v;
    v.dateFrom = QDate(2026, 3, 1);
    v.dateTo = QDate(2026, 12, 7);
    v.table = QStringLiteral("ORDERS");
    v.action = QStringLiteral("UPDATE");
    v.oracleUser = QStringLiteral("APPUSER");
    v.pc = QStringLiteral("WS12");
    v.osUser = QStringLiteral("PETROV ");
    v.changes = QStringLiteral("ab");
    v.changesPosition = changesPosition;
    return v;
}

} // namespace

TEST(FilterStatements, MainQueryTexts)
{
    FilterValues quotes;
    quotes.table = QStringLiteral("O'BRIEN");
    quotes.changes = QStringLiteral("it's");
    FilterValues blanks;
    blanks.changes = QStringLiteral("  ");
    blanks.changesPosition = 2;
    FilterValues offText = allOn(0);
    offText.changes.clear();
    const std::pair<FilterValues, const char*> cases[] = {
        {FilterValues{}, "Select * from LOG_TABLE where 1=1 order by ddate, sid"},
        {allOn(0),
         "Select * from LOG_TABLE where 1=1  and trunc(ddate) >= '01.03.2026' and trunc(ddate) <= "
         "'07.12.2026' and upper(stable) = 'ORDERS' and upper(saction) = 'UPDATE' and "
         "upper(suser_info)  like '%APPUSER' and upper(suser_info)  like '%WS12%' and "
         "upper(suser_info)  like 'PETROV %' and upper(schanges) like upper('ab%')order by ddate, "
         "sid"},
        {allOn(1),
         "Select * from LOG_TABLE where 1=1  and trunc(ddate) >= '01.03.2026' and trunc(ddate) <= "
         "'07.12.2026' and upper(stable) = 'ORDERS' and upper(saction) = 'UPDATE' and "
         "upper(suser_info)  like '%APPUSER' and upper(suser_info)  like '%WS12%' and "
         "upper(suser_info)  like 'PETROV %' and upper(schanges) like upper('%ab%')order by "
         "ddate, sid"},
        {allOn(2),
         "Select * from LOG_TABLE where 1=1  and trunc(ddate) >= '01.03.2026' and trunc(ddate) <= "
         "'07.12.2026' and upper(stable) = 'ORDERS' and upper(saction) = 'UPDATE' and "
         "upper(suser_info)  like '%APPUSER' and upper(suser_info)  like '%WS12%' and "
         "upper(suser_info)  like 'PETROV %' and upper(schanges) like upper( '%ab')order by "
         "ddate, sid"},
        // An empty change text turns its filter off whatever the radio group says.
        {offText,
         "Select * from LOG_TABLE where 1=1  and trunc(ddate) >= '01.03.2026' and trunc(ddate) <= "
         "'07.12.2026' and upper(stable) = 'ORDERS' and upper(saction) = 'UPDATE' and "
         "upper(suser_info)  like '%APPUSER' and upper(suser_info)  like '%WS12%' and "
         "upper(suser_info)  like 'PETROV %'order by ddate, sid"},
        {quotes, "Select * from LOG_TABLE where 1=1  and upper(stable) = 'O''BRIEN' and "
                 "upper(schanges) like upper('%it''s%')order by ddate, sid"},
        {blanks,
         "Select * from LOG_TABLE where 1=1  and upper(schanges) like upper( '%  ')order by ddate, "
         "sid"},
    };
    for (const auto& [values, expected] : cases)
        EXPECT_EQ(mainQueryText(kLog, values, kRussian), QString::fromUtf8(expected));
}

TEST(FilterStatements, ListTextsLeaveOutTheirOwnAndTheChangeTextFilter)
{
    const char* const withoutFilters[] = {
        "Select distinct upper(stable) stable from LOG_TABLE where 1=1  union Select null from "
        "dual order by stable",
        "Select distinct upper(saction) saction from LOG_TABLE where 1=1  union Select null from "
        "dual order by saction",
        "Select distinct upper(substr(t.suser_info,  instr(t.suser_info, '-', instr(t.suser_info, "
        "'-', 1) + 1) + 2))  Oracle_User from LOG_TABLE t where 1=1  union Select null  from dual "
        "order by Oracle_User",
        "Select distinct upper(substr(t.suser_info,  instr(t.suser_info, '-', 1) + 2, "
        "(instr(t.suser_info, '-',  instr(t.suser_info, '-', 1)+1)) - (instr(t.suser_info, '-', "
        "1) + 2) - 1))  PC from LOG_TABLE t where 1=1  union Select null from dual order by PC",
        "Select upper(substr(t.suser_info, 1,  instr(t.suser_info, '-', 1) - 1)) OS_User from "
        "LOG_TABLE t where 1=1  union Select null from dual order by OS_User",
    };
    const char* const dates = " and trunc(ddate) >= '01.03.2026' and trunc(ddate) <= '07.12.2026'";
    const char* const fragments[] = {
        " and upper(stable) = 'ORDERS'", " and upper(saction) = 'UPDATE'",
        " and upper(suser_info)  like '%APPUSER'", " and upper(suser_info)  like '%WS12%'",
        " and upper(suser_info)  like 'PETROV %'"};
    const char* const keys[] = {"STABLE", "SACTION", "ORACLE_USER", "PC", "OS_USER"};
    for (int i = 0; i < 5; ++i) {
        const FilterList list = kFilterLists[i];
        const QString bare = QString::fromUtf8(withoutFilters[i]);
        EXPECT_EQ(filterListStatement(list, kLog, FilterValues{}, kRussian), bare);
        QString narrowed = QString::fromUtf8(dates);
        for (int other = 0; other < 5; ++other)
            if (other != i)
                narrowed += QString::fromUtf8(fragments[other]);
        const qsizetype at = bare.indexOf(QLatin1String("where 1=1 ")) + 10;
        EXPECT_EQ(filterListStatement(list, kLog, allOn(1), kRussian),
                  QString(bare).insert(at, narrowed));
        EXPECT_EQ(filterListKeyColumn(list), QString::fromLatin1(keys[i]));
    }
}

// The fragments of values «Отобрать по значению» took from a cell: the segments as the lists
// cut them, the change text's start with its wildcards and backslashes escaped, quotes doubled.
TEST(FilterStatements, ExactValuesGiveExactConditions)
{
    const QString pc = QStringLiteral(
        "upper(substr(suser_info,  instr(suser_info, '-', 1) + 2, (instr(suser_info, '-',  "
        "instr(suser_info, '-', 1)+1)) - (instr(suser_info, '-', 1) + 2) - 1))");
    const QString osUser =
        QStringLiteral("upper(substr(suser_info, 1,  instr(suser_info, '-', 1) - 1))");
    const QString oracleUser = QStringLiteral(
        "upper(substr(suser_info,  instr(suser_info, '-', instr(suser_info, '-', 1) + 1) + 2))");
    const QString emoji = QStringLiteral("\U0001F600");
    const QString accent = QStringLiteral("e\u0301");
    const struct {
        Filter filter;
        QString value;
        QString fragment;
    } cases[] = {
        {Filter::Table, "O'BRIEN_%", " and upper(stable) = 'O''BRIEN_%'"},
        {Filter::Action, "UPDATE", " and upper(saction) = 'UPDATE'"},
        {Filter::PC, "PC_1", " and " + pc + " = 'PC_1'"},
        {Filter::OSUser, "O'NEIL ", " and " + osUser + " = 'O''NEIL '"},
        {Filter::OracleUser, "50%\\", " and " + oracleUser + " = '50%\\'"},
        // an empty segment: the records whose list shows the empty entry
        {Filter::PC, "", " and (" + pc + " is null)"},
        {Filter::OSUser, "", " and (" + osUser + " is null)"},
        {Filter::Changes, "rate 50% done_", " and schanges like 'rate 50\\% done\\_%' escape '\\'"},
        {Filter::Changes, "C:\\temp\\it's",
         " and schanges like 'C:\\\\temp\\\\it''s%' escape '\\'"},
        {Filter::Changes, "Склад", " and schanges like 'Склад%' escape '\\'"},
        // the first 100 characters, never half of one
        {Filter::Changes, QString(150, u'a'),
         " and schanges like '" + QString(100, u'a') + "%' escape '\\'"},
        {Filter::Changes, QString(99, u'x') + emoji + "tail",
         " and schanges like '" + QString(99, u'x') + emoji + "%' escape '\\'"},
        {Filter::Changes, QString(99, u'x') + accent + "tail",
         " and schanges like '" + QString(99, u'x') + accent + "%' escape '\\'"},
        // no cell gives these
        {Filter::Table, "", ""},
        {Filter::Changes, "", ""},
    };
    for (const auto& c : cases) {
        FilterValues values;
        values.text(c.filter) = c.value;
        values.setExact(c.filter);
        SCOPED_TRACE(c.value.toStdString());
        EXPECT_EQ(filterFragment(c.filter, values, kRussian), c.fragment);
    }

    // The lists are narrowed by the same conditions; without the mark a value is a pattern.
    FilterValues values = allOn(1);
    values.pc = QStringLiteral("PC_1");
    values.setExact(Filter::PC);
    values.setExact(Filter::DateFrom);
    const QString statement = filterListStatement(FilterList::Action, kLog, values, kRussian);
    EXPECT_TRUE(
        statement.contains(" and " + pc + " = 'PC_1' and upper(suser_info)  like 'PETROV %'"))
        << statement.toStdString();
    EXPECT_TRUE(statement.contains(" and trunc(ddate) >= '01.03.2026'"));
}

namespace {

// A small log whose records hit the edges of every filter: days' first and last seconds,
// letter case, user-info texts with and without hyphens, quotes and blanks in change texts.
class FilteredLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString path = makeDatabase(
            folder, QStringLiteral("log.sqlite"),
            {createLogTableStatement(kLog),
             "insert into LOG_TABLE values"
             "(1, '2026-02-28 23:59:59', 'ORDERS', 'INSERT', 'ID=1, STATUS=''Новый''', "
             "'PETROV - WS12 - APPUSER'),"
             "(2, '2026-03-01 00:00:00', 'orders', 'UPDATE', 'PRICE: 1 -> 2', "
             "'ivanov - PC10 - SYSADMIN'),"
             "(3, '2026-03-01 23:59:59', 'INVOICES', 'DELETE', '100% done', 'SYSTEM JOB'),"
             "(4, '2026-03-02 00:00:00', 'Склад', 'update', 'a   b', 'сидоров - PC1 - ADMIN'),"
             "(5, NULL, NULL, NULL, NULL, NULL),"
             "(6, '2026-03-03 10:00:00', 'CUSTOMERS', 'INSERT', 'O''Brien', "
             "'petrov - WS12 - appuser'),"
             "(7, '2026-03-02 12:00:00', 'INVOICES', 'UPDATE', 'price: 3 -> 4', "
             "'ivanov - PC1 - APP-BATCH')"});
        data.connection().connect(localConnectionString(path));
        data.setCurrentLogTable(kLog);
    }

    // Each row's single value, "-" for NULL.
    static QStringList values(const Dataset& dataset)
    {
        QStringList out;
        for (int row = 0; row < dataset.recordCount(); ++row)
            out << (dataset.rows().isNull(dataset.rowAt(row), 0) ? QStringLiteral("-")
                                                                 : dataset.displayText(row, 0));
        return out;
    }

    TempFolder folder;
    LogDatabase data;
};

} // namespace

TEST_F(FilteredLog, MainQueryPassesWhatEachFilterSays)
{
    auto with = [](auto set) {
        FilterValues v;
        set(v);
        return v;
    };
    const std::pair<FilterValues, std::vector<int64_t>> cases[] = {
        // By date, then number; the record without a date last.
        {FilterValues{}, {1, 2, 3, 4, 7, 6, 5}},
        // Both bounds take their whole day.
        {with([](FilterValues& v) { v.dateFrom = v.dateTo = QDate(2026, 3, 1); }), {2, 3}},
        {with([](FilterValues& v) { v.dateFrom = QDate(2026, 3, 2); }), {4, 7, 6}},
        {with([](FilterValues& v) {
             v.dateFrom = QDate(2026, 3, 2);
             v.dateTo = QDate(2026, 3, 1);
         }),
         {}},
        {with([](FilterValues& v) { v.table = QStringLiteral("ORDERS"); }), {1, 2}},
        {with([](FilterValues& v) { v.action = QStringLiteral("UPDATE"); }), {2, 4, 7}},
        // A database user matches at the end, a computer anywhere, an OS user at the start.
        {with([](FilterValues& v) { v.oracleUser = QStringLiteral("ADMIN"); }), {2, 4}},
        {with([](FilterValues& v) { v.pc = QStringLiteral("PC1"); }), {2, 4, 7}},
        {with([](FilterValues& v) { v.osUser = QStringLiteral("PETROV "); }), {1, 6}},
        {with([](FilterValues& v) {
             v.changes = QStringLiteral("price");
             v.changesPosition = 0;
         }),
         {2, 7}},
        {with([](FilterValues& v) { v.changes = QStringLiteral("%"); }), {1, 2, 3, 4, 7, 6}},
        {with([](FilterValues& v) { v.changes = QStringLiteral("   "); }), {4}},
        {with([](FilterValues& v) {
             v.changes = QStringLiteral("='новый'");
             v.changesPosition = 2;
         }),
         {1}},
        {with([](FilterValues& v) {
             v.changes = QStringLiteral("o'b");
             v.changesPosition = 0;
         }),
         {6}},
    };
    Dataset& dataset = data.mainDataset();
    for (const auto& [values, sids] : cases) {
        dataset.setText(mainQueryText(kLog, values, kRussian));
        SCOPED_TRACE(dataset.getText().toStdString());
        dataset.open();
        std::vector<int64_t> got;
        for (int row = 0; row < dataset.recordCount(); ++row)
            got.push_back(dataset.rows().integer(dataset.rowAt(row), 0));
        EXPECT_EQ(got, sids);
    }
}

TEST_F(FilteredLog, ListsHoldEachValueOnceAndTheEmptyEntryLast)
{
    // Without filters: letter case collapses; a user-info text without hyphens adds only to
    // the database-user list, from its second character on.
    rebuildFilterLists(data, FilterValues{}, kRussian);
    const QStringList everything[] = {
        {"CUSTOMERS", "INVOICES", "ORDERS", "СКЛАД", "-"},
        {"DELETE", "INSERT", "UPDATE", "-"},
        {"ADMIN", "APP-BATCH", "APPUSER", "SYSADMIN", "YSTEM JOB", "-"},
        {"PC1", "PC10", "WS12", "-"},
        {"IVANOV ", "PETROV ", "СИДОРОВ ", "-"},
    };
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(values(data.dataset(filterListDataset(kFilterLists[i]))), everything[i]) << i;

    // Each list ignores its own choice and the change text.
    FilterValues narrowed;
    narrowed.dateFrom = QDate(2026, 3, 2);
    narrowed.table = QStringLiteral("INVOICES");
    narrowed.changes = QStringLiteral("no such change");
    rebuildFilterLists(data, narrowed, kRussian);
    const QStringList fromMarch2[] = {
        {"CUSTOMERS", "INVOICES", "СКЛАД", "-"},
        {"UPDATE", "-"},
        {"APP-BATCH", "-"},
        {"PC1", "-"},
        {"IVANOV ", "-"},
    };
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(values(data.dataset(filterListDataset(kFilterLists[i]))), fromMarch2[i]) << i;
}
