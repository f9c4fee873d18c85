#include "db/embedded/sqliteengine.h"

#include "base/civiltime.h"
#include "base/vectorstate.h"
#include "db/dberror.h"
#include "db/embedded/oraclefunctions.h"
#include "db/embedded/sqlrewriter.h"
#include "db/onerecorddelete.h"

#include <QDate>
#include <QRegularExpression>

#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <optional>
#include <thread>

namespace varnel::embedded {

namespace {

constexpr const char* kSynonymTable = "varnel_public_synonyms";

// A date-time as the snapshot reads it from its stored text, in the one layout that deleting a
// record binds: an outside writer may have stored fractions of a second (of any number of
// digits), a "T" or a date alone.
void storedDateTime(sqlite3_context* context, int, sqlite3_value** argv)
{
    int64_t seconds = 0;
    uint32_t nanoseconds = 0;
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    if (text == nullptr ||
        !civil::parseStoredDateTime(text, sqlite3_value_bytes(argv[0]), seconds, nanoseconds)) {
        sqlite3_result_null(context);
        return;
    }
    char stored[civil::kStoredDateTimeLength];
    const int length = civil::formatStoredDateTime(seconds, nanoseconds, stored);
    sqlite3_result_text(context, stored, length, SQLITE_TRANSIENT);
}

// The deletion of one record: through rowid, so that one of several identical records goes and
// the others stay (DELETE ... LIMIT exists only in some SQLite builds). A date-time with a
// fraction compares in the same one stored form.
const OneRecordDeleteForm& embeddedOneRecordDelete()
{
    static const OneRecordDeleteForm form{
        QStringLiteral("delete from %1\nwhere rowid = (select rowid from %1\nwhere %2 limit 1)"),
        QStringLiteral("varnel_stored_datetime(%1) = ?"),
        OneRecordDeleteForm::DateValue::StoredText,
        0,
        {}};
    return form;
}

bool containsAny(const QString& upper, std::initializer_list<const char*> parts)
{
    for (const char* part : parts)
        if (upper.contains(QLatin1String(part)))
            return true;
    return false;
}

// The type of a result column from the type its table declares; expression columns declare
// none and take the type of their first value.
bool declaredType(const char* decltype_, ColumnType& type, int& size)
{
    if (decltype_ == nullptr)
        return false;
    const QString upper = QString::fromUtf8(decltype_).toUpper();
    size = 0;
    if (containsAny(upper, {"DATE", "TIME"})) {
        type = ColumnType::Date;
    } else if (containsAny(upper, {"CHAR", "CLOB", "TEXT"})) {
        type = ColumnType::Text;
        static const QRegularExpression sizePattern(QStringLiteral("\\(\\s*(\\d+)"));
        const QRegularExpressionMatch match = sizePattern.match(upper);
        if (match.hasMatch())
            size = match.captured(1).toInt();
    } else if (containsAny(upper, {"NUM", "INT", "DEC", "REAL", "FLOA", "DOUB"})) {
        type = ColumnType::Number;
    } else {
        type = ColumnType::Text;
    }
    return true;
}

// A number that is no exact 64-bit integer is kept as its shortest exact decimal text.
void addFloat(RowSet::Builder& builder, int col, double value)
{
    if (std::trunc(value) == value && value > -9.2e18 && value < 9.2e18) {
        builder.addInteger(col, static_cast<int64_t>(value));
        return;
    }
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    builder.addDecimal(col, std::string_view(buffer, static_cast<size_t>(result.ptr - buffer)));
}

void addNumberText(RowSet::Builder& builder, int col, std::string_view text)
{
    int64_t integer = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), integer);
    if (result.ec == std::errc() && result.ptr == text.data() + text.size())
        builder.addInteger(col, integer);
    else
        builder.addDecimal(col, text);
}

} // namespace

QString oracleMessage(int code, const QString& message)
{
    static const QRegularExpression noColumn(QStringLiteral("^no such column: (.*)$"));
    if (message.startsWith(QLatin1String("no such table")))
        return QStringLiteral("ORA-00942: table or view does not exist");
    if (message.endsWith(QLatin1String("already exists")))
        return QStringLiteral("ORA-00955: name is already used by an existing object");
    const QRegularExpressionMatch column = noColumn.match(message);
    if (column.hasMatch()) {
        QString name = column.captured(1);
        name = name.mid(name.lastIndexOf(QLatin1Char('.')) + 1);
        return QStringLiteral("ORA-00904: \"%1\": invalid identifier").arg(name.toUpper());
    }
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
        return QStringLiteral("ORA-00054: resource busy (%1)").arg(message);
    return message;
}

