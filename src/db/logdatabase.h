#pragma once

#include "db/connection.h"
#include "db/dataset.h"
#include "db/datasetrole.h"

#include <QObject>
#include <QString>

#include <array>
#include <memory>

namespace varnel {

// The non-visual holder of the connection and the eight statement datasets, alive for the whole
// run and handed to every window that works with the database. It also keeps the current log
// table: empty until a login succeeds, then the name exactly as the user typed it.
class LogDatabase : public QObject {
    Q_OBJECT

public:
    explicit LogDatabase(QObject* parent = nullptr);
    explicit LogDatabase(Connection::EngineFactory factory, QObject* parent = nullptr);
    ~LogDatabase() override;

    Connection& connection() { return m_connection; }
    Dataset& dataset(DatasetRole which) { return *m_datasets[roleIndex(which)]; }

    Dataset& mainDataset() { return dataset(DatasetRole::Main); }
    Dataset& commandDataset() { return dataset(DatasetRole::Command); }
    Dataset& exportDataset() { return dataset(DatasetRole::Export); }

    const QString& currentLogTable() const { return m_currentLogTable; }
    void setCurrentLogTable(const QString& name) { m_currentLogTable = name; }

private:
    void createDatasets();

    QString m_currentLogTable;
    Connection m_connection;
    std::array<std::unique_ptr<Dataset>, kDatasetRoleCount> m_datasets;
};

} // namespace varnel
