#pragma once

#include "db/dataset.h"

#include <QWidget>

#include <memory>

namespace Ui {
class FindBar;
}

namespace varnel {

class LogGrid;
class Prompts;

// The find bar under the log grid: the text typed into it is looked for, letter case aside,
// in the shown cells of the fetched rows (no statement is run), from the current cell on.
// The cell found becomes the cursor's and its record the current and only selected row; all
// cells that show the text are tinted. Enter and F3 step to the next match, Shift+F3 to the
// one before, past the last row on at the first; «Не найдено» when no cell shows the text.
// Beside it, «Найдено: 12 из 345 678» counts the records (not the cells) that show the text
// among those the grid shows, kept true as the text is typed and a record is deleted.
// Escape hides the bar and gives the grid the focus. Hidden until opened.
class FindBar : public QWidget {
    Q_OBJECT

public:
    explicit FindBar(QWidget* parent = nullptr);
    ~FindBar() override;

    // Searches `grid`, attached to its dataset already, from now on; called once. Ctrl+F opens
    // the bar, and F3 and Shift+F3 step while it is open, wherever in `scope` the focus is
    // (the grid's parent widget when none is given); `prompts` shows errors of the searches.
    // All must outlive the bar.
    void attach(LogGrid& grid, Prompts& prompts, QWidget* scope = nullptr);

    // Ctrl+F: shows the bar with the focus in its text, all of it chosen.
    void open();
    // Escape: hides the bar and the tint and gives the grid the focus.
    void dismiss();
    // As if `text` were typed in: the search from the current cell on, that cell included.
    void setText(const QString& text);
    QString text() const;
    // Enter or F3, Shift+F3.
    void findNext();
    void findPrevious();
    // What the bar says of the last search: «Не найдено», that it went on from the other end,
    // or nothing.
    QString status() const;
    // «Найдено: 12 из 345 678» while some record shows the text, else nothing.
    QString countLine() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void find(Dataset::FindFrom from);
    void showCount();

    std::unique_ptr<Ui::FindBar> m_ui;
    LogGrid* m_grid = nullptr;
    Prompts* m_prompts = nullptr;
};

} // namespace varnel
