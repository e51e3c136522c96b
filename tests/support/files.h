// SPDX-License-Identifier: MIT
#pragma once

// Scratch folders, whole-file reading and writing, and where the test audio
// (made by tools/make-test-audio.sh in the test_audio fixture) lives.
#include <filesystem>
#include <string>
#include <vector>

namespace orvel::testing {

// Whether this build reads the formats FFmpeg decodes (M4A, MP3, WavPack, ...);
// a build without FFmpeg skips the tests that need them.
#if KESTRONE_HAVE_FFMPEG
inline constexpr bool kFfmpegBuilt = true;
#else
inline constexpr bool kFfmpegBuilt = false;
#endif

// A fresh folder under the system temporary folder, removed with everything
// in it, folders a test made read-only included.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }
    [[nodiscard]] std::filesystem::path operator/(const std::filesystem::path& name) const { return m_path / name; }

    // Names of everything directly in the folder, sorted.
    [[nodiscard]] std::vector<std::string> entries() const;
    // Creates a regular file (and its folders) holding bytes; returns its path.
    std::filesystem::path touch(const std::filesystem::path& relative, const std::string& bytes = "x") const;

private:
    std::filesystem::path m_path;
};

// The whole file; empty when it cannot be read.
[[nodiscard]] std::string readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, const std::string& bytes);

// The lines of text without their "\n".
[[nodiscard]] std::vector<std::string> lines(const std::string& text);

// A file of one suite's test audio: testAudio("scan", "mixed/a.flac");
// testAudio("") is the folder of all of it.
[[nodiscard]] std::filesystem::path testAudio(const std::string& suite, const std::filesystem::path& relative = {});

// Every regular file of one folder, in name order.
[[nodiscard]] std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder);

} // namespace orvel::testing

#define KESTRONE_SKIP_WITHOUT_FFMPEG()                                   \
    do {                                                                 \
        if (!::orvel::testing::kFfmpegBuilt) {                           \
            GTEST_SKIP() << "needs the formats FFmpeg decodes";          \
        }                                                                \
    } while (false)
