#include "ui/datepicker.h"

#include "base/civiltime.h"
#include "base/qtformat.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScopedValueRollback>

#include <algorithm>

namespace varnel {

DatePicker::DatePicker(QWidget* parent) : QDateEdit(parent)
{
    setCalendarPopup(true);
    // A click on the text lands in the line edit, which only puts its cursor where the click
    // was: typed digits then go in between a part's digits, and a whole date typed that way
    // is lost.
    lineEdit()->installEventFilter(this);
    // Qt's own lowest year: above it (1752 by default) Qt refuses the second digit of the
    // two-digit years 10 to 16, which could then never be completed.
    setMinimumDate(QDate(100, 1, 1));
}

void DatePicker::finishTyping()
{
    if (!completeYear()) {
        m_unreadable = lineEdit()->text();
        paintUnreadable(true);
    }
}

bool DatePicker::completeYear()
{
    const auto acceptable = [this](QString text) {
        int position = 0;
        return validate(text, position) == QValidator::Acceptable;
    };
    const QString text = lineEdit()->text();
    if (acceptable(text))
        return true;
    const auto year = yearPlace(text);
    if (!year)
        return false;
    const auto [at, length] = *year;
    // Qt shows a typed 00 as 0000, a year no calendar has.
    const bool zeros = length == 4 && std::all_of(text.begin() + at, text.begin() + at + 4,
                                                  [](QChar c) { return c.digitValue() == 0; });
    if (length != 2 && !zeros)
        return false;
    const int typed = zeros ? 0 : text[at].digitValue() * 10 + text[at + 1].digitValue();
    QLocale digits = locale();
    digits.setNumberOptions(QLocale::OmitGroupSeparator);
    const QString completed = text.left(at) +
                              digits.toString(civil::rrYear(typed, QDate::currentDate().year())) +
                              text.mid(at + length);
    if (!acceptable(completed))
        return false;
    lineEdit()->setText(completed);
    interpretText();
    return true;
}

std::optional<std::pair<qsizetype, qsizetype>> DatePicker::yearPlace(const QString& text) const
{
    const FormatTokens format = tokenizeFormat(displayFormat());
    qsizetype at = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        const FormatToken& token = format[i];
        if (token.isLiteral()) {
            if (!QStringView(text).mid(at).startsWith(token.text))
                return std::nullopt;
            at += token.text.size();
            continue;
        }
        qsizetype end = at;
        if (token.count >= 3 && token.letter != u'y') {
            // A month's or day's name runs up to the literal text after it.
            const bool literalNext = i + 1 < format.size() && format[i + 1].isLiteral();
            end = literalNext ? text.indexOf(format[i + 1].text, at) : text.size();
            if (end < 0)
                return std::nullopt;
        } else {
            while (end < text.size() && text[end].isDigit())
                ++end;
        }
        if (token.letter == u'y')
            return std::pair(at, end - at);
        at = end;
    }
    return std::nullopt;
}

bool DatePicker::unreadableShown() const
{
    return !m_unreadable.isEmpty() && lineEdit()->text() == m_unreadable;
}

template <class Handling> void DatePicker::keepingUnreadable(Handling handling)
{
    const QString kept = m_unreadable;
    const bool shown = unreadableShown();
    handling();
    if (shown && lineEdit()->text() != kept)
        showAgain(kept);
}

void DatePicker::showAgain(const QString& text)
{
    // The cursor must already be in the year when the text comes: Qt puts the last day back
    // over a part it cannot read as soon as the cursor leaves that part.
    for (int i = 0; i < sectionCount(); ++i)
        if (sectionAt(i) == YearSection)
            setCurrentSectionIndex(i);
    m_unreadable = text;
    lineEdit()->setText(text);
    if (const auto year = yearPlace(text))
        lineEdit()->setSelection(int(year->first), int(year->second));
}

void DatePicker::paintUnreadable(bool unreadable)
{
    if (unreadable == m_paintedUnreadable)
        return;
    m_paintedUnreadable = unreadable;
    // An empty palette gives the inherited one back.
    QPalette palette;
    if (unreadable)
        palette.setColor(QPalette::Text, Qt::red);
    lineEdit()->setPalette(palette);
}

void DatePicker::focusInEvent(QFocusEvent* event)
{
    const Qt::FocusReason reason = event->reason();
    keepingUnreadable([&] {
        QDateEdit::focusInEvent(event);
        // Qt selects the whole text, and a typed digit then replaces all of it.
        if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
            reason == Qt::ShortcutFocusReason)
            selectSection(0);
    });
    m_enteredByClick = reason == Qt::MouseFocusReason;
}

void DatePicker::focusOutEvent(QFocusEvent* event)
{
    m_enteredByClick = false;
    finishTyping();
    keepingUnreadable([&] { QDateEdit::focusOutEvent(event); });
}

bool DatePicker::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != lineEdit())
        return QDateEdit::eventFilter(watched, event);
    if (event->type() == QEvent::Paint)
        paintUnreadable(unreadableShown());
    // A click on a text that cannot be read selects its year, instead of placing the cursor
    // in another part, over which Qt would put the last day back.
    const bool mouse = event->type() == QEvent::MouseButtonPress ||
                       event->type() == QEvent::MouseButtonRelease ||
                       event->type() == QEvent::MouseButtonDblClick;
    if (mouse && unreadableShown()) {
        if (event->type() == QEvent::MouseButtonPress) {
            const QString kept = m_unreadable;
            setFocus(Qt::MouseFocusReason);
            showAgain(kept);
            m_enteredByClick = false;
        }
        return true;
    }
    if (event->type() != QEvent::MouseButtonRelease ||
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
        // part and selects the next one, as on the date pickers of native dialogs. A year
        // closed so is complete, wherever the format has it.
        const int closed = currentSectionIndex();
        if (currentSection() == YearSection)
            completeYear();
        if (!m_movedOn && closed + 1 < sectionCount())
            selectSection(closed + 1);
        m_movedOn = false;
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        finishTyping();
        keepingUnreadable([&] { QDateEdit::keyPressEvent(event); });
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
