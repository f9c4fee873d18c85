// Number texts under the user's own C library locale. QCoreApplication calls
// setlocale(LC_ALL, "") on Unix, so a Russian LANG gives the C library a decimal comma; the
// rest of the suite runs under LANG=C and never meets it.

#include "common/testsupport.h"
#include "db/rowset.h"

#include <QCollator>

#include <gtest/gtest.h>

#include <clocale>
#include <numeric>
#include <string>
#include <vector>

using namespace varnel;
using namespace varnel::test;

namespace {

// The C library's locale as a Russian user's program has it, restored at the end of the scope.
class RussianCLocale {
public:
    RussianCLocale() : m_saved(std::setlocale(LC_ALL, nullptr))
    {
#ifdef Q_OS_WIN
        m_active = std::setlocale(LC_ALL, "ru-RU") != nullptr;
#else
        qunsetenv("LC_ALL");
        qunsetenv("LC_NUMERIC");
        qputenv("LANG", "ru_RU.UTF-8");
        m_active = std::setlocale(LC_ALL, "") != nullptr;
#endif
        m_active = m_active && std::string(std::localeconv()->decimal_point) == ",";
    }
    ~RussianCLocale()
    {
        std::setlocale(LC_ALL, m_saved.c_str());
    }
    bool active() const
    {
        return m_active;
    }

private:
    EnvRestorer m_lcAll{"LC_ALL"}, m_lcNumeric{"LC_NUMERIC"}, m_lang{"LANG"};
    std::string m_saved;
    bool m_active = false;
};

} // namespace

// A NUMBER column with fractions sorts by value whatever the decimal separator of the user's
// locale: "9.5" read with a decimal comma is 9, and sorted 9.5, 9, 10.
TEST(NumberLocale, DecimalNumbersSortByValueUnderARussianLocale)
{
    const RussianCLocale russian;
    if (!russian.active())
        GTEST_SKIP() << "no Russian locale with a decimal comma (ru_RU.UTF-8: scripts/install-deps "
                        "generates it)";
    // The values in the order of the rows; the rows in ascending order of value.
    const struct {
        std::vector<const char*> values;
        std::vector<uint32_t> order;
    } cases[] = {
        {{"10", "9.5", "9"}, {2, 1, 0}},
        {{"9.5", "9.25", "9.125", "9"}, {3, 2, 1, 0}},
        {{"-0.5", "-1", "0.001", "-0.75"}, {1, 3, 0, 2}},
        {{"12345678901234.75", "12345678901234.5", "1E+21", "1.5"}, {3, 1, 0, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.values.front());
        RowSet::Builder builder;
        const int col = builder.addColumn(QStringLiteral("N"), ColumnType::Number);
        for (const char* value : c.values) {
            if (std::string(value).find_first_of(".E") == std::string::npos)
                builder.addInteger(col, std::stoll(value));
            else
                builder.addDecimal(col, value);
            builder.endRow();
        }
        const RowSet set = builder.finish();
        std::vector<uint32_t> rows(set.rowCount());
        std::iota(rows.begin(), rows.end(), 0u);
        set.sortRows(rows, col, QCollator(QLocale(QLocale::Russian, QLocale::Russia)));
        EXPECT_EQ(rows, c.order);
    }
}
