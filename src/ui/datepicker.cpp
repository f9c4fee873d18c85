#include "ui/datepicker.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScopedValueRollback>

namespace varnel {

DatePicker::DatePicker(QWidget* parent) : QDateEdit(parent)
{
    setCalendarPopup(true);
    // A click on the text lands in the line edit, which only puts its cursor where the click
    // was: typed digits then go in between a part's digits, and a whole date typed that way
    // is lost.
    lineEdit()->installEventFilter(this);
}

void DatePicker::focusInEvent(QFocusEvent* event)
{
    QDateEdit::focusInEvent(event);
    // Qt selects the whole text, and a typed digit then replaces all of it.
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
        reason == Qt::ShortcutFocusReason)
        selectSection(0);
    m_enteredByClick = reason == Qt::MouseFocusReason;
}

void DatePicker::focusOutEvent(QFocusEvent* event)
{
    m_enteredByClick = false;
    QDateEdit::focusOutEvent(event);
}

bool DatePicker::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != lineEdit() || event->type() != QEvent::MouseButtonRelease ||
        static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton || m_releasing || !hasFocus())
        return QDateEdit::eventFilter(watched, event);
    // The selection follows the line edit's own handling of the click, and Qt's tracking of
    // the part under its cursor.
    {
        const QScopedValueRollback releasing(m_releasing, true);
        QCoreApplication::sendEvent(lineEdit(), event);
    }
    selectSection(m_enteredByClick ? 0 : currentSectionIndex());
    m_enteredByClick = false;
    m_movedOn = false;
    return true;
}

void DatePicker::selectSection(int index)
{
    setCurrentSectionIndex(index);
    setSelectedSection(sectionAt(index));
}

void DatePicker::keyPressEvent(QKeyEvent* event)
{
    const QString text = event->text();
    const bool digit = text.size() == 1 && text[0].isDigit();
    const bool separator =
        text.size() == 1 && text[0].isPrint() && !text[0].isLetterOrNumber() && !text[0].isSpace();
    if (separator) {
        // Qt would read the separator against the part the cursor is in; here it closes that
        // part and selects the next one, as on the date pickers of native dialogs.
        if (!m_movedOn && currentSectionIndex() + 1 < sectionCount())
            selectSection(currentSectionIndex() + 1);
        m_movedOn = false;
        event->accept();
        return;
    }
    const int before = currentSectionIndex();
    QDateEdit::keyPressEvent(event);
    m_movedOn = digit && currentSectionIndex() != before;
}

bool DatePicker::focusNextPrevChild(bool next)
{
    return QWidget::focusNextPrevChild(next);
}

} // namespace varnel
