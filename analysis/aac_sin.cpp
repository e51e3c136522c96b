// SPDX-License-Identifier: MIT
#include "analysis/aac_sin.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "analysis/alignment_search.h"
#include "analysis/avx2_clones.h"
#include "analysis/analysis_options.h"
#include "text/format_number.h"
#include "decode/cancellation.h"

namespace orvel {

namespace {

constexpr std::int32_t kOffsets = 1024;
constexpr std::int32_t kFirstBin = 8;
constexpr std::int32_t kVerificationFrames = 24;
constexpr double kMinimumRms = 1e-7;

CheckResult insufficientBroadband()
{
    return {Verdict::Inconclusive, "Insufficient broadband audio",
            "At least 2 seconds of broadband material is needed. " + std::string(kAacSinCaveat), {}};
}

std::string progressText(std::int32_t channel, std::int32_t offset)
{
    return "AAC alignment \u00B7 channel " + std::to_string(channel + 1) + " \u00B7 " +
           std::to_string(offset * 100 / kOffsets) + "%";
}

double rootMeanSquare(std::span<const double> samples)
{
    double sum = 0.0;
    for (const double x : samples) {
        sum += x * x;
    }
    return std::sqrt(sum / static_cast<double>(samples.size()));
}

} // namespace

std::int32_t aacSinBandLimit(std::span<const double> powerSpectrum)
{
    const double peak = powerSpectrum.empty() ? 0.0 : *std::max_element(powerSpectrum.begin(), powerSpectrum.end());
    const double cutoff = peak * 1e-5;
    std::size_t highest = 0;
    for (std::size_t i = powerSpectrum.size(); i-- > 0;) {
        if (powerSpectrum[i] > cutoff) {
            highest = i;
            break;
        }
    }
    const auto limit = static_cast<std::int32_t>(static_cast<double>(highest) * 0.5 * 0.8);
    return std::clamp(limit, 64, 900);
}

double aacSinNearZeroThreshold(const DecodedAudio& audio, double rms)
{
    const double floor = audio.integerSamples && audio.bitsPerSample > 0
                             ? 0.8 * std::ldexp(1.0, 1 - static_cast<int>(audio.bitsPerSample))
                             : 1e-9;
    return std::max(rms * 1e-6, floor);
}

namespace {

// Compiled once more for AVX2: the count is most of a frame's work outside the transform.
KESTRONE_AVX2_CLONES std::int32_t countBelow(double threshold, const double* c, std::int32_t first, std::int32_t limit)
{
    std::int32_t below = 0;
    for (std::int32_t k = first; k < limit; ++k) {
        below += threshold > std::fabs(c[k]) ? 1 : 0;
    }
    return below;
}

} // namespace

double nearZeroFraction(std::span<const double> samples, std::int32_t offset, std::int32_t frameCount,
                        const NearZeroBand& band, SineMdct& mdct, double* coefficients)
{
    return nearZeroFractionBatched(samples, offset, frameCount, band, mdct, coefficients, 1);
}

double nearZeroFractionBatched(std::span<const double> samples, std::int32_t offset, std::int32_t frameCount,
                               const NearZeroBand& band, SineMdct& mdct, double* scratch, std::int32_t batch)
{
    constexpr std::int32_t kCount = SineMdct::kCoefficientCount;
    batch = std::clamp(batch, 1, kMaxNearZeroBatch);
    const auto n = static_cast<std::int32_t>(samples.size());
    // A multiple of 1024, so every frame keeps the grid phase `offset`.
    const std::int32_t step = std::max((n - 3072) / 1024 / frameCount, 1) * 1024;
    const double quietEnergy = band.rms * band.rms * 0.01;
    const std::int32_t first = kFirstBin;
    const std::int32_t limit = band.bandLimit;
    std::int32_t zeros = 0;
    std::int32_t total = 0;
    for (std::int32_t f0 = 0; f0 < frameCount; f0 += batch) {
        std::int32_t ready = 0;
        for (std::int32_t f = f0; f < frameCount && f < f0 + batch; ++f) {
            const std::int64_t start = std::int64_t{offset} + 1024 + std::int64_t{f} * step;
            if (start + 2048 > n) {
                continue;
            }
            mdct.forward(samples.data(), static_cast<std::int32_t>(start), scratch + ready * kCount);
            ++ready;
        }

        // Each frame's band energy is its own sum in increasing k; with four
        // frames the four sums advance side by side instead of one after the
        // other, which changes no sum.
        std::array<double, kMaxNearZeroBatch> energy{};
        if (ready == 4) {
            const double* c0 = scratch;
            const double* c1 = scratch + kCount;
            const double* c2 = scratch + 2 * kCount;
            const double* c3 = scratch + 3 * kCount;
            double e0 = 0.0;
            double e1 = 0.0;
            double e2 = 0.0;
            double e3 = 0.0;
            for (std::int32_t k = first; k < limit; ++k) {
                e0 += c0[k] * c0[k];
                e1 += c1[k] * c1[k];
                e2 += c2[k] * c2[k];
                e3 += c3[k] * c3[k];
            }
            energy = {e0, e1, e2, e3};
        } else {
            for (std::int32_t i = 0; i < ready; ++i) {
                const double* c = scratch + i * kCount;
                double e = 0.0;
                for (std::int32_t k = first; k < limit; ++k) {
                    e += c[k] * c[k];
                }
                energy[static_cast<std::size_t>(i)] = e;
            }
        }

        for (std::int32_t i = 0; i < ready; ++i) {
            // Quiet frames are left out rather than counted as sparse.
            if (quietEnergy > energy[static_cast<std::size_t>(i)]) {
                continue;
            }
            zeros += countBelow(band.threshold, scratch + i * kCount, first, limit);
            total += limit > first ? limit - first : 0;
        }
    }
    return total == 0 ? 0.0 : static_cast<double>(zeros) / static_cast<double>(total);
}

std::int32_t bestFrameOffset(std::span<const double> fractions)
{
    // max_element keeps the first of equal maxima.
    return static_cast<std::int32_t>(std::max_element(fractions.begin(), fractions.end()) - fractions.begin());
}

double medianBaseline(std::span<const double> fractions)
{
    std::vector<double> sorted(fractions.begin(), fractions.end());
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
}

const AacSinCandidate& chooseAacSinCandidate(const std::vector<AacSinCandidate>& candidates)
{
    std::size_t chosen = 0;
    for (std::size_t i = 1; i < candidates.size(); ++i) {
        if (candidates[i].verifiedFraction - candidates[i].baselineFraction >
            candidates[chosen].verifiedFraction - candidates[chosen].baselineFraction) {
            chosen = i;
        }
    }
    return candidates[chosen];
}

bool aacSinBoundsMet(const AacSinCandidate& candidate)
{
    const double verified = candidate.verifiedFraction;
    const double baseline = candidate.baselineFraction;
    return verified > 0.12 && verified - baseline > 0.1 && verified > (baseline + 0.001) * 5.0;
}

std::string formatScientific2(double value)
{
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::scientific, 2);
    return std::string(buffer.data(), result.ptr);
}