struct SqliteEngine::Statement {
    sqlite3_stmt* handle = nullptr;
    Statement() = default;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    Statement(Statement&& other) noexcept : handle(std::exchange(other.handle, nullptr)) {}
    ~Statement() { sqlite3_finalize(handle); }
};

SqliteEngine::SqliteEngine(const QString& path, const QString& dateFormat, const QLocale& locale,
                           std::chrono::milliseconds busyTimeout)
    : m_path(path), m_dateFormat(dateFormat, locale), m_busyTimeout(busyTimeout)
{
    // Never create a file: a mistyped name must fail like an unknown Oracle service. One
    // thread uses the connection, so SQLite need not lock it on every column it hands over.
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &m_db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString reason =
            m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("out of memory");
        sqlite3_close(m_db);
        m_db = nullptr;
        throw DbError(QStringLiteral("Cannot open the database file \"%1\": %2").arg(path, reason));
    }
    sqlite3_extended_result_codes(m_db, 0);
    // SQLite's own busy wait and its interrupt do not see each other: a statement waiting for
    // a lock would sit out the whole timeout after its cancel. This wait looks every few
    // milliseconds.
    sqlite3_busy_handler(m_db, &SqliteEngine::busyWait, this);
    // Always on, whatever the progress handler: a cancel that comes before SQLite runs the
    // statement (where sqlite3_interrupt has nothing to stop) is seen at the next look.
    sqlite3_progress_handler(m_db, 1000, &SqliteEngine::onProgress, this);
    // Oracle reads a double-quoted word only as a name: an unknown one is an error, never the
    // text that SQLite would make of it.
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    registerOracleFunctions(m_db);
    sqlite3_create_function_v2(m_db, "varnel_stored_datetime", 1,
                               SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, storedDateTime, nullptr,
                               nullptr, nullptr);
    try {
        // Reading the schema also proves that the file is a database at all.
        for (const char* setup : {"PRAGMA case_sensitive_like = ON",
                                  "CREATE TEMP VIEW IF NOT EXISTS dual AS SELECT 'X' AS dummy"}) {
            Statement s = prepare(QString::fromLatin1(setup));
            while (sqlite3_step(s.handle) == SQLITE_ROW) {
            }
        }
        refreshDateColumns();
    } catch (const DbError& error) {
        sqlite3_close(m_db);
        m_db = nullptr;
        throw DbError(
            QStringLiteral("Cannot open the database file \"%1\": %2").arg(path, error.message()));
    }
}

SqliteEngine::~SqliteEngine()
{
    sqlite3_close(m_db);
}

bool SqliteEngine::cancelled() const
{
    return m_cancelled.load() || callCancelled();
}

int SqliteEngine::onProgress(void* engine)
{
    auto* const self = static_cast<SqliteEngine*>(engine);
    if (self->cancelled())
        return 1;
    // No exception may cross SQLite: a failing handler interrupts the statement instead, which
    // then fails with SQLite's "interrupted".
    try {
        self->reportProgress();
        return 0;
    } catch (...) {
        return 1;
    }
}

int SqliteEngine::busyWait(void* engine, int attempts)
{
    auto* const self = static_cast<SqliteEngine*>(engine);
    const auto now = std::chrono::steady_clock::now();
    if (attempts == 0)
        self->m_busySince = now;
    const auto left = self->m_busyTimeout - (now - self->m_busySince);
    if (self->cancelled() || left <= std::chrono::steady_clock::duration::zero())
        return 0;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(5)));
    return 1;
}

DbError SqliteEngine::failure(int code) const
{
    // A lock wait given up for a cancel ends as busy, a statement stopped as interrupted.
    if ((code == SQLITE_INTERRUPT || code == SQLITE_BUSY) &&
        (m_cancelled.exchange(false) || callCancelled()))
        return DbError(QString::fromLatin1(kCancelledMessage));
    return DbError(oracleMessage(code, QString::fromUtf8(sqlite3_errmsg(m_db))));
}

void SqliteEngine::raise(int code) const
{
    throw failure(code);
}

