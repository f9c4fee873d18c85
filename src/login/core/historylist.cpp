#include "login/core/historylist.h"

namespace varnel {

QStringList parseHistoryList(const QString& value)
{
    QStringList entries;
    qsizetype start = 0;
    for (qsizetype end = value.indexOf(u';'); end >= 0; end = value.indexOf(u';', start)) {
        entries.append(value.mid(start, end - start));
        start = end + 1;
    }
    return entries;
}

namespace {

// A line break would end the value's line in the file and start lines of its own there.
bool fitsOneLine(const QString& entry)
{
    return !entry.contains(u'\r') && !entry.contains(u'\n');
}

} // namespace

QString serialiseHistoryList(const QString& currentText, const QStringList& items,
                             int selectedIndex)
{
    QString value;
    if (fitsOneLine(currentText))
        value = currentText + u';';
    int appended = 0;
    for (qsizetype i = 0; i < items.size() && appended < kHistoryListLength - 1; ++i) {
        if (i == selectedIndex || !fitsOneLine(items[i]))
            continue;
        value += items[i] + u';';
        ++appended;
    }
    return value;
}

} // namespace varnel
