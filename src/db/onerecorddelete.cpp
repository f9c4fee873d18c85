#include "db/onerecorddelete.h"

#include "base/civiltime.h"
#include "db/dberror.h"

#include <QDateTime>
#include <QStringList>
#include <QTimeZone>

#include <algorithm>
#include <charconv>

namespace varnel {

namespace {

bool isAsciiSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

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

QVariant dateValue(int64_t seconds, OneRecordDeleteForm::DateValue kind)
{
    if (kind == OneRecordDeleteForm::DateValue::StoredText) {
        char stored[19];
        civil::formatStoredDateTime(seconds, stored);
        return QString::fromLatin1(stored, 19);
    }
    const civil::Ymd ymd = civil::civilFromDays(civil::dayOf(seconds));
    const auto sod = int(civil::secondOfDay(seconds));
    // In UTC, which has no gaps: the driver binds the date and time fields as they are.
    return QDateTime(QDate(int(ymd.year), int(ymd.month), int(ymd.day)),
                     QTime(sod / 3600, sod / 60 % 60, sod % 60), QTimeZone::utc());
}

} // namespace

const OneRecordDeleteForm& oracleOneRecordDelete()
{
    static const OneRecordDeleteForm form{
        QStringLiteral("delete from %1\nwhere %2 and rownum = 1"),
        QStringLiteral("%1 = to_date(?, 'YYYY-MM-DD HH24:MI:SS')"),
        OneRecordDeleteForm::DateValue::StoredText, 80};
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
        case ColumnType::Date:
            statement.values << dateValue(rows.dateSeconds(row, col), form.dateValue);
            conditions << form.dateEquals.arg(name);
            break;
        case ColumnType::Text: {
            const std::string_view utf8 = rows.text(row, col);
            const QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
            const qsizetype piece = form.textPiece > 0 ? form.textPiece : text.size();
            QStringList marks;
            for (qsizetype at = 0; at < text.size();) {
                qsizetype length = std::min(piece, text.size() - at);
                // Never split a surrogate pair between two pieces.
                if (at + length < text.size() && text.at(at + length - 1).isHighSurrogate())
                    --length;
                statement.values << text.mid(at, length);
                marks << QStringLiteral("?");
                at += length;
            }
            conditions << name + QStringLiteral(" = ") + marks.join(QStringLiteral(" || "));
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

std::optional<std::string> plainDecimal(std::string_view text)
{
    while (!text.empty() && isAsciiSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isAsciiSpace(text.back()))
        text.remove_suffix(1);
    size_t i = 0;
    const size_t n = text.size();
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    std::string digits;
    int64_t integerDigits = -1; // digits before the decimal character
    for (; i < n; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digits += c;
        } else if (c == '.' || c == ',') {
            if (integerDigits >= 0)
                return std::nullopt;
            integerDigits = int64_t(digits.size());
        } else {
            break;
        }
    }
    if (digits.empty())
        return std::nullopt;
    if (integerDigits < 0)
        integerDigits = int64_t(digits.size());
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && text[i] == '+')
            ++i;
        int exponent = 0;
        const auto result = std::from_chars(text.data() + i, text.data() + n, exponent);
        // Oracle's numbers stay within 1E-130 .. 1E126; far larger exponents are no number.
        if (result.ec != std::errc() || exponent < -400 || exponent > 400)
            return std::nullopt;
        i = size_t(result.ptr - text.data());
        integerDigits += exponent;
    }
    if (i != n)
        return std::nullopt;

    std::string whole;
    std::string fraction;
    const auto count = int64_t(digits.size());
    if (integerDigits <= 0) {
        fraction = std::string(size_t(-integerDigits), '0') + digits;
    } else if (integerDigits >= count) {
        whole = digits + std::string(size_t(integerDigits - count), '0');
    } else {
        whole = digits.substr(0, size_t(integerDigits));
        fraction = digits.substr(size_t(integerDigits));
    }
    const size_t firstNonZero = whole.find_first_not_of('0');
    whole = firstNonZero == std::string::npos ? std::string("0") : whole.substr(firstNonZero);
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    std::string result = whole;
    if (!fraction.empty())
        result += '.' + fraction;
    if (negative && result != "0")
        result.insert(result.begin(), '-');
    return result;
}

} // namespace varnel
