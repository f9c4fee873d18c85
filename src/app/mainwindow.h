#pragma once

#include <QTimer>
#include <QWidget>

#include <memory>

namespace Ui {
class TFormMain;
}

namespace varnel {

class Prompts;
class LogDatabase;
class ControlLogsPage;
class ViewLogsPage;
class WindowSettings;
class ProgressWait;

// The main window: the page control with the pages "Просмотр логов" and "Управление логами",
// the About button in the top right corner over the page tabs, and the end of the program.
// Closing it by any way closes the database connection and ends the event loop, once no
// handler waits for a call.
class MainWindow : public QWidget {
    Q_OBJECT

public:
    MainWindow(LogDatabase& database, Prompts& prompts, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The status bar under the pages (an empty text clears it).
    void showStatus(const QString& text);

    // Places the window (its size, place and maximised state), the splitter and the grid's
    // column widths as `settings` keep them, or in the first layout where they keep nothing,
    // fitted onto the screen when shown; on exit stores them there and writes the file.
    // Called once, before the window is shown; settings must outlive the window. Without it
    // the window opens in its first layout wherever that lies and stores nothing.
    void useSettings(WindowSettings& settings);
    // How the windows wait for calls (the start-up's, which must outlive the window): a close
    // that comes while a handler waits for one is put off until that handler has ended.
    // Without it the window closes at once, as it may when a call blocks the window's thread.
    void useProgressWait(const ProgressWait& wait) { m_wait = &wait; }

    ViewLogsPage& viewLogsPage() { return *m_viewLogs; }
    ControlLogsPage& controlLogsPage() { return *m_controlLogs; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Both Exit buttons: closes the connection and ends the program.
    void exitProgram();
    // Shows a new About window modally; returns when it is closed, the window destroyed.
    void showAbout();
    // Sets the date pickers of both pages to today.
    void setDatesToToday();
    // Whether a close must wait: a handler waits for its call, or tells its outcome in a box.
    bool closeHeldBack() const;

    std::unique_ptr<Ui::TFormMain> m_ui;
    LogDatabase& m_database;
    Prompts& m_prompts;
    ViewLogsPage* m_viewLogs;       // owned by its tab
    ControlLogsPage* m_controlLogs; // owned by its tab
    WindowSettings* m_settings = nullptr;
    const ProgressWait* m_wait = nullptr;
    QTimer m_closeLater;     // runs while a close is put off
    bool m_shown = false;    // the first show has placed the window
    bool m_restored = false; // the settings gave the window its geometry
};

} // namespace varnel
