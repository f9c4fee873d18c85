#include "db/embedded/sqlrewriter.h"

#include "base/civiltime.h"
#include "db/dberror.h"
#include "db/embedded/oracledate.h"
#include "db/embedded/oraclefunctions.h"

#include <algorithm>
#include <array>
#include <deque>
#include <optional>
#include <string_view>

namespace varnel::embedded {

namespace {

// What a character is outside quotes, as SQLite's tokenizer classes characters: ASCII from a
// table, the rest by Unicode's categories, since Oracle takes names in any script.
enum class CharClass : uint8_t {
    Other,       // a symbol of its own
    Space,       // a blank, as QChar::isSpace reads it
    Letter,      // starts a word and continues one: letters, "_"
    WordPart,    // continues a word only: "$", "#", digits beyond ASCII
    Digit,       // starts a number, continues a word: ASCII digits only
    Quote,       // '...' a string, '' inside it a quote
    DoubleQuote, // "..." a quoted name
    Minus,       // "--" a comment to the end of the line
    Slash,       // "/*" a comment to "*/"
    Dot,         // ".5" a number
    Operator,    // the first of a two-character symbol: < > ! ^ | =
    Invalid,     // refused outside quotes (SQLite would read it): ; ` [ ] { } and backslash
};

constexpr std::array<CharClass, 128> kAsciiClasses = [] {
    std::array<CharClass, 128> classes{};
    const auto set = [&](std::string_view characters, CharClass c) {
        for (const char character : characters)
            classes[size_t(character)] = c;
    };
    set("\t\n\v\f\r ", CharClass::Space);
    set("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_", CharClass::Letter);
    set("$#", CharClass::WordPart);
    set("0123456789", CharClass::Digit);
    set("'", CharClass::Quote);
    set("\"", CharClass::DoubleQuote);
    set("-", CharClass::Minus);
    set("/", CharClass::Slash);
    set(".", CharClass::Dot);
    set("<>!^|=", CharClass::Operator);
    // "?" binds a value, as ":a" does: they stay symbols, and the engine refuses a statement
    // with bind markers.
    set(";`[]{}\\", CharClass::Invalid);
    return classes;
}();

CharClass classOf(char16_t c)
{
    if (c < 128)
        return kAsciiClasses[c];
    // One UTF-16 unit at a time: a character beyond the BMP is two surrogates, neither a letter.
    const QChar unit(c);
    if (unit.isSpace())
        return CharClass::Space;
    if (unit.isLetter())
        return CharClass::Letter;
    return unit.isLetterOrNumber() ? CharClass::WordPart : CharClass::Other;
}

bool continuesWord(CharClass c)
{
    return c == CharClass::Letter || c == CharClass::WordPart || c == CharClass::Digit;
}

[[noreturn]] void fail(const char* oracleMessage)
{
    throw DbError(QString::fromLatin1(oracleMessage));
}

// Reads one token at a time. Past the end it reads NUL, which no statement holds (tokenize
// refuses one first): so a look one or two characters ahead needs no bounds check.
class Scanner {
public:
    explicit Scanner(QStringView sql) : m_sql(sql) {}

    bool atEnd() const { return m_at >= m_sql.size(); }
    Token next()
    {
        const qsizetype start = m_at;
        const Token::Kind kind = scan();
        return Token{kind, m_sql.sliced(start, m_at - start)};
    }

private:
    char16_t at(qsizetype i) const { return i < m_sql.size() ? m_sql[i].unicode() : u'\0'; }
    CharClass classAt(qsizetype i) const { return classOf(at(i)); }

    // Moves past the token at m_at; its kind.
    Token::Kind scan()
    {
        const CharClass c = classAt(m_at);
        switch (c) {
        case CharClass::Space:
            while (classAt(++m_at) == CharClass::Space) {
            }
            return Token::Kind::Space;
        case CharClass::Letter:
            while (continuesWord(classAt(++m_at))) {
            }
            return Token::Kind::Word;
        case CharClass::Quote:
            return string();
        case CharClass::DoubleQuote:
            return through(1, u"\"", "ORA-01740: missing double quote in identifier",
                           Token::Kind::QuotedName);
        case CharClass::Digit:
            return number();
        case CharClass::Dot:
            return classAt(m_at + 1) == CharClass::Digit ? number() : symbol();
        case CharClass::Minus:
            return at(m_at + 1) == u'-' ? lineComment() : symbol();
        case CharClass::Slash:
            if (at(m_at + 1) != u'*')
                return symbol();
            return through(2, u"*/", "ORA-01742: comment not terminated properly",
                           Token::Kind::Comment);
        case CharClass::Operator:
            return pairedSymbol();
        case CharClass::Invalid:
            fail("ORA-00911: invalid character");
        case CharClass::WordPart:
        case CharClass::Other:
            break;
        }
        return symbol();
    }

