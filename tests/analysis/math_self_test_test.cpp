// SPDX-License-Identifier: MIT
#include "analysis/math_self_test.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "analysis/fft.h"
#include "analysis/sine_mdct.h"

namespace orvel {
namespace {

// A sine-window MDCT written with adjustable parts, to show that each wrong
// variant fails the self-test.
struct MdctVariant {
    double scale = 1.0 / 32.0;
    bool window = true;
    double shift = 512.5;
    double binOffset = 0.5;
};

MdctTransform directVariant(MdctVariant v)
{
    return [v](const double* samples, double* coefficients) {
        for (std::size_t k = 0; k < 1024; ++k) {
            double sum = 0.0;
            for (std::size_t n = 0; n < 2048; ++n) {
                const double w = v.window ? std::sin((n + 0.5) * std::numbers::pi / 2048) : 1.0;
                sum += w * samples[n] * std::cos(2.0 * std::numbers::pi / 2048 * (n + v.shift) * (k + v.binOffset));
            }
            coefficients[k] = v.scale * sum;
        }
    };
}

MdctTransform realMdct()
{
    auto mdct = std::make_shared<SineMdct>();
    return [mdct](const double* samples, double* coefficients) { mdct->forward(samples, 0, coefficients); };
}

FftTransform realFft()
{
    return [](std::vector<std::complex<double>>& data, bool inverse) { fft(data, inverse); };
}

TEST(MathSelfTest, PassesWithTheProgramsTransforms)
{
    EXPECT_TRUE(runMathSelfTest());
    EXPECT_TRUE(runMathSelfTestWith(realMdct(), realFft()));
}

TEST(MathSelfTest, SignalIsTheSeededLcgSequence)
{
    const std::vector<double> signal = mathSelfTestSignal();
    ASSERT_EQ(signal.size(), 2048u);
    EXPECT_EQ(signal[0], -0.4953096503148111);
    EXPECT_EQ(signal[1], -0.8237499091363861);
    EXPECT_EQ(signal[2], 0.15456239673182415);
    for (const double x : signal) {
        ASSERT_GE(x, -1.0);
        ASSERT_LE(x, 1.0);
    }
}

TEST(MathSelfTest, CorrectDirectSumPassesAndEachWrongPartFails)
{
    EXPECT_TRUE(runMathSelfTestWith(directVariant({}), realFft()));
    EXPECT_FALSE(runMathSelfTestWith(directVariant({.scale = 1.0 / 31.0}), realFft()));
    EXPECT_FALSE(runMathSelfTestWith(directVariant({.window = false}), realFft()));
    EXPECT_FALSE(runMathSelfTestWith(directVariant({.shift = 512.0}), realFft()));
    EXPECT_FALSE(runMathSelfTestWith(directVariant({.binOffset = 0.0}), realFft()));
}

TEST(MathSelfTest, TinyScaleErrorFails)
{
    const MdctTransform real = realMdct();
    const MdctTransform off = [real](const double* samples, double* coefficients) {
        real(samples, coefficients);
        coefficients[1023] *= 1.0 + 1e-6;
    };
    EXPECT_FALSE(runMathSelfTestWith(off, realFft()));
}

TEST(MathSelfTest, NanCoefficientsFail)
{
    const MdctTransform real = realMdct();
    const MdctTransform nan = [real](const double* samples, double* coefficients) {
        real(samples, coefficients);
        coefficients[0] = std::numeric_limits<double>::quiet_NaN();
    };
    EXPECT_FALSE(runMathSelfTestWith(nan, realFft()));
}

TEST(MathSelfTest, InverseWithoutDivisionFails)
{
    const FftTransform unscaled = [](std::vector<std::complex<double>>& data, bool inverse) {
        fft(data, inverse);
        if (inverse) {
            for (auto& x : data) {
                x *= static_cast<double>(data.size());
            }
        }
    };
    EXPECT_FALSE(runMathSelfTestWith(realMdct(), unscaled));
}

TEST(MathSelfTest, LeftoverImaginaryPartsDoNotMatter)
{
    const FftTransform noisy = [](std::vector<std::complex<double>>& data, bool inverse) {
        fft(data, inverse);
        if (inverse) {
            for (auto& x : data) {
                x = {x.real(), 0.5};
            }
        }
    };
    EXPECT_TRUE(runMathSelfTestWith(realMdct(), noisy));
}

} // namespace
} // namespace orvel
