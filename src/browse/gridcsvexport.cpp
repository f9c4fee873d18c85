#include "browse/gridcsvexport.h"

#include "base/localetext.h"
#include "browse/core/csvexport.h"
#include "db/connection.h"
#include "db/dataset.h"
#include "ui/core/exportfile.h"
#include "ui/core/guard.h"
#include "ui/core/prompts.h"

#include <QWidget>

#include <stdexcept>

namespace varnel {

namespace {

void exportToCsv(QWidget* owner, Dataset& dataset, const std::vector<int>& shownColumns,
                 Prompts& prompts, const QStringList& programFiles)
{
    if (!dataset.isOpen()) {
        prompts.message(QStringLiteral("Экспортировать нечего: записи не отобраны."));
        return;
    }
    ExportFile file;
    file.dialogTitle = QStringLiteral("Экспорт в CSV");
    file.filter = QStringLiteral("Файл CSV (*.csv)");
    file.suffix = QStringLiteral("csv");
    file.waitTitle = QStringLiteral("Экспорт в CSV");
    file.finished = QStringLiteral("Экспорт в CSV завершён!");
    Connection& connection = dataset.connection();
    const QString path = chooseExportFile(owner ? owner->window() : nullptr, prompts, file,
                                          connection, programFiles, LocaleText::current());
    if (path.isEmpty())
        return;

    std::vector<QString> labels;
    for (const int column : shownColumns) {
        if (column < 0 || column >= dataset.fieldCount())
            throw std::out_of_range("exportGridToCsv: no such column");
        labels.push_back(dataset.fieldAt(column).displayLabel());
    }
    writeExportFile(connection, prompts, file, [&](Call& call) {
        saveCsv(path, dataset, shownColumns, labels,
                [&call](int64_t records) { call.setCount(records); });
    });
}

} // namespace

void exportGridToCsv(QWidget* owner, Dataset& dataset, const std::vector<int>& shownColumns,
                     Prompts& prompts, const QStringList& programFiles)
{
    runGuarded(prompts, [&] { exportToCsv(owner, dataset, shownColumns, prompts, programFiles); });
}

} // namespace varnel
