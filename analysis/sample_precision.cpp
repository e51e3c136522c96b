// SPDX-License-Identifier: MIT
#include "analysis/sample_precision.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "decode/cancellation.h"

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace orvel {

namespace {

constexpr std::uint64_t kMinimumNonzero = 256;
constexpr std::size_t kStopInterval = 65536;
constexpr std::int32_t kMinimumUnusedBits = 2;

// One sample of accumulateSampleBits.
inline void accumulateOne(double x, std::uint64_t& mask, std::uint64_t& nonzero)
{
    const std::int64_t v = roundToInt64(x);
    // Two's complement: a negative value has the low zero bits of its magnitude.
    mask |= static_cast<std::uint64_t>(v);
    nonzero += v != 0 ? 1 : 0;
}

// mask |= v and nonzero += (v != 0) for v = roundToInt64(samples[i] x scale),
// i < count. OR and count do not depend on the order, so pairs of samples go
// together where both are whole numbers below 2^51 in magnitude, as every
// sample of an integer source is: adding 1.5 x 2^52 to such a value is exact,
// and the low bits of the sum are the value in two's complement.
void accumulateSampleBits(const double* samples, std::size_t count, double scale, std::uint64_t& mask,
                          std::uint64_t& nonzero)
{
    std::size_t i = 0;
#if defined(__x86_64__)
    const __m128d factor = _mm_set1_pd(scale);
    const __m128d magic = _mm_set1_pd(0x1.8p52);
    const __m128d limit = _mm_set1_pd(0x1p51);
    const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
    __m128i bits = _mm_setzero_si128();
    __m128i counts = _mm_setzero_si128();
    for (; i + 2 <= count; i += 2) {
        const __m128d x = _mm_mul_pd(_mm_loadu_pd(samples + i), factor);
        const __m128d shifted = _mm_add_pd(x, magic);
        const __m128d whole = _mm_and_pd(_mm_cmpeq_pd(_mm_sub_pd(shifted, magic), x),
                                         _mm_cmplt_pd(_mm_and_pd(x, magnitude), limit));
        if (_mm_movemask_pd(whole) != 3) {
            accumulateOne(samples[i] * scale, mask, nonzero);
            accumulateOne(samples[i + 1] * scale, mask, nonzero);
            continue;
        }
        bits = _mm_or_si128(bits, _mm_sub_epi64(_mm_castpd_si128(shifted), _mm_castpd_si128(magic)));
        // A set lane of the comparison is -1 as an integer.
        counts = _mm_sub_epi64(counts, _mm_castpd_si128(_mm_cmpneq_pd(x, _mm_setzero_pd())));
    }
    alignas(16) std::uint64_t lanes[2];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), bits);
    mask |= lanes[0] | lanes[1];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), counts);
    nonzero += lanes[0] + lanes[1];
#endif
    for (; i < count; ++i) {
        accumulateOne(samples[i] * scale, mask, nonzero);
    }
}

} // namespace

std::int64_t roundToInt64(double value)
{
    // 2^63 is exact in a double; every finite double below it in magnitude
    // rounds into range (the largest such double is already an integer).
    constexpr double kLimit = 9223372036854775808.0;
    if (!std::isfinite(value) || value >= kLimit || value < -kLimit) {
        return 0;
    }
    return std::llround(value);
}

CheckResult checkSamplePrecision(const DecodedAudio& audio, const std::atomic<bool>& stopRequested)
{
    const std::uint32_t bits = audio.bitsPerSample;
    if (!audio.integerSamples || bits < 2 || bits > 32) {
        return {Verdict::Inconclusive, "Integer precision unavailable",
                "The source is floating point, lossy, or its stored precision is unknown. No padding verdict is made.", {}};
    }

    const double scale = std::ldexp(1.0, static_cast<int>(bits) - 1);
    const std::int32_t storedBits = static_cast<std::int32_t>(bits);
    bool measured = false;
    bool allPadded = true;
    std::int32_t maxGrid = 0;
    std::string text;
    std::vector<Measurement> measurements{{"stored_bits", static_cast<double>(storedBits)}};

    for (std::size_t c = 0; c < audio.channels.size(); ++c) {
        const ChannelSamples& samples = audio.channels[c];
        std::uint64_t mask = 0;
        std::uint64_t nonzero = 0;
        for (std::size_t chunk = 0; chunk < samples.size(); chunk += kStopInterval) {
            throwIfStopRequested(stopRequested);
            const std::size_t end = std::min(samples.size(), chunk + kStopInterval);
            accumulateSampleBits(samples.data() + chunk, end - chunk, scale, mask, nonzero);
        }
        if (samples.empty()) {
            throwIfStopRequested(stopRequested);
        }

        text += "Channel " + std::to_string(c + 1) + ": ";
        const std::string prefix = "channel" + std::to_string(c + 1) + "_";
        measurements.push_back({prefix + "nonzero_samples", static_cast<double>(nonzero)});
        if (nonzero < kMinimumNonzero) {
            text += "too few nonzero samples.\r\n";
            continue;
        }

        // Bit B-1 is never tested, so the grid is at least 1 bit.
        std::int32_t unused = 0;
        while (unused < storedBits - 1 && (mask & (std::uint64_t{1} << unused)) == 0) {
            ++unused;
        }
        const std::int32_t grid = storedBits - unused;
        maxGrid = std::max(maxGrid, grid);
        if (unused < kMinimumUnusedBits) {
            allPadded = false;
        }
        measured = true;
        measurements.push_back({prefix + "grid_bits", static_cast<double>(grid)});
        measurements.push_back({prefix + "unused_low_bits", static_cast<double>(unused)});
        text += std::to_string(grid) + "-bit sample grid; " + std::to_string(unused) + " unused low bits; " +
                std::to_string(nonzero) + " nonzero samples.\r\n";
    }
    text += "Measured over every decoded sample in the analyzed region. Sample alignment does not prove "
            "recording history. Dither or later processing can hide padding.";

    if (!measured) {
        return {Verdict::Inconclusive, "Silence or too little signal", std::move(text), std::move(measurements)};
    }
    measurements.push_back({"max_grid_bits", static_cast<double>(maxGrid)});
    if (!allPadded) {
        return {Verdict::NoEvidence, "No consistent bit-depth padding", std::move(text), std::move(measurements)};
    }
    return {Verdict::EvidenceFound,
            std::to_string(storedBits) + "-bit storage / " + std::to_string(maxGrid) + "-bit grid",
            std::move(text), std::move(measurements)};
}

} // namespace orvel
