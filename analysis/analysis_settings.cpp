// SPDX-License-Identifier: MIT
#include "analysis/analysis_settings.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace orvel {

namespace {

constexpr unsigned kMaxThreads = 64;

std::atomic<unsigned> threadSetting{0};
std::atomic<bool> referenceSetting{false};

} // namespace

void setAnalysisThreads(unsigned count)
{
    threadSetting.store(count, std::memory_order_relaxed);
}

unsigned analysisThreads()
{
    unsigned count = threadSetting.load(std::memory_order_relaxed);
    if (count == 0) {
        count = std::thread::hardware_concurrency();
    }
    return std::clamp(count, 1u, kMaxThreads);
}

void setReferenceTransforms(bool enabled)
{
    referenceSetting.store(enabled, std::memory_order_relaxed);
}

bool referenceTransforms()
{
    return referenceSetting.load(std::memory_order_relaxed);
}

} // namespace orvel
