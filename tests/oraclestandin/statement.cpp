#include "base/civiltime.h"
#include "db/dberror.h"
#include "db/embedded/sqlrewriter.h"
#include "handles.h"

#include <QRegularExpression>

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

namespace varnel::standin {

namespace {

// The statement with quoted texts, quoted names (unless `keepNames`) and comments blanked
// out, at the same positions: whatever is still there is the statement's own code.
QString codeOf(const QString& sql, bool keepNames = false)
{
    QString code = sql;
    const qsizetype n = code.size();
    const auto blank = [&](qsizetype from, qsizetype to) {
        for (qsizetype k = from; k < to && k < n; ++k)
            code[k] = QLatin1Char(' ');
    };
    qsizetype i = 0;
    while (i < n) {
        const QChar c = sql[i];
        qsizetype end = i + 1;
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            end = sql.indexOf(c, i + 1);
            end = end < 0 ? n : end + 1;
            if (keepNames && c == QLatin1Char('"')) {
                i = end;
                continue;
            }
        } else if (c == QLatin1Char('-') && i + 1 < n && sql[i + 1] == QLatin1Char('-')) {
            end = sql.indexOf(QLatin1Char('\n'), i);
            end = end < 0 ? n : end;
        } else if (c == QLatin1Char('/') && i + 1 < n && sql[i + 1] == QLatin1Char('*')) {
            end = sql.indexOf(QLatin1String("*/"), i + 2);
            end = end < 0 ? n : end + 2;
        } else {
            ++i;
            continue;
        }
        blank(i, end);
        i = end;
    }
    return code;
}

struct Shape {
    enum class Kind { Query, Change, AlterSession, PublicSynonym, Other };
    Kind kind = Kind::Other;
    bool hasFrom = false;
};

Shape shapeOf(const QString& code)
{
    static const QRegularExpression firstWord(QStringLiteral("^[\\s(]*([A-Za-z]+)"));
    static const QRegularExpression from(QStringLiteral("\\bFROM\\b"),
                                         QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression session(QStringLiteral("^\\s*ALTER\\s+SESSION\\b"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression synonym(
        QStringLiteral("^\\s*CREATE\\s+(OR\\s+REPLACE\\s+)?PUBLIC\\s+SYNONYM\\b"),
        QRegularExpression::CaseInsensitiveOption);
    Shape shape;
    const QString word = firstWord.match(code).captured(1).toUpper();
    if (word == QLatin1String("SELECT") || word == QLatin1String("WITH"))
        shape.kind = Shape::Kind::Query;
    else if (word == QLatin1String("INSERT") || word == QLatin1String("UPDATE") ||
             word == QLatin1String("DELETE") || word == QLatin1String("MERGE"))
        shape.kind = Shape::Kind::Change;
    else if (session.match(code).hasMatch())
        shape.kind = Shape::Kind::AlterSession;
    else if (synonym.match(code).hasMatch())
        shape.kind = Shape::Kind::PublicSynonym;
    shape.hasFrom = from.match(code).hasMatch();
    return shape;
}

// The name of a public synonym is one identifier: Oracle's parser, having read it, wants FOR
// where a schema's dot would follow.
void refuseSchemaOfPublicSynonym(const QString& sql)
{
    static const QRegularExpression qualified(
        QStringLiteral(
            "^\\s*CREATE\\s+(OR\\s+REPLACE\\s+)?PUBLIC\\s+SYNONYM\\s+(\"[^\"]*\"|[^\\s\".]+)"
            "\\s*\\."),
        QRegularExpression::CaseInsensitiveOption);
    if (qualified.match(sql).hasMatch())
        throw DbError(QStringLiteral("ORA-00905: missing keyword"));
}

// The statement with every name of the session user's own schema ("SCOTT.LOGS", "scott.logs",
// '"SCOTT".LOGS' for the user scott, whose unquoted name Oracle keeps upper-cased) left
// bare: the embedded engine underneath has the one schema.
QString withoutOwnSchema(const QString& sql, const QString& user)
{
    const QString owner = user.toUpper();
    const std::vector<embedded::Token> tokens = embedded::tokenize(sql);
    const auto isOwner = [&](const embedded::Token& t) {
        using Kind = embedded::Token::Kind;
        return (t.kind == Kind::Word && t.text.toString().toUpper() == owner) ||
               (t.kind == Kind::QuotedName && t.text.mid(1, t.text.size() - 2) == owner);
    };
    QString out;
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (!owner.isEmpty() && isOwner(tokens[i]) && i + 2 < tokens.size() &&
            tokens[i + 1].isSymbol(".") &&
            (tokens[i + 2].kind == embedded::Token::Kind::Word ||
             tokens[i + 2].kind == embedded::Token::Kind::QuotedName)) {
            ++i; // the dot
            continue;
        }
        out += tokens[i].text;
    }
    return out;
}

QString textLiteral(const QString& text)
{
    // C strings end at a NUL: Oracle's client takes a bound text with one inside as a value
    // whose terminator is missing.
    if (text.contains(QChar(0)))
        throw DbError(QStringLiteral("ORA-01480: trailing null missing from STR bind value"));
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// Marks the statement as running something that SQLCancel stops, for as long as it lives.
struct Running {
    explicit Running(std::atomic<bool>& running) : flag(running) { flag.store(true); }
    ~Running() { flag.store(false); }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;
    std::atomic<bool>& flag;
};

// A negative number goes in parentheses: after a minus sign of the statement it would
// otherwise open a comment.
QString numberLiteral(std::string_view digits)
{
    const QString text = QString::fromLatin1(digits.data(), static_cast<qsizetype>(digits.size()));
    return digits.starts_with('-') ? QLatin1Char('(') + text + QLatin1Char(')') : text;
}

// `declared` is the type that the column's table declares, upper case, if any.
ResultColumn describe(const ColumnInfo& info, const QString& declared = {})
{
    std::string name = info.name.toStdString();
    switch (info.type) {
    case ColumnType::Number:
        return {name, SQL_DOUBLE, 15};
    case ColumnType::Date:
        return {name, SQL_TYPE_TIMESTAMP, 19};
    case ColumnType::Text:
        break;
    }
    // The wide types, as the driver describes them to a client of the wide API.
    if (declared == QLatin1String("CLOB") || declared == QLatin1String("NCLOB"))
        return {name, SQL_WLONGVARCHAR, 2147483647, declared.startsWith(u'N') ? "NCLOB" : "CLOB"};
    const auto size = static_cast<SQLULEN>(info.declaredSize > 0 ? info.declaredSize : 4000);
    if (declared.startsWith(QLatin1String("NVARCHAR2")))
        return {name, SQL_WVARCHAR, size, "NVARCHAR2"};
    return {name, SQL_VARCHAR, size};
}

// Oracle compares no LOB with "=" (nor "<>", "<" and the like): a statement that does fails
// before it runs. `code` keeps the quoted names.
void refuseLobComparisons(const QString& code, const QHash<QString, QString>& lobColumns)
{
    for (auto column = lobColumns.cbegin(); column != lobColumns.cend(); ++column) {
        const QString name = QRegularExpression::escape(column.key());
        const QRegularExpression compared(
            QStringLiteral("(^|[^\\w$#\"])\"?%1\"?\\s*(=|<|>|!=)|(=|<|>)\\s*\"?%1\"?($|[^\\w$#\"])")
                .arg(name),
            QRegularExpression::CaseInsensitiveOption);
        if (compared.match(code).hasMatch())
            throw DbError(QStringLiteral("ORA-00932: inconsistent datatypes: expected - got ") +
                          column.value());
    }
}

// The embedded engine has no packages: dbms_lob.compare(a, b) = 0 runs as (a <> b) = 0, which is
// 0 for equal values and NULL for a NULL, and to_clob(x) as (x).
QString withoutLobFunctions(QString sql)
{
    static const QRegularExpression compare(QStringLiteral("\\bdbms_lob\\s*\\.\\s*compare\\s*\\("),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression toLob(QStringLiteral("\\bto_n?clob\\s*(?=\\()"),
                                          QRegularExpression::CaseInsensitiveOption);
    for (;;) {
        const QString code = codeOf(sql);
        const QRegularExpressionMatch call = compare.match(code);
        if (!call.hasMatch())
            break;
        // The one comma and the closing parenthesis at the call's own depth.
        qsizetype comma = -1, close = -1;
        int depth = 0;
        for (qsizetype i = call.capturedEnd(); i < code.size() && close < 0; ++i) {
            const QChar c = code[i];
            if (c == u'(')
                ++depth;
            else if (c == u')' && depth-- == 0)
                close = i;
            else if (c == u',' && depth == 0)
                comma = i;
        }
        if (comma < 0 || close < 0)
            throw DbError(QStringLiteral("ORA-00909: invalid number of arguments"));
        const qsizetype from = call.capturedEnd();
        sql = sql.left(call.capturedStart()) + QStringLiteral("((") + sql.mid(from, comma - from) +
              QStringLiteral(") <> (") + sql.mid(comma + 1, close - comma - 1) +
              QStringLiteral("))") + sql.mid(close + 1);
    }
    for (;;) {
        const QRegularExpressionMatch call = toLob.match(codeOf(sql));
        if (!call.hasMatch())
            break;
        sql.remove(call.capturedStart(), call.capturedLength());
    }
    return sql;
}

size_t fixedSize(SQLSMALLINT cType)
{
    switch (cType) {
    case SQL_C_DOUBLE:
        return sizeof(double);
    case SQL_C_SLONG:
    case SQL_C_LONG:
        return sizeof(SQLINTEGER);
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_TIMESTAMP:
        return sizeof(SQL_TIMESTAMP_STRUCT);
    default:
        return 0;
    }
}

// The C types of values that go in and out. Oracle's driver has no 64-bit integer C type.
void requireCType(SQLSMALLINT cType)
{
    if (cType == SQL_C_SBIGINT || cType == SQL_C_UBIGINT)
        fail("HYC00", "Optional feature not implemented.");
    if (cType != SQL_C_CHAR && cType != SQL_C_WCHAR && fixedSize(cType) == 0)
        fail("HY003", "Program type out of range");
}

} // namespace

void Statement::prepare(const QString& sql)
{
    if (sql.contains(QChar(0)))
        throw DbError(QStringLiteral("ORA-00911: invalid character"));
    m_prepared = sql;
    m_isPrepared = true;
}

SQLRETURN Statement::executePrepared()
{
    if (!m_isPrepared)
        fail("HY010", "Function sequence error");
    return execute(m_prepared);
}

SQLRETURN Statement::execute(const QString& given)
{
    closeCursor();
    m_rowCount = -1;
    if (given.contains(QChar(0)))
        throw DbError(QStringLiteral("ORA-00911: invalid character"));
    Connection& connection = m_connection;
    connection.checkInstance();
    // Before the statement's own look at the schema, which a cancel of the last one must not
    // stop.
    connection.prepareToRun();
    refuseLobComparisons(codeOf(given, true), connection.lobColumns());
    const QString sql = withoutLobFunctions(given);
    const QString code = codeOf(sql);
    const Shape shape = shapeOf(code);
    if (shape.kind == Shape::Kind::AlterSession) {
        connection.alterSession(sql);
        m_rowCount = 0;
        return SQL_SUCCESS;
    }
    if (shape.kind == Shape::Kind::Query && !shape.hasFrom)
        throw DbError(QStringLiteral("ORA-00923: FROM keyword not found where expected"));
    if (shape.kind == Shape::Kind::PublicSynonym) {
        refuseSchemaOfPublicSynonym(sql);
        if (qEnvironmentVariableIsSet("VARNEL_ORACLE_STANDIN_NO_SYNONYM"))
            throw DbError(QStringLiteral("ORA-01031: insufficient privileges"));
    }

    // Every "?" left in the code is a marker; the values go in as literals.
    QString text;
    qsizetype copied = 0;
    size_t marker = 0;
    for (qsizetype i = code.indexOf(QLatin1Char('?')); i >= 0;
         i = code.indexOf(QLatin1Char('?'), i + 1)) {
        text += QStringView(sql).mid(copied, i - copied);
        text += parameterLiteral(marker++);
        copied = i + 1;
    }
    text += QStringView(sql).mid(copied);
    text = withoutOwnSchema(text, connection.user());

    const Running running(m_executing);
    if (shape.kind == Shape::Kind::Query) {
        // Run as far as its first row, as Oracle runs a query before it answers the execute.
        embedded::SqliteEngine::Cursor cursor = connection.engine().openCursor(text);
        std::vector<ResultColumn> columns;
        for (int c = 0; c < static_cast<int>(cursor.columns().size()); ++c)
            columns.push_back(
                describe(cursor.columns()[static_cast<size_t>(c)], cursor.declaration(c)));
        openRows(RowSet(), std::move(columns));
        m_cursor.emplace(std::move(cursor));
        return SQL_SUCCESS;
    }
    connection.engine().execute(text);
    m_rowCount = connection.engine().lastChangeCount();
    // ODBC 3: a searched change that meets no row answers SQL_NO_DATA.
    if (shape.kind == Shape::Kind::Change && m_rowCount == 0 &&
        connection.odbcVersion() != SQL_OV_ODBC2)
        return SQL_NO_DATA;
    return SQL_SUCCESS;
}

QString Statement::parameterLiteral(size_t marker) const
{
    if (marker >= m_parameters.size() || !m_parameters[marker])
        throw DbError(QStringLiteral("ORA-01008: not all variables bound"));
    const ParameterBinding& p = *m_parameters[marker];
    if (p.data == nullptr || (p.indicator != nullptr && *p.indicator == SQL_NULL_DATA))
        return QStringLiteral("NULL");
    if (p.indicator != nullptr && *p.indicator < 0 && *p.indicator != SQL_NTS)
        fail("HYC00", "Optional feature not implemented."); // data at execution
    const bool terminated = p.indicator == nullptr || *p.indicator == SQL_NTS;
    switch (p.cType) {
    case SQL_C_WCHAR:
        return textLiteral(
            fromUtf16(static_cast<const char16_t*>(p.data), terminated ? -1 : *p.indicator / 2));
    case SQL_C_CHAR:
        return textLiteral(fromCharset(static_cast<const char*>(p.data),
                                       terminated ? -1 : *p.indicator,
                                       m_connection.client().charset));
    case SQL_C_SLONG:
    case SQL_C_LONG:
        return numberLiteral(std::to_string(*static_cast<const SQLINTEGER*>(p.data)));
    case SQL_C_DOUBLE: {
        const double value = *static_cast<const double*>(p.data);
        if (!std::isfinite(value))
            throw DbError(QStringLiteral("ORA-01722: invalid number"));
        char digits[32];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        return numberLiteral(std::string_view(digits, static_cast<size_t>(end - digits)));
    }
    default: { // the time stamps; bindParameter lets nothing else in
        const auto& t = *static_cast<const SQL_TIMESTAMP_STRUCT*>(p.data);
        return QString::asprintf("to_date('%04d-%02u-%02u %02u:%02u:%02u', "
                                 "'YYYY-MM-DD HH24:MI:SS')",
                                 t.year, t.month, t.day, t.hour, t.minute, t.second);
    }
    }
}

void Statement::bindParameter(SQLUSMALLINT number, const ParameterBinding& binding)
{
    if (number == 0)
        fail("07009", "Invalid descriptor index");
    requireCType(binding.cType);
    if (m_parameters.size() < number)
        m_parameters.resize(number);
    m_parameters[number - 1u] = binding;
}

void Statement::bindColumn(SQLUSMALLINT number, const ColumnBinding& binding)
{
    if (number == 0)
        fail("07009", "Invalid descriptor index");
    if (binding.data == nullptr && binding.indicator == nullptr) {
        if (number <= m_columns.size())
            m_columns[number - 1u].reset();
        return;
    }
    requireCType(binding.cType);
    if (m_columns.size() < number)
        m_columns.resize(number);
    m_columns[number - 1u] = binding;
}

void Statement::openRows(RowSet rows, std::vector<ResultColumn> columns)
{
    m_rows = std::move(rows);
    if (columns.empty())
        for (int c = 0; c < m_rows.columnCount(); ++c)
            columns.push_back(describe(m_rows.column(c)));
    m_resultColumns = std::move(columns);
    m_cursorOpen = true;
    m_nextRow = 0;
    m_rowsBefore = 0;
    m_currentRow.reset();
    m_pieceColumn = -1;
}

void Statement::readBlock()
{
    // As many rows as the client fetches in one call, or a few hundred of its calls: the
    // blocks are a whole number of its row arrays.
    const SQLULEN array = m_fetch.rowArraySize;
    const auto block = static_cast<uint32_t>(
        std::min<SQLULEN>(array * std::max<SQLULEN>(1, 256 / array), UINT32_MAX / 2));
    m_rowsBefore += m_rows.rowCount();
    m_rows = RowSet();
    m_nextRow = 0;
    const Running running(m_executing);
    try {
        RowSet::Builder rows = m_cursor->builder();
        const bool more = m_cursor->fetch(rows, block);
        m_rows = rows.finish();
        if (!more)
            m_cursor.reset();
    } catch (...) {
        closeCursor();
        throw;
    }
}

void Statement::closeCursor()
{
    // A closed cursor lets its rows go: a million records are gigabytes.
    m_cursor.reset();
    m_rows = RowSet();
    m_resultColumns.clear();
    m_cursorOpen = false;
    m_currentRow.reset();
    m_pieceColumn = -1;
}

const ResultColumn& Statement::resultColumn(SQLUSMALLINT number) const
{
    if (number == 0 || number > m_resultColumns.size())
        fail("07009", "Invalid descriptor index");
    return m_resultColumns[number - 1u];
}

std::string_view Statement::cellText(uint32_t row, int col)
{
    switch (m_rows.column(col).type) {
    case ColumnType::Text:
        return m_rows.text(row, col);
    case ColumnType::Date:
        m_scratch.clear();
        m_connection.dateFormat().write(m_rows.dateSeconds(row, col), m_scratch);
        return m_scratch;
    case ColumnType::Number:
        break;
    }
    if (m_rows.isInteger(row, col)) {
        char digits[24];
        const auto end =
            std::to_chars(digits, digits + sizeof digits, m_rows.integer(row, col)).ptr;
        m_scratch.assign(digits, end);
    } else {
        m_scratch.assign(m_rows.decimal(row, col));
        for (char& c : m_scratch)
            if (c == '.')
                c = m_connection.client().decimalSeparator;
    }
    return m_scratch;
}

double Statement::cellNumber(uint32_t row, int col) const
{
    std::string_view text;
    switch (m_rows.column(col).type) {
    case ColumnType::Date:
        fail("07006", "Restricted data type attribute violation");
    case ColumnType::Number:
        if (m_rows.isInteger(row, col))
            return static_cast<double>(m_rows.integer(row, col));
        text = m_rows.decimal(row, col);
        break;
    case ColumnType::Text:
        text = m_rows.text(row, col);
        while (!text.empty() && text.front() == ' ')
            text.remove_prefix(1);
        while (!text.empty() && text.back() == ' ')
            text.remove_suffix(1);
        break;
    }
    double value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size())
        fail("22018", "Invalid character value for a cast");
    return value;
}

Statement::Cell Statement::putCell(uint32_t row, int col, SQLSMALLINT cType, void* target,
                                   SQLLEN bufferLength, SQLLEN* indicator, size_t& offset)
{
    if (m_rows.isNull(row, col)) {
        if (indicator == nullptr)
            fail("22002", "Indicator variable required but not supplied");
        *indicator = SQL_NULL_DATA;
        return Cell::Written;
    }
    switch (cType) {
    case SQL_C_CHAR:
    case SQL_C_WCHAR: {
        std::string_view text = cellText(row, col);
        text.remove_prefix(std::min(offset, text.size()));
        const Piece piece = writeText(text, cType == SQL_C_WCHAR, m_connection.client().charset,
                                      target, bufferLength);
        const bool cut = piece.consumed < text.size();
        if (indicator != nullptr)
            *indicator = cut && m_resultColumns[static_cast<size_t>(col)].isLob()
                             ? SQL_NO_TOTAL
                             : static_cast<SQLLEN>(piece.needed);
        offset += piece.consumed;
        return cut ? Cell::Truncated : Cell::Written;
    }
    case SQL_C_DOUBLE: {
        const double value = cellNumber(row, col);
        if (target != nullptr)
            *static_cast<double*>(target) = value;
        break;
    }
    case SQL_C_SLONG:
    case SQL_C_LONG: {
        // The fraction is cut off; what 32 bits cannot hold is refused (exactly: a double
        // holds every integer of that range).
        const double value = std::trunc(cellNumber(row, col));
        if (!(value >= INT32_MIN && value <= INT32_MAX))
            fail("22003", "Numeric value out of range");
        if (target != nullptr)
            *static_cast<SQLINTEGER*>(target) = static_cast<SQLINTEGER>(value);
        break;
    }
    default: { // the time stamps, a TIMESTAMP's with its fraction in nanoseconds
        if (m_rows.column(col).type != ColumnType::Date)
            fail("07006", "Restricted data type attribute violation");
        const int64_t seconds = m_rows.dateSeconds(row, col);
        const civil::Ymd date = civil::civilFromDays(civil::dayOf(seconds));
        const int64_t time = civil::secondOfDay(seconds);
        if (target != nullptr)
            *static_cast<SQL_TIMESTAMP_STRUCT*>(target) = {
                static_cast<SQLSMALLINT>(date.year),       static_cast<SQLUSMALLINT>(date.month),
                static_cast<SQLUSMALLINT>(date.day),       static_cast<SQLUSMALLINT>(time / 3600),
                static_cast<SQLUSMALLINT>(time / 60 % 60), static_cast<SQLUSMALLINT>(time % 60),
                m_rows.dateNanoseconds(row, col)};
        break;
    }
    }
    if (indicator != nullptr)
        *indicator = static_cast<SQLLEN>(fixedSize(cType));
    return Cell::Written;
}

SQLRETURN Statement::fetch()
{
    if (!m_cursorOpen)
        fail("24000", "Invalid cursor state");
    if (m_nextRow == m_rows.rowCount() && m_cursor)
        readBlock();
    const uint32_t first = m_nextRow;
    SQLUSMALLINT* const rowStatus = m_fetch.rowStatus;
    const auto count =
        static_cast<uint32_t>(std::min<SQLULEN>(m_fetch.rowArraySize, m_rows.rowCount() - first));
    if (m_fetch.rowsFetched != nullptr)
        *m_fetch.rowsFetched = count;
    if (rowStatus != nullptr)
        for (SQLULEN r = 0; r < m_fetch.rowArraySize; ++r)
            rowStatus[r] = r < count ? SQL_ROW_SUCCESS : SQL_ROW_NOROW;
    m_pieceColumn = -1;
    if (count == 0) {
        m_currentRow.reset();
        return SQL_NO_DATA;
    }
    m_nextRow += count;
    m_currentRow = first;

    bool truncated = false;
    bool failed = false;
    // Column by column: each binding's buffers are filled in the order they lie in memory.
    for (size_t c = 0; c < m_columns.size(); ++c) {
        if (!m_columns[c])
            continue;
        if (c >= m_resultColumns.size())
            fail("07009", "Invalid descriptor index");
        const ColumnBinding& b = *m_columns[c];
        const size_t fixed = fixedSize(b.cType);
        const size_t stride = fixed != 0 ? fixed : static_cast<size_t>(b.bufferLength);
        if (b.cType == SQL_C_WCHAR && m_rows.column(static_cast<int>(c)).type == ColumnType::Text &&
            b.data != nullptr && b.indicator != nullptr && b.bufferLength >= 2) {
            truncated |= fetchTextsWide(static_cast<int>(c), b, first, count);
            continue;
        }
        for (uint32_t r = 0; r < count; ++r) {
            size_t offset = 0;
            try {
                if (putCell(first + r, static_cast<int>(c), b.cType,
                            b.data == nullptr ? nullptr : b.data + r * stride, b.bufferLength,
                            b.indicator == nullptr ? nullptr : b.indicator + r,
                            offset) == Cell::Truncated) {
                    truncated = true;
                    if (rowStatus != nullptr && rowStatus[r] == SQL_ROW_SUCCESS)
                        rowStatus[r] = SQL_ROW_SUCCESS_WITH_INFO;
                }
            } catch (const Failure& failure) {
                failed = true;
                diagnostics.push_back(failure.record);
                if (rowStatus != nullptr)
                    rowStatus[r] = SQL_ROW_ERROR;
            }
        }
    }
    if (failed && m_fetch.rowArraySize == 1)
        return SQL_ERROR;
    if (truncated)
        diagnostics.push_back(driverRecord("01004", "String data, right truncated."));
    return truncated || failed ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

bool Statement::fetchTextsWide(int col, const ColumnBinding& b, uint32_t first, uint32_t count)
{
    const auto room = static_cast<size_t>(b.bufferLength / 2 - 1);
    const ResultColumn& column = m_resultColumns[static_cast<size_t>(col)];
    bool truncated = false;
    for (uint32_t r = 0; r < count; ++r) {
        if (m_rows.isNull(first + r, col)) {
            b.indicator[r] = SQL_NULL_DATA;
            continue;
        }
        const std::string_view text = m_rows.text(first + r, col);
        auto* out = reinterpret_cast<char16_t*>(b.data + r * static_cast<size_t>(b.bufferLength));
        const Piece piece = toUtf16(text, out, room);
        // A value wider than the column was described overflows the driver's own buffer
        // before it reaches the client's.
        if (!column.isLob() && piece.needed / 2 > column.size)
            throw DbError(QStringLiteral("ORA-01406: fetched column value was truncated"));
        out[piece.written / 2] = 0;
        b.indicator[r] = static_cast<SQLLEN>(piece.needed);
        if (piece.consumed < text.size()) {
            if (column.isLob())
                b.indicator[r] = SQL_NO_TOTAL;
            truncated = true;
            if (m_fetch.rowStatus != nullptr)
                m_fetch.rowStatus[r] = SQL_ROW_SUCCESS_WITH_INFO;
        }
    }
    return truncated;
}

SQLRETURN Statement::getData(SQLUSMALLINT number, SQLSMALLINT cType, void* target,
                             SQLLEN bufferLength, SQLLEN* indicator)
{
    if (!m_cursorOpen || !m_currentRow)
        fail("24000", "Invalid cursor state");
    if (m_fetch.rowArraySize != 1)
        fail("HYC00", "Optional feature not implemented.");
    const ResultColumn& column = resultColumn(number);
    if (cType == SQL_C_DEFAULT)
        cType = column.sqlType == SQL_TYPE_TIMESTAMP ? SQL_C_TYPE_TIMESTAMP
                : column.sqlType == SQL_VARCHAR      ? SQL_C_CHAR
                : column.isText()                    ? SQL_C_WCHAR
                                                     : SQL_C_DOUBLE;
    requireCType(cType);
    const int col = number - 1;
    // Another column starts from the beginning; the same one goes on where the last piece
    // ended, and answers SQL_NO_DATA once everything has gone out.
    if (col != m_pieceColumn) {
        m_pieceColumn = col;
        m_pieceOffset = 0;
        m_pieceDone = false;
    }
    if (m_pieceDone)
        return SQL_NO_DATA;
    if (putCell(*m_currentRow, col, cType, target, bufferLength, indicator, m_pieceOffset) ==
        Cell::Truncated) {
        diagnostics.push_back(driverRecord("01004", "String data, right truncated."));
        return SQL_SUCCESS_WITH_INFO;
    }
    m_pieceDone = true;
    return SQL_SUCCESS;
}

void Statement::typeInfo(SQLSMALLINT dataType)
{
    closeCursor();
    m_rowCount = -1;
    if (dataType == SQL_TIMESTAMP) // ODBC 2's code
        dataType = SQL_TYPE_TIMESTAMP;
    constexpr int64_t kNull = INT64_MIN;
    struct Type {
        const char* name;
        int64_t dataType, size;
        const char *prefix, *suffix, *createParams;
        int64_t caseSensitive, searchable, unsignedAttribute, minScale, maxScale, sqlDataType,
            datetimeSub, radix;
    };
    // Oracle's types in the order of their ODBC type, as SQLGetTypeInfo must give them.
    static constexpr Type types[] = {
        {"NVARCHAR2", SQL_WVARCHAR, 2000, "N'", "'", "max length", 1, 3, kNull, kNull, kNull,
         SQL_WVARCHAR, kNull, kNull},
        {"RAW", SQL_VARBINARY, 2000, "'", "'", "max length", 0, 3, kNull, kNull, kNull,
         SQL_VARBINARY, kNull, kNull},
        {"CLOB", SQL_LONGVARCHAR, 2147483647, "'", "'", nullptr, 1, 0, kNull, kNull, kNull,
         SQL_LONGVARCHAR, kNull, kNull},
        {"CHAR", SQL_CHAR, 2000, "'", "'", "max length", 1, 3, kNull, kNull, kNull, SQL_CHAR, kNull,
         kNull},
        {"NUMBER", SQL_DECIMAL, 38, nullptr, nullptr, "precision,scale", 0, 3, 0, -84, 127,
         SQL_DECIMAL, kNull, 10},
        {"NUMBER", SQL_DOUBLE, 15, nullptr, nullptr, nullptr, 0, 3, 0, kNull, kNull, SQL_DOUBLE,
         kNull, 10},
        {"VARCHAR2", SQL_VARCHAR, 4000, "'", "'", "max length", 1, 3, kNull, kNull, kNull,
         SQL_VARCHAR, kNull, kNull},
        {"DATE", SQL_TYPE_TIMESTAMP, 19, "'", "'", nullptr, 0, 3, kNull, 0, 0, SQL_DATETIME,
         SQL_CODE_TIMESTAMP, kNull},
        {"TIMESTAMP", SQL_TYPE_TIMESTAMP, 27, "'", "'", "fractional seconds precision", 0, 3, kNull,
         0, 9, SQL_DATETIME, SQL_CODE_TIMESTAMP, kNull},
    };
    static const std::pair<const char*, SQLSMALLINT> columns[] = {
        {"TYPE_NAME", SQL_VARCHAR},          {"DATA_TYPE", SQL_SMALLINT},
        {"COLUMN_SIZE", SQL_INTEGER},        {"LITERAL_PREFIX", SQL_VARCHAR},
        {"LITERAL_SUFFIX", SQL_VARCHAR},     {"CREATE_PARAMS", SQL_VARCHAR},
        {"NULLABLE", SQL_SMALLINT},          {"CASE_SENSITIVE", SQL_SMALLINT},
        {"SEARCHABLE", SQL_SMALLINT},        {"UNSIGNED_ATTRIBUTE", SQL_SMALLINT},
        {"FIXED_PREC_SCALE", SQL_SMALLINT},  {"AUTO_UNIQUE_VALUE", SQL_SMALLINT},
        {"LOCAL_TYPE_NAME", SQL_VARCHAR},    {"MINIMUM_SCALE", SQL_SMALLINT},
        {"MAXIMUM_SCALE", SQL_SMALLINT},     {"SQL_DATA_TYPE", SQL_SMALLINT},
        {"SQL_DATETIME_SUB", SQL_SMALLINT},  {"NUM_PREC_RADIX", SQL_INTEGER},
        {"INTERVAL_PRECISION", SQL_SMALLINT}};
    RowSet::Builder builder;
    std::vector<ResultColumn> described;
    for (const auto& [name, type] : columns) {
        builder.addColumn(QLatin1String(name),
                          type == SQL_VARCHAR ? ColumnType::Text : ColumnType::Number);
        described.push_back(
            {name, type, type == SQL_VARCHAR ? 128u : (type == SQL_INTEGER ? 10u : 5u)});
    }
    for (const Type& t : types) {
        if (dataType != SQL_ALL_TYPES && dataType != t.dataType)
            continue;
        int col = 0;
        const auto text = [&](const char* value) {
            value == nullptr ? builder.addNull(col)
                             : builder.addText(col, value, std::strlen(value));
            ++col;
        };
        const auto number = [&](int64_t value) {
            value == kNull ? builder.addNull(col) : builder.addInteger(col, value);
            ++col;
        };
        text(t.name);
        number(t.dataType);
        number(t.size);
        text(t.prefix);
        text(t.suffix);
        text(t.createParams);
        number(SQL_NULLABLE);
        number(t.caseSensitive);
        number(t.searchable);
        number(t.unsignedAttribute);
        number(0); // FIXED_PREC_SCALE
        number(0); // AUTO_UNIQUE_VALUE
        text(t.name);
        number(t.minScale);
        number(t.maxScale);
        number(t.sqlDataType);
        number(t.datetimeSub);
        number(t.radix);
        number(kNull);
        builder.endRow();
    }
    openRows(builder.finish(), std::move(described));
}

} // namespace varnel::standin
