// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <memory>

namespace orvel {

// Threads kept for the helpers inside one file's analysis (the alignment
// search's lanes, the grid search beside the MP3 one, the spectrogram's second
// half), so a file starts no thread of its own: a helper that finished waits
// for the next task instead of ending. There are never more threads than
// helpers ever ran at once.
class HelperTask {
public:
    // Runs task on a kept thread, or on a new one when all are busy. An
    // empty result when no thread could be had: the caller does the work itself.
    [[nodiscard]] static std::unique_ptr<HelperTask> start(std::function<void()> task);

    // Returns once the task has ended (the destructor waits too).
    void wait();
    ~HelperTask();

    HelperTask(const HelperTask&) = delete;
    HelperTask& operator=(const HelperTask&) = delete;

    struct State;
    explicit HelperTask(std::shared_ptr<State> state);

private:
    std::shared_ptr<State> m_state;
};

} // namespace orvel
