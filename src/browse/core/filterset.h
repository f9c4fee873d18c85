#pragma once

#include "base/localetext.h"
#include "db/datasetrole.h"

#include <QDate>
#include <QString>

#include <optional>
#include <vector>

namespace varnel {

class LogDatabase;

// The eight filters, in the order in which their fragments enter every statement.
enum class Filter { DateFrom, DateTo, Table, Action, OracleUser, PC, OSUser, Changes };

// A column as the page takes one value of it from a cell or from the frequencies of the
// fetched records: to filter by it («Отобрать по значению») or to leave it out («Исключить
// значение»). The user-info text counts whole or by one of its three segments.
enum class ValueColumn { Day, Table, Action, UserInfo, OSUser, PC, OracleUser, Changes };

// One value of a column. A table or action is upper-cased, as its list shows it; a segment as
// userInfoSegments cuts it; a whole user-info text as stored; a change text as stored, of which
// the statements take the first 100 characters (changesPrefix). NULL stands for the records
// without a value: an empty text is NULL too, as Oracle has it and the lists show it.
struct ColumnValue {
    ValueColumn column = ValueColumn::Table;
    bool null = true;
    QString text; // every column but the day
    QDate day;    // ValueColumn::Day

    static ColumnValue ofText(ValueColumn column, const QString& text);
    static ColumnValue ofDay(QDate day);
    static ColumnValue ofNull(ValueColumn column);
    bool operator==(const ColumnValue& other) const;
};

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
    // The values «Исключить значение» left out, in the order they were added: each passes the
    // records that do not hold it, NULL ones included, in the main query and in every list.
    std::vector<ColumnValue> exclusions;

    // The text of a filter that takes one: every filter but the two dates, which raise
    // std::invalid_argument.
    QString& text(Filter filter);
    const QString& text(Filter filter) const;

    // An exact filter holds a value that «Отобрать по значению» took from a cell, and passes
    // exactly the records whose cell gives that value (exactCondition), where a chosen or typed
    // value is a pattern. An exact user-info segment may be empty: the records without that
    // segment. Marking a date changes nothing.
    bool isExact(Filter filter) const { return (m_exact >> static_cast<int>(filter)) & 1u; }
    void setExact(Filter filter) { m_exact |= 1u << static_cast<int>(filter); }

private:
    unsigned m_exact = 0;
};

// The five drop-down lists, in the order in which they are built and opened.
enum class FilterList { Table, Action, OracleUser, PC, OSUser };
inline constexpr FilterList kFilterLists[] = {FilterList::Table, FilterList::Action,
                                              FilterList::OracleUser, FilterList::PC,
                                              FilterList::OSUser};

// The condition one filter adds to a statement, beginning with " and"; empty when the filter
// is off (no date, an empty text that is not an exact segment). A single quote in a list value
// or the change text is doubled, so that it is searched for instead of ending the quoted text;
// in a chosen or typed value % and _ stay wildcards, and nothing is trimmed. An exact filter
// adds " and " and its exactCondition. The date text is the locale's short date.
QString filterFragment(Filter filter, const FilterValues& values, const LocaleText& locale);

// A text as it stands between the single quotes of a statement: each quote doubled.
QString quotedText(const QString& text);
// A text as the pattern of a `like ... escape '\'` that matches that text and no other: %, _
// and the backslash itself each behind a backslash (quotes not yet doubled). Oracle and the
// embedded engine read the escape alike.
QString likeLiteral(const QString& text);
// What «Отобрать по значению» takes of a change text: its first 100 characters as the user
// sees characters, never a part of one (an emoji's two UTF-16 units, a letter and its accent).
QString changesPrefix(const QString& changes);

// A user-info segment (Filter::OracleUser, PC or OSUser) as the lists compute it: the
// upper-cased substr/instr expression over `userInfo`, the column as the statement names it
// ("suser_info", "t.suser_info"). NULL where the list shows the empty entry.
QString userInfoSegmentExpression(Filter segment, const QString& userInfo);

// The condition, without " and", that holds for exactly the records whose cell gives `value`
// for the filter: the table or the action upper-cased, as the lists show them; a user-info
// segment's expression equal to the value, or NULL for an empty value; the change text
// starting with changesPrefix(value), letter case as it stands, since the value is the cell's
// own text. Empty for the dates and for an empty table, action or change text, which no
// record's cell gives.
QString exactCondition(Filter filter, const QString& value);

// The condition an excluded value adds, beginning with " and": the records that do not hold it
// pass, those without a value among them; for NULL, only the records with a value. A table or
// action compares upper-cased, a segment as the lists cut it, a change text by the start that
// «Отобрать по значению» takes (its first 100 characters, quotes, % and _ themselves), a day
// by the day of DDATE. A whole user-info text leaves out the records that «Отобрать по
// значению» with it passes: those whose three segments are all the text's.
QString exclusionFragment(const ColumnValue& excluded, const LocaleText& locale);

// A value as the page shows it: «(пусто)» for NULL, a day as the grid writes dates, a text as
// it stands.
QString valueText(const ColumnValue& value, const LocaleText& locale);

// The main query that «Отобрать» sets on ADOQueryMain: every record passing all eight filters
// and no exclusion, by date and record number.
QString mainQueryText(const QString& logTable, const FilterValues& values,
                      const LocaleText& locale);

// The statement of one drop-down list: the distinct upper-cased values of the records that
// pass every filter but the list's own and the change-text filter, and every exclusion (a value
// left out is no choice in its own list either), and one NULL row.
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
// A text upper-cased as the database's upper() does it, character for character ("ß" stays
// one letter): a cell's table or action as its list shows it.
QString databaseUpper(const QString& text);

// The drop-down lists rebuilt on the log database: sets the five list statements for the current
// log table, each setting closing its dataset, then opens the five in the lists' order. The first
// failing open raises DbError; the lists before it stay open with their new rows, it and the
// ones after it stay closed.
void rebuildFilterLists(LogDatabase& database, const FilterValues& values,
                        const LocaleText& locale);
// Opens the five lists' datasets with the statements they hold, in the lists' order; an open
// one stays as it is. Fails as rebuildFilterLists does.
void openFilterLists(LogDatabase& database);

} // namespace varnel
