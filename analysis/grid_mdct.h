// SPDX-License-Identifier: MIT
#pragma once

#include <complex>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "analysis/fft_mixed.h"

namespace orvel {

// An MDCT of hop n with any window of length 2n, unscaled as codecs define it:
//   X[k] = sum_{i < 2n} w[i] x[start + i] cos(pi / n (i + 1/2 + n/2)(k + 1/2)), k < n,
// computed as the DCT-IV of the n folded samples through one complex FFT of n/2
// points. One object serves one thread at a time.
class GridMdct {
public:
    // window.size() / 4 must be a power of two up to 65536 or 15 times one
    // (CELT's 1920); throws std::runtime_error otherwise.
    explicit GridMdct(std::span<const double> window);

    [[nodiscard]] std::int32_t hop() const { return m_hop; }

    // Reads samples[0 .. 2n - 1] and writes coefficients[0 .. n - 1].
    void forward(const double* samples, double* coefficients);

    // The inverse with the same window (times 2 / n), whose overlap-add with the
    // neighbouring frames gives back the samples (time-domain alias cancellation).
    // Writes samples[0 .. 2n - 1].
    void inverse(const double* coefficients, double* samples);

private:
    void dct4(const double* in, double* out);
    // The FFT and post-rotation of a DCT-IV whose rotated input is in m_work.
    void transformWork(double* out);

    std::int32_t m_hop = 0;
    std::vector<double> m_window;
    std::vector<std::complex<double>> m_preTwiddle;
    std::vector<std::complex<double>> m_postTwiddle;
    std::vector<double> m_unfolded; // also the folded frame of forward
    // In the FFT's bit-reversed order for a power of two (m_bitReversal), in
    // natural order for 15 x 2^m (m_by15).
    std::vector<std::complex<double>> m_work;
    const std::uint32_t* m_bitReversal = nullptr;
    std::optional<FftBy15> m_by15;
};

// w[i] = sin(pi / 2 * sin^2(pi (i + 1/2) / length)): Vorbis's window.
[[nodiscard]] std::vector<double> powerSineWindow(std::int32_t length);

} // namespace orvel
