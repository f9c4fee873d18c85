#include "db/embedded/sqlrewriter.h"

#include "base/civiltime.h"
#include "db/dberror.h"
#include "db/embedded/oracledate.h"
#include "db/embedded/oraclefunctions.h"

#include <algorithm>
#include <optional>

namespace varnel::embedded {

namespace {

bool isWordStart(QChar c)
{
    return c.isLetter() || c == QLatin1Char('_');
}

bool isWordPart(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$') ||
           c == QLatin1Char('#');
}

bool isAsciiDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

[[noreturn]] void fail(const char* oracleMessage)
{
    throw DbError(QString::fromLatin1(oracleMessage));
}

} // namespace

std::vector<Token> tokenize(QStringView sql)
{
    std::vector<Token> tokens;
    const qsizetype n = sql.size();
    qsizetype i = 0;
    auto push = [&](Token::Kind kind, qsizetype from) {
        tokens.push_back(Token{kind, sql.mid(from, i - from).toString()});
    };
    // SQLite and C strings stop at a NUL, inside quotes and comments too: what follows would
    // never be seen, and a quote or comment open before it would end there.
    if (sql.contains(QChar(0)))
        fail("ORA-00911: invalid character");
    while (i < n) {
        const qsizetype start = i;
        const QChar c = sql.at(i);
        if (c.isSpace()) {
            while (i < n && sql.at(i).isSpace())
                ++i;
            push(Token::Kind::Space, start);
        } else if (c == QLatin1Char('-') && i + 1 < n && sql.at(i + 1) == QLatin1Char('-')) {
            while (i < n && sql.at(i) != QLatin1Char('\n'))
                ++i;
            push(Token::Kind::Comment, start);
        } else if (c == QLatin1Char('/') && i + 1 < n && sql.at(i + 1) == QLatin1Char('*')) {
            const qsizetype end = sql.indexOf(QLatin1String("*/"), i + 2);
            if (end < 0)
                fail("ORA-01742: comment not terminated properly");
            i = end + 2;
            push(Token::Kind::Comment, start);
        } else if (c == QLatin1Char('\'')) {
            ++i;
            for (;;) {
                if (i >= n)
                    fail("ORA-01756: quoted string not properly terminated");
                if (sql.at(i) == QLatin1Char('\'')) {
                    if (i + 1 < n && sql.at(i + 1) == QLatin1Char('\'')) {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
            }
            push(Token::Kind::String, start);
        } else if (c == QLatin1Char('"')) {
            const qsizetype end = sql.indexOf(QLatin1Char('"'), i + 1);
            if (end < 0)
                fail("ORA-01740: missing double quote in identifier");
            i = end + 1;
            push(Token::Kind::QuotedName, start);
        } else if (isWordStart(c)) {
            while (i < n && isWordPart(sql.at(i)))
                ++i;
            push(Token::Kind::Word, start);
        } else if (isAsciiDigit(c) ||
                   (c == QLatin1Char('.') && i + 1 < n && isAsciiDigit(sql.at(i + 1)))) {
            while (i < n && (isAsciiDigit(sql.at(i)) || sql.at(i) == QLatin1Char('.')))
                ++i;
            if (i < n && (sql.at(i) == QLatin1Char('e') || sql.at(i) == QLatin1Char('E'))) {
                qsizetype j = i + 1;
                if (j < n && (sql.at(j) == QLatin1Char('+') || sql.at(j) == QLatin1Char('-')))
                    ++j;
                if (j < n && isAsciiDigit(sql.at(j))) {
                    i = j;
                    while (i < n && isAsciiDigit(sql.at(i)))
                        ++i;
                }
            }
            push(Token::Kind::Number, start);
        } else {
            static const char* const pairs[] = {">=", "<=", "<>", "!=", "^=", "||", "=>"};
            bool paired = false;
            for (const char* pair : pairs) {
                if (i + 1 < n && sql.at(i) == QLatin1Char(pair[0]) &&
                    sql.at(i + 1) == QLatin1Char(pair[1])) {
                    i += 2;
                    paired = true;
                    break;
                }
            }
            if (!paired) {
                // Characters that Oracle does not take outside quotes; SQLite would read some
                // of them (";" ends a statement, [x] and `x` name things). "?" binds a value,
                // as ":a" does: the engine refuses a statement with bind markers.
                if (QStringView(u";`[]{}\\").contains(c))
                    fail("ORA-00911: invalid character");
                ++i;
            }
            push(Token::Kind::Symbol, start);
        }
    }
    return tokens;
}

namespace {

// Works on the significant tokens only; blanks and comments stay where they were.
class Rewriter {
public:
    Rewriter(std::vector<Token>& tokens, const RewriteContext& context)
        : m_tokens(tokens), m_context(context)
    {
        for (size_t i = 0; i < tokens.size(); ++i)
            if (tokens[i].significant())
                m_sig.push_back(i);
        // Matching parentheses, for trunc(...) on the left of a comparison and for the ends of
        // ORDER BY clauses inside subqueries.
        std::vector<size_t> open;
        m_match.assign(m_sig.size(), npos);
        for (size_t k = 0; k < m_sig.size(); ++k) {
            if (tok(k).isSymbol("(")) {
                open.push_back(k);
            } else if (tok(k).isSymbol(")") && !open.empty()) {
                m_match[k] = open.back();
                m_match[open.back()] = k;
                open.pop_back();
            }
        }
    }

    Rewrite run()
    {
        Rewrite result;
        if (m_sig.empty()) {
            result.sql = QString();
            return result;
        }
        const Token& first = tok(0);
        if (first.isWord("grant"))
            return grant();
        if (first.isWord("create"))
            if (std::optional<Rewrite> synonym = publicSynonym())
                return *synonym;
        collectTables();
        m_delete = first.isWord("delete");
        if (m_delete && m_sig.size() > 1 && !tok(1).isWord("from"))
            tok(0).text += QLatin1String(" from");

        dateLiterals();
        const std::optional<long long> limit = rownum();
        emptyStrings();
        orderByNulls();
        for (size_t k = 0; k < m_sig.size(); ++k) {
            if (tok(k).isWord("minus"))
                tok(k).text = QStringLiteral("except");
            else if (tok(k).kind == Token::Kind::Word && tok(k).text.contains(QLatin1Char('#')))
                // Oracle keeps an unquoted name in upper case; SQLite takes "#" only quoted.
                tok(k).text = QLatin1Char('"') + tok(k).text.toUpper() + QLatin1Char('"');
        }
        // Last: it writes behind closing parentheses, which the steps before look for.
        dateTimeCalls();

        if (limit && m_delete)
            return limitedDelete(*limit);
        for (const Token& token : m_tokens)
            result.sql += token.text;
        if (limit) {
            // A line comment at the end would take the limit in.
            if (m_tokens.back().kind == Token::Kind::Comment &&
                m_tokens.back().text.startsWith(QLatin1String("--")))
                result.sql += QLatin1Char('\n');
            result.sql += QStringLiteral(" limit %1").arg(*limit);
        }
        return result;
    }

private:
    static constexpr size_t npos = static_cast<size_t>(-1);

    // "delete from T where C and rownum <= n" (Oracle's one-record deletion): SQLite limits a
    // DELETE only in some builds, so the rows go by rowid, the first n that C finds.
    Rewrite limitedDelete(long long limit) const
    {
        // The table follows "delete" or "delete from"; rownum stands in a WHERE clause.
        const size_t from = has(1) && tok(1).isWord("from") ? 1 : 0;
        size_t where = from + 1;
        while (!tok(where).isWord("where"))
            ++where;
        QString table, condition;
        for (size_t t = m_sig[from] + 1; t < m_sig[where]; ++t)
            table += m_tokens[t].text;
        for (size_t t = m_sig[where]; t < m_tokens.size(); ++t)
            condition += m_tokens[t].text;
        // A line comment at the end would take the closing parenthesis in.
        if (m_tokens.back().kind == Token::Kind::Comment &&
            m_tokens.back().text.startsWith(QLatin1String("--")))
            condition += QLatin1Char('\n');
        Rewrite result;
        result.sql = QStringLiteral("delete from%1where rowid in (select rowid from%1%2 limit %3)")
                         .arg(table, condition)
                         .arg(limit);
        return result;
    }

    Token& tok(size_t k) { return m_tokens[m_sig[k]]; }
    const Token& tok(size_t k) const { return m_tokens[m_sig[k]]; }
    bool has(size_t k) const { return k < m_sig.size(); }

    static QString bareName(const Token& token)
    {
        if (token.kind == Token::Kind::QuotedName)
            return token.text.mid(1, token.text.size() - 2);
        return token.text;
    }

    // An object name that may be qualified (schema.table): the last part.
    QString objectName(size_t& k) const
    {
        QString name = bareName(tok(k));
        while (has(k + 2) && tok(k + 1).isSymbol(".")) {
            k += 2;
            name = bareName(tok(k));
        }
        return name;
    }

    Rewrite grant()
    {
        Rewrite result;
        result.kind = Rewrite::Kind::Grant;
        size_t k = 1;
        while (has(k) && !tok(k).isWord("on"))
            ++k;
        if (!has(k + 1))
            fail("ORA-00969: missing ON keyword");
        ++k;
        result.object = objectName(k);
        ++k;
        if (!has(k) || !tok(k).isWord("to"))
            fail("ORA-00946: missing TO keyword");
        if (!has(k + 1))
            fail("ORA-00987: missing or invalid username(s)");
        return result;
    }

    std::optional<Rewrite> publicSynonym()
    {
        size_t k = 1;
        Rewrite result;
        if (has(k + 1) && tok(k).isWord("or") && tok(k + 1).isWord("replace")) {
            result.replace = true;
            k += 2;
        }
        if (!has(k + 1) || !tok(k).isWord("public") || !tok(k + 1).isWord("synonym"))
            return std::nullopt;
        k += 2;
        if (!has(k))
            fail("ORA-01501: missing synonym name");
        result.kind = Rewrite::Kind::PublicSynonym;
        result.synonym = objectName(k);
        ++k;
        if (!has(k) || !tok(k).isWord("for"))
            fail("ORA-00905: missing keyword");
        ++k;
        if (!has(k))
            fail("ORA-00903: invalid table name");
        result.object = objectName(k);
        if (has(k + 1))
            fail("ORA-00933: SQL command not properly ended");
        return result;
    }

    // Whether the operand that ends at significant token k is a DATE: a DATE column,
    // qualified or not, or a call of trunc(...).
    bool dateOperandEndsAt(size_t k) const
    {
        if (!has(k))
            return false;
        const Token& t = tok(k);
        if (t.kind == Token::Kind::Word || t.kind == Token::Kind::QuotedName) {
            const bool qualified = k >= 2 && tok(k - 1).isSymbol(".");
            return isDateColumn(qualified ? bareName(tok(k - 2)) : QString(), bareName(t));
        }
        if (t.isSymbol(")") && m_match[k] != npos && m_match[k] > 0)
            return tok(m_match[k] - 1).isWord("trunc");
        return false;
    }

    // The same for the operand that starts at k, for a quoted text on the left of a comparison.
    bool dateOperandStartsAt(size_t k) const
    {
        if (!has(k))
            return false;
        if (tok(k).isWord("trunc"))
            return has(k + 1) && tok(k + 1).isSymbol("(");
        size_t last = k;
        while (has(last + 2) && tok(last + 1).isSymbol("."))
            last += 2;
        if (has(last + 1) && tok(last + 1).isSymbol("("))
            return false; // a call of another function
        return dateOperandEndsAt(last);
    }

    static bool isComparison(const Token& t)
    {
        static const char* const ops[] = {"=", "<", ">", "<=", ">=", "<>", "!=", "^="};
        for (const char* op : ops)
            if (t.isSymbol(op))
                return true;
        return false;
    }

    void convertDate(Token& literal)
    {
        const QString inner = literal.text.mid(1, literal.text.size() - 2)
                                  .replace(QLatin1String("''"), QLatin1String("'"));
        if (inner.isEmpty())
            return; // '' is NULL, and so is the date it stands for
        const int64_t seconds = m_context.dateFormat->parse(inner, m_context.currentYear);
        char stored[19];
        civil::formatStoredDateTime(seconds, stored);
        literal.text = QLatin1Char('\'') + QString::fromLatin1(stored, 19) + QLatin1Char('\'');
    }

    void dateLiterals()
    {
        if (m_context.dateFormat == nullptr)
            return;
        const std::vector<size_t> between = betweens();
        for (size_t k = 1; k < m_sig.size(); ++k) {
            if (tok(k).kind != Token::Kind::String)
                continue;
            const Token& before = tok(k - 1);
            bool date = false;
            if ((isComparison(before) || before.isWord("between")) && k >= 2)
                date = dateOperandEndsAt(k - 2);
            else if (between[k - 1] != npos && between[k - 1] >= 1)
                date = dateOperandEndsAt(between[k - 1] - 1);
            if (!date && has(k + 2) && isComparison(tok(k + 1)))
                date = dateOperandStartsAt(k + 2);
            if (date)
                convertDate(tok(k));
        }
    }

    // Oracle compares the DATE or TIMESTAMP that to_date and to_timestamp make with a column's
    // value as times, not as texts: a TIMESTAMP stored as '... 10:11:12.123456' equals
    // to_timestamp('... 10:11:12.123456000', ...), and one of '... 10:11:12.000000' equals
    // to_date('... 10:11:12', ...).
    void dateTimeCalls()
    {
        for (size_t k = 0; k + 1 < m_sig.size(); ++k)
            if ((tok(k).isWord("to_date") || tok(k).isWord("to_timestamp")) &&
                tok(k + 1).isSymbol("(") && m_match[k + 1] != npos)
                tok(m_match[k + 1]).text +=
                    QStringLiteral(" collate ") + QLatin1String(kDateTimeCollation);
    }

    // The tables that the statement reads or changes, with their aliases: in FROM and JOIN,
    // after UPDATE and INTO, and after a DELETE without FROM.
    void collectTables()
    {
        static const char* const notAliases[] = {
            "where", "join",   "inner",  "left",    "right", "full",  "cross",     "natural",
            "on",    "using",  "order",  "group",   "union", "minus", "intersect", "except",
            "set",   "values", "having", "connect", "start", "for",   "limit",     "outer"};
        for (size_t k = 0; k < m_sig.size(); ++k) {
            const Token& t = tok(k);
            if (!(t.isWord("from") || t.isWord("join") || t.isWord("update") || t.isWord("into") ||
                  (k == 0 && t.isWord("delete"))))
                continue;
            size_t j = k + 1;
            while (has(j) &&
                   (tok(j).kind == Token::Kind::Word || tok(j).kind == Token::Kind::QuotedName)) {
                TableName table{objectName(j), QString()};
                ++j;
                if (has(j) && tok(j).isWord("as"))
                    ++j;
                if (has(j) &&
                    (tok(j).kind == Token::Kind::Word || tok(j).kind == Token::Kind::QuotedName)) {
                    bool clause = false;
                    for (const char* word : notAliases)
                        clause = clause || tok(j).isWord(word);
                    if (!clause)
                        table.alias = bareName(tok(j++));
                }
                m_tables.push_back(std::move(table));
                if (!has(j) || !tok(j).isSymbol(","))
                    break;
                ++j;
            }
        }
    }

    // A column is a DATE when a table of the statement declares it so; a qualifier that names
    // one of them (by alias or name) narrows the question to that table.
    bool isDateColumn(const QString& qualifier, const QString& column) const
    {
        if (!m_context.isDateColumn)
            return false;
        auto names = [&](const TableName& t) {
            return t.alias.compare(qualifier, Qt::CaseInsensitive) == 0 ||
                   t.table.compare(qualifier, Qt::CaseInsensitive) == 0;
        };
        const bool known =
            !qualifier.isEmpty() && std::any_of(m_tables.begin(), m_tables.end(), names);
        for (const TableName& t : m_tables)
            if ((!known || names(t)) && m_context.isDateColumn(t.table, column))
                return true;
        return false;
    }

    // For every significant token that is the "and" of a "between ... and", the position of
    // its "between" (the first "and" after it at the same depth of parentheses); npos for the
    // others.
    std::vector<size_t> betweens() const
    {
        std::vector<size_t> result(m_sig.size(), npos);
        for (size_t k = 0; k < m_sig.size(); ++k) {
            if (!tok(k).isWord("between"))
                continue;
            int depth = 0;
            for (size_t j = k + 1; j < m_sig.size(); ++j) {
                if (tok(j).isSymbol("("))
                    ++depth;
                else if (tok(j).isSymbol(")") && --depth < 0)
                    break;
                else if (depth == 0 && tok(j).isWord("and")) {
                    result[j] = k;
                    break;
                }
            }
        }
        return result;
    }

    // Whether rownum can become a row limit: one select that neither aggregates, groups,
    // removes duplicates, sorts nor combines results, since Oracle numbers the rows it finds
    // before doing any of that, and SQLite limits the rows after it.
    bool limitGivesOraclesRows() const
    {
        static const char* const words[] = {"union", "intersect", "minus",    "except", "order",
                                            "group", "having",    "distinct", "unique", "connect",
                                            "over",  "start",     "model",    "pivot",  "unpivot"};
        static const char* const aggregates[] = {
            "count",  "sum",     "avg",     "min",          "max",   "stddev",   "variance",
            "median", "listagg", "collect", "group_concat", "total", "wm_concat"};
        if (!tok(0).isWord("select") && !m_delete)
            return false;
        for (size_t k = 1; k < m_sig.size(); ++k) {
            const Token& t = tok(k);
            if (t.isWord("select"))
                return false;
            for (const char* word : words)
                if (t.isWord(word))
                    return false;
            if (has(k + 1) && tok(k + 1).isSymbol("("))
                for (const char* word : aggregates)
                    if (t.isWord(word))
                        return false;
        }
        return true;
    }

    // rownum = 1, rownum <= n, rownum < n as a condition joined by AND to the WHERE clause:
    // Oracle numbers the rows as it finds them, so these keep the first n rows; rownum = n for
    // n > 1 keeps none. Anywhere else the engine cannot give Oracle's rows and refuses.
    std::optional<long long> rownum()
    {
        std::vector<size_t> uses;
        for (size_t k = 0; k < m_sig.size(); ++k)
            if (tok(k).isWord("rownum"))
                uses.push_back(k);
        if (uses.empty())
            return std::nullopt;
        if (!limitGivesOraclesRows())
            throw DbError(unsupportedRownumMessage());

        // Depth of parentheses at each token, and the one WHERE of the select.
        std::vector<int> depth(m_sig.size(), 0);
        size_t where = npos;
        int level = 0;
        for (size_t k = 0; k < m_sig.size(); ++k) {
            if (tok(k).isSymbol(")"))
                --level;
            depth[k] = level;
            if (tok(k).isSymbol("("))
                ++level;
            if (level == 0 && tok(k).isWord("where") && where == npos)
                where = k;
        }
        const std::vector<size_t> ofBetween = betweens();
        for (size_t k = where == npos ? m_sig.size() : where + 1; k < m_sig.size(); ++k)
            if (depth[k] == 0 && tok(k).isWord("or"))
                throw DbError(unsupportedRownumMessage());

        std::optional<long long> limit;
        bool none = false;
        for (const size_t k : uses) {
            const bool joined =
                where != npos && k > where && depth[k] == 0 &&
                (k == where + 1 || (tok(k - 1).isWord("and") && ofBetween[k - 1] == npos));
            const bool ends = !has(k + 3) || (depth[k + 3] == 0 && tok(k + 3).isWord("and"));
            if (!joined || !ends || !has(k + 2) || tok(k + 2).kind != Token::Kind::Number)
                throw DbError(unsupportedRownumMessage());
            bool ok = false;
            const long long n = tok(k + 2).text.toLongLong(&ok);
            if (!ok)
                throw DbError(unsupportedRownumMessage());
            long long keep = -1;
            if (tok(k + 1).isSymbol("="))
                keep = n == 1 ? 1 : 0;
            else if (tok(k + 1).isSymbol("<="))
                keep = n < 0 ? 0 : n;
            else if (tok(k + 1).isSymbol("<"))
                keep = n < 1 ? 0 : n - 1;
            else
                throw DbError(unsupportedRownumMessage());
            tok(k).text = QStringLiteral("1");
            tok(k + 1).text = QStringLiteral("=");
            // A condition that keeps no row is false for every row; no limit is needed then.
            tok(k + 2).text = keep == 0 ? QStringLiteral("0") : QStringLiteral("1");
            if (keep == 0)
                none = true;
            else
                limit = limit ? std::min(*limit, keep) : keep;
        }
        return none ? std::nullopt : limit;
    }

    void emptyStrings()
    {
        for (size_t k = 0; k < m_sig.size(); ++k)
            if (tok(k).kind == Token::Kind::String && tok(k).text == QLatin1String("''"))
                tok(k).text = QStringLiteral("NULL");
    }

    static bool endsOrderBy(const Token& t)
    {
        static const char* const words[] = {"limit",  "offset", "union", "intersect",
                                            "except", "minus",  "for",   "fetch"};
        for (const char* w : words)
            if (t.isWord(w))
                return true;
        return false;
    }

    void orderByNulls()
    {
        for (size_t k = 0; k + 1 < m_sig.size(); ++k) {
            if (!tok(k).isWord("order") || !tok(k + 1).isWord("by"))
                continue;
            size_t keyStart = k + 2;
            int depth = 0;
            size_t j = keyStart;
            for (;; ++j) {
                const bool end = j >= m_sig.size() ||
                                 (depth == 0 && (tok(j).isSymbol(")") || endsOrderBy(tok(j))));
                if (end || (depth == 0 && tok(j).isSymbol(","))) {
                    if (j > keyStart)
                        placeNulls(keyStart, j - 1);
                    keyStart = j + 1;
                    if (end)
                        break;
                    continue;
                }
                if (tok(j).isSymbol("("))
                    ++depth;
                else if (tok(j).isSymbol(")"))
                    --depth;
            }
            k = j == 0 ? 0 : j - 1;
        }
    }

    void placeNulls(size_t first, size_t last)
    {
        for (size_t k = first; k <= last; ++k)
            if (tok(k).isWord("nulls"))
                return;
        tok(last).text +=
            tok(last).isWord("desc") ? QLatin1String(" nulls first") : QLatin1String(" nulls last");
    }

    struct TableName {
        QString table; // without its schema
        QString alias;
    };

    std::vector<Token>& m_tokens;
    const RewriteContext& m_context;
    std::vector<TableName> m_tables;
    std::vector<size_t> m_sig;
    std::vector<size_t> m_match;
    bool m_delete = false; // the statement is a DELETE ("from" may have been added)
};

} // namespace

QString unsupportedRownumMessage()
{
    return QStringLiteral(
        "The embedded database gives Oracle's rows for rownum only in a condition \"rownum = 1\", "
        "\"rownum <= n\" or \"rownum < n\" joined by AND to the WHERE clause of a single select "
        "or delete without aggregates, DISTINCT, GROUP BY, ORDER BY, UNION or subqueries");
}

Rewrite rewrite(QStringView sql, const RewriteContext& context)
{
    std::vector<Token> tokens = tokenize(sql);
    return Rewriter(tokens, context).run();
}

} // namespace varnel::embedded
