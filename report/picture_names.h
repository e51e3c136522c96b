// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <set>
#include <string>

namespace orvel {

// Names the pictures of a batch, one per audio file, all in one folder: the
// audio file's name plus ".png" ("a/Song.flac" -> "Song.flac.png"), and where
// that is taken already "Song.flac (2).png", "(3)" and so on. Names compare
// without regard to ASCII case, so a batch written to a case-insensitive
// volume cannot overwrite its own pictures. A name is cut (at a character
// boundary where the bytes are UTF-8) to fit the 255-byte limit of a file
// name. The bytes of the audio file's name are kept as they are.
//
// Give the names in the batch's input order, before any file is analysed, so
// that they do not depend on which file finishes first (--jobs).
class PictureNames {
public:
    [[nodiscard]] std::string nameFor(const std::filesystem::path& audioFile);

private:
    std::set<std::string> m_taken; // ASCII-lower-cased names given so far
};

} // namespace orvel
