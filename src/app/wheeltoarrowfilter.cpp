#include "app/wheeltoarrowfilter.h"

#include "ui/windowsupport.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace varnel {

namespace {

// The widget a wheel event is addressed to: the receiver itself, or, for a window of the
// program's widgets, the widget under the cursor in it. Null for any other window.
QWidget* addresseeOf(QObject* watched, const QWheelEvent& wheel)
{
    if (auto* widget = qobject_cast<QWidget*>(watched))
        return widget;
    auto* window = qobject_cast<QWindow*>(watched);
    if (!window)
        return nullptr;
    const QList<QWidget*> tops = QApplication::topLevelWidgets();
    const auto top = std::find_if(tops.begin(), tops.end(),
                                  [window](QWidget* w) { return w->windowHandle() == window; });
    if (top == tops.end())
        return nullptr;
    QWidget* child = (*top)->childAt(wheel.position().toPoint());
    return child ? child : *top;
}

} // namespace

WheelToArrowFilter::WheelToArrowFilter(QObject* parent) : QObject(parent) {}

bool WheelToArrowFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Wheel)
        return false;
    // A wheel event from the window system comes to the filter first addressed to the window
    // (QWindow). Swallowed there, it never reaches a widget: Qt would first hand the focus to a
    // control under the cursor that takes it by wheel (a drop-down list, a date picker), the
    // key would go there, and the control left behind would lose its focus to a mere wheel
    // turn. Nor does it climb from the widget to its parents, each of which the filter would
    // see again. A wheel event that a program sends to a widget directly is handled on that
    // widget, and swallowing it ends its climb. So one wheel event gives at most one press.
    const auto* wheel = static_cast<QWheelEvent*>(event);
    QWidget* addressee = addresseeOf(watched, *wheel);
    if (!addressee)
        return false;
    // The press goes to the focus, or to the widget under the wheel when none has it.
    QPointer<QWidget> target = QApplication::focusWidget();
    if (!target)
        target = addressee;
    // Outside the program's own windows (a message box, the save dialog, the progress
    // window) the wheel is Qt's: an arrow key there would move the default button.
    if (!takesWheelAsArrows(addressee) || !takesWheelAsArrows(target))
        return false;
    const int delta = wheel->angleDelta().y();
    if (delta == 0)
        return false;

    if ((delta > 0) != (m_sum > 0))
        m_sum = 0;
    m_sum += delta;
    if (m_sum > -Notch && m_sum < Notch)
        return true;
    const Qt::Key key = m_sum > 0 ? Qt::Key_Up : Qt::Key_Down;
    m_sum = 0;

    // The press may close the target (a key that ends a dialog): the release then goes nowhere.
    // The modifiers held with the wheel are held with the key, as the keyboard would send it.
    QKeyEvent press(QEvent::KeyPress, key, wheel->modifiers());
    QCoreApplication::sendEvent(target, &press);
    if (target) {
        QKeyEvent release(QEvent::KeyRelease, key, wheel->modifiers());
        QCoreApplication::sendEvent(target, &release);
    }
    return true;
}

} // namespace varnel
