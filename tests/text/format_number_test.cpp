// SPDX-License-Identifier: MIT
#include "text/format_number.h"

#include <gtest/gtest.h>

#include "tests/support/locale_guard.h"

namespace orvel {
namespace {

void expectFixedNotation()
{
    EXPECT_EQ(formatNumber(44.1, 1), "44.1");
    EXPECT_EQ(formatNumber(24.0, 0), "24");
    EXPECT_EQ(formatNumber(44100.0 / 1000.0, 3), "44.100");
    EXPECT_EQ(formatNumber(183.456, 2), "183.46");
    EXPECT_EQ(formatNumber(30.0, 2), "30.00");
    EXPECT_EQ(formatNumber(-0.001, 2), "-0.00");
    EXPECT_EQ(formatNumber(-2.5, 1), "-2.5");
    EXPECT_EQ(formatNumber(1234567.891, 2), "1234567.89");
    EXPECT_EQ(formatNumber(1e20, 0), "100000000000000000000");
    EXPECT_EQ(formatNumber(0.5, 0).find('+'), std::string::npos);
}

TEST(FormatNumberTest, WritesFixedPointWithTheGivenDecimals) { expectFixedNotation(); }

TEST(FormatNumberTest, IgnoresACommaDecimalLocaleWithGrouping)
{
    testing::LocaleGuard german("de_DE.UTF-8");
    if (!german.ok()) {
        GTEST_SKIP() << "locale de_DE.UTF-8 is not installed (package locales-all)";
    }
    expectFixedNotation();
}

} // namespace
} // namespace orvel
