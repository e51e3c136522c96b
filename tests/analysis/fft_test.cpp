// SPDX-License-Identifier: MIT
#include "analysis/fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "tests/analysis/analysis_signals.h"

namespace orvel {
namespace {

using Buffer = std::vector<std::complex<double>>;

Buffer randomBuffer(std::size_t n, std::uint64_t seed)
{
    const std::vector<double> re = test::whiteNoise(n, seed, 1.0);
    const std::vector<double> im = test::whiteNoise(n, seed + 1, 1.0);
    Buffer data(n);
    for (std::size_t i = 0; i < n; ++i) {
        data[i] = {re[i], im[i]};
    }
    return data;
}

// The textbook DFT, the independent reference for sign, order and scaling.
Buffer naiveDft(const Buffer& x, bool inverse)
{
    const std::size_t n = x.size();
    const double sign = inverse ? 1.0 : -1.0;
    Buffer out(n);
    for (std::size_t k = 0; k < n; ++k) {
        std::complex<double> sum = 0.0;
        for (std::size_t t = 0; t < n; ++t) {
            const double angle = sign * 2.0 * std::numbers::pi * static_cast<double>((k * t) % n) / static_cast<double>(n);
            sum += x[t] * std::polar(1.0, angle);
        }
        out[k] = inverse ? sum / static_cast<double>(n) : sum;
    }
    return out;
}

TEST(FftTest, SingleElementIsUnchangedInBothDirections)
{
    Buffer one{{0.25, -3.5}};
    fft(one, false);
    EXPECT_EQ(one[0], std::complex<double>(0.25, -3.5));
    fft(one, true);
    EXPECT_EQ(one[0], std::complex<double>(0.25, -3.5));
}

TEST(FftTest, ImpulseGivesAllOnesAndOnesGiveTheImpulseBack)
{
    Buffer data(64, 0.0);
    data[0] = 1.0;
    fft(data, false);
    for (const auto& value : data) {
        EXPECT_NEAR(value.real(), 1.0, 1e-15);
        EXPECT_NEAR(value.imag(), 0.0, 1e-15);
    }
    fft(data, true);
    EXPECT_NEAR(data[0].real(), 1.0, 1e-15);
    for (std::size_t i = 1; i < data.size(); ++i) {
        EXPECT_NEAR(std::abs(data[i]), 0.0, 1e-15) << "index " << i;
    }
}

TEST(FftTest, MatchesTheDirectDftForwardAndInverseAtSeveralSizes)
{
    for (const std::size_t n : {2u, 4u, 8u, 16u, 128u, 1024u}) {
        const Buffer input = randomBuffer(n, n);
        for (const bool inverse : {false, true}) {
            Buffer data = input;
            fft(data, inverse);
            const Buffer expected = naiveDft(input, inverse);
            for (std::size_t k = 0; k < n; ++k) {
                ASSERT_NEAR(data[k].real(), expected[k].real(), 1e-9) << "n " << n << " k " << k << " inverse " << inverse;
                ASSERT_NEAR(data[k].imag(), expected[k].imag(), 1e-9) << "n " << n << " k " << k << " inverse " << inverse;
            }
        }
    }
}

TEST(FftTest, ForwardThenInverseReproduces4096RandomValues)
{
    const Buffer input = randomBuffer(4096, 7);
    Buffer data = input;
    fft(data, false);
    fft(data, true);
    for (std::size_t i = 0; i < data.size(); ++i) {
        ASSERT_NEAR(data[i].real(), input[i].real(), 1e-12);
        ASSERT_NEAR(data[i].imag(), input[i].imag(), 1e-12);
    }
}

TEST(FftTest, ComplexExponentialLandsInItsOwnBin)
{
    constexpr std::size_t n = 2048;
    constexpr std::size_t bin = 300;
    Buffer data(n);
    for (std::size_t t = 0; t < n; ++t) {
        data[t] = std::polar(1.0, 2.0 * std::numbers::pi * bin * t / n);
    }
    fft(data, false);
    for (std::size_t k = 0; k < n; ++k) {
        ASSERT_NEAR(std::abs(data[k]), k == bin ? double(n) : 0.0, 1e-8) << "bin " << k;
    }
}

TEST(FftTest, PointerAndVectorFormsGiveIdenticalBits)
{
    const Buffer input = randomBuffer(512, 3);
    Buffer viaVector = input;
    Buffer viaPointer = input;
    fft(viaVector, false);
    fft(viaPointer.data(), viaPointer.size(), false);
    EXPECT_EQ(viaVector, viaPointer);
}

} // namespace
} // namespace orvel
