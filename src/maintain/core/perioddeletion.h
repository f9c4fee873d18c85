#pragma once

#include "maintain/core/periodstatements.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace varnel {

class LocaleText;
class LogDatabase;

// What a period deletion came to: either the database's failure message, or success with the
// records the statement deleted (-1 when the database does not say).
struct PeriodDeletionOutcome {
    int64_t deleted = -1;
    std::optional<QString> failure;
};

// Deletes the records of `period` (none: every record) from the current log table with
// periodDeletionStatement, run on the command dataset, whose text it becomes. Neither the order
// of the dates nor whether the table holds records is looked at: From later than To deletes
// nothing and still succeeds. A database failure is returned, never raised, and leaves the
// dataset closed; a Cancelled leaves it closed too and propagates (a statement is atomic:
// nothing was deleted). After success the dataset stays as it is: its next use closes it first.
PeriodDeletionOutcome deletePeriod(LogDatabase& database, const std::optional<Period>& period,
                                   const LocaleText& locale);

} // namespace varnel
