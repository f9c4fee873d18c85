#pragma once

#include <QDateEdit>

namespace varnel {

// A date picker as the windows' users know it: one calendar date, typed or chosen in a drop-down
// calendar. Tab and Shift+Tab leave it for the next control instead of walking through its day,
// month and year, so that the keyboard goes through a window in its tab order. Entering it with
// the keyboard selects its first part, so that a date typed with or without separators lands
// in its parts ("01.11.2025" and "01112025" alike). So does entering it with a click on its
// text; a click while it has the focus selects the part clicked, to type that part alone.
class DatePicker : public QDateEdit {
    Q_OBJECT

public:
    explicit DatePicker(QWidget* parent = nullptr);

protected:
    bool focusNextPrevChild(bool next) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void selectSection(int index);

    // A digit just completed a part and Qt moved on to the next one: a separator typed now
    // closes the part already closed.
    bool m_movedOn = false;
    // The focus came with a mouse press: its release selects the first part.
    bool m_enteredByClick = false;
    bool m_releasing = false; // the line edit is taking a release that the filter passed on
};

} // namespace varnel
