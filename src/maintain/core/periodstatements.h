#pragma once

#include <QDate>
#include <QString>

#include <optional>

namespace varnel {

class LocaleText;

// The period of the page "Управление логами": records stamped from From 00:00:00 to To
// 00:00:00, both included (the database reads each date text as that day's midnight), so the
// To day's later records lie outside it. A deletion and an export of the same period touch the
// same records. No period (std::nullopt) means every record.
struct Period {
    QDate from;
    QDate to;
};

// "delete T" or "delete T where ddate between 'From' and 'To'", the table as stored.
QString periodDeletionStatement(const QString& table, const std::optional<Period>& period,
                                const LocaleText& locale);
// The confirmation's question; the table upper-cased by the locale.
QString periodDeletionQuestion(const QString& table, const std::optional<Period>& period,
                               const LocaleText& locale);
// "select count(*) from T" with the same condition as the deletion: the records a deletion of
// the period would take, counted before the question is asked.
QString periodCountStatement(const QString& table, const std::optional<Period>& period,
                             const LocaleText& locale);
// "Select * from T" with the same condition as the deletion; no ordering clause.
QString exportStatement(const QString& table, const std::optional<Period>& period,
                        const LocaleText& locale);

} // namespace varnel
