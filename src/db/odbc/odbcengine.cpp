#include "db/odbc/odbcengine.h"

#include "base/civiltime.h"
#include "base/localetext.h"
#include "db/connectionstring.h"
#include "db/dberror.h"
#include "db/decimaltext.h"
#include "db/odbc/drivertext.h"
#include "db/odbc/oraclesession.h"

#include <QDateTime>
#include <QRegularExpression>

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
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

// UTF-16 to UTF-8 at the start of `out`, which only grows; the bytes written. A lone surrogate
// becomes U+FFFD, as QString would make it. A million rows of a log pass through here: once
// `out` has grown, nothing is allocated or cleared. The texts of a log are runs of ASCII and of
// Cyrillic: ASCII goes eight units at a time (all eight are stored, which the room of three
// bytes a unit holds, and the first that is not ASCII ends the run), two-byte characters in a
// loop of their own.
size_t toUtf8(std::string& out, const char16_t* text, size_t length)
{
    if (out.size() < length * 3) // no UTF-16 unit gives more than three bytes
        out.resize(length * 3);
    char* to = out.data();
    const char16_t* p = text;
    const char16_t* const end = text + length;
    while (p < end) {
#if defined(__SSE2__) || defined(_M_X64)
        while (end - p >= 8) {
            const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(to), _mm_packus_epi16(units, units));
            const __m128i high = _mm_and_si128(units, _mm_set1_epi16(short(0xFF80)));
            const auto ascii =
                unsigned(_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())));
            if (ascii != 0xFFFF) {
                const auto run = size_t(std::countr_one(ascii) / 2);
                p += run;
                to += run;
                break;
            }
            p += 8;
            to += 8;
        }
#endif
        while (p < end && *p < 0x80)
            *to++ = static_cast<char>(*p++);
        while (p < end && *p >= 0x80 && *p < 0x800) {
            to[0] = static_cast<char>(0xC0 | (*p >> 6));
            to[1] = static_cast<char>(0x80 | (*p & 0x3F));
            to += 2;
            ++p;
        }
        if (p == end || *p < 0x800)
            continue;
        char32_t c = *p++;
        if (c >= 0xD800 && c < 0xDC00 && p < end && *p >= 0xDC00 && *p < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (*p++ - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        if (c < 0x10000) {
            *to++ = static_cast<char>(0xE0 | (c >> 12));
        } else {
            *to++ = static_cast<char>(0xF0 | (c >> 18));
            *to++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        }
        *to++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *to++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return size_t(to - out.data());
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
        const QString message = driverText(text.data(), qsizetype(text.size()));
        for (const QString& line : message.split(QLatin1Char('\n'))) {
            const QString trimmed = line.trimmed();
            if (!trimmed.isEmpty() && !trimmed.startsWith(QLatin1String("Help: https://")))
                lines << trimmed;
        }
    }
    return lines.join(QLatin1Char('\n'));
}

