// SPDX-License-Identifier: MIT
#pragma once

#include <span>

namespace orvel {

// Root mean square of the samples (0 for none), with four running sums side
// by side added at the end: the same value on every build and thread count.
[[nodiscard]] double signalRms(std::span<const double> samples);

} // namespace orvel
