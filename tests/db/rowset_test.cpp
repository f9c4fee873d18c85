#include "base/civiltime.h"
#include "base/localetext.h"
#include "db/rowset.h"

#include <QCollator>

#include <gtest/gtest.h>

#include <iterator>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

using namespace varnel;

namespace {

std::vector<uint32_t> allRows(const RowSet& set)
{
    std::vector<uint32_t> rows(set.rowCount());
    std::iota(rows.begin(), rows.end(), 0u);
    return rows;
}

} // namespace

TEST(RowSet, TextsSurviveChunkBoundariesAndNullBitmapsCrossWords)
{
    // Enough large texts to fill several chunks: a slip at a chunk's first or last item would
    // show up as a wrong or shifted text.
    RowSet::Builder builder;
    const int col = builder.addColumn(QStringLiteral("SCHANGES"), ColumnType::Text);
    const int num = builder.addColumn(QStringLiteral("SID"), ColumnType::Number);
    const uint32_t rows = 30000;
    auto textOf = [](uint32_t i) {
        return std::string(i % 977 == 0 ? 4000 : i % 50, static_cast<char>('a' + i % 26)) +
               std::to_string(i);
    };
    for (uint32_t i = 0; i < rows; ++i) {
        if (i % 7 == 3)
            builder.addNull(col);
        else {
            const std::string t = textOf(i);
            builder.addText(col, t.data(), t.size());
        }
        if (i % 64 == 63)
            builder.addNull(num);
        else
            builder.addInteger(num, i);
        builder.endRow();
    }
    const RowSet set = builder.finish();
    ASSERT_EQ(set.rowCount(), rows);
    for (uint32_t i = 0; i < rows; ++i) {
        ASSERT_EQ(set.isNull(i, col), i % 7 == 3) << i;
        if (i % 7 != 3) {
            ASSERT_EQ(set.text(i, col), textOf(i)) << i;
        }
        ASSERT_EQ(set.isNull(i, num), i % 64 == 63) << i;
        if (i % 64 != 63) {
            ASSERT_EQ(set.integer(i, num), i);
        }
    }
}

