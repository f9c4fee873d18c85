#include "db/odbc/odbcengine.h"

#include "base/civiltime.h"
#include "base/localetext.h"
#include "db/connectionstring.h"
#include "db/dberror.h"
#include "db/decimaltext.h"
#include "db/odbc/oraclesession.h"

#include <QDateTime>

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>
#include <vector>

namespace varnel::odbc {

namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the wide ODBC calls take UTF-16");

// ADO's words for a statement on a closed connection.
const char* const kClosed = "Operation is not allowed when the object is closed.";

SQLWCHAR* wide(const QString& text)
{
    // The driver only reads input texts; the API's pointers are not const.
    return const_cast<SQLWCHAR*>(reinterpret_cast<const SQLWCHAR*>(text.utf16()));
}

QString fromWide(const SQLWCHAR* text, qsizetype length)
{
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(text), length);
}

// UTF-16 to UTF-8 into `out`, which it replaces; a lone surrogate becomes U+FFFD, as QString
// would make it. A million rows of a log pass through here: no allocation once `out` has grown.
void toUtf8(std::string& out, const char16_t* text, size_t length)
{
    out.resize(length * 3); // no UTF-16 unit gives more than three bytes
    char* to = out.data();
    for (size_t i = 0; i < length; ++i) {
        // Four ASCII units at a time: most of a log's texts are names, numbers and punctuation.
        while (i + 4 <= length) {
            uint64_t four;
            std::memcpy(&four, text + i, sizeof four);
            if (four & 0xFF80FF80FF80FF80ULL)
                break;
            to[0] = static_cast<char>(text[i]);
            to[1] = static_cast<char>(text[i + 1]);
            to[2] = static_cast<char>(text[i + 2]);
            to[3] = static_cast<char>(text[i + 3]);
            to += 4;
            i += 4;
        }
        if (i == length)
            break;
        char32_t c = text[i];
        if (c < 0x80) {
            *to++ = static_cast<char>(c);
            continue;
        }
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        if (c < 0x800) {
            *to++ = static_cast<char>(0xC0 | (c >> 6));
        } else if (c < 0x10000) {
            *to++ = static_cast<char>(0xE0 | (c >> 12));
            *to++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        } else {
            *to++ = static_cast<char>(0xF0 | (c >> 18));
            *to++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *to++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        }
        *to++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    out.resize(size_t(to - out.data()));
}

// The driver's own words for what failed on `handle`, every record of them. Oracle 23ai adds
// a line "Help: https://docs.oracle.com/error-help/db/ora-NNNNN/" to each message: an address
// in a message box helps nobody, so it is left out.
QString diagnostics(SQLSMALLINT type, SQLHANDLE handle)
{
    QStringList lines;
    for (SQLSMALLINT record = 1;; ++record) {
        SQLWCHAR state[6];
        SQLINTEGER native = 0;
        std::vector<SQLWCHAR> text(1024);
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRecW(type, handle, record, state, &native, text.data(),
                                      SQLSMALLINT(text.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= SQLSMALLINT(text.size())) {
            text.resize(size_t(length) + 1);
            rc = SQLGetDiagRecW(type, handle, record, state, &native, text.data(),
                                SQLSMALLINT(text.size()), &length);
        }
        if (!SQL_SUCCEEDED(rc))
            break;
        const QString message = fromWide(text.data(), std::min<qsizetype>(length, text.size() - 1));
        for (const QString& line : message.split(QLatin1Char('\n'))) {
            const QString trimmed = line.trimmed();
            if (!trimmed.isEmpty() && !trimmed.startsWith(QLatin1String("Help: https://")))
                lines << trimmed;
        }
    }
    return lines.join(QLatin1Char('\n'));
}

[[noreturn]] void raise(SQLSMALLINT type, SQLHANDLE handle)
{
    const QString message = diagnostics(type, handle);
    throw DbError(message.isEmpty() ? QString::fromLatin1(kClosed) : message);
}

void check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle)
{
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA)
        raise(type, handle);
}

[[noreturn]] void notNumber(const QString& column, std::string_view value)
{
    throw DbError(QStringLiteral("Column %1 holds \"%2\", which is not a number")
                      .arg(column, QString::fromUtf8(value.data(), qsizetype(value.size()))));
}

