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

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>

namespace varnel::odbc {

namespace {

// ADO's words for a statement on a closed connection; Qt has none of its own to give.
const char* const kClosed = "Operation is not allowed when the object is closed.";

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
        if (builder.rowCount() % 256 == 0)
            reportProgress();
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
    const BoundStatement statement = oneRecordDeleteStatement(table, rows, row, m_oneRecordDelete);
    // Exactly one record goes or none: whatever the statement meets, anything else is rolled
    // back before the error is raised.
    if (!m_db.transaction())
        raise(m_db.lastError());
    try {
        QSqlQuery q(m_db);
        q.setForwardOnly(true);
        if (!q.prepare(statement.sql))
            raise(q.lastError());
        for (const QVariant& value : statement.values)
            q.addBindValue(value);
        if (!q.exec())
            raise(q.lastError());
        const int affected = q.numRowsAffected();
        if (affected == 0)
            throw DbError(noRecordDeletedMessage());
        if (affected != 1)
            throw DbError(manyRecordsDeletedMessage());
    } catch (...) {
        m_db.rollback();
        throw;
    }
    if (!m_db.commit()) {
        const QSqlError error = m_db.lastError();
        m_db.rollback();
        raise(error);
    }
}

std::unique_ptr<Engine> openOracle(const ConnectionParams& params, const LocaleText& locale,
                                   const OdbcCatalog& catalog)
{
    OdbcEngine::Options options;
    options.login = oracleLogin(params, catalog);
    options.sessionStatements = oracleSessionStatements(locale.statementDateFormat(), locale.locale());
    return std::make_unique<OdbcEngine>(std::move(options));
}

} // namespace varnel::odbc
