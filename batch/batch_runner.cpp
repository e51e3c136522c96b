// SPDX-License-Identifier: MIT
#include "batch/batch_runner.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <variant>

#include "decode/cancellation.h"
#include "platform/process.h"

namespace orvel {

void BatchObserver::stage(std::size_t, const std::string&) {}

void BatchObserver::tick(const BatchProgress&, bool) {}

namespace {

struct StageEvent {
    std::size_t index = 0;
    std::string text;
};
struct DoneEvent {
    std::size_t index = 0;
};
using Event = std::variant<StageEvent, DoneEvent>;

// Every file allocates about the same large buffers (decoded channels,
// transforms) and frees them at its end. By default the C library hands
// buffers above 128 KB straight back to the kernel and trims the heap after
// each file, so the next file faults the same memory in again, page by page.
// Kept on the heap they are reused; peak memory is what one file needs.
void keepHeapOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { keepHeapBetweenFiles(); });
}

// What the analysing threads share with the thread that runs the batch.
// A finished record waits in m_records only until the records before it are
// delivered, and no file starts more than kBatchLookAhead places ahead of
// delivery, so memory follows the files in flight, not the length of the list.
class Batch {
public:
    Batch(std::size_t count, const InputAt& inputAt, const BatchSettings& settings, const std::atomic<bool>& stop)
        : m_count(count), m_inputAt(inputAt), m_settings(settings), m_stop(stop)
    {
    }

    // aheadLimited: false when no other thread hands records over meanwhile.
    void work(bool aheadLimited = true)
    {
        for (;;) {
            std::size_t index = 0;
            {
                std::unique_lock lock(m_mutex);
                // The stop flag is set without a notification: look at it now and then.
                while (aheadLimited && !m_stop.load() && m_next < m_count &&
                       m_next >= m_delivered + kBatchLookAhead) {
                    m_room.wait_for(lock, m_settings.tick);
                }
                if (m_stop.load() || m_next >= m_count) {
                    break;
                }
                index = m_next++;
            }
            analyse(index);
        }
        std::lock_guard lock(m_mutex);
        --m_running;
        m_changed.notify_all();
    }

    void setRunning(unsigned count) { m_running = count; }
    void threadNotStarted()
    {
        std::lock_guard lock(m_mutex);
        --m_running;
    }

    // Waits for events or the end of the threads; false once both queue and threads are done.
    bool take(std::deque<Event>& events, std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, timeout, [this] { return !m_events.empty() || m_running == 0; });
        events.swap(m_events);
        return m_running != 0 || !events.empty();
    }

    // Every input below index has been handed over (or given up).
    void deliveredUpTo(std::size_t index)
    {
        {
            std::lock_guard lock(m_mutex);
            m_delivered = index;
        }
        m_room.notify_all();
    }

    // The record of a finished input (none when it was stopped), taken out.
    std::optional<FileReport> takeRecord(std::size_t index)
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_records.find(index);
        if (found == m_records.end()) {
            return std::nullopt;
        }
        std::optional<FileReport> record = std::move(found->second);
        m_records.erase(found);
        return record;
    }

