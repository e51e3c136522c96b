// SPDX-License-Identifier: MIT
#include "analysis/math_self_test.h"

#include <array>
#include <cmath>

#include "analysis/fft.h"
#include "analysis/sine_mdct.h"

namespace orvel {

namespace {

constexpr std::size_t kLength = 2048;
constexpr double kTolerance = 1e-10;
constexpr double kPi = 3.141592653589793;
constexpr double kInverseLength = 0.00048828125; // 1 / 2048
constexpr double kBinAngle = 0.0030679615757712823; // 2 pi / 2048
constexpr std::array<std::int32_t, 7> kTestBins{0, 1, 27, 255, 511, 900, 1023};

// The direct definition, grouped term by term as the MDCT's contract states it.
double directMdct(const std::vector<double>& signal, std::int32_t k)
{
    double sum = 0.0;
    for (std::size_t n = 0; n < kLength; ++n) {
        const double x = static_cast<double>(n);
        sum += ((std::sin((x + 0.5) * kPi * kInverseLength) * signal[n]) *
                std::cos(((x + 0.5) + 512) * kBinAngle * (k + 0.5))) *
               0.03125;
    }
    return sum;
}

// Written so that a NaN fails: a transform that produces NaN must not pass.
bool withinTolerance(double actual, double expected)
{
    return std::fabs(actual - expected) <= kTolerance;
}

} // namespace

std::vector<double> mathSelfTestSignal()
{
    std::vector<double> signal(kLength);
    std::uint32_t state = 42;
    for (double& sample : signal) {
        state = state * 1664525u + 1013904223u; // modulo 2^32 by unsigned wrap-around
        sample = 2.0 * (state / 4294967295.0) - 1.0;
    }
    return signal;
}

bool runMathSelfTestWith(const MdctTransform& mdct, const FftTransform& transform)
{
    const std::vector<double> signal = mathSelfTestSignal();

    std::vector<double> coefficients(1024);
    mdct(signal.data(), coefficients.data());
    for (const std::int32_t k : kTestBins) {
        if (!withinTolerance(directMdct(signal, k), coefficients[static_cast<std::size_t>(k)])) {
            return false;
        }
    }

    std::vector<std::complex<double>> data(kLength);
    for (std::size_t n = 0; n < kLength; ++n) {
        data[n] = {signal[n], 0.0};
    }
    transform(data, false);
    transform(data, true);
    for (std::size_t n = 0; n < kLength; ++n) {
        // Only real parts are compared; leftover imaginary parts do not matter.
        if (!withinTolerance(data[n].real(), signal[n])) {
            return false;
        }
    }
    return true;
}

bool runMathSelfTest()
{
    SineMdct sineMdct;
    return runMathSelfTestWith(
        [&sineMdct](const double* samples, double* coefficients) { sineMdct.forward(samples, 0, coefficients); },
        [](std::vector<std::complex<double>>& data, bool inverse) { fft(data, inverse); });
}

} // namespace orvel
