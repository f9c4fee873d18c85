#pragma once

#include <QString>
#include <QStringView>

#include <functional>
#include <vector>

namespace varnel::embedded {

class DateFormat;

// A piece of a statement: its kind and its characters, a slice of the statement's text (no
// copy), so a token lives no longer than the text it was cut from.
struct Token {
    enum class Kind { Word, QuotedName, String, Number, Symbol, Space, Comment };
    Kind kind;
    QStringView text;

    bool isWord(const char* lowerCase) const
    {
        return kind == Kind::Word &&
               text.compare(QLatin1String(lowerCase), Qt::CaseInsensitive) == 0;
    }
    bool isSymbol(const char* symbol) const
    {
        return kind == Kind::Symbol && text == QLatin1String(symbol);
    }
    bool significant() const { return kind != Kind::Space && kind != Kind::Comment; }
};

// Splits an Oracle statement into tokens, quotes respected; the tokens' texts are slices of
// `sql`, which must outlive them. Raises Oracle's errors for an unterminated quote or comment,
// for a character Oracle does not accept outside quotes (";" among them, so that a text can
// never carry a second statement) and for a NUL anywhere (so that SQLite never stops reading
// early).
std::vector<Token> tokenize(QStringView sql);

struct RewriteContext {
    // Whether `column` (any case) is declared DATE in `table` (any case, without its schema).
    std::function<bool(QStringView table, QStringView column)> isDateColumn;
    const DateFormat* dateFormat = nullptr;
    int currentYear = 2000;
};

// What the embedded engine does with one Oracle statement.
struct Rewrite {
    enum class Kind {
        Statement,     // run `sql` on SQLite
        Grant,         // check that `object` exists, nothing else
        PublicSynonym, // check that `object` exists and `synonym` is new, then record it
    };
    Kind kind = Kind::Statement;
    QString sql;
    QString object;
    QString synonym;
    bool replace = false; // "create or replace public synonym"
};

// Translates an Oracle statement into SQLite's dialect so that it gives Oracle's result:
// "delete T" gains its "from"; "rownum" conditions become a row limit where that gives Oracle's
// rows (anywhere else rownum raises an error and nothing runs); a quoted text compared with a
// DATE column (of a table the statement names) or trunc(...) is read with the connection's date
// format and becomes 'YYYY-MM-DD HH:MM:SS'; a call of to_date or to_timestamp compares as a
// time (kDateTimeCollation); '' is NULL; every ORDER BY key gets Oracle's NULL
// placement (last when ascending, first when descending); MINUS is EXCEPT; an unquoted name
// holding "#" is quoted (SQLite has no such names); grant and create public synonym are
// recognised.
Rewrite rewrite(QStringView sql, const RewriteContext& context);

// The error of a rownum that the embedded engine cannot give Oracle's rows for.
QString unsupportedRownumMessage();

} // namespace varnel::embedded
