#include "login/inlinecompletion.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

#include <utility>

namespace varnel {

void InlineCompletion::attach(QComboBox* box)
{
    new InlineCompletion(box);
}

InlineCompletion::InlineCompletion(QComboBox* box)
    : QObject(box), m_box(box), m_edit(box->lineEdit())
{
    // Qt's completer keeps the old index while the text changes and inserts on Enter; the
    // history would then drop the entry it believes selected.
    box->setCompleter(nullptr);
    box->setInsertPolicy(QComboBox::NoInsert);
    m_edit->installEventFilter(this);
    connect(m_edit, &QLineEdit::textEdited, this, &InlineCompletion::textEdited);
}

bool InlineCompletion::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_edit && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        m_deleting = key == Qt::Key_Backspace || key == Qt::Key_Delete;
    }
    return QObject::eventFilter(watched, event);
}

int InlineCompletion::firstItemStartingWith(const QString& text) const
{
    if (text.isEmpty())
        return -1;
    for (int i = 0; i < m_box->count(); ++i)
        if (m_box->itemText(i).startsWith(text, Qt::CaseInsensitive))
            return i;
    return -1;
}

int InlineCompletion::firstItemEqualTo(const QString& text) const
{
    for (int i = 0; i < m_box->count(); ++i)
        if (m_box->itemText(i).compare(text, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void InlineCompletion::textEdited(const QString& text)
{
    const bool deleting = std::exchange(m_deleting, false);
    QLineEdit* edit = m_edit;
    const int cursor = edit->cursorPosition();

    const int completed = deleting ? -1 : firstItemStartingWith(text);
    if (completed >= 0) {
        const QString item = m_box->itemText(completed);
        m_box->setCurrentIndex(completed);
        edit->setText(item);
        edit->setSelection(int(text.size()), int(item.size() - text.size()));
        return;
    }
    // setCurrentIndex rewrites the edit's text: put back what the user typed, where the
    // cursor was.
    m_box->setCurrentIndex(firstItemEqualTo(text));
    edit->setText(text);
    edit->setCursorPosition(cursor);
}

} // namespace varnel
