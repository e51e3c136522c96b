// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <filesystem>
#include <string>

#include "decode/decoded_audio.h"

namespace orvel {

// Decodes the first audio stream of an MP4/M4A, CAF, ADTS, MP3, WavPack,
// Monkey's Audio, TTA, TAK, Ogg, ASF (WMA) or Matroska file (recognised by
// content among these) up to the frame limit of prepareChannels, without
// resampling or remixing. The lossless integer codecs (ALAC, FLAC, WavPack,
// Monkey's Audio, TTA, TAK, WMA Lossless, integer PCM) give left-justified
// integers x 2^-31 and their stored width; every other codec gives 32-bit
// floats, and AAC, MP3, Vorbis, Opus, lossy WMA and hybrid WavPack (read
// without its correction file) are marked lossy with bitsPerSample 0. The stream's length
// plays no part in the limit and a short stream is not an error. FFmpeg's
// libraries are loaded by the first call (see ffmpeg_api.h). Throws
// std::runtime_error (FFmpeg's error text in parentheses where a call failed;
// the library's soname where FFmpeg cannot be loaded) or Cancelled.
[[nodiscard]] DecodedAudio decodeWithFfmpeg(const std::filesystem::path& path, const std::atomic<bool>& stopRequested);

} // namespace orvel
