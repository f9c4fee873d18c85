#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class RecordWindow;
}

namespace varnel {

class LogGrid;

// The grid's current record in a window of its own, «Запись»: its shown fields, the change
// text whole, selectable and wrapped, each line break of the record (CR LF, LF or CR) one
// line break on screen. Not modal: it follows the grid's current record, and Up and Down
// (the wheel too) move that record, so the grid follows the window. Ctrl+C copies the
// selected text, or without a selection the whole record with its titles, as the grid's
// «Копировать строки с заголовками» gives it. Escape closes it.
class RecordWindow : public QWidget {
    Q_OBJECT

public:
    // A window of its own owned by `owner`; shows `grid`'s current record, now and later.
    RecordWindow(LogGrid& grid, QWidget* owner);
    ~RecordWindow() override;

    // Reads the grid's current record again (none: empty fields).
    void showCurrentRecord();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // True when the key was the window's: a move, the record's copy, or the close.
    bool handleKey(QWidget* target, const QKeyEvent& key);
    void moveBy(int rows);
    QString fieldText(int row, const char* fieldName) const;

    std::unique_ptr<Ui::RecordWindow> m_ui;
    LogGrid& m_grid;
};

} // namespace varnel
