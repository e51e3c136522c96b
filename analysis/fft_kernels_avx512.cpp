// SPDX-License-Identifier: MIT
// Four complex values per 512-bit register for the butterfly lengths of 8 and
// more; lengths 2 and 4 run on the AVX2 set's 256-bit operations. Compiled
// for AVX-512F only here (no FMA contraction: -ffp-contract=off holds, and no
// fused intrinsic is used); fftKernels picks this set only when the CPU and
// the operating system support it.
#include "analysis/fft_kernels.h"

#if defined(__x86_64__)

#include <immintrin.h>

#pragma GCC push_options
#pragma GCC target("avx512f")

#include "analysis/fft_kernel_loops.h"
#include "analysis/fft_kernel_ops_avx2.h"

namespace orvel {

namespace {

struct Avx512Ops {
    using V = __m512d;
    static constexpr std::size_t kWidth = 4;

    static V load(const double* p) { return _mm512_loadu_pd(p); }
    static void store(double* p, V v) { _mm512_storeu_pd(p, v); }
    static V add(V a, V b) { return _mm512_add_pd(a, b); }
    static V sub(V a, V b) { return _mm512_sub_pd(a, b); }
    // The zero-masking forms with every lane kept are the plain instructions;
    // they spare GCC 12's headers an undefined source register, which it
    // reports as possibly uninitialised.
    static constexpr __mmask8 kAll = 0xFF;

    static V swap(V w) { return _mm512_maskz_shuffle_pd(kAll, w, w, 0x55); } // [w.im, w.re] per value

    // b x w per value: the sum in every lane, then the even (real) lanes
    // replaced by the difference: [b.re w.re - b.im w.im, b.re w.im + b.im w.re].
    static V multiply(V b, V w, V swapped)
    {
        const V p = _mm512_mul_pd(_mm512_maskz_unpacklo_pd(kAll, b, b), w);       // [b.re, b.re] per value
        const V q = _mm512_mul_pd(_mm512_maskz_unpackhi_pd(kAll, b, b), swapped); // [b.im, b.im] per value
        return _mm512_mask_sub_pd(_mm512_add_pd(p, q), 0x55, p, q);
    }

    // [x_r x_r ... x_r+3 x_r+3] x window values r .. r + 3.
    static V windowed(const double* samples, const double* win, std::size_t r)
    {
        const __m512i pairs = _mm512_set_epi64(3, 3, 2, 2, 1, 1, 0, 0);
        const V x = _mm512_maskz_permutexvar_pd(kAll, pairs, _mm512_castpd256_pd512(_mm256_loadu_pd(samples + r)));
        return _mm512_mul_pd(x, load(win + 2 * r));
    }

    // A value broadcast to all four complex lanes.
    static V broadcastFour(const double* t) { return _mm512_set_pd(t[1], t[0], t[1], t[0], t[1], t[0], t[1], t[0]); }

    // Lengths 2 and 4 on four groups side by side: complex lane g of a_j is
    // input j of the group of r + g (see groupOf). A 4 x 4 transpose of the
    // complex values then gives each group its four outputs in order.
    static void firstTwoGroups(double* const outs[4], V a0, V a1, V a2, V a3, V w2, V w2s, V w40, V w40s, V w41, V w41s)
    {
        const V v1 = multiply(a1, w2, w2s);
        const V v3 = multiply(a3, w2, w2s);
        const V b0 = add(a0, v1);
        const V b1 = sub(a0, v1);
        const V b2 = add(a2, v3);
        const V b3 = sub(a2, v3);
        const V c2 = multiply(b2, w40, w40s);
        const V c3 = multiply(b3, w41, w41s);
        const V o0 = add(b0, c2);
        const V o1 = add(b1, c3);
        const V o2 = sub(b0, c2);
        const V o3 = sub(b1, c3);
        const V t0 = _mm512_maskz_shuffle_f64x2(kAll, o0, o1, 0x44); // [o0 g0, o0 g1, o1 g0, o1 g1]
        const V t1 = _mm512_maskz_shuffle_f64x2(kAll, o0, o1, 0xEE); // [o0 g2, o0 g3, o1 g2, o1 g3]
        const V t2 = _mm512_maskz_shuffle_f64x2(kAll, o2, o3, 0x44);
        const V t3 = _mm512_maskz_shuffle_f64x2(kAll, o2, o3, 0xEE);
        store(outs[0], _mm512_maskz_shuffle_f64x2(kAll, t0, t2, 0x88)); // [o0 g0, o1 g0, o2 g0, o3 g0]
        store(outs[1], _mm512_maskz_shuffle_f64x2(kAll, t0, t2, 0xDD));
        store(outs[2], _mm512_maskz_shuffle_f64x2(kAll, t1, t3, 0x88));
        store(outs[3], _mm512_maskz_shuffle_f64x2(kAll, t1, t3, 0xDD));
    }

