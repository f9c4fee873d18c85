#include "browse/frequencywindow.h"

#include "base/localetext.h"
#include "browse/loggrid.h"
#include "ui/core/statustext.h"
#include "ui/windowsupport.h"
#include "ui_frequencywindow.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>

#include <algorithm>

namespace varnel {

QString valueColumnTitle(ValueColumn column)
{
    // In the order of ValueColumn.
    static const char* const titles[] = {"Дата изменения",       "Таблица",
                                         "Тип действия",         "Информация о пользователе",
                                         "Пользователь Windows", "Имя компьютера",
                                         "Пользователь Oracle",  "Внесенные изменения"};
    return QString::fromUtf8(titles[static_cast<int>(column)]);
}

// The listed values: the value on one line (its line breaks as blanks, as the grid shows
// cells), its records, its share of all records counted.
class FrequencyModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void reset(Frequencies frequencies)
    {
        beginResetModel();
        m_frequencies = std::move(frequencies);
        m_locale = LocaleText::current();
        endResetModel();
    }
    const Frequencies& frequencies() const { return m_frequencies; }
    const ValueCount& line(int row) const { return m_frequencies.listed[size_t(row)]; }
    QString valueOf(int row) const { return valueText(line(row).value, m_locale); }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_frequencies.listed.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : 3;
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid())
            return {};
        const ValueCount& count = line(index.row());
        if (role == Qt::TextAlignmentRole && index.column() > 0)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        if (role == Qt::ToolTipRole && index.column() == 0) {
            const QString text = valueOf(index.row());
            return QStringLiteral("<p style='white-space:pre-wrap'>") + text.toHtmlEscaped() +
                   QStringLiteral("</p>");
        }
        if (role != Qt::DisplayRole)
            return {};
        switch (index.column()) {
        case 0: {
            QString text = valueOf(index.row());
            text.replace(QLatin1String("\r\n"), QLatin1String(" "));
            text.replace(QLatin1Char('\n'), QLatin1Char(' '));
            text.replace(QLatin1Char('\r'), QLatin1Char(' '));
            return text;
        }
        case 1:
            return m_locale.locale().toString(qlonglong(count.records));
        default:
            return shareText(count.records);
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole)
            return int((section > 0 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return QAbstractTableModel::headerData(section, orientation, role);
        static const char* const titles[] = {"Значение", "Записей", "Доля"};
        return QString::fromUtf8(titles[std::clamp(section, 0, 2)]);
    }

private:
    // To one decimal in the user's locale: «12,5 %».
    QString shareText(int64_t records) const
    {
        const double share =
            m_frequencies.records > 0 ? 100.0 * double(records) / double(m_frequencies.records) : 0;
        return m_locale.locale().toString(share, 'f', 1) + QStringLiteral(" %");
    }

    Frequencies m_frequencies;
    LocaleText m_locale = LocaleText::current();
};

FrequencyWindow::FrequencyWindow(QWidget* owner)
    : QWidget(owner, Qt::Window), m_ui(std::make_unique<Ui::FrequencyWindow>()),
      m_model(new FrequencyModel(this)), m_menu(new QMenu(this))
{
    m_ui->setupUi(this);
    applyPixelSizes(*this);
    takeWheelAsArrows(*this);
    QTableView& grid = *m_ui->GridValues;
    grid.setModel(m_model);
    grid.verticalHeader()->hide();
    grid.horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (const int column : {1, 2})
        grid.horizontalHeader()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    grid.verticalHeader()->setDefaultSectionSize(grid.fontMetrics().height() + 4);
    grid.installEventFilter(this);

    m_menu->setObjectName(QStringLiteral("FrequencyMenu"));
    const auto item = [this](const char* name, const char* text, auto handler) {
        QAction* action = m_menu->addAction(QString::fromUtf8(text));
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    item("ActionFilterByValue", "Отобрать по значению", [this] {
        if (const ColumnValue* value = currentValue())
            emit selectRequested(*value);
    });
    item("ActionExcludeValue", "Исключить значение", [this] {
        const QModelIndex current = m_ui->GridValues->currentIndex();
        if (current.isValid())
            emit excludeRequested(m_model->line(current.row()).value);
    });
    m_menu->addSeparator();
    item("ActionCopyLines", "Копировать", [this] {
        QApplication::clipboard()->setText(selectedLinesText());
    })->setShortcut(QKeySequence::Copy);

    connect(&grid, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (const ColumnValue* value = index.isValid() ? currentValue() : nullptr)
            emit selectRequested(*value);
    });
    connect(&grid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { openMenu(m_ui->GridValues->viewport()->mapToGlobal(at)); });
    connect(m_ui->ComboBoxCountBy, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && size_t(index) < m_ways.size() &&
            m_ways[size_t(index)] != frequencies().by)
            emit countByChosen(m_ways[size_t(index)]);
    });
}

