// SPDX-License-Identifier: MIT
#include "analysis/aac_kbd_grid.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "analysis/kbd_window.h"
#include "analysis/signal_level.h"
#include "analysis/uninitialized_vector.h"
#include "decode/cancellation.h"

namespace orvel {

namespace {

constexpr std::int32_t kOffsets = 1024;
constexpr std::int32_t kFirstBin = 8;
constexpr std::int32_t kSearchFrames = 4;
constexpr std::int32_t kVerificationFrames = 24;
constexpr std::int32_t kControls = 7;
constexpr std::int32_t kControlStep = 128;
constexpr double kMinimumRms = 1e-7;

const std::vector<double>& longWindow()
{
    static const std::vector<double> window = kbdWindow(2048, 4.0);
    return window;
}

// Where the search's frames start for a signal of n samples: frame f of
// offset o starts at o + 1024 + f * step.
std::int64_t searchStep(std::int64_t n, std::int32_t frameCount)
{
    return std::max<std::int64_t>((n - 3072) / 1024 / frameCount, 1) * 1024;
}

double fraction(std::span<const double> samples, std::int32_t offset, std::int32_t frameCount,
                std::int32_t bandLimit, double rms, double threshold, WindowedMdct& mdct, double* c)
{
    const auto n = static_cast<std::int64_t>(samples.size());
    const std::int64_t step = searchStep(n, frameCount);
    const double quietEnergy = rms * rms * 0.01;
    std::int64_t zeros = 0;
    std::int64_t total = 0;
    for (std::int32_t f = 0; f < frameCount; ++f) {
        const std::int64_t start = std::int64_t{offset} + 1024 + f * step;
        if (start + 2048 > n) {
            continue;
        }
        mdct.forward(samples.data(), start, c);
        // Four running sums of the band energy, and the count, side by side.
        std::array<double, 4> energy{};
        std::array<std::int32_t, 4> small{};
        std::int32_t k = kFirstBin;
        for (; k + 4 <= bandLimit; k += 4) {
            for (std::int32_t l = 0; l < 4; ++l) {
                const double v = c[k + l];
                energy[static_cast<std::size_t>(l)] += v * v;
                small[static_cast<std::size_t>(l)] += threshold > std::fabs(v) ? 1 : 0;
            }
        }
        for (; k < bandLimit; ++k) {
            energy[0] += c[k] * c[k];
            small[0] += threshold > std::fabs(c[k]) ? 1 : 0;
        }
        if (quietEnergy > (energy[0] + energy[1]) + (energy[2] + energy[3])) {
            continue;
        }
        const std::int32_t below = small[0] + small[1] + small[2] + small[3];
        zeros += below;
        total += bandLimit - kFirstBin;
    }
    return total == 0 ? 0.0 : static_cast<double>(zeros) / static_cast<double>(total);
}

// The mean of two channels, written only where the search reads it (a few
// frames of each of its four places), and its rms over every sample with the
// sums signalRms forms, so the result has the bits of signalRms(mean).
double writeSearchedMid(std::span<const double> left, std::span<const double> right, std::span<double> mid)
{
    const std::size_t n = mid.size();
    std::array<double, 4> sums{};
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        for (std::size_t l = 0; l < 4; ++l) {
            const double m = 0.5 * (left[i + l] + right[i + l]);
            sums[l] += m * m;
        }
    }
    for (; i < n; ++i) {
        const double m = 0.5 * (left[i] + right[i]);
        sums[0] += m * m;
    }
    const std::int64_t step = searchStep(static_cast<std::int64_t>(n), kSearchFrames);
    for (std::int32_t f = 0; f < kSearchFrames; ++f) {
        const std::int64_t from = std::min<std::int64_t>(1024 + f * step, static_cast<std::int64_t>(n));
        const std::int64_t to = std::min<std::int64_t>(from + (kOffsets - 1) + 2048, static_cast<std::int64_t>(n));
        for (auto j = static_cast<std::size_t>(from); j < static_cast<std::size_t>(to); ++j) {
            mid[j] = 0.5 * (left[j] + right[j]);
        }
    }
    return n == 0 ? 0.0 : std::sqrt(((sums[0] + sums[1]) + (sums[2] + sums[3])) / static_cast<double>(n));
}

} // namespace

