#include "odbcengine.h"

#include "../civiltime.h"
#include "../connectionstring.h"
#include "../dberror.h"
#include "../localetext.h"
#include "oraclesession.h"

#include <QDateTime>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTimeZone>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>

namespace varnel::odbc {

namespace {

// ADO's words for a statement on a closed connection; Qt has none of its own to give.
const char* const kClosed = "Operation is not allowed when the object is closed.";

constexpr qsizetype kTextPiece = 80;

bool isAsciiSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

QString quotedName(QString name)
{
    name.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + name + QLatin1Char('"');
}

// The column types that Qt's ODBC driver reports (qsql_odbc.cpp, qDecodeODBCType).
ColumnType columnType(const QMetaType& type)
{
    switch (type.id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
        return ColumnType::Number;
    case QMetaType::QDate:
    case QMetaType::QDateTime:
        return ColumnType::Date;
    default:
        return ColumnType::Text;
    }
}

[[noreturn]] void notNumber(const QString& column, const QString& value)
{
    throw DbError(
        QStringLiteral("Column %1 holds \"%2\", which is not a number").arg(column, value));
}

void addNumberText(RowSet::Builder& builder, int col, std::string_view text, const QString& column)
{
    const std::optional<std::string> plain = plainDecimal(text);
    if (!plain)
        notNumber(column, QString::fromUtf8(text.data(), qsizetype(text.size())));
    int64_t integer = 0;
    const char* end = plain->data() + plain->size();
    const auto result = std::from_chars(plain->data(), end, integer);
    if (result.ec == std::errc() && result.ptr == end)
        builder.addInteger(col, integer);
    else
        builder.addDecimal(col, *plain);
}

void addNumber(RowSet::Builder& builder, int col, const QVariant& value, const QString& column)
{
    switch (value.typeId()) {
    case QMetaType::QString: {
        // Exact decimal text: what QSql::HighPrecision hands over for NUMBER.
        const QByteArray text = value.toString().toUtf8();
        if (text.isEmpty())
            builder.addNull(col);
        else
            addNumberText(builder, col, std::string_view(text.constData(), size_t(text.size())),
                          column);
        return;
    }
    case QMetaType::ULongLong:
        addNumberText(builder, col, std::to_string(value.toULongLong()), column);
        return;
    case QMetaType::Double:
    case QMetaType::Float: {
        const double number = value.toDouble();
        char buffer[64]; // the shortest text that reads back as the same double
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
        if (!std::isfinite(number) || result.ec != std::errc())
            notNumber(column, value.toString());
        addNumberText(builder, col, std::string_view(buffer, size_t(result.ptr - buffer)), column);
        return;
    }
    default:
        builder.addInteger(col, value.toLongLong());
        return;
    }
}

int64_t secondsOf(QDate date, QTime time)
{
    return civil::toSeconds(date.year(), unsigned(date.month()), unsigned(date.day()),
                            unsigned(time.hour()), unsigned(time.minute()),
                            unsigned(time.second()));
}

void addDate(RowSet::Builder& builder, int col, const QVariant& value, const QString& column)
{
    switch (value.typeId()) {
    case QMetaType::QDateTime: {
        // The wall-clock fields as the driver gave them: no time zone is applied, and a time
        // that the local zone skips (a daylight-saving gap) keeps its fields all the same.
        const QDateTime dateTime = value.toDateTime();
        builder.addDate(col, secondsOf(dateTime.date(), dateTime.time()));
        return;
    }
    case QMetaType::QDate:
        builder.addDate(col, secondsOf(value.toDate(), QTime(0, 0)));
        return;
    default: {
        const QByteArray text = value.toString().toUtf8();
        int64_t seconds = 0;
        if (text.isEmpty())
            builder.addNull(col);
        else if (civil::parseStoredDateTime(text.constData(), text.size(), seconds))
            builder.addDate(col, seconds);
        else
            throw DbError(QStringLiteral("Column %1 holds \"%2\", which is not a date")
                              .arg(column, QString::fromUtf8(text)));
        return;
    }
    }
}

void addText(RowSet::Builder& builder, int col, const QVariant& value)
{
    // RAW comes as bytes; Oracle shows it as hexadecimal digits.
    const QByteArray utf8 = value.typeId() == QMetaType::QByteArray
                                ? value.toByteArray().toHex().toUpper()
                                : value.toString().toUtf8();
    if (utf8.isEmpty())
        builder.addNull(col); // Oracle has no empty text
    else
        builder.addText(col, utf8.constData(), size_t(utf8.size()));
}

QString uniqueName()
{
    static std::atomic<quint64> next{0};
    return QStringLiteral("varnel-odbc-%1").arg(++next);
}

} // namespace

std::optional<std::string> plainDecimal(std::string_view text)
{
    while (!text.empty() && isAsciiSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isAsciiSpace(text.back()))
        text.remove_suffix(1);
    size_t i = 0;
    const size_t n = text.size();
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    std::string digits;
    int64_t integerDigits = -1; // digits before the decimal character
    for (; i < n; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digits += c;
        } else if (c == '.' || c == ',') {
            if (integerDigits >= 0)
                return std::nullopt;
            integerDigits = int64_t(digits.size());
        } else {
            break;
        }
    }
    if (digits.empty())
        return std::nullopt;
    if (integerDigits < 0)
        integerDigits = int64_t(digits.size());
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && text[i] == '+')
            ++i;
        int exponent = 0;
        const auto result = std::from_chars(text.data() + i, text.data() + n, exponent);
        // Oracle's numbers stay within 1E-130 .. 1E126; far larger exponents are no number.
        if (result.ec != std::errc() || exponent < -400 || exponent > 400)
            return std::nullopt;
        i = size_t(result.ptr - text.data());
        integerDigits += exponent;
    }
    if (i != n)
        return std::nullopt;

    std::string whole;
    std::string fraction;
    const auto count = int64_t(digits.size());
    if (integerDigits <= 0) {
        fraction = std::string(size_t(-integerDigits), '0') + digits;
    } else if (integerDigits >= count) {
        whole = digits + std::string(size_t(integerDigits - count), '0');
    } else {
        whole = digits.substr(0, size_t(integerDigits));
        fraction = digits.substr(size_t(integerDigits));
    }
    const size_t firstNonZero = whole.find_first_not_of('0');
    whole = firstNonZero == std::string::npos ? std::string("0") : whole.substr(firstNonZero);
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    std::string result = whole;
    if (!fraction.empty())
        result += '.' + fraction;
    if (negative && result != "0")
        result.insert(result.begin(), '-');
    return result;
}

