// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <span>
#include <utility>
#include <vector>

#include "platform/helper_pool.h"

namespace orvel {

// Runs first on the calling thread and, when parallel is true and a helper can
// be had, second on a kept helper thread (see HelperTask) at the same time; otherwise second
// after first (and not at all when first failed). Returns when both are done;
// an exception of first is rethrown before one of second, so the caller sees
// the same failure whether or not the two ran side by side.
template <typename First, typename Second>
void runSideBySide(bool parallel, First&& first, Second&& second)
{
    std::exception_ptr secondFailure;
    std::unique_ptr<HelperTask> helper;
    if (parallel) {
        try {
            helper = HelperTask::start([&second, &secondFailure] {
                try {
                    second();
                } catch (...) {
                    secondFailure = std::current_exception();
                }
            });
        } catch (const std::bad_alloc&) {
            // No helper to be had: second follows first.
        }
    }
    std::exception_ptr firstFailure;
    try {
        first();
    } catch (...) {
        firstFailure = std::current_exception();
    }
    if (helper != nullptr) {
        helper->wait();
    } else if (!firstFailure) {
        second();
    }
    if (firstFailure) {
        std::rethrow_exception(firstFailure);
    }
    if (secondFailure) {
        std::rethrow_exception(secondFailure);
    }
}

// Runs the tasks on the calling thread and up to threads - 1 kept helpers,
// each thread taking the next task not yet taken, so the list's order is the
// order they start in, and the first is the calling thread's; returns when all
// have ended. A task learns whether it runs on the calling thread (where
// progress texts belong). The failure of the first failing task in the list is
// rethrown, whatever ran where.
inline void runTasks(unsigned threads, std::span<const std::function<void(bool onCallingThread)>> tasks)
{
    std::atomic<std::size_t> next{1};
    std::vector<std::exception_ptr> failures(tasks.size());
    auto work = [&](bool onCallingThread, std::size_t first) {
        for (std::size_t i = first; i < tasks.size(); i = next++) {
            try {
                tasks[i](onCallingThread);
            } catch (...) {
                failures[i] = std::current_exception();
            }
        }
    };
    std::vector<std::unique_ptr<HelperTask>> helpers;
    try {
        for (std::size_t h = 1; h < threads && h < tasks.size(); ++h) {
            std::unique_ptr<HelperTask> helper = HelperTask::start([&work, &next] { work(false, next++); });
            if (helper == nullptr) {
                break; // fewer threads only take longer
            }
            helpers.push_back(std::move(helper));
        }
    } catch (const std::bad_alloc&) {
    }
    work(true, 0);
    helpers.clear(); // each waits for its task to end
    for (const std::exception_ptr& failure : failures) {
        if (failure) {
            std::rethrow_exception(failure);
        }
    }
}

} // namespace orvel
