// SPDX-License-Identifier: MIT
#pragma once

// The butterfly operations on 256-bit registers (two complex values each):
// the AVX2 set's, and the AVX-512 set's for the lengths too short to fill a
// 512-bit register. Include only where the code is compiled for AVX2 or more
// (#pragma GCC target), after fft_kernel_loops.h. The anonymous namespace
// keeps each file's copy its own, so the linker never hands an AVX-512 file's
// copy to code that runs on a CPU with AVX2 alone.
#include <immintrin.h>

#include <cstddef>

namespace orvel {

namespace {

struct Avx2Ops {
    using V = __m256d;
    static constexpr std::size_t kWidth = 2;

    static V load(const double* p) { return _mm256_loadu_pd(p); }
    static void store(double* p, V v) { _mm256_storeu_pd(p, v); }
    static V add(V a, V b) { return _mm256_add_pd(a, b); }
    static V sub(V a, V b) { return _mm256_sub_pd(a, b); }
    static V swap(V w) { return _mm256_permute_pd(w, 0x5); } // [w0.im, w0.re, w1.im, w1.re]

    // b x w per value; addsub subtracts in the even (real) lanes and adds in
    // the odd (imaginary) ones: [b.re w.re - b.im w.im, b.re w.im + b.im w.re].
    static V multiply(V b, V w, V swapped)
    {
        const V re = _mm256_movedup_pd(b);      // [b0.re, b0.re, b1.re, b1.re]
        const V im = _mm256_permute_pd(b, 0xF); // [b0.im, b0.im, b1.im, b1.im]
        return _mm256_addsub_pd(_mm256_mul_pd(re, w), _mm256_mul_pd(im, swapped));
    }

    // out[0 .. 1] = Re(p0 z0) for both values of p0, z0; out[2 .. 3] the same for p1, z1.
    static void storeRealParts(double* out, V p0, V z0, V p1, V z1)
    {
        // hsub of [p.re z.re, p.im z.im] pairs leaves [c0, c2, c1, c3].
        const V mixed = _mm256_hsub_pd(_mm256_mul_pd(p0, z0), _mm256_mul_pd(p1, z1));
        _mm256_storeu_pd(out, _mm256_permute4x64_pd(mixed, 0xD8));
    }

    // Lengths 2 and 4 on four neighbours, given as lo = [a0, a1], hi = [a2, a3].
    // The length-2 pairs (a0, a1), (a2, a3) are regrouped into [a0, a2] and
    // [a1, a3], the length-4 pairs (b0, b2), (b1, b3) into [b0, b1] and
    // [b2, b3], which leaves the results in their own order.
    static void firstTwoBlock(double* out, V lo, V hi, V w2, V w2s, V w4, V w4s)
    {
        const V u = _mm256_permute2f128_pd(lo, hi, 0x20); // [a0, a2]
        const V b = _mm256_permute2f128_pd(lo, hi, 0x31); // [a1, a3]
        const V v = multiply(b, w2, w2s);
        const V even = add(u, v); // [b0, b2]
        const V odd = sub(u, v);  // [b1, b3]
        const V u4 = _mm256_permute2f128_pd(even, odd, 0x20); // [b0, b1]
        const V b4 = _mm256_permute2f128_pd(even, odd, 0x31); // [b2, b3]
        const V v4 = multiply(b4, w4, w4s);
        store(out, add(u4, v4));
        store(out + 4, sub(u4, v4));
    }

    static V broadcastTwice(const double* t) { return _mm256_broadcast_pd(reinterpret_cast<const __m128d*>(t)); }

    static void firstTwo(double* d, std::size_t n, const double* t2, const double* t4)
    {
        const V w2 = broadcastTwice(t2);
        const V w2s = swap(w2);
        const V w4 = load(t4);
        const V w4s = swap(w4);
        for (std::size_t s = 0; s < n; s += 4) {
            double* p = d + 2 * s;
            firstTwoBlock(p, load(p), load(p + 4), w2, w2s, w4, w4s);
        }
    }

    // Length 2 alone (n = 2 only reaches here): one value per half register.
    static void lengthTwo(double* d, std::size_t n, const double* t2)
    {
        const __m128d w = _mm_loadu_pd(t2);
        const __m128d ws = _mm_permute_pd(w, 0x1);
        for (std::size_t s = 0; s < n; s += 2) {
            const __m128d b = _mm_loadu_pd(d + 2 * s + 2);
            const __m128d v = _mm_addsub_pd(_mm_mul_pd(_mm_movedup_pd(b), w), _mm_mul_pd(_mm_permute_pd(b, 0x3), ws));
            const __m128d u = _mm_loadu_pd(d + 2 * s);
            _mm_storeu_pd(d + 2 * s, _mm_add_pd(u, v));
            _mm_storeu_pd(d + 2 * s + 2, _mm_sub_pd(u, v));
        }
    }

    // [x_r x_r x_r+1 x_r+1] x window values r, r + 1: the real sample times both parts.
    static V windowed(const double* samples, const double* win, std::size_t r)
    {
        const V x = _mm256_permute4x64_pd(_mm256_castpd128_pd256(_mm_loadu_pd(samples + r)), 0x50);
        return _mm256_mul_pd(x, load(win + 2 * r));
    }

    // Lengths 2 and 4 on two groups side by side: lane pair g of a_j holds
    // input j of the group of r + g (see groupOf). Every twiddle is the same
    // for both groups.
    static void firstTwoGroups(double* out0, double* out1, V a0, V a1, V a2, V a3, V w2, V w2s, V w40, V w40s, V w41,
                               V w41s)
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
        store(out0, _mm256_permute2f128_pd(o0, o1, 0x20));
        store(out0 + 4, _mm256_permute2f128_pd(o2, o3, 0x20));
        store(out1, _mm256_permute2f128_pd(o0, o1, 0x31));
        store(out1 + 4, _mm256_permute2f128_pd(o2, o3, 0x31));
    }
};

} // namespace

} // namespace orvel