TEST(RowSet, DisplayTexts)
{
    RowSet::Builder builder;
    const int date = builder.addColumn(QStringLiteral("DDATE"), ColumnType::Date);
    const int number = builder.addColumn(QStringLiteral("SID"), ColumnType::Number);
    const int text = builder.addColumn(QStringLiteral("STABLE"), ColumnType::Text);
    struct Row {
        int64_t seconds;
        const char* decimal; // nullptr: the integer below
        int64_t integer;
        const char* text;
    };
    const Row input[] = {
        {civil::toSeconds(2026, 12, 7, 0, 0, 0), nullptr, 9007199254740993, "ORDERS"},
        {civil::toSeconds(2026, 12, 7, 13, 5, 9), "0.5", 0, "Склад"},
        {civil::toSeconds(1969, 12, 31, 23, 59, 59), nullptr, -42, "x"},
    };
    for (const Row& r : input) {
        builder.addDate(date, r.seconds);
        if (r.decimal)
            builder.addDecimal(number, r.decimal);
        else
            builder.addInteger(number, r.integer);
        builder.addText(text, r.text, std::strlen(r.text));
        builder.endRow();
    }
    builder.addNull(date);
    builder.addNull(number);
    builder.addNull(text);
    builder.endRow();
    const RowSet set = builder.finish();
    const LocaleText ru(QLocale(QLocale::Russian, QLocale::Russia));

    const char* expected[][3] = {
        {"07.12.2026", "9007199254740993", "ORDERS"},
        {"07.12.2026 13:05:09", "0.5", "Склад"},
        {"31.12.1969 23:59:59", "-42", "x"},
        {"", "", ""},
    };
    for (uint32_t row = 0; row < 4; ++row)
        for (int col = 0; col < 3; ++col)
            EXPECT_EQ(set.displayText(row, col, ru), QString::fromUtf8(expected[row][col]))
                << row << "," << col;

    const LocaleText us(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(set.displayText(1, date, us), QStringLiteral("12/7/26 1:05:09 PM"));
}

// A TIMESTAMP's fraction is kept exactly, also when the first one comes after many rows
// without, and sorts the rows of one second; it never shows. A log of DATEs keeps no fractions.
TEST(RowSet, FractionsOfASecondSortTheRowsOfOneSecondAndNeverShow)
{
    const int64_t second = civil::toSeconds(2025, 3, 5, 10, 11, 12);
    const int64_t midnight = civil::toSeconds(2025, 3, 5, 0, 0, 0);
    struct Row {
        int64_t seconds; // -1: NULL
        uint32_t nanoseconds;
        const char* shown;
    };
    // Rows 0..199 are whole seconds; the fractions start after the first word of the null
    // bitmap and stop before the last rows.
    std::vector<Row> input(200, Row{second - 1, 0, "05.03.2025 10:11:11"});
    const Row tail[] = {
        {second, 250000000, "05.03.2025 10:11:12"},
        {second, 125000000, "05.03.2025 10:11:12"},
        {-1, 0, ""},
        {second, 999999999, "05.03.2025 10:11:12"},
        {midnight, 1, "05.03.2025"},
        {second, 0, "05.03.2025 10:11:12"},
        {second, 125000000, "05.03.2025 10:11:12"},
        {second - 1, 0, "05.03.2025 10:11:11"},
    };
    input.insert(input.end(), std::begin(tail), std::end(tail));
    const auto build = [&](bool fractions) {
        RowSet::Builder builder;
        const int col = builder.addColumn(QStringLiteral("DDATE"), ColumnType::Date);
        for (const Row& r : input) {
            if (r.seconds < 0)
                builder.addNull(col);
            else
                builder.addDate(col, r.seconds, fractions ? r.nanoseconds : 0);
            builder.endRow();
        }
        return builder.finish();
    };
    const RowSet set = build(true);
    const LocaleText ru(QLocale(QLocale::Russian, QLocale::Russia));
    for (uint32_t row = 0; row < set.rowCount(); ++row) {
        EXPECT_EQ(set.dateNanoseconds(row, 0), input[row].nanoseconds) << row;
        EXPECT_EQ(set.displayText(row, 0, ru), QString::fromUtf8(input[row].shown)) << row;
    }

    // The 200 equal rows of 10:11:11 between what comes before and after them.
    const auto around = [](std::vector<uint32_t> before, std::initializer_list<uint32_t> after) {
        for (uint32_t row = 0; row < 200; ++row)
            before.push_back(row);
        before.insert(before.end(), after);
        return before;
    };
    QCollator collator(QLocale(QLocale::Russian, QLocale::Russia));
    const std::pair<Qt::SortOrder, std::vector<uint32_t>> orders[] = {
        // 10:11:12 by its fractions, the two equal ones in their order; NULL last
        {Qt::AscendingOrder, around({204}, {207, 205, 201, 206, 200, 203, 202})},
        {Qt::DescendingOrder, around({202, 203, 200, 201, 206, 205}, {207, 204})},
    };
    for (const auto& [order, expected] : orders) {
        std::vector<uint32_t> rows = allRows(set);
        set.sortRows(rows, 0, collator, order);
        EXPECT_EQ(rows, expected) << order;
    }

    // Fractions cost their four bytes a row only where there are some.
    const RowSet whole = build(false);
    EXPECT_EQ(whole.dateNanoseconds(201, 0), 0u);
    EXPECT_GE(set.allocatedBytes(), whole.allocatedBytes() + 200 * sizeof(uint32_t));
    EXPECT_LE(set.allocatedBytes(), whole.allocatedBytes() + set.rowCount() * sizeof(uint32_t));
}

TEST(RowSet, UndeclaredColumnTakesItsFirstValuesTypeAndNamesIgnoreCase)
{
    RowSet::Builder builder;
    const int col = builder.addColumn(QStringLiteral("ORACLE_USER"), ColumnType::Text, 0, false);
    const int never = builder.addColumn(QStringLiteral("X"), ColumnType::Text, 0, false);
    for (int i = 0; i < 3; ++i) {
        if (i == 2) {
            builder.settleType(col, ColumnType::Number);
            builder.addInteger(col, 7);
        } else {
            builder.addNull(col);
        }
        builder.addNull(never);
        builder.endRow();
    }
    const RowSet set = builder.finish();
    EXPECT_EQ(set.column(col).type, ColumnType::Number);
    EXPECT_TRUE(set.isNull(0, col) && set.isNull(1, col) && !set.isNull(2, col));
    EXPECT_EQ(set.integer(2, col), 7);
    EXPECT_EQ(set.column(never).type, ColumnType::Text);
    EXPECT_EQ(set.indexOf(u"Oracle_User"), col);
    EXPECT_EQ(set.indexOf(u"missing"), -1);
}

// Names are matched without regard to case, quickly for ASCII: only letters may differ in
// case, and any other character goes through Qt's full case folding.
TEST(RowSet, ColumnNamesMatchIgnoringTheCaseOfLettersOnly)
{
    RowSet::Builder builder;
    for (const char* name : {"A@", "ДАТА_Ё", "SUSER_INFO"})
        builder.addColumn(QString::fromUtf8(name), ColumnType::Text);
    const RowSet set = builder.finish();
    const std::pair<const char*, int> cases[] = {
        {"a@", 0},     {"a`", -1},        {"A`", -1},        {"дата_ё", 1},
        {"Дата_Ё", 1}, {"suser_info", 2}, {"suser_inf", -1}, {"suser\x7finfo", -1},
    };
    for (const auto& [name, col] : cases)
        EXPECT_EQ(set.indexOf(QString::fromUtf8(name)), col) << name;
}

TEST(RowSet, SortIsTypedStableAndPutsNullsLast)
{
    RowSet::Builder builder;
    const int num = builder.addColumn(QStringLiteral("N"), ColumnType::Number);
    const int date = builder.addColumn(QStringLiteral("D"), ColumnType::Date);
    const int text = builder.addColumn(QStringLiteral("T"), ColumnType::Text);
    struct Row {
        const char* number; // "null", an integer or a decimal
        int day;            // 0: NULL
        const char* text;   // nullptr: NULL
    };
    const Row input[] = {
        {"10", 3, "яблоко"},
        {"9", 1, "Банан"},
        {"null", 0, nullptr},
        {"9.5", 2, "банан"},
        {"-1", 3, "ёж"},
        {"9", 0, "еж"},
        {"100000000000000000000", 1, "apple"},
        {"9", 2, "Банан"},
    };
    for (const Row& r : input) {
        const std::string n = r.number;
        if (n == "null")
            builder.addNull(num);
        else if (n.find('.') != std::string::npos || n.size() > 18)
            builder.addDecimal(num, n);
        else
            builder.addInteger(num, std::stoll(n));
        if (r.day == 0)
            builder.addNull(date);
        else
            builder.addDate(date, civil::toSeconds(2026, 1, static_cast<unsigned>(r.day), 0, 0, 0));
        if (r.text)
            builder.addText(text, r.text, std::strlen(r.text));
        else
            builder.addNull(text);
        builder.endRow();
    }
    const RowSet set = builder.finish();
    QCollator collator(QLocale(QLocale::Russian, QLocale::Russia));

    struct Expectation {
        int col;
        std::vector<uint32_t> order;
    };
    const Expectation expectations[] = {
        // numbers as numbers (9 before 10), equal 9s in their original order, NULL last
        {num, {4, 1, 5, 7, 3, 0, 6, 2}},
        // dates in time order, ties in original order, NULLs last in original order
        {date, {1, 6, 3, 7, 0, 4, 2, 5}},
        // Russian collation, not code points: Cyrillic before Latin, lower case first among
        // equal letters, е before ё; the two "Банан" keep their order
        {text, {3, 1, 7, 5, 4, 0, 6, 2}},
    };
    for (const Expectation& e : expectations) {
        SCOPED_TRACE(e.col);
        std::vector<uint32_t> rows = allRows(set);
        set.sortRows(rows, e.col, collator);
        EXPECT_EQ(rows, e.order);
        // Sorting again changes nothing.
        std::vector<uint32_t> again = rows;
        std::sort(again.begin(), again.end());
        set.sortRows(again, e.col, collator);
        EXPECT_EQ(again, e.order);
    }
}

namespace {

// Texts that test the collation's corners: letter case, е and ё, и and й (precomposed and with
// a combining mark, which collate equal), digits, punctuation, blanks, line breaks, characters
// that expand (ß, №) and shared prefixes longer than the sort's eight-character steps.
std::vector<std::string> trickyTexts()
{
    const char* const pieces[] = {
        "a",  "A", "b",  "B",       "z", "е",      "Е",      "ё",      "Ё",       "е\u0308",
        "и",  "й", "Й",  "и\u0306", "я", "Я",      "0",      "9",      "10",      " ",
        "  ", "-", "_",  ".",       "'", "\"",     "\n",     "\r\n",   "\t",      "ß",
        "ss", "№", "No", "«",       "»", "\u2014", "\u2013", "\u0301", "ID=12, ", "Изменено поле ",
    };
    std::vector<std::string> texts = {"ORDERS", "orders", "Orders", "ORDER_ITEMS", "ORDERS ",
                                      "СКЛАД",  "склад",  "Склад",  "Ёлка",        "Елка",
                                      "елка",   "PC1",    "PC10",   "PC1 ",        "pc1"};
    uint64_t state = 12345;
    auto below = [&](uint64_t bound) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return (state >> 33) % bound;
    };
    for (int i = 0; i < 3000; ++i) {
        std::string text;
        const uint64_t count = 1 + below(12);
        for (uint64_t k = 0; k < count; ++k)
            text += pieces[below(std::size(pieces))];
        texts.push_back(text);
        // Now and then the same text again, or one that shares all but its end.
        if (below(4) == 0)
            texts.push_back(below(2) ? text : text + pieces[below(std::size(pieces))]);
    }
    return texts;
}

} // namespace

