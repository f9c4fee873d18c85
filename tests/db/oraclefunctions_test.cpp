#include "common/testsupport.h"
#include "db/dberror.h"
#include "db/embedded/sqliteengine.h"
#include "db/rowset.h"

#include <gtest/gtest.h>
#include <string>

namespace varnel::embedded {
namespace {

// Runs through the real engine, so that the statement is rewritten and the registered
// functions, not SQLite's built-ins of the same name, answer.
class OracleFunctions : public testing::Test {
protected:
    OracleFunctions()
        : m_engine(test::makeDatabase(m_folder, QStringLiteral("f.sqlite")),
                   QStringLiteral("dd.MM.yyyy"), QLocale(QLocale::Russian))
    {}

    // The one value of a one-row query: NULL, a number as digits, a text in quotes, or the
    // Oracle code of the failure.
    std::string value(const QString& sql)
    {
        try {
            const RowSet rows = m_engine.query(sql);
            if (rows.rowCount() != 1 || rows.columnCount() != 1)
                return "rows: " + std::to_string(rows.rowCount());
            if (rows.isNull(0, 0))
                return "NULL";
            switch (rows.column(0).type) {
            case ColumnType::Number:
                return rows.isInteger(0, 0) ? std::to_string(rows.integer(0, 0))
                                            : std::string(rows.decimal(0, 0));
            case ColumnType::Text:
                return std::string("'").append(rows.text(0, 0)).append("'");
            case ColumnType::Date:
                return "date " + std::to_string(rows.dateSeconds(0, 0));
            }
        } catch (const DbError& error) {
            return error.message().left(9).toStdString();
        }
        return "?";
    }

    std::string evaluate(const char* expression)
    {
        return value(QStringLiteral("select %1 x from dual").arg(QString::fromUtf8(expression)));
    }

    test::TempFolder m_folder;
    SqliteEngine m_engine;
};

struct Case {
    const char* expression;
    const char* expected;
};

template <size_t N, typename Evaluate> void check(const Case (&cases)[N], Evaluate evaluate)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        EXPECT_EQ(evaluate(c.expression), c.expected);
    }
}

TEST_F(OracleFunctions, Substr)
{
    const Case cases[] = {
        {"substr('abcdef', 0, 2)", "'ab'"}, // SQLite's own substr gives 'a'
        {"substr('abcdef', 1, 2)", "'ab'"},
        {"substr('abcdef', 1, 0)", "NULL"},
        {"substr('abcdef', 2, -1)", "NULL"},
        {"substr('abcdef', 2)", "'bcdef'"},
        {"substr('abcdef', 2, 100)", "'bcdef'"},
        {"substr('abcdef', 6)", "'f'"},
        {"substr('abcdef', 7)", "NULL"},
        {"substr('abcdef', -2)", "'ef'"},
        {"substr('abcdef', -2, 1)", "'e'"},
        {"substr('abcdef', -6)", "'abcdef'"},
        {"substr('abcdef', -7)", "NULL"},
        {"substr('abcdef', -10)", "NULL"},
        {"substr('abcdef', -10, 8)", "NULL"},
        {"substr('abcdef', 2.9)", "'bcdef'"},
        {"substr('abcdef', 2.9, 2.9)", "'bc'"},
        {"substr('abcdef', '3')", "'cdef'"},
        {"substr(12345, 2, 2)", "'23'"},
        {"substr('Привет', 2, 3)", "'рив'"},
        {"substr('Привет', -3)", "'вет'"},
        {"substr('Привет', 0, 1)", "'П'"},
        {"substr('Привет', 7)", "NULL"},
        {"substr(NULL, 1)", "NULL"},
        {"substr('abcdef', NULL)", "NULL"},
        {"substr('abcdef', 1, NULL)", "NULL"},
        {"substr('', 1)", "NULL"},
    };
    check(cases, [this](const char* e) { return evaluate(e); });
}

TEST_F(OracleFunctions, Instr)
{
    const Case cases[] = {
        {"instr('CORPORATE FLOOR', 'OR')", "2"},
        {"instr('CORPORATE FLOOR', 'OR', 3)", "5"},
        {"instr('CORPORATE FLOOR', 'OR', 3, 2)", "14"},
        {"instr('CORPORATE FLOOR', 'OR', 3, 3)", "0"},
        {"instr('CORPORATE FLOOR', 'OR', -1)", "14"},
        {"instr('CORPORATE FLOOR', 'OR', -3, 2)", "2"},
        {"instr('CORPORATE FLOOR', 'OR', -1, 3)", "2"},
        {"instr('CORPORATE FLOOR', 'OR', -1, 4)", "0"},
        {"instr('CORPORATE FLOOR', 'OR', 16)", "0"},
        {"instr('CORPORATE FLOOR', 'OR', -16)", "0"},
        {"instr('CORPORATE FLOOR', 'or')", "0"},
        {"instr('aaa', 'aa', 1, 2)", "2"}, // occurrences may overlap
        {"instr('abc', '-')", "0"},
        {"instr('abc', 'a', 0)", "0"},
        {"instr('abc', 'x', 0)", "0"},
        {"instr('abc', 'b', 1.9)", "2"},
        {"instr('abc', 'b', 1, 0)", "ORA-01428"},
        {"instr(NULL, 'a')", "NULL"},
        {"instr('abc', NULL)", "NULL"},
        {"instr('abc', 'a', NULL)", "NULL"},
        {"instr('abc', 'a', 1, NULL)", "NULL"},
        {"instr('abc', '')", "NULL"},
        {"instr('Привет, мир', 'мир')", "9"},
        {"instr('ПриветПривет', 'вет', 5)", "10"},
        {"instr('ПриветПривет', 'вет', -1)", "10"},
        {"instr('ПриветПривет', 'вет', -4)", "4"},
        {"instr('ПриветПривет', 'П', -1, 2)", "1"},
    };
    check(cases, [this](const char* e) { return evaluate(e); });
}