    // out[0 .. 3] = Re(p0 z0) for the four values of p0, z0; out[4 .. 7] for p1, z1.
    static void storeRealParts(double* out, V p0, V z0, V p1, V z1)
    {
        const V m0 = _mm512_mul_pd(p0, z0); // [p.re z.re, p.im z.im] per value
        const V m1 = _mm512_mul_pd(p1, z1);
        const __m512i evenLanes = _mm512_set_epi64(14, 12, 10, 8, 6, 4, 2, 0);
        const __m512i oddLanes = _mm512_set_epi64(15, 13, 11, 9, 7, 5, 3, 1);
        store(out, _mm512_sub_pd(_mm512_permutex2var_pd(m0, evenLanes, m1), _mm512_permutex2var_pd(m0, oddLanes, m1)));
    }
};

// Lengths 2 and 4 (and 2 alone) fill no 512-bit register: the AVX2 set's
// 256-bit forms.
struct Avx512PassOps : Avx512Ops {
    static void firstTwo(double* d, std::size_t n, const double* t2, const double* t4)
    {
        Avx2Ops::firstTwo(d, n, t2, t4);
    }

    static void lengthTwo(double* d, std::size_t n, const double* t2) { Avx2Ops::lengthTwo(d, n, t2); }
};

void butterflies(std::complex<double>* data, const FftPlan& plan, std::size_t firstLen, std::size_t lastLen)
{
    double* d = reinterpret_cast<double*>(data);
    const double* twiddles = reinterpret_cast<const double*>(plan.twiddles(2));
    const std::size_t n = plan.size();
    if (firstLen == 4 && lastLen >= 4) {
        // Length 4 alone has two butterflies per block, fewer than a register
        // holds: one block per 256-bit register.
        const __m256d w = _mm256_loadu_pd(stageTable(twiddles, 4));
        const __m256d ws = Avx2Ops::swap(w);
        for (std::size_t s = 0; s < n; s += 4) {
            double* a = d + 2 * s;
            const __m256d v = Avx2Ops::multiply(_mm256_loadu_pd(a + 4), w, ws);
            const __m256d u = _mm256_loadu_pd(a);
            _mm256_storeu_pd(a, _mm256_add_pd(u, v));
            _mm256_storeu_pd(a + 4, _mm256_sub_pd(u, v));
        }
        firstLen = 8;
    }
    butterflyPasses<Avx512PassOps>(d, n, twiddles, firstLen, lastLen);
}

void windowedFirstButterflies(std::complex<double>* work, const double* samples, const FftPlan& plan,
                              const std::complex<double>* window)
{
    double* out = reinterpret_cast<double*>(work);
    const double* win = reinterpret_cast<const double*>(window);
    const std::uint32_t* rev = plan.bitReversal();
    const std::size_t q = plan.size() / 4;
    const double* t4 = reinterpret_cast<const double*>(plan.twiddles(4));
    const __m512d w2 = Avx512Ops::broadcastFour(reinterpret_cast<const double*>(plan.twiddles(2)));
    const __m512d w40 = Avx512Ops::broadcastFour(t4);
    const __m512d w41 = Avx512Ops::broadcastFour(t4 + 2);
    const __m512d w2s = Avx512Ops::swap(w2);
    const __m512d w40s = Avx512Ops::swap(w40);
    const __m512d w41s = Avx512Ops::swap(w41);
    for (std::size_t r = 0; r < q; r += 4) {
        double* const outs[4] = {out + 8 * groupOf(rev, r), out + 8 * groupOf(rev, r + 1), out + 8 * groupOf(rev, r + 2),
                                 out + 8 * groupOf(rev, r + 3)};
        Avx512Ops::firstTwoGroups(outs, Avx512Ops::windowed(samples, win, r),
                                  Avx512Ops::windowed(samples, win, r + 2 * q), Avx512Ops::windowed(samples, win, r + q),
                                  Avx512Ops::windowed(samples, win, r + 3 * q), w2, w2s, w40, w40s, w41, w41s);
    }
}

void lastButterfliesRealPart(double* out, std::complex<double>* work, const FftPlan& plan,
                             const std::complex<double>* post)
{
    const std::size_t n = plan.size();
    lastTwoRealPart<Avx512PassOps>(out, reinterpret_cast<const double*>(work),
                                   reinterpret_cast<const double*>(plan.twiddles(n / 2)),
                                   reinterpret_cast<const double*>(plan.twiddles(n)),
                                   reinterpret_cast<const double*>(post), n / 4);
}

} // namespace

const FftKernels& avx512FftKernels()
{
    static const FftKernels kernels{butterflies, windowedFirstButterflies, lastButterfliesRealPart};
    return kernels;
}

} // namespace orvel

#pragma GCC pop_options

#endif
