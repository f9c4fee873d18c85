#pragma once

#include "maintain/core/memoexport.h"
#include "maintain/core/periodstatements.h"

#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>

namespace Ui {
class ControlLogsPage;
}

namespace varnel {

class Prompts;
class LogDatabase;

// The page "Управление логами": deleting the records of the current log table, all of them or
// those of a period, after a confirmation, exporting them to a text file, and counting them
// beforehand. The period controls are read when a button is pressed; nothing else is
// refreshed after a deletion or an export. The count's line holds a count only while it is
// true of the controls as they stand: any change of the box or a picker, and a deletion, make
// it «—» again.
class ControlLogsPage : public QWidget {
    Q_OBJECT

public:
    ControlLogsPage(LogDatabase& database, Prompts& prompts, QWidget* parent = nullptr);
    ~ControlLogsPage() override;

    // The page's part of the main window's creation: both period pickers show today.
    void setDatesToToday();
    // The first control in tab order, which takes the focus when the page comes to the front.
    QWidget* firstControl() const;

    // The period as the controls show it now; none when the box is clear.
    std::optional<Period> period() const;

    // Files of the program besides the open database and the executable, which the page knows
    // itself, that an export must refuse to write over (the login history).
    void setProgramFiles(QStringList files) { m_programFiles = std::move(files); }

signals:
    // "Выход": the main window closes the connection and ends the program.
    void exitRequested();

private:
    // Enables the period's labels and pickers when the box is ticked, disables them when clear.
    void onPeriodToggled();
    void onDeleteClicked();
    void onExportClicked();
    void onCountClicked();
    // «В периоде: N записей» or «В таблице: N записей» as the box stands; none: «—».
    void showCount(std::optional<int64_t> records);

    std::unique_ptr<Ui::ControlLogsPage> m_ui;
    LogDatabase& m_database;
    Prompts& m_prompts;
    // The export buffer, `MemoExport`. Each export starts it empty, and it is emptied again once
    // the export has ended: a file never holds an earlier export's block or a failed export's
    // lines, and a million records' lines do not stay in memory after their file is written.
    MemoExport m_memoExport;
    QStringList m_programFiles;
};

} // namespace varnel
