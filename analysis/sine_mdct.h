// SPDX-License-Identifier: MIT
#pragma once

#include <complex>
#include <cstdint>
#include <vector>

#include "analysis/analysis_options.h"
#include "analysis/fft_plan.h"
#include "analysis/simd_level.h"

namespace orvel {

// Long-block sine-window MDCT as an AAC encoder frames it: 2048 samples in,
// 1024 coefficients out, through one 2048-point FFT:
//   X[k] = 1/32 * sum_n sin((n + 0.5) pi / 2048) x[start + n] cos(2 pi / 2048 (n + 512.5)(k + 0.5)).
// forward() overwrites the work area, so one object serves one thread at a time.
class SineMdct {
public:
    static constexpr std::int32_t kInputLength = 2048;
    static constexpr std::int32_t kCoefficientCount = 1024;

    // Reference transforms make forward() take forwardReference's path.
    explicit SineMdct(Transforms transforms = Transforms::Fast);

    // Reads samples[start] .. samples[start + 2047] (the caller guarantees they
    // exist) and writes coefficients[0] .. coefficients[1023]. The fast path:
    // windowing fused with the bit reversal, the FFT on table twiddles and SIMD
    // registers, the last butterfly length fused with the output rotation and
    // only its used half computed. Equal to forwardReference bit for bit.
    void forward(const double* samples, std::int32_t start, double* coefficients);

    // The same on the kernels of one supported instruction set.
    void forward(const double* samples, std::int32_t start, double* coefficients, SimdLevel level);

    // The transform step by step: window times rotation into the work area,
    // fftReference, then the real part of the rotated first 1024 values.
    void forwardReference(const double* samples, std::int32_t start, double* coefficients);

private:
    std::vector<std::complex<double>> m_preTwiddle;
    std::vector<std::complex<double>> m_postTwiddle;
    std::vector<std::complex<double>> m_work;
    const FftPlan* m_plan;
    Transforms m_transforms;
};

} // namespace orvel
