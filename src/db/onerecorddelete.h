#pragma once

#include "db/rowset.h"

#include <QString>
#include <QVariantList>

namespace varnel {

// How an engine writes the deletion of the one record that a row of a snapshot shows. The
// statement is built in one place for every engine; only these few things differ.
struct OneRecordDeleteForm {
    // %1 the log table as the user named it, %2 the column conditions joined by " and ". The
    // name must end its line: a "--" in it then comments out nothing of the statement.
    QString statement;
    // %1 a quoted column name; the date-time that it must equal is bound to the "?".
    QString dateEquals = QStringLiteral("%1 = ?");
    // How that date-time is bound: as a date-time (QDateTime, to the millisecond), or as the
    // text 'YYYY-MM-DD HH:MM:SS', with '.' and nine digits of its fraction when it has one.
    enum class DateValue { DateTime, StoredText };
    DateValue dateValue = DateValue::DateTime;
    // Texts are bound in pieces of at most this many characters joined by "||"; 0 binds a
    // text whole.
    qsizetype textPiece = 0;
    // As dateEquals, for a date-time with a fraction of a second; empty: dateEquals.
    QString fractionEquals;
    // A LOB column (ColumnInfo::lob): %1 its quoted name, %2 its value's pieces, each written
    // as `lobPiece` and joined by "||".
    QString lobEquals = QStringLiteral("%1 = %2");
    QString lobPiece = QStringLiteral("?");
};

// Oracle: the conditions, then "rownum = 1". A date-time is bound as text and read in a fixed
// format, whatever the session's formats and the data source's options. A whole second by
// to_date: a DATE compared with a DATE keeps an index on the column usable, where a
// TIMESTAMP parameter (what Oracle's driver makes of a bound SQL_TIMESTAMP_STRUCT) would have
// Oracle convert every DATE of the column; and a TIMESTAMP column compares it as a TIMESTAMP
// without fraction, so its records of whole seconds are found too. A date-time with a
// fraction, which only a TIMESTAMP holds, by to_timestamp with nine digits, which equals a
// TIMESTAMP(6) or (9) exactly; a bound struct would lose the fraction under the driver's
// "bind TIMESTAMP as DATE" option. A text is bound in pieces of at most 80 characters: Oracle
// takes a bound text of more than 4000 bytes for a LONG, which a comparison with VARCHAR2
// refuses. Oracle compares no LOB with "=": a CLOB goes through dbms_lob.compare, against
// pieces each made a CLOB, whose concatenation has no length limit (VARCHAR2 pieces would stop
// at 4000 bytes), and which reads a CLOB of any row whatever its length (to_char of a CLOB
// fails for one of more than 4000 bytes).
const OneRecordDeleteForm& oracleOneRecordDelete();

struct BoundStatement {
    QString sql;
    QVariantList values; // one per "?", in order
};

// The statement that deletes one record equal to `row` of `rows`: every column compared, a NULL
// by "is null". Numbers are written as literals (exact, free of the session's decimal
// character, and without the 64-bit integer parameters that Oracle's ODBC driver lacks);
// date-times and texts are bound. Raises DbError for a number that is no plain decimal, so that
// no text from a snapshot ever enters the statement.
BoundStatement oneRecordDeleteStatement(const QString& table, const RowSet& rows, uint32_t row,
                                        const OneRecordDeleteForm& form);

// What an engine raises when a deletion of one record affected no record, or more than one (it
// has then been rolled back).
QString noRecordDeletedMessage();
QString manyRecordsDeletedMessage();

} // namespace varnel
