#pragma once

#include "db/textneedle.h"

#include <QTableView>

#include <vector>

namespace varnel {

class LogGridModel;
class Prompts;
class StatementSlot;

// The log grid (`DBGridMain`): the rows of one statement slot, read-only, with lines between
// the cells, column titles and, at the left, an indicator of the current record. The slot's
// current row is the row of the cell cursor and the other way round. Each column is as wide
// as its field's display width in digits of the grid's font, never narrower than its title;
// the user may drag a title border. Ctrl+Delete deletes the current record after a question,
// Ctrl+C copies the selected rows as tab-separated text, and a cell too narrow for its text
// shows the whole text as a tooltip. Titles are in the grid's typeface at 12 pixels, regular;
// the title of the column the slot is sorted by shows the direction's arrow.
class LogGrid : public QTableView {
    Q_OBJECT

public:
    explicit LogGrid(QWidget* parent = nullptr);
    ~LogGrid() override;

    // Shows the slot's rows from now on, whether it is open or not; called once. `prompts`
    // asks the question of Ctrl+Delete and shows its errors. Both must outlive the grid.
    void attach(StatementSlot& slot, Prompts& prompts);
    // The same with a model that the caller keeps alive as long as the grid.
    void attach(LogGridModel& model, Prompts& prompts);

    LogGridModel* gridModel() const { return m_model; }
    // The name of the field shown in a model column; empty while the slot is closed.
    QString fieldName(int column) const;

    // Typing finds nothing: a search would read the cells of every row, of a million rows.
    void keyboardSearch(const QString& search) override;

    // Model columns in the order shown, hidden ones left out; never empty.
    std::vector<int> shownColumns() const;
    // Cells that show `text` (as find() of the slot matches it) are tinted; empty: none.
    void setFoundText(const QString& text);

signals:
    // A left click on a column title; `column` is the model column (0, the blank one, while
    // the slot is closed).
    void titleClicked(int column);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool viewportEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void applyFonts();
    void applyColumnSetup();
    void followSlot();
    void showSortIndicator();
    void deleteCurrentRecord();
    void copySelectedRows() const;
    void showToolTip(const QHelpEvent& help);

    LogGridModel* m_model = nullptr;
    Prompts* m_prompts = nullptr;
    TextNeedle m_found;
};

} // namespace varnel
