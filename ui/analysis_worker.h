// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <filesystem>
#include <vector>

#include "batch/analyze_path.h"
#include "ui/worker_event.h"

namespace orvel {

// What the worker is given per file: the entry's index and a copy of its path.
struct AnalysisJob {
    int index = -1;
    std::filesystem::path path;
};

// Body of the worker thread: the jobs run as one batch of one file at a time.
// Posts a Progress event per stage and a ResultReady event per file (a failed
// file carries its error), and Finished exactly once at the end, whether the
// jobs ran out, a stop was seen between files, or the analysis answered a
// stop with Cancelled. stopRequested is only read. An empty analyze runs
// analyzePath.
void runAnalysisJobs(std::vector<AnalysisJob> jobs, const std::atomic<bool>& stopRequested,
                     WorkerEventSink& sink, const AnalyzeFunction& analyze);

} // namespace orvel
