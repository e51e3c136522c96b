// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <filesystem>
#include <string>

#include "decode/decoded_audio.h"

namespace orvel {

// Decodes the first audio stream of an MP4/M4A, ADTS or MP3 file (or anything
// else FFmpeg recognises by content) up to the frame limit of
// prepareChannels, without resampling or remixing. ALAC, FLAC and integer PCM
// give left-justified integers x 2^-31; every other codec gives 32-bit floats,
// and AAC and MP3 are marked lossy with bitsPerSample 0. The stream's length
// plays no part in the limit and a short stream is not an error. Throws
// std::runtime_error (FFmpeg's error text in parentheses where a call failed)
// or Cancelled.
[[nodiscard]] DecodedAudio decodeWithFfmpeg(const std::filesystem::path& path, const std::atomic<bool>& stopRequested);

} // namespace orvel
