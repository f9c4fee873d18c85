#pragma once

#include "base/localetext.h"
#include "browse/core/timehistogram.h"

#include <QDate>
#include <QString>
#include <QWidget>

#include <optional>

class QMenu;

namespace varnel {

class Dataset;

// The histogram «Записей по времени»'s drawing (`HistogramRecords`): a bar per bucket of the
// dates of one field of a dataset's fetched rows, in the window's palette, the largest count
// at the top of its axis, the bucket labels below, the undated records at the right. Filled
// at each opening, empty while the dataset is closed; a deleted record leaves its bar.
//
// A hovered bar's tooltip names its bucket and count. Dragging across bars, a double click
// on one, or Enter on the bar Left and Right highlight chooses their days; the menu (right
// click, the Menu key, Shift+F10) copies the data or asks for the dates to be cleared. What
// the days and the clearing mean is the page's: the view only says so.
class TimeHistogramView : public QWidget {
    Q_OBJECT

public:
    explicit TimeHistogramView(QWidget* parent = nullptr);
    ~TimeHistogramView() override;

    // Follows the dataset from now on, counting `field`'s dates; called once. The dataset
    // must outlive the view.
    void attach(Dataset& dataset, const QString& field);

    const TimeHistogram& histogram() const { return m_histogram; }
    // The bar Left and Right move and Enter takes; -1 while none is.
    int currentBar() const { return m_current; }
    // Where a bar is drawn, in the view's coordinates (at least one pixel wide), and which bar
    // an x lies over; an empty rectangle and -1 where there is none.
    QRect barRect(int bar) const;
    int barAt(int x) const;
    QMenu& menu() const { return *m_menu; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // The records of these days are wanted: the first day of the first bar chosen and the
    // last day of the last.
    void daysChosen(QDate first, QDate last);
    // «Сбросить даты».
    void datesResetRequested();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // Where the parts go at the view's size and font.
    struct Layout {
        QRect plot;      // the bars' area, the largest count reaching its top
        int axisWidth;   // the counts' texts left of the plot
        QRect undated;   // «Без даты: N», right of the plot; empty without undated records
        double barWidth; // the plot's width shared by the bars, fractions kept
    };
    Layout layout() const;
    void fill();
    void clear();
    void removeRow(int shownRow);
    void choose(int first, int last);
    void setCurrent(int bar);
    void showBarToolTip(int bar, const QPoint& globalPos);
    void openMenu(const QPoint& globalPos);
    void copyData() const;

    Dataset* m_dataset = nullptr;
    QString m_field;
    TimeHistogram m_histogram;
    // The locale of the filling, which the texts keep until the next.
    LocaleText m_locale;
    int m_current = -1;
    // While the left button drags: the bar it was pressed on and the one it is over.
    std::optional<int> m_dragFrom;
    int m_dragTo = -1;
    QMenu* m_menu = nullptr;
};

} // namespace varnel