// A text that SQLGetInfoW answers on a connection; empty when the driver gives none.
QString infoText(SQLHDBC dbc, SQLUSMALLINT type)
{
    SQLWCHAR text[256] = {};
    SQLSMALLINT bytes = 0;
    if (!SQL_SUCCEEDED(SQLGetInfoW(dbc, type, text, SQLSMALLINT(sizeof text), &bytes)))
        return {};
    return driverText(text, qsizetype(std::size(text)));
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

// Whether a diagnostic record of the statement is the SQLSTATE `state`, or the native error
// `native` when that is not 0.
bool diagnosed(SQLHSTMT handle, const char16_t* state, SQLINTEGER native = 0)
{
    for (SQLSMALLINT record = 1;; ++record) {
        SQLWCHAR found[6] = {};
        SQLINTEGER foundNative = 0;
        SQLSMALLINT length = 0;
        if (!SQL_SUCCEEDED(SQLGetDiagRecW(SQL_HANDLE_STMT, handle, record, found, &foundNative,
                                          nullptr, 0, &length)))
            return false;
        if (native != 0 ? foundNative == native
                        : std::char_traits<char16_t>::compare(
                              reinterpret_cast<const char16_t*>(found), state, 5) == 0)
            return true;
    }
}

[[noreturn]] void notNumber(const QString& column, std::string_view value)
{
    throw DbError(QStringLiteral("Column %1 holds \"%2\", which is not a number")
                      .arg(column, QString::fromUtf8(value.data(), qsizetype(value.size()))));
}

void addNumberText(RowSet::Builder& builder, int col, std::string_view text, const QString& column)
{
    // Most numbers of a log are whole: one that reads whole as a 64-bit integer means nothing
    // else, and is taken without plainDecimal's copy.
    int64_t whole = 0;
    const auto read = std::from_chars(text.data(), text.data() + text.size(), whole);
    if (read.ec == std::errc() && read.ptr == text.data() + text.size()) {
        builder.addInteger(col, whole);
        return;
    }
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
    // Wall-clock fields as the database holds them. Oracle's driver describes DATE and
    // TIMESTAMP alike: the fraction (in nanoseconds) of a TIMESTAMP is kept, never shown, so
    // that deleting the record can name its exact value.
    if (t.fraction > 999999999)
        throw DbError(QStringLiteral("The driver handed over %1 nanoseconds for a fraction of a "
                                     "second")
                          .arg(t.fraction));
    builder.addDate(col, civil::toSeconds(t.year, t.month, t.day, t.hour, t.minute, t.second),
                    t.fraction);
}

// How a result column is read: its C type, and the bytes one row of it takes bound.
struct ColumnPlan {
    QString name;
    ColumnType type = ColumnType::Text;
    SQLSMALLINT cType = SQL_C_WCHAR;
    SQLLEN width = 0;    // 0: no bound width (LONG, CLOB, unknown size): read in pieces
    bool binary = false; // RAW: hexadecimal digits
    bool lob = false;    // CLOB, NCLOB, LONG: a text of no bounded width
    int declared = 0;    // characters of a text column, when the driver tells
};

// One cell as the driver handed it over in its plan's C type, `length` bytes at `data` or
// SQL_NULL_DATA, into the snapshot. Bound arrays and values read in pieces both come here, so
// that a value reads alike whichever way it was fetched. `utf8` is room that only grows.
void addCell(RowSet::Builder& builder, int col, const ColumnPlan& plan, const char* data,
             SQLLEN length, std::string& utf8)
{
    if (length == SQL_NULL_DATA) {
        builder.addNull(col);
        return;
    }
    switch (plan.type) {
    case ColumnType::Number:
        addNumberText(builder, col, std::string_view(data, size_t(length)), plan.name);
        return;
    case ColumnType::Date: {
        // Copied out rather than cast: the bytes are the driver's, in a buffer of chars.
        SQL_TIMESTAMP_STRUCT stamp;
        std::memcpy(&stamp, data, sizeof stamp);
        addTimestamp(builder, col, stamp);
        return;
    }
    case ColumnType::Text:
        if (length == 0) {
            builder.addNull(col); // Oracle has no empty text
        } else if (plan.binary) {
            const QByteArray hex = QByteArray(data, length).toUpper();
            builder.addText(col, hex.constData(), size_t(hex.size()));
        } else {
            // Converted before utf8.data() is read: the conversion may move the room.
            const size_t bytes =
                toUtf8(utf8, reinterpret_cast<const char16_t*>(data), size_t(length) / 2);
            builder.addText(col, utf8.data(), bytes);
        }
        return;
    }
}

void addColumns(RowSet::Builder& builder, const std::vector<ColumnPlan>& plans)
{
    for (const ColumnPlan& plan : plans) {
        const int col = builder.addColumn(plan.name, plan.type, plan.declared);
        if (plan.lob)
            builder.setLob(col);
    }
}

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
        plan.lob = !plan.binary;
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
            engine.m_running = this;
        }
        // A cancel that came before the statement was known had nothing to reach.
        if (engine.callCancelled()) {
            release();
            throw DbError(QString::fromLatin1(kCancelledMessage));
        }
    }
    ~Statement() { release(); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    SQLHSTMT handle() const { return m_handle; }

    // The user cancelled this statement, or the call that it belongs to (only on the
    // connection's thread: the call's flag is the call's of that thread).
    bool cancelled() const { return cancelRequested() || m_engine.callCancelled(); }
    // From any thread, under the engine's lock: cancel() marks the statement, and SQLCancel
    // goes to it while a driver call runs, the only time it stops anything (and the only
    // time the driver manager expects it from another thread).
    void cancel() { m_cancelled.store(true); }
    bool cancelRequested() const { return m_cancelled.load(); }
    bool inDriverCall() const { return m_inCall.load(); }

    // A driver call that may take long (a round trip to the server). The mark goes up before
    // the cancel is looked at, and cancel() marks before it looks at the call: whichever
    // comes second sees the other, so that a cancel either stops the call before it starts
    // or reaches it with SQLCancel.
    template <class DriverCall> SQLRETURN stoppable(DriverCall&& call)
    {
        m_inCall.store(true);
        if (cancelled()) {
            m_inCall.store(false);
            stop();
        }
        const SQLRETURN rc = call();
        m_inCall.store(false);
        return rc;
    }
    // Between driver calls, which a cancel may have come between unseen: closes the cursor
    // and raises the cancel once there is one.
    void stopIfCancelled() const
    {
        if (cancelled())
            stop();
    }
    void check(SQLRETURN rc) const
    {
        if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA)
            fail();
    }
    // The driver's words for what failed, or for the cancel that the failure follows: after a
    // SQLCancel between two calls a driver manager may answer the next one with HY010
    // (function sequence error) or 24000 (invalid cursor state), which tell the user nothing,
    // and a SQLCancel sent again clears the diagnostics of the call before it.
    [[noreturn]] void fail() const
    {
        if (!cancelled())
            raise(SQL_HANDLE_STMT, m_handle);
        const QString message = diagnostics(SQL_HANDLE_STMT, m_handle);
        if (message.isEmpty() || diagnosed(m_handle, u"HY010") || diagnosed(m_handle, u"24000"))
            throw DbError(QString::fromLatin1(kCancelledMessage));
        throw DbError(message);
    }
    // The driver's own conversion could not hold a value (Oracle: ORA-01406).
    bool overflowed() const { return diagnosed(m_handle, nullptr, 1406); }

    // How the result's columns are read, asked of the driver once.
    const std::vector<ColumnPlan>& plans()
    {
        if (m_described)
            return m_plans;
        SQLSMALLINT count = 0;
        check(SQLNumResultCols(m_handle, &count));
        for (SQLUSMALLINT col = 1; col <= count; ++col) {
            SQLWCHAR name[256] = {};
            SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
            SQLULEN size = 0;
            check(SQLDescribeColW(m_handle, col, name, SQLSMALLINT(std::size(name)), &nameLength,
                                  &type, &size, &digits, &nullable));
            m_plans.push_back(planColumn(driverText(name, qsizetype(std::size(name))), type, size));
        }
        m_described = true;
        return m_plans;
    }
    // Every column has a width to bind it with.
    bool bindable()
    {
        return std::none_of(plans().begin(), plans().end(),
                            [](const ColumnPlan& plan) { return plan.width == 0; });
    }

