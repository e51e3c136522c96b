// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "analysis/file_report.h"
#include "scan/scan_inputs.h"

namespace orvel {

// Analyses the inputs on a pool of threads that take files in input order, so
// at most `jobs` files are decoded at a time. Each result is stored under its
// input's index, which makes the outcome independent of the thread count.
// A set stop flag ends the run: files in flight end with Cancelled and get no
// record. The pool joins its threads on destruction.
class ScanPool {
public:
    struct Progress {
        std::size_t finished = 0;   // inputs with a record, or given up after a stop
        std::size_t latestIndex = 0; // input whose stage was reported last
        std::wstring latestStage;    // empty until a stage was reported
    };

    // keepSpectrum false drops each record's spectrumDb as soon as it is made.
    ScanPool(const std::vector<ScanInput>& inputs, unsigned jobs, const std::atomic<bool>& stopRequested,
             bool keepSpectrum);
    ~ScanPool();
    ScanPool(const ScanPool&) = delete;
    ScanPool& operator=(const ScanPool&) = delete;

    // Waits until something changed or the timeout passed. False once every
    // thread has ended.
    bool waitForChange(std::chrono::milliseconds timeout);

    [[nodiscard]] Progress progress() const;

    // Whether input i has its record. Once true, record(i) no longer changes
    // and may be read (or moved from) without further locking.
    [[nodiscard]] bool hasRecord(std::size_t index) const;
    [[nodiscard]] FileReport& record(std::size_t index) { return *m_records[index]; }

private:
    void work();
    void analyse(std::size_t index);

    const std::vector<ScanInput>& m_inputs;
    const std::atomic<bool>& m_stopRequested;
    const bool m_keepSpectrum;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::optional<FileReport>> m_records; // slot i written once, by the thread that took input i
    std::vector<bool> m_done;                          // guarded by m_mutex
    std::size_t m_next = 0;                            // guarded by m_mutex
    std::size_t m_finished = 0;                        // guarded by m_mutex
    unsigned m_running = 0;                            // guarded by m_mutex
    bool m_changedFlag = false;                        // guarded by m_mutex
    std::size_t m_latestIndex = 0;                     // guarded by m_mutex
    std::wstring m_latestStage;                        // guarded by m_mutex
    std::vector<std::thread> m_threads;
};

} // namespace orvel
