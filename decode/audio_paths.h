// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace orvel {

// The lower-cased extension of a path's final component, "." included: the
// text from its last "."; a component that is "." or "..", or whose only "."
// is its first character, has none. Empty when there is none.
[[nodiscard]] std::string lowerExtension(const std::filesystem::path& path);

// .flac .wav .aif .aiff .aifc .m4a .alac .aac .mp3, and those of
// isFfmpegOnlyExtension
[[nodiscard]] bool isSupportedAudioExtension(const std::string& lowerExt);

// .wv .ape .tta .tak .ogg .oga .opus .wma .mka .caf: formats only FFmpeg decodes
[[nodiscard]] bool isFfmpegOnlyExtension(const std::string& lowerExt);

// Walks a folder depth-first, each folder's entries in byte order of their
// names. Symbolic links met inside it are neither followed nor reported;
// folders that cannot be opened are skipped. Calls onFile for every regular
// file with a supported extension; the walk ends when onFile returns false, or
// when keepGoing (checked before each step) does.
void walkAudioFolder(const std::filesystem::path& folder,
                     const std::function<bool(const std::filesystem::path&)>& onFile,
                     const std::function<bool()>& keepGoing = {});

} // namespace orvel
