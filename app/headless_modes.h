// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <filesystem>
#include <vector>

namespace orvel {

// The headless modes. Each returns the process exit code, creates no Qt
// object and writes nothing to stdout or stderr except the reason for a
// refused output; the exit code and the output file are the only results.
// Output files go through ReplacingFileWriter, so an existing output is never
// left half-written. An output that is an input or existing audio is refused
// (64) before anything is read; a set stop flag ends the mode with 130 and no
// output.
inline constexpr int kHeadlessExitUsage = 64;
inline constexpr int kHeadlessExitInterrupted = 130;

// 0 when every transform test passes, 1 otherwise.
[[nodiscard]] int runMathTestMode();

// Analyses each input in order (a failed one gets a record with its message)
// and writes the JSON report of all of them to outputPath.
// 2 when the report cannot be written, else 1 when any file failed, else 0.
[[nodiscard]] int runAnalyzeTestMode(const std::filesystem::path& outputPath,
                                     const std::vector<std::filesystem::path>& inputs,
                                     const std::atomic<bool>& stopRequested);

// Writes the decoded samples of inputPath as interleaved little-endian
// binary64 values, frame by frame, without a header.
// 1 when decoding (or anything else) fails, with no output created or touched;
// 2 when the output cannot be created or written; else 0.
[[nodiscard]] int runDecodeTestMode(const std::filesystem::path& inputPath, const std::filesystem::path& outputPath,
                                    const std::atomic<bool>& stopRequested);

} // namespace orvel
