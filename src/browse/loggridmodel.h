#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <cstdint>
#include <vector>

namespace varnel {

class Dataset;

// The rows of one statement dataset as a read-only table, one model column per column of the
// result, titled with the field's display label. Text is made only for the cells a view asks
// for: the model keeps nothing per row. While the dataset is closed the model has no rows and
// one blank, untitled column.
class LogGridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit LogGridModel(Dataset& dataset, QObject* parent = nullptr);

    Dataset& dataset() const { return m_dataset; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The field behind a model column: its name (empty for the closed dataset's blank column),
    // whether it is shown, and its display width in characters (0 for the blank column).
    // A change of any of them reaches views as headerDataChanged.
    QString fieldName(int column) const;
    bool isColumnVisible(int column) const;
    int displayWidth(int column) const;

private:
    bool hasField(int column) const;
    void saveRecordsOfPersistentRows();
    void movePersistentRowsToTheirRecords();

    Dataset& m_dataset;
    // Between aboutToReorder and reordered: the persistent indexes and the fetched row each
    // of them showed, so that they follow their records into the new order.
    QModelIndexList m_persistent;
    std::vector<uint32_t> m_persistentRecords;
};

} // namespace varnel
