#include "browse/viewlogspage.h"

#include "base/civiltime.h"
#include "base/localetext.h"
#include "browse/frequencywindow.h"
#include "browse/gridcsvexport.h"
#include "browse/loggridmodel.h"
#include "browse/recordwindow.h"
#include "browse/timehistogramview.h"
#include "db/call.h"
#include "db/logdatabase.h"
#include "ui/core/guard.h"
#include "ui/core/prompts.h"
#include "ui/core/statustext.h"
#include "ui/windowsettings.h"
#include "ui/windowsupport.h"
#include "ui_viewlogspage.h"

#include <QDate>
#include <QElapsedTimer>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QSplitterHandle>
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <tuple>

namespace varnel {

namespace {

// The grid's column setup: every column but SID gets a label and a width in characters.
struct ColumnSetting {
    const char* name;
    const char* label;
    int width;
};
constexpr ColumnSetting kColumnSettings[] = {
    {"DDATE", "Дата изменения", 18},
    {"STABLE", "Таблица", 30},
    {"SACTION", "Тип действия", 10},
    {"SCHANGES", "Внесенные изменения", 80},
    {"SUSER_INFO", "Информация о пользователе", 30},
};

// The change text is what a record says; the other columns are short.
constexpr char kFillField[] = "SCHANGES";

// Where the page keeps its layout in the settings.
const QString kPageSection = QStringLiteral("ViewLogs");
const QString kSplitterKey = QStringLiteral("Splitter1");
const QString kWidthsSection = QStringLiteral("DBGridMain");
const QString kHistogramKey = QStringLiteral("Histogram");
// The histogram's strip, its title included; the grid keeps the rest of the page.
constexpr int kHistogramHeight = 90;
// Beyond any screen: a larger saved value is a damaged one.
constexpr int kMaxPixels = 100000;

} // namespace

ViewLogsPage::ViewLogsPage(LogDatabase& database, Prompts& prompts, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::ViewLogsPage>()), m_database(database),
      m_prompts(prompts)
{
    m_ui->setupUi(this);
    Ui::ViewLogsPage& ui = *m_ui;

    // The grid takes what the window gains or loses; the filter panel keeps its height, the
    // splitter's place.
    ui.Splitter1->setStretchFactor(0, 0);
    ui.Splitter1->setStretchFactor(1, 1);
    ui.Splitter1->setSizes({173, 394});
    ui.Splitter1->handle(1)->setCursor(Qt::SizeVerCursor);

    // The pickers show the day as the statements write it: a four-digit year, whatever the
    // locale's short format does, so the day a picker shows is the day the database reads.
    const QString dateFormat = LocaleText::current().statementDateFormat();
    for (DatePicker* picker : {ui.DateTimePickerFrom, ui.DateTimePickerTo})
        picker->setDisplayFormat(dateFormat);

    const std::pair<DBLookupComboBox*, FilterList> lists[] = {
        {ui.DBLookupComboBoxTable, FilterList::Table},
        {ui.DBLookupComboBoxAction, FilterList::Action},
        {ui.DBLookupComboBoxOracleUser, FilterList::OracleUser},
        {ui.DBLookupComboBoxPC, FilterList::PC},
        {ui.DBLookupComboBoxOSUser, FilterList::OSUser},
    };
    for (const auto& [box, list] : lists) {
        box->attach(m_database.dataset(filterListDataset(list)), filterListKeyColumn(list));
    }
    ui.DBGridMain->attach(mainDataset(), m_prompts,
                          [this] { return m_database.currentLogTable(); });
    ui.DBGridMain->setFillField(QLatin1String(kFillField));
    ui.DBGridMain->keepDraggedWidths({});
    ui.FindBarMain->attach(*ui.DBGridMain, m_prompts, this);
    ui.HistogramRecords->attach(mainDataset(), QStringLiteral("DDATE"));
    showHistogram(true);

    connect(ui.CheckBoxDateFrom, &QCheckBox::clicked, this,
            guarded(m_prompts, [this] { onDateFromClicked(); }));
    connect(ui.CheckBoxDateTo, &QCheckBox::clicked, this,
            guarded(m_prompts, [this] { onDateToClicked(); }));
    // The form makes "Отобрать" the default button, drawn as such, and not an auto-default
    // one: outside a dialog an auto-default button loses the default look for good the first
    // time the focus leaves it.
    connect(ui.BitBtnSelect, &QPushButton::clicked, this,
            guarded(m_prompts, [this] { onSelectClicked(); }));
    connect(ui.BitBtnClearFiltr, &QPushButton::clicked, this,
            guarded(m_prompts, [this] { onClearFiltersClicked(); }));
    connect(ui.BitBtnRefresh, &QPushButton::clicked, this,
            guarded(m_prompts, [this] { onRefreshClicked(); }));
    connect(ui.BitBtnExit, &QPushButton::clicked, this, &ViewLogsPage::exitRequested);
    connect(ui.DBGridMain, &LogGrid::titleClicked, this,
            [this](int column) { runGuarded(m_prompts, [&] { onGridTitleClicked(column); }); });
    connect(ui.DBGridMain, &LogGrid::recordRequested, this,
            guarded(m_prompts, [this] { showRecordWindow(); }));
    connect(ui.DBGridMain, &LogGrid::exportRequested, this,
            guarded(m_prompts, [this] { exportToCsv(); }));
    connect(ui.DBGridMain, &LogGrid::filterByValueRequested, this, [this](const QModelIndex& cell) {
        runGuarded(m_prompts, [&] { selectByValue(cell); });
    });
    connect(ui.HistogramRecords, &TimeHistogramView::daysChosen, this,
            [this](QDate first, QDate last) {
                runGuarded(m_prompts, [&] { selectDays(first, last); });
            });
    connect(ui.HistogramRecords, &TimeHistogramView::datesResetRequested, this,
            guarded(m_prompts, [this] { selectWithoutDates(); }));
    connect(ui.GroupBoxHistogram, &QGroupBox::toggled, this, &ViewLogsPage::showHistogram);
    connect(ui.DBGridMain, &LogGrid::excludeValueRequested, this, [this](const QModelIndex& cell) {
        runGuarded(m_prompts, [&] {
            if (const std::optional<ColumnValue> value = cellValue(cell))
                excludeValue(*value);
        });
    });
    connect(ui.DBGridMain, &LogGrid::frequenciesRequested, this,
            [this](int column) { runGuarded(m_prompts, [&] { showFrequencies(column); }); });
    // The user's own choice or typing makes a filter a pattern again.
    for (const Filter filter :
         {Filter::Table, Filter::Action, Filter::OracleUser, Filter::PC, Filter::OSUser})
        connect(listBox(filter), &QComboBox::activated, this,
                [this, filter] { m_exactValues.erase(filter); });
    connect(ui.EditChanges, &QLineEdit::textEdited, this,
            [this] { m_exactValues.erase(Filter::Changes); });

    Dataset& main = mainDataset();
    for (const auto signal : {&Dataset::opened, &Dataset::closed, &Dataset::reordered})
        connect(&main, signal, this, &ViewLogsPage::updateRecordStatus);
    connect(&main, &Dataset::rowRemoved, this, &ViewLogsPage::updateRecordStatus);
    connect(&main, &Dataset::closed, this, [this] {
        if (m_frequencyWindow && !m_keepFrequencies)
            m_frequencyWindow->close();
    });
    connect(ui.DBGridMain->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &ViewLogsPage::updateRecordStatus);

    m_listControls = {ui.DateTimePickerFrom,         ui.DateTimePickerTo,
                      ui.DBLookupComboBoxTable,      ui.DBLookupComboBoxAction,
                      ui.DBLookupComboBoxOracleUser, ui.DBLookupComboBoxPC,
                      ui.DBLookupComboBoxOSUser};
    for (QWidget* control : m_listControls)
        control->installEventFilter(this);
    for (QWidget* control : std::initializer_list<QWidget*>{
             ui.CheckBoxDateFrom, ui.CheckBoxDateTo, ui.EditChanges, ui.RadioGroupChangesItem0,
             ui.RadioGroupChangesItem1, ui.RadioGroupChangesItem2})
        control->installEventFilter(this);
}

ViewLogsPage::~ViewLogsPage() = default;

Dataset& ViewLogsPage::mainDataset()
{
    return m_database.mainDataset();
}

void ViewLogsPage::setDatesToToday()
{
    const QDate today = QDate::currentDate();
    m_ui->DateTimePickerFrom->setDate(today);
    m_ui->DateTimePickerTo->setDate(today);
}

QWidget* ViewLogsPage::firstControl() const
{
    return m_ui->CheckBoxDateFrom;
}

void ViewLogsPage::useSettings(WindowSettings& settings)
{
    m_settings = &settings;
    if (const auto filter = settings.number(kPageSection, kSplitterKey, 1, kMaxPixels))
        restoreSplitter(*m_ui->Splitter1, *filter);
    m_ui->DBGridMain->keepDraggedWidths(settings.numbers(kWidthsSection, 1, kMaxPixels));
    if (settings.value(kPageSection, kHistogramKey) == QLatin1String("false"))
        m_ui->GroupBoxHistogram->setChecked(false);
}

void ViewLogsPage::storeLayout()
{
    if (!m_settings)
        return;
    m_settings->setNumber(kPageSection, kSplitterKey, m_ui->Splitter1->sizes().value(0));
    m_settings->setValue(kPageSection, kHistogramKey,
                         m_ui->GroupBoxHistogram->isChecked() ? QStringLiteral("true")
                                                              : QStringLiteral("false"));
    const QMap<QString, int>& widths = m_ui->DBGridMain->draggedWidths();
    for (auto it = widths.cbegin(); it != widths.cend(); ++it)
        m_settings->setNumber(kWidthsSection, it.key(), it.value());
}

FilterValues ViewLogsPage::readFilterValues() const
{
    const Ui::ViewLogsPage& ui = *m_ui;
    FilterValues values;
    if (ui.CheckBoxDateFrom->isChecked())
        values.dateFrom = ui.DateTimePickerFrom->date();
    if (ui.CheckBoxDateTo->isChecked())
        values.dateTo = ui.DateTimePickerTo->date();
    values.table = ui.DBLookupComboBoxTable->shownText();
    values.action = ui.DBLookupComboBoxAction->shownText();
    values.oracleUser = ui.DBLookupComboBoxOracleUser->shownText();
    values.pc = ui.DBLookupComboBoxPC->shownText();
    values.osUser = ui.DBLookupComboBoxOSUser->shownText();
    values.changes = ui.EditChanges->text();
    if (!values.changes.isEmpty()) {
        const QRadioButton* items[] = {ui.RadioGroupChangesItem0, ui.RadioGroupChangesItem1,
                                       ui.RadioGroupChangesItem2};
        for (int i = 0; i < 3; ++i)
            if (items[i]->isChecked())
                values.changesPosition = i;
    }
    for (const auto& [filter, value] : m_exactValues)
        if (showsExactValue(filter, value))
            values.setExact(filter);
    values.exclusions = m_exclusions;
    return values;
}

DBLookupComboBox* ViewLogsPage::listBox(Filter filter) const
{
    switch (filter) {
    case Filter::Table:
        return m_ui->DBLookupComboBoxTable;
    case Filter::Action:
        return m_ui->DBLookupComboBoxAction;
    case Filter::OracleUser:
        return m_ui->DBLookupComboBoxOracleUser;
    case Filter::PC:
        return m_ui->DBLookupComboBoxPC;
    case Filter::OSUser:
        return m_ui->DBLookupComboBoxOSUser;
    default:
        return nullptr;
    }
}

bool ViewLogsPage::showsExactValue(Filter filter, const QString& value) const
{
    // The change text is put there as the start of the text, and so shown.
    if (filter == Filter::Changes)
        return m_ui->EditChanges->text() == value && m_ui->RadioGroupChangesItem0->isChecked();
    const DBLookupComboBox& box = *listBox(filter);
    return box.keyValue() == value && box.shownText() == value;
}

void ViewLogsPage::rebuildFilterLists(FilterScope scope)
{
    const WaitCursor wait;
    varnel::rebuildFilterLists(m_database,
                               scope == FilterScope::Panel ? readFilterValues() : FilterValues{},
                               LocaleText::current());
}

void ViewLogsPage::onSelectClicked()
{
    select(readFilterValues());
}

void ViewLogsPage::select(const FilterValues& values)
{
    const WaitCursor wait;
    const LocaleText locale = LocaleText::current();
    Dataset& main = mainDataset();
    main.setText(mainQueryText(m_database.currentLogTable(), values, locale));
    QElapsedTimer took;
    took.start();
    main.open(QStringLiteral("Отбор записей"));
    emit selectTimeChanged(
        selectTimeText(std::chrono::milliseconds(took.elapsed()), locale.locale()));
    if (main.recordCount() == 0)
        m_prompts.status(noRecordsText());
    setUpGridColumns();
}

void ViewLogsPage::updateRecordStatus()
{
    const Dataset& main = mainDataset();
    if (!main.isOpen()) {
        emit recordStatusChanged({}, {});
        return;
    }
    const QLocale locale = LocaleText::current().locale();
    const int records = main.recordCount();
    const int row = m_ui->DBGridMain->currentIndex().row();
    emit recordStatusChanged(recordCountText(records, locale),
                             row >= 0 && row < records ? recordPlaceText(row + 1, records, locale)
                                                       : QString());
}

void ViewLogsPage::exportToCsv()
{
    exportGridToCsv(window(), mainDataset(), m_ui->DBGridMain->shownColumns(), m_prompts,
                    m_programFiles);
}

RecordWindow* ViewLogsPage::recordWindow() const
{
    return m_recordWindow;
}

void ViewLogsPage::showRecordWindow()
{
    if (!m_recordWindow) {
        m_recordWindow = new RecordWindow(*m_ui->DBGridMain, window());
        // Where the user left it in an earlier run; the first time over the main window.
        if (!m_settings || !m_settings->track(QStringLiteral("RecordWindow"), *m_recordWindow)) {
            QRect place = m_recordWindow->geometry();
            place.moveCenter(window()->geometry().center());
            m_recordWindow->move(place.topLeft());
            if (m_settings)
                fitOnScreen(*m_recordWindow);
        }
        m_recordWindow->findChild<QWidget*>(QStringLiteral("MemoChanges"))->setFocus();
    }
    m_recordWindow->showCurrentRecord();
    m_recordWindow->show();
    m_recordWindow->raise();
    m_recordWindow->activateWindow();
}

void ViewLogsPage::selectByValue(const QModelIndex& cell)
{
    if (const std::optional<ColumnValue> value = cellValue(cell))
        selectValue(*value);
}

std::optional<ColumnValue> ViewLogsPage::cellValue(const QModelIndex& cell)
{
    Dataset& main = mainDataset();
    if (!cell.isValid() || !main.isOpen() ||
        main.rows().isNull(main.rowAt(cell.row()), cell.column()))
        return std::nullopt;
    const QString field = m_ui->DBGridMain->fieldName(cell.column()).toUpper();
    const QString value = cell.data().toString();
    if (field == QLatin1String("STABLE"))
        return ColumnValue::ofText(ValueColumn::Table, databaseUpper(value));
    if (field == QLatin1String("SACTION"))
        return ColumnValue::ofText(ValueColumn::Action, databaseUpper(value));
    if (field == QLatin1String("SUSER_INFO"))
        return ColumnValue::ofText(ValueColumn::UserInfo, value);
    if (field == QLatin1String("SCHANGES"))
        return ColumnValue::ofText(ValueColumn::Changes, changesPrefix(value));
    if (field == QLatin1String("DDATE") &&
        main.rows().column(cell.column()).type == ColumnType::Date) {
        const civil::Ymd day = civil::civilFromDays(
            civil::dayOf(main.rows().dateSeconds(main.rowAt(cell.row()), cell.column())));
        return ColumnValue::ofDay(QDate(int(day.year), int(day.month), int(day.day)));
    }
    return std::nullopt;
}

void ViewLogsPage::selectValue(const ColumnValue& value)
{
    Ui::ViewLogsPage& ui = *m_ui;
    // What each drop-down is to show; a value its list lacks needs the lists rebuilt first.
    std::vector<std::pair<Filter, QString>> choices;
    switch (value.column) {
    case ValueColumn::Table:
    case ValueColumn::Action:
        if (value.null)
            return;
        choices = {
            {value.column == ValueColumn::Table ? Filter::Table : Filter::Action, value.text}};
        break;
    case ValueColumn::UserInfo: {
        if (value.null)
            return;
        const UserInfoSegments segments = userInfoSegments(value.text);
        choices = {{Filter::OracleUser, segments.oracleUser},
                   {Filter::PC, segments.pc},
                   {Filter::OSUser, segments.osUser}};
        break;
    }
    case ValueColumn::OSUser:
        choices = {{Filter::OSUser, value.text}};
        break;
    case ValueColumn::PC:
        choices = {{Filter::PC, value.text}};
        break;
    case ValueColumn::OracleUser:
        choices = {{Filter::OracleUser, value.text}};
        break;
    case ValueColumn::Day:
        if (value.null)
            return;
        selectDays(value.day, value.day);
        return;
    case ValueColumn::Changes: {
        if (value.null)
            return;
        const QString start = changesPrefix(value.text);
        ui.EditChanges->setText(start);
        ui.RadioGroupChangesItem0->setChecked(true);
        m_exactValues[Filter::Changes] = start;
        select(readFilterValues());
        return;
    }
    }

    for (const auto& [filter, key] : choices) {
        listBox(filter)->setKeyValue(key);
        m_exactValues[filter] = key;
    }
    const auto lacking = [&] {
        return std::any_of(choices.begin(), choices.end(), [this](const auto& choice) {
            return listBox(choice.first)->shownText() != choice.second;
        });
    };
    if (lacking())
        rebuildFilterLists(FilterScope::Panel);
    // A list that still lacks the value has no record with it under the other filters, which
    // changed since the grid was filled: the filter holds it all the same, and the grid shows
    // that nothing passes, rather than the records of every value.
    FilterValues values = readFilterValues();
    for (const auto& [filter, key] : choices) {
        values.text(filter) = key;
        values.setExact(filter);
    }
    select(values);
}

void ViewLogsPage::selectDays(QDate first, QDate last)
{
    Ui::ViewLogsPage& ui = *m_ui;
    for (auto [box, picker, day] : {std::tuple{ui.CheckBoxDateFrom, ui.DateTimePickerFrom, first},
                                    std::tuple{ui.CheckBoxDateTo, ui.DateTimePickerTo, last}}) {
        picker->setDate(day);
        box->setChecked(true);
        picker->setEnabled(true);
    }
    // As ticking the boxes by hand: the lists narrow to the days.
    rebuildFilterLists(FilterScope::Panel);
    select(readFilterValues());
}

void ViewLogsPage::excludeValue(const ColumnValue& value)
{
    if (std::find(m_exclusions.begin(), m_exclusions.end(), value) == m_exclusions.end()) {
        m_exclusions.push_back(value);
        showExclusions();
    }
    rebuildFilterLists(FilterScope::Panel);
    select(readFilterValues());
}

void ViewLogsPage::selectWithoutDates()
{
    Ui::ViewLogsPage& ui = *m_ui;
    for (auto [box, picker] : {std::pair{ui.CheckBoxDateFrom, ui.DateTimePickerFrom},
                               std::pair{ui.CheckBoxDateTo, ui.DateTimePickerTo}}) {
        box->setChecked(false);
        picker->setEnabled(false);
    }
    // As clearing the boxes by hand: the lists widen again.
    rebuildFilterLists(FilterScope::Panel);
    select(readFilterValues());
}

void ViewLogsPage::showHistogram(bool shown)
{
    Ui::ViewLogsPage& ui = *m_ui;
    ui.HistogramRecords->setVisible(shown);
    // Cleared, the box keeps its title, with the check box that brings the chart back.
    ui.GroupBoxHistogram->setFixedHeight(shown ? kHistogramHeight
                                               : ui.GroupBoxHistogram->minimumSizeHint().height());
}

void ViewLogsPage::removeExclusion(size_t index)
{
    if (index >= m_exclusions.size())
        return;
    m_exclusions.erase(m_exclusions.begin() + std::ptrdiff_t(index));
    showExclusions();
    // As any change of a filter: the lists follow, the grid waits for «Отобрать».
    rebuildFilterLists(FilterScope::Panel);
}

void ViewLogsPage::showExclusions()
{
    Ui::ViewLogsPage& ui = *m_ui;
    for (QToolButton* item : ui.PanelExclusions->findChildren<QToolButton*>())
        delete item;
    ui.PanelExclusions->setVisible(!m_exclusions.empty());
    const LocaleText locale = LocaleText::current();
    QFont font = ui.PanelExclusions->font();
    font.setPixelSize(11);
    // The items that fit in the row; the others are named by «и ещё N», whose hint lists
    // them, so that no exclusion in force is out of sight.
    const int room = ui.PanelExclusions->width() - ui.LabelExclusions->sizeHint().width() - 80;
    int used = 0;
    QStringList hidden;
    QWidget* previous = ui.RadioGroupChangesItem2;
    for (size_t i = 0; i < m_exclusions.size(); ++i) {
        const ColumnValue& excluded = m_exclusions[i];
        QString text = valueText(excluded, locale).simplified();
        constexpr int kShownCharacters = 30;
        if (text.size() > kShownCharacters)
            text = text.left(kShownCharacters - 1) + QStringLiteral("…");
        const QString hint =
            QStringLiteral("Исключено: %1 — %2. Щелчок возвращает эти записи")
                .arg(valueColumnTitle(excluded.column), valueText(excluded, locale));
        if (!hidden.isEmpty()) {
            hidden << valueColumnTitle(excluded.column) + QStringLiteral(" ≠ ") +
                          valueText(excluded, locale);
            continue;
        }
        auto* item = new QToolButton(ui.PanelExclusions);
        item->setObjectName(QStringLiteral("ButtonExclusion%1").arg(i + 1));
        item->setFont(font);
        item->setAutoRaise(false);
        item->setText(QStringLiteral("≠ ") + text + QStringLiteral(" ✕"));
        item->setToolTip(hint);
        item->setFocusPolicy(Qt::TabFocus);
        used += item->sizeHint().width() + ui.LayoutExclusions->spacing();
        if (used > room) {
            delete item;
            hidden << valueColumnTitle(excluded.column) + QStringLiteral(" ≠ ") +
                          valueText(excluded, locale);
            continue;
        }
        ui.LayoutExclusions->insertWidget(ui.LayoutExclusions->indexOf(ui.LabelMoreExclusions),
                                          item);
        connect(item, &QToolButton::clicked, this,
                [this, i] { runGuarded(m_prompts, [&] { removeExclusion(i); }); });
        setTabOrder(previous, item);
        previous = item;
    }
    ui.LabelMoreExclusions->setVisible(!hidden.isEmpty());
    ui.LabelMoreExclusions->setText(QStringLiteral("и ещё ") + QString::number(hidden.size()));
    ui.LabelMoreExclusions->setToolTip(hidden.join(QLatin1Char('\n')));
}

FrequencyWindow* ViewLogsPage::frequencyWindow() const
{
    return m_frequencyWindow;
}

void ViewLogsPage::showFrequencies(int column)
{
    Dataset& main = mainDataset();
    if (!main.isOpen() || column < 0 || column >= main.fieldCount())
        return;
    const Field field = main.fieldAt(column);
    const std::vector<ValueColumn> ways = frequencyColumns(field.name(), field.type());
    if (!ways.empty())
        countFrequencies(field.name(), ways.front());
}

void ViewLogsPage::countFrequencies(const QString& fieldName, ValueColumn by)
{
    Dataset& main = mainDataset();
    const Field field = main.field(fieldName);
    const LocaleText locale = LocaleText::current();
    Frequencies frequencies;
    m_database.connection().work(QStringLiteral("Частота значений"), [&](Call& call) {
        frequencies = countValues(main, field.index(), by, locale, kListedValues,
                                  [&call](int64_t records) { call.setCount(records); });
    });
    if (!m_frequencyWindow) {
        m_frequencyWindow = new FrequencyWindow(window());
        // Where the user left it in an earlier run; the first time over the main window.
        if (!m_settings ||
            !m_settings->track(QStringLiteral("FrequencyWindow"), *m_frequencyWindow)) {
            QRect place = m_frequencyWindow->geometry();
            place.moveCenter(window()->geometry().center());
            m_frequencyWindow->move(place.topLeft());
            if (m_settings)
                fitOnScreen(*m_frequencyWindow);
        }
        connect(m_frequencyWindow, &FrequencyWindow::countByChosen, this, [this](ValueColumn way) {
            runGuarded(m_prompts, [&] { countFrequencies(m_frequencyField, way); });
        });
        connect(m_frequencyWindow, &FrequencyWindow::selectRequested, this,
                [this](const ColumnValue& value) {
                    runGuarded(m_prompts, [&] { selectValue(value); });
                });
        connect(m_frequencyWindow, &FrequencyWindow::excludeRequested, this,
                [this](const ColumnValue& value) {
                    runGuarded(m_prompts, [&] { excludeFromFrequencies(value); });
                });
    }
    m_frequencyField = fieldName;
    m_frequencyWindow->showFrequencies(
        field.displayLabel(), frequencyColumns(fieldName, field.type()), std::move(frequencies));
    m_frequencyWindow->show();
    m_frequencyWindow->raise();
    m_frequencyWindow->activateWindow();
}

void ViewLogsPage::excludeFromFrequencies(const ColumnValue& value)
{
    const ValueColumn by = m_frequencyWindow->frequencies().by;
    // Counts of records the grid no longer holds must not stay on screen.
    try {
        {
            const QScopedValueRollback keep(m_keepFrequencies, true);
            excludeValue(value);
        }
        if (mainDataset().isOpen())
            countFrequencies(m_frequencyField, by);
        else
            m_frequencyWindow->close();
    } catch (...) {
        if (m_frequencyWindow)
            m_frequencyWindow->close();
        throw;
    }
}

void ViewLogsPage::setUpGridColumns()
{
    // Each step looks its column up by name: a missing column stops the setup there with the
    // dataset's "Field '...' not found".
    Dataset& main = mainDataset();
    main.field(QStringLiteral("SID")).setVisible(false);
    for (const ColumnSetting& column : kColumnSettings)
        main.field(QLatin1String(column.name)).setDisplayLabel(QString::fromUtf8(column.label));
    for (const ColumnSetting& column : kColumnSettings)
        main.field(QLatin1String(column.name)).setDisplayWidth(column.width);
}

void ViewLogsPage::onGridTitleClicked(int column)
{
    const WaitCursor wait;
    // While the dataset is closed the grid shows one blank column, and the closed dataset refuses.
    // A title sorts ascending, unless its column is sorted ascending already.
    Dataset& main = mainDataset();
    const bool again = main.sortColumn() == column && main.sortOrder() == Qt::AscendingOrder;
    main.sortBy(m_ui->DBGridMain->fieldName(column),
                again ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void ViewLogsPage::onDateBoxClicked(bool checked, QWidget& picker)
{
    picker.setEnabled(checked);
    rebuildFilterLists(FilterScope::Panel);
}

void ViewLogsPage::onDateFromClicked()
{
    onDateBoxClicked(m_ui->CheckBoxDateFrom->isChecked(), *m_ui->DateTimePickerFrom);
}

void ViewLogsPage::onDateToClicked()
{
    onDateBoxClicked(m_ui->CheckBoxDateTo->isChecked(), *m_ui->DateTimePickerTo);
}

void ViewLogsPage::onClearFiltersClicked()
{
    Ui::ViewLogsPage& ui = *m_ui;
    // Clearing a ticked box runs its click handling, as a click would.
    if (ui.CheckBoxDateFrom->isChecked()) {
        ui.CheckBoxDateFrom->setChecked(false);
        onDateFromClicked();
    }
    if (ui.CheckBoxDateTo->isChecked()) {
        ui.CheckBoxDateTo->setChecked(false);
        onDateToClicked();
    }
    ui.DateTimePickerFrom->setEnabled(false);
    ui.DateTimePickerTo->setEnabled(false);
    for (DBLookupComboBox* box :
         {ui.DBLookupComboBoxTable, ui.DBLookupComboBoxAction, ui.DBLookupComboBoxOracleUser,
          ui.DBLookupComboBoxPC, ui.DBLookupComboBoxOSUser})
        box->setKeyValue(QString());
    m_exactValues.clear();
    m_exclusions.clear();
    showExclusions();
    ui.EditChanges->clear();
    ui.RadioGroupChangesItem1->setChecked(true);
    rebuildFilterLists(FilterScope::None);
}

void ViewLogsPage::onRefreshClicked()
{
    const WaitCursor wait;
    // The statements stay those of the last rebuild: the lists re-read the database under
    // the filters then in force, keeping every choice the new rows still hold.
    for (const FilterList list : kFilterLists)
        m_database.dataset(filterListDataset(list)).close();
    openFilterLists(m_database);
}

bool ViewLogsPage::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* press = static_cast<QKeyEvent*>(event);
        const int key = press->key();
        const bool plain = (press->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        // Enter in a control of the filter panel presses "Отобрать", as a dialog's default
        // button. A drop-down whose list is open takes Enter itself: its list has the focus.
        // Enter with Ctrl, Shift or Alt is left to the control: a finger on Ctrl must not
        // start a long query.
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && plain) {
            // The picker sees no Enter after this: its typing ends here.
            if (auto* picker = qobject_cast<DatePicker*>(watched))
                picker->finishTyping();
            m_ui->BitBtnSelect->click();
            return true;
        }
    } else if (event->type() == QEvent::FocusIn) {
        // The radio group is one stop of the tab order, and Tab enters it at its chosen item.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        auto* item = qobject_cast<QRadioButton*>(watched);
        if (item && !item->isChecked() &&
            (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason)) {
            for (QRadioButton* chosen : m_ui->RadioGroupChanges->findChildren<QRadioButton*>())
                if (chosen->isChecked())
                    chosen->setFocus(reason);
        }
    } else if (event->type() == QEvent::FocusOut) {
        // Opening its own list or calendar, or another window coming to the front, is no
        // leaving: the focus comes back to the same control.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) {
            if (std::find(m_listControls.begin(), m_listControls.end(), watched) !=
                m_listControls.end()) {
                // The lists are built before the picker's own leaving ends its typing.
                if (auto* picker = qobject_cast<DatePicker*>(watched))
                    picker->finishTyping();
                runGuarded(m_prompts, [this] { rebuildFilterLists(FilterScope::Panel); });
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace varnel
