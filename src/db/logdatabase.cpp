#include "db/logdatabase.h"

namespace varnel {

LogDatabase::LogDatabase(QObject* parent) : QObject(parent)
{
    createDatasets();
}

LogDatabase::LogDatabase(Connection::EngineFactory factory, QObject* parent)
    : QObject(parent), m_connection(std::move(factory))
{
    createDatasets();
}

LogDatabase::~LogDatabase()
{
    // Datasets close (and tell their views) before the connection goes.
    m_connection.disconnect();
}

void LogDatabase::createDatasets()
{
    setObjectName(QStringLiteral("DataModuleBase"));
    static const char* const names[kDatasetRoleCount] = {
        "ADOQueryMain", "ADOQueryTable",  "ADOQueryAction",      "ADOQueryOracleUser",
        "ADOQueryPC",   "ADOQueryOSUser", "ADOQueryCreateTable", "ADOQuerySaveLog"};
    for (size_t i = 0; i < kDatasetRoleCount; ++i) {
        m_datasets[i] = std::make_unique<Dataset>(QString::fromLatin1(names[i]), m_connection);
        Dataset* dataset = m_datasets[i].get();
        m_connection.onDisconnect([dataset] { dataset->close(); });
    }
}

} // namespace varnel
