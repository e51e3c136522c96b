// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>

#include "analysis/analysis_options.h"
#include "analysis/analyze_file.h"
#include "analysis/file_report.h"

namespace orvel {

// The analysis of one file as the batch runner calls it.
using AnalyzeFunction =
    std::function<FileReport(const std::filesystem::path&, const std::atomic<bool>&, const ProgressCallback&)>;

// What analyzePath does, as a replacement for it: the same arguments and the
// same promises (only a stop escapes).
using InputAnalysis = std::function<FileReport(const std::filesystem::path&, const std::atomic<bool>&,
                                               const ProgressCallback&, const AnalysisOptions&,
                                               const DecodedAudioHook&)>;

// A record that carries only its file and the reason it has no results.
[[nodiscard]] FileReport failedRecord(const std::filesystem::path& file, std::string error);

// Turns a path into a finished record: the analysis, or a failed record whose
// error is the failure's message (valid UTF-8, never empty). Only a stop
// escapes, as Cancelled. The record's file is the path as given.
[[nodiscard]] FileReport analyzePath(const std::filesystem::path& path, const std::atomic<bool>& stopRequested,
                                     const ProgressCallback& progress, const AnalysisOptions& options = {},
                                     const DecodedAudioHook& withAudio = {});

// The same around another analysis function (tests put their own).
[[nodiscard]] FileReport analyzePathWith(const AnalyzeFunction& analyze, const std::filesystem::path& path,
                                         const std::atomic<bool>& stopRequested, const ProgressCallback& progress);

} // namespace orvel
