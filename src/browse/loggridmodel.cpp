#include "browse/loggridmodel.h"

#include "db/dataset.h"

namespace varnel {

LogGridModel::LogGridModel(Dataset& dataset, QObject* parent)
    : QAbstractTableModel(parent), m_dataset(dataset)
{
    connect(&dataset, &Dataset::aboutToOpen, this, &LogGridModel::beginResetModel);
    connect(&dataset, &Dataset::opened, this, &LogGridModel::endResetModel);
    connect(&dataset, &Dataset::aboutToClose, this, &LogGridModel::beginResetModel);
    connect(&dataset, &Dataset::closed, this, &LogGridModel::endResetModel);
    connect(&dataset, &Dataset::aboutToReorder, this, &LogGridModel::saveRecordsOfPersistentRows);
    connect(&dataset, &Dataset::reordered, this, &LogGridModel::movePersistentRowsToTheirRecords);
    connect(&dataset, &Dataset::aboutToRemoveRow, this,
            [this](int shownRow) { beginRemoveRows(QModelIndex(), shownRow, shownRow); });
    connect(&dataset, &Dataset::rowRemoved, this, &LogGridModel::endRemoveRows);
    connect(&dataset, &Dataset::fieldsChanged, this,
            [this] { emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1); });
}

int LogGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_dataset.recordCount();
}

int LogGridModel::columnCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return m_dataset.isOpen() ? m_dataset.fieldCount() : 1;
}

bool LogGridModel::hasField(int column) const
{
    return m_dataset.isOpen() && column >= 0 && column < m_dataset.fieldCount();
}

QVariant LogGridModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || !hasField(index.column()))
        return {};
    return m_dataset.displayText(index.row(), index.column());
}

QVariant LogGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    // The rows have no titles: the grid marks the current one instead.
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return {};
    return hasField(section) ? m_dataset.fieldAt(section).displayLabel() : QString();
}

Qt::ItemFlags LogGridModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

QString LogGridModel::fieldName(int column) const
{
    return hasField(column) ? m_dataset.fieldAt(column).name() : QString();
}

bool LogGridModel::isColumnVisible(int column) const
{
    return !hasField(column) || m_dataset.fieldAt(column).visible();
}

int LogGridModel::displayWidth(int column) const
{
    return hasField(column) ? m_dataset.fieldAt(column).displayWidth() : 0;
}

void LogGridModel::saveRecordsOfPersistentRows()
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    m_persistent = persistentIndexList();
    m_persistentRecords.clear();
    m_persistentRecords.reserve(static_cast<size_t>(m_persistent.size()));
    for (const QModelIndex& index : m_persistent)
        m_persistentRecords.push_back(m_dataset.rowAt(index.row()));
}

void LogGridModel::movePersistentRowsToTheirRecords()
{
    if (!m_persistent.isEmpty()) {
        // Where each fetched row is shown now; built only when a view holds on to some rows.
        const int rows = m_dataset.recordCount();
        std::vector<int> shownRowOf(m_dataset.rows().rowCount(), -1);
        for (int row = 0; row < rows; ++row)
            shownRowOf[m_dataset.rowAt(row)] = row;
        QModelIndexList moved;
        moved.reserve(m_persistent.size());
        for (qsizetype i = 0; i < m_persistent.size(); ++i)
            moved.push_back(index(shownRowOf[m_persistentRecords[static_cast<size_t>(i)]],
                                  m_persistent[i].column()));
        changePersistentIndexList(m_persistent, moved);
    }
    m_persistent.clear();
    m_persistentRecords.clear();
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace varnel
