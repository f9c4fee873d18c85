// The ODBC entry points that the driver manager finds in the library by name. Each one checks
// its handle, empties the handle's diagnostics and turns whatever the driver raises into a
// diagnostic record: no exception leaves the library. The narrow functions read and write text
// in the client character set of NLS_LANG, as Oracle's driver does, whatever the application
// meant its bytes to be.

#include "db/dberror.h"
#include "handles.h"

#include <sqlucode.h>

#include <cstring>
#include <optional>

#define VARNEL_ODBC_EXPORT extern "C" __attribute__((visibility("default")))

using namespace varnel;
using namespace varnel::standin;

namespace {

template <typename T> T* as(SQLHANDLE handle)
{
    auto* h = static_cast<Handle*>(handle);
    return h != nullptr && h->kind == T::kKind ? static_cast<T*>(h) : nullptr;
}

template <typename T> SQLHANDLE handleOf(T* object)
{
    return static_cast<Handle*>(object);
}

template <typename T, typename Body> SQLRETURN call(SQLHANDLE handle, Body&& body)
{
    T* h = as<T>(handle);
    if (h == nullptr)
        return SQL_INVALID_HANDLE;
    h->diagnostics.clear();
    try {
        return body(*h);
    } catch (const Failure& failure) {
        h->diagnostics.push_back(failure.record);
    } catch (const DbError& error) {
        h->diagnostics.push_back(oracleRecord(error.message()));
    } catch (const std::exception& error) {
        h->diagnostics.push_back(driverRecord("HY000", error.what()));
    } catch (...) {
        h->diagnostics.push_back(driverRecord("HY000", "General error"));
    }
    return SQL_ERROR;
}

Charset environmentCharset()
{
    return clientSettings(qgetenv("NLS_LANG")).charset;
}

Charset charsetOf(const Connection& c)
{
    return c.connected() ? c.client().charset : environmentCharset();
}

QString textIn(const void* text, SQLINTEGER length, bool wide, Charset charset)
{
    const ptrdiff_t n = length == SQL_NTS ? -1 : length;
    return wide ? fromUtf16(static_cast<const char16_t*>(text), n)
                : fromCharset(static_cast<const char*>(text), n, charset);
}

// A text result: `length` gets the whole length, in characters of the call's width when
// `inCharacters`, else in bytes; a cut text is SQL_SUCCESS_WITH_INFO with 01004.
template <typename Length>
SQLRETURN textOut(Handle& h, std::string_view utf8, bool wide, Charset charset, void* buffer,
                  ptrdiff_t bufferBytes, Length* length, bool inCharacters)
{
    const Piece piece = writeText(utf8, wide, charset, buffer, bufferBytes);
    if (length != nullptr)
        *length = static_cast<Length>(wide && inCharacters ? piece.needed / 2 : piece.needed);
    if (buffer != nullptr && piece.consumed < utf8.size()) {
        h.diagnostics.push_back(driverRecord("01004", "String data, right truncated."));
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

SQLRETURN driverConnect(SQLHDBC dbc, const void* in, SQLSMALLINT inLength, void* out,
                        SQLSMALLINT outMax, SQLSMALLINT* outLength, bool wide)
{
    return call<Connection>(dbc, [&](Connection& c) -> SQLRETURN {
        if (c.connected())
            fail("08002", "Connection name in use");
        const Charset charset = environmentCharset();
        const QString text = textIn(in, inLength, wide, charset);
        c.connect(text);
        // The completed connection string is the one given: nothing was prompted for.
        return textOut(c, text.toStdString(), wide, charset, out, outMax * (wide ? 2 : 1),
                       outLength, true);
    });
}

SQLRETURN setConnectAttr(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value)
{
    return call<Connection>(dbc, [&](Connection& c) -> SQLRETURN {
        switch (attribute) {
        case SQL_ATTR_AUTOCOMMIT:
            c.setAutocommit(reinterpret_cast<SQLULEN>(value) == SQL_AUTOCOMMIT_ON);
            return SQL_SUCCESS;
        case SQL_ATTR_ASYNC_ENABLE:
            if (reinterpret_cast<SQLULEN>(value) != SQL_ASYNC_ENABLE_OFF)
                fail("HYC00", "Optional feature not implemented.");
            return SQL_SUCCESS;
        // What the driver manager passes on at every connect (SQLConnect.c: SQL_ATTR_ANSI_APP,
        // and the attributes that the application set before connecting), taken and ignored.
        case SQL_ATTR_ANSI_APP:
        case SQL_ATTR_LOGIN_TIMEOUT:
        case SQL_ATTR_CONNECTION_TIMEOUT:
        case SQL_ATTR_ACCESS_MODE:
        case SQL_ATTR_TXN_ISOLATION:
        case SQL_ATTR_QUIET_MODE:
        case SQL_ATTR_PACKET_SIZE:
        case SQL_ATTR_AUTO_IPD:
        case SQL_ATTR_METADATA_ID:
            return SQL_SUCCESS;
        default:
            fail("HY092", "Invalid attribute/option identifier");
        }
    });
}

SQLRETURN getConnectAttr(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER* length)
{
    return call<Connection>(dbc, [&](Connection& c) -> SQLRETURN {
        SQLUINTEGER number = 0;
        switch (attribute) {
        case SQL_ATTR_AUTOCOMMIT:
            number = c.autocommit() ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
            break;
        case SQL_ATTR_TXN_ISOLATION:
            number = SQL_TXN_READ_COMMITTED;
            break;
        case SQL_ATTR_ACCESS_MODE:
            number = SQL_MODE_READ_WRITE;
            break;
        case SQL_ATTR_CONNECTION_DEAD:
            number = c.connected() ? SQL_CD_FALSE : SQL_CD_TRUE;
            break;
        case SQL_ATTR_LOGIN_TIMEOUT:
        case SQL_ATTR_CONNECTION_TIMEOUT:
        case SQL_ATTR_ASYNC_ENABLE:
            break;
        default:
            fail("HY092", "Invalid attribute/option identifier");
        }
        if (value != nullptr)
            *static_cast<SQLUINTEGER*>(value) = number;
        if (length != nullptr)
            *length = sizeof number;
        return SQL_SUCCESS;
    });
}

SQLRETURN getInfo(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT bufferBytes,
                  SQLSMALLINT* length, bool wide)
{
    return call<Connection>(dbc, [&](Connection& c) -> SQLRETURN {
        std::optional<std::string> text;
        SQLUINTEGER number = 0;
        bool small = false; // an SQLUSMALLINT value
        switch (type) {
        case SQL_DBMS_NAME:
            text = "Oracle";
            break;
        case SQL_DBMS_VER:
            text = "19.00.0000";
            break;
        case SQL_DRIVER_NAME:
            text = "libsqora.so.19.1";
            break;
        case SQL_DRIVER_VER:
            text = "19.01.00.00";
            break;
        case SQL_DRIVER_ODBC_VER:
            text = "03.52";
            break;
        case SQL_SERVER_NAME:
            text = c.database().toStdString();
            break;
        case SQL_USER_NAME:
            text = c.user().toStdString();
            break;
        case SQL_IDENTIFIER_QUOTE_CHAR:
            text = "\"";
            break;
        case SQL_MULT_RESULT_SETS:
        case SQL_DATA_SOURCE_READ_ONLY:
            text = "N";
            break;
        case SQL_GETDATA_EXTENSIONS:
            number = SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER | SQL_GD_BOUND;
            break;
        // Asked by the driver manager: whether it needs its cursor library (SQLConnect.c,
        // SQL_CUR_USE_IF_NEEDED) and how a transaction's end leaves cursors (SQLEndTran.c).
        case SQL_STATIC_CURSOR_ATTRIBUTES1:
        case SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1:
            number = SQL_CA1_NEXT;
            break;
        case SQL_FETCH_DIRECTION:
            number = SQL_FD_FETCH_NEXT;
            break;
        case SQL_SCROLL_OPTIONS:
            number = SQL_SO_FORWARD_ONLY;
            break;
        case SQL_CURSOR_COMMIT_BEHAVIOR:
        case SQL_CURSOR_ROLLBACK_BEHAVIOR:
            small = true;
            number = SQL_CB_PRESERVE;
            break;
        case SQL_TXN_CAPABLE:
            small = true;
            number = SQL_TC_DDL_COMMIT;
            break;
        case SQL_MAX_CONCURRENT_ACTIVITIES:
            small = true;
            break;
        case SQL_DEFAULT_TXN_ISOLATION:
            number = SQL_TXN_READ_COMMITTED;
            break;
        case SQL_ASYNC_MODE:
            number = SQL_AM_NONE;
            break;
        default:
            fail("HY096", "Information type out of range");
        }
        if (text)
            return textOut(c, *text, wide, charsetOf(c), value, bufferBytes, length, false);
        if (value != nullptr) {
            if (small)
                *static_cast<SQLUSMALLINT*>(value) = static_cast<SQLUSMALLINT>(number);
            else
                *static_cast<SQLUINTEGER*>(value) = number;
        }
        if (length != nullptr)
            *length = small ? sizeof(SQLUSMALLINT) : sizeof(SQLUINTEGER);
        return SQL_SUCCESS;
    });
}

SQLRETURN describeCol(SQLHSTMT stmt, SQLUSMALLINT number, void* name, SQLSMALLINT bufferChars,
                      SQLSMALLINT* nameLength, SQLSMALLINT* dataType, SQLULEN* size,
                      SQLSMALLINT* digits, SQLSMALLINT* nullable, bool wide)
{
    return call<Statement>(stmt, [&](Statement& s) -> SQLRETURN {
        const ResultColumn& column = s.resultColumn(number);
        if (dataType != nullptr)
            *dataType = column.sqlType;
        if (size != nullptr)
            *size = column.size;
        if (digits != nullptr)
            *digits = 0;
        if (nullable != nullptr)
            *nullable = SQL_NULLABLE;
        return textOut(s, column.name, wide, s.connection().client().charset, name,
                       bufferChars * (wide ? 2 : 1), nameLength, true);
    });
}

SQLRETURN colAttribute(SQLHSTMT stmt, SQLUSMALLINT number, SQLUSMALLINT field, void* text,
                       SQLSMALLINT bufferBytes, SQLSMALLINT* length, SQLLEN* numeric, bool wide)
{
    return call<Statement>(stmt, [&](Statement& s) -> SQLRETURN {
        const auto put = [&](SQLLEN value) {
            if (numeric != nullptr)
                *numeric = value;
            return SQL_SUCCESS;
        };
        if (field == SQL_DESC_COUNT || field == SQL_COLUMN_COUNT)
            return put(static_cast<SQLLEN>(s.resultColumns().size()));
        const ResultColumn& column = s.resultColumn(number);
        const auto string = [&](std::string_view value) {
            return textOut(s, value, wide, s.connection().client().charset, text, bufferBytes,
                           length, false);
        };
        const bool isText = column.sqlType == SQL_VARCHAR;
        const auto size = static_cast<SQLLEN>(column.size);
        switch (field) {
        case SQL_DESC_NAME:
        case SQL_DESC_LABEL:
        case SQL_DESC_BASE_COLUMN_NAME:
        case SQL_COLUMN_NAME:
            return string(column.name);
        case SQL_DESC_TYPE_NAME:
            return string(column.sqlType == SQL_TYPE_TIMESTAMP ? "DATE"
                                                               : (isText ? "VARCHAR2" : "NUMBER"));
        case SQL_DESC_TABLE_NAME:
        case SQL_DESC_BASE_TABLE_NAME:
        case SQL_DESC_SCHEMA_NAME:
        case SQL_DESC_CATALOG_NAME:
            return string("");
        case SQL_DESC_CONCISE_TYPE: // ODBC 2's SQL_COLUMN_TYPE
            return put(column.sqlType);
        case SQL_DESC_TYPE:
            return put(column.sqlType == SQL_TYPE_TIMESTAMP ? SQL_DATETIME : column.sqlType);
        case SQL_DESC_LENGTH:
        case SQL_COLUMN_LENGTH:
        case SQL_DESC_PRECISION:
        case SQL_COLUMN_PRECISION:
            return put(column.sqlType == SQL_TYPE_TIMESTAMP &&
                               (field == SQL_DESC_PRECISION || field == SQL_COLUMN_PRECISION)
                           ? 0
                           : size);
        case SQL_DESC_OCTET_LENGTH:
            return put(isText ? size
                              : (column.sqlType == SQL_TYPE_TIMESTAMP
                                     ? static_cast<SQLLEN>(sizeof(SQL_TIMESTAMP_STRUCT))
                                     : static_cast<SQLLEN>(sizeof(double))));
        case SQL_DESC_DISPLAY_SIZE:
            return put(isText || column.sqlType == SQL_TYPE_TIMESTAMP ? size : 24);
        case SQL_DESC_SCALE:
        case SQL_COLUMN_SCALE:
        case SQL_DESC_AUTO_UNIQUE_VALUE:
        case SQL_DESC_FIXED_PREC_SCALE:
            return put(0);
        case SQL_DESC_NULLABLE:
        case SQL_COLUMN_NULLABLE:
            return put(SQL_NULLABLE);
        case SQL_DESC_UNSIGNED:
            return put(isText || column.sqlType == SQL_TYPE_TIMESTAMP ? SQL_TRUE : SQL_FALSE);
        case SQL_DESC_CASE_SENSITIVE:
            return put(isText ? SQL_TRUE : SQL_FALSE);
        case SQL_DESC_SEARCHABLE:
            return put(SQL_PRED_SEARCHABLE);
        case SQL_DESC_UPDATABLE:
            return put(SQL_ATTR_READWRITE_UNKNOWN);
        default:
            fail("HY091", "Invalid descriptor field identifier");
        }
    });
}

SQLRETURN setStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value)
{
    return call<Statement>(stmt, [&](Statement& s) -> SQLRETURN {
        const auto number = reinterpret_cast<SQLULEN>(value);
        const auto onlyValue = [&](SQLULEN supported) {
            if (number == supported)
                return SQL_SUCCESS;
            s.diagnostics.push_back(driverRecord("01S02", "Option value changed"));
            return SQL_SUCCESS_WITH_INFO;
        };
        switch (attribute) {
        case SQL_ATTR_ROW_ARRAY_SIZE:
            if (number == 0)
                fail("HY024", "Invalid attribute value");
            s.fetchSettings().rowArraySize = number;
            return SQL_SUCCESS;
        case SQL_ATTR_ROWS_FETCHED_PTR:
            s.fetchSettings().rowsFetched = static_cast<SQLULEN*>(value);
            return SQL_SUCCESS;
        case SQL_ATTR_ROW_STATUS_PTR:
            s.fetchSettings().rowStatus = static_cast<SQLUSMALLINT*>(value);
            return SQL_SUCCESS;
        case SQL_ATTR_ROW_BIND_TYPE:
            if (number != SQL_BIND_BY_COLUMN)
                fail("HYC00", "Optional feature not implemented.");
            return SQL_SUCCESS;
        case SQL_ATTR_CURSOR_TYPE:
            return onlyValue(SQL_CURSOR_FORWARD_ONLY);
        case SQL_ATTR_CONCURRENCY:
            return onlyValue(SQL_CONCUR_READ_ONLY);
        case SQL_ATTR_QUERY_TIMEOUT:
            return onlyValue(0);
        default:
            fail("HY092", "Invalid attribute/option identifier");
        }
    });
}

SQLRETURN getStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER* length)
{
    return call<Statement>(stmt, [&](Statement& s) -> SQLRETURN {
        SQLULEN number = 0;
        void* pointer = nullptr;
        switch (attribute) {
        // The driver manager asks for the four implicit descriptors of every new statement
        // (SQLAllocHandle.c) and keeps them as they are.
        case SQL_ATTR_APP_ROW_DESC:
        case SQL_ATTR_APP_PARAM_DESC:
        case SQL_ATTR_IMP_ROW_DESC:
        case SQL_ATTR_IMP_PARAM_DESC:
            pointer = s.descriptor(attribute - SQL_ATTR_APP_ROW_DESC);
            break;
        case SQL_ATTR_ROWS_FETCHED_PTR:
            pointer = s.fetchSettings().rowsFetched;
            break;
        case SQL_ATTR_ROW_STATUS_PTR:
            pointer = s.fetchSettings().rowStatus;
            break;
        case SQL_ATTR_ROW_ARRAY_SIZE:
            number = s.fetchSettings().rowArraySize;
            break;
        case SQL_ATTR_ROW_BIND_TYPE:
            number = SQL_BIND_BY_COLUMN;
            break;
        case SQL_ATTR_CURSOR_TYPE:
            number = SQL_CURSOR_FORWARD_ONLY;
            break;
        case SQL_ATTR_CONCURRENCY:
            number = SQL_CONCUR_READ_ONLY;
            break;
        case SQL_ATTR_QUERY_TIMEOUT:
            break;
        default:
            fail("HY092", "Invalid attribute/option identifier");
        }
        if (value != nullptr)
            *static_cast<SQLULEN*>(value) =
                pointer != nullptr ? reinterpret_cast<SQLULEN>(pointer) : number;
        if (length != nullptr)
            *length = sizeof(SQLULEN);
        return SQL_SUCCESS;
    });
}

Handle* diagnosticsOf(SQLSMALLINT type, SQLHANDLE handle)
{
    switch (type) {
    case SQL_HANDLE_ENV:
        return as<Environment>(handle);
    case SQL_HANDLE_DBC:
        return as<Connection>(handle);
    case SQL_HANDLE_STMT:
        return as<Statement>(handle);
    default:
        return nullptr;
    }
}

Charset charsetOf(SQLSMALLINT type, SQLHANDLE handle)
{
    if (type == SQL_HANDLE_DBC)
        return charsetOf(*as<Connection>(handle));
    if (type == SQL_HANDLE_STMT)
        return as<Statement>(handle)->connection().client().charset;
    return environmentCharset();
}

// The diagnostic functions leave the records as they are: they are how the records are read.
SQLRETURN getDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT number, void* state,
                     SQLINTEGER* native, void* message, SQLSMALLINT bufferChars,
                     SQLSMALLINT* length, bool wide)
{
    Handle* h = diagnosticsOf(type, handle);
    if (h == nullptr)
        return SQL_INVALID_HANDLE;
    if (number < 1)
        return SQL_ERROR;
    if (static_cast<size_t>(number) > h->diagnostics.size())
        return SQL_NO_DATA;
    const DiagRecord& record = h->diagnostics[static_cast<size_t>(number - 1)];
    const Charset charset = charsetOf(type, handle);
    if (state != nullptr)
        writeText(record.sqlstate, wide, charset, state, 6 * (wide ? 2 : 1));
    if (native != nullptr)
        *native = record.native;
    const Piece piece = writeText(record.message, wide, charset, message,
                                  static_cast<ptrdiff_t>(bufferChars) * (wide ? 2 : 1));
    // In bytes for the wide call too, where ODBC counts characters: Oracle's driver does so
    // (12.2 and 19.3, as pyodbc's users found), so a client that trusts the length reads as
    // many characters again past the message's end.
    if (length != nullptr)
        *length = static_cast<SQLSMALLINT>(piece.needed);
    return message != nullptr && piece.consumed < record.message.size() ? SQL_SUCCESS_WITH_INFO
                                                                        : SQL_SUCCESS;
}

