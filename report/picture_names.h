// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>

namespace orvel {

// Names the pictures of a batch, one per audio file, all in one folder: the
// audio file's name plus ".png" ("a/Song.flac" -> "Song.flac.png"). Files of
// the run that share a name each get a name from their path instead,
// "Song.flac (1a2b3c4d).png" with 8 hex digits of pathHash, so a file's name
// does not depend on the order or on which shard of the run writes it. Names
// compare without regard to ASCII case, so a batch written to a
// case-insensitive volume cannot overwrite its own pictures; the rare name
// still taken gets " (2)", " (3)" and so on. A name is cut (at a character
// boundary where the bytes are UTF-8) to fit the 255-byte limit of a file
// name. The bytes of the audio file's name are kept as they are.
//
// count() every file of the run (every shard's, when the run is split) before
// the first nameFor().
class PictureNames {
public:
    void count(const std::filesystem::path& audioFile);
    // pathHash: a hash of the file's path that is the same on every machine.
    [[nodiscard]] std::string nameFor(const std::filesystem::path& audioFile, std::uint64_t pathHash = 0);

private:
    std::map<std::string, std::size_t> m_counts; // ASCII-lower-cased names counted
    std::set<std::string> m_taken;               // ASCII-lower-cased names given so far
};

} // namespace orvel
