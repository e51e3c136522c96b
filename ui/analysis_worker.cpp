// SPDX-License-Identifier: MIT
#include "ui/analysis_worker.h"

#include <exception>
#include <memory>
#include <utility>

#include "decode/cancellation.h"
#include "report/utf8.h"

namespace orvel {

void runAnalysisJobs(std::vector<AnalysisJob> jobs, const std::atomic<bool>& stopRequested,
                     WorkerEventSink& sink, const AnalyzeFunction& analyze)
{
    for (const AnalysisJob& job : jobs) {
        // A stop seen here only leaves the loop: the one Finished below ends the run.
        if (stopRequested.load()) {
            break;
        }
        auto record = std::make_unique<FileReport>();
        record->file = job.path;
        const int index = job.index;
        const ProgressCallback progress = [&sink, index](const std::wstring& stage) {
            auto event = std::make_unique<WorkerEvent>();
            event->kind = WorkerEvent::Kind::Progress;
            event->index = index;
            event->stage = stage;
            sink.post(std::move(event));
        };
        try {
            *record = analyze(job.path, stopRequested, progress);
        } catch (const Cancelled&) {
            break;
        } catch (const std::exception& e) {
            record->error = fromUtf8(e.what());
            // An empty message would pass the failed file off as analysed.
            if (record->error.empty()) {
                record->error = L"Analysis failed.";
            }
        }
        auto event = std::make_unique<WorkerEvent>();
        event->kind = WorkerEvent::Kind::ResultReady;
        event->index = index;
        event->record = std::move(record);
        sink.post(std::move(event));
    }
    auto finished = std::make_unique<WorkerEvent>();
    finished->kind = WorkerEvent::Kind::Finished;
    sink.post(std::move(finished));
}

} // namespace orvel
