#pragma once

class QComboBox;
class QLabel;
class QWidget;

namespace varnel {

// Rescales the picture a label holds (from its form file) to the label's size with its
// proportions kept, smoothly and sharp on high-density screens. A label without a picture
// stays empty: a picture that failed to decode is not an error of the window.
void fitPicture(QLabel& label);

// Puts a top-level window's client area in the middle of the available area of its screen
// (without the task bar); the frame is not known before the window is shown. Call before the
// window is shown: a dialog then no longer centres itself on its owner.
void centerOnScreen(QWidget& window);

// Form files cannot hold a font's pixel size, so a widget carries it as the dynamic property
// "pixelSize". This sets it on the widget and its descendants, parents first, so that the
// other font attributes still come from the parent where the form does not set them.
void applyPixelSizes(QWidget& root);

// Makes every item of a drop-down list `pixels` high; a form file cannot say it.
void setItemHeight(QComboBox& box, int pixels);

// The windows' typeface, Comic Sans MS, is missing on most Linux desktops, and the usual
// fallback (DejaVu Sans) is so much wider that captions no longer fit their fixed sizes. Where
// it is missing, a face of Arial's metrics with Cyrillic letters stands in.
void substituteWindowFont();

// The program's own windows (the main window, the login dialog, the About window) say with
// this that the mouse wheel steps in them like the arrow keys (WheelToArrowFilter). Message boxes,
// the save dialog and the progress window never do: in a question box an arrow key moves the focus,
// and with it the default button, from «Нет» to «Да».
void takeWheelAsArrows(QWidget& window);
// Whether the wheel steps like the arrow keys in the window of `widget`: its own window, or
// for a pop-up (an open drop-down list, a picker's calendar) the window it opened from.
bool takesWheelAsArrows(const QWidget* widget);

// The wait cursor over every window of the program for as long as it lives: while a handler
// waits for its call on the connection's thread, the windows take no clicks or keys.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace varnel