FrequencyWindow::~FrequencyWindow() = default;

void FrequencyWindow::showFrequencies(const QString& title, const std::vector<ValueColumn>& ways,
                                      Frequencies frequencies)
{
    const QLocale locale = LocaleText::current().locale();
    setWindowTitle(QStringLiteral("Частота значений: ") + title);
    m_ways = ways;
    QComboBox& countBy = *m_ui->ComboBoxCountBy;
    countBy.clear();
    for (const ValueColumn way : ways)
        countBy.addItem(way == ValueColumn::UserInfo ? QStringLiteral("Весь текст")
                                                     : valueColumnTitle(way));
    countBy.setCurrentIndex(
        int(std::find(ways.begin(), ways.end(), frequencies.by) - ways.begin()));
    m_ui->PanelCountBy->setVisible(ways.size() > 1);

    m_ui->LabelOthers->setVisible(frequencies.otherValues() > 0);
    m_ui->LabelOthers->setText(
        QStringLiteral("Остальные: ") + countText(frequencies.otherValues(), kValues, locale) +
        QStringLiteral(", ") + countText(frequencies.otherRecords(), kRecords, locale));
    m_ui->LabelTotal->setText(
        QStringLiteral("Всего: ") + countText(frequencies.records, kRecords, locale) +
        QStringLiteral(", ") + countText(frequencies.values, kValues, locale));
    m_model->reset(std::move(frequencies));
    QTableView& grid = *m_ui->GridValues;
    if (m_model->rowCount() > 0)
        grid.setCurrentIndex(m_model->index(0, 0));
    grid.scrollToTop();
    // One way after another can be tried from «Считать» with the keyboard.
    if (!m_ui->ComboBoxCountBy->hasFocus())
        grid.setFocus();
}

const Frequencies& FrequencyWindow::frequencies() const
{
    return m_model->frequencies();
}

const ColumnValue* FrequencyWindow::currentValue() const
{
    const QModelIndex current = m_ui->GridValues->currentIndex();
    if (!current.isValid())
        return nullptr;
    const ColumnValue& value = m_model->line(current.row()).value;
    // The filters find no record by a missing value, but for an empty segment.
    const bool segment = value.column == ValueColumn::OSUser || value.column == ValueColumn::PC ||
                         value.column == ValueColumn::OracleUser;
    return value.null && !segment ? nullptr : &value;
}

QString FrequencyWindow::selectedLinesText() const
{
    std::vector<int> rows;
    for (const QModelIndex& index : m_ui->GridValues->selectionModel()->selectedRows())
        rows.push_back(index.row());
    if (rows.empty() && m_ui->GridValues->currentIndex().isValid())
        rows.push_back(m_ui->GridValues->currentIndex().row());
    std::sort(rows.begin(), rows.end());
    QString text;
    for (const int row : rows)
        text += spreadsheetCell(m_model->valueOf(row)) + QLatin1Char('\t') +
                QString::number(m_model->line(row).records) + QLatin1Char('\n');
    return text;
}

void FrequencyWindow::openMenu(const QPoint& globalPos)
{
    if (!m_ui->GridValues->currentIndex().isValid())
        return;
    m_menu->findChild<QAction*>(QStringLiteral("ActionFilterByValue"))
        ->setEnabled(currentValue() != nullptr);
    m_menu->popup(globalPos);
}

bool FrequencyWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ui->GridValues && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter && modifiers == Qt::NoModifier) {
            if (const ColumnValue* value = currentValue())
                emit selectRequested(*value);
            return true;
        }
        if (key->matches(QKeySequence::Copy)) {
            QApplication::clipboard()->setText(selectedLinesText());
            return true;
        }
        if (key->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier) {
            QTableView& grid = *m_ui->GridValues;
            openMenu(grid.viewport()->mapToGlobal(grid.visualRect(grid.currentIndex()).center()));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FrequencyWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace varnel
