// SPDX-License-Identifier: MIT
#pragma once

#include <exception>
#include <memory>
#include <new>
#include <utility>

#include "analysis/helper_pool.h"

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

} // namespace orvel
