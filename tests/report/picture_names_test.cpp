// SPDX-License-Identifier: MIT
#include "report/picture_names.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace orvel {
namespace {

TEST(PictureNamesTest, NamesFollowTheAudioFileAndCollisionsGetNumbers)
{
    PictureNames names;
    EXPECT_EQ(names.nameFor("/music/a/Song.flac"), "Song.flac.png");
    EXPECT_EQ(names.nameFor("/music/b/Song.flac"), "Song.flac (2).png");
    EXPECT_EQ(names.nameFor("Song.mp3"), "Song.mp3.png");
    // Differing only in case is a collision on a case-insensitive volume.
    EXPECT_EQ(names.nameFor("/other/SONG.FLAC"), "SONG.FLAC (3).png");
    // A file whose own name looks like a numbered picture does not take one twice.
    EXPECT_EQ(names.nameFor("/x/Song.flac (2)"), "Song.flac (2) (2).png");
    EXPECT_EQ(names.nameFor("/c/Song.flac"), "Song.flac (4).png");
}

// Shards of one run each name only their own files: a name must not depend on
// which files come before it.
TEST(PictureNamesTest, FilesSharingANameInTheRunAreNamedFromTheirPathWhateverTheOrder)
{
    const std::vector<std::pair<std::string, std::uint64_t>> files = {
        {"/music/a/Song.flac", 0x1234abcd5678ef01}, {"/music/b/SONG.flac", 0x99}, {"/music/c/Other.flac", 7}};
    PictureNames forward;
    PictureNames backward;
    for (const auto& [path, hash] : files) {
        forward.count(path);
        backward.count(path);
    }
    EXPECT_EQ(backward.nameFor(files[2].first, files[2].second), "Other.flac.png");
    EXPECT_EQ(backward.nameFor(files[1].first, files[1].second), "SONG.flac (00000099).png");
    EXPECT_EQ(backward.nameFor(files[0].first, files[0].second), "Song.flac (5678ef01).png");
    EXPECT_EQ(forward.nameFor(files[0].first, files[0].second), "Song.flac (5678ef01).png");
    EXPECT_EQ(forward.nameFor(files[1].first, files[1].second), "SONG.flac (00000099).png");
    EXPECT_EQ(forward.nameFor(files[2].first, files[2].second), "Other.flac.png");
}

TEST(PictureNamesTest, NamesFitAFileNameAndKeepTheBytes)
{
    PictureNames names;
    // 253 bytes before ".flac", ending in three-byte characters: cut at a character boundary.
    std::string longName = "a";
    for (int i = 0; i < 84; ++i) {
        longName += "\xE6\x97\xA5";
    }
    longName += ".flac";
    const std::string first = names.nameFor("/m/" + longName);
    const std::string second = names.nameFor("/n/" + longName);
    EXPECT_LE(first.size(), 255u);
    EXPECT_LE(second.size(), 255u);
    EXPECT_NE(first, second);
    EXPECT_EQ(first.substr(first.size() - 4), ".png");
    EXPECT_EQ(first.substr(0, 4), "a\xE6\x97\xA5");
    EXPECT_EQ(first.substr(first.size() - 7, 3), "\xE6\x97\xA5") << "cut inside a character";

    EXPECT_EQ(names.nameFor("/m/bad\xFF.wav"), "bad\xFF.wav.png");
    EXPECT_EQ(names.nameFor("/"), "audio.png");
}

} // namespace
} // namespace orvel
