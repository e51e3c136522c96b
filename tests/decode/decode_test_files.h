// SPDX-License-Identifier: MIT
#pragma once

// Paths and helpers shared by the decoder tests. The files come from
// tools/test-audio/decode.sh, run by the test_audio fixture.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

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

// The samples the ffmpeg tool wrote to raw, headerless and interleaved: 32-bit
// floats, or 32-bit integers scaled to full scale 1.
inline std::vector<double> ffmpegSamplesIn(const std::filesystem::path& raw, bool floatSamples)
{
    const std::string bytes = orvel::testing::readBytes(raw);
    if (bytes.empty()) {
        throw std::runtime_error("cannot read " + raw.string());
    }
    std::vector<double> samples(bytes.size() / 4);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (floatSamples) {
            float value = 0;
            std::memcpy(&value, bytes.data() + 4 * i, 4);
            samples[i] = static_cast<double>(value);
        } else {
            std::int32_t value = 0;
            std::memcpy(&value, bytes.data() + 4 * i, 4);
            samples[i] = static_cast<double>(value) * kIntegerScale;
        }
    }
    return samples;
}

// Fails unless audio holds exactly the interleaved samples expected; names
// the first five that differ. The one allowance: FFmpeg's lossy float decoders
// built for Windows round a few float steps apart from Linux's build, whose
// tool made the expected samples; lossless decoders match exactly everywhere.
inline void expectSameSamples(const orvel::DecodedAudio& audio, const std::vector<double>& expected)
{
#if defined(_WIN32)
    const double allowed = audio.lossyCodec ? 1e-6 : 0.0;
#else
    const double allowed = 0.0;
#endif
    const std::size_t channels = audio.channels.size();
    ASSERT_GT(channels, 0u);
    ASSERT_GT(expected.size(), 0u);
    ASSERT_EQ(expected.size() % channels, 0u);
    const std::size_t frames = expected.size() / channels;
    ASSERT_EQ(audio.channels.front().size(), frames);
    std::size_t mismatches = 0;
    for (std::size_t f = 0; f < frames; ++f) {
        for (std::size_t c = 0; c < channels; ++c) {
            const double got = audio.channels[c][f];
            const double want = expected[f * channels + c];
            if (!(std::abs(got - want) <= allowed) && mismatches++ < 5) {
                ADD_FAILURE() << "frame " << f << " channel " << c << ": " << got << " instead of " << want;
            }
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

} // namespace kestrone_test
