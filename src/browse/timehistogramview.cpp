#include "browse/timehistogramview.h"

#include "db/dataset.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <utility>

namespace varnel {

namespace {

// Pixels of the view's own design.
constexpr int kMargin = 4;
constexpr int kTick = 3;
// Labels further apart than this many of the font's blanks.
constexpr int kLabelGapBlanks = 3;
// Narrower bars touch; wider ones keep a pixel between them.
constexpr double kGapFromWidth = 4;
// The normal bars are the highlight colour seen through; the chosen ones are the colour itself.
constexpr int kNormalAlpha = 150;

} // namespace

TimeHistogramView::TimeHistogramView(QWidget* parent)
    : QWidget(parent), m_locale(LocaleText::current())
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("HistogramMenu"));
    QAction* copy = m_menu->addAction(QStringLiteral("Копировать данные"));
    copy->setObjectName(QStringLiteral("ActionCopyData"));
    connect(copy, &QAction::triggered, this, &TimeHistogramView::copyData);
    QAction* reset = m_menu->addAction(QStringLiteral("Сбросить даты"));
    reset->setObjectName(QStringLiteral("ActionResetDates"));
    connect(reset, &QAction::triggered, this, &TimeHistogramView::datesResetRequested);
}

TimeHistogramView::~TimeHistogramView() = default;

void TimeHistogramView::attach(Dataset& dataset, const QString& field)
{
    m_dataset = &dataset;
    m_field = field;
    connect(&dataset, &Dataset::opened, this, &TimeHistogramView::fill);
    connect(&dataset, &Dataset::aboutToClose, this, &TimeHistogramView::clear);
    connect(&dataset, &Dataset::aboutToRemoveRow, this, &TimeHistogramView::removeRow);
    if (dataset.isOpen())
        fill();
}

void TimeHistogramView::fill()
{
    const RowSet& rows = m_dataset->rows();
    m_histogram = countDates(rows, rows.indexOf(m_field));
    m_locale = LocaleText::current();
    m_current = m_histogram.bars() > 0 && hasFocus() ? 0 : -1;
    m_dragFrom.reset();
    update();
}

void TimeHistogramView::clear()
{
    m_histogram = {};
    m_current = -1;
    m_dragFrom.reset();
    update();
}

void TimeHistogramView::removeRow(int shownRow)
{
    const RowSet& rows = m_dataset->rows();
    const int col = rows.indexOf(m_field);
    if (col < 0 || m_histogram.isEmpty())
        return;
    const uint32_t row = m_dataset->rowAt(shownRow);
    m_histogram.remove(rows.isNull(row, col) ? std::nullopt
                                             : std::optional(rows.dateSeconds(row, col)));
    update();
}

QSize TimeHistogramView::sizeHint() const
{
    return {400, 68};
}

QSize TimeHistogramView::minimumSizeHint() const
{
    return {100, 2 * fontMetrics().height() + 2 * kMargin};
}

TimeHistogramView::Layout TimeHistogramView::layout() const
{
    const QFontMetrics metrics = fontMetrics();
    const int line = metrics.height();
    Layout layout;
    const QString top = m_locale.locale().toString(qlonglong(m_histogram.largest()));
    layout.axisWidth = kMargin + metrics.horizontalAdvance(top) + kTick;
    int right = width() - kMargin;
    if (m_histogram.undated > 0) {
        const int text =
            metrics.horizontalAdvance(undatedText(m_histogram.undated, m_locale.locale()));
        layout.undated = QRect(width() - kMargin - text, 0, text, height());
        right = layout.undated.left() - 3 * kMargin;
    }
    // The largest count's text stands centred on the plot's top, the labels under its bottom.
    layout.plot =
        QRect(QPoint(layout.axisWidth + 1, line / 2), QPoint(right, height() - line - kTick - 1));
    layout.barWidth = m_histogram.bars() > 0 && layout.plot.width() > 0
                          ? double(layout.plot.width()) / m_histogram.bars()
                          : 0;
    return layout;
}

QRect TimeHistogramView::barRect(int bar) const
{
    if (bar < 0 || bar >= m_histogram.bars())
        return {};
    const Layout at = layout();
    const int left = at.plot.left() + int(std::floor(bar * at.barWidth));
    const int right = at.plot.left() + int(std::floor((bar + 1) * at.barWidth)) - 1;
    return QRect(QPoint(left, at.plot.top()), QPoint(std::max(left, right), at.plot.bottom()));
}