void SqliteEngine::requireOpenedFile() const
{
    // A file deleted or renamed over stays readable through the open connection, which would
    // go on showing and exporting records that are no longer anywhere, and writing to it fails
    // as "readonly". Every statement asks first, as a server that lost its database would say.
    int moved = 0;
    if (sqlite3_file_control(m_db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved)
        throw DbError(
            QStringLiteral("The database file \"%1\" has been deleted or replaced since it was "
                           "opened")
                .arg(m_path));
}

SqliteEngine::Statement SqliteEngine::prepare(const QString& sqliteSql) const
{
    const QByteArray utf8 = sqliteSql.toUtf8();
    Statement statement;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(m_db, utf8.constData(), static_cast<int>(utf8.size()),
                                      &statement.handle, &tail);
    if (rc != SQLITE_OK)
        raise(rc);
    // Exactly one statement per text: whatever follows the first one is never run. SQLite
    // stops at a NUL, so the text is walked to its real end.
    const char* const end = utf8.constData() + utf8.size();
    for (; tail != nullptr && tail < end; ++tail)
        if (!QChar::isSpace(static_cast<unsigned char>(*tail)))
            throw DbError(QStringLiteral("ORA-00911: invalid character"));
    if (statement.handle == nullptr)
        throw DbError(QStringLiteral("ORA-00900: invalid SQL statement"));
    return statement;
}

SqliteEngine::Statement SqliteEngine::prepareUnbound(const QString& sqliteSql) const
{
    Statement statement = prepare(sqliteSql);
    // SQLite would run a marker (:a, ?, @a, $a) as NULL; Oracle asks for its value.
    if (sqlite3_bind_parameter_count(statement.handle) > 0)
        throw DbError(QStringLiteral("ORA-01008: not all variables bound"));
    return statement;
}

bool SqliteEngine::run(const char* sql) const
{
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

void SqliteEngine::undo(const char* savepoint, bool inTransaction) const
{
    // A savepoint that began the transaction goes with a whole rollback: releasing it would be
    // a commit, which may wait for a lock the cancel gave up on, and leave the file locked.
    if (!inTransaction) {
        run("ROLLBACK");
        return;
    }
    run(QByteArray("ROLLBACK TO ").append(savepoint).constData());
    run(QByteArray("RELEASE ").append(savepoint).constData());
}

void SqliteEngine::refreshDateColumns()
{
    // Another program may change the schema of the file while it is open: the schema version
    // tells, cheaply, whether what this connection knows is still true.
    {
        Statement version = prepare(QStringLiteral("PRAGMA schema_version"));
        if (sqlite3_step(version.handle) != SQLITE_ROW)
            raise(sqlite3_errcode(m_db));
        const int64_t current = sqlite3_column_int64(version.handle, 0);
        if (current == m_schemaVersion)
            return;
        m_schemaVersion = current;
    }
    m_dateColumns.clear();
    Statement s = prepare(QStringLiteral(
        "SELECT m.name, p.name, p.type FROM sqlite_schema m, pragma_table_info(m.name) p "
        "WHERE m.type IN ('table', 'view')"));
    auto text = [&](int col) {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s.handle, col)))
            .toUpper();
    };
    int rc;
    while ((rc = sqlite3_step(s.handle)) == SQLITE_ROW) {
        ColumnType type;
        int size;
        if (declaredType(reinterpret_cast<const char*>(sqlite3_column_text(s.handle, 2)), type,
                         size) &&
            type == ColumnType::Date)
            m_dateColumns[text(0)].insert(text(1));
    }
    if (rc != SQLITE_DONE)
        raise(rc);
}

bool SqliteEngine::tableExists(const QString& name) const
{
    Statement s = prepare(QStringLiteral("SELECT 1 FROM sqlite_schema WHERE type IN ('table', "
                                         "'view') AND name = ?1 COLLATE NOCASE"));
    const QByteArray utf8 = name.toUtf8();
    sqlite3_bind_text(s.handle, 1, utf8.constData(), static_cast<int>(utf8.size()),
                      SQLITE_TRANSIENT);
    const int rc = sqlite3_step(s.handle);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        raise(rc);
    return rc == SQLITE_ROW;
}

RewriteContext SqliteEngine::rewriteContext() const
{
    RewriteContext context;
    context.isDateColumn = [this](QStringView table, QStringView column) {
        const auto columns = m_dateColumns.constFind(table.toString().toUpper());
        return columns != m_dateColumns.cend() && columns->contains(column.toString().toUpper());
    };
    context.dateFormat = &m_dateFormat;
    context.currentYear = QDate::currentDate().year();
    return context;
}

