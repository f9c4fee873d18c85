#include "browse/loggrid.h"

#include "base/localetext.h"
#include "browse/core/valuefrequencies.h"
#include "browse/loggridmodel.h"
#include "db/dataset.h"
#include "ui/core/guard.h"
#include "ui/core/prompts.h"
#include "ui/core/statustext.h"
#include "ui/windowsupport.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPolygonF>
#include <QProxyStyle>
#include <QScopedValueRollback>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>
#include <utility>
#include <vector>

namespace varnel {

namespace {

// Pixels of the grid's own design, whatever the style.
constexpr int TitlePixels = 12;
constexpr int IndicatorWidth = 12;
constexpr int WidthPadding = 4;
constexpr int RowPadding = 4;

// Titles stand 2 pixels from their section's borders, so that a column as wide as its title
// plus 4 pixels shows the whole title; the styles' own margin (4 pixels a side) would cut it.
class TitleStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override
    {
        if (metric == PM_HeaderMargin)
            return WidthPadding / 2;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

// The indicator column: a blank title for each row, a triangle on the current one.
class IndicatorHeader : public QHeaderView {
public:
    explicit IndicatorHeader(QWidget* parent) : QHeaderView(Qt::Vertical, parent) {}

    QSize sizeHint() const override { return {IndicatorWidth, 0}; }

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override
    {
        QHeaderView::paintSection(painter, rect, logicalIndex);
        if (logicalIndex != currentIndex().row())
            return;
        const qreal half = std::min(rect.width(), rect.height()) / 4.0;
        const QPointF centre = QRectF(rect).center();
        const QPolygonF triangle{centre + QPointF(-half / 2, -half),
                                 centre + QPointF(-half / 2, half), centre + QPointF(half, 0)};
        painter->save();
        // The base class may leave the painter clipped to nothing (Qt 6.4 restores an unset
        // clip as an empty one).
        painter->setClipRect(rect);
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(palette().color(QPalette::ButtonText));
        painter->drawPolygon(triangle);
        painter->restore();
    }
};

// A cell shows its text on one line: line breaks of a change text would otherwise stack
// lines that the row's height cuts. (The base class would turn them into line separators.)
// Cells that show the text looked for are tinted, decided as each is painted: the grid never
// lists the matches of a million rows.
class OneLineDelegate : public QStyledItemDelegate {
public:
    OneLineDelegate(const TextNeedle& found, QObject* parent)
        : QStyledItemDelegate(parent), m_found(found)
    {}

    QString displayText(const QVariant& value, const QLocale& /*locale*/) const override
    {
        QString text = value.toString();
        text.replace(QLatin1String("\r\n"), QLatin1String(" "));
        text.replace(QLatin1Char('\n'), QLatin1Char(' '));
        text.replace(QLatin1Char('\r'), QLatin1Char(' '));
        return text;
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!m_found.isEmpty() && m_found.isIn(QStringView(option->text)))
            option->backgroundBrush = QColor(255, 232, 120);
    }

private:
    const TextNeedle& m_found;
};

} // namespace

QString spreadsheetCell(QString text)
{
    static const QString special = QStringLiteral("\t\r\n\"");
    if (std::none_of(text.cbegin(), text.cend(), [](QChar c) { return special.contains(c); }))
        return text;
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

LogGrid::LogGrid(QWidget* parent) : QTableView(parent)
{
    setVerticalHeader(new IndicatorHeader(this));
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    auto* titleStyle = new TitleStyle;
    titleStyle->setParent(this);
    horizontalHeader()->setStyle(titleStyle);
    // The width rule may give a narrow column (one digit of an empty title): no floor above it.
    horizontalHeader()->setMinimumSectionSize(WidthPadding);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Titles stay regular when a whole column or row is selected.
    for (QHeaderView* header : {horizontalHeader(), verticalHeader()})
        header->setHighlightSections(false);
    // A click on a title sorts; it must neither select the column nor move the cell cursor
    // to the top row, as a table view does by itself.
    disconnect(horizontalHeader(), &QHeaderView::sectionPressed, this, nullptr);
    disconnect(horizontalHeader(), &QHeaderView::sectionEntered, this, nullptr);
    // The title of the sorted column shows its arrow. The header turns the arrow by itself
    // before it reports a click: the dataset's own order is put back, so that the arrow changes
    // only when a sort is done, and never after a cancelled one.
    horizontalHeader()->setSortIndicatorShown(true);
    horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        showSortIndicator();
        emit titleClicked(column);
    });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int /*old*/, int width) { columnDragged(column, width); });

    setItemDelegate(new OneLineDelegate(m_found, this));
    setEditTriggers(NoEditTriggers);
    setSelectionBehavior(SelectItems);
    setSelectionMode(ExtendedSelection);
    setTabKeyNavigation(true);
    setWordWrap(false);
    setShowGrid(true);
    applyFonts();
    buildMenu();
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& cell) {
        if (cell.isValid())
            emit recordRequested();
    });
}

