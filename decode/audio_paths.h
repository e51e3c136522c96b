// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <functional>
#include <system_error>
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
// names. Symbolic links met inside it are neither followed nor reported.
// Calls onFile for every regular file with a supported extension, and
// onUnreadable for a folder that cannot be opened or listed to its end, or an
// entry whose kind cannot be read (no search permission, a path longer than
// PATH_MAX); without onUnreadable those are skipped. The walk ends when a
// callback returns false, or when keepGoing (checked before each step) does.
// isFolder: the path is a folder that could not be listed, else an entry.
using UnreadablePathCallback =
    std::function<bool(const std::filesystem::path&, const std::error_code&, bool isFolder)>;
void walkAudioFolder(const std::filesystem::path& folder,
                     const std::function<bool(const std::filesystem::path&)>& onFile,
                     const std::function<bool()>& keepGoing = {}, const UnreadablePathCallback& onUnreadable = {});

} // namespace orvel
