// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace orvel::bench {

// Decodes a whole FLAC file with libFLAC's stream decoder and nothing else
// (no conversion, no storage): the yardstick for the cost of the analysis.
// Returns the number of samples over all channels; throws on a decoding error.
std::uint64_t decodeWithLibFlacOnly(const std::string& path);

} // namespace orvel::bench
