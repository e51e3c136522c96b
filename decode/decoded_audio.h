// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/large_buffer.h"

namespace orvel {

// A channel's samples, on whole 2 MB pages once large (see LargeBufferAllocator).
using ChannelSamples = std::vector<double, LargeBufferAllocator<double>>;

// The decoded analysed region of one file: at most its first 30 seconds and at
// most 24,000,000 samples over all channels, planar, full scale [-1, 1).
struct DecodedAudio {
    std::vector<ChannelSamples> channels;
    std::int32_t sampleRate = 0;
    std::uint32_t bitsPerSample = 0; // 0: unknown, or a lossy source
    bool integerSamples = true;
    bool lossyCodec = false;
    double durationSeconds = 0.0; // of the whole file, may exceed what was decoded
    std::string codec;           // "FLAC", "WAV", "AIFF", "ALAC", "AAC", "MP3", "FFmpeg audio"
};

} // namespace orvel
