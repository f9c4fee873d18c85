#include "login/core/historylist.h"

#include "base/ansicodepage.h"
#include "login/core/historyfile.h"

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

bool readsBack(const QString& entry)
{
    return !entry.contains(u';') && !entry.contains(u'\r') && !entry.contains(u'\n') &&
           fromAnsi(toAnsi(entry)) == entry;
}

} // namespace

QString serialiseHistoryList(const QString& currentText, const QStringList& items,
                             int selectedIndex)
{
    QString value;
    const auto append = [&value](const QString& entry) {
        if (!readsBack(entry) ||
            value.size() + entry.size() + 1 > LoginHistoryFile::kMaxValueLength)
            return false;
        value += entry + u';';
        return true;
    };
    // The selected item repeats the current text or was typed over; a current text that is
    // left out leaves the list as it was.
    const bool kept = append(currentText);
    const qsizetype skipped = kept ? selectedIndex : -1;
    int entries = kept ? 1 : 0;
    for (qsizetype i = 0; i < items.size() && entries < kHistoryListLength; ++i) {
        if (i != skipped && append(items[i]))
            ++entries;
    }
    return value;
}

QString mergeHistoryList(const QString& currentText, const QStringList& loaded, int selectedIndex,
                         const QStringList& stored)
{
    int inStored = -1;
    if (selectedIndex >= 0 && selectedIndex < loaded.size()) {
        const QString& chosen = loaded[selectedIndex];
        inStored = selectedIndex < stored.size() && stored[selectedIndex] == chosen
                       ? selectedIndex
                       : int(stored.indexOf(chosen));
    }
    return serialiseHistoryList(currentText, stored, inStored);
}

} // namespace varnel