    Token::Kind symbol()
    {
        ++m_at;
        return Token::Kind::Symbol;
    }
    Token::Kind pairedSymbol()
    {
        static constexpr std::u16string_view pairs[] = {u">=", u"<=", u"<>", u"!=",
                                                        u"^=", u"||", u"=>"};
        const char16_t first = at(m_at), second = at(m_at + 1);
        for (const std::u16string_view pair : pairs)
            if (first == pair[0] && second == pair[1]) {
                m_at += 2;
                return Token::Kind::Symbol;
            }
        return symbol();
    }
    Token::Kind string()
    {
        // A doubled quote is a quote inside the string.
        for (qsizetype quote = m_at + 1;; quote += 2) {
            quote = m_sql.indexOf(u'\'', quote);
            if (quote < 0)
                fail("ORA-01756: quoted string not properly terminated");
            if (at(quote + 1) != u'\'') {
                m_at = quote + 1;
                return Token::Kind::String;
            }
        }
    }
    // A token that ends with the first `close` after its opening (`open` characters long);
    // Oracle's `error` when there is none.
    Token::Kind through(qsizetype open, QStringView close, const char* error, Token::Kind kind)
    {
        const qsizetype end = m_sql.indexOf(close, m_at + open);
        if (end < 0)
            fail(error);
        m_at = end + close.size();
        return kind;
    }
    Token::Kind lineComment()
    {
        const qsizetype end = m_sql.indexOf(u'\n', m_at + 2);
        m_at = end < 0 ? m_sql.size() : end;
        return Token::Kind::Comment;
    }
    // Digits and dots, then an exponent only when digits follow its "e" (and sign): "2e" is
    // the number 2 and the word e.
    Token::Kind number()
    {
        while (classAt(m_at) == CharClass::Digit || classAt(m_at) == CharClass::Dot)
            ++m_at;
        if (at(m_at) == u'e' || at(m_at) == u'E') {
            qsizetype digits = m_at + 1;
            if (at(digits) == u'+' || at(digits) == u'-')
                ++digits;
            if (classAt(digits) == CharClass::Digit) {
                m_at = digits;
                while (classAt(m_at) == CharClass::Digit)
                    ++m_at;
            }
        }
        return Token::Kind::Number;
    }

    QStringView m_sql;
    qsizetype m_at = 0;
};

} // namespace

std::vector<Token> tokenize(QStringView sql)
{
    // SQLite and C strings stop at a NUL, inside quotes and comments too: what follows would
    // never be seen, and a quote or comment open before it would end there.
    if (sql.contains(QChar(0)))
        fail("ORA-00911: invalid character");
    std::vector<Token> tokens;
    Scanner scanner(sql);
    while (!scanner.atEnd())
        tokens.push_back(scanner.next());
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
            append(tok(0), u" from");

        dateLiterals();
        const std::optional<long long> limit = rownum();
        emptyStrings();
        orderByNulls();
        for (size_t k = 0; k < m_sig.size(); ++k) {
            if (tok(k).isWord("minus"))
                write(tok(k), QStringLiteral("except"));
            else if (tok(k).kind == Token::Kind::Word && tok(k).text.contains(QLatin1Char('#')))
                // Oracle keeps an unquoted name in upper case; SQLite takes "#" only quoted.
                write(tok(k),
                      QLatin1Char('"') + tok(k).text.toString().toUpper() + QLatin1Char('"'));
        }
        // Last: it writes behind closing parentheses, which the steps before look for.
        dateTimeCalls();

        if (limit && m_delete)
            return limitedDelete(*limit);
        qsizetype length = 0;
        for (const Token& token : m_tokens)
            length += token.text.size();
        result.sql.reserve(length);
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

    // Gives a token a text of the rewriter's own: its view then points there, and the token
    // reads as the text it now has, for the steps after this one as for the result.
    void write(Token& token, QString text)
    {
        m_written.push_back(std::move(text));
        token.text = m_written.back();
    }
    void append(Token& token, QStringView more)
    {
        QString text = token.text.toString();
        text += more;
        write(token, std::move(text));
    }

    Token& tok(size_t k) { return m_tokens[m_sig[k]]; }
    const Token& tok(size_t k) const { return m_tokens[m_sig[k]]; }
    bool has(size_t k) const { return k < m_sig.size(); }

    static QStringView bareName(const Token& token)
    {
        if (token.kind == Token::Kind::QuotedName)
            return token.text.mid(1, token.text.size() - 2);
        return token.text;
    }

    // An object name that may be qualified (schema.table): the last part.
    QStringView objectName(size_t& k) const
    {
        QStringView name = bareName(tok(k));
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
        result.object = objectName(k).toString();
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
        result.synonym = objectName(k).toString();
        ++k;
        if (!has(k) || !tok(k).isWord("for"))
            fail("ORA-00905: missing keyword");
        ++k;
        if (!has(k))
            fail("ORA-00903: invalid table name");
        result.object = objectName(k).toString();
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
            return isDateColumn(qualified ? bareName(tok(k - 2)) : QStringView(), bareName(t));
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
                                  .toString()
                                  .replace(QLatin1String("''"), QLatin1String("'"));
        if (inner.isEmpty())
            return; // '' is NULL, and so is the date it stands for
        const int64_t seconds = m_context.dateFormat->parse(inner, m_context.currentYear);
        char stored[19];
        civil::formatStoredDateTime(seconds, stored);
        write(literal, QLatin1Char('\'') + QString::fromLatin1(stored, 19) + QLatin1Char('\''));
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
                append(tok(m_match[k + 1]),
                       QStringLiteral(" collate ") + QLatin1String(kDateTimeCollation));
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
                TableName table{objectName(j), QStringView()};
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
    bool isDateColumn(QStringView qualifier, QStringView column) const
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
            write(tok(k), QStringLiteral("1"));
            write(tok(k + 1), QStringLiteral("="));
            // A condition that keeps no row is false for every row; no limit is needed then.
            write(tok(k + 2), keep == 0 ? QStringLiteral("0") : QStringLiteral("1"));
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
                write(tok(k), QStringLiteral("NULL"));
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
        append(tok(last), tok(last).isWord("desc") ? u" nulls first" : u" nulls last");
    }

    struct TableName {
        QStringView table; // without its schema
        QStringView alias;
    };

    std::vector<Token>& m_tokens;
    // The texts written over tokens; a deque, so that none moves while the tokens view it.
    std::deque<QString> m_written;
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