private:
    void push(Event event)
    {
        std::lock_guard lock(m_mutex);
        m_events.push_back(std::move(event));
        m_changed.notify_all();
    }

    DecodedAudioHook withAudio(std::size_t index) const
    {
        if (!m_settings.withAudio) {
            return {};
        }
        return [this, index](const DecodedAudio& audio, FileReport& record) {
            m_settings.withAudio(index, audio, record);
        };
    }

    // The batch's options, with what the input's origin allows.
    [[nodiscard]] AnalysisOptions optionsFor(const BatchInput& input) const
    {
        AnalysisOptions options = m_settings.analysis;
        options.givenDirectly = input.givenDirectly;
        return options;
    }

    void analyse(std::size_t index)
    {
        const BatchInput input = m_inputAt(index);
        std::optional<FileReport> record;
        if (!input.error.empty()) {
            record = failedRecord(input.path, input.error);
        } else {
            const ProgressCallback progress = [this, index](const std::string& text) {
                push(StageEvent{index, text});
            };
            try {
                if (m_settings.analyze) {
                    record = analyzePathWith(m_settings.analyze, input.path, m_stop, progress);
                } else if (m_settings.analyzeInput) {
                    record = m_settings.analyzeInput(input.path, m_stop, progress, optionsFor(input), withAudio(index));
                } else {
                    record = analyzePath(input.path, m_stop, progress, optionsFor(input), withAudio(index));
                }
                if (!m_settings.keepSpectrum) {
                    std::vector<double>().swap(record->spectrumDb);
                }
            } catch (const Cancelled&) {
                record.reset();
            }
        }
        std::lock_guard lock(m_mutex);
        if (record) {
            m_records.emplace(index, std::move(*record));
        }
        m_events.push_back(DoneEvent{index});
        m_changed.notify_all();
    }

    const std::size_t m_count;
    const InputAt& m_inputAt;
    const BatchSettings& m_settings;
    const std::atomic<bool>& m_stop;
    std::unordered_map<std::size_t, FileReport> m_records; // guarded by m_mutex

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::condition_variable m_room; // delivery moved on: more files may start
    std::deque<Event> m_events;  // guarded by m_mutex
    std::size_t m_next = 0;      // guarded by m_mutex
    std::size_t m_delivered = 0; // guarded by m_mutex
    unsigned m_running = 0;      // guarded by m_mutex
};

} // namespace

void runBatch(const std::vector<BatchInput>& inputs, const BatchSettings& settings,
              const std::atomic<bool>& stopRequested, BatchObserver& observer)
{
    runBatch(inputs.size(), [&inputs](std::size_t index) { return inputs[index]; }, settings, stopRequested,
             observer);
}

void runBatch(std::size_t inputCount, const InputAt& inputAt, const BatchSettings& settings,
              const std::atomic<bool>& stopRequested, BatchObserver& observer)
{
    keepHeapOnce();
    Batch batch(inputCount, inputAt, settings, stopRequested);
    const std::size_t count = std::clamp<std::size_t>(settings.jobs, 1, std::max<std::size_t>(inputCount, 1));
    batch.setRunning(static_cast<unsigned>(count));
    std::vector<std::jthread> threads;
    threads.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        try {
            threads.emplace_back([&batch] { batch.work(); });
        } catch (const std::system_error&) {
            batch.threadNotStarted(); // fewer threads only make the run slower
        }
    }
    if (threads.empty()) {
        batch.setRunning(1);
        batch.work(false);
    }

    BatchProgress progress;
    std::vector<bool> done(inputCount, false);
    std::size_t nextToDeliver = 0;
    const auto deliverReady = [&] {
        bool delivered = false;
        const std::size_t first = nextToDeliver;
        while (nextToDeliver < inputCount && done[nextToDeliver]) {
            if (std::optional<FileReport> record = batch.takeRecord(nextToDeliver)) {
                observer.record(nextToDeliver, std::move(*record));
                delivered = true;
            }
            ++nextToDeliver;
        }
        if (nextToDeliver != first) {
            batch.deliveredUpTo(nextToDeliver);
        }
        return delivered;
    };

    std::deque<Event> events;
    bool running = true;
    while (running) {
        running = batch.take(events, settings.tick);
        bool delivered = false;
        for (Event& event : events) {
            if (auto* stage = std::get_if<StageEvent>(&event)) {
                progress.latestIndex = stage->index;
                progress.latestStage = stage->text;
                observer.stage(stage->index, stage->text);
            } else {
                const std::size_t index = std::get<DoneEvent>(event).index;
                done[index] = true;
                ++progress.finished;
                delivered = deliverReady() || delivered;
            }
        }
        events.clear();
        observer.tick(progress, delivered);
    }
}

} // namespace orvel
