#include "browse/core/filterset.h"

#include "db/logdatabase.h"

#include <QTextBoundaryFinder>

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace varnel {

namespace {

// Before and after the value, for the filters that take a text.
struct TextPattern {
    const char* before;
    const char* after;
};

QString textFragment(const QString& value, TextPattern pattern)
{
    if (value.isEmpty())
        return {};
    return QLatin1String(pattern.before) + quotedText(value) + QLatin1String(pattern.after);
}

QString dateFragment(const std::optional<QDate>& day, const char* comparison,
                     const LocaleText& locale)
{
    if (!day)
        return {};
    return QLatin1String(" and trunc(ddate) ") + QLatin1String(comparison) + QLatin1String(" '") +
           locale.dateText(*day) + QLatin1Char('\'');
}

QString changesFragment(const FilterValues& values)
{
    // Three items, one always selected: another position never comes from the radio group.
    static const TextPattern positions[] = {
        {" and upper(schanges) like upper('", "%')"},
        {" and upper(schanges) like upper('%", "%')"},
        {" and upper(schanges) like upper( '%", "')"},
    };
    if (values.changes.isEmpty() || values.changesPosition < 0 || values.changesPosition > 2)
        return {};
    return textFragment(values.changes, positions[values.changesPosition]);
}

// The segments as the lists cut them, "%1" standing for the user-info column. The list heads
// and the exact segment conditions share these texts, so that an exact segment passes exactly
// the records for which its list shows the value. The double blanks belong to the heads.
const char* segmentPattern(Filter segment)
{
    switch (segment) {
    case Filter::OracleUser:
        return "upper(substr(%1,  instr(%1, '-', instr(%1, '-', 1) + 1) + 2))";
    case Filter::PC:
        return "upper(substr(%1,  instr(%1, '-', 1) + 2, (instr(%1, '-',  instr(%1, '-', 1)+1)) - "
               "(instr(%1, '-', 1) + 2) - 1))";
    case Filter::OSUser:
        return "upper(substr(%1, 1,  instr(%1, '-', 1) - 1))";
    default:
        throw std::invalid_argument("userInfoSegmentExpression: not a user-info segment");
    }
}

struct ListStatement {
    Filter own;
    // The head: `select`, the listed value, `as`; no `value` stands for the list's own
    // segment over the alias t.
    const char* select;
    const char* value;
    const char* as;
    const char* alias;
    const char* tail;
    const char* keyColumn;
    DatasetRole dataset;
};

const ListStatement& listStatement(FilterList list)
{
    static const ListStatement statements[] = {
        {Filter::Table, "Select distinct ", "upper(stable)", " stable from ", "",
         " union Select null from dual order by stable", "STABLE", DatasetRole::Table},
        {Filter::Action, "Select distinct ", "upper(saction)", " saction from ", "",
         " union Select null from dual order by saction", "SACTION", DatasetRole::Action},
        {Filter::OracleUser, "Select distinct ", nullptr, "  Oracle_User from ", " t",
         " union Select null  from dual order by Oracle_User", "ORACLE_USER",
         DatasetRole::OracleUser},
        {Filter::PC, "Select distinct ", nullptr, "  PC from ", " t",
         " union Select null from dual order by PC", "PC", DatasetRole::PC},
        // No "distinct": the union removes the duplicates all the same.
        {Filter::OSUser, "Select ", nullptr, " OS_User from ", " t",
         " union Select null from dual order by OS_User", "OS_USER", DatasetRole::OSUser},
    };
    return statements[static_cast<int>(list)];
}

constexpr Filter kFilterOrder[] = {Filter::DateFrom, Filter::DateTo,     Filter::Table,
                                   Filter::Action,   Filter::OracleUser, Filter::PC,
                                   Filter::OSUser,   Filter::Changes};

// The segments of the user-info column as the exact conditions and the exclusions name it.
const QString kUserInfo = QStringLiteral("suser_info");

Filter segmentFilter(ValueColumn column)
{
    switch (column) {
    case ValueColumn::OSUser:
        return Filter::OSUser;
    case ValueColumn::PC:
        return Filter::PC;
    default:
        return Filter::OracleUser;
    }
}

// What keeps a record whose segment is not `value`: any other segment, and none; for an empty
// value, any segment. Two-valued, so that several of them can be joined by "or".
QString otherSegment(Filter segment, const QString& value)
{
    const QString expression = userInfoSegmentExpression(segment, kUserInfo);
    if (value.isEmpty())
        return expression + QLatin1String(" is not null");
    return expression + QLatin1String(" <> '") + quotedText(value) + QLatin1String("' or ") +
           expression + QLatin1String(" is null");
}

} // namespace

ColumnValue ColumnValue::ofText(ValueColumn column, const QString& text)
{
    ColumnValue value;
    value.column = column;
    value.null = text.isEmpty();
    value.text = text;
    return value;
}

ColumnValue ColumnValue::ofDay(QDate day)
{
    ColumnValue value;
    value.column = ValueColumn::Day;
    value.null = !day.isValid();
    value.day = day;
    return value;
}

ColumnValue ColumnValue::ofNull(ValueColumn column)
{
    ColumnValue value;
    value.column = column;
    return value;
}

bool ColumnValue::operator==(const ColumnValue& other) const
{
    if (column != other.column || null != other.null)
        return false;
    return null || (column == ValueColumn::Day ? day == other.day : text == other.text);
}

QString& FilterValues::text(Filter filter)
{
    return const_cast<QString&>(std::as_const(*this).text(filter));
}

const QString& FilterValues::text(Filter filter) const
{
    // In the order of Filter.
    static constexpr QString FilterValues::*texts[] = {nullptr,
                                                       nullptr,
                                                       &FilterValues::table,
                                                       &FilterValues::action,
                                                       &FilterValues::oracleUser,
                                                       &FilterValues::pc,
                                                       &FilterValues::osUser,
                                                       &FilterValues::changes};
    QString FilterValues::*const member = texts[static_cast<int>(filter)];
    if (!member)
        throw std::invalid_argument("FilterValues::text: a date filter has no text");
    return this->*member;
}

QString filterFragment(Filter filter, const FilterValues& values, const LocaleText& locale)
{
    if (values.isExact(filter) && filter != Filter::DateFrom && filter != Filter::DateTo) {
        const QString condition = exactCondition(filter, values.text(filter));
        return condition.isEmpty() ? QString() : QLatin1String(" and ") + condition;
    }
    switch (filter) {
    case Filter::DateFrom:
        return dateFragment(values.dateFrom, ">=", locale);
    case Filter::DateTo:
        return dateFragment(values.dateTo, "<=", locale);
    case Filter::Table:
        return textFragment(values.table, {" and upper(stable) = '", "'"});
    case Filter::Action:
        return textFragment(values.action, {" and upper(saction) = '", "'"});
    case Filter::OracleUser:
        return textFragment(values.oracleUser, {" and upper(suser_info)  like '%", "'"});
    case Filter::PC:
        return textFragment(values.pc, {" and upper(suser_info)  like '%", "%'"});
    case Filter::OSUser:
        return textFragment(values.osUser, {" and upper(suser_info)  like '", "%'"});
    case Filter::Changes:
        return changesFragment(values);
    }
    return {};
}

QString quotedText(const QString& text)
{
    return QString(text).replace(QLatin1Char('\''), QLatin1String("''"));
}

QString likeLiteral(const QString& text)
{
    QString pattern;
    pattern.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (c == u'%' || c == u'_' || c == u'\\')
            pattern += u'\\';
        pattern += c;
    }
    return pattern;
}

