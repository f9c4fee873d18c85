#pragma once

#include <QString>

#include <chrono>
#include <cstdint>

class QLocale;

namespace varnel {

// The texts of the main window's status bar. Counts are written with the locale's digit
// grouping («Записей: 12 345»), as the progress window writes them.
QString recordCountText(int64_t records, const QLocale& locale);
// `row` counts from 1.
QString recordPlaceText(int64_t row, int64_t records, const QLocale& locale);
QString selectTimeText(std::chrono::milliseconds took, const QLocale& locale);
QString deletedRecordsText(int64_t records, const QLocale& locale);
// A count with its Russian noun in the form the number takes, digits grouped as the locale
// groups them: «1 запись», «3 записи», «12 345 записей», «11 записей».
struct RussianNoun {
    const char* one;  // 1, 21, 101…
    const char* few;  // 2–4, 22–24…
    const char* many; // 0, 5–20, 25–30…, 11–14
};
inline constexpr RussianNoun kRecords{"запись", "записи", "записей"};
inline constexpr RussianNoun kValues{"значение", "значения", "значений"};
QString countText(int64_t count, RussianNoun noun, const QLocale& locale);
// An «Отобрать» that found nothing, which an empty grid alone does not tell apart from one
// never filled.
QString noRecordsText();
// The log table and where it lives: the file as the user named it for the embedded engine,
// user@service for Oracle («LOG_TABLE — demo/varnel-demo.sqlite», «LOG_TABLE — SCOTT@ORCL»).
// A connection string that cannot be read gives the table alone.
QString databaseText(const QString& logTable, const QString& connectionString);

} // namespace varnel
