// SPDX-License-Identifier: MIT
#include "ui/analysis_worker.h"

#include <memory>
#include <utility>

#include "batch/batch_runner.h"

namespace orvel {
namespace {

// Turns the batch's calls into events for the window's thread, under the
// queue's entry indexes.
class EventPoster : public BatchObserver {
public:
    EventPoster(const std::vector<AnalysisJob>& jobs, WorkerEventSink& sink) : m_jobs(jobs), m_sink(sink) {}

    void stage(std::size_t index, const std::string& text) override
    {
        auto event = std::make_unique<WorkerEvent>();
        event->kind = WorkerEvent::Kind::Progress;
        event->index = m_jobs[index].index;
        event->stage = text;
        m_sink.post(std::move(event));
    }

    void record(std::size_t index, FileReport&& record) override
    {
        auto event = std::make_unique<WorkerEvent>();
        event->kind = WorkerEvent::Kind::ResultReady;
        event->index = m_jobs[index].index;
        event->record = std::make_unique<FileReport>(std::move(record));
        m_sink.post(std::move(event));
    }

private:
    const std::vector<AnalysisJob>& m_jobs;
    WorkerEventSink& m_sink;
};

} // namespace

void runAnalysisJobs(std::vector<AnalysisJob> jobs, const std::atomic<bool>& stopRequested,
                     WorkerEventSink& sink, const AnalyzeFunction& analyze)
{
    std::vector<BatchInput> inputs;
    inputs.reserve(jobs.size());
    for (const AnalysisJob& job : jobs) {
        inputs.push_back({job.path, job.path, {}});
    }
    BatchSettings settings;
    settings.analyze = analyze;
    EventPoster poster(jobs, sink);
    runBatch(inputs, settings, stopRequested, poster);

    auto finished = std::make_unique<WorkerEvent>();
    finished->kind = WorkerEvent::Kind::Finished;
    sink.post(std::move(finished));
}

} // namespace orvel
