// SPDX-License-Identifier: MIT
#pragma once

#include <complex>
#include <cstdint>
#include <functional>
#include <vector>

namespace orvel {

// Proves the two transforms without any audio: the MDCT against its direct
// sum at bins 0, 1, 27, 255, 511, 900, 1023, and an FFT round trip, each within
// 1e-10. True when both pass; false at the first failed comparison.
[[nodiscard]] bool runMathSelfTest();

// The pieces of the self-test, so that a broken transform can be shown to fail it.
// The fixed test signal: 2048 values from a 32-bit LCG seeded with 42.
[[nodiscard]] std::vector<double> mathSelfTestSignal();

using MdctTransform = std::function<void(const double* samples, double* coefficients)>;
using FftTransform = std::function<void(std::vector<std::complex<double>>& data, bool inverse)>;

// The self-test run on the given transforms (runMathSelfTest passes SineMdct
// and fft).
[[nodiscard]] bool runMathSelfTestWith(const MdctTransform& mdct, const FftTransform& transform);

} // namespace orvel
