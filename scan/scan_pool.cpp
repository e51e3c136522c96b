// SPDX-License-Identifier: MIT
#include "scan/scan_pool.h"

#include <algorithm>
#include <exception>

#include "analysis/analyze_file.h"
#include "decode/cancellation.h"
#include "report/utf8.h"

namespace orvel {

ScanPool::ScanPool(const std::vector<ScanInput>& inputs, unsigned jobs, const std::atomic<bool>& stopRequested,
                   bool keepSpectrum)
    : m_inputs(inputs), m_stopRequested(stopRequested), m_keepSpectrum(keepSpectrum), m_records(inputs.size()),
      m_done(inputs.size(), false)
{
    const std::size_t count = std::clamp<std::size_t>(jobs, 1, std::max<std::size_t>(inputs.size(), 1));
    m_running = static_cast<unsigned>(count);
    m_threads.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        m_threads.emplace_back([this] { work(); });
    }
}

ScanPool::~ScanPool()
{
    for (std::thread& thread : m_threads) {
        thread.join();
    }
}

bool ScanPool::waitForChange(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, timeout, [this] { return m_changedFlag || m_running == 0; });
    m_changedFlag = false;
    return m_running != 0;
}

ScanPool::Progress ScanPool::progress() const
{
    std::lock_guard lock(m_mutex);
    return {m_finished, m_latestIndex, m_latestStage};
}

bool ScanPool::hasRecord(std::size_t index) const
{
    std::lock_guard lock(m_mutex);
    return m_done[index];
}

void ScanPool::work()
{
    for (;;) {
        std::size_t index = 0;
        {
            std::lock_guard lock(m_mutex);
            if (m_stopRequested.load() || m_next >= m_inputs.size()) {
                break;
            }
            index = m_next++;
        }
        analyse(index);
    }
    std::lock_guard lock(m_mutex);
    --m_running;
    m_changedFlag = true;
    m_changed.notify_all();
}

void ScanPool::analyse(std::size_t index)
{
    const ScanInput& input = m_inputs[index];
    std::optional<FileReport> record;
    if (!input.error.empty()) {
        record.emplace();
        record->file = input.path;
        record->error = input.error;
    } else {
        const ProgressCallback progress = [this, index](const std::wstring& stage) {
            std::lock_guard lock(m_mutex);
            m_latestIndex = index;
            m_latestStage = stage;
            m_changedFlag = true;
            m_changed.notify_all();
        };
        try {
            record = analyzeFile(input.path, m_stopRequested, progress);
            // The record names the file as analysed, whatever the driver echoed.
            record->file = input.path;
            if (!m_keepSpectrum) {
                std::vector<double>().swap(record->spectrumDb);
            }
        } catch (const Cancelled&) {
            record.reset();
        } catch (const std::exception& failure) {
            record.emplace();
            record->file = input.path;
            record->error = fromUtf8(failure.what());
        } catch (...) {
            record.emplace();
            record->file = input.path;
            record->error = L"The analysis failed for an unknown reason.";
        }
    }
    std::lock_guard lock(m_mutex);
    if (record) {
        m_records[index] = std::move(record);
        m_done[index] = true;
    }
    ++m_finished;
    m_changedFlag = true;
    m_changed.notify_all();
}

} // namespace orvel
