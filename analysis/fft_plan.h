// SPDX-License-Identifier: MIT
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvel {

// The tables of one FFT size and direction: the bit-reversal permutation and,
// per butterfly length, the twiddle factors that fftReference's recurrence
// produces inside every block. They are made by exactly that recurrence, so a
// table value is the recurrence value bit for bit; only the repetition per
// block is saved.
class FftPlan {
public:
    // Largest size with a plan (its tables take about 1.3 MiB).
    static constexpr std::size_t kMaxSize = std::size_t{1} << 16;

    // The plan for n (a power of two, 2 <= n <= kMaxSize), made on first use
    // and kept for the life of the process; safe to call from any thread.
    [[nodiscard]] static const FftPlan& get(std::size_t n, bool inverse);

    FftPlan(std::size_t n, bool inverse);

    [[nodiscard]] std::size_t size() const { return m_size; }
    [[nodiscard]] bool inverse() const { return m_inverse; }

    // rev[i]: the index whose value the bit reversal moves to i (an involution).
    [[nodiscard]] const std::uint32_t* bitReversal() const { return m_bitReversal.data(); }

    // The len / 2 twiddle factors of butterfly length len (2 <= len <= size()).
    [[nodiscard]] const std::complex<double>* twiddles(std::size_t len) const
    {
        return m_twiddles.data() + (len / 2 - 1);
    }

    // data[i] <- data[rev[i]] for all i, in place.
    void permute(std::complex<double>* data) const;

private:
    std::size_t m_size;
    bool m_inverse;
    std::vector<std::uint32_t> m_bitReversal;
    // Length 2 first, then 4, ...: the stage of length len starts at len / 2 - 1.
    std::vector<std::complex<double>> m_twiddles;
};

} // namespace orvel