private:
    [[noreturn]] void stop() const
    {
        SQLCloseCursor(m_handle);
        throw DbError(QString::fromLatin1(kCancelledMessage));
    }
    void release()
    {
        {
            const std::lock_guard lock(m_engine.m_runningLock);
            m_engine.m_running = nullptr;
        }
        SQLFreeHandle(SQL_HANDLE_STMT, m_handle);
    }

    OdbcEngine& m_engine;
    SQLHSTMT m_handle = SQL_NULL_HSTMT;
    std::atomic<bool> m_cancelled{false};
    std::atomic<bool> m_inCall{false};
    std::vector<ColumnPlan> m_plans;
    bool m_described = false;
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

    // Either answer is enough: without the session statements every date text of the program
    // would be read in the server's format. Oracle's driver is SQORA32.DLL or libsqora.so.
    m_oracle =
        infoText(h.dbc, SQL_DBMS_NAME).contains(QLatin1String("Oracle"), Qt::CaseInsensitive) ||
        infoText(h.dbc, SQL_DRIVER_NAME).contains(QLatin1String("sqora"), Qt::CaseInsensitive);
    if (m_oracle)
        for (const QString& statement : options.sessionStatements)
            execute(statement);
}

OdbcEngine::~OdbcEngine()
{
    std::thread repeater;
    {
        const std::lock_guard lock(m_runningLock);
        m_ending = true;
        repeater = std::move(m_repeater);
    }
    m_cancelled.notify_all();
    if (repeater.joinable())
        repeater.join();
}

