#pragma once

#include "browse/core/filterset.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace Ui {
class ViewLogsPage;
}

class QDate;
class QModelIndex;

namespace varnel {

class DBLookupComboBox;
class FrequencyWindow;
class Prompts;
class RecordWindow;
class Dataset;
class LogDatabase;
class WindowSettings;

// The page "Просмотр логов": the filter panel, whose controls hold the filter set, and the log
// grid over ADOQueryMain. The filter set is read from the controls whenever a statement is
// built; nothing keeps a copy. The grid changes only by "Отобрать" and by sorting.
class ViewLogsPage : public QWidget {
    Q_OBJECT

public:
    ViewLogsPage(LogDatabase& database, Prompts& prompts, QWidget* parent = nullptr);
    ~ViewLogsPage() override;

    // The page's part of the main window's creation: both date pickers show today.
    void setDatesToToday();
    // The first control in tab order, which takes the focus when the page comes to the front.
    QWidget* firstControl() const;

    // Lays the page out as `settings` keep it (the splitter's place, the widths the user
    // dragged in the grid) and keeps them for storeLayout and for the page's windows, which
    // remember their own geometry there (settings->track("RecordWindow", window)). Called once,
    // before the page is shown; without it the page has its first layout and stores nothing.
    void useSettings(WindowSettings& settings);
    // Puts the splitter's place and the dragged widths into the settings (not yet the file).
    void storeLayout();

    // The grid's current record in its window; null until it is first opened.
    RecordWindow* recordWindow() const;
    // «Частота значений…» of a column of the grid; null until it is first opened.
    FrequencyWindow* frequencyWindow() const;
    // Files an export must never write over, beside the database's and the program's own.
    void setProgramFiles(QStringList files) { m_programFiles = std::move(files); }

signals:
    // "Выход": the main window closes the connection and ends the program.
    void exitRequested();
    // The records the grid holds and the current one's place, for the status bar; both empty
    // while ADOQueryMain is closed, the place empty without a current record.
    void recordStatusChanged(const QString& records, const QString& place);
    // How long the last «Отобрать» took.
    void selectTimeChanged(const QString& took);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Which filters the drop-down lists are rebuilt under.
    enum class FilterScope {
        None,  // every record of the log table: the lists after «Очистить фильтр»
        Panel, // the filter set the panel holds now
    };
    void rebuildFilterLists(FilterScope scope);
    // The filter set as the controls hold it now. For the change text the edit is read first,
    // and the radio group only when the text is not empty.
    FilterValues readFilterValues() const;
    // The grid's column setup on the open result of ADOQueryMain.
    void setUpGridColumns();

    void onDateFromClicked();
    void onDateToClicked();
    void onSelectClicked();
    void onClearFiltersClicked();
    void onRefreshClicked();
    void onGridTitleClicked(int column);
    // The grid's current record in its window, made on first use and kept for the run.
    void showRecordWindow();
    // «Отобрать по значению»: the filter that the cell's column stands for takes the cell's
    // value (the table, the action, the three user-info segments, the day on both date
    // boxes, or the change text's first 100 characters as its start), exact, then «Отобрать».
    void selectByValue(const QModelIndex& cell);
    // The value of a cell as «Отобрать по значению» and «Исключить значение» take it: the
    // table or action upper-cased, the user-info text whole, the day, the change text's first
    // 100 characters. None for an empty cell or SID.
    std::optional<ColumnValue> cellValue(const QModelIndex& cell);
    // «Отобрать по значению» with a value of a cell or of the frequencies: a whole user-info
    // text sets its three segments, a segment its own list. A missing value finds nothing by
    // itself, but for an empty segment: then nothing happens.
    void selectValue(const ColumnValue& value);
    // «Исключить значение»: the value joins the exclusions (once), the lists are rebuilt under
    // them, and «Отобрать» runs.
    void excludeValue(const ColumnValue& value);
    // The removable items of the exclusions in the filter panel, made anew.
    void showExclusions();
    void removeExclusion(size_t index);
    // «Частота значений…» of a grid column, counted the column's first way.
    void showFrequencies(int column);
    // Counts the fetched records' values of `field` on the connection's thread, under the
    // progress window, and shows them in the frequencies' window.
    void countFrequencies(const QString& field, ValueColumn by);
    // «Исключить значение» from the frequencies' window, which then counts the new records.
    void excludeFromFrequencies(const ColumnValue& value);
    // The drop-down of a list's filter (table, action, a user-info segment).
    DBLookupComboBox* listBox(Filter filter) const;
    // Whether the control of `filter` still shows the value «Отобрать по значению» put there.
    bool showsExactValue(Filter filter, const QString& value) const;
    // The date boxes ticked on these days, the lists rebuilt as a click on a box rebuilds
    // them, then «Отобрать».
    void selectDays(QDate first, QDate last);
    // «Сбросить даты» of the histogram: both date boxes cleared, the lists rebuilt, «Отобрать».
    void selectWithoutDates();
    // The histogram's strip with its chart, or its title alone, the grid taking the rest.
    void showHistogram(bool shown);
    // «Экспорт в CSV…»: the grid's rows as it shows them, into a file the user names.
    void exportToCsv();
    Dataset& mainDataset();
    void onDateBoxClicked(bool checked, QWidget& picker);
    // The main query under `values` (the panel's, or the panel's with a value it cannot show)
    // into the grid.
    void select(const FilterValues& values);
    void updateRecordStatus();

    std::unique_ptr<Ui::ViewLogsPage> m_ui;
    LogDatabase& m_database;
    Prompts& m_prompts;
    WindowSettings* m_settings = nullptr;
    // The controls whose losing the focus rebuilds the lists under the panel's filters.
    std::vector<QWidget*> m_listControls;
    // The values «Отобрать по значению» put into the filters. Each stays exact while its
    // control shows it, until the user chooses in the drop-down or edits the change text, or
    // «Сбросить фильтры»; a hidden drop-down choice is off meanwhile, as any hidden choice.
    std::map<Filter, QString> m_exactValues;
    QPointer<RecordWindow> m_recordWindow;
    // The values left out of every statement but the maintenance page's, in the order added;
    // until «Сбросить фильтры» or the user removes them.
    std::vector<ColumnValue> m_exclusions;
    // Shows the frequencies of the records the grid holds, and closes when they go, but for
    // its own «Исключить значение», after which it counts the new ones.
    QPointer<FrequencyWindow> m_frequencyWindow;
    QString m_frequencyField;
    bool m_keepFrequencies = false;
    QStringList m_programFiles;
};

} // namespace varnel
