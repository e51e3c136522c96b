// SPDX-License-Identifier: MIT
#include "analysis/signal_level.h"

#include <array>
#include <cmath>

namespace orvel {

double signalRms(std::span<const double> samples)
{
    if (samples.empty()) {
        return 0.0;
    }
    std::array<double, 4> sums{};
    std::size_t i = 0;
    for (; i + 4 <= samples.size(); i += 4) {
        for (std::size_t l = 0; l < 4; ++l) {
            sums[l] += samples[i + l] * samples[i + l];
        }
    }
    for (; i < samples.size(); ++i) {
        sums[0] += samples[i] * samples[i];
    }
    return std::sqrt(((sums[0] + sums[1]) + (sums[2] + sums[3])) / static_cast<double>(samples.size()));
}

} // namespace orvel