void addNumberText(RowSet::Builder& builder, int col, std::string_view text, const QString& column)
{
    const std::optional<std::string> plain = plainDecimal(text);
    if (!plain)
        notNumber(column, text);
    int64_t integer = 0;
    const char* end = plain->data() + plain->size();
    const auto result = std::from_chars(plain->data(), end, integer);
    if (result.ec == std::errc() && result.ptr == end)
        builder.addInteger(col, integer);
    else
        builder.addDecimal(col, *plain);
}

void addTimestamp(RowSet::Builder& builder, int col, const SQL_TIMESTAMP_STRUCT& t)
{
    // Wall-clock fields as the database holds them; the fraction of a second never shows.
    builder.addDate(col, civil::toSeconds(t.year, t.month, t.day, t.hour, t.minute, t.second));
}

// How a result column is read: its C type, and the bytes one row of it takes bound.
struct ColumnPlan {
    QString name;
    ColumnType type = ColumnType::Text;
    SQLSMALLINT cType = SQL_C_WCHAR;
    SQLLEN width = 0;    // 0: no bound width (LONG, CLOB, unknown size): read in pieces
    bool binary = false; // RAW: hexadecimal digits
    int declared = 0;    // characters of a text column, when the driver tells
};

// Widths beyond this are no VARCHAR2 the program reads; such columns are read in pieces.
constexpr SQLULEN kWidestBoundText = 32767;

ColumnPlan planColumn(const QString& name, SQLSMALLINT sqlType, SQLULEN size)
{
    ColumnPlan plan;
    plan.name = name;
    switch (sqlType) {
    case SQL_DECIMAL:
    case SQL_NUMERIC:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_TINYINT:
    case SQL_BIGINT:
    case SQL_BIT:
        // Exact decimal text: no double rounds a NUMBER of 38 digits.
        plan.type = ColumnType::Number;
        plan.cType = SQL_C_CHAR;
        plan.width = 128;
        break;
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATE:
    case SQL_TIMESTAMP:
        plan.type = ColumnType::Date;
        plan.cType = SQL_C_TYPE_TIMESTAMP;
        plan.width = sizeof(SQL_TIMESTAMP_STRUCT);
        break;
    case SQL_BINARY:
    case SQL_VARBINARY:
        plan.binary = true;
        plan.cType = SQL_C_CHAR;
        plan.width = size > 0 && size <= kWidestBoundText ? SQLLEN(2 * size + 1) : 0;
        break;
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR:
    case SQL_LONGVARBINARY:
        plan.binary = sqlType == SQL_LONGVARBINARY;
        plan.cType = plan.binary ? SQL_C_CHAR : SQL_C_WCHAR;
        break;
    default:
        plan.declared = size <= kWidestBoundText ? int(size) : 0;
        // VARCHAR2 and every other type as UTF-16 text. A column of n characters (or bytes)
        // never needs more than n UTF-16 units, but for characters beyond the BMP under
        // character semantics; a longer value is read again in pieces.
        plan.width = size > 0 && size <= kWidestBoundText ? SQLLEN((size + 1) * 2) : 0;
        break;
    }
    return plan;
}

} // namespace

struct OdbcEngine::Handles {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    bool connected = false;

