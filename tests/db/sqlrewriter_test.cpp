#include "db/dberror.h"
#include "db/embedded/oracledate.h"
#include "db/embedded/sqlrewriter.h"

#include <gtest/gtest.h>

namespace varnel::embedded {
namespace {

class SqlRewriter : public testing::Test {
protected:
    SqlRewriter()
    {
        m_context.isDateColumn = [](QStringView name) {
            return name.compare(QLatin1String("DDATE"), Qt::CaseInsensitive) == 0;
        };
        m_context.dateFormat = &m_format;
        m_context.currentYear = 2026;
    }

    Rewrite run(const char* sql) const { return rewrite(QString::fromUtf8(sql), m_context); }

    // The Oracle code that the statement fails with, or "" when it passes.
    QString failure(const char* sql) const
    {
        try {
            run(sql);
        } catch (const DbError& error) {
            return error.message().left(9);
        }
        return {};
    }

    DateFormat m_format{QStringLiteral("dd.MM.yyyy"), QLocale(QLocale::Russian)};
    RewriteContext m_context;
};

TEST_F(SqlRewriter, RewritesToSqliteDialect)
{
    struct Case {
        const char* oracle;
        const char* sqlite;
    };
    const Case cases[] = {
        {"delete T", "delete from T"},
        {"delete from T", "delete from T"},
        {"DELETE LOG_TABLE where sid = 1", "DELETE from LOG_TABLE where sid = 1"},

        // rownum keeps the first n rows Oracle finds; a row limit does the same.
        {"Select * from T where rownum=1", "Select * from T where 1=1 limit 1"},
        {"Select * from T where rownum = 2", "Select * from T where 1 = 0"},
        {"Select * from T where rownum = 0", "Select * from T where 1 = 0"},
        {"Select * from T where rownum <= 5", "Select * from T where 1 = 1 limit 5"},
        {"Select * from T where rownum < 3", "Select * from T where 1 = 1 limit 2"},
        {"Select * from T where rownum < 1", "Select * from T where 1 = 0"},
        {"Select * from T where sid > 0 and ROWNUM <= 5 and rownum < 3",
         "Select * from T where sid > 0 and 1 = 1 and 1 = 1 limit 2"},
        {"select * from (select * from T order by sid desc) where rownum <= 10",
         "select * from (select * from T order by sid desc nulls first) where 1 = 1 limit 10"},
        // A trailing line comment must not swallow the limit.
        {"Select * from T where rownum = 1 -- first row",
         "Select * from T where 1 = 1 -- first row\n limit 1"},

        // Oracle sorts NULLs last ascending and first descending; SQLite the other way round.
        {"select * from T order by ddate, sid",
         "select * from T order by ddate nulls last, sid nulls last"},
        {"select * from T order by ddate desc, sid asc",
         "select * from T order by ddate desc nulls first, sid asc nulls last"},
        {"select * from T order by ddate desc nulls last, sid nulls first, stable",
         "select * from T order by ddate desc nulls last, sid nulls first, stable nulls last"},
        {"select * from T order by upper(substr(stable, 1, 2)) desc, 2",
         "select * from T order by upper(substr(stable, 1, 2)) desc nulls first, 2 nulls last"},
        {"select * from (select sid from T order by sid) t order by t.sid desc",
         "select * from (select sid from T order by sid nulls last) t order by t.sid desc nulls "
         "first"},
        {"Select sid, stable from T union Select null, null from dual order by stable",
         "Select sid, stable from T union Select null, null from dual order by stable nulls last"},
        {"select row_number() over (partition by stable order by ddate desc) n from T",
         "select row_number() over (partition by stable order by ddate desc nulls first) n from T"},
        {"select sid from T where sid in (select sid from U order by sid desc) order by sid",
         "select sid from T where sid in (select sid from U order by sid desc nulls first) order "
         "by sid nulls last"},

        // Quoted dates compared with a DATE column or trunc(...) are read with the session format.
        {"select * from T where ddate >= '07.12.2026'",
         "select * from T where ddate >= '2026-12-07 00:00:00'"},
        {"select * from T where ddate<='7.12.2026'",
         "select * from T where ddate<='2026-12-07 00:00:00'"},
        {"select * from T t where t.ddate = '07.12.2026'",
         "select * from T t where t.ddate = '2026-12-07 00:00:00'"},
        {"select * from T where DDate < '01/01/2027'",
         "select * from T where DDate < '2027-01-01 00:00:00'"},
        {"select * from T where \"DDATE\" > '07.12.2026'",
         "select * from T where \"DDATE\" > '2026-12-07 00:00:00'"},
        {"select * from T where ddate <> '07.12.2026'",
         "select * from T where ddate <> '2026-12-07 00:00:00'"},
        {"select * from T where trunc(ddate) = '07.12.2026'",
         "select * from T where trunc(ddate) = '2026-12-07 00:00:00'"},
        {"select * from T t where trunc(t.ddate) >= '07.12.2026' and trunc(t.ddate) <= "
         "'08.12.2026'",
         "select * from T t where trunc(t.ddate) >= '2026-12-07 00:00:00' and trunc(t.ddate) <= "
         "'2026-12-08 00:00:00'"},
        {"select * from T where ddate between '01.12.2026' and '07.12.2026'",
         "select * from T where ddate between '2026-12-01 00:00:00' and '2026-12-07 00:00:00'"},
        {"select * from T t where trunc(t.ddate) between '1.12.2026' and '7/12/2026' and stable = "
         "'x'",
         "select * from T t where trunc(t.ddate) between '2026-12-01 00:00:00' and '2026-12-07 "
         "00:00:00' "
         "and stable = 'x'"},
        {"select * from T where stable between '01.12.2026' and '07.12.2026' and ddate >= "
         "'07.12.2026'",
         "select * from T where stable between '01.12.2026' and '07.12.2026' and ddate >= "
         "'2026-12-07 "
         "00:00:00'"},
        {"select * from T where ddate between '01.12.2026' and '07.12.2026' and stable between 'a' "
         "and 'b'",
         "select * from T where ddate between '2026-12-01 00:00:00' and '2026-12-07 00:00:00' and "
         "stable "
         "between 'a' and 'b'"},
        {"select * from T where upper(stable) = '07.12.2026'",
         "select * from T where upper(stable) = '07.12.2026'"},
        {"select * from T where stable = '07.12.2026'",
         "select * from T where stable = '07.12.2026'"},
        // Oracle converts the text on either side of the comparison.
        {"select * from T where '07.12.2026' <= ddate",
         "select * from T where '2026-12-07 00:00:00' <= ddate"},
        {"select * from T t where '07.12.2026' = trunc(t.ddate)",
         "select * from T t where '2026-12-07 00:00:00' = trunc(t.ddate)"},
        {"select * from T where '07.12.2026' = upper(stable)",
         "select * from T where '07.12.2026' = upper(stable)"},

        // Oracle has no empty text: '' is NULL.
        {"select * from T where stable = '' or ddate = ''",
         "select * from T where stable = NULL or ddate = NULL"},
        {"update T set stable = '' where sid = 1", "update T set stable = NULL where sid = 1"},

        {"select sid from T minus select sid from U", "select sid from T except select sid from U"},
        {"select sid from T MINUS select sid from U order by 1",
         "select sid from T except select sid from U order by 1 nulls last"},

        // Texts, quoted names and comments are never rewritten.
        {"select 'it''s rownum=1 order by x' from T", "select 'it''s rownum=1 order by x' from T"},
        {"select 'delete T minus ''' || stable from T where stable = 'a;b'",
         "select 'delete T minus ''' || stable from T where stable = 'a;b'"},
        {"select x from T -- where rownum = 1 order by x minus\nwhere y = 1",
         "select x from T -- where rownum = 1 order by x minus\nwhere y = 1"},
        {"select x from T /* rownum = 1; '' order by x */",
         "select x from T /* rownum = 1; '' order by x */"},
        {"select \"rownum\" from T where stable = '07.12.2026'",
         "select \"rownum\" from T where stable = '07.12.2026'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.oracle);
        try {
            const Rewrite result = run(c.oracle);
            EXPECT_EQ(result.kind, Rewrite::Kind::Statement);
            EXPECT_EQ(result.sql.toStdString(), c.sqlite);
        } catch (const DbError& error) {
            ADD_FAILURE() << error.what();
        }
    }
}

TEST_F(SqlRewriter, FailuresCarryOracleCodes)
{
    struct Case {
        const char* sql;
        const char* code;
    };
    const Case cases[] = {
        {"select 'abc from T", "ORA-01756"},
        {"select 'it''s' from T where x = 'a''", "ORA-01756"},
        {"select * from T; drop table X", "ORA-00911"},
        {"delete T; drop table X", "ORA-00911"},
        {"select * from T;", "ORA-00911"},
        {"select * from T where sid = ?", "ORA-00911"},
        {"select [sid] from T", "ORA-00911"},
        {"select `sid` from T", "ORA-00911"},
        {"select * from T /* open", "ORA-01742"},
        {"select \"sid from T", "ORA-01740"},
        {"select * from T where ddate >= '31.02.2026'", "ORA-01847"},
        {"select * from T where ddate >= '07.13.2026'", "ORA-01843"},
        {"select * from T where trunc(ddate) = 'today'", "ORA-01858"},
        {"select * from T where ddate between '01.12.2026' and '07.12.2026 10:00'", "ORA-01830"},
        {"grant select on LOGS", "ORA-00946"},
        {"grant select on LOGS public", "ORA-00946"},
        {"grant select on LOGS to", "ORA-00987"},
        {"create public synonym S T", "ORA-00905"},
        {"create public synonym S for T extra", "ORA-00933"},
        {"select * from T where stable = 'a;b'", ""},
        {"select * from T -- ; in a comment", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        EXPECT_EQ(failure(c.sql).toStdString(), c.code);
    }
}

TEST_F(SqlRewriter, RecognisesGrantsAndSynonyms)
{
    struct Case {
        const char* sql;
        Rewrite::Kind kind;
        const char* object;
        const char* synonym;
        bool replace;
        bool changesSchema;
    };
    const Case cases[] = {
        {"grant select, insert, update, delete on LOGS to public", Rewrite::Kind::Grant, "LOGS", "",
         false, false},
        {"GRANT SELECT ON scott.LOGS TO PUBLIC", Rewrite::Kind::Grant, "LOGS", "", false, false},
        {"create public synonym S for T", Rewrite::Kind::PublicSynonym, "T", "S", false, false},
        {"create or replace public synonym LOGS for scott.LOG_TABLE", Rewrite::Kind::PublicSynonym,
         "LOG_TABLE", "LOGS", true, false},
        {"create table X(sid integer, ddate date)", Rewrite::Kind::Statement, "", "", false, true},
        {"drop table X", Rewrite::Kind::Statement, "", "", false, true},
        {"alter table X add stable varchar2(10)", Rewrite::Kind::Statement, "", "", false, true},
        {"select * from X", Rewrite::Kind::Statement, "", "", false, false},
        {"delete X", Rewrite::Kind::Statement, "", "", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        const Rewrite result = run(c.sql);
        EXPECT_EQ(result.kind, c.kind);
        EXPECT_EQ(result.object.toStdString(), c.object);
        EXPECT_EQ(result.synonym.toStdString(), c.synonym);
        EXPECT_EQ(result.replace, c.replace);
        EXPECT_EQ(result.changesSchema, c.changesSchema);
    }
    EXPECT_EQ(run("create table X(a int)").sql.toStdString(), "create table X(a int)");
}

TEST(SqlTokenizer, SplitsWithoutLosingText)
{
    using K = Token::Kind;
    const QString sql = QStringLiteral(
        "select 'it''s', \"Q x\", t.a_1$#, .5, 1.5e-3, 2e, a>=b||c -- c;'\n/* x */ from дата");
    const std::vector<Token> tokens = tokenize(sql);
    QString joined;
    for (const Token& t : tokens)
        joined += t.text;
    EXPECT_EQ(joined, sql);

    std::vector<std::pair<K, QString>> significant;
    for (const Token& t : tokens)
        if (t.significant())
            significant.emplace_back(t.kind, t.text);
    const std::vector<std::pair<K, QString>> expected = {
        {K::Word, "select"}, {K::String, "'it''s'"}, {K::Symbol, ","},  {K::QuotedName, "\"Q x\""},
        {K::Symbol, ","},    {K::Word, "t"},         {K::Symbol, "."},  {K::Word, "a_1$#"},
        {K::Symbol, ","},    {K::Number, ".5"},      {K::Symbol, ","},  {K::Number, "1.5e-3"},
        {K::Symbol, ","},    {K::Number, "2"},       {K::Word, "e"},    {K::Symbol, ","},
        {K::Word, "a"},      {K::Symbol, ">="},      {K::Word, "b"},    {K::Symbol, "||"},
        {K::Word, "c"},      {K::Word, "from"},      {K::Word, "дата"},
    };
    ASSERT_EQ(significant.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(significant[i].first, expected[i].first);
        EXPECT_EQ(significant[i].second, expected[i].second);
    }
    size_t comments = 0;
    for (const Token& t : tokens)
        comments += t.kind == K::Comment;
    EXPECT_EQ(comments, 2u);
}

} // namespace
} // namespace varnel::embedded
