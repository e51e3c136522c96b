// SPDX-License-Identifier: MIT
#include "analysis/alignment_search.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>

#include "platform/helper_pool.h"

namespace orvel {

namespace {

constexpr std::int32_t kSearchFrames = 4;
// How long the calling thread waits for a helper's last offset of a block
// before it measures that offset itself: many times one offset's work, a
// small part of a scheduler time slice.
constexpr auto kPatience = std::chrono::microseconds(200);

// What the threads of one run share. Offsets are handed out one at a time
// below `released`, which the calling thread raises by 64 at each milestone.
// An offset may be measured twice (see run); the first result is stored.
struct SearchState {
    std::mutex mutex;
    std::condition_variable workReleased;
    std::condition_variable blockFinished;
    std::int32_t next = 0;
    std::int32_t released = 0;
    std::int32_t finished = 0;
    std::array<bool, AlignmentSearch::kOffsets> stored{};
    bool quit = false;
};

// Ends the helpers on every way out of run, a throwing milestone included.
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
        m_helpers.clear(); // each waits for its task to end
    }

    template <typename Function>
    bool start(Function&& function)
    {
        try {
            std::unique_ptr<HelperTask> helper = HelperTask::start(std::forward<Function>(function));
            if (helper == nullptr) {
                return false; // fewer helpers only make the search slower
            }
            m_helpers.push_back(std::move(helper));
            return true;
        } catch (const std::bad_alloc&) {
            return false;
        }
    }

private:
    SearchState& m_state;
    std::vector<std::unique_ptr<HelperTask>> m_helpers;
};

} // namespace

AlignmentSearch::AlignmentSearch(unsigned threads, MeasureHook hook, Transforms transforms) : m_hook(std::move(hook))
{
    m_lanes.reserve(threads == 0 ? 1 : threads);
    for (unsigned i = 0; i < std::max(threads, 1u); ++i) {
        m_lanes.push_back(Lane{SineMdct(transforms)});
    }
}

void AlignmentSearch::run(std::span<const double> samples, const NearZeroBand& band, std::span<double> fractions,
                          const std::function<void(std::int32_t)>& milestone)
{
    SearchState state;
    auto measure = [&](Lane& lane, std::int32_t offset, bool onCallingThread) {
        if (m_hook) {
            m_hook(offset, onCallingThread);
        }
        return nearZeroFractionBatched(samples, offset, kSearchFrames, band, lane.mdct, lane.scratch.data(),
                                       kMaxNearZeroBatch);
    };
    // With the lock held: keeps the first result of an offset (a second one
    // has the same bits) and says whether it completed the released offsets.
    auto store = [&](std::int32_t offset, double value) {
        const auto index = static_cast<std::size_t>(offset);
        if (state.stored[index]) {
            return false;
        }
        state.stored[index] = true;
        fractions[index] = value;
        return ++state.finished == state.released;
    };

    HelperThreads helpers(state);
    for (std::size_t t = 1; t < m_lanes.size(); ++t) {
        Lane& lane = m_lanes[t];
        const bool started = helpers.start([&state, &lane, &measure, &store] {
            std::unique_lock<std::mutex> lock(state.mutex);
            for (;;) {
                state.workReleased.wait(lock, [&state] { return state.quit || state.next < state.released; });
                if (state.quit) {
                    return;
                }
                const std::int32_t offset = state.next++;
                lock.unlock();
                const double value = measure(lane, offset, false);
                lock.lock();
                if (store(offset, value)) {
                    state.blockFinished.notify_one();
                }
            }
        });
        if (!started) {
            break;
        }
    }

    // The calling thread measures too while it waits for a block to finish.
    // Once every offset is handed out it gives the helpers kPatience for their
    // last ones; a helper that is still not done (preempted, as happens on a
    // busy machine) would hold up the milestone for a whole time slice, so
    // its offset is measured here as well.
    auto finishBelow = [&](std::int32_t target) {
        std::unique_lock<std::mutex> lock(state.mutex);
        while (state.finished < target) {
            std::int32_t offset = -1;
            if (state.next < state.released) {
                offset = state.next++;
            } else if (!state.blockFinished.wait_for(lock, kPatience,
                                                     [&state, target] { return state.finished >= target; })) {
                offset = std::max(0, target - kMilestone);
                while (state.stored[static_cast<std::size_t>(offset)]) {
                    ++offset;
                }
            }
            if (offset < 0) {
                continue;
            }
            lock.unlock();
            const double value = measure(m_lanes.front(), offset, true);
            lock.lock();
            (void)store(offset, value);
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