int TimeHistogramView::barAt(int x) const
{
    const Layout at = layout();
    if (at.barWidth <= 0 || x < at.plot.left() || x > at.plot.right())
        return -1;
    return std::clamp(int((x - at.plot.left()) / at.barWidth), 0, m_histogram.bars() - 1);
}

void TimeHistogramView::paintEvent(QPaintEvent* /*event*/)
{
    if (m_histogram.isEmpty())
        return;
    QPainter painter(this);
    const Layout at = layout();
    const QPalette& colours = palette();
    const QFontMetrics metrics = fontMetrics();
    const int line = metrics.height();
    painter.setPen(colours.color(QPalette::WindowText));
    if (m_histogram.undated > 0)
        painter.drawText(at.undated, Qt::AlignRight | Qt::AlignVCenter,
                         undatedText(m_histogram.undated, m_locale.locale()));
    const int bars = m_histogram.bars();
    if (bars == 0 || at.plot.width() <= 0 || at.plot.height() <= 0)
        return;

    const int64_t largest = m_histogram.largest();
    const QRect axisText(0, 0, at.axisWidth - kTick, line);
    painter.drawText(axisText.translated(0, at.plot.top() - line / 2),
                     Qt::AlignRight | Qt::AlignVCenter,
                     m_locale.locale().toString(qlonglong(largest)));
    painter.drawText(axisText.translated(0, at.plot.bottom() - line / 2),
                     Qt::AlignRight | Qt::AlignVCenter, m_locale.locale().toString(0));
    painter.setPen(colours.color(QPalette::Mid));
    painter.drawLine(at.plot.left() - 1, at.plot.top(), at.plot.left() - 1, at.plot.bottom() + 1);
    painter.drawLine(at.plot.left() - 1, at.plot.bottom() + 1, at.plot.right(),
                     at.plot.bottom() + 1);

    QColor normal = colours.color(QPalette::Highlight);
    const QColor chosen = normal;
    normal.setAlpha(kNormalAlpha);
    const int low = m_dragFrom ? std::min(*m_dragFrom, m_dragTo) : -1;
    const int high = m_dragFrom ? std::max(*m_dragFrom, m_dragTo) : -1;
    const bool gaps = at.barWidth >= kGapFromWidth;
    for (int bar = 0; bar < bars; ++bar) {
        const int64_t count = m_histogram.counts[size_t(bar)];
        if (count == 0)
            continue;
        QRect column = barRect(bar);
        if (gaps)
            column.setRight(column.right() - 1);
        // A single record still shows: at least a pixel high.
        const int height =
            std::max(1, int(std::lround(double(count) * at.plot.height() / double(largest))));
        column.setTop(at.plot.bottom() - height + 1);
        const bool marked = (bar >= low && bar <= high) || (bar == m_current && hasFocus());
        painter.fillRect(column, marked ? chosen : normal);
    }
    if (hasFocus() && m_current >= 0) {
        painter.setPen(QPen(colours.color(QPalette::WindowText), 1, Qt::DotLine));
        painter.drawRect(barRect(m_current).adjusted(0, 0, -1, 0));
    }

    // Labels at every step-th bar, as many as fit side by side without touching.
    int widest = 0;
    const int sampled = std::min(bars, 400);
    for (int i = 0; i < sampled; ++i)
        widest = std::max(widest, metrics.horizontalAdvance(bucketLabel(
                                      m_histogram.unit, m_histogram.bucket(i), m_locale)));
    const int room = widest + kLabelGapBlanks * metrics.horizontalAdvance(QLatin1Char(' '));
    const int step = std::max(1, int(std::ceil(room / at.barWidth)));
    painter.setPen(colours.color(QPalette::WindowText));
    for (int bar = 0; bar < bars; bar += step) {
        const int x = barRect(bar).left();
        const QString label = bucketLabel(m_histogram.unit, m_histogram.bucket(bar), m_locale);
        if (x + metrics.horizontalAdvance(label) > width())
            break;
        painter.drawLine(x, at.plot.bottom() + 1, x, at.plot.bottom() + kTick);
        painter.drawText(QRect(x, at.plot.bottom() + kTick, width() - x, line),
                         Qt::AlignLeft | Qt::AlignVCenter, label);
    }
}

