// SPDX-License-Identifier: MIT
#include "analysis/kbd_window.h"

#include <cmath>

#include "analysis/fft_kernels.h"
#include "analysis/simd_level.h"

namespace orvel {

namespace {

constexpr double kPi = 3.141592653589793;

// Modified Bessel function of the first kind, order 0, by its power series.
double besselI0(double x)
{
    const double q = x * x / 4.0;
    double term = 1.0;
    double sum = 1.0;
    for (int k = 1; k < 200 && term > sum * 1e-18; ++k) {
        term *= q / (static_cast<double>(k) * static_cast<double>(k));
        sum += term;
    }
    return sum;
}

} // namespace

std::vector<double> kbdWindow(std::int32_t n, double alpha)
{
    const std::int32_t half = n / 2;
    const double beta = kPi * alpha;
    std::vector<double> kaiser(static_cast<std::size_t>(half) + 1);
    for (std::int32_t i = 0; i <= half; ++i) {
        const double r = 2.0 * i / half - 1.0;
        kaiser[static_cast<std::size_t>(i)] = besselI0(beta * std::sqrt(1.0 - r * r));
    }
    double total = 0.0;
    for (const double k : kaiser) {
        total += k;
    }
    std::vector<double> w(static_cast<std::size_t>(n));
    double running = 0.0;
    for (std::int32_t i = 0; i < half; ++i) {
        running += kaiser[static_cast<std::size_t>(i)];
        const double value = std::sqrt(running / total);
        w[static_cast<std::size_t>(i)] = value;
        w[static_cast<std::size_t>(n - 1 - i)] = value;
    }
    return w;
}

WindowedMdct::WindowedMdct(std::span<const double> window)
    : m_preTwiddle(kInputLength), m_postTwiddle(kCoefficientCount), m_work(kInputLength),
      m_plan(&FftPlan::get(kInputLength, false))
{
    constexpr double kInverseLength = 1.0 / kInputLength;
    constexpr double kPhasePerBin = 2.0 * kPi * 512.5 / kInputLength;
    for (std::int32_t n = 0; n < kInputLength; ++n) {
        const double w = window[static_cast<std::size_t>(n)];
        const double a = n * (-kPi) * kInverseLength;
        m_preTwiddle[static_cast<std::size_t>(n)] = {w * std::cos(a), w * std::sin(a)};
    }
    for (std::int32_t k = 0; k < kCoefficientCount; ++k) {
        const double b = (k + 0.5) * (-kPhasePerBin);
        m_postTwiddle[static_cast<std::size_t>(k)] = {std::cos(b) * 0.03125, std::sin(b) * 0.03125};
    }
}

void WindowedMdct::forward(const double* samples, std::int64_t start, double* coefficients)
{
    // Every instruction set gives the same bits, so the fastest one runs.
    const FftKernels& kernels = fftKernels(bestSimdLevel());
    kernels.windowedFirstButterflies(m_work.data(), samples + start, *m_plan, m_preTwiddle.data());
    kernels.butterflies(m_work.data(), *m_plan, 8, kInputLength / 4);
    kernels.lastButterfliesRealPart(coefficients, m_work.data(), *m_plan, m_postTwiddle.data());
}

} // namespace orvel
