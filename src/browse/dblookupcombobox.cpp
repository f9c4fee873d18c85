#include "browse/dblookupcombobox.h"

#include "db/dataset.h"

#include <QSignalBlocker>

namespace varnel {

DBLookupComboBox::DBLookupComboBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(false);
    // A click, the keyboard and the wheel (an arrow key) choose alike.
    connect(this, &QComboBox::activated, this, &DBLookupComboBox::choose);
}

void DBLookupComboBox::attach(Dataset& dataset, const QString& keyColumn)
{
    m_dataset = &dataset;
    m_column = keyColumn;
    connect(&dataset, &Dataset::opened, this, &DBLookupComboBox::reload);
    connect(&dataset, &Dataset::closed, this, &DBLookupComboBox::reload);
    reload();
}

void DBLookupComboBox::setKeyValue(const QString& key)
{
    m_key = key;
    const QSignalBlocker blocker(this);
    setCurrentIndex(key.isEmpty() ? -1 : findText(key, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

void DBLookupComboBox::choose(int index)
{
    m_key = index < 0 ? QString() : itemText(index);
}

void DBLookupComboBox::reload()
{
    const QSignalBlocker blocker(this);
    clear();
    if (m_dataset && m_dataset->isOpen()) {
        const int column = m_dataset->rows().indexOf(m_column);
        QStringList items;
        if (column >= 0) {
            items.reserve(m_dataset->recordCount());
            for (int row = 0; row < m_dataset->recordCount(); ++row)
                items << m_dataset->displayText(row, column);
        }
        addItems(items);
    }
    setKeyValue(m_key);
}

} // namespace varnel
