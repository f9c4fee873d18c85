// Any text as an Oracle statement of the embedded engine (a log table name typed at the login
// ends up inside every statement): the tokenizer loses nothing, the rewriter either refuses the
// text with an Oracle error or hands SQLite exactly one statement, and SQLite runs what it
// reads with the engine's Oracle functions without a memory error.

#include "db/dberror.h"
#include "db/embedded/oraclefunctions.h"
#include "db/embedded/sqliteengine.h"
#include "db/embedded/sqlrewriter.h"
#include "db/logtableschema.h"
#include "fuzzcheck.h"

#include <QLocale>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <memory>

using namespace varnel;
using namespace varnel::embedded;

namespace {

struct Databases {
    QTemporaryDir folder;
    std::unique_ptr<SqliteEngine> engine; // rewrites with the schema it reads from the file
    sqlite3* raw = nullptr;               // runs the rewritten text, never writing
};

// A log table, and a table whose DDATE is a text: only a DATE column turns a quoted text
// compared with it into a date.
Databases* open()
{
    auto* dbs = new Databases;
    const QByteArray path = dbs->folder.filePath(QStringLiteral("fuzz.sqlite")).toUtf8();
    if (sqlite3_open(path.constData(), &dbs->raw) != SQLITE_OK ||
        sqlite3_exec(dbs->raw, "create table TEXTS(ddate VARCHAR2(10), n NUMBER)", nullptr, nullptr,
                     nullptr) != SQLITE_OK)
        std::abort();
    dbs->engine =
        std::make_unique<SqliteEngine>(QString::fromUtf8(path), QStringLiteral("dd.MM.yyyy"),
                                       QLocale(QLocale::Russian, QLocale::Russia));
    dbs->engine->execute(createLogTableStatement(QStringLiteral("LOG_TABLE")));
    dbs->engine->execute(QStringLiteral(
        "insert into LOG_TABLE values (1, '07.12.2026', 'T', 'DELETE', 'Пётр ''x''', "
        "'SCOTT PC user')"));
    registerOracleFunctions(dbs->raw);
    sqlite3_exec(dbs->raw, "PRAGMA case_sensitive_like = ON", nullptr, nullptr, nullptr);
    sqlite3_exec(dbs->raw, "CREATE TEMP VIEW dual AS SELECT 'X' AS dummy", nullptr, nullptr,
                 nullptr);
    // Bounds for what a statement may cost, so that a slow or huge one is no finding.
    sqlite3_limit(dbs->raw, SQLITE_LIMIT_LENGTH, 1 << 20);
    sqlite3_limit(dbs->raw, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_hard_heap_limit64(256 << 20);
    return dbs;
}

int stopAfterBudget(void* steps)
{
    return ++*static_cast<int*>(steps) > 200;
}

// Only reading statements run: the file stays as it is for every input.
void runOnSqlite(sqlite3* db, const QString& sql)
{
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db, utf8.constData(), static_cast<int>(utf8.size()), &statement,
                           &tail) != SQLITE_OK)
        return;
    for (const char* c = tail; c != nullptr && c < utf8.constData() + utf8.size(); ++c)
        FUZZ_CHECK(QChar::isSpace(static_cast<unsigned char>(*c)),
                   QStringLiteral("SQLite reads more than one statement in: ") + sql);
    if (statement != nullptr && sqlite3_stmt_readonly(statement)) {
        int steps = 0;
        sqlite3_progress_handler(db, 1000, stopAfterBudget, &steps);
        while (sqlite3_step(statement) == SQLITE_ROW) {
        }
        sqlite3_progress_handler(db, 0, nullptr, nullptr);
    }
    sqlite3_finalize(statement);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Databases* const dbs = open();
    const QString sql =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        QString joined;
        for (const Token& token : tokenize(sql)) {
            FUZZ_CHECK(!token.text.isEmpty(), sql);
            FUZZ_CHECK(!token.isSymbol(";"), QStringLiteral("a \";\" outside quotes in: ") + sql);
            joined += token.text;
        }
        FUZZ_CHECK(joined == sql, QStringLiteral("tokens lose text of: ") + sql);
    } catch (const DbError&) {
        return 0;
    }

    QString rewritten;
    try {
        rewritten = dbs->engine->translate(sql);
    } catch (const DbError&) {
        return 0; // an Oracle error: the statement is refused before SQLite sees it
    }
    FUZZ_CHECK(!rewritten.contains(QChar(0)), rewritten);
    runOnSqlite(dbs->raw, rewritten);
    return 0;
}
