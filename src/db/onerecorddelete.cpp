#include "db/onerecorddelete.h"

#include "base/civiltime.h"
#include "db/dberror.h"
#include "db/decimaltext.h"

#include <QDateTime>
#include <QStringList>
#include <QTimeZone>

#include <algorithm>

namespace varnel {

namespace {

QString quotedName(QString name)
{
    name.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + name + QLatin1Char('"');
}

QString numberLiteral(const RowSet& rows, uint32_t row, int col)
{
    if (rows.isInteger(row, col))
        return QString::number(rows.integer(row, col));
    // Checked again here: the literal goes into the statement text.
    const std::string_view decimal = rows.decimal(row, col);
    const std::optional<std::string> plain = plainDecimal(decimal);
    if (!plain)
        throw DbError(QStringLiteral("Column %1 holds \"%2\", which is not a number")
                          .arg(rows.column(col).name,
                               QString::fromUtf8(decimal.data(), qsizetype(decimal.size()))));
    return QString::fromStdString(*plain);
}

QVariant dateValue(int64_t seconds, uint32_t nanoseconds, OneRecordDeleteForm::DateValue kind)
{
    if (kind == OneRecordDeleteForm::DateValue::StoredText) {
        char stored[civil::kStoredDateTimeLength];
        const int length = civil::formatStoredDateTime(seconds, nanoseconds, stored);
        return QString::fromLatin1(stored, length);
    }
    const civil::Ymd ymd = civil::civilFromDays(civil::dayOf(seconds));
    const auto sod = int(civil::secondOfDay(seconds));
    // In UTC, which has no gaps: the driver binds the date and time fields as they are.
    return QDateTime(QDate(int(ymd.year), int(ymd.month), int(ymd.day)),
                     QTime(sod / 3600, sod / 60 % 60, sod % 60, int(nanoseconds / 1000000)),
                     QTimeZone::utc());
}

} // namespace

const OneRecordDeleteForm& oracleOneRecordDelete()
{
    static const OneRecordDeleteForm form{
        QStringLiteral("delete from %1\nwhere %2 and rownum = 1"),
        QStringLiteral("%1 = to_date(?, 'YYYY-MM-DD HH24:MI:SS')"),
        OneRecordDeleteForm::DateValue::StoredText,
        80,
        QStringLiteral("%1 = to_timestamp(?, 'YYYY-MM-DD HH24:MI:SS.FF9')"),
        QStringLiteral("dbms_lob.compare(%1, %2) = 0"),
        QStringLiteral("to_clob(?)")};
    return form;
}

BoundStatement oneRecordDeleteStatement(const QString& table, const RowSet& rows, uint32_t row,
                                        const OneRecordDeleteForm& form)
{
    BoundStatement statement;
    QStringList conditions;
    for (int col = 0; col < rows.columnCount(); ++col) {
        const QString name = quotedName(rows.column(col).name);
        if (rows.isNull(row, col)) {
            conditions << name + QStringLiteral(" is null");
            continue;
        }
        switch (rows.column(col).type) {
        case ColumnType::Number:
            conditions << name + QStringLiteral(" = ") + numberLiteral(rows, row, col);
            break;
        case ColumnType::Date: {
            const uint32_t fraction = rows.dateNanoseconds(row, col);
            statement.values << dateValue(rows.dateSeconds(row, col), fraction, form.dateValue);
            conditions << (fraction != 0 && !form.fractionEquals.isEmpty() ? form.fractionEquals
                                                                           : form.dateEquals)
                              .arg(name);
            break;
        }
        case ColumnType::Text: {
            const std::string_view utf8 = rows.text(row, col);
            const QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
            const qsizetype piece = form.textPiece > 0 ? form.textPiece : text.size();
            const bool lob = rows.column(col).lob;
            QStringList marks;
            for (qsizetype at = 0; at < text.size();) {
                qsizetype length = std::min(piece, text.size() - at);
                // Never split a surrogate pair between two pieces.
                if (at + length < text.size() && text.at(at + length - 1).isHighSurrogate())
                    --length;
                statement.values << text.mid(at, length);
                marks << (lob ? form.lobPiece : QStringLiteral("?"));
                at += length;
            }
            const QString value = marks.join(QStringLiteral(" || "));
            conditions << (lob ? form.lobEquals.arg(name, value)
                               : name + QStringLiteral(" = ") + value);
            break;
        }
        }
    }
    statement.sql = form.statement.arg(table, conditions.join(QStringLiteral(" and ")));
    return statement;
}

QString noRecordDeletedMessage()
{
    return QStringLiteral("Row cannot be located for updating. Some values may have been changed "
                          "since it was last read.");
}

QString manyRecordsDeletedMessage()
{
    return QStringLiteral("Key column information is insufficient or incorrect. Too many rows "
                          "were affected by update.");
}

} // namespace varnel
