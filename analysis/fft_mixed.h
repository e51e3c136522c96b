// SPDX-License-Identifier: MIT
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvel {

// Forward complex FFT of 15 x 2^m points (CELT's 960-sample hop folds to 480):
// 15 power-of-two transforms, twiddles, then 2^m transforms of 15 points done
// as 3 x 5 (Good-Thomas, no inner twiddles). Plain double arithmetic in a
// fixed order, so the result is the same on every build and SIMD level.
class FftBy15 {
public:
    // n = 15 x 2^m, m >= 1; throws std::runtime_error otherwise.
    explicit FftBy15(std::size_t n);

    [[nodiscard]] static bool fits(std::size_t n);
    [[nodiscard]] std::size_t size() const { return m_size; }

    // X[k] = sum x[t] e^(-2 pi i k t / n), unscaled, in place.
    void forward(std::complex<double>* data);

private:
    std::size_t m_size = 0;
    std::size_t m_power = 0; // n / 15
    std::vector<std::complex<double>> m_twiddle; // e^(-2 pi i n2 k1 / n), [n2 * power + k1]
    std::vector<std::complex<double>> m_scratch;
    const std::uint32_t* m_bitReversal = nullptr; // of the power-of-two transforms
};

} // namespace orvel
