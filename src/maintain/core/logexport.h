#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <functional>

namespace varnel {

class Call;
class MemoExport;
class Dataset;
class LocaleText;

struct ExportHooks {
    // What the progress window says while the dataset fetches the records.
    QString waitTitle;
    // The local date and time for the begin and end stamps.
    std::function<QDateTime()> now = [] {
        return QDateTime::currentDateTime();
    };
    // Runs the record lines (the long part) and waits for them: the page hands them to the
    // connection's thread (Connection::work), where the Call counts the records written and a
    // cancel stops them. Empty: they run here, uncounted.
    std::function<void(const std::function<void(Call&)>& lines)> work;
};

// Appends one export block to `memo` (whatever it held before stays in front): closes
// `dataset` and sets its text to `statement`, appends the title, an empty line, "-- " and the
// text read back from the dataset (its own final line break gives the empty line after it) and the
// begin stamp, opens the dataset and appends a record line for each row in the order the rows
// come, then the end stamp. The dataset stays open. Database errors and a missing column
// propagate; the lines appended until then stay in `memo`.
//
// A record line is the display texts of DDATE, STABLE, SACTION, SCHANGES and SUSER_INFO (each
// looked up by name, row by row; SID is not written) joined by " - ", nothing before the first
// or after the last: a NULL's empty text leaves two separators side by side. Values are not
// marked: a " - " or a line break inside one stands as it is.
//
// The stamps are written with `locale`, the export's one snapshot of the user's locale.
void exportLog(Dataset& dataset, const QString& statement, MemoExport& memo,
               const LocaleText& locale, const ExportHooks& hooks = {});

} // namespace varnel
