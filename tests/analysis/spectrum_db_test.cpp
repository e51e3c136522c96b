// SPDX-License-Identifier: MIT
#include "analysis/spectrum_db.h"

#include <gtest/gtest.h>

#include <cmath>

namespace orvel {
namespace {

TEST(SpectrumDbTest, LevelsAreRelativeToThePeakAndFloorAtMinus120)
{
    std::vector<double> power(2049, 1e-15);
    power[10] = 4.0;
    power[11] = 4.0 * 1e-12; // exactly 120 dB down
    power[12] = 0.4;         // 10 dB down
    power[13] = 4.0 * 1e-4;  // exactly 40 dB down: not strong
    power[14] = 4.0 * 1.01e-4;
    const SpectrumLevels levels = spectrumLevels(power);
    ASSERT_EQ(levels.spectrumDb.size(), 2049u);
    EXPECT_EQ(levels.spectrumDb[10], 0.0);
    EXPECT_EQ(levels.spectrumDb[11], -120.0);
    EXPECT_NEAR(levels.spectrumDb[12], -10.0, 1e-12);
    EXPECT_EQ(levels.spectrumDb[0], -120.0);
    EXPECT_EQ(levels.strongBinCount, 3);
}

TEST(SpectrumDbTest, SilenceGivesZeroDecibelsAndNoStrongBins)
{
    const SpectrumLevels levels = spectrumLevels(std::vector<double>(2049, 0.0));
    ASSERT_EQ(levels.spectrumDb.size(), 2049u);
    for (const double value : levels.spectrumDb) {
        ASSERT_EQ(value, 0.0);
    }
    EXPECT_EQ(levels.strongBinCount, 0);
    // A peak at or below 1e-20 counts no strong bins either.
    EXPECT_EQ(spectrumLevels(std::vector<double>(2049, 1e-20)).strongBinCount, 0);
}

TEST(SpectrumDbTest, LouderBinOfTwoChannelsIsKept)
{
    std::vector<double> first{1.0, 5.0, 3.0};
    keepLouderBins(first, std::vector<double>{2.0, 4.0, 3.0});
    EXPECT_EQ(first, (std::vector<double>{2.0, 5.0, 3.0}));
}

} // namespace
} // namespace orvel
