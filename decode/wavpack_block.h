// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace orvel {

// What the header of a WavPack block ("wvpk", 32 bytes) says about the
// stream it belongs to. Both the .wv demuxer and the Matroska demuxer hand
// FFmpeg's decoder packets that begin with such a header.
struct WavpackBlockFacts {
    std::uint32_t bitsPerSample = 0; // stored bytes x 8 less the declared zero low bits
    bool floatSamples = false;
    bool hybrid = false; // lossy part of a hybrid file: its correction file is never read
    bool dsd = false;
};

// Empty when data does not start with a WavPack block header.
[[nodiscard]] std::optional<WavpackBlockFacts> wavpackBlockFacts(const std::uint8_t* data, std::size_t size);

} // namespace orvel
