// SPDX-License-Identifier: MIT
#pragma once

// The butterfly loops shared by the SIMD kernel sets, written once over an
// Ops type that says how W complex values sit in one register. Included only
// by the kernel files; each includes it inside its own target region, so the
// loops are compiled for that instruction set, and the unnamed namespace keeps
// every file's copy its own.
//
// Every loop does, per output value, the operations of fftReference in its
// order: v = b x w as (b.re w.re - b.im w.im, b.re w.im + b.im w.re), then u + v
// and u - v. Two butterfly lengths in one pass over memory (len and 2 len on
// the same four values) change where values wait between the two steps, not
// what is computed.

#include <cstddef>
#include <cstdint>

namespace orvel {
namespace {

// Butterfly length len = 2 h alone: pairs (s + k, s + k + h), twiddle w[k]. h >= W.
template <typename Ops>
inline void radix2Pass(double* d, std::size_t n, const double* w, std::size_t h)
{
    using V = typename Ops::V;
    const std::size_t len = 2 * h;
    for (std::size_t s = 0; s < n; s += len) {
        double* a = d + 2 * s;
        double* b = a + 2 * h;
        for (std::size_t k = 0; k < h; k += Ops::kWidth) {
            const V tw = Ops::load(w + 2 * k);
            const V v = Ops::multiply(Ops::load(b + 2 * k), tw, Ops::swap(tw));
            const V u = Ops::load(a + 2 * k);
            Ops::store(a + 2 * k, Ops::add(u, v));
            Ops::store(b + 2 * k, Ops::sub(u, v));
        }
    }
}

// Butterfly lengths len = 2 h and 2 len in one pass: for each k < h the four
// values s + k + {0, h, 2h, 3h} take the len step (twiddle w1[k], blocks s and
// s + len) and then the 2 len step (twiddles w2[k] and w2[k + h]). h >= W.
template <typename Ops>
inline void radix4Pass(double* d, std::size_t n, const double* w1, const double* w2, std::size_t h)
{
    using V = typename Ops::V;
    const std::size_t span = 4 * h;
    for (std::size_t s = 0; s < n; s += span) {
        double* p0 = d + 2 * s;
        double* p1 = p0 + 2 * h;
        double* p2 = p1 + 2 * h;
        double* p3 = p2 + 2 * h;
        for (std::size_t k = 0; k < h; k += Ops::kWidth) {
            const std::size_t at = 2 * k;
            const V t1 = Ops::load(w1 + at);
            const V t1s = Ops::swap(t1);
            const V a0 = Ops::load(p0 + at);
            const V a2 = Ops::load(p2 + at);
            const V v1 = Ops::multiply(Ops::load(p1 + at), t1, t1s);
            const V v3 = Ops::multiply(Ops::load(p3 + at), t1, t1s);
            const V b0 = Ops::add(a0, v1);
            const V b1 = Ops::sub(a0, v1);
            const V b2 = Ops::add(a2, v3);
            const V b3 = Ops::sub(a2, v3);
            const V t2 = Ops::load(w2 + at);
            const V t3 = Ops::load(w2 + at + 2 * h);
            const V c2 = Ops::multiply(b2, t2, Ops::swap(t2));
            const V c3 = Ops::multiply(b3, t3, Ops::swap(t3));
            Ops::store(p0 + at, Ops::add(b0, c2));
            Ops::store(p2 + at, Ops::sub(b0, c2));
            Ops::store(p1 + at, Ops::add(b1, c3));
            Ops::store(p3 + at, Ops::sub(b1, c3));
        }
    }
}

// Outputs k and k + h of the last two butterfly lengths (see lastTwoRealPart).
template <typename Ops>
inline void lastTwoOutputs(const double* d, const double* w1, const double* w2, std::size_t h, std::size_t k,
                           typename Ops::V& low, typename Ops::V& high)
{
    using V = typename Ops::V;
    const std::size_t at = 2 * k;
    const V t1 = Ops::load(w1 + at);
    const V t1s = Ops::swap(t1);
    const V a0 = Ops::load(d + at);
    const V a2 = Ops::load(d + at + 4 * h);
    const V v1 = Ops::multiply(Ops::load(d + at + 2 * h), t1, t1s);
    const V v3 = Ops::multiply(Ops::load(d + at + 6 * h), t1, t1s);
    const V b0 = Ops::add(a0, v1);
    const V b1 = Ops::sub(a0, v1);
    const V b2 = Ops::add(a2, v3);
    const V b3 = Ops::sub(a2, v3);
    const V t2 = Ops::load(w2 + at);
    const V t3 = Ops::load(w2 + at + 2 * h);
    low = Ops::add(b0, Ops::multiply(b2, t2, Ops::swap(t2)));
    high = Ops::add(b1, Ops::multiply(b3, t3, Ops::swap(t3)));
}

// The last two butterfly lengths (n / 2 and n, h = n / 4) keeping only the
// outputs below n / 2, each turned into Re(post[k] x z[k]) =
// post.re z.re - post.im z.im. h >= 2 W.
template <typename Ops>
inline void lastTwoRealPart(double* out, const double* d, const double* w1, const double* w2, const double* post,
                            std::size_t h)
{
    using V = typename Ops::V;
    constexpr std::size_t W = Ops::kWidth;
    for (std::size_t k = 0; k < h; k += 2 * W) {
        V low0;
        V high0;
        V low1;
        V high1;
        lastTwoOutputs<Ops>(d, w1, w2, h, k, low0, high0);
        lastTwoOutputs<Ops>(d, w1, w2, h, k + W, low1, high1);
        Ops::storeRealParts(out + k, Ops::load(post + 2 * k), low0, Ops::load(post + 2 * (k + W)), low1);
        Ops::storeRealParts(out + k + h, Ops::load(post + 2 * (k + h)), high0, Ops::load(post + 2 * (k + h + W)),
                            high1);
    }
}

// The first pass of a windowed transform visits the length-4 groups in the
// natural order of their first input r < n / 4. Group m = rev[4 r] holds
// work[4 m + j] = samples[r + o_j] x window[r + o_j] for o_j = 0, n / 2, n / 4,
// 3 n / 4 (the bit reversal moves index r + o_j to 4 m + j), so neighbouring
// groups in this order read neighbouring samples.
inline std::size_t groupOf(const std::uint32_t* rev, std::size_t r)
{
    return rev[4 * r];
}

// The twiddles of length len in FftPlan's table: they start at len / 2 - 1 complex values.
inline const double* stageTable(const double* twiddles, std::size_t len)
{
    return twiddles + 2 * (len / 2 - 1);
}

// Butterfly lengths firstLen .. lastLen over n values, two lengths per pass
// where it can. Ops::firstTwo does lengths 2 and 4 together, Ops::lengthTwo
// length 2 alone (for n = 2); from length 2 W on the generic passes run.
template <typename Ops>
inline void butterflyPasses(double* d, std::size_t n, const double* twiddles, std::size_t firstLen, std::size_t lastLen)
{
    std::size_t len = firstLen;
    if (len == 2 && len <= lastLen) {
        if (lastLen >= 4) {
            Ops::firstTwo(d, n, stageTable(twiddles, 2), stageTable(twiddles, 4));
            len = 8;
        } else {
            Ops::lengthTwo(d, n, stageTable(twiddles, 2));
            len = 4;
        }
    }
    for (; 2 * len <= lastLen; len *= 4) {
        radix4Pass<Ops>(d, n, stageTable(twiddles, len), stageTable(twiddles, 2 * len), len / 2);
    }
    if (len <= lastLen) {
        radix2Pass<Ops>(d, n, stageTable(twiddles, len), len / 2);
    }
}

} // namespace
} // namespace orvel
