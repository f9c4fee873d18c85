#include "db/dataset.h"

#include "base/largepages.h"
#include "base/textneedle.h"
#include "db/connection.h"
#include "db/dberror.h"

#include <QCollator>
#include <QRegularExpression>
#include <QScopeGuard>

#include <algorithm>
#include <numeric>

namespace varnel {

namespace {

// std::popcount, which without -mpopcnt is a call into libgcc_s 3.4, newer than the package
// declares.
int bitsSet(uint64_t word)
{
    word -= (word >> 1) & 0x5555555555555555u;
    word = (word & 0x3333333333333333u) + ((word >> 2) & 0x3333333333333333u);
    word = (word + (word >> 4)) & 0x0f0f0f0f0f0f0f0fu;
    return static_cast<int>((word * 0x0101010101010101u) >> 56);
}

const std::shared_ptr<const RowSet>& emptyRows()
{
    static const auto empty = std::make_shared<const RowSet>();
    return empty;
}

int defaultDisplayWidth(const ColumnInfo& column)
{
    switch (column.type) {
    case ColumnType::Number:
        return 10;
    case ColumnType::Date:
        return 18;
    case ColumnType::Text:
        break;
    }
    return column.declaredSize > 0 ? column.declaredSize : 20;
}

} // namespace

QString Field::name() const
{
    return m_dataset->m_rows->column(m_column).name;
}

ColumnType Field::type() const
{
    return m_dataset->m_rows->column(m_column).type;
}

bool Field::isNull() const
{
    const int row = m_dataset->currentRow();
    return row < 0 || m_dataset->m_rows->isNull(m_dataset->rowAt(row), m_column);
}

QString Field::displayText() const
{
    const int row = m_dataset->currentRow();
    return row < 0 ? QString() : m_dataset->displayText(row, m_column);
}

bool Field::visible() const
{
    return m_dataset->m_fields[static_cast<size_t>(m_column)].visible;
}

void Field::setVisible(bool visible)
{
    m_dataset->m_fields[static_cast<size_t>(m_column)].visible = visible;
    emit m_dataset->fieldsChanged();
}

QString Field::displayLabel() const
{
    return m_dataset->m_fields[static_cast<size_t>(m_column)].label;
}

void Field::setDisplayLabel(const QString& label)
{
    m_dataset->m_fields[static_cast<size_t>(m_column)].label = label;
    emit m_dataset->fieldsChanged();
}

int Field::displayWidth() const
{
    return m_dataset->m_fields[static_cast<size_t>(m_column)].width;
}

void Field::setDisplayWidth(int width)
{
    m_dataset->m_fields[static_cast<size_t>(m_column)].width = width;
    emit m_dataset->fieldsChanged();
}

Dataset::Dataset(const QString& name, Connection& connection, QObject* parent)
    : QObject(parent), m_connection(connection), m_rows(emptyRows())
{
    setObjectName(name);
}

Dataset::~Dataset() = default;

void Dataset::setText(const QString& text)
{
    close();
    m_text = text;
}

void Dataset::clearText()
{
    close();
    m_text.clear();
}

QString Dataset::getText() const
{
    // Line breaks of any convention separate lines; a final one does not start another.
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
    QStringList lines = m_text.split(lineBreak);
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    QString text;
    for (const QString& line : lines) {
        text += line;
        text += QLatin1String("\r\n");
    }
    return text;
}

void Dataset::open(const QString& title)
{
    if (m_open)
        return;
    RowSet rows = m_connection.query(title, m_text);
    // All that can fail is done before the announcement; from there on nothing throws.
    std::vector<FieldSettings> fields(static_cast<size_t>(rows.columnCount()));
    for (int col = 0; col < rows.columnCount(); ++col) {
        fields[static_cast<size_t>(col)].label = rows.column(col).name;
        fields[static_cast<size_t>(col)].width = defaultDisplayWidth(rows.column(col));
    }
    // The rows show in the regional settings of the connection they came from.
    LocaleText locale = m_connection.locale();
    emit aboutToOpen();
    m_rows = std::make_shared<const RowSet>(std::move(rows));
    m_order.clear();
    m_sortColumn = -1;
    m_foundText.clear();
    m_foundRows.clear();
    m_shown = static_cast<int>(m_rows->rowCount());
    m_position = 0;
    m_eof = m_shown == 0;
    m_locale.emplace(std::move(locale));
    m_fields = std::move(fields);
    m_open = true;
    emit opened();
}

void Dataset::close()
{
    if (!m_open)
        return;
    emit aboutToClose();
    m_open = false;
    {
        const KeepingReleasedBlocks keep; // for the rows that the next open fetches
        m_rows = emptyRows();
    }
    m_order.clear();
    m_order.shrink_to_fit();
    m_sortColumn = -1;
    m_foundText.clear();
    m_foundRows.clear();
    m_shown = 0;
    m_position = 0;
    m_eof = true;
    m_fields.clear();
    emit closed();
}

int64_t Dataset::execute(const QString& title)
{
    // A statement that finished before the cancel reached it has done its work: it is
    // reported as done, never as cancelled.
    int64_t changed = -1;
    m_connection.call(
        title, [&](Engine& engine) { changed = engine.execute(m_text); }, true);
    return changed;
}

void Dataset::raiseClosed() const
{
    throw DbError(objectName() +
                  QStringLiteral(": Cannot perform this operation on a closed dataset"));
}

void Dataset::requireOpen() const
{
    if (!m_open)
        raiseClosed();
}

void Dataset::first()
{
    requireOpen();
    m_position = 0;
    m_eof = m_shown == 0;
}

void Dataset::next()
{
    requireOpen();
    if (m_position + 1 < m_shown)
        ++m_position;
    else
        m_eof = true;
}

bool Dataset::atEnd() const
{
    return !m_open || m_eof;
}

int Dataset::recordCount() const
{
    return m_open ? m_shown : 0;
}

void Dataset::setCurrentRow(int shownRow)
{
    requireOpen();
    if (shownRow < 0 || shownRow >= m_shown)
        return;
    m_position = shownRow;
    m_eof = false;
}

Field Dataset::field(const QString& name)
{
    requireOpen();
    const int column = m_rows->indexOf(name);
    if (column < 0)
        throw DbError(objectName() + QStringLiteral(": Field '%1' not found").arg(name));
    return Field(this, column);
}

Field Dataset::fieldAt(int column)
{
    requireOpen();
    return Field(this, column);
}

QString Dataset::displayText(int shownRow, int column) const
{
    if (!m_open || shownRow < 0 || shownRow >= m_shown)
        return {};
    return m_rows->displayText(rowAt(shownRow), column, *m_locale);
}

void Dataset::materializeOrder()
{
    if (m_order.empty() && m_shown > 0) {
        m_order.resize(static_cast<size_t>(m_shown));
        std::iota(m_order.begin(), m_order.end(), 0u);
    }
}

void Dataset::sortBy(const QString& fieldName, Qt::SortOrder order)
{
    const int column = field(fieldName).index();
    if (m_shown == 0)
        return;
    const uint32_t current = rowAt(m_position);
    materializeOrder();
    // The new order is made on the connection's thread beside the shown one, which the views
    // go on reading meanwhile; a cancelled or failed sort changes nothing. A cancelled one is
    // left to end there on its own copies, so that the user gets the window back at once.
    auto shown = std::make_shared<std::vector<uint32_t>>(m_order);
    m_connection.detachedWork(
        QStringLiteral("Сортировка"),
        [shown, rows = m_rows, column, order, collator = QCollator(m_locale->locale())](Call&) {
            // Ties keep the order the database returned them in, so that sorting twice by
            // the same column gives the same rows in the same order.
            CancellationCounter steps;
            std::sort(shown->begin(), shown->end(), [&steps](uint32_t a, uint32_t b) {
                steps.step();
                return a < b;
            });
            rows->sortRows(*shown, column, collator, order);
        });
    emit aboutToReorder();
    m_order = std::move(*shown);
    m_sortColumn = column;
    m_sortOrder = order;
    m_position =
        static_cast<int>(std::find(m_order.begin(), m_order.end(), current) - m_order.begin());
    emit reordered();
}

std::vector<uint64_t> Dataset::markFound(const TextNeedle& needle, const QString& text,
                                         const std::vector<int>& columns,
                                         std::vector<const std::vector<uint64_t>*>& found) const
{
    if (text != m_foundText) {
        m_foundRows.clear();
        m_foundText = text;
    }
    // The rows of each column, found once per text, and the rows where any of them matches.
    const auto known = [this](int column) {
        return std::find_if(m_foundRows.begin(), m_foundRows.end(),
                            [column](const auto& rows) { return rows.first == column; });
    };
    for (const int column : columns)
        if (known(column) == m_foundRows.end())
            m_rows->markMatches(column, needle, *m_locale,
                                m_foundRows.emplace_back(column, std::vector<uint64_t>()).second);
    found.clear();
    std::vector<uint64_t> any((size_t(m_rows->rowCount()) + 63) / 64, 0);
    for (const int column : columns) {
        found.push_back(&known(column)->second);
        for (size_t w = 0; w < any.size(); ++w)
            any[w] |= (*found.back())[w];
    }
    return any;
}

int Dataset::foundRowCount(const QString& text, const std::vector<int>& columns) const
{
    const TextNeedle needle(text);
    if (!m_open || m_shown == 0 || columns.empty() || needle.isEmpty())
        return 0;
    std::vector<const std::vector<uint64_t>*> found;
    const std::vector<uint64_t> any = markFound(needle, text, columns, found);
    int count = 0;
    // Deleted rows stay in the snapshot and may match: then only the shown ones count.
    if (static_cast<uint32_t>(m_shown) < m_rows->rowCount())
        for (const uint32_t row : m_order)
            count += int((any[row >> 6] >> (row & 63)) & 1u);
    else
        for (const uint64_t word : any)
            count += bitsSet(word);
    return count;
}

Dataset::FoundCell Dataset::find(const QString& text, const std::vector<int>& columns, int fromRow,
                                 int fromIndex, FindFrom from) const
{
    const TextNeedle needle(text);
    const auto width = static_cast<int64_t>(columns.size());
    if (!m_open || m_shown == 0 || width == 0 || needle.isEmpty())
        return {};
    std::vector<const std::vector<uint64_t>*> found;
    const std::vector<uint64_t> any = markFound(needle, text, columns, found);
    const auto bit = [](const std::vector<uint64_t>& rows, uint32_t row) {
        return (rows[row >> 6] >> (row & 63)) & 1u;
    };

    // Cells are numbered row by row; a row without any match is passed over whole.
    const int64_t cells = int64_t(m_shown) * width;
    const int64_t start = int64_t(std::clamp(fromRow, 0, m_shown - 1)) * width +
                          std::clamp<int64_t>(fromIndex, 0, width - 1);
    const bool forward = from != FindFrom::Before;
    int64_t cell = start + (from == FindFrom::After ? 1 : from == FindFrom::Before ? -1 : 0);
    bool wrapped = false;
    for (int64_t passed = 0; passed < cells;) {
        if (cell >= cells || cell < 0) {
            cell += cell < 0 ? cells : -cells;
            wrapped = true;
        }
        const auto row = static_cast<int>(cell / width);
        const auto index = static_cast<size_t>(cell % width);
        const uint32_t fetched = rowAt(row);
        if (!bit(any, fetched)) {
            const int64_t rest = forward ? width - int64_t(index) : int64_t(index) + 1;
            cell += forward ? rest : -rest;
            passed += rest;
            continue;
        }
        if (bit(*found[index], fetched))
            return {row, columns[index], wrapped};
        cell += forward ? 1 : -1;
        ++passed;
    }
    return {};
}

void Dataset::deleteCurrent(const QString& table)
{
    requireOpen();
    if (m_shown == 0)
        throw DbError(objectName() +
                      QStringLiteral(": Cannot perform this operation on an empty dataset"));
    if (table.isEmpty())
        throw DbError(objectName() + QStringLiteral(": No log table is chosen"));
    const int removed = m_position;
    const uint32_t record = rowAt(removed);
    m_connection.call(
        QStringLiteral("Удаление записей"),
        [&](Engine& engine) { engine.deleteRecord(table, *m_rows, record); }, true);
    materializeOrder();
    emit aboutToRemoveRow(removed);
    m_order.erase(m_order.begin() + removed);
    --m_shown;
    // The row after the deleted one becomes current (the new last row when the last one
    // went), whatever a view did with the cursor while it heard of the removal.
    m_position = std::min(removed, std::max(0, m_shown - 1));
    m_eof = m_shown == 0;
    emit rowRemoved(removed);
}

} // namespace varnel
