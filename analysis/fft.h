// SPDX-License-Identifier: MIT
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace orvel {

// In-place radix-2 complex FFT. n must be a power of two (not checked; any
// other length gives a meaningless result). Forward: X[k] = sum x[t] e^(-2 pi i k t / n),
// unscaled. Inverse: e^(+2 pi i k t / n) with the 1/n scaling applied, so a
// forward and an inverse transform return the input up to rounding.
// The twiddle factor follows a per-block recurrence (no table): results are
// bit-identical on every build, which the checks' hard thresholds rely on.
void fft(std::complex<double>* data, std::size_t n, bool inverse);
void fft(std::vector<std::complex<double>>& data, bool inverse);

} // namespace orvel
