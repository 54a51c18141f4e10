#include "core/Numbers.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

using toppeek::core::leadingDigitsValue;
using toppeek::core::saturatedNumber;

namespace {

TEST(LeadingDigitsValue, TakesOnlyTheDigitsAtTheStartAndStopsAtTheLargestNumber) {
    EXPECT_EQ(leadingDigitsValue("0042x7"), 42);
    EXPECT_EQ(leadingDigitsValue(""), 0);
    // No sign and no white space: a version field such as "-3" or " 3" counts as 0.
    EXPECT_EQ(leadingDigitsValue("-3"), 0);
    EXPECT_EQ(leadingDigitsValue("+3"), 0);
    EXPECT_EQ(leadingDigitsValue(" 3"), 0);
    EXPECT_EQ(leadingDigitsValue("9223372036854775807"), LONG_MAX);
    EXPECT_EQ(leadingDigitsValue("9223372036854775808"), LONG_MAX);
    EXPECT_EQ(leadingDigitsValue(std::string(400, '9')), LONG_MAX);
}

TEST(SaturatedNumber, ReadsLikeAtolWithoutOverflowing) {
    EXPECT_EQ(saturatedNumber(" \t\r\n\v\f+17 octets"), 17);
    EXPECT_EQ(saturatedNumber("-17"), -17);
    EXPECT_EQ(saturatedNumber("- 17"), 0);
    EXPECT_EQ(saturatedNumber("+"), 0);
    EXPECT_EQ(saturatedNumber("x17"), 0);
    // The view ends the text, whatever follows it in memory.
    EXPECT_EQ(saturatedNumber(std::string_view("123", 2)), 12);

    EXPECT_EQ(saturatedNumber("9223372036854775807"), LONG_MAX);
    EXPECT_EQ(saturatedNumber("-9223372036854775807"), -LONG_MAX);
    EXPECT_EQ(saturatedNumber("99999999999999999999999"), LONG_MAX);
    EXPECT_EQ(saturatedNumber("-99999999999999999999999"), LONG_MIN);
}

} // namespace
