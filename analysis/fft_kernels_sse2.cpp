// SPDX-License-Identifier: MIT
// The x86-64 baseline: one complex value (real part in the low lane) per register.
#include "analysis/fft_kernels.h"

#if defined(__x86_64__)

#include <emmintrin.h>

#include "analysis/fft_kernel_loops.h"

namespace orvel {

namespace {

struct Sse2Ops {
    using V = __m128d;
    static constexpr std::size_t kWidth = 1;

    static V load(const double* p) { return _mm_loadu_pd(p); }
    static void store(double* p, V v) { _mm_storeu_pd(p, v); }
    static V add(V a, V b) { return _mm_add_pd(a, b); }
    static V sub(V a, V b) { return _mm_sub_pd(a, b); }
    static V swap(V w) { return _mm_shuffle_pd(w, w, 1); } // [w.im, w.re]

    // b x w: [b.re w.re, b.re w.im] and [b.im w.im, b.im w.re] are formed, then
    // the low lane is taken from their difference and the high lane from their
    // sum, so each part is exactly the reference's product and sum.
    static V multiply(V b, V w, V swapped)
    {
        const V p = _mm_mul_pd(_mm_unpacklo_pd(b, b), w);
        const V q = _mm_mul_pd(_mm_unpackhi_pd(b, b), swapped);
        return _mm_move_sd(_mm_add_pd(p, q), _mm_sub_pd(p, q));
    }

    // out[0] = Re(p0 z0), out[1] = Re(p1 z1).
    static void storeRealParts(double* out, V p0, V z0, V p1, V z1)
    {
        const V m0 = _mm_mul_pd(p0, z0); // [p0.re z0.re, p0.im z0.im]
        const V m1 = _mm_mul_pd(p1, z1);
        _mm_storeu_pd(out, _mm_sub_pd(_mm_unpacklo_pd(m0, m1), _mm_unpackhi_pd(m0, m1)));
    }

    // Lengths 2 and 4 on four neighbours a0 .. a3, results stored at out.
    static void firstTwoBlock(double* out, V a0, V a1, V a2, V a3, V w2, V w2s, V w40, V w41)
    {
        const V v1 = multiply(a1, w2, w2s);
        const V v3 = multiply(a3, w2, w2s);
        const V b0 = add(a0, v1);
        const V b1 = sub(a0, v1);
        const V b2 = add(a2, v3);
        const V b3 = sub(a2, v3);
        const V c2 = multiply(b2, w40, swap(w40));
        const V c3 = multiply(b3, w41, swap(w41));
        store(out, add(b0, c2));
        store(out + 2, add(b1, c3));
        store(out + 4, sub(b0, c2));
        store(out + 6, sub(b1, c3));
    }

    static void firstTwo(double* d, std::size_t n, const double* t2, const double* t4)
    {
        const V w2 = load(t2);
        const V w2s = swap(w2);
        const V w40 = load(t4);
        const V w41 = load(t4 + 2);
        for (std::size_t s = 0; s < n; s += 4) {
            double* p = d + 2 * s;
            firstTwoBlock(p, load(p), load(p + 2), load(p + 4), load(p + 6), w2, w2s, w40, w41);
        }
    }

    static void lengthTwo(double* d, std::size_t n, const double* t2) { radix2Pass<Sse2Ops>(d, n, t2, 1); }
};

void butterflies(std::complex<double>* data, const FftPlan& plan, std::size_t firstLen, std::size_t lastLen)
{
    butterflyPasses<Sse2Ops>(reinterpret_cast<double*>(data), plan.size(),
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
    const __m128d w2 = _mm_loadu_pd(reinterpret_cast<const double*>(plan.twiddles(2)));
    const __m128d w2s = Sse2Ops::swap(w2);
    const __m128d w40 = _mm_loadu_pd(t4);
    const __m128d w41 = _mm_loadu_pd(t4 + 2);
    auto windowed = [samples, win](std::size_t at) {
        return _mm_mul_pd(_mm_set1_pd(samples[at]), _mm_loadu_pd(win + 2 * at));
    };
    for (std::size_t r = 0; r < q; ++r) {
        Sse2Ops::firstTwoBlock(out + 8 * groupOf(rev, r), windowed(r), windowed(r + 2 * q), windowed(r + q),
                               windowed(r + 3 * q), w2, w2s, w40, w41);
    }
}

void lastButterfliesRealPart(double* out, std::complex<double>* work, const FftPlan& plan,
                             const std::complex<double>* post)
{
    const std::size_t n = plan.size();
    lastTwoRealPart<Sse2Ops>(out, reinterpret_cast<const double*>(work),
                             reinterpret_cast<const double*>(plan.twiddles(n / 2)),
                             reinterpret_cast<const double*>(plan.twiddles(n)), reinterpret_cast<const double*>(post),
                             n / 4);
}

} // namespace

const FftKernels& sse2FftKernels()
{
    static const FftKernels kernels{butterflies, windowedFirstButterflies, lastButterfliesRealPart};
    return kernels;
}

} // namespace orvel

#endif