QString changesPrefix(const QString& changes)
{
    constexpr int kCharacters = 100;
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, changes);
    qsizetype end = 0;
    for (int i = 0; i < kCharacters && end >= 0 && end < changes.size(); ++i)
        end = characters.toNextBoundary();
    return end < 0 ? changes : changes.left(end);
}

QString userInfoSegmentExpression(Filter segment, const QString& userInfo)
{
    return QLatin1String(segmentPattern(segment)).arg(userInfo);
}

QString exactCondition(Filter filter, const QString& value)
{
    const QString& column = kUserInfo;
    switch (filter) {
    case Filter::Table:
    case Filter::Action:
        if (value.isEmpty())
            return {};
        return QLatin1String(filter == Filter::Table ? "upper(stable) = '" : "upper(saction) = '") +
               quotedText(value) + QLatin1Char('\'');
    case Filter::OracleUser:
    case Filter::PC:
    case Filter::OSUser:
        // The lists' NULL, which the embedded engine also gives for an empty text. In
        // parentheses, since "order by" follows the last condition without a blank.
        if (value.isEmpty())
            return QLatin1Char('(') + userInfoSegmentExpression(filter, column) +
                   QLatin1String(" is null)");
        return userInfoSegmentExpression(filter, column) + QLatin1String(" = '") +
               quotedText(value) + QLatin1Char('\'');
    case Filter::Changes:
        if (value.isEmpty())
            return {};
        return QLatin1String("schanges like '") + quotedText(likeLiteral(changesPrefix(value))) +
               QLatin1String("%' escape '\\'");
    default:
        return {};
    }
}

