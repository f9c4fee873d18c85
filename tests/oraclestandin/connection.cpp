#include "db/dberror.h"
#include "handles.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <odbcinst.h>

#include <chrono>
#include <thread>

namespace varnel::standin {

namespace {

// Keyword → value of an ODBC connection string. Keywords are compared in upper case; a value
// in braces may hold ";" and "=", and "}}" stands for "}" in it. The first of two equal
// keywords counts, as the ODBC rules have it.
QHash<QString, QString> parseConnectString(QStringView text)
{
    QHash<QString, QString> attributes;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype equals = text.indexOf(QLatin1Char('='), i);
        if (equals < 0)
            break;
        const QString key = text.mid(i, equals - i).trimmed().toString().toUpper();
        QString value;
        i = equals + 1;
        if (i < n && text[i] == QLatin1Char('{')) {
            for (++i; i < n; ++i) {
                if (text[i] == QLatin1Char('}')) {
                    if (i + 1 < n && text[i + 1] == QLatin1Char('}')) {
                        ++i;
                    } else {
                        ++i;
                        break;
                    }
                }
                value += text[i];
            }
            while (i < n && text[i] != QLatin1Char(';'))
                ++i;
        } else {
            const qsizetype end = text.indexOf(QLatin1Char(';'), i);
            value = text.mid(i, (end < 0 ? n : end) - i).toString();
            i = end < 0 ? n : end;
        }
        ++i; // the ";"
        if (!key.isEmpty() && !attributes.contains(key))
            attributes.insert(key, value);
    }
    return attributes;
}

// NLS_DATE_FORMAT of a new session: the default of the territory AMERICA.
constexpr const char* kSessionDateFormat = "DD-MON-RR";

[[noreturn]] void refuse(const char* message, const char* sqlstate)
{
    throw Failure{oracleRecord(QString::fromLatin1(message), sqlstate)};
}

const char* sqlstateOf(int ora)
{
    if (ora == 942)
        return "42S02";
    if (ora == 1013)
        return "HY008";
    if (ora == 3113 || ora == 3114)
        return "08S01";
    if (ora == 1)
        return "23000";
    if (ora >= 900 && ora <= 999)
        return "42000";
    return "HY000";
}

} // namespace

DiagRecord oracleRecord(const QString& message, const char* sqlstate)
{
    static const QRegularExpression code(QStringLiteral("^ORA-(\\d{5})"));
    const QRegularExpressionMatch match = code.match(message);
    DiagRecord record;
    record.native = match.hasMatch() ? match.captured(1).toInt() : 0;
    record.sqlstate = sqlstate != nullptr ? sqlstate : sqlstateOf(record.native);
    QString text = QStringLiteral("[Oracle][ODBC][Ora]") + message;
    // Oracle 23ai's second line, for a client that has to take it off again.
    if (match.hasMatch() && qEnvironmentVariableIsSet("VARNEL_ORACLE_STANDIN_HELP_LINES"))
        text += QStringLiteral("\nHelp: https://docs.oracle.com/error-help/db/ora-%1/")
                    .arg(match.captured(1));
    record.message = text.toStdString();
    return record;
}

DiagRecord driverRecord(const char* sqlstate, const char* text)
{
    return {sqlstate, 0, std::string("[Oracle][ODBC]") + text};
}

void fail(const char* sqlstate, const char* text)
{
    throw Failure{driverRecord(sqlstate, text)};
}

Connection::~Connection()
{
    for (Statement* statement : m_statements)
        delete statement;
}

void Connection::connect(const QString& connectString)
{
    const QHash<QString, QString> attributes = parseConnectString(connectString);
    QString database = attributes.value(QStringLiteral("DBQ"));
    const QString dsn = attributes.value(QStringLiteral("DSN"));
    if (database.isEmpty() && !dsn.isEmpty()) {
        char value[1024] = "";
        SQLGetPrivateProfileString(dsn.toUtf8().constData(), "DBQ", "", value, sizeof value,
                                   "odbc.ini");
        database = QString::fromUtf8(value);
    }
    // A host that does not answer (a mistyped one): Oracle's driver blocks in its connect until
    // TCP gives up, minutes later, and takes no cancel meanwhile. Here for as long as the tests
    // name the database.
    while (!database.isEmpty() &&
           qEnvironmentVariable("VARNEL_ORACLE_STANDIN_UNREACHABLE") == database)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // Each database name is a file of the folder that stands for the TNS names of a client.
    const QString folder = qEnvironmentVariable("VARNEL_ORACLE_STANDIN_DIR");
    const QString path = QDir(folder).filePath(database + QStringLiteral(".sqlite"));
    if (database.isEmpty() || folder.isEmpty() || !QFileInfo(path).isFile())
        refuse("ORA-12154: TNS:could not resolve the connect identifier specified", "08001");
    const QString password = attributes.value(QStringLiteral("PWD"));
    if (password.isEmpty())
        refuse("ORA-01005: null password given; logon denied", "08004");
    if (qEnvironmentVariableIsSet("VARNEL_ORACLE_STANDIN_PASSWORD") &&
        password != qEnvironmentVariable("VARNEL_ORACLE_STANDIN_PASSWORD"))
        refuse("ORA-01017: invalid username/password; logon denied", "28000");

    m_client = clientSettings(qgetenv("NLS_LANG"));
    m_dateFormatText = QLatin1String(kSessionDateFormat);
    m_dateFormat.emplace(m_dateFormatText, m_client.language);
    m_dateLanguage = m_client.language;
    m_engine =
        std::make_unique<embedded::SqliteEngine>(path, m_dateFormat->qtFormat(), m_dateLanguage);
    // A cancel that comes between the start of a statement and the engine's first step would
    // find nothing to interrupt: the running statement looks at the request now and then.
    m_engine->setProgressHandler([this] {
        if (m_cancelRequested.load(std::memory_order_relaxed))
            m_engine->interrupt();
    });
    m_database = database;
    m_user = attributes.value(QStringLiteral("UID"));
    m_failover = attributes.value(QStringLiteral("FEN"), QStringLiteral("T"))
                     .compare(u"F", Qt::CaseInsensitive) != 0;
    m_instance = qgetenv("VARNEL_ORACLE_STANDIN_INSTANCE");
    m_lost = false;
    // Autocommit stays as set: the driver manager sets it before connecting when the
    // application did (SQLConnect.c, __connect_part_one).
    m_inTransaction = false;
}

