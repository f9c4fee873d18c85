#pragma once

#include <QObject>

namespace varnel {

// The application-wide mouse-wheel hook: in the program's own windows (takeWheelAsArrows),
// every wheel turn becomes one Up (away from the user) or Down arrow key press, sent to the
// widget with the keyboard focus, or to the widget under the wheel when none has it; the wheel
// event itself is swallowed. Anywhere else (a message box, the save dialog, the progress
// window), and whenever the focus is in such a window, the wheel is left to Qt. So the grid's
// current record moves by one row, a drop-down list steps one entry and a date picker one day per
// notch, however large the delta. A horizontal wheel passes unchanged.
//
// Wheels that report fractions of a notch (high-resolution wheels, touchpads) are summed: one
// press when the sum reaches a notch, then the sum starts again; a turn in the other direction
// drops what was summed before.
class WheelToArrowFilter : public QObject {
    Q_OBJECT

public:
    // One standard notch of a wheel in eighths of a degree.
    static constexpr int Notch = 120;

    explicit WheelToArrowFilter(QObject* parent = nullptr);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int m_sum = 0; // the vertical delta of the turn so far, less than a notch
};

} // namespace varnel
