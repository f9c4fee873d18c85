#pragma once

#include "maintain/core/periodstatements.h"

#include <cstdint>
#include <optional>

namespace varnel {

class LocaleText;
class LogDatabase;

// The records of the current log table that a deletion of `period` (none: every record) would
// take, counted by the database with periodCountStatement under the wait «Подсчёт записей».
// No dataset is touched: the deletion's and the export's keep their texts and rows. A database
// failure raises DbError, a cancel Cancelled; a count that ended before the cancel is kept.
int64_t countPeriod(LogDatabase& database, const std::optional<Period>& period,
                    const LocaleText& locale);

} // namespace varnel
