// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ui/analysis_queue.h"
#include "ui/queue_view.h"
#include "ui/worker_event.h"

namespace kestrone_test {

// What the queue asked its window to do.
class RecordingView : public orvel::QueueView {
public:
    void rowsAppended(int first, int count) override;
    void rowChanged(int row) override;
    void rowsCleared() override;
    void selectRow(int row) override { selectedRow = row; }
    void commandsChanged(const orvel::CommandState& state) override { commands = state; }
    void progressChanged(int percent) override { progress = percent; }
    void detailsChanged() override { ++detailsRefreshes; }
    void repaintWindow() override { ++repaints; }
    void showAddPathError(const std::string& message) override { errors.push_back(message); }
    void closeWindow() override { ++closes; }

    int rows = 0;
    std::vector<int> changedRows;
    int selectedRow = -1;
    orvel::CommandState commands;
    int progress = -1;
    int detailsRefreshes = 0;
    int repaints = 0;
    int closes = 0;
    std::vector<std::string> errors;
};

// The window's thread message queue, for tests without a window: the worker
// posts here and the test thread hands each event to the queue in order.
class EventInbox : public orvel::WorkerEventSink {
public:
    void post(std::unique_ptr<orvel::WorkerEvent> event) override;
    // Waits for the next event; null after the timeout.
    std::unique_ptr<orvel::WorkerEvent> take(std::chrono::milliseconds timeout);
    [[nodiscard]] std::size_t pending();

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<std::unique_ptr<orvel::WorkerEvent>> m_events;
};

// Delivers events to the queue until its finished event has been handled.
// Returns false on timeout.
bool pumpUntilFinished(EventInbox& inbox, orvel::AnalysisQueue& queue,
                       std::chrono::milliseconds timeout = std::chrono::seconds(120));

} // namespace kestrone_test
