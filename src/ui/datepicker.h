#pragma once

#include <QDateEdit>

namespace varnel {

// A date picker as the windows' users know it: one calendar date, typed or chosen in a drop-down
// calendar. Tab and Shift+Tab leave it for the next control instead of walking through its day,
// month and year, so that the keyboard goes through a window in its tab order.
class DatePicker : public QDateEdit {
    Q_OBJECT

public:
    explicit DatePicker(QWidget* parent = nullptr);

protected:
    bool focusNextPrevChild(bool next) override;
};

} // namespace varnel
