// SPDX-License-Identifier: MIT
#include "analysis/fft.h"

#include <cmath>
#include <utility>

namespace orvel {

namespace {

constexpr double kPi = 3.141592653589793;

// Written out as two products and one sum per part: std::complex's operator*
// may take the __muldc3 path, whose rounding differs from this plain form.
struct Complex {
    double re;
    double im;
};

inline Complex multiply(Complex a, Complex b)
{
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}

} // namespace

void fftReference(std::complex<double>* data, std::size_t n, bool inverse)
{
    // Any other length would send the bit reversal and the last blocks past
    // the end of the buffer; such a buffer is left untransformed instead.
    if (n >= 2 && (n & (n - 1)) == 0) {
        std::size_t j = 0;
        for (std::size_t i = 1; i < n; ++i) {
            std::size_t bit = n / 2;
            while ((j & bit) != 0) {
                j &= ~bit;
                bit /= 2;
            }
            j |= bit;
            if (i < j) {
                std::swap(data[i], data[j]);
            }
        }

        const double d = inverse ? 1.0 : 0.0;
        for (std::size_t len = 2; len <= n; len *= 2) {
            const double angle = (4.0 * d - 2.0) * kPi / static_cast<double>(len);
            const Complex step{std::cos(angle), std::sin(angle)};
            const std::size_t half = len / 2;
            for (std::size_t s = 0; s < n; s += len) {
                Complex w{1.0, 0.0};
                for (std::size_t k = 0; k < half; ++k) {
                    const Complex u{data[s + k].real(), data[s + k].imag()};
                    const Complex v = multiply({data[s + k + half].real(), data[s + k + half].imag()}, w);
                    data[s + k] = {u.re + v.re, u.im + v.im};
                    data[s + k + half] = {u.re - v.re, u.im - v.im};
                    w = multiply(w, step);
                }
            }
        }
    }

    if (inverse) {
        const double length = static_cast<double>(n);
        for (std::size_t i = 0; i < n; ++i) {
            data[i] = {data[i].real() / length, data[i].imag() / length};
        }
    }
}

void fftReference(std::vector<std::complex<double>>& data, bool inverse)
{
    fftReference(data.data(), data.size(), inverse);
}

} // namespace orvel
