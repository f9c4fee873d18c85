#include "browse/viewlogspage.h"

#include "db/datamodulebase.h"
#include "db/localetext.h"
#include "ui/guard.h"
#include "ui/windowsupport.h"
#include "ui_viewlogspage.h"

#include <QDate>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QSplitterHandle>

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

} // namespace

ViewLogsPage::ViewLogsPage(TDataModuleBase& dataModule, Prompts& prompts, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::ViewLogsPage>()), m_dataModule(dataModule),
      m_prompts(prompts)
{
    m_ui->setupUi(this);
    Ui::ViewLogsPage& ui = *m_ui;

    // The filter panel takes what the window gains or loses; the grid keeps its height.
    ui.Splitter1->setStretchFactor(0, 1);
    ui.Splitter1->setStretchFactor(1, 0);
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
        box->attach(m_dataModule.slot(filterListSlot(list)), filterListKeyColumn(list));
    }
    ui.DBGridMain->attach(ADOQueryMain(), m_prompts);
    ui.FindBarMain->attach(*ui.DBGridMain, m_prompts, this);

    connect(ui.CheckBoxDateFrom, &QCheckBox::clicked, this,
            guarded(m_prompts, [this] { CheckBoxDateFromClick(); }));
    connect(ui.CheckBoxDateTo, &QCheckBox::clicked, this,
            guarded(m_prompts, [this] { CheckBoxDateToClick(); }));
    connect(ui.BitBtnSelect, &QPushButton::clicked, this,
            guarded(m_prompts, [this] { BitBtnSelectClick(); }));
    connect(ui.BitBtnClearFiltr, &QPushButton::clicked, this,
            guarded(m_prompts, [this] { BitBtnClearFiltrClick(); }));
    connect(ui.BitBtnRefresh, &QPushButton::clicked, this,
            guarded(m_prompts, [this] { BitBtnRefreshClick(); }));
    connect(ui.BitBtnExit, &QPushButton::clicked, this, &ViewLogsPage::exitRequested);
    connect(ui.DBGridMain, &LogGrid::titleClicked, this,
            [this](int column) { runGuarded(m_prompts, [&] { DBGridMainTitleClick(column); }); });

    m_exitHandlers = {
        {ui.DateTimePickerFrom, &ViewLogsPage::DateTimePickerFromExit},
        {ui.DateTimePickerTo, &ViewLogsPage::DateTimePickerToExit},
        {ui.DBLookupComboBoxTable, &ViewLogsPage::DBLookupComboBoxTableExit},
        {ui.DBLookupComboBoxAction, &ViewLogsPage::DBLookupComboBoxActionExit},
        {ui.DBLookupComboBoxOracleUser, &ViewLogsPage::DBLookupComboBoxOracleUserExit},
        {ui.DBLookupComboBoxPC, &ViewLogsPage::DBLookupComboBoxPCExit},
        {ui.DBLookupComboBoxOSUser, &ViewLogsPage::DBLookupComboBoxOSUserExit},
    };
    for (const auto& handler : m_exitHandlers)
        handler.first->installEventFilter(this);
    for (QWidget* control : std::initializer_list<QWidget*>{
             ui.CheckBoxDateFrom, ui.CheckBoxDateTo, ui.EditChanges, ui.RadioGroupChangesItem0,
             ui.RadioGroupChangesItem1, ui.RadioGroupChangesItem2})
        control->installEventFilter(this);
}

ViewLogsPage::~ViewLogsPage() = default;

StatementSlot& ViewLogsPage::ADOQueryMain()
{
    return m_dataModule.ADOQueryMain();
}

void ViewLogsPage::FormCreate()
{
    const QDate today = QDate::currentDate();
    m_ui->DateTimePickerFrom->setDate(today);
    m_ui->DateTimePickerTo->setDate(today);
}

QWidget* ViewLogsPage::firstControl() const
{
    return m_ui->CheckBoxDateFrom;
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
    return values;
}

void ViewLogsPage::FiltrSettings(uint8_t mode)
{
    const WaitCursor wait;
    rebuildFilterLists(m_dataModule, mode == 1 ? readFilterValues() : FilterValues{},
                       LocaleText::current());
}

