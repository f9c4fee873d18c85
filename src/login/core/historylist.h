#pragma once

#include <QLatin1StringView>
#include <QString>
#include <QStringList>

#include <array>

namespace varnel {

// A history list is the value of one key of the login history: entries, most recent first, each
// followed by one ";" ("A;B;C;" holds A, B and C; "" holds none). An entry never holds ";".

// The entries of `value`, each ended by a ";". An empty entry (from ";;") is kept; text after
// the last ";" is not an entry and is dropped.
QStringList parseHistoryList(const QString& value);

// The value that remembers a drop-down list: its current text first, then its items in order
// without the selected one (which repeats the current text when it was chosen from the list;
// none is left out when `selectedIndex` < 0), at most kHistoryListLength entries in all. An
// entry that the file would not give back as it is, is left out, and the others are kept: one
// holding ";" (two entries when read) or a line break (which would break the file's lines), a
// character that the ANSI code page lacks (read back as "?"), or one that would make the value
// longer than the history's read buffer (the entries after it would be cut off). A current
// text left out leaves the items as they are, up to kHistoryListLength of them.
QString serialiseHistoryList(const QString& currentText, const QStringList& items,
                             int selectedIndex);

// The same, over `stored`, the entries that the history file holds at the save, for a list
// that was filled with `loaded`: when another run has saved in between, its entries are kept,
// and the selected item is left out where it now stands in `stored`.
QString mergeHistoryList(const QString& currentText, const QStringList& loaded, int selectedIndex,
                         const QStringList& stored);

inline constexpr int kHistoryListLength = 5;

// The keys under which the login history keeps the dialog's remembered drop-down lists.
struct HistoryListKey {
    QLatin1StringView key;
};

inline constexpr QLatin1StringView kHistorySection{"Login"};

inline constexpr HistoryListKey kUserHistory{QLatin1StringView("User")};
inline constexpr HistoryListKey kBaseHistory{QLatin1StringView("Base")};
inline constexpr HistoryListKey kTableHistory{QLatin1StringView("Table")};

// In the order the lists are loaded and saved.
inline constexpr std::array<HistoryListKey, 3> kHistoryLists{
    {kUserHistory, kBaseHistory, kTableHistory}};

} // namespace varnel
