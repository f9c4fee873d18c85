#include "db/dberror.h"
#include "db/embedded/oracledate.h"
#include "db/embedded/sqlrewriter.h"

#include <gtest/gtest.h>

#include <string>

namespace varnel::embedded {
namespace {

// The SQLite text of the statement (marked when it changes what the engine knows of tables),
// what a grant or a synonym names, or the Oracle code the statement fails with. DDATE is the
// one DATE column, but in the table TEXTS, where it holds text; dd.MM.yyyy is the session's
// date format.
std::string sqlite(const QString& sql)
{
    static const DateFormat format(QStringLiteral("dd.MM.yyyy"), QLocale(QLocale::Russian));
    RewriteContext context;
    context.isDateColumn = [](QStringView table, QStringView column) {
        return table.compare(QLatin1String("TEXTS"), Qt::CaseInsensitive) != 0 &&
               column.compare(QLatin1String("DDATE"), Qt::CaseInsensitive) == 0;
    };
    context.dateFormat = &format;
    context.currentYear = 2026;
    try {
        const Rewrite r = rewrite(sql, context);
        if (r.kind == Rewrite::Kind::Grant)
            return "grant on " + r.object.toStdString();
        if (r.kind == Rewrite::Kind::PublicSynonym)
            return QStringLiteral("%1synonym %2 for %3")
                .arg(r.replace ? "replace " : "", r.synonym, r.object)
                .toStdString();
        return r.sql.toStdString();
    } catch (const DbError& error) {
        if (error.message() == unsupportedRownumMessage())
            return "no rownum here";
        return error.message().left(9).toStdString();
    }
}

TEST(SqlRewriter, RewritesToSqliteDialect)
{
    const struct {
        const char* oracle;
        const char* sqlite;
    } cases[] = {
        {"DELETE LOG_TABLE where sid = 1", "DELETE from LOG_TABLE where sid = 1"},
        {"delete from T", "delete from T"},

        // rownum keeps the first n rows Oracle finds; a row limit does the same.
        {"Select * from T where rownum = 2", "Select * from T where 1 = 0"},
        {"Select * from T where rownum < 1", "Select * from T where 1 = 0"},
        {"Select * from T where sid > 0 and ROWNUM <= 5 and rownum < 3",
         "Select * from T where sid > 0 and 1 = 1 and 1 = 1 limit 2"},
        {"Select * from T where rownum=1 -- first row",
         "Select * from T where 1=1 -- first row\n limit 1"},
        {"select * from T t where t.sid between 1 and 5 and rownum <= 2 and stable = 'x'",
         "select * from T t where t.sid between 1 and 5 and 1 = 1 and stable = 'x' limit 2"},
        // Anywhere else a limit would not give Oracle's rows: Oracle numbers rows before it
        // aggregates, removes duplicates, sorts or combines them, and only where rownum is a
        // condition of the whole WHERE clause.
        {"select count(*) from T where rownum <= 1", "no rownum here"},
        {"select distinct stable from T where rownum <= 5", "no rownum here"},
        {"select * from T where rownum <= 5 order by sid", "no rownum here"},
        {"select * from (select * from T order by sid desc) where rownum <= 10", "no rownum here"},
        {"select sid from T where rownum = 1 union select sid from U", "no rownum here"},
        {"select * from T where rownum <= 1 or sid = 3", "no rownum here"},
        {"select * from T where sid = 3 or sid = 4 and rownum <= 1", "no rownum here"},
        {"select * from T where (rownum <= 1)", "no rownum here"},
        {"select * from T where not rownum > 1", "no rownum here"},
        {"select * from T where sid between 1 and rownum", "no rownum here"},
        {"select * from T where rownum <= 1 + 1", "no rownum here"},
        {"select * from T where rownum <= 1.5", "no rownum here"},
        {"select rownum, sid from T", "no rownum here"},
        {"delete T where rownum <= 1 or rownum = 2", "no rownum here"},
        // Oracle's one-record deletion: the first row the condition finds, by its rowid.
        {"delete T where rownum = 1",
         "delete from T where rowid in (select rowid from T where 1 = 1 limit 1)"},
        {"delete from LOG_TABLE --\nwhere sid = 1 and rownum = 1",
         "delete from LOG_TABLE --\nwhere rowid in (select rowid from LOG_TABLE --\n"
         "where sid = 1 and 1 = 1 limit 1)"},
        {"delete T where rownum <= 2 and sid in (select sid from U)", "no rownum here"},

        // Oracle sorts NULLs last ascending and first descending; SQLite the other way round.
        {"select * from T order by ddate desc nulls last, sid nulls first, stable",
         "select * from T order by ddate desc nulls last, sid nulls first, stable nulls last"},
        {"select * from T order by upper(substr(stable, 1, 2)) desc, 2",
         "select * from T order by upper(substr(stable, 1, 2)) desc nulls first, 2 nulls last"},
        {"select * from (select sid from T order by sid) t order by t.sid desc",
         "select * from (select sid from T order by sid nulls last) t order by t.sid desc nulls "
         "first"},
        {"select sid from T MINUS select sid from U order by 1",
         "select sid from T except select sid from U order by 1 nulls last"},

        // Quoted dates compared with a DATE column or trunc(...), on either side, are read with
        // the session format; other texts stay.
        {"select * from T t where t.ddate >= '7.12.2026' and \"DDATE\"<'01/01/2027' or ddate <> "
         "'07.12.2026'",
         "select * from T t where t.ddate >= '2026-12-07 00:00:00' and \"DDATE\"<'2027-01-01 "
         "00:00:00' or ddate <> '2026-12-07 00:00:00'"},
        {"select * from T t where '07.12.2026' <= t.ddate and '08.12.2026' > trunc(t.ddate)",
         "select * from T t where '2026-12-07 00:00:00' <= t.ddate and '2026-12-08 00:00:00' > "
         "trunc(t.ddate)"},
        {"select * from T where trunc(ddate) = '07.12.2026' or upper(stable) = '07.12.2026' or "
         "'07.12.2026' = stable",
         "select * from T where trunc(ddate) = '2026-12-07 00:00:00' or upper(stable) = "
         "'07.12.2026' or '07.12.2026' = stable"},
        {"select * from T t where trunc(t.ddate) between '1.12.2026' and '7/12/2026' and "
         "stable between 'a' and 'b'",
         "select * from T t where trunc(t.ddate) between '2026-12-01 00:00:00' and '2026-12-07 "
         "00:00:00' and stable between 'a' and 'b'"},
        {"select * from T where stable between '01.12.2026' and '07.12.2026' and ddate >= "
         "'07.12.2026'",
         "select * from T where stable between '01.12.2026' and '07.12.2026' and ddate >= "
         "'2026-12-07 00:00:00'"},

        // Only the tables of the statement say which columns are dates.
        {"select * from TEXTS where ddate = '01.02.2025'",
         "select * from TEXTS where ddate = '01.02.2025'"},
        {"select * from T t, texts x where x.ddate = '01.02.2025' and t.ddate = '01.02.2025'",
         "select * from T t, texts x where x.ddate = '01.02.2025' and t.ddate = '2025-02-01 "
         "00:00:00'"},
        {"delete texts where ddate = '01.02.2025'", "delete from texts where ddate = '01.02.2025'"},

        // SQLite takes "#" in a name only quoted; Oracle keeps unquoted names in upper case.
        {"create table log#1 (sid# NUMBER)", "create table \"LOG#1\" (\"SID#\" NUMBER)"},
        {"select t.sid# from Log#1 t", "select t.\"SID#\" from \"LOG#1\" t"},

        // Oracle has no empty text: '' is NULL.
        {"select * from T where stable = '' or ddate = ''",
         "select * from T where stable = NULL or ddate = NULL"},

        // Texts, quoted names and comments are never rewritten.
        {"select 'it''s; rownum=1 order by x', \"rownum\" from T",
         "select 'it''s; rownum=1 order by x', \"rownum\" from T"},
        {"select x from T /* rownum = 1; '' */ -- order by x; minus\nwhere y = 1",
         "select x from T /* rownum = 1; '' */ -- order by x; minus\nwhere y = 1"},

        // Grants and public synonyms only name objects; create, drop and alter change tables.
        {"GRANT SELECT, insert ON scott.LOGS TO PUBLIC", "grant on LOGS"},
        {"create public synonym S for T", "synonym S for T"},
        {"create or replace public synonym LOGS for scott.LOG_TABLE",
         "replace synonym LOGS for LOG_TABLE"},
        {"create table X(a int)", "create table X(a int)"},
        {"drop table X", "drop table X"},
        {"alter table X add stable varchar2(10)", "alter table X add stable varchar2(10)"},

        // Failures carry Oracle's codes.
        {"select 'abc from T", "ORA-01756"},
        {"select 'it''s' from T where x = 'a''", "ORA-01756"},
        {"select * from T; drop table X", "ORA-00911"},
        {"select [sid] from T", "ORA-00911"},
        {"select `sid` from T", "ORA-00911"},
        // A bind marker is left for the engine, which refuses it.
        {"select * from T where sid = ?", "select * from T where sid = ?"},
        {"select * from T /* open", "ORA-01742"},
        {"select \"sid from T", "ORA-01740"},
        {"select * from T where ddate >= '31.02.2026'", "ORA-01847"},
        {"select * from T where trunc(ddate) = 'today'", "ORA-01858"},
        {"grant select on LOGS public", "ORA-00946"},
        {"grant select on LOGS to", "ORA-00987"},
        {"create public synonym S T", "ORA-00905"},
        {"create public synonym S for T extra", "ORA-00933"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sqlite(QString::fromUtf8(c.oracle)), c.sqlite) << c.oracle;
    // SQLite would stop reading at a NUL, and run what comes before it alone, or read a quote
    // or comment open before it as ending there.
    for (const char* around :
         {"select sid from T %1 where sid = 1", "select '%1' from T", "select \"a%1\" from T",
          "delete T /*%1*/ where sid = 1", "delete T --%1\nwhere sid = 1"})
        EXPECT_EQ(sqlite(QString::fromUtf8(around).arg(QChar(0))), "ORA-00911") << around;
}

TEST(SqlTokenizer, SplitsWithoutLosingText)
{
    const QString sql = QStringLiteral(
        "select 'it''s', \"Q x\", t.a_1$#, .5, 1.5e-3, 2e, a>=b||c -- c;'\n/* x */ from дата");
    // Each token but blanks as its kind (Word, Quoted name, String, Number, sYmbol, Comment)
    // and its text.
    QString joined, kinds;
    for (const Token& t : tokenize(sql)) {
        joined += t.text;
        if (t.kind != Token::Kind::Space)
            kinds +=
                QStringLiteral(" %1%2").arg(QStringLiteral("WQSNY C").mid(int(t.kind), 1), t.text);
    }
    EXPECT_EQ(joined, sql);
    EXPECT_EQ(kinds.toStdString(), " Wselect S'it''s' Y, Q\"Q x\" Y, Wt Y. Wa_1$# Y, N.5 Y, "
                                   "N1.5e-3 Y, N2 We Y, Wa Y>= Wb Y|| Wc C-- c;' C/* x */ Wfrom "
                                   "Wдата");
}

// The significant tokens of `sql` as in SplitsWithoutLosingText (kind letter and text), or
// the Oracle code it fails with.
std::string tokenKinds(const QString& sql)
{
    try {
        QString kinds;
        for (const Token& t : tokenize(sql))
            if (t.kind != Token::Kind::Space)
                kinds += QStringLiteral(" %1%2").arg(QStringLiteral("WQSNY C").mid(int(t.kind), 1),
                                                     t.text);
        return kinds.toStdString();
    } catch (const DbError& error) {
        return error.message().left(9).toStdString();
    }
}

TEST(SqlTokenizer, EndsEachKindOfTokenWhereOracleDoes)
{
    const struct {
        const char* sql;
        const char* kinds;
    } cases[] = {
        // Two-character operators, and the characters of one standing alone.
        {"a<>b!=c^=d||e=>f", " Wa Y<> Wb Y!= Wc Y^= Wd Y|| We Y=> Wf"},
        {"a<<=b==c|!", " Wa Y< Y<= Wb Y= Y= Wc Y| Y!"},
        {"a-b/c*d--", " Wa Y- Wb Y/ Wc Y* Wd C--"},
        {"x-", " Wx Y-"},
        // Numbers: an exponent only with its digits; a dot starts one only before a digit.
        {"1e5 .5 5. 1.2.3 1e+ 1E-7x ..5 t.5",
         " N1e5 N.5 N5. N1.2.3 N1 We Y+ N1E-7 Wx Y. N.5 Wt N.5"},
        // Quotes: a doubled quote stays inside, and the text ends at the next single one.
        {"'''' '''a''' 'a''b'''", " S'''' S'''a''' S'a''b'''"},
        {"''''' x", "ORA-01756"},
        {"\"a''b\"\"c\"", " Q\"a''b\" Q\"c\""},
        {"/**/x/*/ */", " C/**/ Wx C/*/ */"},
        {"/*/", "ORA-01742"},
        // Names in any script; digits, "$" and "#" continue a name but start none; a character
        // beyond the BMP is two units, neither a letter.
        {"дата_1$#x ёлка", " Wдата_1$#x Wёлка"},
        {"x² ²x $a #b _c", " Wx² Y² Wx Y$ Wa Y# Wb W_c"},
        {"a٣ ٣", " Wa٣ Y٣"},
        {"a\u00A0b\u3000c", " Wa Wb Wc"},
        {"a😀b", " Wa Y? Y? Wb"},
        {"a?:b", " Wa Y? Y: Wb"},
        {"a{b", "ORA-00911"},
        {"a\\b", "ORA-00911"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tokenKinds(QString::fromUtf8(c.sql)), c.kinds) << c.sql;
}

// The table of ASCII classes against Qt's reading of every UTF-16 unit, the rule for names in
// any script: which units are blanks, start a name, continue one.
TEST(SqlTokenizer, ReadsEveryCharacterAsQtClassesIt)
{
    const QString refused = QStringLiteral(";`[]{}\\'\"");
    int mismatches = 0;
    for (char16_t unit = 1; unit != 0; ++unit) {
        const QChar c(unit);
        const QString alone(c);
        Token::Kind expected = Token::Kind::Symbol;
        if (c.isSpace())
            expected = Token::Kind::Space;
        else if (c.isLetter() || c == QLatin1Char('_'))
            expected = Token::Kind::Word;
        else if (unit >= '0' && unit <= '9')
            expected = Token::Kind::Number;
        const bool continues = c.isLetterOrNumber() || QStringView(u"_$#").contains(c);
        bool ok = false;
        try {
            const std::vector<Token> one = tokenize(alone);
            const std::vector<Token> after = tokenize(QLatin1Char('a') + alone);
            ok = !refused.contains(c) && one.size() == 1 && one[0].kind == expected &&
                 (after.size() == 1) == continues;
        } catch (const DbError&) {
            ok = refused.contains(c);
        }
        if (!ok && ++mismatches <= 10)
            ADD_FAILURE() << "U+" << std::hex << int(unit);
    }
    EXPECT_EQ(mismatches, 0);
}

} // namespace
} // namespace varnel::embedded
