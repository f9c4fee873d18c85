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
// entry holding a line break (CR or LF) is left out: it would break the file's lines.
QString serialiseHistoryList(const QString& currentText, const QStringList& items,
                             int selectedIndex);

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
