// SPDX-License-Identifier: MIT
#include "analysis/kbd_window.h"

#include <cmath>

#include "analysis/avx2_clones.h"
#include "analysis/fft.h"

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
    : m_window(window.begin(), window.begin() + kInputLength), m_preTwiddle(kCoefficientCount / 2),
      m_postTwiddle(kCoefficientCount / 2), m_folded(kCoefficientCount), m_work(kCoefficientCount / 2),
      m_bitReversal(fftBitReversal(kCoefficientCount / 2))
{
    for (std::int32_t n = 0; n < kCoefficientCount / 2; ++n) {
        const double a = -kPi * (n + 0.25) / kCoefficientCount;
        m_preTwiddle[static_cast<std::size_t>(n)] = {std::cos(a), std::sin(a)};
        const double b = -kPi * n / kCoefficientCount;
        m_postTwiddle[static_cast<std::size_t>(n)] = {std::cos(b) * 0.03125, std::sin(b) * 0.03125};
    }
}

// The folding and rotations once more for AVX2 where the platform can pick it.
KESTRONE_AVX2_CLONES void WindowedMdct::forward(const double* samples, std::int64_t start, double* coefficients)
{
    constexpr std::size_t kQuarter = kInputLength / 4;
    constexpr std::size_t kHalf = kCoefficientCount / 2;
    const double* x = samples + start;
    const double* w = m_window.data();
    // Quarters (a, b, c, d) of the windowed frame -> (-c reversed - d, a - b reversed).
    for (std::size_t n = 0; n < kQuarter; ++n) {
        m_folded[n] = -(w[1535 - n] * x[1535 - n]) - w[1536 + n] * x[1536 + n];
        m_folded[kQuarter + n] = w[n] * x[n] - w[1023 - n] * x[1023 - n];
    }
    // DCT-IV of 1024 values: even values real, mirrored odd ones imaginary, rotated.
    // Parts as plain doubles (the array layout std::complex guarantees), so
    // that no value is packed into a pair and read back.
    auto* work = reinterpret_cast<double*>(m_work.data());
    const auto* pre = reinterpret_cast<const double*>(m_preTwiddle.data());
    const auto* post = reinterpret_cast<const double*>(m_postTwiddle.data());
    // Read in the FFT's bit-reversed order, so the butterflies start at once.
    const std::uint32_t* rev = m_bitReversal;
    for (std::size_t j = 0; j < kHalf; ++j) {
        const std::size_t n = rev[j];
        const double re = m_folded[2 * n];
        const double im = m_folded[kCoefficientCount - 1 - 2 * n];
        work[2 * j] = re * pre[2 * n] - im * pre[2 * n + 1];
        work[2 * j + 1] = re * pre[2 * n + 1] + im * pre[2 * n];
    }
    fftFromBitReversed(m_work.data(), kHalf);
    for (std::size_t k = 0; k < kHalf; ++k) {
        const double re = work[2 * k];
        const double im = work[2 * k + 1];
        coefficients[2 * k] = re * post[2 * k] - im * post[2 * k + 1];
        coefficients[kCoefficientCount - 1 - 2 * k] = -(re * post[2 * k + 1] + im * post[2 * k]);
    }
}

} // namespace orvel
