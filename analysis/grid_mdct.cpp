// SPDX-License-Identifier: MIT
#include "analysis/grid_mdct.h"

#include <cmath>
#include <stdexcept>

#include "analysis/avx2_clones.h"
#include "analysis/fft.h"

namespace orvel {

namespace {

constexpr double kPi = 3.141592653589793;

// Complex products written out: std::complex's operator* checks for
// infinities through a library call on every product.
inline std::complex<double> times(std::complex<double> a, std::complex<double> b)
{
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

} // namespace

GridMdct::GridMdct(std::span<const double> window)
    : m_hop(static_cast<std::int32_t>(window.size() / 2)), m_window(window.begin(), window.end())
{
    const auto n = static_cast<std::size_t>(m_hop);
    const std::size_t half = n / 2;
    const bool powerOfTwo = (half & (half - 1)) == 0 && half <= 65536;
    if (window.size() % 4 != 0 || n < 4 || (!powerOfTwo && !FftBy15::fits(half))) {
        throw std::runtime_error("MDCT window length must be four times a power of two or 15 times one");
    }
    if (!powerOfTwo) {
        m_by15.emplace(half);
    }
    m_preTwiddle.resize(half);
    m_postTwiddle.resize(half);
    m_unfolded.resize(n);
    m_work.resize(half);
    m_bitReversal = fftBitReversal(half);
    for (std::size_t i = 0; i < half; ++i) {
        const double a = -kPi * (static_cast<double>(i) + 0.25) / static_cast<double>(n);
        m_preTwiddle[i] = {std::cos(a), std::sin(a)};
        const double b = -kPi * static_cast<double>(i) / static_cast<double>(n);
        m_postTwiddle[i] = {std::cos(b), std::sin(b)};
    }
}

// The folding and rotations once more for AVX2 where the platform can pick it.
KESTRONE_AVX2_CLONES void GridMdct::forward(const double* samples, double* coefficients)
{
    const auto n = static_cast<std::size_t>(m_hop);
    const std::size_t half = n / 2;
    const std::size_t threeHalves = 3 * half;
    const double* x = samples;
    const double* w = m_window.data();
    // Quarters (a, b, c, d) of the windowed frame -> (-c reversed - d, a - b reversed).
    double* folded = m_unfolded.data();
    for (std::size_t j = 0; j < half; ++j) {
        folded[j] = -(w[threeHalves - 1 - j] * x[threeHalves - 1 - j]) - w[threeHalves + j] * x[threeHalves + j];
        folded[half + j] = w[j] * x[j] - w[n - 1 - j] * x[n - 1 - j];
    }
    // The DCT-IV's complex input (even values real, mirrored odd ones
    // imaginary), rotated, read in the FFT's bit-reversed order so that the
    // butterflies start at once.
    const std::uint32_t* rev = m_bitReversal;
    for (std::size_t j = 0; j < half; ++j) {
        const std::size_t i = rev != nullptr ? rev[j] : j;
        m_work[j] = times(std::complex<double>(folded[2 * i], folded[n - 1 - 2 * i]), m_preTwiddle[i]);
    }
    transformWork(coefficients);
}

void GridMdct::inverse(const double* coefficients, double* samples)
{
    const auto n = static_cast<std::size_t>(m_hop);
    const std::size_t half = n / 2;
    dct4(coefficients, m_unfolded.data());
    // The folding transposed: (a, b, c, d) <- (u2, -u2 reversed, -u1 reversed, -u1).
    const double* u = m_unfolded.data();
    for (std::size_t i = 0; i < half; ++i) {
        samples[i] = u[half + i];
        samples[half + i] = -u[n - 1 - i];
        samples[n + i] = -u[half - 1 - i];
        samples[n + half + i] = -u[i];
    }
    const double scale = 2.0 / static_cast<double>(n);
    for (std::size_t i = 0; i < 2 * n; ++i) {
        samples[i] *= m_window[i] * scale;
    }
}

// DCT-IV of n values: even values real, mirrored odd ones imaginary, rotated,
// one complex FFT of n / 2, rotated back.
void GridMdct::dct4(const double* in, double* out)
{
    const auto n = static_cast<std::size_t>(m_hop);
    const std::size_t half = n / 2;
    for (std::size_t j = 0; j < half; ++j) {
        const std::size_t i = m_bitReversal != nullptr ? m_bitReversal[j] : j;
        m_work[j] = times(std::complex<double>(in[2 * i], in[n - 1 - 2 * i]), m_preTwiddle[i]);
    }
    transformWork(out);
}

void GridMdct::transformWork(double* out)
{
    const auto n = static_cast<std::size_t>(m_hop);
    const std::size_t half = n / 2;
    if (m_by15) {
        m_by15->forward(m_work.data());
    } else {
        fftFromBitReversed(m_work.data(), half);
    }
    const std::complex<double>* spectrum = m_work.data();
    for (std::size_t k = 0; k < half; ++k) {
        const std::complex<double> v = times(spectrum[k], m_postTwiddle[k]);
        out[2 * k] = v.real();
        out[n - 1 - 2 * k] = -v.imag();
    }
}

std::vector<double> powerSineWindow(std::int32_t length)
{
    std::vector<double> w(static_cast<std::size_t>(length));
    for (std::int32_t i = 0; i < length; ++i) {
        const double s = std::sin(kPi * (i + 0.5) / length);
        w[static_cast<std::size_t>(i)] = std::sin(kPi / 2.0 * s * s);
    }
    return w;
}

} // namespace orvel
