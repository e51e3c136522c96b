// SPDX-License-Identifier: MIT
#include "analysis/alignment_search.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace orvel {

namespace {

constexpr std::int32_t kSearchFrames = 4;

// What the threads of one run share. Offsets are handed out one at a time
// below `released`, which the calling thread raises by 64 at each milestone.
struct SearchState {
    std::mutex mutex;
    std::condition_variable workReleased;
    std::condition_variable blockFinished;
    std::int32_t next = 0;
    std::int32_t released = 0;
    std::int32_t finished = 0;
    bool quit = false;
};

// Ends the helper threads on every way out of run, a throwing milestone included.
class HelperThreads {
public:
    explicit HelperThreads(SearchState& state) : m_state(state) {}
    HelperThreads(const HelperThreads&) = delete;
    HelperThreads& operator=(const HelperThreads&) = delete;
    ~HelperThreads()
    {
        {
            const std::lock_guard<std::mutex> lock(m_state.mutex);
            m_state.quit = true;
        }
        m_state.workReleased.notify_all();
        for (std::thread& thread : m_threads) {
            thread.join();
        }
    }

    template <typename Function>
    bool start(Function&& function)
    {
        try {
            m_threads.emplace_back(std::forward<Function>(function));
            return true;
        } catch (const std::system_error&) {
            return false; // fewer threads only make the search slower
        }
    }

private:
    SearchState& m_state;
    std::vector<std::thread> m_threads;
};

} // namespace

AlignmentSearch::AlignmentSearch(unsigned threads) : m_lanes(threads == 0 ? 1 : threads) {}

void AlignmentSearch::run(std::span<const double> samples, const NearZeroBand& band, std::span<double> fractions,
                          const std::function<void(std::int32_t)>& milestone)
{
    SearchState state;
    auto measure = [&](Lane& lane, std::int32_t offset) {
        fractions[static_cast<std::size_t>(offset)] = nearZeroFractionBatched(
            samples, offset, kSearchFrames, band, lane.mdct, lane.scratch.data(), kMaxNearZeroBatch);
    };

    HelperThreads helpers(state);
    for (std::size_t t = 1; t < m_lanes.size(); ++t) {
        Lane& lane = m_lanes[t];
        const bool started = helpers.start([&state, &lane, &measure] {
            std::unique_lock<std::mutex> lock(state.mutex);
            for (;;) {
                state.workReleased.wait(lock, [&state] { return state.quit || state.next < state.released; });
                if (state.quit) {
                    return;
                }
                const std::int32_t offset = state.next++;
                lock.unlock();
                measure(lane, offset);
                lock.lock();
                if (++state.finished == state.released) {
                    state.blockFinished.notify_one();
                }
            }
        });
        if (!started) {
            break;
        }
    }

    // The calling thread measures too while it waits for a block to finish.
    auto finishBelow = [&](std::int32_t target) {
        std::unique_lock<std::mutex> lock(state.mutex);
        while (state.finished < target) {
            if (state.next < state.released) {
                const std::int32_t offset = state.next++;
                lock.unlock();
                measure(m_lanes.front(), offset);
                lock.lock();
                ++state.finished;
            } else {
                state.blockFinished.wait(lock);
            }
        }
    };

    for (std::int32_t offset = 0; offset < kOffsets; offset += kMilestone) {
        finishBelow(offset);
        milestone(offset);
        {
            const std::lock_guard<std::mutex> lock(state.mutex);
            state.released = offset + kMilestone;
        }
        state.workReleased.notify_all();
    }
    finishBelow(kOffsets);
}

} // namespace orvel