bool TimeHistogramView::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const int bar = barAt(help->pos().x());
        if (bar >= 0)
            showBarToolTip(bar, help->globalPos());
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

void TimeHistogramView::showBarToolTip(int bar, const QPoint& globalPos)
{
    QToolTip::showText(globalPos, barToolTip(m_histogram, bar, m_locale), this, barRect(bar));
}

void TimeHistogramView::mousePressEvent(QMouseEvent* event)
{
    const int bar = barAt(event->position().toPoint().x());
    if (bar < 0) {
        QWidget::mousePressEvent(event);
        return;
    }
    // Any button takes the bar it is pressed on, which the keyboard then goes on from.
    setCurrent(bar);
    if (event->button() == Qt::LeftButton) {
        m_dragFrom = bar;
        m_dragTo = bar;
    }
}

void TimeHistogramView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragFrom || !(event->buttons() & Qt::LeftButton)) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    // Past either end of the plot the drag goes on to the last bar on that side.
    const Layout at = layout();
    const int bar =
        barAt(std::clamp(event->position().toPoint().x(), at.plot.left(), at.plot.right()));
    if (bar >= 0 && bar != m_dragTo) {
        m_dragTo = bar;
        setCurrent(bar);
    }
}

void TimeHistogramView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_dragFrom) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const int from = *std::exchange(m_dragFrom, std::nullopt);
    update();
    // A click without a drag only highlights its bar: a double click takes it.
    if (from != m_dragTo)
        choose(std::min(from, m_dragTo), std::max(from, m_dragTo));
}

void TimeHistogramView::mouseDoubleClickEvent(QMouseEvent* event)
{
    const int bar = barAt(event->position().toPoint().x());
    if (event->button() != Qt::LeftButton || bar < 0) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    m_dragFrom.reset();
    choose(bar, bar);
}

void TimeHistogramView::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const int key = event->key();
    if (key == Qt::Key_Menu || (key == Qt::Key_F10 && modifiers == Qt::ShiftModifier)) {
        const QRect bar = barRect(m_current);
        openMenu(mapToGlobal(bar.isEmpty() ? rect().center() : bar.center()));
        return;
    }
    if (modifiers != Qt::NoModifier || m_histogram.bars() == 0) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (key == Qt::Key_Left || key == Qt::Key_Right) {
        const int step = key == Qt::Key_Left ? -1 : 1;
        setCurrent(m_current < 0 ? (step > 0 ? 0 : m_histogram.bars() - 1)
                                 : std::clamp(m_current + step, 0, m_histogram.bars() - 1));
        // What the mouse would tell of the bar, told to the keyboard too.
        showBarToolTip(m_current, mapToGlobal(barRect(m_current).center()));
    } else if ((key == Qt::Key_Return || key == Qt::Key_Enter) && m_current >= 0) {
        choose(m_current, m_current);
    } else {
        QWidget::keyPressEvent(event);
    }
}

void TimeHistogramView::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    if (event->reason() == QContextMenuEvent::Mouse) {
        openMenu(event->globalPos());
        return;
    }
    const QRect bar = barRect(m_current);
    openMenu(mapToGlobal(bar.isEmpty() ? rect().center() : bar.center()));
}

void TimeHistogramView::openMenu(const QPoint& globalPos)
{
    m_menu->actions().value(0)->setEnabled(!m_histogram.isEmpty());
    m_menu->popup(globalPos);
}

void TimeHistogramView::focusInEvent(QFocusEvent* event)
{
    // The keyboard starts at the first bar, framed so that the user sees where it is.
    if (m_current < 0 && m_histogram.bars() > 0)
        m_current = 0;
    QWidget::focusInEvent(event);
    update();
}

void TimeHistogramView::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
}

void TimeHistogramView::setCurrent(int bar)
{
    m_current = bar;
    update();
}

void TimeHistogramView::choose(int first, int last)
{
    // The page's answer opens the dataset anew, which fills this view again.
    emit daysChosen(m_histogram.firstDay(first), m_histogram.lastDay(last));
}

void TimeHistogramView::copyData() const
{
    QApplication::clipboard()->setText(histogramCopyText(m_histogram, m_locale));
}

} // namespace varnel
