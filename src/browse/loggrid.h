#pragma once

#include "base/textneedle.h"

#include <QMap>
#include <QTableView>

#include <functional>
#include <vector>

class QMenu;

namespace varnel {

class LogGridModel;
class Prompts;
class Dataset;

// The log grid (`DBGridMain`): the rows of one statement dataset, read-only, with lines between
// the cells, column titles and, at the left, an indicator of the current record. The dataset's
// current row is the row of the cell cursor and the other way round. Each column is as wide
// as its field's display width in digits of the grid's font, never narrower than its title;
// the user may drag a title border. Ctrl+Delete deletes the current record after a question,
// Ctrl+C copies the selected rows as tab-separated text, and a cell too narrow for its text
// shows the whole text as a tooltip. Enter or a double click asks for the record's window;
// a right click, the Menu key or Shift+F10 opens the cell's menu. Titles are in the grid's
// typeface at 12 pixels, regular; the title of the column the dataset is sorted by shows the
// direction's arrow.
class LogGrid : public QTableView {
    Q_OBJECT

public:
    explicit LogGrid(QWidget* parent = nullptr);
    ~LogGrid() override;

    // Shows the dataset's rows from now on, whether it is open or not; called once. `prompts`
    // asks the question of Ctrl+Delete and shows its errors. Both must outlive the grid.
    // `logTable` names, at each Ctrl+Delete, the table the record is deleted from (the log
    // database's current log table, which a later login changes).
    void attach(Dataset& dataset, Prompts& prompts, std::function<QString()> logTable);
    // The same with a model that the caller keeps alive as long as the grid.
    void attach(LogGridModel& model, Prompts& prompts, std::function<QString()> logTable);

    LogGridModel* gridModel() const { return m_model; }
    // The name of the field shown in a model column; empty while the dataset is closed.
    QString fieldName(int column) const;

    // Model columns in the order shown, hidden ones left out; never empty.
    std::vector<int> shownColumns() const;
    // The rows as Ctrl+C copies them: tab-separated shown cells, quoted for spreadsheets where
    // a cell holds a tab, a line break or a quote, one line per row; with `titles`, the
    // columns' titles first.
    QString rowsText(const std::vector<int>& rows, bool titles) const;
    // The selected rows in their shown order, or the current one when none is selected.
    std::vector<int> selectedRows() const;
    // The cell's menu (GridMenu); its items are those of the cell it was last opened on.
    QMenu& cellMenu() const { return *m_menu; }

    // Typing finds nothing: a search would read the cells of every row, of a million rows.
    void keyboardSearch(const QString& search) override;

    // The column of this field takes the width that the other shown columns leave in the
    // grid, as a grid's last column would, and never gets narrower than its own width (the
    // rule's or the user's). Empty: no column fills.
    void setFillField(const QString& name);
    // From now on a column the user drags keeps that width, by field name, through every
    // opening and setting; a column never dragged follows the width rule. `widths` are the
    // drags of an earlier run.
    void keepDraggedWidths(const QMap<QString, int>& widths);
    // The widths kept by keepDraggedWidths, earlier runs' included, by field name.
    const QMap<QString, int>& draggedWidths() const { return m_dragged; }
    // Cells that show `text` (as find() of the dataset matches it) are tinted; empty: none.
    void setFoundText(const QString& text);

signals:
    // A left click on a column title; `column` is the model column (0, the blank one, while
    // the dataset is closed).
    void titleClicked(int column);
    // Enter, a double click or «Просмотр записи» on a row: its record's window.
    void recordRequested();
    // «Отобрать по значению» on a cell that holds a value.
    void filterByValueRequested(const QModelIndex& cell);
    // «Исключить значение» on a cell that holds a value.
    void excludeValueRequested(const QModelIndex& cell);
    // «Частота значений…» on a cell of a column that can be counted (frequencyColumns).
    void frequenciesRequested(int column);
    // «Экспорт в CSV…».
    void exportRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool viewportEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void applyFonts();
    void applyColumnSetup();
    // The width of an open dataset's column: the one the user dragged, else the rule's.
    int chosenWidth(int column, int ruleWidth);
    void columnDragged(int column, int width);
    void fillWidth();
    void followDataset();
    void showSortIndicator();
    void deleteCurrentRecord();
    void copySelectedRows() const;
    void showToolTip(const QHelpEvent& help);
    void buildMenu();
    void openMenu(const QModelIndex& cell, const QPoint& globalPos);

    LogGridModel* m_model = nullptr;
    Prompts* m_prompts = nullptr;
    std::function<QString()> m_logTable;
    QMenu* m_menu = nullptr;
    QPersistentModelIndex m_menuCell; // the cell the menu was opened on
    QString m_fillField;
    int m_fillBase = 0; // the fill column's width before filling
    bool m_keepsDragged = false;
    QMap<QString, int> m_dragged;
    bool m_sizing = false; // the grid sets widths itself: no user's drag
    TextNeedle m_found;
};

// A cell as spreadsheets read it from tab-separated text: in double quotes, its own doubled,
// where it holds a tab, a line break or a quote.
QString spreadsheetCell(QString text);

} // namespace varnel