TEST(RowSet, TextSortMatchesTheCollatorsOwnOrder)
{
    // A column of mostly different texts and one that repeats a few, as table names do: the
    // sort takes each kind its own way.
    const std::vector<std::string> many = trickyTexts();
    const std::vector<std::string> few = [&] {
        std::vector<std::string> out;
        for (size_t i = 0; i < many.size(); ++i)
            out.push_back(many[i * 7 % 60]);
        return out;
    }();
    RowSet::Builder builder;
    const int manyCol = builder.addColumn(QStringLiteral("MANY"), ColumnType::Text);
    const int fewCol = builder.addColumn(QStringLiteral("FEW"), ColumnType::Text);
    for (size_t i = 0; i < many.size(); ++i) {
        builder.addText(manyCol, many[i].data(), many[i].size());
        builder.addText(fewCol, few[i].data(), few[i].size());
        builder.endRow();
    }
    builder.addNull(manyCol);
    builder.addNull(fewCol);
    builder.endRow();
    const RowSet set = builder.finish();

    auto collator = [](QLocale locale, auto setting) {
        QCollator c(locale);
        setting(c);
        return c;
    };
    const QLocale ru(QLocale::Russian, QLocale::Russia);
    const QCollator collators[] = {
        collator(ru, [](QCollator&) {}),
        collator(ru, [](QCollator& c) { c.setCaseSensitivity(Qt::CaseInsensitive); }),
        // Orders that ranking by character classes cannot follow: the sort must notice.
        collator(ru, [](QCollator& c) { c.setNumericMode(true); }),
        collator(ru, [](QCollator& c) { c.setIgnorePunctuation(true); }),
        collator(QLocale(QLocale::English, QLocale::UnitedStates), [](QCollator&) {}),
        collator(QLocale::c(), [](QCollator&) {}),
        collator(QLocale(QLocale::Danish, QLocale::Denmark), [](QCollator&) {}),
    };
    // Ties keep the order of the rows handed in, so hand them in shuffled.
    std::vector<uint32_t> input = allRows(set);
    for (size_t i = input.size() - 1; i > 0; --i)
        std::swap(input[i], input[(i * 7919) % (i + 1)]);

    for (const QCollator& c : collators) {
        for (const auto& [col, texts] : {std::pair(manyCol, &many), std::pair(fewCol, &few)}) {
            SCOPED_TRACE(c.locale().name().toStdString() + (c.numericMode() ? " numeric" : "") +
                         (c.ignorePunctuation() ? " ignoring punctuation" : "") +
                         (c.caseSensitivity() == Qt::CaseInsensitive ? " case-insensitive" : "") +
                         " column " + std::to_string(col));
            std::vector<QCollatorSortKey> keys;
            for (const std::string& t : *texts)
                keys.push_back(c.sortKey(QString::fromStdString(t)));
            const uint32_t nullRow = static_cast<uint32_t>(texts->size());
            std::vector<uint32_t> expected = input;
            std::stable_sort(expected.begin(), expected.end(), [&](uint32_t a, uint32_t b) {
                if (a == nullRow || b == nullRow)
                    return b == nullRow && a != b;
                return keys[a].compare(keys[b]) < 0;
            });
            std::vector<uint32_t> rows = input;
            set.sortRows(rows, col, c);
            ASSERT_EQ(rows.size(), expected.size());
            for (size_t i = 0; i < rows.size(); ++i)
                ASSERT_EQ(rows[i], expected[i])
                    << i << ": \"" << set.text(rows[i], col) << "\" where \""
                    << set.text(expected[i], col) << "\" belongs";
        }
    }
}

