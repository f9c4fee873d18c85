#include "browse/findbar.h"

#include "base/localetext.h"
#include "browse/loggrid.h"
#include "browse/loggridmodel.h"
#include "ui/core/guard.h"
#include "ui/windowsupport.h"
#include "ui_findbar.h"

#include <QKeyEvent>
#include <QShortcut>

#include <algorithm>

namespace varnel {

FindBar::FindBar(QWidget* parent) : QWidget(parent), m_ui(std::make_unique<Ui::FindBar>())
{
    m_ui->setupUi(this);
    hide();
}

FindBar::~FindBar() = default;

void FindBar::attach(LogGrid& grid, Prompts& prompts, QWidget* scope)
{
    m_grid = &grid;
    m_prompts = &prompts;
    Ui::FindBar& ui = *m_ui;
    connect(ui.EditFind, &QLineEdit::textEdited, this,
            guarded(prompts, [this] { find(Dataset::FindFrom::Here); }));
    connect(ui.BitBtnFindNext, &QPushButton::clicked, this,
            guarded(prompts, [this] { findNext(); }));
    connect(ui.BitBtnFindPrior, &QPushButton::clicked, this,
            guarded(prompts, [this] { findPrevious(); }));
    connect(ui.BitBtnFindClose, &QToolButton::clicked, this, &FindBar::dismiss);
    // Enter in the text is the bar's own: it must not reach the page, where Enter runs
    // "Отобрать".
    ui.EditFind->installEventFilter(this);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, &FindBar::dismiss);

    // What the bar said belongs to the rows it searched.
    if (grid.gridModel()) {
        connect(grid.gridModel(), &QAbstractItemModel::modelReset, ui.LabelFindStatus,
                &QLabel::clear);
        connect(grid.gridModel(), &QAbstractItemModel::modelReset, ui.LabelFindCount,
                &QLabel::clear);
        connect(grid.gridModel(), &QAbstractItemModel::rowsRemoved, this, guarded(prompts, [this] {
                    if (isVisible())
                        showCount();
                }));
    }

    if (!scope)
        scope = grid.parentWidget() ? grid.parentWidget() : &grid;
    const auto shortcut = [&](const QKeySequence& keys, auto handler) {
        auto* key = new QShortcut(keys, scope);
        key->setContext(Qt::WidgetWithChildrenShortcut);
        connect(key, &QShortcut::activated, this, guarded(prompts, handler));
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_F), [this] { open(); });
    shortcut(QKeySequence(Qt::Key_F3), [this] {
        if (isVisible())
            findNext();
    });
    shortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] {
        if (isVisible())
            findPrevious();
    });
}

void FindBar::open()
{
    show();
    m_ui->EditFind->setFocus(Qt::ShortcutFocusReason);
    m_ui->EditFind->selectAll();
    m_grid->setFoundText(text());
    showCount();
}

void FindBar::dismiss()
{
    hide();
    m_ui->LabelFindStatus->clear();
    m_ui->LabelFindCount->clear();
    if (m_grid) {
        m_grid->setFoundText(QString());
        m_grid->setFocus(Qt::OtherFocusReason);
    }
}

void FindBar::setText(const QString& text)
{
    m_ui->EditFind->setText(text);
    find(Dataset::FindFrom::Here);
}

QString FindBar::text() const
{
    return m_ui->EditFind->text();
}

void FindBar::findNext()
{
    find(Dataset::FindFrom::After);
}

void FindBar::findPrevious()
{
    find(Dataset::FindFrom::Before);
}

QString FindBar::status() const
{
    return m_ui->LabelFindStatus->text();
}

QString FindBar::countLine() const
{
    return m_ui->LabelFindCount->text();
}

void FindBar::showCount()
{
    const Dataset& dataset = m_grid->gridModel()->dataset();
    const int found = dataset.foundRowCount(text(), m_grid->shownColumns());
    const QLocale locale = LocaleText::current().locale();
    // «Не найдено» says it when nothing matches.
    m_ui->LabelFindCount->setText(
        found == 0 ? QString()
                   : QStringLiteral("Найдено: %1 из %2")
                         .arg(locale.toString(found), locale.toString(dataset.recordCount())));
}

void FindBar::find(Dataset::FindFrom from)
{
    QLabel& status = *m_ui->LabelFindStatus;
    const QString wanted = text();
    m_grid->setFoundText(wanted);
    if (wanted.isEmpty()) {
        status.clear();
        m_ui->LabelFindCount->clear();
        return;
    }
    const WaitCursor wait;
    const std::vector<int> columns = m_grid->shownColumns();
    const QModelIndex current = m_grid->currentIndex();
    const auto at = std::find(columns.begin(), columns.end(), current.column());
    const Dataset::FoundCell found = m_grid->gridModel()->dataset().find(
        wanted, columns, std::max(current.row(), 0),
        at == columns.end() ? 0 : static_cast<int>(at - columns.begin()), from);
    showCount();
    if (found.row < 0) {
        status.setText(QStringLiteral("Не найдено"));
        return;
    }
    status.setText(!found.wrapped ? QString()
                   : from == Dataset::FindFrom::Before
                       ? QStringLiteral("Поиск продолжен с конца")
                       : QStringLiteral("Поиск продолжен с начала"));
    const QModelIndex cell = m_grid->model()->index(found.row, found.column);
    m_grid->selectionModel()->setCurrentIndex(cell, QItemSelectionModel::ClearAndSelect |
                                                        QItemSelectionModel::Rows);
    m_grid->scrollTo(cell);
}

bool FindBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ui->EditFind && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            runGuarded(*m_prompts,
                       [&] { key->modifiers() & Qt::ShiftModifier ? findPrevious() : findNext(); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace varnel