TEST_F(OracleFunctions, UpperAndTrunc)
{
    const Case cases[] = {
        {"upper('abc xyz')", "'ABC XYZ'"},
        {"upper('Привет, ёжик')", "'ПРИВЕТ, ЁЖИК'"},
        // Simple case mapping leaves ß alone, so positions found in upper(s) hold in s.
        {"upper('ёжик Straße')", "'ЁЖИК STRAßE'"},
        {"length(upper('ёжик Straße'))", "11"},
        {"upper(NULL)", "NULL"},
        {"upper('')", "NULL"},
        {"upper(12)", "'12'"},
        {"trunc('2026-12-07 13:45:10')", "'2026-12-07 00:00:00'"},
        {"trunc('2026-12-07T13:45:10')", "'2026-12-07 00:00:00'"},
        {"trunc('2026-12-07')", "'2026-12-07 00:00:00'"},
        {"trunc('1969-12-31 23:59:59')", "'1969-12-31 00:00:00'"},
        {"trunc(5.7)", "5"},
        {"trunc(-5.7)", "-5"},
        {"trunc(5)", "5"},
        {"trunc('5.7')", "5"},
        {"trunc(NULL)", "NULL"},
        {"trunc('abc')", "ORA-01722"},
    };
    check(cases, [this](const char* e) { return evaluate(e); });
}

// The filter lists split "OS user - computer - database user" with these very expressions.
TEST_F(OracleFunctions, UserInfoExtraction)
{
    const char* const databaseUser = "upper(substr(t.suser_info,  instr(t.suser_info, '-', "
                                     "instr(t.suser_info, '-', 1) + 1) + 2))";
    const char* const computer =
        "upper(substr(t.suser_info,  instr(t.suser_info, '-', 1) + 2, (instr(t.suser_info, '-',  "
        "instr(t.suser_info, '-', 1)+1)) - (instr(t.suser_info, '-', 1) + 2) - 1))";
    const char* const osUser = "upper(substr(t.suser_info, 1,  instr(t.suser_info, '-', 1) - 1))";
    struct UserInfo {
        const char* text;
        const char* osUser;
        const char* computer;
        const char* databaseUser;
    };
    const UserInfo cases[] = {
        {"PETROV - WS12 - APPUSER", "'PETROV '", "'WS12'", "'APPUSER'"},
        {"ivanov - PC1 - APP-BATCH", "'IVANOV '", "'PC1'", "'APP-BATCH'"},
        {"сидоров - пк7 - учёт", "'СИДОРОВ '", "'ПК7'", "'УЧЁТ'"},
        {"SYSTEM JOB", "NULL", "NULL", "'YSTEM JOB'"},
    };
    for (const UserInfo& c : cases) {
        SCOPED_TRACE(c.text);
        auto extract = [&](const char* expression) {
            return value(QStringLiteral("select %1 x from (select '%2' suser_info) t")
                             .arg(QString::fromUtf8(expression), QString::fromUtf8(c.text)));
        };
        EXPECT_EQ(extract(osUser), c.osUser);
        EXPECT_EQ(extract(computer), c.computer);
        EXPECT_EQ(extract(databaseUser), c.databaseUser);
    }
}

TEST_F(OracleFunctions, LikeIsCaseSensitiveAndEmptyTextIsNull)
{
    const Case cases[] = {
        {"select count(*) x from dual where 'abc' like 'A%'", "0"},
        {"select count(*) x from dual where 'abc' like 'a%'", "1"},
        {"select count(*) x from dual where 'абв' like 'А%'", "0"},
        {"select count(*) x from dual where upper('абв') like 'А%'", "1"},
        {"select count(*) x from dual where '' is null", "1"},
        {"select count(*) x from dual where '' = ''", "0"},
        {"select count(*) x from dual where 'a' <> ''", "0"},
        {"select '' x from dual", "NULL"},
    };
    check(cases, [this](const char* sql) { return value(QString::fromUtf8(sql)); });
}

} // namespace
} // namespace varnel::embedded
