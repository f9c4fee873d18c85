#include "maintain/core/perioddeletion.h"

#include "db/dberror.h"
#include "db/logdatabase.h"

namespace varnel {

PeriodDeletionOutcome deletePeriod(LogDatabase& database, const std::optional<Period>& period,
                                   const LocaleText& locale)
{
    // Setting the text closes the dataset, and executing never opens it: it ends closed
    // whatever the statement meets, a cancel included.
    Dataset& dataset = database.commandDataset();
    dataset.setText(periodDeletionStatement(database.currentLogTable(), period, locale));
    PeriodDeletionOutcome outcome;
    try {
        outcome.deleted = dataset.execute(QStringLiteral("Удаление записей"));
    } catch (const DbError& error) {
        outcome.failure = error.message();
    }
    return outcome;
}

} // namespace varnel
