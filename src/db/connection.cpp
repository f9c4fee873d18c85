#include "connection.h"

#include "connectionstring.h"
#include "dberror.h"
#include "embedded/sqliteengine.h"
#include "localetext.h"
#include "odbc/odbcengine.h"

namespace varnel {

Connection::Connection() : Connection(&Connection::openEngine) {}

Connection::Connection(EngineFactory factory) : m_factory(std::move(factory)) {}

Connection::~Connection() = default;

void Connection::setConnectionString(const QString& connectionString)
{
    if (connectionString == m_connectionString)
        return;
    disconnect();
    m_connectionString = connectionString;
}

void Connection::connect()
{
    if (m_engine)
        return;
    m_engine = m_factory(m_connectionString);
    if (m_progress)
        m_engine->setProgressHandler(m_progress);
}

void Connection::setProgressHandler(std::function<void()> handler)
{
    m_progress = std::move(handler);
    if (m_engine)
        m_engine->setProgressHandler(m_progress);
}

void Connection::connect(const QString& connectionString)
{
    setConnectionString(connectionString);
    connect();
}

void Connection::disconnect()
{
    if (!m_engine)
        return;
    for (const auto& callback : m_onDisconnect)
        callback();
    m_engine.reset();
}

Engine& Connection::engine()
{
    if (!m_engine)
        throw DbError(QStringLiteral("%1: Connection is not open").arg(m_name));
    return *m_engine;
}

std::unique_ptr<Engine> Connection::openEngine(const QString& connectionString)
{
    const ConnectionParams params = parseConnectionString(connectionString);
    if (params.dataSource.isEmpty())
        throw DbError(QStringLiteral("The connection string names no data source"));
    if (params.isLocalFile()) {
        // The connection reads dates with the format the program writes them in, so the
        // date texts of statements always read back as the days they were written from.
        const LocaleText locale = LocaleText::current();
        return std::make_unique<embedded::SqliteEngine>(
            params.dataSource, locale.statementDateFormat(), locale.locale());
    }
    return odbc::openOracle(params, LocaleText::current(), odbc::OdbcCatalog::installed());
}

} // namespace varnel
