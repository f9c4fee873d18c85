#pragma once

#include <QDateEdit>

#include <optional>
#include <utility>

namespace varnel {

// A date picker as the windows' users know it: one calendar date, typed or chosen in a drop-down
// calendar. Tab and Shift+Tab leave it for the next control instead of walking through its day,
// month and year, so that the keyboard goes through a window in its tab order. Entering it with
// the keyboard selects its first part, so that a date typed with or without separators lands
// in its parts ("01.11.2025" and "01112025" alike). So does entering it with a click on its
// text; a click while it has the focus selects the part clicked, to type that part alone.
//
// Typing ends when the focus leaves the picker or Enter is pressed in it. A two-digit year then
// becomes the year the database reads two digits as (the RR rule, civiltime.h) and shows so. A
// date that still cannot be read stays as typed, in red, while the picker keeps its last day:
// Qt would put that day back without a word.
class DatePicker : public QDateEdit {
    Q_OBJECT

public:
    explicit DatePicker(QWidget* parent = nullptr);

    // Ends the typing now. A window that acts on Enter or on the focus leaving before the
    // picker sees the event calls it first, so that it reads the day the user typed.
    void finishTyping();

protected:
    bool focusNextPrevChild(bool next) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void selectSection(int index);
    // Whether the text can be read, once a two-digit year in it is completed (and shown so).
    bool completeYear();
    // Where the year stands in `text` (start, length) as the display format places it; none
    // when the text does not follow the format up to it.
    std::optional<std::pair<qsizetype, qsizetype>> yearPlace(const QString& text) const;
    bool unreadableShown() const;
    // Runs Qt's own handling of an event, which puts the last day back over a text it cannot
    // read, and then shows that text again if it was shown before.
    template <class Handling> void keepingUnreadable(Handling handling);
    // Shows the unreadable `text` with its year selected, the part to type again.
    void showAgain(const QString& text);
    void paintUnreadable(bool unreadable);

    // The text typed that cannot be read, shown in red while the line edit shows it. Qt
    // rewrites the line edit without a signal (a day set, the cursor leaving a part it cannot
    // read), so what counts is whether the text shown is this one.
    QString m_unreadable;
    bool m_paintedUnreadable = false;

    // A digit just completed a part and Qt moved on to the next one: a separator typed now
    // closes the part already closed.
    bool m_movedOn = false;
    // The focus came with a mouse press: its release selects the first part.
    bool m_enteredByClick = false;
    bool m_releasing = false; // the line edit is taking a release that the filter passed on
};

} // namespace varnel
