// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace orvel {

// The AAC frame-grid trace with the Kaiser-Bessel-derived long window (alpha
// 4) most AAC encoders use: the AAC-SIN search (1024 offsets, 4 frames each,
// bins 8 .. bandLimit - 1, quiet frames left out) with that window, run once
// on the sum of the first two channels; the best offset re-measured on each
// channel over 24 frames and compared with the same 24 frames at best + 128 j,
// j = 1..7.
struct AacKbdMeasurement {
    double verified = 0.0;  // 24-frame share at the best offset
    double baseline = 0.0;  // median of the seven 24-frame control shares
    double threshold = 0.0;
    std::int32_t channel = 0;
    std::int32_t offset = 0;
    std::int32_t bandLimit = 64;
    bool measured = false; // false when no channel had signal
};

struct AacKbdInput {
    std::vector<std::span<const double>> channels; // the first one or two
    double lsb = 0.0;                               // 0 for floating point: threshold floor 1e-9
    std::int32_t bandLimit = 64;
    std::vector<double> levels; // rms per channel; measured when not one per channel
    // Set (by another thread) when the result is no longer wanted: the search
    // then returns early with nothing measured.
    const std::atomic<bool>* abandoned = nullptr;
};

// Throws Cancelled on a stop (checked every 64 offsets, before the progress
// text "AAC grid (KBD) · 43%").
[[nodiscard]] AacKbdMeasurement searchAacKbdGrid(const AacKbdInput& input, const std::atomic<bool>& stopRequested,
                                                 const std::function<void(const std::string&)>& progress);

// Share of near-zero band coefficients of `frames` KBD frames on offset, as
// the search measures it.
[[nodiscard]] double aacKbdFraction(std::span<const double> samples, std::int32_t offset, std::int32_t frames,
                                    std::int32_t bandLimit, double rms, double threshold);

// verified > 0.08 and verified - baseline > 0.08.
[[nodiscard]] bool aacKbdFound(const AacKbdMeasurement& m);

} // namespace orvel