void SqliteEngine::begin()
{
    if (!run("BEGIN"))
        raise(sqlite3_errcode(m_db));
}

void SqliteEngine::commit()
{
    if (!run("COMMIT"))
        raise(sqlite3_errcode(m_db));
}

void SqliteEngine::rollback()
{
    if (sqlite3_get_autocommit(m_db) == 0 && !run("ROLLBACK"))
        raise(sqlite3_errcode(m_db));
}

void SqliteEngine::interrupt()
{
    m_cancelled = true;
    sqlite3_interrupt(m_db);
}

void SqliteEngine::setDateFormat(const QString& dateFormat, const QLocale& locale)
{
    m_dateFormat = DateFormat(dateFormat, locale);
}

QString SqliteEngine::localFile() const
{
    // SQLite's own name of the file: absolute, as it resolved the path when it opened it.
    const char* name = sqlite3_db_filename(m_db, "main");
    return name && *name ? QString::fromUtf8(name) : m_path;
}

QString SqliteEngine::translate(const QString& sql)
{
    refreshDateColumns();
    return rewrite(sql, rewriteContext()).sql;
}

SqliteEngine::Cursor::Cursor(SqliteEngine& engine, Statement statement)
    : m_engine(engine), m_handle(statement.handle)
{
    const int columns = sqlite3_column_count(m_handle);
    for (int col = 0; col < columns; ++col) {
        ColumnType type = ColumnType::Text;
        int size = 0;
        const char* declared = sqlite3_column_decltype(m_handle, col);
        m_known.push_back(declaredType(declared, type, size));
        m_declared.push_back(QString::fromUtf8(declared).toUpper());
        // Oracle reports unquoted names in upper case, and the program's callers rely on
        // nothing else: match names without regard to case.
        m_columns.push_back(
            {QString::fromUtf8(sqlite3_column_name(m_handle, col)).toUpper(), type, size});
    }
    clearUpperVectorState();
    m_step = sqlite3_step(m_handle);
    if (m_step != SQLITE_ROW && m_step != SQLITE_DONE)
        engine.raise(m_step); // `statement` still owns the handle
    for (int col = 0; col < columns && m_step == SQLITE_ROW; ++col) {
        const int storage = sqlite3_column_type(m_handle, col);
        if (!m_known[size_t(col)] && storage != SQLITE_NULL) {
            m_columns[size_t(col)].type = storage == SQLITE_INTEGER || storage == SQLITE_FLOAT
                                              ? ColumnType::Number
                                              : ColumnType::Text;
            m_known[size_t(col)] = true;
        }
    }
    statement.handle = nullptr;
}

SqliteEngine::Cursor::Cursor(Cursor&& other) noexcept
    : m_engine(other.m_engine), m_handle(std::exchange(other.m_handle, nullptr)),
      m_columns(std::move(other.m_columns)), m_known(std::move(other.m_known)),
      m_declared(std::move(other.m_declared)), m_step(other.m_step)
{}

SqliteEngine::Cursor::~Cursor()
{
    sqlite3_finalize(m_handle);
}

RowSet::Builder SqliteEngine::Cursor::builder() const
{
    RowSet::Builder rows;
    for (size_t col = 0; col < m_columns.size(); ++col)
        rows.addColumn(m_columns[col].name, m_columns[col].type, m_columns[col].declaredSize,
                       m_known[col]);
    return rows;
}

bool SqliteEngine::Cursor::fetch(RowSet::Builder& rows, uint32_t count)
{
    if (m_step != SQLITE_ROW && m_step != SQLITE_DONE)
        m_engine.raise(std::exchange(m_step, SQLITE_DONE));
    clearUpperVectorState();
    for (uint32_t n = 0; n < count && m_step == SQLITE_ROW; ++n) {
        readRow(rows);
        if ((rows.rowCount() & 1023) == 0)
            m_engine.countFetched(rows.rowCount());
        m_step = sqlite3_step(m_handle);
    }
    if (m_step == SQLITE_ROW || m_step == SQLITE_DONE)
        return m_step == SQLITE_ROW;
    return true; // the failure comes with the next call
}

