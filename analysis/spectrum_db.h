// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace orvel {

// Per-bin maximum of two channels' power spectra (not their mean), in place
// into combined. Both hold the same number of bins.
void keepLouderBins(std::vector<double>& combined, std::span<const double> other);

struct SpectrumLevels {
    std::vector<double> spectrumDb; // dB relative to the strongest bin, never below -120
    std::int32_t strongBinCount = 0; // bins above peak x 0.0001 (within 40 dB)
};

// An all-zero spectrum gives 0 dB in every bin (both sides of the ratio meet
// the 1e-30 floor) and no strong bins.
[[nodiscard]] SpectrumLevels spectrumLevels(std::span<const double> powerSpectrum);

} // namespace orvel