void ViewLogsPage::SQLMain()
{
    StatementSlot& main = ADOQueryMain();
    main.clearText();
    main.setText(
        mainQueryText(m_dataModule.currentLogTable(), readFilterValues(), LocaleText::current()));
}

void ViewLogsPage::BitBtnSelectClick()
{
    const WaitCursor wait;
    StatementSlot& main = ADOQueryMain();
    main.close();
    SQLMain();
    // The login's probe ran on this slot under a name of its own.
    main.setWaitTitle(QStringLiteral("Отбор записей"));
    main.open();
    LogTableSettings();
}

void ViewLogsPage::LogTableSettings()
{
    // Each step looks its column up by name: a missing column stops the setup there with the
    // slot's "Field '...' not found".
    StatementSlot& main = ADOQueryMain();
    main.field(QStringLiteral("SID")).setVisible(false);
    for (const ColumnSetting& column : kColumnSettings)
        main.field(QLatin1String(column.name)).setDisplayLabel(QString::fromUtf8(column.label));
    for (const ColumnSetting& column : kColumnSettings)
        main.field(QLatin1String(column.name)).setDisplayWidth(column.width);
}

void ViewLogsPage::DBGridMainTitleClick(int column)
{
    const WaitCursor wait;
    // While the slot is closed the grid shows one blank column, and the closed slot refuses.
    // A title sorts ascending, unless its column is sorted ascending already.
    StatementSlot& main = ADOQueryMain();
    const bool again = main.sortColumn() == column && main.sortOrder() == Qt::AscendingOrder;
    main.sortBy(m_ui->DBGridMain->fieldName(column),
                again ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void ViewLogsPage::dateBoxClick(bool checked, QWidget& picker)
{
    picker.setEnabled(checked);
    FiltrSettings(1);
}

void ViewLogsPage::CheckBoxDateFromClick()
{
    dateBoxClick(m_ui->CheckBoxDateFrom->isChecked(), *m_ui->DateTimePickerFrom);
}

void ViewLogsPage::CheckBoxDateToClick()
{
    dateBoxClick(m_ui->CheckBoxDateTo->isChecked(), *m_ui->DateTimePickerTo);
}

void ViewLogsPage::BitBtnClearFiltrClick()
{
    Ui::ViewLogsPage& ui = *m_ui;
    // Clearing a ticked box runs its click handling, as a click would.
    if (ui.CheckBoxDateFrom->isChecked()) {
        ui.CheckBoxDateFrom->setChecked(false);
        CheckBoxDateFromClick();
    }
    if (ui.CheckBoxDateTo->isChecked()) {
        ui.CheckBoxDateTo->setChecked(false);
        CheckBoxDateToClick();
    }
    ui.DateTimePickerFrom->setEnabled(false);
    ui.DateTimePickerTo->setEnabled(false);
    for (DBLookupComboBox* box :
         {ui.DBLookupComboBoxTable, ui.DBLookupComboBoxAction, ui.DBLookupComboBoxOracleUser,
          ui.DBLookupComboBoxPC, ui.DBLookupComboBoxOSUser})
        box->setKeyValue(QString());
    ui.EditChanges->clear();
    ui.RadioGroupChangesItem1->setChecked(true);
    FiltrSettings(0);
}

void ViewLogsPage::BitBtnRefreshClick()
{
    const WaitCursor wait;
    // The statements stay those of the last rebuild: the lists re-read the database under
    // the filters then in force, keeping every choice the new rows still hold.
    for (const FilterList list : kFilterLists)
        m_dataModule.slot(filterListSlot(list)).close();
    for (const FilterList list : kFilterLists)
        m_dataModule.slot(filterListSlot(list)).open();
}

bool ViewLogsPage::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        // Enter in a control of the filter panel presses "Отобрать", as a dialog's default
        // button. A drop-down whose list is open takes Enter itself: its list has the focus.
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
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
            for (const auto& [control, handler] : m_exitHandlers)
                if (control == watched)
                    runGuarded(m_prompts, [this, handler = handler] { (this->*handler)(); });
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace varnel
