// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "analysis/file_report.h"
#include "ui/worker_event.h"

namespace orvel {

// What the worker is given per file: the entry's index and a copy of its path.
struct AnalysisJob {
    int index = -1;
    std::wstring path;
};

// The analysis of one file; analyzeFile in the program.
using AnalyzeFunction =
    std::function<FileReport(const std::wstring&, const std::atomic<bool>&, const ProgressCallback&)>;

// Body of the worker thread. Runs the jobs in order, posting a Progress event
// per stage and a ResultReady event per file (a failed file carries its error),
// and posts Finished exactly once at the end, whether the jobs ran out, a stop
// was seen between files, or the analysis answered a stop with Cancelled.
// stopRequested is only read.
void runAnalysisJobs(std::vector<AnalysisJob> jobs, const std::atomic<bool>& stopRequested,
                     WorkerEventSink& sink, const AnalyzeFunction& analyze);

} // namespace orvel
