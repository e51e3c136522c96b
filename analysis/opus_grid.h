// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "analysis/codec_grid.h"
#include "analysis/uninitialized_vector.h"

namespace orvel {

// CELT's (Opus's) 1920-sample low-overlap window: 420 zeros, a 120-sample
// power-sine ramp up, 840 ones, the ramp down, 420 zeros.
[[nodiscard]] std::vector<double> celtWindow();

// The CELT search's shape: hop and period 960, bins 8 .. 959, the threshold
// per bin shaped by the undone de-emphasis, local controls.
[[nodiscard]] CodecGridShape celtShape();

// The samples the CELT search reads, on the decoder's own terms: at 48 kHz
// (44.1 kHz resampled by 160 / 147) with its de-emphasis undone,
// y[n] = x[n] - 0.8500061035 x[n - 1]. Only the search's ten segments are
// made, one after another (CodecGridInput::packedLength), so the cost does not
// grow with the file; each is resampled on its own with a margin wide enough
// that the resampler's filter does not see the cut.
struct CeltSamples {
    UninitializedVector<double> left; // every sample written
    UninitializedVector<double> right; // empty for mono
    double rms = 0.0;          // over the segments made
    std::int64_t length = 0;   // of the whole signal at 48 kHz
    bool made = false;         // false at a rate the decoder cannot have produced from 48 kHz
};

[[nodiscard]] CeltSamples celtSamples(const CodecGridShape& shape, std::span<const double> left,
                                      std::span<const double> right, std::int32_t rate);

} // namespace orvel
