// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace orvel {

// The shared objects of FFmpeg this program calls, by soname, in the order
// they are loaded (each needs the ones before it).
struct FfmpegSonames {
    std::string avutil;
    std::string avcodec;
    std::string avformat;
};

// The sonames of the FFmpeg this build was compiled against (its headers'
// major versions), so a library of another, incompatible major is never
// loaded.
[[nodiscard]] const FfmpegSonames& builtFfmpegSonames();

// Loads FFmpeg's libraries by these sonames (they stay loaded) and resolves
// every function the decoder calls. Returns the message a file that
// needs FFmpeg gets when that fails, naming the soname (and the missing
// function), or an empty string when everything resolves.
[[nodiscard]] std::string ffmpegLoadError(const FfmpegSonames& sonames);

} // namespace orvel
