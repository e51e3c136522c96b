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

#include "analysis/analysis_options.h"
#include "analysis/file_report.h"
#include "analysis/verdict.h"
#include "decode/decoded_audio.h"

namespace orvel {

// The ORIGIN check: traces a lossy encoder or a resampler left in audio that
// is now stored losslessly, from the decoded samples and the analysis
// spectrum: the frame grids of MP3, AAC (KBD window, or the sine window
// AAC-SIN found), Vorbis, AC-3 and Opus, a lossy-style lowpass edge, and the
// boundary of a lower source rate. Each trace is one row of a table; one rule
// picks the verdict and the name from what they found.

// Every number behind the verdict; empty where the trace was not measured.
struct OriginMeasurements {
    // Lowpass edge.
    std::optional<double> lowpassKhz;          // 0.1 kHz resolution
    std::optional<double> lowpassSteepness;    // dB per kHz
    std::optional<double> lowpassAboveShare;   // share of active frames reaching above the edge
    std::optional<double> lowpassFloorOverNoiseDb; // band above the edge over the stored word's rounding noise
    std::optional<std::int32_t> lowpassActiveFrames;
    std::string lowpassResembles;              // "like a lossy encoder at about 96-160 kb/s", or empty
    // The codec a grid named ("MP3", "AAC", "Vorbis", "AC-3"); else what the lowpass resembles.
    std::string likelySource;
    // MP3 frame grid.
    std::optional<double> mp3NearZero;         // at the best offset
    std::optional<double> mp3Baseline;         // median of the controls
    std::optional<double> mp3Spread;           // standard deviation of the controls
    std::optional<double> mp3SamePhase;        // the control on the best's polyphase phase
    std::optional<double> mp3Z;
    std::optional<std::int32_t> mp3Offset;     // 0..575
    // AAC frame grid, KBD window.
    std::optional<double> aacKbdNearZero;
    std::optional<double> aacKbdBaseline;      // median of the 24-frame controls
    std::optional<std::int32_t> aacKbdOffset;  // 0..1023
    std::optional<std::int32_t> aacKbdChannel; // zero-based
    // The full-band codecs' grids, each under its key ("vorbis", "aac_ms",
    // "ac3", "opus"), in the order searched.
    struct CodecGrid {
        std::string key;
        double nearZero = 0.0; // at the best offset
        double baseline = 0.0; // median of the seven controls
        double spread = 0.0;   // their standard deviation
        double z = 0.0;
        std::int32_t offset = 0;
    };
    std::vector<CodecGrid> codecGrids;
    // Lower-rate source.
    std::optional<std::int32_t> lowerRateSourceHz;
    std::optional<double> lowerRateEdgeKhz;
    std::optional<double> lowerRateDropDb;
    std::optional<double> lowerRateSteepness;
    // For images mirrored about the source Nyquist: how their fine structure
    // follows the content's, frame by frame.
    std::optional<double> lowerRateMirrorCorrelation;
    // Sample grid the thresholds used (bits; 0 for floating point).
    std::optional<std::int32_t> sampleGridBits;
    // The trace behind the verdict: "mp3-grid", "aac-kbd-grid", "aac-sin-grid",
    // "vorbis-grid", "aac-ms-grid", "ac3-grid", "opus-grid", "lowpass",
    // "lower-rate", or empty.
    std::string trace;
};

// Like CheckResult, with every number behind it; evidence lines separated by CR LF.
struct OriginResult {
    Verdict status = Verdict::None;
    std::string summary;
    std::string evidence;
    OriginMeasurements m;
};

// The record's share of the measurements: the cutoff, the likely source, the
// trace and every number under a stable name ("mp3_near_zero", ...).
[[nodiscard]] OriginFacts originFacts(const OriginMeasurements& m);

struct OriginInput {
    std::vector<std::span<const double>> channels; // all channels; the first two are used
    std::int32_t sampleRate = 0;
    std::uint32_t bitsPerSample = 0; // 0: unknown or lossy
    bool integerSamples = true;
    bool lossyCodec = false;
    std::string codec;
    std::span<const double> powerSpectrum; // the analysis's 2049-bin spectrum of the first two channels
    bool aacSinFound = false;              // the AAC-SIN check said "Possible"
    AnalysisOptions options;               // threads: the two grid searches side by side from 2
};

// The input from what analyzeFile has: the decoded audio, its combined
// spectrum and the AAC-SIN verdict word.
[[nodiscard]] OriginInput originInput(const DecodedAudio& audio, std::span<const double> powerSpectrum,
                                      bool aacSinFound);

// Progress texts "Lowpass edge", "MP3 grid · 37%", "AAC grid (KBD) · 43%",
// "Vorbis grid · 40%", "AAC grid (mid/side) · 0%", "AC-3 grid · 80%", on the
// calling thread. With input.options allowing 2 threads the two grid searches
// run side by side; the result is the same for any thread count. Throws
// Cancelled when stop is seen set (well within 50 ms of work).
[[nodiscard]] OriginResult checkOrigin(const OriginInput& input, const std::atomic<bool>& stop,
                                       const std::function<void(const std::string&)>& progress);

// The codec whose frame grid a trace is ("MP3" for "mp3-grid"), or empty for
// a trace that names no codec (a lowpass edge, a lower rate).
[[nodiscard]] std::string_view traceCodec(std::string_view trace);

// Ends every evidence text except the lossy-input one.
inline constexpr const char* kOriginCaveat =
    "Experimental: codec and resampler traces are clues, not proof. Other encoders, settings, resampling, "
    "edits, or noise can evade them, and filtering or naturally quiet highs can look like a lowpass. No "
    "evidence is not proof of a lossless origin.";

} // namespace orvel