SQLRETURN getDiagField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT number, SQLSMALLINT field,
                       void* value, SQLSMALLINT bufferBytes, SQLSMALLINT* length, bool wide)
{
    Handle* h = diagnosticsOf(type, handle);
    if (h == nullptr)
        return SQL_INVALID_HANDLE;
    auto* statement = type == SQL_HANDLE_STMT ? static_cast<Statement*>(h) : nullptr;
    const auto integer = [&](SQLINTEGER v) {
        if (value != nullptr)
            *static_cast<SQLINTEGER*>(value) = v;
        return SQL_SUCCESS;
    };
    const auto count = [&](SQLLEN v) {
        if (value != nullptr)
            *static_cast<SQLLEN*>(value) = v;
        return SQL_SUCCESS;
    };
    const auto text = [&](std::string_view v) {
        const Piece piece = writeText(v, wide, charsetOf(type, handle), value, bufferBytes);
        if (length != nullptr)
            *length = static_cast<SQLSMALLINT>(piece.needed);
        return value != nullptr && piece.consumed < v.size() ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
    };
    switch (field) { // the header
    case SQL_DIAG_NUMBER:
        return integer(static_cast<SQLINTEGER>(h->diagnostics.size()));
    case SQL_DIAG_ROW_COUNT:
        return statement != nullptr ? count(statement->rowCount()) : SQL_ERROR;
    case SQL_DIAG_CURSOR_ROW_COUNT:
        return statement != nullptr ? count(statement->cursorRowCount()) : SQL_ERROR;
    case SQL_DIAG_DYNAMIC_FUNCTION:
        return statement != nullptr ? text("") : SQL_ERROR;
    case SQL_DIAG_DYNAMIC_FUNCTION_CODE:
        return statement != nullptr ? integer(SQL_DIAG_UNKNOWN_STATEMENT) : SQL_ERROR;
    default:
        break;
    }
    if (number < 1)
        return SQL_ERROR;
    if (static_cast<size_t>(number) > h->diagnostics.size())
        return SQL_NO_DATA;
    const DiagRecord& record = h->diagnostics[static_cast<size_t>(number - 1)];
    const bool odbcClass = record.sqlstate.starts_with("HY") || record.sqlstate.starts_with("IM");
    switch (field) {
    case SQL_DIAG_SQLSTATE:
        return text(record.sqlstate);
    case SQL_DIAG_NATIVE:
        return integer(record.native);
    case SQL_DIAG_MESSAGE_TEXT:
        return text(record.message);
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_SUBCLASS_ORIGIN:
        return text(odbcClass ? "ODBC 3.0" : "ISO 9075");
    case SQL_DIAG_CONNECTION_NAME:
        return text("");
    case SQL_DIAG_SERVER_NAME:
        return text(type == SQL_HANDLE_DBC ? static_cast<Connection*>(h)->database().toStdString()
                                           : std::string());
    case SQL_DIAG_COLUMN_NUMBER:
        return integer(SQL_NO_COLUMN_NUMBER);
    case SQL_DIAG_ROW_NUMBER:
        return count(SQL_NO_ROW_NUMBER);
    default:
        return SQL_ERROR;
    }
}

} // namespace

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input,
                                                    SQLHANDLE* output)
{
    if (output == nullptr)
        return SQL_ERROR;
    switch (type) {
    case SQL_HANDLE_ENV:
        *output = handleOf(new Environment);
        return SQL_SUCCESS;
    case SQL_HANDLE_DBC:
        if (as<Environment>(input) == nullptr)
            return SQL_INVALID_HANDLE;
        *output = handleOf(new Connection(*as<Environment>(input)));
        return SQL_SUCCESS;
    case SQL_HANDLE_STMT:
        return call<Connection>(input, [&](Connection& c) -> SQLRETURN {
            if (!c.connected())
                fail("08003", "Connection not open");
            auto* statement = new Statement(c);
            c.adopt(statement);
            *output = handleOf(statement);
            return SQL_SUCCESS;
        });
    default:
        return SQL_ERROR;
    }
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle)
{
    switch (type) {
    case SQL_HANDLE_ENV:
        if (as<Environment>(handle) == nullptr)
            return SQL_INVALID_HANDLE;
        delete as<Environment>(handle);
        return SQL_SUCCESS;
    case SQL_HANDLE_DBC:
        if (as<Connection>(handle) == nullptr)
            return SQL_INVALID_HANDLE;
        delete as<Connection>(handle);
        return SQL_SUCCESS;
    case SQL_HANDLE_STMT: {
        Statement* statement = as<Statement>(handle);
        if (statement == nullptr)
            return SQL_INVALID_HANDLE;
        statement->connection().release(statement);
        delete statement;
        return SQL_SUCCESS;
    }
    default:
        return SQL_ERROR;
    }
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV env, SQLINTEGER attribute,
                                                   SQLPOINTER value, SQLINTEGER)
{
    return call<Environment>(env, [&](Environment& e) -> SQLRETURN {
        if (attribute == SQL_ATTR_ODBC_VERSION)
            e.odbcVersion = static_cast<SQLINTEGER>(reinterpret_cast<intptr_t>(value));
        else if (attribute != SQL_ATTR_OUTPUT_NTS && attribute != SQL_ATTR_CONNECTION_POOLING &&
                 attribute != SQL_ATTR_CP_MATCH)
            fail("HY092", "Invalid attribute/option identifier");
        return SQL_SUCCESS;
    });
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV env, SQLINTEGER attribute,
                                                   SQLPOINTER value, SQLINTEGER, SQLINTEGER* length)
{
    return call<Environment>(env, [&](Environment& e) -> SQLRETURN {
        if (attribute != SQL_ATTR_ODBC_VERSION && attribute != SQL_ATTR_OUTPUT_NTS)
            fail("HY092", "Invalid attribute/option identifier");
        if (value != nullptr)
            *static_cast<SQLINTEGER*>(value) =
                attribute == SQL_ATTR_ODBC_VERSION ? e.odbcVersion : SQL_TRUE;
        if (length != nullptr)
            *length = sizeof(SQLINTEGER);
        return SQL_SUCCESS;
    });
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC dbc, SQLHWND, SQLWCHAR* in,
                                                       SQLSMALLINT inLength, SQLWCHAR* out,
                                                       SQLSMALLINT outMax, SQLSMALLINT* outLength,
                                                       SQLUSMALLINT)
{
    return driverConnect(dbc, in, inLength, out, outMax, outLength, true);
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLDriverConnect(SQLHDBC dbc, SQLHWND, SQLCHAR* in,
                                                      SQLSMALLINT inLength, SQLCHAR* out,
                                                      SQLSMALLINT outMax, SQLSMALLINT* outLength,
                                                      SQLUSMALLINT)
{
    return driverConnect(dbc, in, inLength, out, outMax, outLength, false);
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLDisconnect(SQLHDBC dbc)
{
    return call<Connection>(dbc, [](Connection& c) -> SQLRETURN {
        c.disconnect();
        return SQL_SUCCESS;
    });
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLSetConnectAttrW(SQLHDBC dbc, SQLINTEGER attribute,
                                                        SQLPOINTER value, SQLINTEGER)
{
    return setConnectAttr(dbc, attribute, value);
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC dbc, SQLINTEGER attribute,
                                                       SQLPOINTER value, SQLINTEGER)
{
    return setConnectAttr(dbc, attribute, value);
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLGetConnectAttrW(SQLHDBC dbc, SQLINTEGER attribute,
                                                        SQLPOINTER value, SQLINTEGER,
                                                        SQLINTEGER* length)
{
    return getConnectAttr(dbc, attribute, value, length);
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC dbc, SQLINTEGER attribute,
                                                       SQLPOINTER value, SQLINTEGER,
                                                       SQLINTEGER* length)
{
    return getConnectAttr(dbc, attribute, value, length);
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLGetInfoW(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value,
                                                 SQLSMALLINT bufferBytes, SQLSMALLINT* length)
{
    return getInfo(dbc, type, value, bufferBytes, length, true);
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLGetInfo(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value,
                                                SQLSMALLINT bufferBytes, SQLSMALLINT* length)
{
    return getInfo(dbc, type, value, bufferBytes, length, false);
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE handle,
                                                SQLSMALLINT completion)
{
    // The driver manager ends an environment's transactions connection by connection.
    if (type != SQL_HANDLE_DBC)
        return SQL_SUCCESS;
    return call<Connection>(handle, [&](Connection& c) -> SQLRETURN {
        if (completion != SQL_COMMIT && completion != SQL_ROLLBACK)
            fail("HY012", "Invalid transaction operation code");
        c.endTransaction(completion == SQL_COMMIT);
        return SQL_SUCCESS;
    });
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLExecDirectW(SQLHSTMT stmt, SQLWCHAR* text,
                                                    SQLINTEGER length)
{
    return call<Statement>(
        stmt, [&](Statement& s) -> SQLRETURN { return s.execute(textIn(text, length, true, {})); });
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLExecDirect(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length)
{
    return call<Statement>(stmt, [&](Statement& s) -> SQLRETURN {
        return s.execute(textIn(text, length, false, s.connection().client().charset));
    });
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLPrepareW(SQLHSTMT stmt, SQLWCHAR* text, SQLINTEGER length)
{
    return call<Statement>(stmt, [&](Statement& s) -> SQLRETURN {
        s.prepare(textIn(text, length, true, {}));
        return SQL_SUCCESS;
    });
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLPrepare(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length)
{
    return call<Statement>(stmt, [&](Statement& s) -> SQLRETURN {
        s.prepare(textIn(text, length, false, s.connection().client().charset));
        return SQL_SUCCESS;
    });
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLExecute(SQLHSTMT stmt)
{
    return call<Statement>(stmt, [](Statement& s) -> SQLRETURN { return s.executePrepared(); });
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLBindParameter(SQLHSTMT stmt, SQLUSMALLINT number,
                                                      SQLSMALLINT direction, SQLSMALLINT cType,
                                                      SQLSMALLINT, SQLULEN, SQLSMALLINT,
                                                      SQLPOINTER value, SQLLEN bufferLength,
                                                      SQLLEN* indicator)
{
    return call<Statement>(stmt, [&](Statement& s) -> SQLRETURN {
        if (direction != SQL_PARAM_INPUT)
            fail("HYC00", "Optional feature not implemented.");
        s.bindParameter(number, {cType, value, bufferLength, indicator});
        return SQL_SUCCESS;
    });
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT stmt, SQLSMALLINT* count)
{
    return call<Statement>(stmt, [&](Statement& s) -> SQLRETURN {
        if (count != nullptr)
            *count = static_cast<SQLSMALLINT>(s.resultColumns().size());
        return SQL_SUCCESS;
    });
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLDescribeColW(SQLHSTMT stmt, SQLUSMALLINT number,
                                                     SQLWCHAR* name, SQLSMALLINT bufferChars,
                                                     SQLSMALLINT* nameLength, SQLSMALLINT* dataType,
                                                     SQLULEN* size, SQLSMALLINT* digits,
                                                     SQLSMALLINT* nullable)
{
    return describeCol(stmt, number, name, bufferChars, nameLength, dataType, size, digits,
                       nullable, true);
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT stmt, SQLUSMALLINT number,
                                                    SQLCHAR* name, SQLSMALLINT bufferChars,
                                                    SQLSMALLINT* nameLength, SQLSMALLINT* dataType,
                                                    SQLULEN* size, SQLSMALLINT* digits,
                                                    SQLSMALLINT* nullable)
{
    return describeCol(stmt, number, name, bufferChars, nameLength, dataType, size, digits,
                       nullable, false);
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLColAttributeW(SQLHSTMT stmt, SQLUSMALLINT number,
                                                      SQLUSMALLINT field, SQLPOINTER text,
                                                      SQLSMALLINT bufferBytes, SQLSMALLINT* length,
                                                      SQLLEN* numeric)
{
    return colAttribute(stmt, number, field, text, bufferBytes, length, numeric, true);
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLColAttribute(SQLHSTMT stmt, SQLUSMALLINT number,
                                                     SQLUSMALLINT field, SQLPOINTER text,
                                                     SQLSMALLINT bufferBytes, SQLSMALLINT* length,
                                                     SQLLEN* numeric)
{
    return colAttribute(stmt, number, field, text, bufferBytes, length, numeric, false);
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLBindCol(SQLHSTMT stmt, SQLUSMALLINT number,
                                                SQLSMALLINT cType, SQLPOINTER value,
                                                SQLLEN bufferLength, SQLLEN* indicator)
{
    return call<Statement>(stmt, [&](Statement& s) -> SQLRETURN {
        s.bindColumn(number, {cType, static_cast<char*>(value), bufferLength, indicator});
        return SQL_SUCCESS;
    });
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLSetStmtAttrW(SQLHSTMT stmt, SQLINTEGER attribute,
                                                     SQLPOINTER value, SQLINTEGER)
{
    return setStmtAttr(stmt, attribute, value);
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute,
                                                    SQLPOINTER value, SQLINTEGER)
{
    return setStmtAttr(stmt, attribute, value);
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLGetStmtAttrW(SQLHSTMT stmt, SQLINTEGER attribute,
                                                     SQLPOINTER value, SQLINTEGER,
                                                     SQLINTEGER* length)
{
    return getStmtAttr(stmt, attribute, value, length);
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLGetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute,
                                                    SQLPOINTER value, SQLINTEGER,
                                                    SQLINTEGER* length)
{
    return getStmtAttr(stmt, attribute, value, length);
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLFetch(SQLHSTMT stmt)
{
    return call<Statement>(stmt, [](Statement& s) -> SQLRETURN { return s.fetch(); });
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLFetchScroll(SQLHSTMT stmt, SQLSMALLINT orientation, SQLLEN)
{
    return call<Statement>(stmt, [&](Statement& s) -> SQLRETURN {
        if (orientation != SQL_FETCH_NEXT)
            fail("HY106", "Fetch type out of range");
        return s.fetch();
    });
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLGetData(SQLHSTMT stmt, SQLUSMALLINT number,
                                                SQLSMALLINT cType, SQLPOINTER value,
                                                SQLLEN bufferLength, SQLLEN* indicator)
{
    return call<Statement>(stmt, [&](Statement& s) -> SQLRETURN {
        return s.getData(number, cType, value, bufferLength, indicator);
    });
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLRowCount(SQLHSTMT stmt, SQLLEN* count)
{
    return call<Statement>(stmt, [&](Statement& s) -> SQLRETURN {
        if (count != nullptr)
            *count = s.rowCount();
        return SQL_SUCCESS;
    });
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT stmt, SQLUSMALLINT option)
{
    if (option == SQL_DROP)
        return SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return call<Statement>(stmt, [&](Statement& s) -> SQLRETURN {
        if (option == SQL_CLOSE)
            s.closeCursor();
        else if (option == SQL_UNBIND)
            s.unbindColumns();
        else if (option == SQL_RESET_PARAMS)
            s.resetParameters();
        else
            fail("HY092", "Invalid attribute/option identifier");
        return SQL_SUCCESS;
    });
}

// Succeeds without an open cursor too: the driver manager takes every statement that
// succeeded for one with rows (SQLExecDirect.c without NR_PROBE), so its clients close what a
// delete never opened.
VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT stmt)
{
    return call<Statement>(stmt, [](Statement& s) -> SQLRETURN {
        s.closeCursor();
        return SQL_SUCCESS;
    });
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLMoreResults(SQLHSTMT stmt)
{
    return call<Statement>(stmt, [](Statement& s) -> SQLRETURN {
        s.closeCursor();
        return SQL_NO_DATA;
    });
}

// Called from another thread while the statement runs: it touches neither the statement's
// diagnostics nor anything else that the running call uses.
VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLCancel(SQLHSTMT stmt)
{
    Statement* statement = as<Statement>(stmt);
    if (statement == nullptr)
        return SQL_INVALID_HANDLE;
    statement->connection().cancel(*statement);
    return SQL_SUCCESS;
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLGetTypeInfoW(SQLHSTMT stmt, SQLSMALLINT dataType)
{
    return call<Statement>(stmt, [&](Statement& s) -> SQLRETURN {
        s.typeInfo(dataType);
        return SQL_SUCCESS;
    });
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLGetTypeInfo(SQLHSTMT stmt, SQLSMALLINT dataType)
{
    return SQLGetTypeInfoW(stmt, dataType);
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLGetDiagRecW(SQLSMALLINT type, SQLHANDLE handle,
                                                    SQLSMALLINT number, SQLWCHAR* state,
                                                    SQLINTEGER* native, SQLWCHAR* message,
                                                    SQLSMALLINT bufferChars, SQLSMALLINT* length)
{
    return getDiagRec(type, handle, number, state, native, message, bufferChars, length, true);
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE handle,
                                                   SQLSMALLINT number, SQLCHAR* state,
                                                   SQLINTEGER* native, SQLCHAR* message,
                                                   SQLSMALLINT bufferChars, SQLSMALLINT* length)
{
    return getDiagRec(type, handle, number, state, native, message, bufferChars, length, false);
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLGetDiagFieldW(SQLSMALLINT type, SQLHANDLE handle,
                                                      SQLSMALLINT number, SQLSMALLINT field,
                                                      SQLPOINTER value, SQLSMALLINT bufferBytes,
                                                      SQLSMALLINT* length)
{
    return getDiagField(type, handle, number, field, value, bufferBytes, length, true);
}

VARNEL_ODBC_EXPORT SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT type, SQLHANDLE handle,
                                                     SQLSMALLINT number, SQLSMALLINT field,
                                                     SQLPOINTER value, SQLSMALLINT bufferBytes,
                                                     SQLSMALLINT* length)
{
    return getDiagField(type, handle, number, field, value, bufferBytes, length, false);
}
