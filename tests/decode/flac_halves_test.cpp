// SPDX-License-Identifier: MIT
// A long FLAC decoded in two halves at once gives what one decoder gives:
// the same samples, or the same error where a frame is damaged or missing.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "decode/flac_decoder.h"
#include "tests/decode/decode_test_files.h"
#include "tests/support/files.h"

namespace {

namespace fs = std::filesystem;

struct Damage {
    const char* name;
    const char* file;       // under the test audio
    double flipAt = -1.0;   // share of the file's bytes where one byte is inverted
    double cutAt = -1.0;    // share of the file's bytes kept
};

std::ostream& operator<<(std::ostream& out, const Damage& damage) { return out << damage.name; }

// The samples, or the error's message.
std::string outcome(const fs::path& path, unsigned threads, std::vector<std::vector<double>>& samples)
{
    const std::atomic<bool> stop{false};
    try {
        const orvel::DecodedAudio audio = orvel::decodeFlac(path, stop, threads);
        for (const orvel::ChannelSamples& channel : audio.channels) {
            samples.emplace_back(channel.begin(), channel.end());
        }
        return {};
    } catch (const std::runtime_error& error) {
        return error.what();
    }
}

class FlacHalvesTest : public ::testing::TestWithParam<Damage> {};

TEST_P(FlacHalvesTest, GiveWhatOneDecoderGives)
{
    const Damage& damage = GetParam();
    const kestrone_test::ScratchFolder scratch;
    std::ifstream in(orvel::testing::testAudio("", damage.file), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 100'000u);
    if (damage.flipAt >= 0.0) {
        auto& byte = bytes[static_cast<std::size_t>(static_cast<double>(bytes.size()) * damage.flipAt)];
        byte = static_cast<char>(~byte);
    }
    if (damage.cutAt >= 0.0) {
        bytes.resize(static_cast<std::size_t>(static_cast<double>(bytes.size()) * damage.cutAt));
    }
    const fs::path file = scratch.touch("damaged.flac", bytes);

    std::vector<std::vector<double>> alone;
    std::vector<std::vector<double>> halves;
    const std::string aloneError = outcome(file, 1, alone);
    EXPECT_EQ(outcome(file, 2, halves), aloneError);
    ASSERT_EQ(alone.size(), halves.size());
    for (std::size_t c = 0; c < alone.size(); ++c) {
        ASSERT_EQ(alone[c].size(), halves[c].size()) << c;
        EXPECT_EQ(std::memcmp(alone[c].data(), halves[c].data(), alone[c].size() * sizeof(double)), 0) << c;
    }
    EXPECT_EQ(aloneError.empty(), damage.flipAt < 0.0 && damage.cutAt < 0.0) << aloneError;
}

INSTANTIATE_TEST_SUITE_P(
    Damages, FlacHalvesTest,
    ::testing::Values(Damage{"Intact", "analysis/aac-kbd-transcode-44100Hz-2ch-10s.flac"},
                      Damage{"SixChannelsPastTheLimit", "decode/facts/6ch-48000Hz-31s.flac"},
                      Damage{"FirstHalfDamaged", "analysis/aac-kbd-transcode-44100Hz-2ch-10s.flac", 0.3},
                      Damage{"SecondHalfDamaged", "analysis/aac-kbd-transcode-44100Hz-2ch-10s.flac", 0.8},
                      Damage{"SecondHalfMissing", "analysis/aac-kbd-transcode-44100Hz-2ch-10s.flac", -1.0, 0.8}),
    [](const ::testing::TestParamInfo<Damage>& param) { return std::string(param.param.name); });

} // namespace
