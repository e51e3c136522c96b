// SPDX-License-Identifier: MIT
#include "platform/helper_pool.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace orvel {

struct HelperTask::State {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
};

namespace {

class HelperPool {
public:
    HelperPool() = default;
    HelperPool(const HelperPool&) = delete;
    HelperPool& operator=(const HelperPool&) = delete;

    ~HelperPool()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_wake.notify_all();
        for (std::thread& thread : m_threads) {
            thread.join();
        }
    }

    bool start(std::function<void()> task, const std::shared_ptr<HelperTask::State>& state)
    {
        std::unique_lock lock(m_mutex);
        if (m_idle == 0) {
            try {
                m_threads.emplace_back([this] { serve(); });
            } catch (const std::system_error&) {
                return false;
            }
            ++m_idle;
        }
        --m_idle;
        m_queue.push_back({std::move(task), state});
        lock.unlock();
        m_wake.notify_one();
        return true;
    }

private:
    struct Job {
        std::function<void()> task;
        std::shared_ptr<HelperTask::State> state;
    };

    void serve()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_quit || !m_queue.empty(); });
            if (m_queue.empty()) {
                return;
            }
            Job job = std::move(m_queue.back());
            m_queue.pop_back();
            lock.unlock();
            job.task(); // a task that throws ends the process, as on a thread of its own
            job.task = nullptr;
            {
                const std::lock_guard ended(job.state->mutex);
                job.state->done = true;
            }
            job.state->ended.notify_all();
            lock.lock();
            ++m_idle;
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<Job> m_queue;        // guarded by m_mutex
    std::vector<std::thread> m_threads; // guarded by m_mutex
    unsigned m_idle = 0;             // threads without a task; guarded by m_mutex
    bool m_quit = false;             // guarded by m_mutex
};

HelperPool& pool()
{
    static HelperPool instance;
    return instance;
}

} // namespace

HelperTask::HelperTask(std::shared_ptr<State> state) : m_state(std::move(state)) {}

std::unique_ptr<HelperTask> HelperTask::start(std::function<void()> task)
{
    auto state = std::make_shared<State>();
    if (!pool().start(std::move(task), state)) {
        return nullptr;
    }
    return std::make_unique<HelperTask>(std::move(state));
}

void HelperTask::wait()
{
    std::unique_lock lock(m_state->mutex);
    m_state->ended.wait(lock, [this] { return m_state->done; });
}

HelperTask::~HelperTask() { wait(); }

} // namespace orvel
