#include "browse/dblookupcombobox.h"

#include "db/statementslot.h"

#include <QSignalBlocker>

namespace varnel {

DBLookupComboBox::DBLookupComboBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(false);
    // A click, the keyboard and the wheel (an arrow key) choose alike.
    connect(this, &QComboBox::activated, this, &DBLookupComboBox::choose);
}

void DBLookupComboBox::attach(StatementSlot& slot, const QString& keyColumn)
{
    m_slot = &slot;
    m_column = keyColumn;
    connect(&slot, &StatementSlot::opened, this, &DBLookupComboBox::reload);
    connect(&slot, &StatementSlot::closed, this, &DBLookupComboBox::reload);
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
    if (m_slot && m_slot->isOpen()) {
        const int column = m_slot->rows().indexOf(m_column);
        QStringList items;
        if (column >= 0) {
            items.reserve(m_slot->recordCount());
            for (int row = 0; row < m_slot->recordCount(); ++row)
                items << m_slot->displayText(row, column);
        }
        addItems(items);
    }
    setKeyValue(m_key);
}

} // namespace varnel