LogGrid::~LogGrid() = default;

void LogGrid::attach(Dataset& dataset, Prompts& prompts, std::function<QString()> logTable)
{
    attach(*new LogGridModel(dataset, this), prompts, std::move(logTable));
}

void LogGrid::attach(LogGridModel& model, Prompts& prompts, std::function<QString()> logTable)
{
    m_model = &model;
    m_prompts = &prompts;
    m_logTable = std::move(logTable);
    setModel(&model);
    // After the view's own handling of each change, which these connections follow.
    connect(&model, &QAbstractItemModel::modelReset, this, guarded(prompts, [this] {
        applyColumnSetup();
        followDataset();
        showSortIndicator();
    }));
    connect(&model, &QAbstractItemModel::headerDataChanged, this,
            guarded(prompts, [this] { applyColumnSetup(); }));
    connect(&model, &QAbstractItemModel::layoutChanged, this, guarded(prompts, [this] {
        followDataset();
        showSortIndicator();
    }));
    connect(&model, &QAbstractItemModel::rowsRemoved, this,
            guarded(prompts, [this] { followDataset(); }));
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            guarded(prompts, [this] {
                Dataset& dataset = m_model->dataset();
                const int row = currentIndex().row();
                if (row >= 0 && dataset.isOpen())
                    dataset.setCurrentRow(row);
            }));
    applyColumnSetup();
    followDataset();
    showSortIndicator();
}

QString LogGrid::fieldName(int column) const
{
    return m_model ? m_model->fieldName(column) : QString();
}

void LogGrid::applyFonts()
{
    QFont titles = font();
    titles.setPixelSize(TitlePixels);
    titles.setBold(false);
    horizontalHeader()->setFont(titles);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + RowPadding);
}

void LogGrid::applyColumnSetup()
{
    if (!m_model)
        return;
    QHeaderView& titles = *horizontalHeader();
    const QFontMetrics titleMetrics(titles.font());
    const int zero = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const bool open = m_model->dataset().isOpen();
    const QScopedValueRollback sizing(m_sizing, true);
    for (int column = 0; column < m_model->columnCount(); ++column) {
        setColumnHidden(column, !m_model->isColumnVisible(column));
        const QString title = m_model->headerData(column, Qt::Horizontal).toString();
        setColumnWidth(column,
                       open ? chosenWidth(column, std::max(m_model->displayWidth(column) * zero,
                                                           titleMetrics.horizontalAdvance(title)) +
                                                      WidthPadding)
                            : titles.defaultSectionSize());
    }
    fillWidth();
    // The cell cursor never rests in a hidden column.
    const QModelIndex current = currentIndex();
    if (current.isValid() && isColumnHidden(current.column()))
        setCurrentIndex(m_model->index(current.row(), shownColumns().front()));
}

int LogGrid::chosenWidth(int column, int ruleWidth)
{
    const QString name = m_model->fieldName(column);
    const int width = m_keepsDragged ? m_dragged.value(name, ruleWidth) : ruleWidth;
    if (name == m_fillField)
        m_fillBase = width;
    return width;
}

void LogGrid::setFillField(const QString& name)
{
    m_fillField = name;
    applyColumnSetup();
}

void LogGrid::keepDraggedWidths(const QMap<QString, int>& widths)
{
    m_keepsDragged = true;
    m_dragged = widths;
    applyColumnSetup();
}

void LogGrid::columnDragged(int column, int width)
{
    // Hiding a column sizes it to nothing; the grid's own widths are no choice of the user.
    if (m_sizing || width <= 0 || !m_model)
        return;
    const QString name = m_model->fieldName(column);
    if (name.isEmpty())
        return;
    if (m_keepsDragged)
        m_dragged.insert(name, width);
    if (name == m_fillField)
        m_fillBase = width;
    fillWidth();
}

