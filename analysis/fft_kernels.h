// SPDX-License-Identifier: MIT
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>

#include "analysis/fft_plan.h"
#include "analysis/simd_level.h"

namespace orvel {

// The inner loops of the fast transforms, one set per SimdLevel. Every set
// computes each output value with the operations fftReference and
// SineMdct::forwardReference use, in their order: complex products as two
// products and one difference or sum per part, no fused multiply-add, no
// reassociation. Nothing here allocates.
struct FftKernels {
    // The butterflies of lengths firstLen, 2 firstLen, ..., lastLen over the
    // plan's size, on data already in bit-reversed order.
    void (*butterflies)(std::complex<double>* data, const FftPlan& plan, std::size_t firstLen, std::size_t lastLen);

    // work[i] <- samples[rev[i]] x window[rev[i]] for i < n (a real value
    // times a complex one; window in natural order), then the butterflies of
    // lengths 2 and 4: windowing, bit reversal and the first two lengths in
    // one pass. n = plan.size() >= 64.
    void (*windowedFirstButterflies)(std::complex<double>* work, const double* samples, const FftPlan& plan,
                                     const std::complex<double>* window);

    // The butterflies of lengths n / 2 and n with only the outputs below n / 2
    // computed, each turned into its real part after a rotation:
    //   out[k] <- post[k].re x z[k].re - post[k].im x z[k].im, k < n / 2.
    // n = plan.size() >= 64. work may be left overwritten.
    void (*lastButterfliesRealPart)(double* out, std::complex<double>* work, const FftPlan& plan,
                                    const std::complex<double>* post);
};

// The kernels of level; level must be supported (simdLevelSupported).
[[nodiscard]] const FftKernels& fftKernels(SimdLevel level);

// The per-level sets, for fftKernels.
[[nodiscard]] const FftKernels& portableFftKernels();
#if defined(__x86_64__)
[[nodiscard]] const FftKernels& sse2FftKernels();
[[nodiscard]] const FftKernels& avx2FftKernels();
[[nodiscard]] const FftKernels& avx512FftKernels();
#endif

// Whether the AVX-512 set transforms at least 10 % faster than the AVX2 set
// here: a few 2048-point transforms of each, timed in turns (under a
// millisecond, once per process). The CPU must support both.
[[nodiscard]] bool avx512EarnsItsPlace();

} // namespace orvel
