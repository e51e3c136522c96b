// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <filesystem>

#include "analysis/analysis_options.h"
#include "analysis/file_report.h"

namespace orvel {

// Decodes the analysed region of one file and runs the four checks. Reports
// "Decoding audio", "Measuring sample precision", "Measuring frequency content",
// the AAC alignment texts and ORIGIN's texts through progress. Throws Cancelled on a stop,
// and lets decoding errors (std::runtime_error, UTF-8 message) pass unchanged.
[[nodiscard]] FileReport analyzeFile(const std::filesystem::path& path, const std::atomic<bool>& stopRequested,
                                     const ProgressCallback& progress, const AnalysisOptions& options = {});

} // namespace orvel
