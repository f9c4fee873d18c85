// The search of the find bar: case-insensitive matching on stored UTF-8, and the rows a
// snapshot marks, each against what QString finds in the text the grid shows.

#include "base/civiltime.h"
#include "base/localetext.h"
#include "base/textneedle.h"
#include "db/rowset.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace varnel;

namespace {

// A cell's text as the grid shows it: each line break one blank.
QString shown(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

bool qtFinds(const std::string& haystack, const QString& needle)
{
    return shown(QString::fromStdString(haystack)).contains(shown(needle), Qt::CaseInsensitive);
}

} // namespace

TEST(TextNeedle, FindsWhatTheGridShowsLetterCaseAside)
{
    const struct {
        const char* haystack;
        const char* needle;
        bool found;
    } cases[] = {
        {"Изменено поле STATUS", "status", true},
        {"Изменено поле STATUS", "ИЗМЕНЕНО", true},
        {"ЁЛКА и Ёж", "ёлка И ёж", true},
        {"елка", "ёлка", false}, // е and ё are different letters
        {"\u212A", "k", true},   // the Kelvin sign folds to k
        {"\u017Fome", "SOME", true},
        {"ΟΔΟΣ", "οδος", true},
        {"οδος", "ΟΔΟς", true}, // final sigma folds to sigma
        {"Straße", "STRASSE", false},
        {"one\ntwo", "ONE TWO", true},
        {"one\r\ntwo", "e t", true},
        {"one\r\ntwo", "e  t", false}, // CR LF shows as one blank
        {"one\rtwo", "e t", true},
        {"a\n\nb", "a  b", true},
        {"a b", "a\nb", true},
        {"a\r\nb", "a\r\nb", true},
        {"xab", "abc", false},
        {"aaab", "AAB", true},
        {"ID=12, ID=123", "id=123", true},
        {"x😀Y", "😀y", true},
        {"bad \xff byte", "BYTE", true},
        {"bad \xff byte", "bad  byte", false},
        {"", "a", false},
    };
    for (const auto& c : cases) {
        TextNeedle needle(QString::fromUtf8(c.needle));
        EXPECT_EQ(needle.isIn(std::string_view(c.haystack)), c.found)
            << c.haystack << " / " << c.needle;
        // Looked for by the character the text holds least, which may stand anywhere.
        needle.tuneFor(c.haystack);
        EXPECT_EQ(needle.isIn(std::string_view(c.haystack)), c.found)
            << c.haystack << " / " << c.needle << ", tuned";
        // The same on the grid's side, where the cell's text is a QString already.
        if (std::string_view(c.haystack).find('\xff') == std::string_view::npos) {
            EXPECT_EQ(needle.isIn(QStringView(shown(QString::fromUtf8(c.haystack)))), c.found)
                << c.haystack << " / " << c.needle;
        }
    }
    EXPECT_TRUE(TextNeedle(QString()).isEmpty());
    EXPECT_FALSE(TextNeedle(QString()).isIn(std::string_view("abc")));
}

// Texts made of pieces where case folding and line breaks make their traps; every needle taken
// from one of them, changed in letter case, must be found where QString finds it.
TEST(TextNeedle, AgreesWithQStringOnTexts)
{
    const char* const pieces[] = {"a", "A", "k", "K", "\u212A", "s",  "\u017F", "ё",  "Ё",
                                  "е", "Я", "я", "ß", " ",      "\n", "\r\n",   "\r", "-",
                                  "😀", "Σ", "ς", "σ", "İ",      "i",  "I",      "ı"};
    uint64_t state = 7;
    const auto below = [&](uint64_t bound) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return (state >> 33) % bound;
    };
    const auto text = [&](uint64_t longest) {
        std::string t;
        for (uint64_t n = below(longest); n > 0; --n)
            t += pieces[below(std::size(pieces))];
        return t;
    };
    for (int round = 0; round < 5000; ++round) {
        const std::string haystack = text(14);
        QString needle = QString::fromStdString(text(4));
        if (round % 2 == 0 && !haystack.empty()) { // a piece of the text itself, case changed
            const QString whole = QString::fromStdString(haystack);
            const qsizetype from = qsizetype(below(uint64_t(whole.size())));
            needle = whole.mid(from, qsizetype(1 + below(4)));
            needle = round % 4 == 0 ? needle.toUpper() : needle.toLower();
        }
        // Half a pair of surrogates is no character of a text.
        if (needle.isEmpty() || needle.front().isLowSurrogate() || needle.back().isHighSurrogate())
            continue;
        TextNeedle search(needle);
        ASSERT_EQ(search.isIn(std::string_view(haystack)), qtFinds(haystack, needle))
            << haystack << " / " << needle.toStdString();
        search.tuneFor(text(20));
        ASSERT_EQ(search.isIn(std::string_view(haystack)), qtFinds(haystack, needle))
            << haystack << " / " << needle.toStdString() << ", tuned";
    }
}