void LogGrid::fillWidth()
{
    if (!m_model || m_fillField.isEmpty() || !m_model->dataset().isOpen())
        return;
    int fill = -1;
    int others = 0;
    for (int column = 0; column < m_model->columnCount(); ++column) {
        if (isColumnHidden(column))
            continue;
        if (m_model->fieldName(column) == m_fillField)
            fill = column;
        else
            others += columnWidth(column);
    }
    if (fill < 0)
        return;
    const QScopedValueRollback sizing(m_sizing, true);
    setColumnWidth(fill, std::max(m_fillBase, viewport()->width() - others));
}

void LogGrid::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    fillWidth();
}

std::vector<int> LogGrid::shownColumns() const
{
    const QHeaderView& titles = *horizontalHeader();
    std::vector<int> columns;
    for (int visual = 0; visual < titles.count(); ++visual)
        if (!titles.isSectionHidden(titles.logicalIndex(visual)))
            columns.push_back(titles.logicalIndex(visual));
    if (columns.empty())
        columns.push_back(0);
    return columns;
}

void LogGrid::followDataset()
{
    const int row = m_model->dataset().currentRow();
    if (row < 0 || row == currentIndex().row())
        return;
    const int column = currentIndex().isValid() ? currentIndex().column() : shownColumns().front();
    setCurrentIndex(m_model->index(row, column));
}

void LogGrid::showSortIndicator()
{
    const Dataset* dataset = m_model ? &m_model->dataset() : nullptr;
    if (dataset && dataset->sortColumn() >= 0)
        horizontalHeader()->setSortIndicator(dataset->sortColumn(), dataset->sortOrder());
    else
        horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
}

void LogGrid::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if ((enter && modifiers == Qt::NoModifier) || event->key() == Qt::Key_Menu ||
        (event->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier)) {
        event->accept();
        if (!currentIndex().isValid())
            return;
        if (enter)
            emit recordRequested();
        else
            openMenu(currentIndex(), viewport()->mapToGlobal(visualRect(currentIndex()).center()));
        return;
    }
    const bool remove = event->key() == Qt::Key_Delete && modifiers == Qt::ControlModifier;
    const bool copy = event->matches(QKeySequence::Copy);
    if (!remove && !copy) {
        QTableView::keyPressEvent(event);
        return;
    }
    event->accept();
    if (!m_model)
        return;
    runGuarded(*m_prompts, [&] { remove ? deleteCurrentRecord() : copySelectedRows(); });
}

void LogGrid::deleteCurrentRecord()
{
    Dataset& dataset = m_model->dataset();
    if (!dataset.isOpen() || dataset.recordCount() == 0)
        return;
    if (!m_prompts->confirmOkCancel(this, QStringLiteral("Delete record?")))
        return;
    // Finding the record reads the log table on the server.
    const WaitCursor wait;
    dataset.deleteCurrent(m_logTable());
    m_prompts->status(deletedRecordsText(1, LocaleText::current().locale()));
}

std::vector<int> LogGrid::selectedRows() const
{
    std::vector<std::pair<int, int>> spans;
    if (selectionModel())
        for (const QItemSelectionRange& range : selectionModel()->selection())
            spans.emplace_back(range.top(), range.bottom());
    if (spans.empty() && currentIndex().isValid())
        spans.emplace_back(currentIndex().row(), currentIndex().row());
    std::sort(spans.begin(), spans.end());
    std::vector<int> rows;
    int next = 0; // rows above are listed; ranges of one selection may overlap
    for (const auto& [top, bottom] : spans) {
        for (int row = std::max(top, next); row <= bottom; ++row)
            rows.push_back(row);
        next = std::max(next, bottom + 1);
    }
    return rows;
}

QString LogGrid::rowsText(const std::vector<int>& rows, bool titles) const
{
    if (!m_model)
        return {};
    const std::vector<int> columns = shownColumns();
    QString text;
    const auto line = [&](const auto& cell) {
        for (size_t i = 0; i < columns.size(); ++i) {
            if (i > 0)
                text += QLatin1Char('\t');
            text += spreadsheetCell(cell(columns[i]));
        }
        text += QLatin1Char('\n');
    };
    if (titles)
        line([&](int column) { return m_model->headerData(column, Qt::Horizontal).toString(); });
    for (const int row : rows)
        line([&](int column) { return m_model->index(row, column).data().toString(); });
    return text;
}

void LogGrid::copySelectedRows() const
{
    QApplication::clipboard()->setText(rowsText(selectedRows(), false));
}

