// SPDX-License-Identifier: MIT
#include "analysis/spectrum_db.h"

#include <algorithm>
#include <cmath>

namespace orvel {

void keepLouderBins(std::vector<double>& combined, std::span<const double> other)
{
    for (std::size_t i = 0; i < combined.size() && i < other.size(); ++i) {
        if (other[i] > combined[i]) {
            combined[i] = other[i];
        }
    }
}

SpectrumLevels spectrumLevels(std::span<const double> powerSpectrum)
{
    SpectrumLevels levels;
    const double peak = powerSpectrum.empty() ? 0.0 : *std::max_element(powerSpectrum.begin(), powerSpectrum.end());
    levels.spectrumDb.reserve(powerSpectrum.size());
    for (const double power : powerSpectrum) {
        const double value = 10.0 * std::log10(std::max(1e-30, power) / std::max(1e-30, peak));
        levels.spectrumDb.push_back(value > -120.0 ? value : -120.0);
        if (peak > 1e-20 && power > peak * 0.0001) {
            ++levels.strongBinCount;
        }
    }
    return levels;
}

} // namespace orvel
