// SPDX-License-Identifier: MIT
#include "analysis/fft_mixed.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "analysis/fft.h"

namespace orvel {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr std::size_t kOdd = 15;

using C = std::complex<double>;

inline C times(C a, C b)
{
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

// e^(-2 pi i / 3) and e^(-2 pi i / 5) written out in the small butterflies.
const double kSin3 = std::sin(2.0 * kPi / 3.0);
const double kCos5a = std::cos(2.0 * kPi / 5.0);
const double kCos5b = std::cos(4.0 * kPi / 5.0);
const double kSin5a = std::sin(2.0 * kPi / 5.0);
const double kSin5b = std::sin(4.0 * kPi / 5.0);

inline void dft3(C& a, C& b, C& c)
{
    const C s = b + c;
    const C d = b - c;
    const C m = a - 0.5 * s;
    const C r{d.imag() * kSin3, -d.real() * kSin3}; // -i sin(2 pi / 3) (b - c)
    a = a + s;
    b = m + r;
    c = m - r;
}

inline void dft5(C& x0, C& x1, C& x2, C& x3, C& x4)
{
    const C s1 = x1 + x4;
    const C d1 = x1 - x4;
    const C s2 = x2 + x3;
    const C d2 = x2 - x3;
    const C a1 = x0 + kCos5a * s1 + kCos5b * s2;
    const C a2 = x0 + kCos5b * s1 + kCos5a * s2;
    const C b1 = kSin5a * d1 + kSin5b * d2;
    const C b2 = kSin5b * d1 - kSin5a * d2;
    // -i b
    const C r1{b1.imag(), -b1.real()};
    const C r2{b2.imag(), -b2.real()};
    x0 = x0 + s1 + s2;
    x1 = a1 + r1;
    x4 = a1 - r1;
    x2 = a2 + r2;
    x3 = a2 - r2;
}

// The Good-Thomas maps of 15 = 3 x 5: input n = (5 n1 + 3 n2) mod 15, output
// k = (10 k1 + 6 k2) mod 15, both as [n1 or k1][n2 or k2].
constexpr std::size_t kInMap[3][5] = {{0, 3, 6, 9, 12}, {5, 8, 11, 14, 2}, {10, 13, 1, 4, 7}};
constexpr std::size_t kOutMap[3][5] = {{0, 6, 12, 3, 9}, {10, 1, 7, 13, 4}, {5, 11, 2, 8, 14}};

// 15 points at stride `stride`, in place.
inline void dft15(C* x, std::size_t stride)
{
    C v[3][5];
    for (std::size_t n1 = 0; n1 < 3; ++n1) {
        for (std::size_t n2 = 0; n2 < 5; ++n2) {
            v[n1][n2] = x[kInMap[n1][n2] * stride];
        }
    }
    for (std::size_t n2 = 0; n2 < 5; ++n2) {
        dft3(v[0][n2], v[1][n2], v[2][n2]);
    }
    for (std::size_t k1 = 0; k1 < 3; ++k1) {
        dft5(v[k1][0], v[k1][1], v[k1][2], v[k1][3], v[k1][4]);
    }
    for (std::size_t k1 = 0; k1 < 3; ++k1) {
        for (std::size_t k2 = 0; k2 < 5; ++k2) {
            x[kOutMap[k1][k2] * stride] = v[k1][k2];
        }
    }
}

} // namespace

bool FftBy15::fits(std::size_t n)
{
    if (n % kOdd != 0) {
        return false;
    }
    const std::size_t p = n / kOdd;
    return p >= 2 && (p & (p - 1)) == 0;
}

FftBy15::FftBy15(std::size_t n) : m_size(n), m_power(n / kOdd)
{
    if (!fits(n)) {
        throw std::runtime_error("FFT length must be 15 times a power of two");
    }
    m_twiddle.resize(n);
    for (std::size_t n2 = 0; n2 < kOdd; ++n2) {
        for (std::size_t k1 = 0; k1 < m_power; ++k1) {
            const double a = -2.0 * kPi * static_cast<double>(n2 * k1) / static_cast<double>(n);
            m_twiddle[n2 * m_power + k1] = {std::cos(a), std::sin(a)};
        }
    }
    m_scratch.resize(n);
    m_bitReversal = fftBitReversal(m_power);
    if (m_bitReversal == nullptr) {
        throw std::runtime_error("FFT length must be 15 times a power of two up to 65536");
    }
}

void FftBy15::forward(C* data)
{
    // t = 15 n1 + n2: per n2 the power-of-two transform over n1, twiddled; then
    // per k1 the 15-point transform over n2 gives X[k1 + power k2].
    C* rows = m_scratch.data();
    for (std::size_t n2 = 0; n2 < kOdd; ++n2) {
        C* row = rows + n2 * m_power;
        // Gathered straight into the power-of-two transform's bit-reversed order.
        for (std::size_t n1 = 0; n1 < m_power; ++n1) {
            row[m_bitReversal[n1]] = data[kOdd * n1 + n2];
        }
        fftFromBitReversed(row, m_power);
        const C* tw = m_twiddle.data() + n2 * m_power;
        for (std::size_t k1 = 0; k1 < m_power; ++k1) {
            row[k1] = times(row[k1], tw[k1]);
        }
    }
    for (std::size_t k1 = 0; k1 < m_power; ++k1) {
        dft15(rows + k1, m_power);
    }
    std::copy(rows, rows + m_size, data);
}

} // namespace orvel
