// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <span>

#include "analysis/file_report.h"
#include "decode/decoded_audio.h"

namespace orvel {

// Mean power of the bins from lowHz to highHz (bin width binWidthHz). Bin 0 is
// never used and the band always holds at least one bin.
[[nodiscard]] double bandMean(std::span<const double> spectrum, double binWidthHz, double lowHz, double highHz);

// The Upsampling check: for each standard source rate below 0.95 x the sample
// rate, the drop in mean power from just below to just above half that rate;
// the steepest qualifying drop of 35 dB or more gives "Possible".
// powerSpectrum is the 2049-bin linear spectrum of the first two channels and
// strongBinCount the number of its bins within 40 dB of its peak.
[[nodiscard]] CheckResult checkBandwidthBoundary(const DecodedAudio& audio, std::span<const double> powerSpectrum,
                                                 std::int32_t strongBinCount);

} // namespace orvel