void LogGrid::buildMenu()
{
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("GridMenu"));
    const auto item = [this](const char* name, const char* text, auto handler) {
        QAction* action = m_menu->addAction(QString::fromUtf8(text));
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, [this, handler] {
            if (m_prompts)
                runGuarded(*m_prompts, [&] { handler(); });
        });
    };
    item("ActionViewRecord", "Просмотр записи", [this] { emit recordRequested(); });
    item("ActionCopyValue", "Копировать значение",
         [this] { QApplication::clipboard()->setText(m_menuCell.data().toString()); });
    item("ActionCopyRowsWithTitles", "Копировать строки с заголовками",
         [this] { QApplication::clipboard()->setText(rowsText(selectedRows(), true)); });
    item("ActionFilterByValue", "Отобрать по значению", [this] {
        if (m_menuCell.isValid())
            emit filterByValueRequested(m_menuCell);
    });
    item("ActionExcludeValue", "Исключить значение", [this] {
        if (m_menuCell.isValid())
            emit excludeValueRequested(m_menuCell);
    });
    item("ActionValueFrequencies", "Частота значений…", [this] {
        if (m_menuCell.isValid())
            emit frequenciesRequested(m_menuCell.column());
    });
    m_menu->addSeparator();
    item("ActionExportCsv", "Экспорт в CSV…", [this] { emit exportRequested(); });
}

void LogGrid::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    if (event->reason() != QContextMenuEvent::Mouse) {
        openMenu(currentIndex(), viewport()->mapToGlobal(visualRect(currentIndex()).center()));
        return;
    }
    const QModelIndex cell = indexAt(viewport()->mapFromGlobal(event->globalPos()));
    // A right click outside the selection takes the cell as a left click would; inside it,
    // the selection stays for «Копировать строки с заголовками».
    if (cell.isValid()) {
        if (selectionModel()->isSelected(cell))
            selectionModel()->setCurrentIndex(cell, QItemSelectionModel::NoUpdate);
        else
            setCurrentIndex(cell);
    }
    openMenu(cell, event->globalPos());
}

void LogGrid::openMenu(const QModelIndex& cell, const QPoint& globalPos)
{
    if (!m_model || !cell.isValid() || !m_model->dataset().isOpen())
        return;
    m_menuCell = cell;
    const bool value = !cell.data().toString().isEmpty();
    const Dataset& dataset = m_model->dataset();
    const bool counted = !frequencyColumns(dataset.rows().column(cell.column()).name,
                                           dataset.rows().column(cell.column()).type)
                              .empty();
    for (QAction* action : m_menu->actions()) {
        const QString name = action->objectName();
        if (name == QLatin1String("ActionCopyValue") ||
            name == QLatin1String("ActionFilterByValue") ||
            name == QLatin1String("ActionExcludeValue"))
            action->setEnabled(value);
        else if (name == QLatin1String("ActionValueFrequencies"))
            action->setEnabled(counted);
    }
    m_menu->popup(globalPos);
}

bool LogGrid::focusNextPrevChild(bool next)
{
    if (!m_model || m_model->rowCount() == 0)
        return QTableView::focusNextPrevChild(next);
    // Tab and Shift+Tab move between the cells and never leave a grid that has some, not even
    // from its last cell, where the view's own handling would pass the focus on.
    QKeyEvent key(QEvent::KeyPress, next ? Qt::Key_Tab : Qt::Key_Backtab, Qt::NoModifier);
    keyPressEvent(&key);
    return true;
}

bool LogGrid::viewportEvent(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QTableView::viewportEvent(event);
    showToolTip(*static_cast<QHelpEvent*>(event));
    return true;
}

void LogGrid::showToolTip(const QHelpEvent& help)
{
    const QModelIndex index = indexAt(help.pos());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    if (!index.isValid() ||
        itemDelegateForIndex(index)->sizeHint(option, index).width() <= option.rect.width()) {
        QToolTip::hideText();
        return;
    }
    // Rich text, so that the tooltip wraps a long change text instead of running off the
    // screen; spaces and line breaks are kept.
    const QString text = index.data().toString();
    QToolTip::showText(help.globalPos(),
                       QStringLiteral("<p style='white-space:pre-wrap'>") + text.toHtmlEscaped() +
                           QStringLiteral("</p>"),
                       viewport(), option.rect);
}

void LogGrid::changeEvent(QEvent* event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        applyFonts();
        applyColumnSetup();
    }
}

void LogGrid::keyboardSearch(const QString& /*search*/) {}

void LogGrid::setFoundText(const QString& text)
{
    m_found = TextNeedle(text);
    viewport()->update();
}

} // namespace varnel
