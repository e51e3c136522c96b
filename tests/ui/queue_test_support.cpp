// SPDX-License-Identifier: MIT
#include "queue_test_support.h"

#include <atomic>
#include <fstream>
#include <random>
#include <stdexcept>

namespace kestrone_test {

namespace fs = std::filesystem;

fs::path uiAudio(const std::string& name) { return fs::path(KESTRONE_TEST_AUDIO_DIR) / "ui" / name; }

std::filesystem::path uiAudioPath(const std::string& name) { return uiAudio(name); }

TempDir::TempDir()
{
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = "kestrone-ui-";
        name += std::to_string(random());
        name += '-';
        name += std::to_string(counter++);
        const fs::path candidate = fs::temp_directory_path() / name;
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            m_path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

fs::path TempDir::touch(const fs::path& relative, const std::string& bytes) const
{
    const fs::path file = m_path / relative;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
}

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
