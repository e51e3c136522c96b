// SPDX-License-Identifier: MIT
// The fast transforms against their straightforward reference forms, bit for
// bit (memcmp of the doubles), on every instruction set this machine runs:
// random blocks of several kinds and real blocks of encoded test audio.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/analysis_options.h"
#include "analysis/averaged_spectrum.h"
#include "analysis/fft.h"
#include "analysis/simd_level.h"
#include "analysis/sine_mdct.h"
#include "decode/decode_audio.h"
#include "tests/support/files.h"
#include "text/utf8.h"

namespace orvel {
namespace {

using Buffer = std::vector<std::complex<double>>;

const std::atomic<bool> noStop{false};

std::vector<SimdLevel> levels()
{
    std::vector<SimdLevel> result;
    for (const SimdLevel level : {SimdLevel::Portable, SimdLevel::Sse2, SimdLevel::Avx2, SimdLevel::Avx512}) {
        if (simdLevelSupported(level)) {
            result.push_back(level);
        }
    }
    return result;
}

// Empty when equal bit for bit, else where and how the first value differs.
::testing::AssertionResult sameBits(const double* actual, const double* expected, std::size_t count)
{
    if (std::memcmp(actual, expected, count * sizeof(double)) == 0) {
        return ::testing::AssertionSuccess();
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (std::memcmp(actual + i, expected + i, sizeof(double)) != 0) {
            std::ostringstream text;
            text << std::hexfloat << "double " << i << " of " << count << ": " << actual[i] << " instead of "
                 << expected[i];
            return ::testing::AssertionFailure() << text.str();
        }
    }
    return ::testing::AssertionFailure();
}

::testing::AssertionResult sameBits(const Buffer& actual, const Buffer& expected)
{
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure() << "sizes differ";
    }
    return sameBits(reinterpret_cast<const double*>(actual.data()), reinterpret_cast<const double*>(expected.data()),
                    2 * actual.size());
}

// The kinds of block the bit comparison runs on.
enum class Kind { Uniform, Denormal, ZerosWithSigns, Large, MixedScales, IntegerGrid };

double draw(Kind kind, std::mt19937_64& engine)
{
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    switch (kind) {
    case Kind::Uniform:
        return unit(engine);
    case Kind::Denormal:
        // Subnormal values (below 2^-1022) and their sums and products.
        return unit(engine) * 0x1p-1040;
    case Kind::ZerosWithSigns:
        return (engine() & 1) != 0 ? -0.0 : 0.0;
    case Kind::Large:
        // Large enough to use most of the exponent range, small enough that
        // no sum of 4096 of them overflows.
        return unit(engine) * 1e290;
    case Kind::MixedScales: {
        const int exponent = static_cast<int>(engine() % 120) - 60;
        return std::ldexp(unit(engine), exponent * 8);
    }
    case Kind::IntegerGrid:
        return std::round(unit(engine) * 32767.0) / 32768.0;
    }
    return 0.0;
}

std::vector<double> block(Kind kind, std::size_t length, std::uint64_t seed)
{
    std::mt19937_64 engine(seed);
    std::vector<double> values(length);
    for (double& v : values) {
        v = draw(kind, engine);
    }
    return values;
}

Buffer complexBlock(Kind kind, std::size_t n, std::uint64_t seed)
{
    const std::vector<double> values = block(kind, 2 * n, seed);
    Buffer data(n);
    for (std::size_t i = 0; i < n; ++i) {
        data[i] = {values[2 * i], values[2 * i + 1]};
    }
    return data;
}

const Kind kKinds[] = {Kind::Uniform,    Kind::Denormal,   Kind::ZerosWithSigns,
                       Kind::Large,      Kind::MixedScales, Kind::IntegerGrid};

// Samples of real encoded files: an AAC transcode (decoded by ffmpeg, stored
// as FLAC), 24-bit high-resolution noise and a pure tone.
const std::vector<std::vector<double>>& realChannels()
{
    static const std::vector<std::vector<double>> channels = [] {
        std::vector<std::vector<double>> result;
        for (const char* name : {"aac-sine-window-transcode-44100Hz-2ch-10s.flac", "genuine-24bit-96000Hz-2ch-5s.flac",
                                 "tone-1000Hz-44100Hz-1ch-5s.flac"}) {
            DecodedAudio audio = decodeAudio(
                orvel::testing::testAudio("analysis", name), noStop);
            for (const ChannelSamples& channel : audio.channels) {
                result.emplace_back(channel.begin(), channel.end());
            }
        }
        return result;
    }();
    return channels;
}

void expectFftMatchesReference(const Buffer& input, const std::string& what)
{
    for (const bool inverse : {false, true}) {
        Buffer expected = input;
        fftReference(expected, inverse);
        for (const SimdLevel level : levels()) {
            Buffer actual = input;
            fftWith(level, actual.data(), actual.size(), inverse);
            EXPECT_TRUE(sameBits(actual, expected))
                << what << ", n " << input.size() << ", " << simdLevelName(level) << (inverse ? ", inverse" : ", forward");
        }
        Buffer viaFft = input;
        fft(viaFft, inverse);
        EXPECT_TRUE(sameBits(viaFft, expected)) << what << ", fft() at n " << input.size();
    }
}

TEST(FastTransformTest, FftEqualsTheReferenceOnRandomBlocksAt2048And4096)
{
    for (const std::size_t n : {2048u, 4096u}) {
        for (const Kind kind : kKinds) {
            for (std::uint64_t seed = 1; seed <= 3; ++seed) {
                expectFftMatchesReference(complexBlock(kind, n, seed * 977 + static_cast<std::uint64_t>(kind)),
                                          "kind " + std::to_string(static_cast<int>(kind)) + " seed " +
                                              std::to_string(seed));
            }
        }
        expectFftMatchesReference(Buffer(n), "all +0");
    }
}

TEST(FastTransformTest, FftEqualsTheReferenceAtEverySizeOfAPlan)
{
    // The smallest sizes take the special first butterfly length alone, the
    // largest uses the biggest table; beyond it fft falls back to the reference.
    for (std::size_t n = 1; n <= 2 * 65536; n *= 2) {
        expectFftMatchesReference(complexBlock(Kind::Uniform, n, n), "uniform");
    }
}

TEST(FastTransformTest, LengthsThatAreNoPowerOfTwoStayInsideTheirBuffer)
{
    // Guard values on both sides: neither path may take a meaningless length
    // as leave to write past its end, and both leave the same bits.
    for (const std::size_t n : {3u, 5u, 6u, 7u, 12u, 100u, 3000u}) {
        const Buffer input = complexBlock(Kind::Uniform, n, n + 1);
        for (const bool inverse : {false, true}) {
            Buffer expected;
            for (const bool reference : {true, false}) {
                Buffer guarded(n + 64, {1234.5, -678.25});
                std::copy(input.begin(), input.end(), guarded.begin() + 32);
                if (reference) {
                    fftReference(guarded.data() + 32, n, inverse);
                } else {
                    fft(guarded.data() + 32, n, inverse);
                }
                for (std::size_t i = 0; i < 32; ++i) {
                    ASSERT_EQ(guarded[i], std::complex<double>(1234.5, -678.25)) << n << " values, before " << i;
                    ASSERT_EQ(guarded[n + 32 + i], std::complex<double>(1234.5, -678.25)) << n << " values, after " << i;
                }
                const Buffer result(guarded.begin() + 32, guarded.begin() + 32 + static_cast<std::ptrdiff_t>(n));
                if (reference) {
                    expected = result;
                    if (!inverse) {
                        EXPECT_TRUE(sameBits(result, input)) << n << " values";
                    }
                } else {
                    EXPECT_TRUE(sameBits(result, expected)) << n << " values" << (inverse ? ", inverse" : "");
                }
            }
        }
    }
}

TEST(FastTransformTest, FftEqualsTheReferenceOnRealAudio)
{
    for (const std::vector<double>& channel : realChannels()) {
        for (const std::size_t n : {2048u, 4096u}) {
            for (std::size_t start = 0; start + 2 * n <= channel.size(); start += channel.size() / 7) {
                // Real samples as the spectrum feeds them (imaginary 0), and two blocks in one.
                Buffer real(n);
                Buffer paired(n);
                for (std::size_t i = 0; i < n; ++i) {
                    real[i] = {channel[start + i], 0.0};
                    paired[i] = {channel[start + i], channel[start + n + i]};
                }
                expectFftMatchesReference(real, "real samples at " + std::to_string(start));
                expectFftMatchesReference(paired, "paired samples at " + std::to_string(start));
            }
        }
    }
}

void expectMdctMatchesReference(const std::vector<double>& samples, std::int32_t start, const std::string& what)
{
    SineMdct reference;
    std::vector<double> expected(1024);
    reference.forwardReference(samples.data(), start, expected.data());
    for (const SimdLevel level : levels()) {
        SineMdct fast;
        std::vector<double> actual(1024, std::numeric_limits<double>::quiet_NaN());
        fast.forward(samples.data(), start, actual.data(), level);
        EXPECT_TRUE(sameBits(actual.data(), expected.data(), 1024))
            << what << ", start " << start << ", " << simdLevelName(level);
    }
    SineMdct viaForward;
    std::vector<double> actual(1024);
    viaForward.forward(samples.data(), start, actual.data());
    EXPECT_TRUE(sameBits(actual.data(), expected.data(), 1024)) << what << ", forward()";
}

TEST(FastTransformTest, SineMdctEqualsTheReferenceOnRandomBlocks)
{
    for (const Kind kind : kKinds) {
        for (std::uint64_t seed = 1; seed <= 4; ++seed) {
            const std::vector<double> samples = block(kind, 2048 + 37, seed * 131 + static_cast<std::uint64_t>(kind));
            expectMdctMatchesReference(samples, 0, "kind " + std::to_string(static_cast<int>(kind)));
            expectMdctMatchesReference(samples, 37, "kind " + std::to_string(static_cast<int>(kind)));
        }
    }
    expectMdctMatchesReference(std::vector<double>(2048, 0.0), 0, "all +0");
    expectMdctMatchesReference(std::vector<double>(2048, -0.0), 0, "all -0");
    std::vector<double> impulse(2048, 0.0);
    impulse[1000] = 1.0;
    expectMdctMatchesReference(impulse, 0, "impulse");
}

TEST(FastTransformTest, SineMdctEqualsTheReferenceOnRealAudio)
{
    for (const std::vector<double>& channel : realChannels()) {
        // Odd steps visit every grid phase class, as the alignment search does.
        for (std::size_t start = 0; start + 2048 <= channel.size(); start += 9973) {
            expectMdctMatchesReference(channel, static_cast<std::int32_t>(start), "real audio");
        }
    }
}

TEST(FastTransformTest, OneSineMdctGivesTheSameBitsWhateverItTransformedBefore)
{
    // The fast path keeps intermediate values in the work area; none may leak
    // into the next block, on any instruction set, mixed with the reference.
    const std::vector<double> a = block(Kind::Large, 2048, 5);
    const std::vector<double> b = block(Kind::Uniform, 2048, 6);
    SineMdct fresh;
    std::vector<double> expected(1024);
    fresh.forwardReference(b.data(), 0, expected.data());
    SineMdct used;
    std::vector<double> scratch(1024);
    std::vector<double> actual(1024);
    for (const SimdLevel level : levels()) {
        used.forward(a.data(), 0, scratch.data(), level);
        used.forwardReference(a.data(), 0, scratch.data());
        used.forward(b.data(), 0, actual.data(), level);
        EXPECT_TRUE(sameBits(actual.data(), expected.data(), 1024)) << simdLevelName(level);
    }
}

TEST(FastTransformTest, SpectrumEqualsTheReferenceEstimateOnRealAudio)
{
    for (const std::vector<double>& channel : realChannels()) {
        const std::vector<double> expected = averagedPowerSpectrum(channel, noStop, Transforms::Reference);
        const std::vector<double> actual = averagedPowerSpectrum(channel, noStop, Transforms::Fast);
        ASSERT_EQ(actual.size(), expected.size());
        EXPECT_TRUE(sameBits(actual.data(), expected.data(), actual.size()));
    }
    // The fast and the reference estimate share the frame rules: short, one, two frames.
    for (const std::size_t length : {4095u, 4096u, 6144u, 50000u}) {
        const std::vector<double> samples = block(Kind::IntegerGrid, length, length);
        const std::vector<double> expected = averagedPowerSpectrum(samples, noStop, Transforms::Reference);
        const std::vector<double> actual = averagedPowerSpectrum(samples, noStop, Transforms::Fast);
        EXPECT_TRUE(sameBits(actual.data(), expected.data(), expected.size())) << length << " samples";
    }
}

} // namespace
} // namespace orvel
