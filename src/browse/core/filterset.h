#pragma once

#include "base/localetext.h"
#include "db/datasetrole.h"

#include <QDate>
#include <QString>

#include <optional>

namespace varnel {

class LogDatabase;

// The filter set as read from the filter panel's controls at the moment a statement is built.
// Nothing keeps one between statements. A default value is the filter set with every filter
// off: what the lists are built from at login and after a reset (the lists rebuilt without
// filters).
struct FilterValues {
    std::optional<QDate> dateFrom;                 // set only when CheckBoxDateFrom is ticked
    std::optional<QDate> dateTo;                   // set only when CheckBoxDateTo is ticked
    QString table, action, oracleUser, pc, osUser; // shown texts of the five drop-downs
    QString changes;                               // EditChanges as typed
    int changesPosition = 1; // RadioGroupChanges: 0 starts with, 1 contains, 2 ends with
};

// The eight filters, in the order in which their fragments enter every statement.
enum class Filter { DateFrom, DateTo, Table, Action, OracleUser, PC, OSUser, Changes };
// The five drop-down lists, in the order in which they are built and opened.
enum class FilterList { Table, Action, OracleUser, PC, OSUser };
inline constexpr FilterList kFilterLists[] = {FilterList::Table, FilterList::Action,
                                              FilterList::OracleUser, FilterList::PC,
                                              FilterList::OSUser};

// The condition one filter adds to a statement, beginning with " and"; empty when the filter
// is off (no date, an empty text). A single quote in a list value or the change text is
// doubled, so that it is searched for instead of ending the quoted text; % and _ stay
// wildcards and nothing is trimmed. The date text is the locale's short date.
QString filterFragment(Filter filter, const FilterValues& values, const LocaleText& locale);

// The main query that «Отобрать» sets on ADOQueryMain: every record passing all eight filters,
// by date and record number.
QString mainQueryText(const QString& logTable, const FilterValues& values,
                      const LocaleText& locale);

// The statement of one drop-down list: the distinct upper-cased values of the records that
// pass every filter but the list's own and the change-text filter, and one NULL row.
QString filterListStatement(FilterList list, const QString& logTable, const FilterValues& values,
                            const LocaleText& locale);
// The list's one column, both key and shown text: "STABLE", "SACTION", "ORACLE_USER", "PC",
// "OS_USER".
QString filterListKeyColumn(FilterList list);
// The statement dataset that holds the list.
DatasetRole filterListDataset(FilterList list);

// The three segments of a user-info text as the computer, OS-user and database-user lists
// show them: their own substr/instr expressions, upper-cased. A segment those expressions
// give no text for (no hyphen, say) is empty.
struct UserInfoSegments {
    QString osUser, pc, oracleUser;
};
UserInfoSegments userInfoSegments(const QString& userInfo);

// The drop-down lists rebuilt on the log database: sets the five list statements for the current
// log table, each setting closing its dataset, then opens the five in the lists' order. The first
// failing open raises DbError; the lists before it stay open with their new rows, it and the
// ones after it stay closed.
void rebuildFilterLists(LogDatabase& database, const FilterValues& values,
                        const LocaleText& locale);

} // namespace varnel
