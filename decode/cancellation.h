// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <exception>

namespace orvel {

// Thrown wherever a set stop flag is seen. A stop is not an error: callers
// catch it before std::exception and discard the partial work.
class Cancelled : public std::exception {
public:
    [[nodiscard]] const char* what() const noexcept override { return "cancelled"; }
};

// The one form of every stop point.
inline void throwIfStopRequested(const std::atomic<bool>& stopRequested)
{
    if (stopRequested.load()) {
        throw Cancelled();
    }
}

} // namespace orvel