BoundStatement deleteStatement(const QString& table, const RowSet& rows, uint32_t row,
                               const OneRecordDelete& form)
{
    BoundStatement statement;
    QStringList conditions;
    for (int col = 0; col < rows.columnCount(); ++col) {
        const QString name = quotedName(rows.column(col).name);
        if (rows.isNull(row, col)) {
            conditions << name + QStringLiteral(" is null");
            continue;
        }
        switch (rows.column(col).type) {
        case ColumnType::Number: {
            QString literal;
            if (rows.isInteger(row, col)) {
                literal = QString::number(rows.integer(row, col));
            } else {
                // Checked again here: the literal goes into the statement text.
                const std::optional<std::string> plain = plainDecimal(rows.decimal(row, col));
                if (!plain)
                    notNumber(rows.column(col).name,
                              QString::fromUtf8(rows.decimal(row, col).data(),
                                                qsizetype(rows.decimal(row, col).size())));
                literal = QString::fromStdString(*plain);
            }
            conditions << name + QStringLiteral(" = ") + literal;
            break;
        }
        case ColumnType::Date: {
            const int64_t seconds = rows.dateSeconds(row, col);
            const civil::Ymd ymd = civil::civilFromDays(civil::dayOf(seconds));
            const auto sod = int(civil::secondOfDay(seconds));
            // In UTC, which has no gaps: the driver binds the date and time fields as they are.
            statement.values << QDateTime(QDate(int(ymd.year), int(ymd.month), int(ymd.day)),
                                          QTime(sod / 3600, sod / 60 % 60, sod % 60),
                                          QTimeZone::utc());
            conditions << form.dateEquals.arg(name);
            break;
        }
        case ColumnType::Text: {
            const std::string_view utf8 = rows.text(row, col);
            const QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
            QStringList marks;
            for (qsizetype at = 0; at < text.size();) {
                qsizetype length = std::min(kTextPiece, text.size() - at);
                // Never split a surrogate pair between two pieces.
                if (at + length < text.size() && text.at(at + length - 1).isHighSurrogate())
                    --length;
                statement.values << text.mid(at, length);
                marks << QStringLiteral("?");
                at += length;
            }
            conditions << name + QStringLiteral(" = ") + marks.join(QStringLiteral(" || "));
            break;
        }
        }
    }
    statement.sql = form.statement.arg(table, conditions.join(QStringLiteral(" and ")));
    return statement;
}

