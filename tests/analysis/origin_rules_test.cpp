// SPDX-License-Identifier: MIT
// The ORIGIN check's verdict rules and its spectral traces on signals whose
// answer is known: band-limited noise with a hard edge, and noise that ends
// at a lower rate's Nyquist.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "analysis/aac_kbd_grid.h"
#include "analysis/fft.h"
#include "analysis/lower_rate.h"
#include "analysis/lowpass_edge.h"
#include "analysis/mp3_grid.h"

namespace orvel {
namespace {

const std::atomic<bool> noStop{false};

EdgeMeasurement edgeAt(double khz, double steep, double above, std::int32_t active = 200, double nyquist = 22050.0)
{
    EdgeMeasurement m;
    m.found = true;
    m.edgeHz = khz * 1000.0;
    m.steepness = steep;
    m.aboveShare = above;
    m.activeFrames = active;
    m.nyquistHz = nyquist;
    return m;
}

TEST(OriginRules, LowpassEdgeVerdicts)
{
    EXPECT_EQ(judgeEdge(edgeAt(16.7, 80.0, 0.0), 10.0), EdgeVerdict::Likely);
    // Hard needs both steepness and few frames above; soft is enough for "possible".
    EXPECT_EQ(judgeEdge(edgeAt(16.7, 25.0, 0.08), 10.0), EdgeVerdict::Possible);
    EXPECT_EQ(judgeEdge(edgeAt(16.7, 80.0, 0.2), 10.0), EdgeVerdict::NoEvidence);
    // Just below 16 kHz (a 32 kHz source's Nyquist) resampling explains the edge.
    EXPECT_EQ(judgeEdge(edgeAt(15.6, 80.0, 0.0), 10.0), EdgeVerdict::Possible);
    EXPECT_EQ(judgeEdge(edgeAt(11.0, 80.0, 0.0), 10.0), EdgeVerdict::Possible);
    EXPECT_EQ(judgeEdge(edgeAt(11.0, 25.0, 0.0), 10.0), EdgeVerdict::Inconclusive);
    // From 19.5 kHz only a hard edge counts, and none at 0.93 x Nyquist or 21 kHz.
    EXPECT_EQ(judgeEdge(edgeAt(20.3, 50.0, 0.0), 10.0), EdgeVerdict::Possible);
    EXPECT_EQ(judgeEdge(edgeAt(20.3, 25.0, 0.0), 10.0), EdgeVerdict::NoEvidence);
    EXPECT_EQ(judgeEdge(edgeAt(20.6, 90.0, 0.0), 10.0), EdgeVerdict::NoEvidence);
    EXPECT_EQ(judgeEdge(edgeAt(21.0, 90.0, 0.0, 200, 48000.0), 10.0), EdgeVerdict::NoEvidence);
    EXPECT_EQ(judgeEdge(edgeAt(20.9, 90.0, 0.0, 200, 48000.0), 10.0), EdgeVerdict::Possible);
    // Too short, too few active frames, no edge.
    EXPECT_EQ(judgeEdge(edgeAt(16.7, 80.0, 0.0), 2.9), EdgeVerdict::Inconclusive);
    EXPECT_EQ(judgeEdge(edgeAt(16.7, 80.0, 0.0, 19), 10.0), EdgeVerdict::Inconclusive);
    EXPECT_EQ(judgeEdge(EdgeMeasurement{}, 10.0), EdgeVerdict::NoEvidence);
}

TEST(OriginRules, ResemblanceTableAndGridBounds)
{
    // A range of bitrates across codecs, never one codec.
    EXPECT_EQ(lowpassResemblance(16700.0), "like a lossy encoder at about 96\u2013160 kb/s");
    EXPECT_EQ(lowpassResemblance(15940.0), "like a lossy encoder at about 96\u2013160 kb/s");
    EXPECT_EQ(lowpassResemblance(17400.0), "like a lossy encoder at about 96\u2013160 kb/s");
    EXPECT_EQ(lowpassResemblance(18200.0), "like a lossy encoder at about 128\u2013256 kb/s");
    EXPECT_EQ(lowpassResemblance(18800.0), "like a lossy encoder at about 128\u2013256 kb/s");
    EXPECT_EQ(lowpassResemblance(20400.0), "like a lossy encoder at 192\u2013320 kb/s, or a mastering lowpass");
    EXPECT_EQ(lowpassResemblance(14000.0), "");
    EXPECT_EQ(lowpassResemblance(20600.0), "");

    Mp3GridMeasurement m;
    m.verified = 0.08;
    m.baseline = 0.04;
    m.samePhase = 0.04;
    m.spread = 0.003;
    EXPECT_TRUE(mp3GridFound(m)); // excess 0.04, z 13.3
    // As high on the same polyphase phase: a polyphase trace, not Layer III granules.
    m.samePhase = 0.07;
    EXPECT_FALSE(mp3GridFound(m));
    m.samePhase = 0.06;
    EXPECT_TRUE(mp3GridFound(m));
    m.spread = 0.0045;
    EXPECT_FALSE(mp3GridFound(m)); // z 8.9
    m.verified = 0.069;
    m.spread = 0.0;
    EXPECT_FALSE(mp3GridFound(m)); // excess 0.029 even with the 0.001 spread floor

    AacKbdMeasurement a;
    a.measured = true;
    a.verified = 0.2;
    a.baseline = 0.11;
    EXPECT_TRUE(aacKbdFound(a));
    a.baseline = 0.13;
    EXPECT_FALSE(aacKbdFound(a));
    a.verified = 0.085;
    a.baseline = 0.0;
    EXPECT_TRUE(aacKbdFound(a));
    a.measured = false;
    EXPECT_FALSE(aacKbdFound(a));
}

// White noise through an ideal lowpass at cutoffHz (frequency-domain, whole
// signal), plus white noise `floorLevel` below it (0 for none), rounded to 16 bits.
std::vector<double> bandLimitedNoise(std::int32_t rate, double seconds, double cutoffHz, double floorLevel,
                                     std::uint64_t seed)
{
    std::size_t n = 1;
    while (n < static_cast<std::size_t>(seconds * rate)) {
        n *= 2;
    }
    std::mt19937_64 engine(seed);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<std::complex<double>> x(n);
    for (auto& v : x) {
        v = {normal(engine), 0.0};
    }
    fft(x.data(), n, false);
    const auto cut = static_cast<std::size_t>(cutoffHz / rate * static_cast<double>(n));
    for (std::size_t k = cut; k <= n - cut; ++k) {
        x[k] = 0.0;
    }
    fft(x.data(), n, true);
    std::vector<double> out(static_cast<std::size_t>(seconds * rate));
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double v = 0.1 * x[i].real() + floorLevel * normal(engine);
        out[i] = std::nearbyint(v * 32768.0) / 32768.0;
    }
    return out;
}

TEST(OriginRules, HardLowpassOnNoiseIsFoundAtItsFrequency)
{
    const std::vector<double> left = bandLimitedNoise(44100, 6.0, 16000.0, 0.0, 1);
    const std::vector<double> right = bandLimitedNoise(44100, 6.0, 16000.0, 0.0, 2);
    const LongTermSpectrum lts = longTermSpectrum(left, right, 44100, noStop);
    const EdgeMeasurement m = lossyLowpassEdge(lts, 44100, std::ldexp(1.0, -15));
    ASSERT_TRUE(m.found);
    // The boxcar and the window skirt put the 10 dB point a little above the cutoff.
    EXPECT_NEAR(m.edgeHz, 16050.0, 150.0);
    EXPECT_GT(m.steepness, 30.0);
    EXPECT_LE(m.aboveShare, 0.05);
    // Only 16-bit rounding above the edge: near 0 dB over the word's rounding noise.
    EXPECT_NEAR(m.floorOverNoise, 0.0, 1.5);
    EXPECT_EQ(judgeEdge(m, 6.0), EdgeVerdict::Likely);
    // Frames without overlap: half the 20 of frames overlapping by half.
    EXPECT_EQ(lts.frames, 64);
    EXPECT_EQ(m.requiredActiveFrames, 10);

    // Full-band noise has no edge.
    const std::vector<double> full = bandLimitedNoise(44100, 6.0, 22050.0, 0.0, 3);
    EXPECT_FALSE(lossyLowpassEdge(longTermSpectrum(full, full, 44100, noStop), 44100, std::ldexp(1.0, -15)).found);
}

TEST(OriginRules, NoiseEndingAtALowerNyquistNamesTheSourceRate)
{
    // 96 kHz noise that ends at 21.5 kHz over a floor 60 dB down: from 44.1 kHz.
    const std::vector<double> left = bandLimitedNoise(96000, 4.0, 21500.0, 1e-4, 4);
    const std::vector<double> right = bandLimitedNoise(96000, 4.0, 21500.0, 1e-4, 5);
    const LongTermSpectrum lts = longTermSpectrum(left, right, 96000, noStop);
    const LowerRateMeasurement m = measureLowerRate(lts, 96000);
    EXPECT_TRUE(m.found);
    EXPECT_EQ(m.sourceRate, 44100);
    EXPECT_NEAR(m.edgeHz, 21500.0, 200.0);
    EXPECT_GT(m.dropDb, 30.0);

    // Ending at 23.5 kHz: 48 kHz.
    const std::vector<double> l48 = bandLimitedNoise(96000, 4.0, 23500.0, 1e-4, 6);
    const LowerRateMeasurement m48 = measureLowerRate(longTermSpectrum(l48, l48, 96000, noStop), 96000);
    EXPECT_TRUE(m48.found);
    EXPECT_EQ(m48.sourceRate, 48000);

    // Ending at 30 kHz, no standard Nyquist: nothing.
    const std::vector<double> l30 = bandLimitedNoise(96000, 4.0, 30000.0, 1e-4, 7);
    EXPECT_FALSE(measureLowerRate(longTermSpectrum(l30, l30, 96000, noStop), 96000).found);
}

} // namespace
} // namespace orvel
