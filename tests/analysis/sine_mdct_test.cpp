// SPDX-License-Identifier: MIT
#include "analysis/sine_mdct.h"

#include <gtest/gtest.h>

#include <vector>

#include "analysis/math_self_test.h"
#include "tests/analysis/analysis_signals.h"

namespace orvel {
namespace {

std::vector<double> forward(SineMdct& mdct, const std::vector<double>& samples, std::int32_t start)
{
    std::vector<double> coefficients(1024, 99.0);
    mdct.forward(samples.data(), start, coefficients.data());
    return coefficients;
}

TEST(SineMdctTest, MatchesTheDirectSumAtEveryBin)
{
    SineMdct mdct;
    const std::vector<double> signal = mathSelfTestSignal();
    const std::vector<double> fast = forward(mdct, signal, 0);
    const std::vector<double> direct = test::directMdct(signal, 0);
    for (std::size_t k = 0; k < 1024; ++k) {
        ASSERT_NEAR(fast[k], direct[k], 1e-10) << "bin " << k;
    }
}

TEST(SineMdctTest, ReadsFromTheGivenStart)
{
    SineMdct mdct;
    const std::vector<double> samples = test::whiteNoise(5000, 31, 0.8);
    const std::vector<double> fast = forward(mdct, samples, 1234);
    const std::vector<double> direct = test::directMdct(samples, 1234);
    for (std::size_t k = 0; k < 1024; ++k) {
        ASSERT_NEAR(fast[k], direct[k], 1e-10) << "bin " << k;
    }
}

TEST(SineMdctTest, ZeroBlockGivesZeros)
{
    SineMdct mdct;
    const std::vector<double> coefficients = forward(mdct, std::vector<double>(2048, 0.0), 0);
    for (const double c : coefficients) {
        ASSERT_EQ(c, 0.0);
    }
}

TEST(SineMdctTest, IsLinear)
{
    SineMdct mdct;
    const std::vector<double> a = test::whiteNoise(2048, 32, 0.5);
    const std::vector<double> b = test::whiteNoise(2048, 33, 0.5);
    std::vector<double> sum(2048);
    std::vector<double> scaled(2048);
    for (std::size_t n = 0; n < 2048; ++n) {
        sum[n] = a[n] + b[n];
        scaled[n] = -3.0 * a[n];
    }
    const std::vector<double> ca = forward(mdct, a, 0);
    const std::vector<double> cb = forward(mdct, b, 0);
    const std::vector<double> cSum = forward(mdct, sum, 0);
    const std::vector<double> cScaled = forward(mdct, scaled, 0);
    for (std::size_t k = 0; k < 1024; ++k) {
        ASSERT_NEAR(cSum[k], ca[k] + cb[k], 1e-12);
        ASSERT_NEAR(cScaled[k], -3.0 * ca[k], 1e-12);
    }
}

TEST(SineMdctTest, EarlierCallsLeaveNoTrace)
{
    const std::vector<double> a = test::whiteNoise(2048, 34, 0.5);
    const std::vector<double> b = test::whiteNoise(2048, 35, 0.5);
    SineMdct used;
    (void)forward(used, a, 0);
    SineMdct fresh;
    EXPECT_EQ(forward(used, b, 0), forward(fresh, b, 0));
}

TEST(SineMdctTest, RecoversTheCoefficientsOfASineGridSynthesis)
{
    // Audio built by the inverse transform on grid 300 transforms back to
    // sparse coefficients there, and to dense ones off the grid.
    const std::vector<double> audio = test::sineGridSynthesis(16384, 300, 0.5, 1024, 0.1, 36);
    SineMdct mdct;
    auto exactZeros = [&](std::int32_t start) {
        const std::vector<double> c = forward(mdct, audio, start);
        return std::count_if(c.begin(), c.end(), [](double x) { return std::abs(x) < 1e-12; });
    };
    EXPECT_GT(exactZeros(300 + 4 * 1024), 400);
    EXPECT_EQ(exactZeros(301 + 4 * 1024), 0);
    EXPECT_EQ(exactZeros(300 + 512 + 4 * 1024), 0);
}

} // namespace
} // namespace orvel