    ~Handles()
    {
        if (connected)
            SQLDisconnect(dbc);
        if (dbc != SQL_NULL_HDBC)
            SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        if (env != SQL_NULL_HENV)
            SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
};

// One statement handle for as long as one statement runs and its rows are read; known to the
// engine meanwhile, so that cancel() can reach it from another thread.
class OdbcEngine::Statement {
public:
    explicit Statement(OdbcEngine& engine) : m_engine(engine)
    {
        if (!engine.m_handles)
            throw DbError(QString::fromLatin1(kClosed));
        const SQLHDBC dbc = engine.m_handles->dbc;
        odbc::check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &m_handle), SQL_HANDLE_DBC, dbc);
        {
            const std::lock_guard lock(engine.m_runningLock);
            engine.m_running = m_handle;
        }
        // A cancel that came before the handle was known had nothing to reach.
        engine.checkCallCancelled();
    }
    ~Statement()
    {
        {
            const std::lock_guard lock(m_engine.m_runningLock);
            m_engine.m_running = nullptr;
        }
        SQLFreeHandle(SQL_HANDLE_STMT, m_handle);
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    SQLHSTMT handle() const { return m_handle; }
    void check(SQLRETURN rc) const { odbc::check(rc, SQL_HANDLE_STMT, m_handle); }

    std::vector<ColumnPlan> describe() const
    {
        SQLSMALLINT count = 0;
        check(SQLNumResultCols(m_handle, &count));
        std::vector<ColumnPlan> plans;
        for (SQLUSMALLINT col = 1; col <= count; ++col) {
            SQLWCHAR name[256];
            SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
            SQLULEN size = 0;
            check(SQLDescribeColW(m_handle, col, name, SQLSMALLINT(std::size(name)), &nameLength,
                                  &type, &size, &digits, &nullable));
            plans.push_back(planColumn(
                fromWide(name, std::min<qsizetype>(nameLength, qsizetype(std::size(name)) - 1)),
                type, size));
        }
        return plans;
    }

private:
    OdbcEngine& m_engine;
    SQLHSTMT m_handle = SQL_NULL_HSTMT;
};

OdbcEngine::OdbcEngine(Options options)
    : m_handles(std::make_unique<Handles>()), m_oneRecordDelete(std::move(options.oneRecordDelete)),
      m_fetchBytes(options.fetchBytes)
{
    Handles& h = *m_handles;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h.env)))
        throw DbError(QStringLiteral("The ODBC driver manager cannot be used (SQLAllocHandle)"));
    check(
        SQLSetEnvAttr(h.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
        SQL_HANDLE_ENV, h.env);
    check(SQLAllocHandle(SQL_HANDLE_DBC, h.env, &h.dbc), SQL_HANDLE_ENV, h.env);
    if (!options.traceFile.isEmpty()) {
        check(SQLSetConnectAttrW(h.dbc, SQL_ATTR_TRACEFILE, wide(options.traceFile), SQL_NTS),
              SQL_HANDLE_DBC, h.dbc);
        check(SQLSetConnectAttrW(h.dbc, SQL_ATTR_TRACE,
                                 reinterpret_cast<SQLPOINTER>(SQL_OPT_TRACE_ON), SQL_IS_UINTEGER),
              SQL_HANDLE_DBC, h.dbc);
    }
    // The string goes to the driver manager exactly as built, with its length: the values are
    // already in ODBC's braces, and no NUL is counted in.
    const QString connect = options.login.connectString();
    SQLWCHAR out[1024];
    SQLSMALLINT outLength = 0;
    check(SQLDriverConnectW(h.dbc, nullptr, wide(connect), SQLSMALLINT(connect.size()), out,
                            SQLSMALLINT(std::size(out)), &outLength, SQL_DRIVER_NOPROMPT),
          SQL_HANDLE_DBC, h.dbc);
    h.connected = true;

    SQLWCHAR dbms[256];
    SQLSMALLINT dbmsBytes = 0;
    if (SQL_SUCCEEDED(
            SQLGetInfoW(h.dbc, SQL_DBMS_NAME, dbms, SQLSMALLINT(sizeof dbms), &dbmsBytes)))
        m_oracle =
            fromWide(dbms, std::min<qsizetype>(dbmsBytes / 2, qsizetype(std::size(dbms)) - 1))
                .contains(QLatin1String("Oracle"), Qt::CaseInsensitive);
    if (m_oracle)
        for (const QString& statement : options.sessionStatements)
            execute(statement);
}

OdbcEngine::~OdbcEngine() = default;

void OdbcEngine::cancel()
{
    const std::lock_guard lock(m_runningLock);
    if (m_running)
        SQLCancel(static_cast<SQLHSTMT>(m_running));
}

void OdbcEngine::run(Statement& statement, const QString& sql)
{
    statement.check(SQLExecDirectW(statement.handle(), wide(sql), SQLINTEGER(sql.size())));
}

RowSet OdbcEngine::query(const QString& sql)
{
    countFetched(0);
    {
        Statement statement(*this);
        run(statement, sql);
        RowSet::Builder builder;
        if (fetchBound(statement, builder))
            return builder.finish();
    }
    // A column without a width, or a value wider than its column said: all rows again, each
    // value whole in as many pieces as it takes.
    Statement statement(*this);
    run(statement, sql);
    RowSet::Builder builder;
    fetchPieces(statement, builder);
    return builder.finish();
}

