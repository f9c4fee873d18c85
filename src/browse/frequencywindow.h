#pragma once

#include "browse/core/valuefrequencies.h"

#include <QWidget>

#include <memory>
#include <vector>

namespace Ui {
class FrequencyWindow;
}

class QMenu;

namespace varnel {

class FrequencyModel;

// What the page calls a column counted one way: the grid's titles, and the filter panel's for
// the three segments.
QString valueColumnTitle(ValueColumn column);

// «Частота значений: <column title>»: the distinct values of a column among the fetched
// records, the most frequent first, each with its records and share («12,5 %»); under them
// how many values and records the list leaves out and how many there are in all. Not modal.
// Enter or a double click on a value asks for «Отобрать по значению» with it; the menu (a
// right click, the Menu key, Shift+F10) has that, «Исключить значение» and «Копировать»;
// Ctrl+C copies the selected lines as «value\tcount»; Escape closes the window. A column
// counted more than one way (the user-info text) offers the ways in «Считать».
class FrequencyWindow : public QWidget {
    Q_OBJECT

public:
    explicit FrequencyWindow(QWidget* owner);
    ~FrequencyWindow() override;

    // Shows the frequencies of the column titled `title`, counted by `frequencies.by`, one of
    // `ways`.
    void showFrequencies(const QString& title, const std::vector<ValueColumn>& ways,
                         Frequencies frequencies);
    const Frequencies& frequencies() const;
    // The selected lines as Ctrl+C copies them: value, a tab, the count in plain digits, one
    // line each, a value quoted as the grid quotes cells for spreadsheets.
    QString selectedLinesText() const;
    QMenu& valueMenu() const { return *m_menu; }

signals:
    // «Считать» changed to another way.
    void countByChosen(ValueColumn by);
    void selectRequested(const ColumnValue& value);
    void excludeRequested(const ColumnValue& value);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The value of the current line, when the grid's filters can select it.
    const ColumnValue* currentValue() const;
    void openMenu(const QPoint& globalPos);

    std::unique_ptr<Ui::FrequencyWindow> m_ui;
    FrequencyModel* m_model;
    QMenu* m_menu;
    std::vector<ValueColumn> m_ways;
};

} // namespace varnel
