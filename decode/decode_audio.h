// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <filesystem>
#include <cstdint>
#include <string>

#include "decode/cancellation.h"
#include "decode/decoded_audio.h"

namespace orvel {

// What decodeAudio does with a path whose extension names no format it reads.
enum class UnknownExtension {
    Refuse,           // files found by a folder walk, the window's queue
    RecogniseContent, // a file the user named directly: its leading bytes decide
};

// The single entry to decoding. The decoder is chosen by the lower-cased file
// extension:
//   .flac                      -> decodeFlac (libFLAC)
//   .wav .aif .aiff .aifc      -> decodeWavAiff (libsndfile)
//   .m4a .alac .aac .mp3       -> decodeWithFfmpeg (FFmpeg)
//   .wv .ape .tta .tak .ogg .oga .opus .wma .mka .caf -> decodeWithFfmpeg
//   anything else              -> "Unsupported format ..." runtime_error, or
//                                 with RecogniseContent the decoder that
//                                 formatOfContent names (decode/format_sniff.h)
// Outside the WAV/AIFF names, content that formatOfContent recognises as
// another decoder's overrides the name: a FLAC named .ogg goes to libFLAC, a
// WAV named .mp3 to libsndfile, an Ogg FLAC named .flac to FFmpeg.
// A build without FFmpeg refuses the third group with its own message. An
// existing path that is no regular file (folder, FIFO, device) is refused
// before anything opens it; one that cannot be opened gives the system's
// reason ("Cannot open this file: Permission denied."). The result holds 1..32 channels of equal length
// N >= 1, finite samples and a positive duration that is never shorter than
// the N frames decoded; when the whole stream decoded (N below 30 s and
// below 24,000,000 samples over all channels), it is exactly N / sampleRate. A stream that ends
// short of the length its container declares fails as truncated or corrupt.
// Throws std::runtime_error with a user-readable UTF-8 message, or Cancelled
// when stopRequested is seen set (at entry and before every chunk). threads
// is how many threads the decoding may use (FLAC uses two); the result does
// not depend on it.
[[nodiscard]] DecodedAudio decodeAudio(const std::filesystem::path& path, const std::atomic<bool>& stopRequested,
                                       UnknownExtension unknownExtension = UnknownExtension::Refuse,
                                       unsigned threads = 1);

// Validates record.sampleRate (set it first) and channelCount, sizes
// record.channels to channelCount vectors reserved to the frame limit, and
// returns that limit: min(30 x rate, 24,000,000 / channels, declared frames
// when non-zero).
[[nodiscard]] std::uint64_t prepareChannels(DecodedAudio& record, std::int32_t channelCount,
                                            std::uint64_t declaredFrames);

} // namespace orvel