bool OdbcEngine::fetchBound(Statement& statement, RowSet::Builder& builder)
{
    const std::vector<ColumnPlan> plans = statement.describe();
    SQLLEN rowBytes = 0;
    for (const ColumnPlan& plan : plans) {
        if (plan.width == 0)
            return false;
        rowBytes += plan.width + SQLLEN(sizeof(SQLLEN));
    }
    for (size_t col = 0; col < plans.size(); ++col)
        builder.addColumn(plans[col].name, plans[col].type, plans[col].declared);
    if (plans.empty())
        return true;

    const SQLULEN rows = std::clamp<SQLULEN>(m_fetchBytes / SQLULEN(rowBytes), 1, 4096);
    const SQLHSTMT st = statement.handle();
    struct Bound {
        // Left uninitialised: the driver writes what it hands over, and eight megabytes of
        // zeros would cost a page fault and a clearing each.
        std::unique_ptr<char[]> data;
        std::vector<SQLLEN> lengths;
    };
    std::vector<Bound> bound(plans.size());
    SQLULEN fetched = 0;
    std::vector<SQLUSMALLINT> status(rows);
    statement.check(SQLSetStmtAttrW(st, SQL_ATTR_ROW_STATUS_PTR, status.data(), 0));
    statement.check(SQLSetStmtAttrW(st, SQL_ATTR_ROW_BIND_TYPE,
                                    reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0));
    statement.check(
        SQLSetStmtAttrW(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rows), 0));
    statement.check(SQLSetStmtAttrW(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
    for (size_t col = 0; col < plans.size(); ++col) {
        bound[col].data.reset(new char[size_t(plans[col].width) * rows]);
        bound[col].lengths.resize(rows);
        statement.check(SQLBindCol(st, SQLUSMALLINT(col + 1), plans[col].cType,
                                   bound[col].data.get(), plans[col].width,
                                   bound[col].lengths.data()));
    }

    std::string utf8;
    for (;;) {
        const SQLRETURN rc = SQLFetchScroll(st, SQL_FETCH_NEXT, 0);
        // Between fetch calls no driver call runs for SQLCancel to stop.
        checkCallCancelled();
        if (rc == SQL_NO_DATA)
            break;
        statement.check(rc);
        reportProgress();
        countFetched(builder.rowCount() + int64_t(fetched));
        for (SQLULEN row = 0; row < fetched; ++row) {
            if (status[row] == SQL_ROW_ERROR)
                raise(SQL_HANDLE_STMT, st);
            for (size_t col = 0; col < plans.size(); ++col) {
                const ColumnPlan& plan = plans[col];
                const SQLLEN length = bound[col].lengths[row];
                const char* data = bound[col].data.get() + size_t(plan.width) * row;
                if (length == SQL_NULL_DATA) {
                    builder.addNull(int(col));
                    continue;
                }
                const SQLLEN room = plan.cType == SQL_C_WCHAR ? plan.width - 2 : plan.width - 1;
                if (plan.cType != SQL_C_TYPE_TIMESTAMP && (length == SQL_NO_TOTAL || length > room))
                    return false;
                switch (plan.type) {
                case ColumnType::Number:
                    addNumberText(builder, int(col), std::string_view(data, size_t(length)),
                                  plan.name);
                    break;
                case ColumnType::Date:
                    addTimestamp(builder, int(col),
                                 *reinterpret_cast<const SQL_TIMESTAMP_STRUCT*>(data));
                    break;
                case ColumnType::Text:
                    if (length == 0) {
                        builder.addNull(int(col)); // Oracle has no empty text
                    } else if (plan.binary) {
                        const QByteArray hex = QByteArray(data, length).toUpper();
                        builder.addText(int(col), hex.constData(), size_t(hex.size()));
                    } else {
                        toUtf8(utf8, reinterpret_cast<const char16_t*>(data), size_t(length) / 2);
                        builder.addText(int(col), utf8.data(), utf8.size());
                    }
                    break;
                }
            }
            builder.endRow();
        }
    }
    return true;
}

void OdbcEngine::fetchPieces(Statement& statement, RowSet::Builder& builder)
{
    const std::vector<ColumnPlan> plans = statement.describe();
    for (size_t col = 0; col < plans.size(); ++col)
        builder.addColumn(plans[col].name, plans[col].type, plans[col].declared);
    const SQLHSTMT st = statement.handle();

    std::u16string wideText;
    std::string bytes;
    std::string utf8;
    SQLWCHAR widePiece[4096];
    char piece[8192];
    // One value whole: each call hands over what fits, the last one the rest. A piece may end
    // inside a surrogate pair, so the units are joined before anything is decoded.
    const auto readText = [&](SQLUSMALLINT col, SQLSMALLINT cType) -> bool {
        wideText.clear();
        bytes.clear();
        for (;;) {
            SQLLEN length = 0;
            const bool asWide = cType == SQL_C_WCHAR;
            const SQLRETURN rc =
                asWide ? SQLGetData(st, col, cType, widePiece, sizeof widePiece, &length)
                       : SQLGetData(st, col, cType, piece, sizeof piece, &length);
            if (rc == SQL_NO_DATA)
                return true;
            statement.check(rc);
            if (length == SQL_NULL_DATA)
                return false;
            const SQLLEN room = asWide ? SQLLEN(sizeof widePiece) - 2 : SQLLEN(sizeof piece) - 1;
            const bool more = length == SQL_NO_TOTAL || length > room;
            SQLLEN got = more ? room : length;
            // A driver may end a piece one unit short rather than split a surrogate pair
            // between two pieces (SQL Server's documents it; the stand-in does it too): its
            // terminator then takes the piece's last unit, which is no part of the value.
            if (more && asWide && widePiece[got / 2 - 1] == 0)
                got -= 2;
            if (asWide)
                wideText.append(reinterpret_cast<const char16_t*>(widePiece), size_t(got) / 2);
            else
                bytes.append(piece, size_t(got));
            if (!more)
                return true;
        }
    };

    for (uint32_t rows = 0;; ++rows) {
        const SQLRETURN rc = SQLFetch(st);
        checkCallCancelled();
        if (rc == SQL_NO_DATA)
            break;
        statement.check(rc);
        if (rows % 256 == 0) {
            reportProgress();
            countFetched(rows);
        }
        for (size_t col = 0; col < plans.size(); ++col) {
            const ColumnPlan& plan = plans[col];
            const auto number = SQLUSMALLINT(col + 1);
            if (plan.type == ColumnType::Date) {
                SQL_TIMESTAMP_STRUCT stamp{};
                SQLLEN length = 0;
                statement.check(
                    SQLGetData(st, number, SQL_C_TYPE_TIMESTAMP, &stamp, sizeof stamp, &length));
                if (length == SQL_NULL_DATA)
                    builder.addNull(int(col));
                else
                    addTimestamp(builder, int(col), stamp);
                continue;
            }
            if (!readText(number, plan.cType)) {
                builder.addNull(int(col));
                continue;
            }
            if (plan.type == ColumnType::Number) {
                addNumberText(builder, int(col), bytes, plan.name);
                continue;
            }
            if (plan.cType == SQL_C_WCHAR) {
                toUtf8(utf8, wideText.data(), wideText.size());
            } else {
                utf8 = QByteArray::fromStdString(bytes).toUpper().toStdString();
            }
            if (utf8.empty())
                builder.addNull(int(col));
            else
                builder.addText(int(col), utf8.data(), utf8.size());
        }
        builder.endRow();
    }
}

int64_t OdbcEngine::execute(const QString& sql)
{
    Statement statement(*this);
    run(statement, sql);
    SQLLEN affected = -1;
    if (!SQL_SUCCEEDED(SQLRowCount(statement.handle(), &affected)))
        return -1;
    return affected;
}

void OdbcEngine::setAutocommit(bool on)
{
    check(SQLSetConnectAttrW(
              m_handles->dbc, SQL_ATTR_AUTOCOMMIT,
              reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF),
              SQL_IS_UINTEGER),
          SQL_HANDLE_DBC, m_handles->dbc);
}

