// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/file_report.h"
#include "analysis/verdict.h"

namespace orvel {

// The answer for one file, read from its four checks (nothing is measured
// again): what was found and how sure the checks are.

// How sure the answer is. "Likely" only where a check said "Evidence found",
// "Possible" where the strongest said "Possible".
enum class ConclusionLevel { None, Possible, Likely, LossyInput, Inconclusive, Failed };

inline constexpr std::array<ConclusionLevel, 6> kConclusionLevels = {
    ConclusionLevel::None,       ConclusionLevel::Possible,     ConclusionLevel::Likely,
    ConclusionLevel::LossyInput, ConclusionLevel::Inconclusive, ConclusionLevel::Failed};

// One thing the checks point at.
enum class TraceKind { LossySource, Padded, Resampled };

struct ConclusionTrace {
    TraceKind kind = TraceKind::LossySource;
    bool likely = false;               // a check said "Evidence found"; else "Possible"
    std::string codec;                 // LossySource: the codec ORIGIN's trace names, or empty
    std::optional<double> lowpassKhz;  // LossySource seen as a lowpass edge only
    std::string resembles;             // ORIGIN's likely source ("like MP3 128 kb/s"), or empty
    std::int32_t bits = 0;             // Padded: bits of the sample grid
    std::int32_t rateHz = 0;           // Resampled: the source rate
};

struct Conclusion {
    ConclusionLevel level = ConclusionLevel::None;
    std::vector<ConclusionTrace> traces; // the likely ones first; empty unless Possible or Likely
    std::string lossyCodec;              // LossyInput: the file's codec
    std::string reason;                  // Failed: the record's error
};

[[nodiscard]] Conclusion concludeFile(const FileReport& record);

// The one line: "Likely MP3 source", "Likely AAC source, padded from 16-bit",
// "Possible lossy source (lowpass at 16.9 kHz, like MP3 128 kb/s)",
// "Lossy file (MP3)", "Too little content to judge", "No trace found",
// "Not analyzed: REASON".
[[nodiscard]] std::string conclusionText(const Conclusion& conclusion);

// "none", "possible", "likely", "lossy-input", "inconclusive", "failed".
[[nodiscard]] std::string_view conclusionLevelName(ConclusionLevel level);

// Two or three plain sentences: why, and what it means for the file.
[[nodiscard]] std::string conclusionExplanation(const Conclusion& conclusion);

// Findings stand out, a clean file takes the accent, a failure the error tone.
[[nodiscard]] Tone conclusionTone(ConclusionLevel level);

// Conclusions counted for a library: "380 no trace", "20 likely lossy (14 MP3,
// 6 AAC)", "8 padded from 16-bit", "4 not analyzed". A file counts once, under
// its first trace.
class ConclusionCounts {
public:
    void add(const Conclusion& conclusion);
    [[nodiscard]] std::size_t files() const { return m_files; }
    // One text per kind, in a fixed order of kinds.
    [[nodiscard]] std::vector<std::string> kinds() const;
    // "412 files: 380 no trace · 20 likely lossy (14 MP3, 6 AAC) · 4 not analyzed".
    [[nodiscard]] std::string line() const;

private:
    struct Kind {
        int order = 0;
        std::string label;
        std::size_t count = 0;
        std::vector<std::pair<std::string, std::size_t>> details; // in the order first seen
    };
    std::size_t m_files = 0;
    std::vector<Kind> m_kinds;
};

// "1 file" or "N files".
[[nodiscard]] std::string fileCountText(std::size_t files);

} // namespace orvel
