// SPDX-License-Identifier: MIT
#include "analysis/bandwidth_boundary.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "text/format_number.h"

namespace orvel {

namespace {

constexpr std::array<std::int32_t, 11> kSourceRates{8000,  11025, 12000, 16000, 22050, 24000,
                                                    32000, 44100, 48000, 88200, 96000};
constexpr double kMinimumSeconds = 2.0;
constexpr std::int32_t kMinimumStrongBins = 100;
constexpr double kVerdictDb = 35.0;
constexpr double kTiny = 1e-30;

} // namespace

double bandMean(std::span<const double> spectrum, double binWidthHz, double lowHz, double highHz)
{
    const auto n = static_cast<std::int64_t>(spectrum.size());
    if (n == 0) {
        return 0.0;
    }
    const auto a = static_cast<std::int64_t>(lowHz / binWidthHz);
    const auto b = static_cast<std::int64_t>(highHz / binWidthHz);
    const std::int64_t start = a > n - 1 ? n - 1 : std::max<std::int64_t>(a, 1);
    const std::int64_t end = b > n ? n : std::max<std::int64_t>(b, start + 1);
    double sum = 0.0;
    for (std::int64_t i = start; i < end; ++i) {
        sum += spectrum[static_cast<std::size_t>(i)];
    }
    return sum / static_cast<double>(end - start);
}

CheckResult checkBandwidthBoundary(const DecodedAudio& audio, std::span<const double> powerSpectrum,
                                   std::int32_t strongBinCount)
{
    const double fs = static_cast<double>(audio.sampleRate);
    const double samples = audio.channels.empty() ? 0.0 : static_cast<double>(audio.channels.front().size());
    // The negated form also sends a zero rate (NaN duration) to "Inconclusive".
    if (!(samples / fs >= kMinimumSeconds)) {
        return {Verdict::Inconclusive, "Clip is shorter than 2 seconds",
                "Too little material for a meaningful bandwidth verdict. Sample precision is still measured "
                "independently.", {}};
    }
    std::vector<Measurement> measurements{{"strong_bins", static_cast<double>(strongBinCount)}};
    if (strongBinCount < kMinimumStrongBins) {
        return {Verdict::Inconclusive, "Silence or narrow-band signal",
                "Only " + std::to_string(strongBinCount) +
                    " FFT bins are within 40 dB of the peak. Pure tones and sparse signals do not establish "
                    "resampling.",
                std::move(measurements)};
    }

    const double binWidth = fs * 0.000244140625;
    const double peak = powerSpectrum.empty() ? 0.0 : *std::max_element(powerSpectrum.begin(), powerSpectrum.end());
    double best = 0.0;
    std::int32_t bestRate = 0;
    for (const std::int32_t rate : kSourceRates) {
        if (rate >= 0.95 * fs) {
            continue;
        }
        const double boundary = rate * 0.5;
        const double below = bandMean(powerSpectrum, binWidth, boundary * 0.8, boundary * 0.94);
        const double above = bandMean(powerSpectrum, binWidth, boundary * 1.02, std::min(fs * 0.499, boundary * 1.15));
        const double drop = 10.0 * std::log10((below + kTiny) / (above + kTiny));
        if (below > peak * 0.0001) {
            measurements.push_back({"drop_db_" + std::to_string(rate), drop});
        }
        // Strictly steeper only: on equal drops the earlier rate stays.
        if (below > peak * 0.0001 && drop > best) {
            best = drop;
            bestRate = rate;
        }
    }

    measurements.push_back({"strongest_drop_db", best});
    measurements.push_back({"strongest_drop_source_rate_hz", static_cast<double>(bestRate)});
    if (best >= kVerdictDb) {
        return {Verdict::Possible, "Bandwidth compatible with " + formatNumber(bestRate / 1000.0, 3) + " kHz source",
                "Measured " + formatNumber(best, 1) + " dB decrease across " + formatNumber(bestRate / 2000.0, 3) +
                    " kHz. Upsampling, filtering, and naturally limited bandwidth can look alike. Uses up to 96 "
                    "Hann-windowed 4096-sample frames per channel (first two channels).",
                std::move(measurements)};
    }
    return {Verdict::NoEvidence, "No strong standard-rate boundary",
            "Strongest tested boundary drop: " + formatNumber(best, 1) +
                " dB. Only standard source rates are tested. Other resampling or filtering is not ruled out.",
            std::move(measurements)};
}

} // namespace orvel
