// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>

#include "analysis/analysis_options.h"
#include "analysis/file_report.h"
#include "decode/decoded_audio.h"

namespace orvel {

// Called with the decoded audio and the finished record while the audio is
// still in memory, so more can be made of it (a picture) without decoding twice.
// It may add to the record; a Cancelled it throws passes on.
using DecodedAudioHook = std::function<void(const DecodedAudio&, FileReport&)>;

// Decodes the analysed region of one file and runs the four checks. Reports
// "Decoding audio", "Measuring sample precision", "Measuring frequency content",
// the AAC alignment texts and ORIGIN's texts through progress. Throws Cancelled on a stop,
// and lets decoding errors (std::runtime_error, UTF-8 message) pass unchanged.
[[nodiscard]] FileReport analyzeFile(const std::filesystem::path& path, const std::atomic<bool>& stopRequested,
                                     const ProgressCallback& progress, const AnalysisOptions& options = {},
                                     const DecodedAudioHook& withAudio = {});

} // namespace orvel
