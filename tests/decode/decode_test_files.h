// SPDX-License-Identifier: MIT
#pragma once

// Paths and helpers shared by the decoder tests. The files come from
// tools/test-audio/decode.sh, run by the test_audio fixture.
#include <atomic>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "decode/decode_audio.h"
#include "tests/support/files.h"
#include "tests/support/messages.h"
#include "text/utf8.h"

namespace kestrone_test {

using orvel::testing::kUnsupportedMessage;
using orvel::testing::kNoSamplesMessage;
using orvel::testing::kRangeMessage;
using orvel::testing::kFlacHeaderMessage;
using orvel::testing::kFlacTruncatedMessage;
using orvel::testing::kWavHeaderMessage;
using orvel::testing::kWavCompressedMessage;
using orvel::testing::kWavPrecisionMessage;
using orvel::testing::kWavTruncatedMessage;
using orvel::testing::kNonFiniteMessage;
using orvel::testing::kNotRegularMessage;
using orvel::testing::kNoAudioStreamMessage;
using orvel::testing::ScratchFolder;

inline constexpr double kIntegerScale = 1.0 / 2147483648.0;

inline std::filesystem::path testAudio(const std::string& relative)
{
    return orvel::testing::testAudio("decode", relative);
}

inline orvel::DecodedAudio decodePath(const std::filesystem::path& path)
{
    const std::atomic<bool> stop{false};
    return orvel::decodeAudio(path, stop);
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

} // namespace kestrone_test
