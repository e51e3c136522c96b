// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <filesystem>
#include <string>

#include "decode/decoded_audio.h"

namespace orvel {

// Decodes the first frames of a native FLAC stream (libFLAC) up to the frame
// limit of prepareChannels. Samples are left-justified to 32 bits and scaled
// by 2^-31. A frame that fails its CRC, or a frame that went missing (a jump
// in the frame numbering), is an error rather than silence or a gap. With two
// or more threads a long stream of declared length is decoded in two halves at
// once (the same samples and errors). Throws std::runtime_error or Cancelled.
[[nodiscard]] DecodedAudio decodeFlac(const std::filesystem::path& path, const std::atomic<bool>& stopRequested,
                                      unsigned threads = 1);

} // namespace orvel