TEST(RowSet, DescendingSortPutsNullsFirstAndKeepsTiesInTheirOrder)
{
    RowSet::Builder builder;
    const int num = builder.addColumn(QStringLiteral("N"), ColumnType::Number);
    const int date = builder.addColumn(QStringLiteral("D"), ColumnType::Date);
    const int text = builder.addColumn(QStringLiteral("T"), ColumnType::Text);
    const int few = builder.addColumn(QStringLiteral("F"), ColumnType::Text);
    struct Row {
        const char* number; // nullptr: NULL; an integer or a decimal
        int day;            // 0: NULL
        const char* text;   // nullptr: NULL
    };
    const Row input[] = {
        {"10", 3, "яблоко"},
        {"9", 1, "Банан"},
        {nullptr, 0, nullptr},
        {"9.5", 2, "банан"},
        {"-1", 3, "ёж"},
        {"9", 0, "еж"},
        {"100000000000000000000", 1, "apple"},
        {"9", 2, "Банан"},
        {nullptr, 1, "ёж"},
    };
    for (const Row& r : input) {
        const std::string n = r.number ? r.number : "";
        if (!r.number)
            builder.addNull(num);
        else if (n.find('.') != std::string::npos || n.size() > 18)
            builder.addDecimal(num, n);
        else
            builder.addInteger(num, std::stoll(n));
        if (r.day == 0)
            builder.addNull(date);
        else
            builder.addDate(date, civil::toSeconds(2026, 1, static_cast<unsigned>(r.day), 0, 0, 0));
        if (r.text)
            builder.addText(text, r.text, std::strlen(r.text));
        else
            builder.addNull(text);
        // Three texts, each shared by three rows.
        const char* const letters[] = {"b", "a", "c"};
        const char* letter = letters[(&r - input) % 3];
        builder.addText(few, letter, 1);
        builder.endRow();
    }
    const RowSet set = builder.finish();
    QCollator collator(QLocale(QLocale::Russian, QLocale::Russia));
    const std::pair<int, std::vector<uint32_t>> expectations[] = {
        // NULLs first in their order, then 1e20, 10, 9.5, the three 9s as they came, -1
        {num, {2, 8, 6, 0, 3, 1, 5, 7, 4}},
        {date, {2, 5, 0, 4, 3, 7, 1, 6, 8}},
        // Latin after Cyrillic, so first; the two "ёж" and the two "Банан" keep their order
        {text, {2, 6, 0, 4, 8, 5, 1, 7, 3}},
        {few, {2, 5, 8, 0, 3, 6, 1, 4, 7}},
    };
    for (const auto& [col, order] : expectations) {
        SCOPED_TRACE(col);
        std::vector<uint32_t> rows = allRows(set);
        set.sortRows(rows, col, collator, Qt::DescendingOrder);
        EXPECT_EQ(rows, order);
        // From the ascending order, too: the direction alone decides.
        set.sortRows(rows, col, collator, Qt::AscendingOrder);
        std::sort(rows.begin(), rows.end());
        set.sortRows(rows, col, collator, Qt::DescendingOrder);
        EXPECT_EQ(rows, order);
    }
}
