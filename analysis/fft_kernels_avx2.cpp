// SPDX-License-Identifier: MIT
// Two complex values per 256-bit register. Everything in this file is
// compiled for AVX2 (no FMA: products and sums stay separate roundings); the
// rest of the program remains baseline x86-64, and fftKernels picks this set
// only when the CPU reports AVX2.
#include "analysis/fft_kernels.h"

#if defined(__x86_64__)

#include <immintrin.h>

#pragma GCC push_options
#pragma GCC target("avx2")

#include "analysis/fft_kernel_loops.h"
#include "analysis/fft_kernel_ops_avx2.h"

namespace orvel {

namespace {

void butterflies(std::complex<double>* data, const FftPlan& plan, std::size_t firstLen, std::size_t lastLen)
{
    butterflyPasses<Avx2Ops>(reinterpret_cast<double*>(data), plan.size(),
                             reinterpret_cast<const double*>(plan.twiddles(2)), firstLen, lastLen);
}

void windowedFirstButterflies(std::complex<double>* work, const double* samples, const FftPlan& plan,
                              const std::complex<double>* window)
{
    double* out = reinterpret_cast<double*>(work);
    const double* win = reinterpret_cast<const double*>(window);
    const std::uint32_t* rev = plan.bitReversal();
    const std::size_t q = plan.size() / 4;
    const double* t4 = reinterpret_cast<const double*>(plan.twiddles(4));
    const __m256d w2 = Avx2Ops::broadcastTwice(reinterpret_cast<const double*>(plan.twiddles(2)));
    const __m256d w40 = Avx2Ops::broadcastTwice(t4);
    const __m256d w41 = Avx2Ops::broadcastTwice(t4 + 2);
    const __m256d w2s = Avx2Ops::swap(w2);
    const __m256d w40s = Avx2Ops::swap(w40);
    const __m256d w41s = Avx2Ops::swap(w41);
    for (std::size_t r = 0; r < q; r += 2) {
        Avx2Ops::firstTwoGroups(out + 8 * groupOf(rev, r), out + 8 * groupOf(rev, r + 1),
                                Avx2Ops::windowed(samples, win, r), Avx2Ops::windowed(samples, win, r + 2 * q),
                                Avx2Ops::windowed(samples, win, r + q), Avx2Ops::windowed(samples, win, r + 3 * q), w2,
                                w2s, w40, w40s, w41, w41s);
    }
}

void lastButterfliesRealPart(double* out, std::complex<double>* work, const FftPlan& plan,
                             const std::complex<double>* post)
{
    const std::size_t n = plan.size();
    lastTwoRealPart<Avx2Ops>(out, reinterpret_cast<const double*>(work),
                             reinterpret_cast<const double*>(plan.twiddles(n / 2)),
                             reinterpret_cast<const double*>(plan.twiddles(n)), reinterpret_cast<const double*>(post),
                             n / 4);
}

} // namespace

const FftKernels& avx2FftKernels()
{
    static const FftKernels kernels{butterflies, windowedFirstButterflies, lastButterfliesRealPart};
    return kernels;
}

} // namespace orvel

#pragma GCC pop_options

#endif
