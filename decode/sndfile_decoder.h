// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <filesystem>
#include <string>

#include "decode/decoded_audio.h"

namespace orvel {

// Decodes integer or IEEE-float PCM from RIFF/RIFX WAV, WAVE_FORMAT_EXTENSIBLE,
// RF64, Wave64, AIFF and AIFC (libsndfile) up to the frame limit of
// prepareChannels. bitsPerSample is the width the header declares (the
// extensible valid bits when they fit the container); integers are scaled by
// 2^-31 from left-justified 32 bits, floats keep their values. Fewer frames
// than the limit is an error. Throws std::runtime_error or Cancelled.
[[nodiscard]] DecodedAudio decodeWavAiff(const std::filesystem::path& path, const std::atomic<bool>& stopRequested);

} // namespace orvel