void OdbcEngine::cancel()
{
    const std::lock_guard lock(m_runningLock);
    if (!m_running)
        return;
    m_running->cancel();
    if (m_running->inDriverCall())
        SQLCancel(m_running->handle());
    if (!m_repeater.joinable() && !m_ending)
        m_repeater = std::thread([this] { repeatCancels(); });
    m_cancelled.notify_all();
}

void OdbcEngine::repeatCancels()
{
    // Often enough that a call which a cancel missed ends well within the 200 ms a user waits.
    constexpr auto kEvery = std::chrono::milliseconds(25);
    std::unique_lock lock(m_runningLock);
    while (!m_ending) {
        if (!m_running || !m_running->cancelRequested()) {
            m_cancelled.wait(lock);
            continue;
        }
        m_cancelled.wait_for(lock, kEvery);
        if (!m_ending && m_running && m_running->cancelRequested() && m_running->inDriverCall())
            SQLCancel(m_running->handle());
    }
}

void OdbcEngine::run(Statement& statement, const QString& sql)
{
    statement.check(statement.stoppable(
        [&] { return SQLExecDirectW(statement.handle(), wide(sql), SQLINTEGER(sql.size())); }));
}

RowSet OdbcEngine::query(const QString& sql)
{
    countFetched(0);
    {
        Statement statement(*this);
        run(statement, sql);
        RowSet::Builder builder;
        if (!statement.bindable()) {
            fetchPieces(statement, builder);
            return builder.finish();
        }
        if (fetchBound(statement, builder))
            return builder.finish();
    }
    // A value wider than its buffer: all rows again, each value whole in as many pieces as it
    // takes.
    countFetched(0);
    Statement statement(*this);
    run(statement, sql);
    RowSet::Builder builder;
    fetchPieces(statement, builder);
    return builder.finish();
}

bool OdbcEngine::fetchBound(Statement& statement, RowSet::Builder& builder)
{
    const std::vector<ColumnPlan>& plans = statement.plans();
    SQLLEN rowBytes = 0;
    for (const ColumnPlan& plan : plans)
        rowBytes += plan.width + SQLLEN(sizeof(SQLLEN));
    addColumns(builder, plans);
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
        // A cancel between fetch calls finds no driver call to stop.
        const SQLRETURN rc =
            statement.stoppable([st] { return SQLFetchScroll(st, SQL_FETCH_NEXT, 0); });
        statement.stopIfCancelled();
        if (rc == SQL_NO_DATA)
            break;
        if (rc != SQL_SUCCESS && statement.overflowed())
            return false;
        statement.check(rc);
        reportProgress();
        countFetched(builder.rowCount() + int64_t(fetched));
        for (SQLULEN row = 0; row < fetched; ++row) {
            if (status[row] == SQL_ROW_ERROR)
                statement.fail();
            for (size_t col = 0; col < plans.size(); ++col) {
                const ColumnPlan& plan = plans[col];
                const SQLLEN length = bound[col].lengths[row];
                const SQLLEN room = plan.cType == SQL_C_WCHAR ? plan.width - 2 : plan.width - 1;
                if (plan.cType != SQL_C_TYPE_TIMESTAMP && (length == SQL_NO_TOTAL || length > room))
                    return false;
                addCell(builder, int(col), plan, bound[col].data.get() + size_t(plan.width) * row,
                        length, utf8);
            }
            builder.endRow();
        }
    }
    return true;
}

