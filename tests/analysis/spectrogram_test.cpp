// SPDX-License-Identifier: MIT
#include "analysis/spectrogram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include "analysis/analysis_options.h"
#include "decode/cancellation.h"
#include "tests/analysis/analysis_signals.h"

namespace orvel {
namespace {

std::atomic<bool> noStop{false};

std::vector<double> sine(std::size_t length, double hz, double rate, double amplitude)
{
    std::vector<double> samples(length);
    for (std::size_t i = 0; i < length; ++i) {
        samples[i] = amplitude * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate);
    }
    return samples;
}

std::size_t loudestBin(const Spectrogram& s, std::size_t column)
{
    const float* levels = s.levelsDb.data() + column * s.bins;
    return static_cast<std::size_t>(std::max_element(levels, levels + s.bins) - levels);
}

SpectrogramOptions withColumns(std::size_t columns)
{
    SpectrogramOptions options;
    options.columns = columns;
    return options;
}

TEST(SpectrogramTest, SineShowsAtItsBinInEveryColumnForEachFrameLength)
{
    const DecodedAudio audio = test::losslessAudio({sine(441000, 10000.0, 44100.0, 0.5)}, 44100, 24);
    for (const std::size_t frame : {2048u, 4096u, 8192u}) {
        SpectrogramOptions options = withColumns(101);
        options.frameLength = frame;
        const Spectrogram s = computeSpectrogram(audio, options, noStop);
        ASSERT_EQ(s.bins, frame / 2 + 1);
        ASSERT_EQ(s.levelsDb.size(), 101 * s.bins);
        const auto expected = static_cast<std::size_t>(std::lround(10000.0 / s.binHz()));
        for (std::size_t c = 0; c < s.columns; ++c) {
            const std::size_t bin = loudestBin(s, c);
            ASSERT_LE(bin, expected + 1) << "frame " << frame << " column " << c;
            ASSERT_GE(bin, expected - 1) << "frame " << frame << " column " << c;
            // Amplitude 0.5 is -6 dBFS; off a bin centre the Hann window loses up to 1.5 dB.
            EXPECT_NEAR(s.level(c, bin), -6.02, 1.6) << "frame " << frame << " column " << c;
        }
    }
}

TEST(SpectrogramTest, FullScaleSineAtBinCentreReadsZeroDbfsAndSilenceTheFloor)
{
    const double rate = 48000.0;
    const double hz = 100.0 * rate / 4096.0;
    const DecodedAudio audio = test::losslessAudio({sine(96000, hz, rate, 1.0), std::vector<double>(96000, 0.0)}, 48000, 24);
    SpectrogramOptions options = withColumns(20);
    options.channel = 0;
    const Spectrogram tone = computeSpectrogram(audio, options, noStop);
    EXPECT_NEAR(tone.level(7, 100), 0.0, 0.01);
    // Every factor of ten in amplitude is 20 dB, down to the bottom of the range.
    for (const double amplitude : {0.5, 0.1, 0.0123, 1e-3, 3.3e-5, 2e-6}) {
        const DecodedAudio quiet = test::losslessAudio({sine(20000, hz, rate, amplitude)}, 48000, 24);
        const Spectrogram s = computeSpectrogram(quiet, withColumns(3), noStop);
        EXPECT_NEAR(s.level(1, 100), 20.0 * std::log10(amplitude), 0.01) << amplitude;
    }
    options.channel = 1;
    options.rangeDb = 90.0;
    const Spectrogram silence = computeSpectrogram(audio, options, noStop);
    EXPECT_TRUE(std::all_of(silence.levelsDb.begin(), silence.levelsDb.end(), [](float v) { return v == -90.0f; }));
}

TEST(SpectrogramTest, CombinedViewKeepsTheLouderChannelPerBinAndOneChannelOnlyItsOwn)
{
    const DecodedAudio audio =
        test::losslessAudio({sine(88200, 1000.0, 44100.0, 0.5), sine(88200, 5000.0, 44100.0, 0.25)}, 44100, 24);
    const Spectrogram combined = computeSpectrogram(audio, withColumns(9), noStop);
    SpectrogramOptions second = withColumns(9);
    second.channel = 1;
    const Spectrogram right = computeSpectrogram(audio, second, noStop);
    const auto bin1k = static_cast<std::size_t>(std::lround(1000.0 / combined.binHz()));
    const auto bin5k = static_cast<std::size_t>(std::lround(5000.0 / combined.binHz()));
    for (std::size_t c = 0; c < 9; ++c) {
        EXPECT_GT(combined.level(c, bin1k), -9.0f);
        EXPECT_GT(combined.level(c, bin5k), -15.0f);
        EXPECT_LT(right.level(c, bin1k), -100.0f);
        EXPECT_FLOAT_EQ(right.level(c, bin5k), combined.level(c, bin5k));
    }
}

TEST(SpectrogramTest, ColumnsSpanTheAnalysedSecondsEvenly)
{
    // 2 kHz for the first quarter, then 8 kHz: the change shows a quarter of the way across.
    const std::size_t length = 4 * 44100;
    std::vector<double> samples = sine(length, 8000.0, 44100.0, 0.5);
    const std::vector<double> low = sine(length / 4, 2000.0, 44100.0, 0.5);
    std::copy(low.begin(), low.end(), samples.begin());
    const Spectrogram s =
        computeSpectrogram(test::losslessAudio({samples}, 44100, 16), withColumns(400), noStop);
    EXPECT_DOUBLE_EQ(s.seconds, 4.0);
    const auto bin2k = static_cast<std::size_t>(std::lround(2000.0 / s.binHz()));
    const auto bin8k = static_cast<std::size_t>(std::lround(8000.0 / s.binHz()));
    // A 4096-sample frame covers about 9 of the 10 ms columns, half on each side of its centre.
    for (std::size_t c = 0; c < 95; ++c) {
        ASSERT_EQ(loudestBin(s, c), bin2k) << "column " << c;
    }
    for (std::size_t c = 105; c < 400; ++c) {
        ASSERT_EQ(loudestBin(s, c), bin8k) << "column " << c;
    }
}

TEST(SpectrogramTest, ResultDoesNotDependOnThreadsTransformPathOrColumnPairing)
{
    const DecodedAudio audio =
        test::losslessAudio({test::whiteNoise(200000, 7, 0.5), test::whiteNoise(200000, 8, 0.3)}, 44100, 24);
    SpectrogramOptions options = withColumns(333);
    options.analysis = {1, Transforms::Fast};
    const Spectrogram single = computeSpectrogram(audio, options, noStop);
    options.analysis = {2, Transforms::Fast};
    const Spectrogram side = computeSpectrogram(audio, options, noStop);
    options.analysis = {2, Transforms::Reference};
    const Spectrogram reference = computeSpectrogram(audio, options, noStop);
    EXPECT_EQ(single.levelsDb, side.levelsDb);
    EXPECT_EQ(single.levelsDb, reference.levelsDb);

    // One channel packs two columns per transform; an odd count leaves the
    // last one alone. Each column must equal its own column in a longer run
    // at the same frame centres (333 x 3 columns share every third centre).
    SpectrogramOptions one = withColumns(333);
    one.channel = 0;
    const Spectrogram odd = computeSpectrogram(audio, one, noStop);
    one.columns = 999;
    const Spectrogram fine = computeSpectrogram(audio, one, noStop);
    for (const std::size_t c : {0u, 1u, 166u, 331u, 332u}) {
        for (std::size_t b = 0; b < odd.bins; b += 97) {
            ASSERT_NEAR(odd.level(c, b), fine.level(3 * c + 1, b), 1e-3) << "column " << c << " bin " << b;
        }
    }
}

TEST(SpectrogramTest, RegionShorterThanAFrameIsZeroPadded)
{
    const DecodedAudio audio = test::losslessAudio({sine(1000, 3000.0, 44100.0, 0.5)}, 44100, 16);
    const Spectrogram s = computeSpectrogram(audio, withColumns(5), noStop);
    EXPECT_NEAR(s.seconds, 1000.0 / 44100.0, 1e-12);
    const auto bin = static_cast<std::size_t>(std::lround(3000.0 / s.binHz()));
    EXPECT_LE(loudestBin(s, 4) + 1 - bin, 2u);
}

TEST(SpectrogramTest, RefusesOptionsOutOfRangeAndAnswersAStop)
{
    const DecodedAudio audio = test::losslessAudio({test::whiteNoise(10000, 1, 0.5)}, 44100, 16);
    SpectrogramOptions bad;
    bad.frameLength = 1024;
    EXPECT_THROW((void)computeSpectrogram(audio, bad, noStop), std::invalid_argument);
    bad = SpectrogramOptions{};
    bad.columns = 0;
    EXPECT_THROW((void)computeSpectrogram(audio, bad, noStop), std::invalid_argument);
    bad = SpectrogramOptions{};
    bad.rangeDb = 10.0;
    EXPECT_THROW((void)computeSpectrogram(audio, bad, noStop), std::invalid_argument);
    bad = SpectrogramOptions{};
    bad.channel = 1;
    EXPECT_THROW((void)computeSpectrogram(audio, bad, noStop), std::invalid_argument);

    std::atomic<bool> stop{true};
    EXPECT_THROW((void)computeSpectrogram(audio, SpectrogramOptions{}, stop), Cancelled);
}

} // namespace
} // namespace orvel
