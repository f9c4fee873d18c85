#include "ui/datepicker.h"

#include <QFocusEvent>
#include <QKeyEvent>

namespace varnel {

DatePicker::DatePicker(QWidget* parent) : QDateEdit(parent)
{
    setCalendarPopup(true);
}

void DatePicker::focusInEvent(QFocusEvent* event)
{
    QDateEdit::focusInEvent(event);
    // Qt selects the whole text, and a typed digit then replaces all of it.
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
        reason == Qt::ShortcutFocusReason)
        selectSection(0);
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