std::string aacSinEvidence(const AacSinCandidate& candidate, std::int32_t bandLimit)
{
    return "Channel " + std::to_string(candidate.channel + 1) + "; best frame offset " +
           std::to_string(candidate.offset) + " / 1024. Near-zero fraction (24 verification frames): " +
           formatNumber(candidate.verifiedFraction * 100.0, 2) + "%; median search baseline: " +
           formatNumber(candidate.baselineFraction * 100.0, 2) + "%. Threshold: " +
           formatScientific2(candidate.threshold) + ". Bins 8\u2013" + std::to_string(bandLimit - 1) + ".\r\n" +
           std::string(kAacSinCaveat);
}

CheckResult checkAacSin(const DecodedAudio& audio, std::span<const double> powerSpectrum, std::int32_t strongBinCount,
                        const std::atomic<bool>& stopRequested, const ProgressCallback& progress,
                        const AnalysisOptions& options)
{
    const std::size_t firstLength = audio.channels.empty() ? 0 : audio.channels.front().size();
    if (static_cast<std::int64_t>(firstLength) < 2 * std::int64_t{audio.sampleRate} || strongBinCount < 100) {
        return insufficientBroadband();
    }
    if (audio.lossyCodec) {
        return {Verdict::NotApplicable, "Input is already a lossy codec",
                "Transcoding analysis is intended for lossless containers. Input codec: " + audio.codec, {}};
    }

    const std::int32_t bandLimit = aacSinBandLimit(powerSpectrum);
    AlignmentSearch search(options.threadCount(), {}, options.transforms);
    std::vector<double> fractions(kOffsets);
    std::vector<AacSinCandidate> candidates;

    const std::size_t examined = std::min<std::size_t>(audio.channels.size(), 2);
    for (std::size_t c = 0; c < examined; ++c) {
        const std::span<const double> samples = audio.channels[c];
        const auto channel = static_cast<std::int32_t>(c);
        const double rms = rootMeanSquare(samples);
        if (rms < kMinimumRms) {
            continue;
        }
        const NearZeroBand band{bandLimit, rms, aacSinNearZeroThreshold(audio, rms)};

        // Every 64 offsets, on this thread: the stop check, then the progress text.
        search.run(samples, band, fractions, [&](std::int32_t offset) {
            throwIfStopRequested(stopRequested);
            if (progress) {
                progress(progressText(channel, offset));
            }
        });

        const std::int32_t best = bestFrameOffset(fractions);
        const double baseline = medianBaseline(fractions);
        const double verified = nearZeroFractionBatched(samples, best, kVerificationFrames, band, search.mdct(),
                                                        search.scratch(), kMaxNearZeroBatch);
        candidates.push_back({verified, baseline, band.threshold, channel, best});
    }

    if (candidates.empty()) {
        return {Verdict::Inconclusive, "Signal level too low", std::string(kAacSinCaveat), {}};
    }
    const AacSinCandidate& chosen = chooseAacSinCandidate(candidates);
    std::string evidence = aacSinEvidence(chosen, bandLimit);
    std::vector<Measurement> measurements{{"band_limit", static_cast<double>(bandLimit)}};
    for (const AacSinCandidate& candidate : candidates) {
        const std::string prefix = "channel" + std::to_string(candidate.channel + 1) + "_";
        measurements.push_back({prefix + "best_offset", static_cast<double>(candidate.offset)});
        measurements.push_back({prefix + "verified_fraction", candidate.verifiedFraction});
        measurements.push_back({prefix + "baseline_fraction", candidate.baselineFraction});
        measurements.push_back({prefix + "threshold", candidate.threshold});
    }
    measurements.push_back({"chosen_channel", static_cast<double>(chosen.channel + 1)});
    if (aacSinBoundsMet(chosen)) {
        return {Verdict::Possible, "AAC sine-window fingerprint", std::move(evidence), std::move(measurements)};
    }
    return {Verdict::NoEvidence, "No stable AAC-SIN fingerprint", std::move(evidence), std::move(measurements)};
}

} // namespace orvel
