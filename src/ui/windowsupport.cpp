#include "ui/windowsupport.h"

#include <QComboBox>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QWidget>

namespace varnel {

namespace {

constexpr char kWheelAsArrows[] = "varnelWheelAsArrows";

} // namespace

void takeWheelAsArrows(QWidget& window)
{
    window.setProperty(kWheelAsArrows, true);
}

bool takesWheelAsArrows(const QWidget* widget)
{
    const QWidget* window = widget ? widget->window() : nullptr;
    while (window && window->windowType() == Qt::Popup && window->parentWidget())
        window = window->parentWidget()->window();
    return window && window->property(kWheelAsArrows).toBool();
}

void fitPicture(QLabel& label)
{
    const QPixmap original = label.pixmap();
    if (original.isNull())
        return;
    const qreal ratio = label.devicePixelRatioF();
    QPixmap fitted =
        original.scaled(label.size() * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    fitted.setDevicePixelRatio(ratio);
    label.setScaledContents(false);
    label.setPixmap(fitted);
}

void centerOnScreen(QWidget& window)
{
    QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect client(QPoint(), window.size());
    client.moveCenter(screen->availableGeometry().center());
    window.setGeometry(client);
}

void applyPixelSizes(QWidget& root)
{
    // findChildren lists descendants depth-first, after the root: every parent's font is final
    // before its children take theirs.
    QList<QWidget*> widgets{&root};
    widgets += root.findChildren<QWidget*>();
    for (QWidget* widget : widgets) {
        bool ok = false;
        const int pixels = widget->property("pixelSize").toInt(&ok);
        if (!ok || pixels <= 0)
            continue;
        QFont font = widget->font();
        font.setPixelSize(pixels);
        widget->setFont(font);
    }
}

namespace {

class FixedHeightDelegate : public QStyledItemDelegate {
public:
    FixedHeightDelegate(int height, QObject* parent) : QStyledItemDelegate(parent), m_height(height)
    {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return {QStyledItemDelegate::sizeHint(option, index).width(), m_height};
    }

private:
    int m_height;
};

} // namespace

void setItemHeight(QComboBox& box, int pixels)
{
    box.setItemDelegate(new FixedHeightDelegate(pixels, &box));
}

void substituteWindowFont()
{
    QFont::insertSubstitutions(QStringLiteral("Comic Sans MS"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                                QStringLiteral("DejaVu Sans Condensed")});
}

WaitCursor::WaitCursor()
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor()
{
    QGuiApplication::restoreOverrideCursor();
}

} // namespace varnel
