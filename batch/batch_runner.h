// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "analysis/analysis_options.h"
#include "analysis/file_report.h"
#include "batch/analyze_path.h"
#include "batch/input_walker.h"

namespace orvel {

struct BatchSettings {
    unsigned jobs = 1;         // files analysed at a time, each on its own thread
    AnalysisOptions analysis;  // how each file is analysed
    bool keepSpectrum = true;  // false drops each record's spectrumDb as soon as it is made
    AnalyzeFunction analyze;   // empty: analyzeInput, else analyzePath with `analysis`
    // Stands in for analyzePath with the same arguments, the options of each
    // input and withAudio included (the results cache answers through it).
    InputAnalysis analyzeInput;
    // Called on the analysing thread with an input's index, its decoded audio
    // and its record, before the record is handed over (pictures use it; see
    // BatchPictures). Not called for files that fail or for `analyze`.
    std::function<void(std::size_t, const DecodedAudio&, FileReport&)> withAudio;
    std::chrono::milliseconds tick{100};
};

struct BatchProgress {
    std::size_t finished = 0;    // inputs with a record, or given up after a stop
    std::size_t latestIndex = 0; // input whose stage was reported last
    std::string latestStage;     // empty until a stage was reported
};

// What a batch tells its caller. Every call comes on the thread that runs
// the batch, in the order things happened: a file's stages before its
// record, and records strictly in input order.
class BatchObserver {
public:
    virtual ~BatchObserver() = default;
    virtual void stage(std::size_t index, const std::string& text);
    // The finished record of input index; each input at most once.
    virtual void record(std::size_t index, FileReport&& record) = 0;
    // After each round of calls above, and at least every tick while files
    // are analysed; delivered tells whether the round handed over a record.
    virtual void tick(const BatchProgress& progress, bool delivered);
};

// Analyses the inputs on settings.jobs threads that take files in input
// order, so at most that many files are decoded at a time, and hands each
// record to the observer in input order. An input with an error gets a failed
// record without being opened. A set stop flag ends the run: no further file
// starts, files in flight end with Cancelled and get no record, and records
// complete behind such a file are still handed over, in order. No file starts
// more than kBatchLookAhead places behind the first record not yet handed
// over, so the records waiting for their turn stay few however long the list
// (failed inputs finish far faster than records are written). The outcome
// does not depend on the thread count. Returns once every thread has ended.
void runBatch(std::size_t count, const InputAt& inputAt, const BatchSettings& settings,
              const std::atomic<bool>& stopRequested, BatchObserver& observer);
void runBatch(const std::vector<BatchInput>& inputs, const BatchSettings& settings,
              const std::atomic<bool>& stopRequested, BatchObserver& observer);

inline constexpr std::size_t kBatchLookAhead = 256;

} // namespace orvel
