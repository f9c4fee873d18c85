#include "browse/recordwindow.h"

#include "browse/loggrid.h"
#include "browse/loggridmodel.h"
#include "ui/windowsupport.h"
#include "ui_recordwindow.h"

#include <QApplication>
#include <QClipboard>
#include <QItemSelectionModel>
#include <QKeyEvent>

namespace varnel {

RecordWindow::RecordWindow(LogGrid& grid, QWidget* owner)
    : QWidget(owner, Qt::Window), m_ui(std::make_unique<Ui::RecordWindow>()), m_grid(grid)
{
    m_ui->setupUi(this);
    applyPixelSizes(*this);
    takeWheelAsArrows(*this);
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);

    LogGridModel* model = grid.gridModel();
    if (model) {
        connect(model, &QAbstractItemModel::modelReset, this, &RecordWindow::showCurrentRecord);
        connect(model, &QAbstractItemModel::layoutChanged, this, &RecordWindow::showCurrentRecord);
        connect(model, &QAbstractItemModel::rowsRemoved, this, &RecordWindow::showCurrentRecord);
    }
    if (grid.selectionModel())
        connect(grid.selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                &RecordWindow::showCurrentRecord);
    showCurrentRecord();
}

RecordWindow::~RecordWindow() = default;

QString RecordWindow::fieldText(int row, const char* fieldName) const
{
    const LogGridModel* model = m_grid.gridModel();
    if (!model || row < 0)
        return {};
    for (int column = 0; column < model->columnCount(); ++column)
        if (model->fieldName(column).compare(QLatin1String(fieldName), Qt::CaseInsensitive) == 0)
            return model->index(row, column).data().toString();
    return {};
}

void RecordWindow::showCurrentRecord()
{
    const int row = m_grid.currentIndex().row();
    m_ui->EditDate->setText(fieldText(row, "DDATE"));
    m_ui->EditTable->setText(fieldText(row, "STABLE"));
    m_ui->EditAction->setText(fieldText(row, "SACTION"));
    m_ui->EditUserInfo->setText(fieldText(row, "SUSER_INFO"));
    for (QLineEdit* edit : {m_ui->EditDate, m_ui->EditTable, m_ui->EditAction, m_ui->EditUserInfo})
        edit->setCursorPosition(0);
    // Each break of the record is one break on screen: CR LF as two would leave blank lines.
    QString changes = fieldText(row, "SCHANGES");
    changes.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    changes.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    m_ui->MemoChanges->setPlainText(changes);
}

void RecordWindow::moveBy(int rows)
{
    const LogGridModel* model = m_grid.gridModel();
    const QModelIndex current = m_grid.currentIndex();
    if (!model || !current.isValid())
        return;
    const int row = current.row() + rows;
    if (row < 0 || row >= model->rowCount())
        return;
    // Through the grid, as a key there would: its selection and its indicator follow.
    m_grid.setCurrentIndex(model->index(row, current.column()));
    m_grid.scrollTo(m_grid.currentIndex());
}

bool RecordWindow::handleKey(QWidget* target, const QKeyEvent& key)
{
    if (key.modifiers() & ~Qt::KeypadModifier)
        if (!key.matches(QKeySequence::Copy))
            return false;
    if (key.matches(QKeySequence::Copy)) {
        const auto* edit = qobject_cast<QLineEdit*>(target);
        const auto* memo = qobject_cast<QPlainTextEdit*>(target);
        if ((edit && edit->hasSelectedText()) || (memo && memo->textCursor().hasSelection()))
            return false;
        const int row = m_grid.currentIndex().row();
        if (row >= 0)
            QApplication::clipboard()->setText(m_grid.rowsText({row}, true));
        return true;
    }
    switch (key.key()) {
    case Qt::Key_Up:
        moveBy(-1);
        return true;
    case Qt::Key_Down:
        moveBy(1);
        return true;
    case Qt::Key_Escape:
        close();
        return true;
    default:
        return false;
    }
}

bool RecordWindow::eventFilter(QObject* watched, QEvent* event)
{
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && event->type() == QEvent::ShortcutOverride) {
        // The edits take Ctrl+C as their own shortcut; without a selection it is the window's.
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Copy)) {
            key->accept();
            return false;
        }
    }
    if (widget && event->type() == QEvent::KeyPress &&
        handleKey(widget, *static_cast<QKeyEvent*>(event)))
        return true;
    return QWidget::eventFilter(watched, event);
}

void RecordWindow::keyPressEvent(QKeyEvent* event)
{
    if (!handleKey(this, *event))
        QWidget::keyPressEvent(event);
}

} // namespace varnel
