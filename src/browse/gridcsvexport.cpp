#include "browse/gridcsvexport.h"

#include "base/localetext.h"
#include "browse/core/csvexport.h"
#include "db/connection.h"
#include "db/dataset.h"
#include "db/dberror.h"
#include "maintain/core/exporttarget.h"
#include "maintain/core/periodstatements.h"
#include "ui/core/guard.h"
#include "ui/core/prompts.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
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
    SaveFileRequest request;
    request.title = QStringLiteral("Экспорт в CSV");
    request.filter = QStringLiteral("Файл CSV (*.csv)");
    request.defaultSuffix = QStringLiteral("csv");
    // The text export's preset name, with the suffix of this file.
    request.fileName = exportFileName(QDate::currentDate(), LocaleText::current()).chopped(4) +
                       QStringLiteral(".csv");
    request.confirmOverwrite = true;
    const QString path = prompts.saveFileName(owner ? owner->window() : nullptr, request);
    if (path.isEmpty())
        return;
    Connection& connection = dataset.connection();
    if (const QString refusal = ownFileRefusal(path, connection.localFile(), programFiles);
        !refusal.isEmpty()) {
        prompts.message(refusal);
        return;
    }

    std::vector<QString> labels;
    for (const int column : shownColumns) {
        if (column < 0 || column >= dataset.fieldCount())
            throw std::out_of_range("exportGridToCsv: no such column");
        labels.push_back(dataset.fieldAt(column).displayLabel());
    }
    bool saved = false;
    try {
        connection.work(QStringLiteral("Экспорт в CSV"), [&](Call& call) {
            saveCsv(path, dataset, shownColumns, labels,
                    [&call](int64_t records) { call.setCount(records); });
            saved = true;
        });
    } catch (const Cancelled&) {
        // A cancel that came after the file was in place is too late: the file is there, and
        // saying otherwise would leave the user believing the old one still is.
        if (!saved)
            throw;
    }
    prompts.message(QStringLiteral("Экспорт в CSV завершён!"));
}

} // namespace

void exportGridToCsv(QWidget* owner, Dataset& dataset, const std::vector<int>& shownColumns,
                     Prompts& prompts, const QStringList& programFiles)
{
    runGuarded(prompts, [&] { exportToCsv(owner, dataset, shownColumns, prompts, programFiles); });
}

} // namespace varnel
