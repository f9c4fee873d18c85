#include "testsupport.h"

#include "base/error.h"
#include "db/connectionstring.h"
#include "db/dberror.h"
#include "demodb.h"

#include <sqlite3.h>

#include <stdexcept>

namespace varnel::test {

TempFolder::TempFolder()
{
    if (!m_dir.isValid())
        throw std::runtime_error("cannot create a temporary folder");
}

QString errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Error& error) {
        return error.message();
    }
    return QStringLiteral("<no error>");
}

QString localConnectionString(const QString& file)
{
    return buildConnectionString(QStringLiteral("secret"), QStringLiteral("tester"), file);
}

QString makeDatabase(const TempFolder& folder, const QString& name, const QStringList& statements)
{
    const QString path = folder.path(name);
    sqlite3* db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
        throw std::runtime_error("cannot create a test database");
    // An empty file is no database yet: make sure there is a schema page.
    sqlite3_exec(db, "PRAGMA user_version = 1", nullptr, nullptr, nullptr);
    for (const QString& statement : statements) {
        char* error = nullptr;
        if (sqlite3_exec(db, statement.toUtf8().constData(), nullptr, nullptr, &error) !=
            SQLITE_OK) {
            const std::string message = error ? error : "?";
            sqlite3_free(error);
            sqlite3_close(db);
            throw std::runtime_error("test database: " + message);
        }
    }
    sqlite3_close(db);
    return path;
}

QString makeLogDatabase(const TempFolder& folder, const QString& name,
                        std::span<const char* const> records)
{
    QStringList statements = {QStringLiteral(
        "create table LOG_TABLE(sid NUMBER, ddate DATE, stable VARCHAR2(50), saction "
        "VARCHAR2(10), schanges VARCHAR2(4000), suser_info VARCHAR2(100))")};
    for (const char* record : records)
        statements << QStringLiteral("insert into LOG_TABLE values ") + record;
    return makeDatabase(folder, name, statements);
}

long long queryScalar(const QString& path, const QString& sql)
{
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr);
    long long value = -1;
    if (sqlite3_step(st) == SQLITE_ROW)
        value = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return value;
}

QString makeDemoDatabase(const TempFolder& folder, int64_t records, uint64_t seed,
                         const QString& table)
{
    demo::Options options;
    options.path = folder.path(QStringLiteral("demo-%1-%2.sqlite").arg(records).arg(seed));
    options.records = records;
    options.seed = seed;
    options.table = table;
    demo::generate(options);
    return options.path;
}

} // namespace varnel::test