// The values of the row that SQLFetch made current, read with SQLGetData, each whole in as
// many pieces as it takes.
class OdbcEngine::Pieces {
public:
    explicit Pieces(Statement& statement) : m_statement(statement) {}
    Pieces(const Pieces&) = delete;
    Pieces& operator=(const Pieces&) = delete;

    // Column `col`'s value as addCell takes it: its bytes, valid until the next read, or
    // SQL_NULL_DATA.
    std::pair<const char*, SQLLEN> read(SQLUSMALLINT col, SQLSMALLINT cType);

private:
    Statement& m_statement;
    std::u16string m_wide;
    std::string m_bytes;
    SQLWCHAR m_widePiece[4096];
    char m_piece[8192];
    SQL_TIMESTAMP_STRUCT m_stamp{};
};

std::pair<const char*, SQLLEN> OdbcEngine::Pieces::read(SQLUSMALLINT col, SQLSMALLINT cType)
{
    const SQLHSTMT st = m_statement.handle();
    SQLLEN length = 0;
    if (cType == SQL_C_TYPE_TIMESTAMP) {
        m_statement.check(SQLGetData(st, col, cType, &m_stamp, sizeof m_stamp, &length));
        return {reinterpret_cast<const char*>(&m_stamp), length};
    }
    const bool asWide = cType == SQL_C_WCHAR;
    m_wide.clear();
    m_bytes.clear();
    // Each call hands over what fits, the last one the rest. A piece may end inside a
    // surrogate pair, so the units are joined before anything is decoded.
    for (bool more = true; more;) {
        // A LOB's piece may be a round trip of its own.
        const SQLRETURN rc = m_statement.stoppable([&] {
            return asWide ? SQLGetData(st, col, cType, m_widePiece, sizeof m_widePiece, &length)
                          : SQLGetData(st, col, cType, m_piece, sizeof m_piece, &length);
        });
        if (rc == SQL_NO_DATA)
            break;
        m_statement.check(rc);
        if (length == SQL_NULL_DATA)
            return {nullptr, SQL_NULL_DATA};
        const SQLLEN room = asWide ? SQLLEN(sizeof m_widePiece) - 2 : SQLLEN(sizeof m_piece) - 1;
        more = length == SQL_NO_TOTAL || length > room;
        SQLLEN got = more ? room : length;
        // A driver may end a piece one unit short rather than split a surrogate pair
        // between two pieces (SQL Server's documents it; the stand-in does it too): its
        // terminator then takes the piece's last unit, which is no part of the value.
        if (more && asWide && m_widePiece[got / 2 - 1] == 0)
            got -= 2;
        if (asWide)
            m_wide.append(reinterpret_cast<const char16_t*>(m_widePiece), size_t(got) / 2);
        else
            m_bytes.append(m_piece, size_t(got));
    }
    if (asWide)
        return {reinterpret_cast<const char*>(m_wide.data()), SQLLEN(m_wide.size()) * 2};
    return {m_bytes.data(), SQLLEN(m_bytes.size())};
}

void OdbcEngine::fetchPieces(Statement& statement, RowSet::Builder& builder)
{
    const std::vector<ColumnPlan>& plans = statement.plans();
    addColumns(builder, plans);
    const SQLHSTMT st = statement.handle();
    Pieces pieces(statement);
    std::string utf8;
    for (uint32_t rows = 0;; ++rows) {
        const SQLRETURN rc = statement.stoppable([st] { return SQLFetch(st); });
        statement.stopIfCancelled();
        if (rc == SQL_NO_DATA)
            break;
        statement.check(rc);
        if (rows % 256 == 0) {
            reportProgress();
            countFetched(rows);
        }
        for (size_t col = 0; col < plans.size(); ++col) {
            const auto [data, length] = pieces.read(SQLUSMALLINT(col + 1), plans[col].cType);
            addCell(builder, int(col), plans[col], data, length, utf8);
        }
        builder.endRow();
    }
}

