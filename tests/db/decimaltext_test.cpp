// Number texts as drivers write them, read into the plain decimal form that snapshots keep.

#include "db/decimaltext.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

using namespace varnel;

TEST(OdbcNumbers, DriverNumberTextsBecomePlainDecimals)
{
    const std::pair<const char*, const char*> cases[] = {
        {" -42 ", "-42"}, {"+7", "7"},     {"12,50", "12.5"},   {"-.5", "-0.5"},
        {"007.", "7"},    {"-0.000", "0"}, {"2.5e-3", "0.0025"}};
    for (const auto& [in, out] : cases)
        EXPECT_EQ(plainDecimal(in).value_or("<none>"), out) << in;
    // Beyond 64 bits, and such a number in a driver's scientific notation.
    EXPECT_EQ(plainDecimal(std::string(30, '9')), std::string(30, '9'));
    EXPECT_EQ(plainDecimal("-1.23456789012346E+22"), "-12345678901234600000000");
    for (const char* bad :
         {"", "-", ".", "1.2.3", "12a", "e5", "1e", "NaN", "1 2", "1e999", "1;drop table t"})
        EXPECT_FALSE(plainDecimal(bad).has_value()) << bad;
}