OdbcEngine::OdbcEngine(Options options)
    : m_name(uniqueName()), m_oneRecordDelete(std::move(options.oneRecordDelete))
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QODBC")))
        throw DbError(QStringLiteral("Не найден драйвер ODBC библиотеки Qt (QODBC): установите "
                                     "пакет libqt6sql6-odbc или модуль Qt SQL ODBC."));
    // Qt's ODBC driver (6.4) connects with "<database name>;UID=<user>;PWD=<password>", the
    // last two only when set and both as they are, and writes "DSN=" before a name that
    // holds neither "DRIVER=" nor "SERVER=". The login's values go in already braced, so that
    // the driver manager receives exactly OdbcLogin::connectString().
    const OdbcLogin& login = options.login;
    QString database;
    if (!login.dsn.isEmpty()) {
        database = connectValue(login.dsn);
        if (database.contains(QLatin1String("DRIVER="), Qt::CaseInsensitive) ||
            database.contains(QLatin1String("SERVER="), Qt::CaseInsensitive))
            database.prepend(QStringLiteral("DSN="));
    } else {
        OdbcLogin target = login;
        target.user.clear();
        target.password.clear();
        database = target.connectString();
    }
    // Qt takes a name holding ".dsn" for a file data source; nothing can be written around it.
    if (database.contains(QLatin1String(".dsn"), Qt::CaseInsensitive))
        throw DbError(QStringLiteral("Имя базы данных не может содержать «.dsn» при "
                                     "подключении через ODBC: укажите псевдоним TNS или "
                                     "источник данных ODBC."));

    m_db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), m_name);
    try {
        m_db.setDatabaseName(database);
        m_db.setUserName(connectValue(login.user));
        m_db.setPassword(connectValue(login.password));
        QString connectOptions = QStringLiteral("SQL_ATTR_ODBC_VERSION=SQL_OV_ODBC3");
        if (!options.connectOptions.isEmpty())
            connectOptions += QLatin1Char(';') + options.connectOptions;
        m_db.setConnectOptions(connectOptions);
        m_db.setNumericalPrecisionPolicy(QSql::HighPrecision);
        if (!m_db.open())
            raise(m_db.lastError());
        if (m_db.driver()->dbmsType() == QSqlDriver::Oracle)
            for (const QString& statement : options.sessionStatements)
                execute(statement);
    } catch (...) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
        throw;
    }
}

OdbcEngine::~OdbcEngine()
{
    // Qt removes a connection cleanly only when no QSqlDatabase or QSqlQuery copy of it is
    // left; queries live only inside the calls of this class.
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_name);
}

void OdbcEngine::raise(const QSqlError& error)
{
    // The database's own words ("[Oracle][ODBC][Ora]ORA-00942: ..."), without what Qt adds.
    QString message = error.databaseText().trimmed();
    if (message.isEmpty())
        message = error.driverText().trimmed();
    if (message.isEmpty())
        message = QLatin1String(kClosed);
    throw DbError(message);
}

void OdbcEngine::requireOpen() const
{
    if (!m_db.isOpen())
        throw DbError(QLatin1String(kClosed));
}

RowSet OdbcEngine::query(const QString& sql)
{
    requireOpen();
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.setNumericalPrecisionPolicy(QSql::HighPrecision);
    if (!q.exec(sql))
        raise(q.lastError());

    const QSqlRecord record = q.record();
    const int columns = record.count();
    RowSet::Builder builder;
    QStringList names;
    for (int col = 0; col < columns; ++col) {
        const QSqlField field = record.field(col);
        const ColumnType type = columnType(field.metaType());
        names << field.name();
        builder.addColumn(field.name(), type,
                          type == ColumnType::Text ? std::max(0, int(field.length())) : 0);
    }
    while (q.next()) {
        // In column order: a forward-only ODBC cursor reads the columns of a row only once.
        for (int col = 0; col < columns; ++col) {
            const QVariant value = q.value(col);
            if (value.isNull()) {
                builder.addNull(col);
                continue;
            }
            switch (builder.type(col)) {
            case ColumnType::Number:
                addNumber(builder, col, value, names[col]);
                break;
            case ColumnType::Date:
                addDate(builder, col, value, names[col]);
                break;
            case ColumnType::Text:
                addText(builder, col, value);
                break;
            }
        }
        builder.endRow();
    }
    if (q.lastError().isValid())
        raise(q.lastError());
    return builder.finish();
}

void OdbcEngine::execute(const QString& sql)
{
    requireOpen();
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.exec(sql))
        raise(q.lastError());
}

void OdbcEngine::deleteRecord(const QString& table, const RowSet& rows, uint32_t row)
{
    requireOpen();
    const BoundStatement statement = deleteStatement(table, rows, row, m_oneRecordDelete);
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.prepare(statement.sql))
        raise(q.lastError());
    for (const QVariant& value : statement.values)
        q.addBindValue(value);
    if (!q.exec())
        raise(q.lastError());
    if (q.numRowsAffected() == 0)
        throw DbError(QStringLiteral("Row cannot be located for updating. Some values may have "
                                     "been changed since it was last read."));
}

std::unique_ptr<Engine> openOracle(const ConnectionParams& params, const LocaleText& locale,
                                   const OdbcCatalog& catalog)
{
    OdbcEngine::Options options;
    options.login = oracleLogin(params, catalog);
    options.sessionStatements = oracleSessionStatements(locale.shortDateFormat(), locale.locale());
    return std::make_unique<OdbcEngine>(std::move(options));
}

} // namespace varnel::odbc
