// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/analysis_options.h"
#include "analysis/file_report.h"
#include "analysis/sine_mdct.h"
#include "decode/decoded_audio.h"

namespace orvel {

// The AAC-SIN check: an earlier AAC encoding quantised many long-block
// sine-window MDCT coefficients to zero on one 1024-sample frame grid. The
// check measures, for each of the 1024 grid offsets of channels 1 and 2, the
// share of near-zero coefficients in a band of MDCT bins, re-measures the best
// offset over 24 frames and compares it with the median offset. A clearly
// better and clearly sparse alignment gives "Possible". Progress texts read
// "AAC alignment · channel 2 · 43%". Throws Cancelled when stopRequested is
// seen set (checked every 64 offsets of the search, before the progress report).
[[nodiscard]] CheckResult checkAacSin(const DecodedAudio& audio, std::span<const double> powerSpectrum,
                                      std::int32_t strongBinCount, const std::atomic<bool>& stopRequested,
                                      const ProgressCallback& progress, const AnalysisOptions& options = {});

// Ends every evidence text except the lossy-codec one (229 characters).
inline constexpr std::string_view kAacSinCaveat =
    "Experimental: long-block sine-window MDCT fingerprint only. KBD windows, short blocks, resampling, edits, "
    "or noise can evade it. Structured non-AAC signals may also produce sparsity. No evidence is not proof of a "
    "lossless origin.";

struct AacSinCandidate {
    double verifiedFraction = 0.0; // near-zero share over 24 frames at the best offset
    double baselineFraction = 0.0; // median over the 1024 offsets of the 4-frame shares
    double threshold = 0.0;        // the channel's near-zero threshold
    std::int32_t channel = 0;      // zero-based
    std::int32_t offset = 0;       // best frame offset, 0..1023
};

// What nearZeroFraction needs besides the samples: the examined MDCT bins are
// 8 .. bandLimit - 1; frames whose band energy is below 1 % of rms^2 are left out.
struct NearZeroBand {
    std::int32_t bandLimit = 64;
    double rms = 0.0;
    double threshold = 0.0;
};

// Highest spectrum bin above peak x 1e-5, turned into an MDCT bin and kept
// below 80 % of it, clamped to 64..900.
[[nodiscard]] std::int32_t aacSinBandLimit(std::span<const double> powerSpectrum);

// max(rms x 1e-6, floor): the floor is 0.8 of one quantisation step of
// integer samples, 1e-9 for floating-point or unknown precision.
[[nodiscard]] double aacSinNearZeroThreshold(const DecodedAudio& audio, double rms);

// Share of band coefficients below band.threshold in frameCount frames on grid
// offset `offset`, spread evenly over the samples; 0 when no frame counts.
// A pure function of its inputs: mdct and coefficients (>= 1024 doubles) are
// the caller's scratch, so offsets can be measured on several threads, each
// with its own pair.
[[nodiscard]] double nearZeroFraction(std::span<const double> samples, std::int32_t offset, std::int32_t frameCount,
                                      const NearZeroBand& band, SineMdct& mdct, double* coefficients);

// The same fraction, with up to `batch` frames (at most kMaxNearZeroBatch)
// transformed before any is examined, so their band-energy sums can run side
// by side; scratch holds batch x 1024 doubles. Equal to nearZeroFraction for
// every batch.
inline constexpr std::int32_t kMaxNearZeroBatch = 4;
[[nodiscard]] double nearZeroFractionBatched(std::span<const double> samples, std::int32_t offset,
                                             std::int32_t frameCount, const NearZeroBand& band, SineMdct& mdct,
                                             double* scratch, std::int32_t batch);

// The lowest offset among those with the greatest fraction.
[[nodiscard]] std::int32_t bestFrameOffset(std::span<const double> fractions);

// The search baseline: element 512 of the 1024 fractions sorted ascending (the
// upper of the two middle values).
[[nodiscard]] double medianBaseline(std::span<const double> fractions);

// The candidate with the greatest verified - baseline; the earlier one on a tie.
// candidates must not be empty.
[[nodiscard]] const AacSinCandidate& chooseAacSinCandidate(const std::vector<AacSinCandidate>& candidates);

// All three strict bounds: verified > 0.12, verified - baseline > 0.1 and
// verified > (baseline + 0.001) x 5.
[[nodiscard]] bool aacSinBoundsMet(const AacSinCandidate& candidate);

// "Channel 1; best frame offset 517 / 1024. ... Bins 8–741.\r\n" + caveat.
[[nodiscard]] std::string aacSinEvidence(const AacSinCandidate& candidate, std::int32_t bandLimit);

// printf "%.2e" in every locale: 2.44140625e-05 gives "2.44e-05".
[[nodiscard]] std::string formatScientific2(double value);

} // namespace orvel
