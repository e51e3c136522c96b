// SPDX-License-Identifier: MIT
#include "analysis/sample_precision.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "decode/cancellation.h"

namespace orvel {

namespace {

constexpr std::uint64_t kMinimumNonzero = 256;
constexpr std::size_t kStopInterval = 65536;
constexpr std::int32_t kMinimumUnusedBits = 2;

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
        return {L"Inconclusive", L"Integer precision unavailable",
                L"The source is floating point, lossy, or its stored precision is unknown. No padding verdict is made."};
    }

    const double scale = std::ldexp(1.0, static_cast<int>(bits) - 1);
    const std::int32_t storedBits = static_cast<std::int32_t>(bits);
    bool measured = false;
    bool allPadded = true;
    std::int32_t maxGrid = 0;
    std::wstring text;

    for (std::size_t c = 0; c < audio.channels.size(); ++c) {
        const std::vector<double>& samples = audio.channels[c];
        std::uint64_t mask = 0;
        std::uint64_t nonzero = 0;
        for (std::size_t chunk = 0; chunk < samples.size(); chunk += kStopInterval) {
            throwIfStopRequested(stopRequested);
            const std::size_t end = std::min(samples.size(), chunk + kStopInterval);
            for (std::size_t i = chunk; i < end; ++i) {
                const double x = samples[i] * scale;
                // An integer source gives whole numbers, whose rounding is the
                // truncating conversion; anything else takes the full rounding.
                std::int64_t v = 0;
                if (std::fabs(x) < 0x1p62 && static_cast<double>(static_cast<std::int64_t>(x)) == x) {
                    v = static_cast<std::int64_t>(x);
                } else {
                    v = roundToInt64(x);
                }
                // Two's complement: a negative value has the low zero bits of its magnitude.
                mask |= static_cast<std::uint64_t>(v);
                nonzero += v != 0 ? 1 : 0;
            }
        }
        if (samples.empty()) {
            throwIfStopRequested(stopRequested);
        }

        text += L"Channel " + std::to_wstring(c + 1) + L": ";
        if (nonzero < kMinimumNonzero) {
            text += L"too few nonzero samples.\r\n";
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
        text += std::to_wstring(grid) + L"-bit sample grid; " + std::to_wstring(unused) + L" unused low bits; " +
                std::to_wstring(nonzero) + L" nonzero samples.\r\n";
    }
    text += L"Measured over every decoded sample in the analyzed region. Sample alignment does not prove "
            L"recording history. Dither or later processing can hide padding.";

    if (!measured) {
        return {L"Inconclusive", L"Silence or too little signal", std::move(text)};
    }
    if (!allPadded) {
        return {L"No evidence", L"No consistent bit-depth padding", std::move(text)};
    }
    return {L"Evidence found",
            std::to_wstring(storedBits) + L"-bit storage / " + std::to_wstring(maxGrid) + L"-bit grid",
            std::move(text)};
}

} // namespace orvel
