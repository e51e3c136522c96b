// SPDX-License-Identifier: MIT
#include "analysis/averaged_spectrum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "decode/cancellation.h"
#include "tests/analysis/analysis_signals.h"

namespace orvel {
namespace {

std::atomic<bool> noStop{false};

double hann(std::size_t i)
{
    return 0.5 - 0.5 * std::cos(static_cast<double>(i) * 2.0 * std::numbers::pi / 4095.0);
}

// An impulse at sample `at` adds window^2 / frames to every bin of each frame
// that holds it, so the result tells which frames saw which sample.
std::vector<double> impulseSpectrum(std::size_t length, std::size_t at)
{
    std::vector<double> samples(length, 0.0);
    samples[at] = 1.0;
    return averagedPowerSpectrum(samples, noStop);
}

void expectFlat(const std::vector<double>& spectrum, double expected)
{
    ASSERT_EQ(spectrum.size(), 2049u);
    for (std::size_t j = 0; j < spectrum.size(); ++j) {
        ASSERT_NEAR(spectrum[j], expected, 1e-12) << "bin " << j;
    }
}

TEST(AveragedSpectrumTest, FrameCountsFollowTheRegionLength)
{
    EXPECT_EQ(spectrumFrameCount(0), 0u);
    EXPECT_EQ(spectrumFrameCount(4095), 0u);
    EXPECT_EQ(spectrumFrameCount(4096), 1u);
    EXPECT_EQ(spectrumFrameCount(6143), 1u);
    EXPECT_EQ(spectrumFrameCount(6144), 2u);
    EXPECT_EQ(spectrumFrameCount(8191), 2u);
    EXPECT_EQ(spectrumFrameCount(8192), 3u);
    EXPECT_EQ(spectrumFrameCount(198655), 95u);
    EXPECT_EQ(spectrumFrameCount(198656), 96u);
    EXPECT_EQ(spectrumFrameCount(1323000), 96u);
    EXPECT_EQ(spectrumFrameCount(24000000), 96u);
}

TEST(AveragedSpectrumTest, FramesSpreadEvenlyFromFirstToLastSample)
{
    EXPECT_EQ(spectrumFrameStart(4096, 1, 0), 0u);
    EXPECT_EQ(spectrumFrameStart(6144, 2, 1), 2048u);
    EXPECT_EQ(spectrumFrameStart(198656, 96, 95), 198656u - 4096u);
    // 30 s at 44.1 kHz: 96 frames about 13,883 samples apart, the last one ending at the last sample.
    EXPECT_EQ(spectrumFrameStart(1323000, 96, 1), 13883u);
    EXPECT_EQ(spectrumFrameStart(1323000, 96, 95), 1323000u - 4096u);
    // 24 million samples: the product (N - 4096) x k needs 64 bits before the division.
    EXPECT_EQ(spectrumFrameStart(24000000, 96, 95), 24000000u - 4096u);
    EXPECT_EQ(spectrumFrameStart(24000000, 96, 50), (23995904ull * 50) / 95);
}

TEST(AveragedSpectrumTest, ShortChannelGivesZerosAndIgnoresTheStopFlag)
{
    std::atomic<bool> stop{true};
    const std::vector<double> spectrum = averagedPowerSpectrum(test::whiteNoise(4095, 1, 0.5), stop);
    expectFlat(spectrum, 0.0);
}

TEST(AveragedSpectrumTest, SetStopFlagThrowsBeforeAnyFrame)
{
    std::atomic<bool> stop{true};
    EXPECT_THROW((void)averagedPowerSpectrum(test::whiteNoise(4096, 1, 0.5), stop), Cancelled);
}

TEST(AveragedSpectrumTest, OneFrameAt4096SamplesUsesTheSymmetricHannWindow)
{
    // Both ends of a symmetric window are zero; a periodic one (divisor 4096)
    // would leave about 6e-7 at the last sample.
    expectFlat(impulseSpectrum(4096, 0), 0.0);
    const std::vector<double> last = impulseSpectrum(4096, 4095);
    EXPECT_LT(*std::max_element(last.begin(), last.end()), 1e-24);
    expectFlat(impulseSpectrum(4096, 2047), hann(2047) * hann(2047));
}

TEST(AveragedSpectrumTest, TwoFramesAt6144SamplesStartAt0And2048)
{
    // Sample 2047 lies only in the first frame (index 2047); sample 4096 only in the second (index 2048).
    expectFlat(impulseSpectrum(6144, 2047), hann(2047) * hann(2047) / 2.0);
    expectFlat(impulseSpectrum(6144, 4096), hann(2048) * hann(2048) / 2.0);
    // Sample 3000 lies in both frames, at indices 3000 and 952.
    expectFlat(impulseSpectrum(6144, 3000), (hann(3000) * hann(3000) + hann(952) * hann(952)) / 2.0);
}

TEST(AveragedSpectrumTest, NinetySixFramesAt198656SamplesAre2048Apart)
{
    // The last frame starts at 95 x 2048; its index 2048 is sample 196,608, which no other frame holds.
    expectFlat(impulseSpectrum(198656, 95 * 2048 + 2048), hann(2048) * hann(2048) / 96.0);
}

TEST(AveragedSpectrumTest, DcGoesToBinZeroAndASineToItsBin)
{
    const std::vector<double> dc = averagedPowerSpectrum(std::vector<double>(10000, 0.5), noStop);
    EXPECT_EQ(std::max_element(dc.begin(), dc.end()) - dc.begin(), 0);
    EXPECT_LT(dc[3], dc[0] * 1e-8);

    constexpr std::size_t bin = 700;
    std::vector<double> sine(20000);
    for (std::size_t t = 0; t < sine.size(); ++t) {
        sine[t] = std::sin(2.0 * std::numbers::pi * bin * static_cast<double>(t) / 4096.0);
    }
    const std::vector<double> spectrum = averagedPowerSpectrum(sine, noStop);
    EXPECT_EQ(std::max_element(spectrum.begin(), spectrum.end()) - spectrum.begin(), static_cast<std::ptrdiff_t>(bin));
    // Hann main lobe: the neighbours hold a quarter of the peak's amplitude.
    EXPECT_NEAR(spectrum[bin + 1] / spectrum[bin], 0.25, 0.01);
    EXPECT_LT(spectrum[bin + 10], spectrum[bin] * 1e-6);
}

} // namespace
} // namespace orvel
