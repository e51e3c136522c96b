// SPDX-License-Identifier: MIT
#include "analysis/fft_kernels.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace orvel {

namespace {

// One butterfly length at a time, one value at a time: the plain form of the
// loops, for CPUs without a SIMD set.
void butterfliesPortable(std::complex<double>* data, const FftPlan& plan, std::size_t firstLen, std::size_t lastLen)
{
    const std::size_t n = plan.size();
    for (std::size_t len = firstLen; len <= lastLen; len *= 2) {
        const std::complex<double>* w = plan.twiddles(len);
        const std::size_t half = len / 2;
        for (std::size_t s = 0; s < n; s += len) {
            for (std::size_t k = 0; k < half; ++k) {
                const std::complex<double> u = data[s + k];
                const std::complex<double> b = data[s + k + half];
                const double vRe = b.real() * w[k].real() - b.imag() * w[k].imag();
                const double vIm = b.real() * w[k].imag() + b.imag() * w[k].real();
                data[s + k] = {u.real() + vRe, u.imag() + vIm};
                data[s + k + half] = {u.real() - vRe, u.imag() - vIm};
            }
        }
    }
}

void windowedFirstButterfliesPortable(std::complex<double>* work, const double* samples, const FftPlan& plan,
                                      const std::complex<double>* window)
{
    const std::uint32_t* rev = plan.bitReversal();
    for (std::size_t i = 0; i < plan.size(); ++i) {
        const double x = samples[rev[i]];
        const std::complex<double> w = window[rev[i]];
        work[i] = {x * w.real(), x * w.imag()};
    }
    butterfliesPortable(work, plan, 2, 4);
}

void lastButterfliesRealPartPortable(double* out, std::complex<double>* work, const FftPlan& plan,
                                     const std::complex<double>* post)
{
    const std::size_t n = plan.size();
    butterfliesPortable(work, plan, n / 2, n / 2);
    const std::size_t half = n / 2;
    const std::complex<double>* w = plan.twiddles(n);
    for (std::size_t k = 0; k < half; ++k) {
        const std::complex<double> u = work[k];
        const std::complex<double> b = work[k + half];
        const double vRe = b.real() * w[k].real() - b.imag() * w[k].imag();
        const double vIm = b.real() * w[k].imag() + b.imag() * w[k].real();
        out[k] = post[k].real() * (u.real() + vRe) - post[k].imag() * (u.imag() + vIm);
    }
}

#if defined(__x86_64__)
// The least time of `rounds` turns of eight MDCT-sized transforms (the shape
// the checks use most) with kernels.
double fastestTurn(const FftKernels& kernels, const FftPlan& plan, std::vector<std::complex<double>>& work,
                   const std::vector<double>& samples, const std::vector<std::complex<double>>& window,
                   std::vector<double>& out)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 8; ++i) {
        kernels.windowedFirstButterflies(work.data(), samples.data(), plan, window.data());
        kernels.butterflies(work.data(), plan, 8, plan.size() / 4);
        kernels.lastButterfliesRealPart(out.data(), work.data(), plan, window.data());
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
#endif

} // namespace

#if defined(__x86_64__)
bool avx512EarnsItsPlace()
{
    constexpr std::size_t n = 2048;
    const FftPlan& plan = FftPlan::get(n, false);
    std::vector<std::complex<double>> work(n);
    std::vector<std::complex<double>> window(n);
    std::vector<double> samples(n);
    std::vector<double> out(n / 2);
    for (std::size_t i = 0; i < n; ++i) {
        samples[i] = static_cast<double>((i * 7919) % 1000) / 1000.0 - 0.5;
        window[i] = {0.5, 0.25};
    }
    double wide = 1e9;
    double narrow = 1e9;
    // Turns alternate so that a moment of load weighs on both alike.
    for (int round = 0; round < 6; ++round) {
        narrow = std::min(narrow, fastestTurn(avx2FftKernels(), plan, work, samples, window, out));
        wide = std::min(wide, fastestTurn(avx512FftKernels(), plan, work, samples, window, out));
    }
    return wide <= 0.9 * narrow;
}
#else
bool avx512EarnsItsPlace()
{
    return false;
}
#endif

const FftKernels& portableFftKernels()
{
    static const FftKernels kernels{butterfliesPortable, windowedFirstButterfliesPortable,
                                    lastButterfliesRealPartPortable};
    return kernels;
}

const FftKernels& fftKernels(SimdLevel level)
{
    switch (level) {
#if defined(__x86_64__)
    case SimdLevel::Avx512:
        return avx512FftKernels();
    case SimdLevel::Avx2:
        return avx2FftKernels();
    case SimdLevel::Sse2:
        return sse2FftKernels();
#else
    case SimdLevel::Avx512:
    case SimdLevel::Avx2:
    case SimdLevel::Sse2:
#endif
    case SimdLevel::Portable:
        break;
    }
    return portableFftKernels();
}

} // namespace orvel
