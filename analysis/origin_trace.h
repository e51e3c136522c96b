// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/aac_kbd_grid.h"
#include "analysis/codec_grid.h"
#include "analysis/lower_rate.h"
#include "analysis/lowpass_edge.h"
#include "analysis/mp3_grid.h"
#include "analysis/origin.h"

namespace orvel {

// What the traces of ORIGIN share: the input, its level and sample grid, the
// long-term spectrum, and the measurements they fill in.
struct OriginContext {
    const OriginInput& input;
    const std::atomic<bool>& stop;
    const std::function<void(const std::string&)>& progress;
    OriginMeasurements& m;
    std::span<const double> left;
    std::span<const double> right; // empty for mono
    double leftRms = 0.0;
    double rightRms = 0.0;
    double rms = 0.0;     // of the first two channels together
    double seconds = 0.0;
    double gridLsb = 0.0; // step of the measured sample grid; 0 for floating point
    double storedLsb = 0.0;
    std::int32_t bandLimit = 64;
    LongTermSpectrum lts;
    // Set once an earlier trace found a codec's grid: the costlier searches
    // after it cannot change the verdict and are skipped.
    bool gridFound = false;
    // The MP3 and KBD-window AAC searches run together (side by side with two
    // threads); done by whichever of their traces comes first.
    bool classicGridsSearched = false;
    Mp3GridMeasurement mp3;
    AacKbdMeasurement aacKbd;
    // The codec grid searches' first passes, shared by the codecs of the same hop.
    std::vector<CodecGridFirstPass> firstPasses;
    // Codec grids searched ahead on the analysis threads, by row; a row without
    // one is searched when its trace comes.
    std::vector<std::optional<CodecGridMeasurement>> searchedGrids;
};

// What one trace found. Among findings the rule picks the highest status,
// then the highest rank, then among codec grids of equal rank the largest
// excess; that finding gives the verdict, the summary and the source's name.
struct OriginFinding {
    Verdict status = Verdict::NoEvidence;
    std::int32_t rank = 0;
    double excess = 0.0;
    std::string summary;  // when this finding decides
    std::string trace;    // "mp3-grid", ...
    std::string codec;    // the codec a grid names: "MP3", "Vorbis", ...
    std::string leadLine; // evidence line put first when this finding decides
    std::vector<std::string> lines; // evidence lines, always shown
};

// A codec's frame grid confirmed: the finding that names it.
inline void markGridFound(OriginFinding& f, std::int32_t rank, std::string_view summary, std::string_view trace,
                          std::string_view codec)
{
    f.status = Verdict::EvidenceFound;
    f.rank = rank;
    f.summary = summary;
    f.trace = trace;
    f.codec = codec;
}

// One row of the table: its measuring function, in the order the evidence shows them.
struct OriginTrace {
    std::string_view name;
    std::string_view codec; // the codec its grid names; empty for the spectral traces
    OriginFinding (*measure)(OriginContext& context);
};

// The full-band codecs' grid traces (Vorbis, AAC at high bitrates, AC-3), and
// the searches' shapes in the same order.
[[nodiscard]] std::span<const OriginTrace> codecGridTraces();
[[nodiscard]] std::span<const CodecGridShape> codecGridShapes();

// Adds to tasks the codec grids' searches, the costly part of their traces, to
// run ahead on the analysis threads (into c.searchedGrids); the rows sharing a
// first pass in one task. A task stops starting rows once decided is set.
void searchCodecGridsAhead(OriginContext& c, std::vector<std::function<void(bool onCallingThread)>>& tasks,
                           const std::atomic<bool>& decided);

// Fixed-point text in every locale, and the shares as the evidence shows them.
[[nodiscard]] std::string originFixed(double value, int decimals);
[[nodiscard]] std::string originPercent(double share);

} // namespace orvel
