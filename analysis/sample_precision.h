// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>

#include "analysis/file_report.h"
#include "decode/decoded_audio.h"

namespace orvel {

// Nearest 64-bit integer, halves away from zero; a value that is not finite
// or lies outside the int64 range gives 0.
[[nodiscard]] std::int64_t roundToInt64(double value);

// The Upscaling check: rebuilds every sample of every channel as the integer
// the source stored (bitsPerSample B), and reports per channel the effective
// bit grid. "Evidence found" when every measured channel (>= 256 nonzero
// samples) leaves at least 2 low bits unused. Floating-point, lossy or unknown
// precision (B outside 2..32) gives "Inconclusive" at once.
// Throws Cancelled when stopRequested is seen set (every 65,536 samples).
[[nodiscard]] CheckResult checkSamplePrecision(const DecodedAudio& audio, const std::atomic<bool>& stopRequested);

} // namespace orvel
