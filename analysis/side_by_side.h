// SPDX-License-Identifier: MIT
#pragma once

#include <exception>
#include <system_error>
#include <thread>
#include <utility>

namespace orvel {

// Runs first on the calling thread and, when parallel is true and a thread can
// be started, second on a helper thread at the same time; otherwise second
// after first (and not at all when first failed). Returns when both are done;
// an exception of first is rethrown before one of second, so the caller sees
// the same failure whether or not the two ran side by side.
template <typename First, typename Second>
void runSideBySide(bool parallel, First&& first, Second&& second)
{
    std::exception_ptr secondFailure;
    std::thread helper;
    if (parallel) {
        try {
            helper = std::thread([&second, &secondFailure] {
                try {
                    second();
                } catch (...) {
                    secondFailure = std::current_exception();
                }
            });
        } catch (const std::system_error&) {
            // No thread to be had: second follows first.
        }
    }
    std::exception_ptr firstFailure;
    try {
        first();
    } catch (...) {
        firstFailure = std::current_exception();
    }
    if (helper.joinable()) {
        helper.join();
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
