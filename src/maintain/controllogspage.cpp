#include "maintain/controllogspage.h"

#include "base/localetext.h"
#include "db/dberror.h"
#include "db/logdatabase.h"
#include "maintain/core/logexport.h"
#include "maintain/core/periodcount.h"
#include "maintain/core/perioddeletion.h"
#include "ui/core/errortext.h"
#include "ui/core/exportfile.h"
#include "ui/core/guard.h"
#include "ui/core/prompts.h"
#include "ui/core/statustext.h"
#include "ui_controllogspage.h"

#include <QDate>
#include <QScopeGuard>

namespace varnel {

ControlLogsPage::ControlLogsPage(LogDatabase& database, Prompts& prompts, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::ControlLogsPage>()), m_database(database),
      m_prompts(prompts)
{
    m_ui->setupUi(this);
    // As the question and the statement write the period: with a four-digit year.
    const QString dateFormat = LocaleText::current().statementDateFormat();
    for (DatePicker* picker : {m_ui->DateTimePickerClearFrom, m_ui->DateTimePickerClearTo})
        picker->setDisplayFormat(dateFormat);

    connect(m_ui->CheckBoxClearLogTable, &QCheckBox::toggled, this,
            guarded(m_prompts, [this] { onPeriodToggled(); }));
    for (DatePicker* picker : {m_ui->DateTimePickerClearFrom, m_ui->DateTimePickerClearTo})
        connect(picker, &QDateEdit::dateChanged, this, [this] { showCount(std::nullopt); });
    connect(m_ui->BitBtnCountRecords, &QPushButton::clicked, this,
            guarded(m_prompts, [this] { onCountClicked(); }));
    connect(m_ui->BitBtnClearLogTable, &QPushButton::clicked, this,
            guarded(m_prompts, [this] { onDeleteClicked(); }));
    connect(m_ui->BitBtnExport, &QPushButton::clicked, this,
            guarded(m_prompts, [this] { onExportClicked(); }));
    connect(m_ui->BitBtnExit2, &QPushButton::clicked, this, &ControlLogsPage::exitRequested);
}

ControlLogsPage::~ControlLogsPage() = default;

void ControlLogsPage::setDatesToToday()
{
    const QDate today = QDate::currentDate();
    m_ui->DateTimePickerClearFrom->setDate(today);
    m_ui->DateTimePickerClearTo->setDate(today);
}

QWidget* ControlLogsPage::firstControl() const
{
    return m_ui->CheckBoxClearLogTable;
}

std::optional<Period> ControlLogsPage::period() const
{
    if (!m_ui->CheckBoxClearLogTable->isChecked())
        return std::nullopt;
    return Period{m_ui->DateTimePickerClearFrom->date(), m_ui->DateTimePickerClearTo->date()};
}

void ControlLogsPage::onPeriodToggled()
{
    const bool on = m_ui->CheckBoxClearLogTable->isChecked();
    for (QWidget* control : std::initializer_list<QWidget*>{
             m_ui->LabelClearFrom, m_ui->LabelClearTo, m_ui->DateTimePickerClearFrom,
             m_ui->DateTimePickerClearTo})
        control->setEnabled(on);
    showCount(std::nullopt);
}

void ControlLogsPage::onDeleteClicked()
{
    const LocaleText locale = LocaleText::current();
    const std::optional<Period> chosen = period();
    if (!m_prompts.confirm(window(), QStringLiteral("Удалить записи таблицы логов"),
                           periodDeletionQuestion(m_database.currentLogTable(), chosen, locale)))
        return;

    const PeriodDeletionOutcome outcome = deletePeriod(m_database, chosen, locale);
    if (outcome.failure) {
        m_prompts.message(databaseErrorText(*outcome.failure));
        return;
    }
    // Whatever the statement says it took, the count shown before it is no longer true.
    showCount(std::nullopt);
    if (outcome.deleted >= 0)
        m_prompts.status(deletedRecordsText(outcome.deleted, locale.locale()));
    m_prompts.message(QStringLiteral("Записи успешно удалены!"));
}

void ControlLogsPage::onExportClicked()
{
    const LocaleText locale = LocaleText::current();
    ExportFile file;
    file.filter = QStringLiteral("Текстовый файл (*.txt)");
    file.suffix = QStringLiteral("txt");
    file.waitTitle = QStringLiteral("Выгрузка логов");
    file.finished = QStringLiteral("Выгрузка логов завершена!");
    Connection& connection = m_database.connection();
    const QString path =
        chooseExportFile(window(), m_prompts, file, connection, m_programFiles, locale);
    if (path.isEmpty())
        return;

    m_memoExport.clear();
    const auto release = qScopeGuard([this] { m_memoExport.clear(); });
    // The lines and the file are made on the connection's thread, where a cancel stops them
    // until the new file replaces the old one; the window stays painted meanwhile.
    ExportHooks hooks;
    hooks.waitTitle = file.waitTitle;
    hooks.work = [&](const std::function<void(Call&)>& work) {
        connection.work(file.waitTitle, work);
    };
    exportLog(m_database.exportDataset(),
              exportStatement(m_database.currentLogTable(), period(), locale), m_memoExport, locale,
              hooks);
    writeExportFile(connection, m_prompts, file, [this, &path](Call& call) {
        m_memoExport.saveToFile(path, [&call] { call.checkCancelled(); });
    });
}

void ControlLogsPage::onCountClicked()
{
    const LocaleText locale = LocaleText::current();
    // A cancel or a failure leaves no count of an earlier press behind.
    showCount(std::nullopt);
    int64_t records = 0;
    try {
        records = countPeriod(m_database, period(), locale);
    } catch (const DbError& error) {
        m_prompts.message(databaseErrorText(error.message()));
        return;
    }
    showCount(records);
}

void ControlLogsPage::showCount(std::optional<int64_t> records)
{
    const QString counted = records ? countText(*records, kRecords, LocaleText::current().locale())
                                    : QStringLiteral("—");
    m_ui->LabelRecordCount->setText((m_ui->CheckBoxClearLogTable->isChecked()
                                         ? QStringLiteral("В периоде: ")
                                         : QStringLiteral("В таблице: ")) +
                                    counted);
}

} // namespace varnel
