// SPDX-License-Identifier: MIT
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/simd_level.h"

namespace orvel {

// In-place radix-2 complex FFT. n must be a power of two; any other length
// gives a meaningless result, the buffer untransformed (only the inverse's 1/n
// scaling applied), and nothing outside the n values is touched. Forward: X[k] = sum x[t] e^(-2 pi i k t / n),
// unscaled. Inverse: e^(+2 pi i k t / n) with the 1/n scaling applied, so a
// forward and an inverse transform return the input up to rounding.
// The twiddle factor follows a per-block recurrence: results are bit-identical
// on every build, which the checks' hard thresholds rely on.
//
// fft is the production path: the recurrence values are read from tables made
// by the same recurrence, bit reversal by table, butterflies on SIMD registers.
// Its output equals fftReference bit for bit, for every input whose transform
// stays finite.
void fft(std::complex<double>* data, std::size_t n, bool inverse);
void fft(std::vector<std::complex<double>>& data, bool inverse);

// The fast path on the kernels of one instruction set (a supported one), so
// that every set can be compared with the reference on any machine that has it.
void fftWith(SimdLevel level, std::complex<double>* data, std::size_t n, bool inverse);

// The forward fast path for callers that already wrote their input in
// bit-reversed order (data[fftBitReversal(n)[i]] = x[i]), saving the separate
// reordering pass; the same bits as fft. n a power of two from 2 to 65536:
// fftBitReversal gives nullptr for any other n, which fft alone serves.
void fftFromBitReversed(std::complex<double>* data, std::size_t n);
[[nodiscard]] const std::uint32_t* fftBitReversal(std::size_t n);

// The straightforward transform, step by step: the bit-reversal loop, then per
// butterfly length a twiddle advanced by complex multiplication inside every
// block. Kept as the yardstick the fast path is tested and measured against.
void fftReference(std::complex<double>* data, std::size_t n, bool inverse);
void fftReference(std::vector<std::complex<double>>& data, bool inverse);

} // namespace orvel
