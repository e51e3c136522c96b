// SPDX-License-Identifier: MIT
#pragma once

#include <complex>
#include <cstdint>
#include <span>
#include <vector>


namespace orvel {

// Kaiser-Bessel-derived window of even length n: w[i] = sqrt(cumsum(K)[i] / sum(K))
// for i < n / 2, K the Kaiser window of n / 2 + 1 points with beta = pi alpha,
// mirrored for the second half. AAC's long window is kbdWindow(2048, 4).
[[nodiscard]] std::vector<double> kbdWindow(std::int32_t n, double alpha);

// A long-block MDCT with any 2048-point window, framed like SineMdct:
//   X[k] = 1/32 * sum_n w[n] x[start + n] cos(2 pi / 2048 (n + 512.5)(k + 0.5)),
// computed as the DCT-IV of the 1024 folded samples through one 512-point
// complex FFT (a quarter of SineMdct's transform length). One object serves
// one thread at a time.
class WindowedMdct {
public:
    static constexpr std::int32_t kInputLength = 2048;
    static constexpr std::int32_t kCoefficientCount = 1024;

    explicit WindowedMdct(std::span<const double> window);

    void forward(const double* samples, std::int64_t start, double* coefficients);

private:
    std::vector<double> m_window;
    std::vector<std::complex<double>> m_preTwiddle;  // exp(-i pi (n + 1/4) / 1024)
    std::vector<std::complex<double>> m_postTwiddle; // exp(-i pi k / 1024) / 32
    std::vector<double> m_folded;
    std::vector<std::complex<double>> m_work;
    const std::uint32_t* m_bitReversal;
};

} // namespace orvel