// Texts stored one after the other in chunks: a match never runs from one cell into the next,
// a cell's NULL shows nothing, numbers and dates are searched as the grid writes them.
TEST(RowSet, MarkedRowsAreThoseWhoseShownTextHoldsTheNeedle)
{
    RowSet::Builder builder;
    const int text = builder.addColumn(QStringLiteral("T"), ColumnType::Text);
    const int number = builder.addColumn(QStringLiteral("N"), ColumnType::Number);
    const int date = builder.addColumn(QStringLiteral("D"), ColumnType::Date);
    const char* const texts[] = {"Изменено поле STATUS",
                                 "ab",
                                 "cd",
                                 "x\r",
                                 "\ny",
                                 nullptr,
                                 "",
                                 "ORDERS",
                                 "orders\n",
                                 "Ёлка",
                                 "a",
                                 "bc",
                                 "end"};
    const int64_t day = civil::toSeconds(2026, 12, 7, 0, 0, 0);
    for (int row = 0; row < 6000; ++row) {
        const char* t = texts[row % std::size(texts)];
        if (t == nullptr)
            builder.addNull(text);
        else
            builder.addText(text, t, std::strlen(t));
        if (row % 7 == 0)
            builder.addNull(number);
        else if (row % 7 == 1)
            builder.addDecimal(number, "-12.5");
        else
            builder.addInteger(number, row % 5 == 0 ? -int64_t(row) : int64_t(row) * 1000003);
        if (row % 11 == 0)
            builder.addNull(date);
        else
            builder.addDate(date, day + int64_t(row) * 4099 * (row % 3 == 0 ? 0 : 1) -
                                      (row % 13 == 0 ? int64_t(1100) * 365 * 86400 : 0));
        builder.endRow();
    }
    const RowSet set = builder.finish();
    ASSERT_GT(set.allocatedBytes(), 16u << 10); // more than the first chunk of texts
    const LocaleText locale(QLocale(QLocale::Russian, QLocale::Russia));

    const struct {
        int col;
        const char* needle;
        bool some; // some rows show it; the others run across two cells only, or nowhere
    } cases[] = {
        {text, "status", true}, {text, "ёлка", true}, {text, "ders ", true},  {text, "x ", true},
        {text, "D", true},      {text, "abc", false}, {text, "bcd", false},   {text, "x y", false},
        {text, "aend", false},  {text, "zzz", false}, {number, "-12", true},  {number, "2.5", true},
        {number, "003", true},  {number, "-1", true}, {number, "00", true},   {date, "07.12", true},
        {date, ".2026", true},  {date, ":", true},    {date, "2026 0", true}, {date, ".092", true},
        {date, "12.2", true},   {date, "00:0", true},
    };
    for (const auto& c : cases) {
        const QString needle = QString::fromUtf8(c.needle);
        std::vector<uint64_t> found;
        set.markMatches(c.col, TextNeedle(needle), locale, found);
        ASSERT_EQ(found.size(), (set.rowCount() + 63) / 64);
        int marked = 0;
        for (uint32_t row = 0; row < set.rowCount(); ++row) {
            const bool expected =
                shown(set.displayText(row, c.col, locale)).contains(needle, Qt::CaseInsensitive);
            const bool got = (found[row / 64] >> (row % 64)) & 1u;
            marked += got;
            ASSERT_EQ(got, expected) << c.needle << " in row " << row << ": "
                                     << set.displayText(row, c.col, locale).toStdString();
        }
        EXPECT_EQ(marked > 0, c.some) << c.needle;
    }
}
