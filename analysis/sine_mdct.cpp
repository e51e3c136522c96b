// SPDX-License-Identifier: MIT
#include "analysis/sine_mdct.h"

#include <cmath>

#include "analysis/fft.h"

namespace orvel {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kInverseLength = 0.00048828125;       // 1 / 2048
constexpr double kPhasePerBin = 1.5723303075827821;    // 2 pi x 512.5 / 2048: the MDCT time shift
constexpr double kScale = 0.03125;                     // 1 / 32 = sqrt(2 / 2048)

} // namespace

SineMdct::SineMdct()
    : m_preTwiddle(kInputLength), m_postTwiddle(kCoefficientCount), m_work(kInputLength)
{
    // Sine window times a rotation by minus half a bin per sample.
    for (std::int32_t n = 0; n < kInputLength; ++n) {
        const double w = std::sin((n + 0.5) * kPi * kInverseLength);
        const double a = n * (-kPi) * kInverseLength;
        m_preTwiddle[static_cast<std::size_t>(n)] = {w * std::cos(a), w * std::sin(a)};
    }
    for (std::int32_t k = 0; k < kCoefficientCount; ++k) {
        const double b = (k + 0.5) * (-kPhasePerBin);
        m_postTwiddle[static_cast<std::size_t>(k)] = {std::cos(b) * kScale, std::sin(b) * kScale};
    }
}

void SineMdct::forward(const double* samples, std::int32_t start, double* coefficients)
{
    const double* block = samples + start;
    for (std::size_t n = 0; n < static_cast<std::size_t>(kInputLength); ++n) {
        const double x = block[n];
        m_work[n] = {x * m_preTwiddle[n].real(), x * m_preTwiddle[n].imag()};
    }
    fft(m_work, false);
    for (std::size_t k = 0; k < static_cast<std::size_t>(kCoefficientCount); ++k) {
        coefficients[k] = m_postTwiddle[k].real() * m_work[k].real() - m_postTwiddle[k].imag() * m_work[k].imag();
    }
}

} // namespace orvel
