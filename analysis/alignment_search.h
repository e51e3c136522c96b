// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "analysis/aac_sin.h"
#include "analysis/sine_mdct.h"

namespace orvel {

// The 1024-offset alignment search of the AAC-SIN check, spread over threads.
// Each thread has its own SineMdct and coefficient array; every offset's
// fraction is a pure function of the samples and the offset and is stored at
// its own index, so the result does not depend on the thread count or on
// which thread measured which offset. An offset that a helper thread is late
// with may be measured by the calling thread as well; both give the same bits
// and the first one is kept.
class AlignmentSearch {
public:
    static constexpr std::int32_t kOffsets = 1024;
    static constexpr std::int32_t kMilestone = 64;

    // Called before every measurement with the offset and whether the calling
    // thread measures it (tests use it to hold a helper back).
    using MeasureHook = std::function<void(std::int32_t offset, bool onCallingThread)>;

    // threads counts the calling thread; the transforms are made here, once
    // for all channels of a check.
    explicit AlignmentSearch(unsigned threads, MeasureHook hook = {}, Transforms transforms = Transforms::Fast);

    // fractions[o] <- nearZeroFraction(samples, o, 4, band) for o = 0 .. 1023.
    // Before offsets o .. o + 63 start (o = 0, 64, ..., 960), and only after every
    // offset below o has finished, milestone(o) runs on the calling thread. If
    // it throws, no further offset starts, the helper threads are joined and
    // the exception leaves run; fractions is then partly written.
    void run(std::span<const double> samples, const NearZeroBand& band, std::span<double> fractions,
             const std::function<void(std::int32_t)>& milestone);

    // The calling thread's transform and coefficient scratch (room for
    // kMaxNearZeroBatch frames), for measurements outside the search (the
    // 24-frame verification).
    [[nodiscard]] SineMdct& mdct() { return m_lanes.front().mdct; }
    [[nodiscard]] double* scratch() { return m_lanes.front().scratch.data(); }

private:
    struct Lane {
        SineMdct mdct;
        std::vector<double> scratch =
            std::vector<double>(static_cast<std::size_t>(kMaxNearZeroBatch * SineMdct::kCoefficientCount));
    };
    std::vector<Lane> m_lanes;
    MeasureHook m_hook;
};

} // namespace orvel
