// SPDX-License-Identifier: MIT
#include "analysis/sine_mdct.h"

#include <cmath>

#include "analysis/analysis_options.h"
#include "analysis/fft.h"
#include "analysis/fft_kernels.h"

namespace orvel {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kInverseLength = 0.00048828125;       // 1 / 2048
constexpr double kPhasePerBin = 1.5723303075827821;    // 2 pi x 512.5 / 2048: the MDCT time shift
constexpr double kScale = 0.03125;                     // 1 / 32 = sqrt(2 / 2048)

} // namespace

SineMdct::SineMdct(Transforms transforms)
    : m_preTwiddle(kInputLength), m_postTwiddle(kCoefficientCount), m_work(kInputLength),
      m_plan(&FftPlan::get(kInputLength, false)), m_transforms(transforms)
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
    if (m_transforms == Transforms::Reference) {
        forwardReference(samples, start, coefficients);
        return;
    }
    forward(samples, start, coefficients, bestSimdLevel());
}

void SineMdct::forward(const double* samples, std::int32_t start, double* coefficients, SimdLevel level)
{
    constexpr auto length = static_cast<std::size_t>(kInputLength);
    const FftKernels& kernels = fftKernels(level);
    // work[i] = x[rev i] x pre[rev i]: the reference's products, already in
    // the order its bit-reversal loop would leave them; then lengths 2 and 4.
    kernels.windowedFirstButterflies(m_work.data(), samples + start, *m_plan, m_preTwiddle.data());
    kernels.butterflies(m_work.data(), *m_plan, 8, length / 4);
    // Lengths 1024 and 2048 with only the 1024 outputs that are used.
    kernels.lastButterfliesRealPart(coefficients, m_work.data(), *m_plan, m_postTwiddle.data());
}

void SineMdct::forwardReference(const double* samples, std::int32_t start, double* coefficients)
{
    const double* block = samples + start;
    for (std::size_t n = 0; n < static_cast<std::size_t>(kInputLength); ++n) {
        const double x = block[n];
        m_work[n] = {x * m_preTwiddle[n].real(), x * m_preTwiddle[n].imag()};
    }
    fftReference(m_work, false);
    for (std::size_t k = 0; k < static_cast<std::size_t>(kCoefficientCount); ++k) {
        coefficients[k] = m_postTwiddle[k].real() * m_work[k].real() - m_postTwiddle[k].imag() * m_work[k].imag();
    }
}

} // namespace orvel