void SqliteEngine::Cursor::readRow(RowSet::Builder& builder)
{
    sqlite3_stmt* const st = m_handle;
    const int columns = int(m_columns.size());
    for (int col = 0; col < columns; ++col) {
        const int storage = sqlite3_column_type(st, col);
        if (storage == SQLITE_NULL) {
            builder.addNull(col);
            continue;
        }
        if (!builder.typeKnown(col))
            builder.settleType(col, storage == SQLITE_INTEGER || storage == SQLITE_FLOAT
                                        ? ColumnType::Number
                                        : ColumnType::Text);
        switch (builder.type(col)) {
        case ColumnType::Text: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
            const auto bytes = static_cast<size_t>(sqlite3_column_bytes(st, col));
            if (bytes == 0)
                builder.addNull(col); // Oracle has no empty text
            else
                builder.addText(col, text, bytes);
            break;
        }
        case ColumnType::Number:
            if (storage == SQLITE_INTEGER) {
                builder.addInteger(col, sqlite3_column_int64(st, col));
            } else if (storage == SQLITE_FLOAT) {
                addFloat(builder, col, sqlite3_column_double(st, col));
            } else {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
                const auto bytes = static_cast<size_t>(sqlite3_column_bytes(st, col));
                if (bytes == 0)
                    builder.addNull(col);
                else
                    addNumberText(builder, col, std::string_view(text, bytes));
            }
            break;
        case ColumnType::Date: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
            const auto bytes = static_cast<int64_t>(sqlite3_column_bytes(st, col));
            int64_t seconds = 0;
            uint32_t nanoseconds = 0;
            if (bytes == 0) {
                builder.addNull(col);
            } else if (storage == SQLITE_TEXT &&
                       civil::parseStoredDateTime(text, bytes, seconds, nanoseconds)) {
                builder.addDate(col, seconds, nanoseconds);
            } else {
                throw DbError(
                    QStringLiteral("ORA-01861: literal does not match format string "
                                   "(column %1 holds \"%2\", not a date 'YYYY-MM-DD HH:MM:SS')")
                        .arg(m_columns[size_t(col)].name,
                             QString::fromUtf8(text, static_cast<qsizetype>(bytes))));
            }
            break;
        }
        }
    }
    builder.endRow();
}

SqliteEngine::Cursor SqliteEngine::openCursor(const QString& sql)
{
    requireOpenedFile();
    m_cancelled = false;
    checkCallCancelled();
    return Cursor(*this, prepareUnbound(translate(sql)));
}

RowSet SqliteEngine::query(const QString& sql)
{
    countFetched(0);
    Cursor cursor = openCursor(sql);
    RowSet::Builder builder = cursor.builder();
    while (cursor.fetch(builder, UINT32_MAX)) {
    }
    countFetched(builder.rowCount());
    return builder.finish();
}