void OdbcEngine::endTransaction(bool commit)
{
    check(SQLEndTran(SQL_HANDLE_DBC, m_handles->dbc, commit ? SQL_COMMIT : SQL_ROLLBACK),
          SQL_HANDLE_DBC, m_handles->dbc);
}

void OdbcEngine::deleteRecord(const QString& table, const RowSet& rows, uint32_t row)
{
    if (!m_handles)
        throw DbError(QString::fromLatin1(kClosed));
    const BoundStatement statement = oneRecordDeleteStatement(table, rows, row, m_oneRecordDelete);
    // Exactly one record goes or none: whatever the statement meets, anything else is rolled
    // back before the error is raised.
    setAutocommit(false);
    try {
        Statement s(*this);
        s.check(SQLPrepareW(s.handle(), wide(statement.sql), SQLINTEGER(statement.sql.size())));
        const auto count = size_t(statement.values.size());
        std::vector<QString> texts(count);
        std::vector<SQL_TIMESTAMP_STRUCT> stamps(count);
        std::vector<SQLLEN> lengths(count);
        for (size_t i = 0; i < count; ++i) {
            const QVariant& value = statement.values[qsizetype(i)];
            const auto number = SQLUSMALLINT(i + 1);
            if (value.typeId() == QMetaType::QDateTime) {
                const QDateTime at = value.toDateTime();
                stamps[i] = {SQLSMALLINT(at.date().year()),
                             SQLUSMALLINT(at.date().month()),
                             SQLUSMALLINT(at.date().day()),
                             SQLUSMALLINT(at.time().hour()),
                             SQLUSMALLINT(at.time().minute()),
                             SQLUSMALLINT(at.time().second()),
                             0};
                lengths[i] = sizeof(SQL_TIMESTAMP_STRUCT);
                s.check(SQLBindParameter(s.handle(), number, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP,
                                         SQL_TYPE_TIMESTAMP, 19, 0, &stamps[i], lengths[i],
                                         &lengths[i]));
                continue;
            }
            // UTF-16 with its exact length in bytes: no terminating NUL is part of the value.
            // VARCHAR rather than WVARCHAR, so that Oracle compares it as the column's own
            // type (an NVARCHAR2 parameter would convert every value of the column).
            texts[i] = value.toString();
            lengths[i] = SQLLEN(texts[i].size()) * 2;
            s.check(SQLBindParameter(s.handle(), number, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_VARCHAR,
                                     std::max<SQLULEN>(1, SQLULEN(texts[i].size())), 0,
                                     wide(texts[i]), lengths[i], &lengths[i]));
        }
        const SQLRETURN rc = SQLExecute(s.handle());
        s.check(rc);
        SQLLEN affected = 0;
        if (rc != SQL_NO_DATA)
            s.check(SQLRowCount(s.handle(), &affected));
        if (affected == 0)
            throw DbError(noRecordDeletedMessage());
        if (affected < 0)
            throw DbError(QStringLiteral("The database did not tell how many records the "
                                         "deletion took; it has been rolled back."));
        if (affected != 1)
            throw DbError(manyRecordsDeletedMessage());
    } catch (...) {
        SQLEndTran(SQL_HANDLE_DBC, m_handles->dbc, SQL_ROLLBACK);
        SQLSetConnectAttrW(m_handles->dbc, SQL_ATTR_AUTOCOMMIT,
                           reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), SQL_IS_UINTEGER);
        throw;
    }
    try {
        endTransaction(true);
    } catch (...) {
        SQLEndTran(SQL_HANDLE_DBC, m_handles->dbc, SQL_ROLLBACK);
        SQLSetConnectAttrW(m_handles->dbc, SQL_ATTR_AUTOCOMMIT,
                           reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), SQL_IS_UINTEGER);
        throw;
    }
    setAutocommit(true);
}

std::unique_ptr<Engine> openOracle(const ConnectionParams& params, const LocaleText& locale,
                                   const OdbcCatalog& catalog)
{
    OdbcEngine::Options options;
    options.login = oracleLogin(params, catalog);
    options.login.attributes.append(
        {QStringLiteral("FBS"), QString::number(kOracleFetchBufferBytes)});
    options.sessionStatements =
        oracleSessionStatements(locale.statementDateFormat(), locale.locale());
    return std::make_unique<OdbcEngine>(std::move(options));
}

} // namespace varnel::odbc
