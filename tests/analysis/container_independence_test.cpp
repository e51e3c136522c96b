// SPDX-License-Identifier: MIT
// The same audio gives the same record in every lossless container, and the
// lossy formats are treated alike (tools/test-audio/formats.sh).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "analysis/analyze_file.h"
#include "decode/decode_audio.h"
#include "tests/support/files.h"

namespace orvel {
namespace {

std::atomic<bool> noStop{false};

std::filesystem::path formatsPath(const std::string& name)
{
    return std::filesystem::path(KESTRONE_TEST_AUDIO_DIR) / "formats" / name;
}

FileReport analysed(const std::string& name) { return analyzeFile(formatsPath(name), noStop, {}); }

void expectSameCheck(const CheckResult& got, const CheckResult& want, const char* check)
{
    EXPECT_EQ(got.status, want.status) << check;
    EXPECT_EQ(got.summary, want.summary) << check;
    EXPECT_EQ(got.evidence, want.evidence) << check;
}

// Every field but the file and the codec, compared exactly.
void expectSameRecord(const FileReport& got, const FileReport& want)
{
    EXPECT_EQ(got.error, want.error);
    EXPECT_EQ(got.sampleRate, want.sampleRate);
    EXPECT_EQ(got.storedBits, want.storedBits);
    EXPECT_EQ(got.channelCount, want.channelCount);
    EXPECT_EQ(got.duration, want.duration);
    EXPECT_EQ(got.analyzedSeconds, want.analyzedSeconds);
    expectSameCheck(got.upscaling, want.upscaling, "Upscaling");
    expectSameCheck(got.upsampling, want.upsampling, "Upsampling");
    expectSameCheck(got.aacSin, want.aacSin, "AAC-SIN");
    expectSameCheck(got.origin, want.origin, "ORIGIN");
    EXPECT_EQ(got.originFacts.cutoffKhz, want.originFacts.cutoffKhz);
    EXPECT_TRUE(got.originFacts.numbers == want.originFacts.numbers) << "ORIGIN's measurements differ";
    EXPECT_TRUE(got.spectrumDb == want.spectrumDb) << "the spectra differ";
}

struct Stored {
    const char* suffix;
    const char* codec;
};

// FLAC at three levels, WAV, AIFF, ALAC, WavPack, TTA, Monkey's Audio and TAK.
// No Debian package encodes the last two: tools/make-ape.py and
// tools/make-raw-tak.py write them.
const Stored kContainers[] = {
    {"-level0.flac", "FLAC"}, {"-level5.flac", "FLAC"}, {"-level8.flac", "FLAC"},
    {".aiff", "AIFF"},        {"-alac.m4a", "ALAC"},    {".wv", "WavPack"},
    {".tta", "TTA"},          {".ape", "Monkey's Audio"}, {".tak", "TAK"},
};

class ContainerIndependenceTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ContainerIndependenceTest, EveryLosslessContainerGivesTheRecordOfTheWav)
{
    KESTRONE_SKIP_WITHOUT_FFMPEG();
    const std::string base = std::string("same/") + GetParam();
    const FileReport wav = analysed(base + ".wav");
    ASSERT_TRUE(wav.error.empty()) << wav.error;
    ASSERT_EQ(wav.codec, "WAV");
    ASSERT_EQ(wav.spectrumDb.size(), 2049u);
    for (const Stored& stored : kContainers) {
        SCOPED_TRACE(stored.suffix);
        const FileReport other = analysed(base + stored.suffix);
        EXPECT_EQ(other.codec, stored.codec);
        EXPECT_EQ(other.file, formatsPath(base + stored.suffix));
        expectSameRecord(other, wav);
    }
}

TEST_P(ContainerIndependenceTest, TwiceTheGainKeepsTheUpsamplingAndAacSinVerdicts)
{
    const std::string base = std::string("same/") + GetParam();
    // The file must hold exactly twice every sample, or the comparison says nothing.
    const DecodedAudio once = decodeAudio(formatsPath(base + ".wav"), noStop);
    const DecodedAudio twice = decodeAudio(formatsPath(base + "-x2.flac"), noStop);
    ASSERT_EQ(once.channels.size(), twice.channels.size());
    for (std::size_t c = 0; c < once.channels.size(); ++c) {
        ASSERT_EQ(once.channels[c].size(), twice.channels[c].size());
        for (std::size_t i = 0; i < once.channels[c].size(); ++i) {
            ASSERT_EQ(2.0 * once.channels[c][i], twice.channels[c][i]) << "channel " << c << " frame " << i;
        }
    }
    const FileReport wav = analysed(base + ".wav");
    const FileReport louder = analysed(base + "-x2.flac");
    EXPECT_EQ(louder.upsampling.status, wav.upsampling.status);
    EXPECT_EQ(louder.upsampling.summary, wav.upsampling.summary);
    EXPECT_EQ(louder.aacSin.status, wav.aacSin.status);
    EXPECT_EQ(louder.aacSin.summary, wav.aacSin.summary);
}

INSTANTIATE_TEST_SUITE_P(Sources, ContainerIndependenceTest,
                         ::testing::Values("music-44100Hz-16bit", "music-96000Hz-24bit"),
                         [](const ::testing::TestParamInfo<const char*>& source) {
                             std::string name = source.param;
                             for (char& c : name) {
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

TEST(LossyFormatTest, HybridWavPackVorbisOpusAndWmaAreLossyInputsLikeMp3)
{
    KESTRONE_SKIP_WITHOUT_FFMPEG();
    const FileReport mp3 = analyzeFile(
        std::filesystem::path(KESTRONE_TEST_AUDIO_DIR) / "analysis" / "lossy-mp3-44100Hz-2ch-5s.mp3",
        noStop, {});
    ASSERT_EQ(mp3.aacSin.status, Verdict::NotApplicable);
    for (const auto& [file, codec] : {std::pair{"lossy/music-hybrid.wv", "WavPack"},
                                      std::pair{"lossy/music-vorbis.ogg", "Vorbis"},
                                      std::pair{"lossy/music-opus.opus", "Opus"},
                                      std::pair{"lossy/music-wma.wma", "WMA"}}) {
        SCOPED_TRACE(file);
        const FileReport lossy = analysed(file);
        EXPECT_EQ(lossy.codec, codec);
        EXPECT_EQ(lossy.storedBits, 0);
        EXPECT_EQ(lossy.aacSin.status, mp3.aacSin.status);
        EXPECT_EQ(lossy.aacSin.summary, mp3.aacSin.summary);
        EXPECT_TRUE(lossy.aacSin.evidence.ends_with(std::string("Input codec: ") + codec));
        EXPECT_EQ(lossy.upscaling.status, mp3.upscaling.status);
        EXPECT_EQ(lossy.upscaling.summary, mp3.upscaling.summary);
        EXPECT_EQ(lossy.origin.status, Verdict::NotApplicable);
        EXPECT_EQ(lossy.origin.status, mp3.origin.status);
    }
}

} // namespace
} // namespace orvel