int64_t SqliteEngine::execute(const QString& sql)
{
    requireOpenedFile();
    m_cancelled = false;
    checkCallCancelled();
    m_changes = 0;
    refreshDateColumns();
    const Rewrite plan = rewrite(sql, rewriteContext());

    switch (plan.kind) {
    case Rewrite::Kind::Grant:
        // One user on a local file: privileges mean nothing, but the object must exist.
        if (!tableExists(plan.object))
            throw DbError(QStringLiteral("ORA-00942: table or view does not exist"));
        return 0;
    case Rewrite::Kind::PublicSynonym: {
        if (!tableExists(plan.object))
            throw DbError(QStringLiteral("ORA-00942: table or view does not exist"));
        // Public synonyms live in a namespace of their own, kept in the file so that a name
        // stays taken across sessions, as on a server.
        {
            Statement create =
                prepare(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 "
                                       "(name TEXT PRIMARY KEY COLLATE NOCASE, target TEXT)")
                            .arg(QString::fromLatin1(kSynonymTable)));
            if (sqlite3_step(create.handle) != SQLITE_DONE)
                raise(sqlite3_errcode(m_db));
        }
        Statement s = prepare(QStringLiteral("INSERT %1 INTO %2 (name, target) VALUES (?1, ?2)")
                                  .arg(plan.replace ? QStringLiteral("OR REPLACE") : QString(),
                                       QString::fromLatin1(kSynonymTable)));
        const QByteArray name = plan.synonym.toUpper().toUtf8();
        const QByteArray target = plan.object.toUtf8();
        sqlite3_bind_text(s.handle, 1, name.constData(), static_cast<int>(name.size()),
                          SQLITE_TRANSIENT);
        sqlite3_bind_text(s.handle, 2, target.constData(), static_cast<int>(target.size()),
                          SQLITE_TRANSIENT);
        const int rc = sqlite3_step(s.handle);
        if (rc == SQLITE_CONSTRAINT)
            throw DbError(QStringLiteral("ORA-00955: name is already used by an existing object"));
        if (rc != SQLITE_DONE)
            raise(rc);
        return 0;
    }
    case Rewrite::Kind::Statement:
        break;
    }

    Statement s = prepareUnbound(plan.sql);
    clearUpperVectorState();
    // A statement that writes runs in a savepoint of its own, so that a cancel that comes while
    // it runs undoes it even where SQLite cannot stop it half way (clearing a whole table is one
    // step that looks at no interrupt): only a statement kept before the cancel counts as done.
    const bool writes = sqlite3_stmt_readonly(s.handle) == 0;
    const bool inTransaction = sqlite3_get_autocommit(m_db) == 0;
    if (writes && !run("SAVEPOINT varnel_execute"))
        raise(sqlite3_errcode(m_db));
    const int64_t changedBefore = sqlite3_total_changes64(m_db);
    int rc;
    while ((rc = sqlite3_step(s.handle)) == SQLITE_ROW) {
    }
    if (writes) {
        // What failed is read before the rollback, which would speak over it. Keeping the
        // changes may wait for readers of the file to let go, and a cancel there undoes them.
        std::optional<DbError> failed =
            rc != SQLITE_DONE ? std::optional(failure(rc))
            : cancelled()     ? std::optional(DbError(QString::fromLatin1(kCancelledMessage)))
                              : std::nullopt;
        sqlite3_reset(s.handle);
        if (!failed && !run("RELEASE varnel_execute"))
            failed = failure(sqlite3_errcode(m_db));
        if (failed) {
            undo("varnel_execute", inTransaction);
            throw *failed;
        }
    }
    if (rc != SQLITE_DONE)
        raise(rc);
    // sqlite3_changes() keeps the count of the last statement that changed records, which a
    // CREATE after a DELETE would report as its own.
    if (sqlite3_total_changes64(m_db) != changedBefore)
        m_changes = sqlite3_changes64(m_db);
    return m_changes;
}

void SqliteEngine::deleteRecord(const QString& table, const RowSet& rows, uint32_t row)
{
    requireOpenedFile();
    m_cancelled = false;
    checkCallCancelled();
    const BoundStatement statement =
        oneRecordDeleteStatement(table, rows, row, embeddedOneRecordDelete());
    // Through the rewriter like every statement: the user's table name can bring neither a
    // second statement nor an open comment (which SQLite would end at the end of the text).
    refreshDateColumns();
    const QString sql = rewrite(statement.sql, rewriteContext()).sql;

    // Exactly one record goes or none: whatever the statement meets, anything else is rolled
    // back before the error is raised.
    const bool inTransaction = sqlite3_get_autocommit(m_db) == 0;
    if (!run("SAVEPOINT varnel_delete_one"))
        raise(sqlite3_errcode(m_db));
    try {
        Statement s = prepare(sql);
        if (sqlite3_bind_parameter_count(s.handle) != statement.values.size())
            throw DbError(QStringLiteral("ORA-01008: not all variables bound"));
        for (int i = 0; i < statement.values.size(); ++i) {
            const QByteArray utf8 = statement.values[i].toString().toUtf8();
            sqlite3_bind_text(s.handle, i + 1, utf8.constData(), static_cast<int>(utf8.size()),
                              SQLITE_TRANSIENT);
        }
        clearUpperVectorState();
        const int rc = sqlite3_step(s.handle);
        if (rc != SQLITE_DONE)
            raise(rc);
        const int changes = sqlite3_changes(m_db);
        if (changes == 0)
            throw DbError(noRecordDeletedMessage());
        if (changes != 1)
            throw DbError(manyRecordsDeletedMessage());
        // Cancelled before it is kept: undone, as if it had been stopped.
        if (cancelled())
            throw DbError(QString::fromLatin1(kCancelledMessage));
    } catch (...) {
        undo("varnel_delete_one", inTransaction);
        throw;
    }
    if (!run("RELEASE varnel_delete_one")) {
        const DbError failed = failure(sqlite3_errcode(m_db));
        undo("varnel_delete_one", inTransaction);
        throw failed;
    }
}

} // namespace varnel::embedded
