#pragma once

#include <QStringList>

#include <vector>

class QWidget;

namespace varnel {

class Prompts;
class Dataset;

// «Экспорт в CSV…» of the log grid: asks for a file name through `prompts` (the save dialog
// over `owner`'s window, a name typed without a suffix getting ".csv", an existing file
// replaced only after a Yes), then writes the grid's rows as the grid shows them (see
// writeCsv: the dataset's shown order, `shownColumns` — the grid's model columns in the order
// shown, hidden ones left out — titled with their display labels) to that file. The file is
// written on the connection's thread under the progress window «Экспорт в CSV», where Cancel
// stops it; it replaces an existing file only once it is complete. Ends with «Экспорт в CSV
// завершён!».
//
// A closed dataset exports nothing and says so; an open one without rows gives a file with the
// title line alone. The open database's files, `programFiles` (the login history) and the
// program itself are never written over. Runs as its own guarded handler: a failure reaches
// the default error display, a cancel the status line's «Отменено»; nothing is raised.
void exportGridToCsv(QWidget* owner, Dataset& dataset, const std::vector<int>& shownColumns,
                     Prompts& prompts, const QStringList& programFiles = {});

} // namespace varnel