QString exclusionFragment(const ColumnValue& excluded, const LocaleText& locale)
{
    // Each in parentheses, as "or" joins the parts of most, and since "order by" follows the
    // last fragment without a blank.
    const auto column = [&]() -> const char* {
        switch (excluded.column) {
        case ValueColumn::Day:
            return "ddate";
        case ValueColumn::Table:
            return "stable";
        case ValueColumn::Action:
            return "saction";
        case ValueColumn::Changes:
            return "schanges";
        default:
            return "suser_info";
        }
    };
    const bool segment = excluded.column == ValueColumn::OSUser ||
                         excluded.column == ValueColumn::PC ||
                         excluded.column == ValueColumn::OracleUser;
    if (excluded.null) {
        if (segment)
            return QLatin1String(" and (") + otherSegment(segmentFilter(excluded.column), {}) +
                   QLatin1Char(')');
        return QLatin1String(" and (") + QLatin1String(column()) + QLatin1String(" is not null)");
    }
    QString kept;
    switch (excluded.column) {
    case ValueColumn::Day:
        kept =
            QLatin1String("trunc(ddate) <> '") + locale.dateText(excluded.day) + QLatin1Char('\'');
        break;
    case ValueColumn::Table:
    case ValueColumn::Action:
        kept = QLatin1String("upper(") + QLatin1String(column()) + QLatin1String(") <> '") +
               quotedText(excluded.text) + QLatin1Char('\'');
        break;
    case ValueColumn::Changes:
        kept = QLatin1String("schanges not like '") +
               quotedText(likeLiteral(changesPrefix(excluded.text))) +
               QLatin1String("%' escape '\\'");
        break;
    case ValueColumn::UserInfo: {
        // A record stays when any of its segments is not the text's.
        const UserInfoSegments segments = userInfoSegments(excluded.text);
        return QLatin1String(" and (") + otherSegment(Filter::OSUser, segments.osUser) +
               QLatin1String(" or ") + otherSegment(Filter::PC, segments.pc) +
               QLatin1String(" or ") + otherSegment(Filter::OracleUser, segments.oracleUser) +
               QLatin1Char(')');
    }
    default:
        return QLatin1String(" and (") +
               otherSegment(segmentFilter(excluded.column), excluded.text) + QLatin1Char(')');
    }
    return QLatin1String(" and (") + kept + QLatin1String(" or ") + QLatin1String(column()) +
           QLatin1String(" is null)");
}