void Connection::disconnect()
{
    if (m_inTransaction)
        fail("25000", "Invalid transaction state");
    for (Statement* statement : m_statements)
        delete statement;
    m_statements.clear();
    m_engine.reset();
}

void Connection::alterSession(const QString& sql)
{
    static const QRegularExpression setting(
        QStringLiteral("^\\s*alter\\s+session\\s+set\\s+(\\w+)\\s*=\\s*(.*?)\\s*$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression literal(QStringLiteral("^'((?:[^']|'')*)'$"));
    const QRegularExpressionMatch match = setting.match(sql);
    if (!match.hasMatch())
        return;
    const QString name = match.captured(1).toUpper();
    const QString value = match.captured(2);
    if (name == QLatin1String("NLS_DATE_FORMAT")) {
        const QRegularExpressionMatch quoted = literal.match(value);
        if (!quoted.hasMatch())
            throw DbError(QStringLiteral("ORA-00922: missing or invalid option"));
        setDateFormat(quoted.captured(1).replace(QLatin1String("''"), QLatin1String("'")),
                      m_dateLanguage);
    } else if (name == QLatin1String("NLS_DATE_LANGUAGE")) {
        const QRegularExpressionMatch quoted = literal.match(value);
        setDateFormat(m_dateFormatText,
                      oracleLanguage(quoted.hasMatch() ? quoted.captured(1) : value));
    }
}

void Connection::checkInstance()
{
    if (m_lost)
        throw DbError(QStringLiteral("ORA-03114: not connected to ORACLE"));
    const QByteArray instance = qgetenv("VARNEL_ORACLE_STANDIN_INSTANCE");
    if (instance == m_instance)
        return;
    m_instance = instance;
    endTransaction(false); // with the session that went
    if (!m_failover) {
        m_lost = true;
        throw DbError(QStringLiteral("ORA-03113: end-of-file on communication channel"));
    }
    // Transparent application failover: "TAF cannot restore other session properties".
    setDateFormat(QLatin1String(kSessionDateFormat), m_client.language);
}

void Connection::setDateFormat(const QString& oracleFormat, const QLocale& language)
{
    OracleDateFormat format(oracleFormat, language); // raises before anything changes
    m_engine->setDateFormat(format.qtFormat(), language);
    m_dateFormat.emplace(std::move(format));
    m_dateFormatText = oracleFormat;
    m_dateLanguage = language;
}

void Connection::setAutocommit(bool on)
{
    // Turning autocommit on commits what is open, as ODBC has it.
    if (on && m_inTransaction)
        endTransaction(true);
    m_autocommit = on;
}

void Connection::prepareToRun()
{
    m_cancelRequested.store(false);
    if (m_autocommit || m_inTransaction)
        return;
    m_engine->begin();
    m_inTransaction = true;
}

void Connection::endTransaction(bool commit)
{
    if (!m_inTransaction)
        return;
    if (commit)
        m_engine->commit();
    else
        m_engine->rollback();
    m_inTransaction = false;
}

QHash<QString, QString> Connection::lobColumns()
{
    const RowSet rows = m_engine->query(QStringLiteral(
        "select upper(p.name), upper(p.type) from sqlite_schema m, pragma_table_info(m.name) p "
        "where m.type = 'table' and upper(p.type) in ('CLOB', 'NCLOB')"));
    QHash<QString, QString> columns;
    for (uint32_t row = 0; row < rows.rowCount(); ++row)
        columns.insert(QString::fromUtf8(rows.text(row, 0)), QString::fromUtf8(rows.text(row, 1)));
    return columns;
}

void Connection::cancel(const Statement& statement)
{
    if (!statement.executing())
        return;
    m_cancelRequested.store(true);
    m_engine->interrupt();
}

} // namespace varnel::standin
