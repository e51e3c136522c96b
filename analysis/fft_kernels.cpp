// SPDX-License-Identifier: MIT
#include "analysis/fft_kernels.h"

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

} // namespace

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
    case SimdLevel::Avx2:
        return avx2FftKernels();
    case SimdLevel::Sse2:
        return sse2FftKernels();
#else
    case SimdLevel::Avx2:
    case SimdLevel::Sse2:
#endif
    case SimdLevel::Portable:
        break;
    }
    return portableFftKernels();
}

} // namespace orvel