double aacKbdFraction(std::span<const double> samples, std::int32_t offset, std::int32_t frames,
                      std::int32_t bandLimit, double rms, double threshold)
{
    WindowedMdct mdct(longWindow());
    std::vector<double> c(1024);
    return fraction(samples, offset, frames, bandLimit, rms, threshold, mdct, c.data());
}

bool aacKbdFound(const AacKbdMeasurement& m)
{
    return m.measured && m.verified > 0.08 && m.verified - m.baseline > 0.08;
}

AacKbdMeasurement searchAacKbdGrid(const AacKbdInput& input, const std::atomic<bool>& stopRequested,
                                   const std::function<void(const std::string&)>& progress)
{
    WindowedMdct mdct(longWindow());
    std::vector<double> c(1024);
    AacKbdMeasurement chosen;
    chosen.bandLimit = input.bandLimit;
    const double floor = input.lsb > 0.0 ? 0.8 * input.lsb : 1e-9;
    std::vector<double> levels = input.levels;
    if (levels.size() != input.channels.size()) {
        levels.clear();
        for (const std::span<const double> samples : input.channels) {
            levels.push_back(signalRms(samples));
        }
    }
    // The search runs once, on the channels' sum: a frame grid the encoder
    // imposed on both channels is in their sum too (as zeros of M where M/S
    // coding was used). Each channel is then verified at the best offset.
    UninitializedVector<double> mid;
    std::span<const double> searched = input.channels.empty() ? std::span<const double>{} : input.channels[0];
    double searchedRms = 0.0;
    if (input.channels.size() >= 2 && levels[0] >= kMinimumRms && levels[1] >= kMinimumRms) {
        mid.resize(input.channels[0].size());
        searchedRms = writeSearchedMid(input.channels[0], input.channels[1], mid);
        searched = mid;
    } else {
        if (input.channels.size() >= 2 && levels[0] < kMinimumRms) {
            searched = input.channels[1];
        }
        searchedRms = signalRms(searched);
    }
    if (searchedRms < kMinimumRms) {
        return chosen;
    }
    const double searchThreshold = std::max(searchedRms * 1e-6, floor);
    std::vector<double> shares(kOffsets);
    for (std::int32_t o = 0; o < kOffsets; ++o) {
        if (o % 64 == 0) {
            throwIfStopRequested(stopRequested);
            if (input.abandoned != nullptr && input.abandoned->load()) {
                return AacKbdMeasurement{};
            }
            if (progress) {
                progress("AAC grid (KBD) \u00B7 " + std::to_string(o * 100 / kOffsets) + "%");
            }
        }
        shares[static_cast<std::size_t>(o)] =
            fraction(searched, o, kSearchFrames, input.bandLimit, searchedRms, searchThreshold, mdct, c.data());
    }
    const auto best = static_cast<std::int32_t>(std::max_element(shares.begin(), shares.end()) - shares.begin());
    throwIfStopRequested(stopRequested);

    for (std::size_t ch = 0; ch < input.channels.size() && ch < 2; ++ch) {
        const std::span<const double> samples = input.channels[ch];
        const double rms = levels[ch];
        if (rms < kMinimumRms) {
            continue;
        }
        const double threshold = std::max(rms * 1e-6, floor);
        const double verified =
            fraction(samples, best, kVerificationFrames, input.bandLimit, rms, threshold, mdct, c.data());
        std::vector<double> controls;
        for (std::int32_t j = 1; j <= kControls; ++j) {
            controls.push_back(fraction(samples, (best + kControlStep * j) % kOffsets, kVerificationFrames,
                                        input.bandLimit, rms, threshold, mdct, c.data()));
        }
        std::sort(controls.begin(), controls.end());
        const double baseline = controls[kControls / 2];
        if (!chosen.measured || verified - baseline > chosen.verified - chosen.baseline) {
            chosen.verified = verified;
            chosen.baseline = baseline;
            chosen.threshold = threshold;
            chosen.channel = static_cast<std::int32_t>(ch);
            chosen.offset = best;
            chosen.measured = true;
        }
    }
    return chosen;
}

} // namespace orvel
