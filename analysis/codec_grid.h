// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <span>
#include <vector>

namespace orvel {

// The common near-zero frame-grid search of the full-band codecs (Vorbis,
// CELT, AC-3, AAC at high bitrates): a decoded frame re-analyzed with the
// codec's own MDCT on its own grid holds far more coefficients under the
// rounding noise of the stored word than on any other grid.
struct CodecGridShape {
    std::vector<double> window; // length 2 x hop
    std::int32_t period = 0;    // offsets searched: 0 .. period - 1
    std::int32_t fold = 0;      // a grid holds only modulo fold (Vorbis's block switching)
    std::int32_t firstBin = 0;
    std::int32_t lastBin = 0; // exclusive
    // Threshold per bin relative to the flat one (CELT's undone de-emphasis
    // shapes the noise); empty for flat.
    std::vector<double> binWeight;
    // Controls at the best offset's eight nearest neighbours instead of spread
    // over the fold, and the first pass's candidate the one that stands out
    // most from its neighbours: for a window with a short support (CELT's) a
    // genuine score moves a lot over the fold but little from one offset to
    // the next, while a codec's grid is a one-sample peak.
    bool localControls = false;
    // The first pass: how many of the loudest search segments (0: the default
    // three), and whether it scores both channels (L, R and M, S from two
    // transforms) rather than the mid channel alone.
    std::size_t firstPassSegments = 0;
    bool firstPassStereo = false;
    // The rule's least excess and z (found: both reached).
    double minExcess = 0.012;
    double minZ = 6.0;
};

struct CodecGridInput {
    std::span<const double> left;
    std::span<const double> right; // empty for mono
    double lsb = 0.0;               // step of the measured sample grid (full scale 1)
    double rms = 0.0;               // of the channels together
    // > 0: left and right hold only the ten segments of a signal this long
    // (codecGridSegments), one after another, each codecGridSegmentSpan long.
    std::int64_t packedLength = 0;
};

struct CodecGridMeasurement {
    bool measured = false;    // false when no segment had signal
    std::int32_t offset = 0;  // best residue, 0 .. fold - 1
    double verified = 0.0;    // near-zero share at the best offset on the verification segments
    double baseline = 0.0;    // median of the seven controls at best + fold m / 8
    double spread = 0.0;      // their standard deviation
    double threshold = 0.0;   // flat near-zero bound in MDCT units
    std::int32_t segments = 0; // verification segments that counted
    // Not verified: the best candidate's lead over the others' median on the
    // search segments (verified, baseline, spread and segments are those) is
    // under the excess a grid needs.
    bool screened = false;
    [[nodiscard]] double excess() const { return verified - baseline; }
    [[nodiscard]] double z() const { return excess() / (spread > 0.001 ? spread : 0.001); }
};

// Twice the MDCT of the rounding noise of a word with step lsb through this
// window: 2 lsb / sqrt(12) sqrt(sum w^2 / 2).
[[nodiscard]] double codecGridThreshold(std::span<const double> window, double lsb);

// The search's first pass: on the two loudest search segments, the near-zero
// share of one frame at every offset (period values each).
struct CodecGridFirstPass {
    std::int32_t period = 0;
    std::int32_t hop = 0;
    std::vector<double> window; // the window it was made with
    std::vector<std::vector<double>> frames;
};

[[nodiscard]] CodecGridFirstPass codecGridFirstPass(const CodecGridShape& shape, const CodecGridInput& input,
                                                    const std::atomic<bool>& stopRequested,
                                                    const std::function<void(const std::string&)>& progress = {},
                                                    const std::string& label = {});

// Five search segments and five verification segments spread over the
// samples, each on a multiple of the period, two consecutive frames each,
// segments under 0.03 of the file's rms left out. The first pass (above, or
// `shared`, another window's of the same period and hop) picks the best few
// residues, scored in full on the search segments; the best is verified
// against seven controls unless it leads the other candidates by less than a
// grid's excess (screened). Progress "LABEL · 50%" per first-pass segment;
// throws Cancelled on a stop (checked every 128 offsets).
[[nodiscard]] CodecGridMeasurement searchCodecGrid(const CodecGridShape& shape, const CodecGridInput& input,
                                                   const std::atomic<bool>& stopRequested,
                                                   const std::function<void(const std::string&)>& progress = {},
                                                   const std::string& label = {},
                                                   const CodecGridFirstPass* shared = nullptr);

// Where the ten segments (search and verification) of a search over `length`
// samples start, quiet or not, and how many samples from there each reads.
[[nodiscard]] std::vector<std::int64_t> codecGridSegments(const CodecGridShape& shape, std::int64_t length);
[[nodiscard]] std::int64_t codecGridSegmentSpan(const CodecGridShape& shape);

// The folded score at one offset on the verification segments (tests).
[[nodiscard]] double codecGridScore(const CodecGridShape& shape, const CodecGridInput& input, std::int32_t offset);

// Verified, excess >= 0.012 and z >= 6 (the shape's own bounds when given).
[[nodiscard]] bool codecGridFound(const CodecGridMeasurement& m);
[[nodiscard]] bool codecGridFound(const CodecGridMeasurement& m, const CodecGridShape& shape);

} // namespace orvel
