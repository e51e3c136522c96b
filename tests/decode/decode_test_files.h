// SPDX-License-Identifier: MIT
#pragma once

// Paths and helpers shared by the decoder tests. The files come from
// tools/test-audio/decode.sh, run by the test_audio fixture.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "decode/decode_audio.h"
#include "text/utf8.h"

namespace kestrone_test {

inline constexpr const char* kUnsupportedMessage =
    "Unsupported format in the compact edition. Use FLAC, WAV, AIFF, or Windows-supported M4A/ALAC/AAC/MP3. "
    "APE, WavPack, Ogg and Opus are not included.";
inline constexpr const char* kNoSamplesMessage = "The audio stream contains no samples.";
inline constexpr const char* kRangeMessage = "Supported range: 8\u2013384 kHz, 1\u201332 channels.";
inline constexpr const char* kFlacHeaderMessage = "Cannot decode FLAC header. The file may be corrupt or unsupported.";
inline constexpr const char* kFlacTruncatedMessage = "Truncated or corrupt FLAC: fewer decoded samples than declared.";
inline constexpr const char* kWavHeaderMessage = "Cannot decode WAV/AIFF header. The file may be corrupt or unsupported.";
inline constexpr const char* kWavCompressedMessage =
    "Compressed WAV/AIFF is not supported. Use PCM WAV, floating-point WAV, or FLAC.";
inline constexpr const char* kWavPrecisionMessage = "Unsupported WAV/AIFF sample precision.";
inline constexpr const char* kWavTruncatedMessage = "Truncated WAV/AIFF sample data.";
inline constexpr const char* kNonFiniteMessage = "Audio contains non-finite samples.";
inline constexpr const char* kNotRegularMessage = "This path is not a regular file.";
inline constexpr const char* kNoAudioStreamMessage = "No audio stream found";

inline constexpr double kIntegerScale = 1.0 / 2147483648.0;

inline std::filesystem::path testAudio(const std::string& relative)
{
    return std::filesystem::path(KESTRONE_TEST_AUDIO_DIR) / "decode" / relative;
}

inline std::filesystem::path widePath(const std::filesystem::path& path) { return path; }

inline orvel::DecodedAudio decodePath(const std::filesystem::path& path)
{
    const std::atomic<bool> stop{false};
    return orvel::decodeAudio(widePath(path), stop);
}

inline orvel::DecodedAudio decodeTestFile(const std::string& relative) { return decodePath(testAudio(relative)); }

// The message decoding fails with; empty when it succeeds.
inline std::string decodeFailure(const std::filesystem::path& path)
{
    try {
        (void)decodePath(path);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return {};
}

inline std::vector<char> readBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A fresh folder under the build tree, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder()
    {
        std::string pattern = (std::filesystem::path(KESTRONE_BINARY_DIR) / "decode-scratch-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a scratch folder");
        }
        m_path = pattern;
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }

    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }
    [[nodiscard]] std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

} // namespace kestrone_test
