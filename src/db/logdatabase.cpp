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
    // What the progress window says while each dataset's statements run; a caller that uses a
    // dataset for something else says so (the creation of a log table).
    static const char* const titles[kDatasetRoleCount] = {
        "Отбор записей",       "Обновление фильтров", "Обновление фильтров", "Обновление фильтров",
        "Обновление фильтров", "Обновление фильтров", "Удаление записей",    "Выгрузка логов"};
    for (size_t i = 0; i < kDatasetRoleCount; ++i) {
        m_datasets[i] = std::make_unique<Dataset>(QString::fromLatin1(names[i]), m_connection);
        m_datasets[i]->setWaitTitle(QString::fromUtf8(titles[i]));
        Dataset* dataset = m_datasets[i].get();
        m_connection.onDisconnect([dataset] { dataset->close(); });
    }
}

} // namespace varnel
