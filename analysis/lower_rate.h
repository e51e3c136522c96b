// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "analysis/lowpass_edge.h"

namespace orvel {

// The lower-rate trace: a resampled file's content ends in the transition band
// of its resampler, just below the Nyquist of the source rate, over a floor
// of noise. Judged against that floor and the content just below the edge,
// not against the loudest bin.
struct LowerRateMeasurement {
    bool found = false;
    std::int32_t sourceRate = 0; // 32000, 44100, 48000, 88200 or 96000
    double edgeHz = 0.0;
    double dropDb = 0.0;       // content below the edge over the floor above the source Nyquist
    double steepness = 0.0;    // dB per kHz across the edge
    double belowOverLoud = 0.0; // dB the content below the edge holds over 16-bit rounding + 20 dB
    bool imaging = false;       // the imaging pattern: edgeHz is the source Nyquist, dropDb content over images
    // The mirror pattern: edgeHz is the source Nyquist, dropDb content over
    // images, steepness across that Nyquist; the correlation of the spectrum's
    // fine structure on either side of it, frame by frame.
    bool mirror = false;
    double mirrorCorrelation = 0.0;
};

// The lowest source rate below 0.95 x the file's rate with an edge in
// 0.90 .. 1.0 x its Nyquist (0.95 .. 1.0 when the file's Nyquist is within
// 10 % above it) that drops at least 30 dB to the floor, at 25 dB/kHz or more.
// Otherwise, in files of 88.2 kHz and up, an imaging resampler's pattern:
// content over 22.05 or 24 kHz at least 15 dB above the images beyond it, and
// a steep edge (25 dB/kHz) at 1.1 .. 1.25 x that Nyquist.
// Otherwise the lowest source rate below 0.95 x the file's rate whose Nyquist
// is a mirror of the spectrum: a gentle resampler (interpolating, or with a
// wide transition band) leaves images of the content above the old Nyquist,
// each frame's spectrum at N + d a copy of that at N - d. Found when, over
// d = 0.3 .. 2 kHz and at least 20 frames, the frame-by-frame fine structure
// of the two sides correlates at 0.8 or more, with content at N - d clearly
// above 16-bit rounding (20 dB).
[[nodiscard]] LowerRateMeasurement measureLowerRate(const LongTermSpectrum& lts, std::int32_t sampleRate);

} // namespace orvel