QString valueText(const ColumnValue& value, const LocaleText& locale)
{
    if (value.null)
        return QStringLiteral("(пусто)");
    if (value.column == ValueColumn::Day)
        return locale.dateTimeText(value.day, QTime(0, 0));
    return value.text;
}

QString mainQueryText(const QString& logTable, const FilterValues& values, const LocaleText& locale)
{
    QString text = QLatin1String("Select * from ") + logTable + QLatin1String(" where 1=1 ");
    for (Filter filter : kFilterOrder)
        text += filterFragment(filter, values, locale);
    for (const ColumnValue& excluded : values.exclusions)
        text += exclusionFragment(excluded, locale);
    // No blank before "order by": a fragment's closing quote meets it directly.
    return text + QLatin1String("order by ddate, sid");
}

QString filterListStatement(FilterList list, const QString& logTable, const FilterValues& values,
                            const LocaleText& locale)
{
    const ListStatement& statement = listStatement(list);
    const QString value =
        statement.value ? QLatin1String(statement.value)
                        : userInfoSegmentExpression(statement.own, QStringLiteral("t.suser_info"));
    QString text = QLatin1String(statement.select) + value + QLatin1String(statement.as) +
                   logTable + QLatin1String(statement.alias) + QLatin1String(" where 1=1 ");
    for (Filter filter : kFilterOrder)
        if (filter != statement.own && filter != Filter::Changes)
            text += filterFragment(filter, values, locale);
    for (const ColumnValue& excluded : values.exclusions)
        text += exclusionFragment(excluded, locale);
    return text + QLatin1String(statement.tail);
}

QString filterListKeyColumn(FilterList list)
{
    return QLatin1String(listStatement(list).keyColumn);
}

DatasetRole filterListDataset(FilterList list)
{
    return listStatement(list).dataset;
}

namespace {

// Oracle's substr and instr over characters (code points), positions from 1; what they give
// as NULL is an empty text here.
class OracleText {
public:
    explicit OracleText(const QString& text) : m_chars(text.toUcs4()) {}

    qsizetype instr(char32_t c, qsizetype position) const
    {
        for (qsizetype i = std::max<qsizetype>(position, 1) - 1; i < m_chars.size(); ++i)
            if (m_chars[i] == c)
                return i + 1;
        return 0;
    }

    QString upperSubstr(qsizetype position, std::optional<qsizetype> length = std::nullopt) const
    {
        const qsizetype from = std::max<qsizetype>(position, 1) - 1;
        if (from >= m_chars.size() || (length && *length < 1))
            return {};
        const qsizetype to = length ? std::min(m_chars.size(), from + *length) : m_chars.size();
        QString text;
        // One character for one, as the database's upper: "ß" stays one letter.
        for (qsizetype i = from; i < to; ++i) {
            const auto upper = char32_t(QChar::toUpper(m_chars[i]));
            text += QString::fromUcs4(&upper, 1);
        }
        return text;
    }

private:
    QList<uint> m_chars;
};

} // namespace

UserInfoSegments userInfoSegments(const QString& userInfo)
{
    const OracleText text(userInfo);
    const qsizetype first = text.instr(U'-', 1);
    const qsizetype second = text.instr(U'-', first + 1);
    return {text.upperSubstr(1, first - 1), text.upperSubstr(first + 2, second - (first + 2) - 1),
            text.upperSubstr(second + 2)};
}

QString databaseUpper(const QString& text)
{
    return OracleText(text).upperSubstr(1);
}

void rebuildFilterLists(LogDatabase& database, const FilterValues& values, const LocaleText& locale)
{
    for (FilterList list : kFilterLists)
        database.dataset(filterListDataset(list))
            .setText(filterListStatement(list, database.currentLogTable(), values, locale));
    openFilterLists(database);
}

void openFilterLists(LogDatabase& database)
{
    for (FilterList list : kFilterLists)
        database.dataset(filterListDataset(list)).open(QStringLiteral("Обновление фильтров"));
}

} // namespace varnel
