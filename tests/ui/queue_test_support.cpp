// SPDX-License-Identifier: MIT
#include "tests/ui/queue_test_support.h"

#include <stdexcept>

namespace kestrone_test {

void RecordingView::rowsAppended(int first, int count)
{
    if (first != rows) {
        throw std::logic_error("rows announced out of order");
    }
    rows += count;
}

void RecordingView::rowChanged(int row) { changedRows.push_back(row); }

void RecordingView::rowsCleared() { rows = 0; }

void EventInbox::post(std::unique_ptr<orvel::WorkerEvent> event)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(std::move(event));
    }
    m_ready.notify_one();
}

std::unique_ptr<orvel::WorkerEvent> EventInbox::take(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_ready.wait_for(lock, timeout, [this] { return !m_events.empty(); })) {
        return nullptr;
    }
    auto event = std::move(m_events.front());
    m_events.pop_front();
    return event;
}

std::size_t EventInbox::pending()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_events.size();
}

bool pumpUntilFinished(EventInbox& inbox, orvel::AnalysisQueue& queue, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        auto event = inbox.take(std::chrono::milliseconds(100));
        if (!event) {
            continue;
        }
        const bool finished = event->kind == orvel::WorkerEvent::Kind::Finished;
        queue.handle(std::move(event));
        if (finished) {
            return true;
        }
    }
    return false;
}

} // namespace kestrone_test
