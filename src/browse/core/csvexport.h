#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <span>

class QIODevice;

namespace varnel {

class Dataset;

// Counts the records written so far; runs every few hundred records and once at the end.
using CsvProgress = std::function<void(int64_t records)>;

// Writes the dataset's rows as a spreadsheet reads CSV: UTF-8 after a byte-order mark, a title
// line of `labels`, then one line per row in the dataset's shown order (after its sorts and
// deletions), each holding the cells of `columns` (indexes of the dataset's columns, in the
// order written; `labels` has one title for each) as the grid shows them, dates included.
// Fields are separated by commas and every line ends with CR LF. A field that holds a comma, a
// double quote, CR or LF is put in double quotes with each of its quotes doubled; the line
// breaks of a change text stay inside it as they are. A text cell that starts with =, +, -, @,
// a tab or CR, which a spreadsheet would run as a formula, is quoted with an apostrophe in
// front of its text. NULL is an empty field. A closed dataset or one without rows gives the
// title line alone.
//
// Reaches a cancellation point (db/call.h) every few hundred records, so that the work stops
// where the user cancels it. Raises Error when the device refuses to take the bytes.
void writeCsv(QIODevice& out, const Dataset& dataset, std::span<const int> columns,
              std::span<const QString> labels, const CsvProgress& progress = {});

// The same into the file `path`, through QSaveFile: the file appears, or an existing one is
// replaced, only once it is complete. A failure or a cancel leaves no file behind and an
// existing file as it was. Raises Error naming the full path.
void saveCsv(const QString& path, const Dataset& dataset, std::span<const int> columns,
             std::span<const QString> labels, const CsvProgress& progress = {});

} // namespace varnel
