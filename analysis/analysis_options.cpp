// SPDX-License-Identifier: MIT
#include "analysis/analysis_options.h"

#include <algorithm>
#include <thread>

namespace orvel {

namespace {

constexpr unsigned kMaxThreads = 64;

} // namespace

unsigned AnalysisOptions::threadCount() const
{
    const unsigned count = threads != 0 ? threads : std::thread::hardware_concurrency();
    return std::clamp(count, 1u, kMaxThreads);
}

} // namespace orvel
