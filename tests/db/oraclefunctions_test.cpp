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

    // The values of a one-row query: NULL, a text in quotes, a number as digits; or the Oracle
    // code of the failure.
    std::string row(const QString& sql)
    {
        try {
            const RowSet rows = m_engine.query(sql);
            if (rows.rowCount() != 1)
                return "rows: " + std::to_string(rows.rowCount());
            std::string out;
            for (int c = 0; c < rows.columnCount(); ++c) {
                out += c > 0 ? " | " : "";
                if (rows.isNull(0, c))
                    out += "NULL";
                else if (rows.column(c).type == ColumnType::Text)
                    out.append("'").append(rows.text(0, c)).append("'");
                else
                    out += rows.isInteger(0, c) ? std::to_string(rows.integer(0, c))
                                                : std::string(rows.decimal(0, c));
            }
            return out;
        } catch (const DbError& error) {
            return error.message().left(9).toStdString();
        }
    }

    void check(std::initializer_list<std::pair<const char*, const char*>> cases)
    {
        for (const auto& [expression, expected] : cases)
            EXPECT_EQ(
                row(QStringLiteral("select %1 x from dual").arg(QString::fromUtf8(expression))),
                expected)
                << expression;
    }

    test::TempFolder m_folder;
    SqliteEngine m_engine;
};

// Several short cases to a line.
// clang-format off
TEST_F(OracleFunctions, SubstrAndInstrCountCharacters)
{
    // Position 0 is 1 (SQLite's own substr gives 'a'), a negative one counts from the end,
    // a length below 1 gives NULL.
    check({
        {"substr('abcd', 0, 2)", "'ab'"}, {"substr('abcd', 1, 0)", "NULL"},
        {"substr('abcd', 2, -1)", "NULL"}, {"substr('abcd', 2)", "'bcd'"},
        {"substr('abcd', 2, 9)", "'bcd'"}, {"substr(12345, 2, 2)", "'23'"},
        {"substr('abcd', 4)", "'d'"}, {"substr('abcd', 5)", "NULL"},
        {"substr('abcd', 2.9, 2.9)", "'bc'"}, {"substr('abcd', -2, 1)", "'c'"},
        {"substr('abcd', -4)", "'abcd'"}, {"substr('abcd', -5)", "NULL"},
        {"substr('Привет', 2, 3)", "'рив'"}, {"substr('Привет', -3)", "'вет'"},
        {"substr('Привет', 7)", "NULL"}, {"substr(NULL, 1)", "NULL"},
        {"substr('abcd', 1, NULL)", "NULL"}, {"substr('', 1)", "NULL"},
    });
    // A negative position searches backwards from that character; occurrences may overlap.
    check({
        {"instr('CORPORATE FLOOR', 'OR')", "2"}, {"instr('CORPORATE FLOOR', 'OR', 3, 2)", "14"},
        {"instr('CORPORATE FLOOR', 'OR', 3, 3)", "0"},
        {"instr('CORPORATE FLOOR', 'OR', -3, 2)", "2"},
        {"instr('CORPORATE FLOOR', 'OR', -1, 3)", "2"},
        {"instr('CORPORATE FLOOR', 'OR', -1, 4)", "0"}, {"instr('CORPORATE FLOOR', 'OR', 16)", "0"},
        {"instr('abc', 'a', -4)", "0"}, {"instr('aaa', 'aa', 1, 2)", "2"},
        {"instr('abc', 'a', 0)", "0"}, {"instr('abc', 'b', 1.9)", "2"},
        {"instr('abc', 'b', 1, 0)", "ORA-01428"}, {"instr(NULL, 'a')", "NULL"},
        {"instr('abc', 'a', 1, NULL)", "NULL"}, {"instr('abc', '')", "NULL"},
        {"instr('Привет, мир', 'мир')", "9"}, {"instr('ПриветПривет', 'вет', 5)", "10"},
        {"instr('ПриветПривет', 'вет', -4)", "4"}, {"instr('ПриветПривет', 'П', -1, 2)", "1"},
    });
}

TEST_F(OracleFunctions, UpperTruncLikeAndEmptyText)
{
    check({
        // Simple case mapping leaves ß alone, so positions found in upper(s) hold in s.
        {"upper('abc')", "'ABC'"}, {"upper('Привет, ёжик Straße')", "'ПРИВЕТ, ЁЖИК STRAßE'"},
        {"upper(NULL)", "NULL"}, {"upper(12)", "'12'"},
        // Upper case that takes more bytes (ɐ: two, Ɐ: three) or fewer (ı: two, I: one).
        {"upper('ɐɐɐɐ-ıı')", "'ⱯⱯⱯⱯ-II'"}, {"instr(upper('ɐɐx'), 'X')", "3"},
        {"trunc('2026-12-07 13:45:10')", "'2026-12-07 00:00:00'"},
        {"trunc('2026-12-07')", "'2026-12-07 00:00:00'"},
        {"trunc('1969-12-31 23:59:59')", "'1969-12-31 00:00:00'"}, {"trunc(-5.7)", "-5"},
        {"trunc(5)", "5"}, {"trunc('5.7')", "5"}, {"trunc(NULL)", "NULL"},
        {"trunc('abc')", "ORA-01722"}, {"'abc' like 'A%'", "0"}, {"upper('абв') like 'А%'", "1"},
        // Oracle has no empty text: '' is NULL.
        {"''", "NULL"}, {"'' is null", "1"}, {"'a' <> ''", "NULL"},
    });
}
// clang-format on

// The filter lists split "OS user - computer - database user" with these very expressions.
TEST_F(OracleFunctions, UserInfoExtraction)
{
    const QString query = QStringLiteral(
        "select upper(substr(t.suser_info, 1,  instr(t.suser_info, '-', 1) - 1)), "
        "upper(substr(t.suser_info,  instr(t.suser_info, '-', 1) + 2, (instr(t.suser_info, '-',  "
        "instr(t.suser_info, '-', 1)+1)) - (instr(t.suser_info, '-', 1) + 2) - 1)), "
        "upper(substr(t.suser_info,  instr(t.suser_info, '-', "
        "instr(t.suser_info, '-', 1) + 1) + 2)) from (select '%1' suser_info) t");
    const char* const cases[][2] = {
        {"PETROV - WS12 - APPUSER", "'PETROV ' | 'WS12' | 'APPUSER'"},
        {"ivanov - PC1 - APP-BATCH", "'IVANOV ' | 'PC1' | 'APP-BATCH'"},
        {"сидоров - пк7 - учёт", "'СИДОРОВ ' | 'ПК7' | 'УЧЁТ'"},
        {"SYSTEM JOB", "NULL | NULL | 'YSTEM JOB'"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(row(query.arg(QString::fromUtf8(text))), expected) << text;
}

} // namespace
} // namespace varnel::embedded
