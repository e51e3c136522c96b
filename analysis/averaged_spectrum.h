// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "analysis/analysis_options.h"

namespace orvel {

inline constexpr std::size_t kSpectrumFrameLength = 4096;
inline constexpr std::size_t kSpectrumBins = 2049;
inline constexpr std::uint64_t kSpectrumMaxFrames = 96;

// Frames that averagedPowerSpectrum uses for a channel of sampleCount samples:
// 0 below 4096, then one more per 2048 samples, at most 96.
[[nodiscard]] std::uint64_t spectrumFrameCount(std::uint64_t sampleCount);

// First sample of frame `frame` of `frameCount`: spread evenly so that the
// first frame starts at 0 and the last one ends at the last sample.
[[nodiscard]] std::uint64_t spectrumFrameStart(std::uint64_t sampleCount, std::uint64_t frameCount,
                                               std::uint64_t frame);

// Linear power of bins 0..2048 (bin j at j x rate / 4096 Hz), averaged over the
// symmetric-Hann-windowed 4096-sample frames above. Unnormalised: only ratios
// between bins mean something. A channel shorter than 4096 samples gives zeros.
// Throws Cancelled when stopRequested is seen set before a frame.
[[nodiscard]] std::vector<double> averagedPowerSpectrum(std::span<const double> samples,
                                                        const std::atomic<bool>& stopRequested,
                                                        Transforms transforms = Transforms::Fast);

} // namespace orvel