int64_t OdbcEngine::execute(const QString& sql)
{
    // A statement that changes records is committed only when no cancel came while it ran: in
    // autocommit Oracle would keep a deletion that the user is then told was cancelled.
    static const QRegularExpression changesRecords(
        QStringLiteral("^\\s*(delete|insert|update|merge)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    std::optional<Transaction> transaction;
    if (changesRecords.match(sql).hasMatch())
        transaction.emplace(*this);
    Statement statement(*this);
    run(statement, sql);
    SQLLEN affected = -1;
    if (!SQL_SUCCEEDED(SQLRowCount(statement.handle(), &affected)))
        affected = -1;
    if (transaction) {
        checkCallCancelled();
        transaction->commit();
    }
    return affected;
}

OdbcEngine::Transaction::Transaction(OdbcEngine& engine) : m_engine(engine)
{
    m_engine.setAutocommit(false);
}

OdbcEngine::Transaction::~Transaction()
{
    // Nothing may be thrown from here: a rollback that fails leaves nothing a user could act on.
    if (!m_committed)
        SQLEndTran(SQL_HANDLE_DBC, m_engine.m_handles->dbc, SQL_ROLLBACK);
    SQLSetConnectAttrW(m_engine.m_handles->dbc, SQL_ATTR_AUTOCOMMIT,
                       reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), SQL_IS_UINTEGER);
}

void OdbcEngine::Transaction::commit()
{
    m_engine.endTransaction(true);
    m_committed = true;
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
    Transaction transaction(*this);
    {
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
                // QDateTime holds milliseconds; a driver keeps as many digits of the fraction as
                // the parameter's precision says: none for a whole second, as before.
                const auto fraction = SQLUINTEGER(at.time().msec()) * 1000000;
                stamps[i] = {SQLSMALLINT(at.date().year()),
                             SQLUSMALLINT(at.date().month()),
                             SQLUSMALLINT(at.date().day()),
                             SQLUSMALLINT(at.time().hour()),
                             SQLUSMALLINT(at.time().minute()),
                             SQLUSMALLINT(at.time().second()),
                             fraction};
                lengths[i] = sizeof(SQL_TIMESTAMP_STRUCT);
                s.check(SQLBindParameter(s.handle(), number, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP,
                                         SQL_TYPE_TIMESTAMP, fraction ? 23 : 19, fraction ? 3 : 0,
                                         &stamps[i], lengths[i], &lengths[i]));
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
        const SQLRETURN rc = s.stoppable([&s] { return SQLExecute(s.handle()); });
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
        // Cancelled before it is committed: rolled back, as if it had been stopped.
        checkCallCancelled();
    }
    transaction.commit();
    // Checked here, where the transaction's own restore (which must not throw) would hide a
    // failure: the record is gone, but a connection left in manual commit would hold every
    // later change open.
    setAutocommit(true);
}

std::unique_ptr<Engine> openOracle(const ConnectionParams& params, const LocaleText& locale,
                                   const OdbcCatalog& catalog)
{
    // Oracle's client reads NLS_LANG as the driver loads it, at the first connect.
    const QByteArray nlsLang = qgetenv("NLS_LANG");
    if (const QByteArray wanted = oracleNlsLang(nlsLang); wanted != nlsLang)
        qputenv("NLS_LANG", wanted);
    OdbcEngine::Options options;
    options.login = oracleLogin(params, catalog);
    options.login.attributes.append(
        {{QStringLiteral("FBS"), QString::number(kOracleFetchBufferBytes)},
         // No failover: a session that Oracle's driver fails over to has none of the session
         // statements below, and would read every date text of the program in the server's
         // format. A lost instance fails the statement instead, as a lost server does.
         {QStringLiteral("FEN"), QStringLiteral("F")}});
    options.sessionStatements =
        oracleSessionStatements(locale.statementDateFormat(), locale.locale());
    return std::make_unique<OdbcEngine>(std::move(options));
}

} // namespace varnel::odbc
