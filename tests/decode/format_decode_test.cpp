// SPDX-License-Identifier: MIT
// The formats FFmpeg decodes beyond MP4 and MP3 (tools/test-audio/formats.sh):
// samples bit-identical to what the ffmpeg tool decodes, and the label, width
// and kind each file is reported with.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <fstream>
#include <string>

#include "decode/audio_paths.h"
#include "tests/decode/decode_test_files.h"

namespace {

using namespace kestrone_test;

#if KESTRONE_HAVE_FFMPEG

std::filesystem::path formatsAudio(const std::string& relative)
{
    return std::filesystem::path(KESTRONE_TEST_AUDIO_DIR) / "formats" / relative;
}

struct Format {
    const char* file;
    const char* codec;
    std::int32_t sampleRate;
    std::size_t channels;
    std::uint32_t bits; // 0 for lossy
    bool integerSamples;
    bool lossyCodec;
    double seconds = 1.0;
};

std::ostream& operator<<(std::ostream& out, const Format& format) { return out << format.file; }

std::string caseName(const testing::TestParamInfo<Format>& info)
{
    std::string name = info.param.file;
    for (char& c : name) {
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
}

// The ffmpeg tool's interleaved output, as the doubles the record must hold.
std::vector<double> ffmpegSamples(const Format& format)
{
    const bool floats = !format.integerSamples;
    return ffmpegSamplesIn(formatsAudio(std::string(format.file) + (floats ? ".f32le" : ".s32le")), floats);
}

class FormatDecodeTest : public testing::TestWithParam<Format> {};

TEST_P(FormatDecodeTest, ReportsItsLabelWidthAndKind)
{
    const Format& expected = GetParam();
    const orvel::DecodedAudio audio = decodePath(formatsAudio(expected.file));
    EXPECT_EQ(audio.codec, expected.codec);
    EXPECT_EQ(audio.sampleRate, expected.sampleRate);
    EXPECT_EQ(audio.channels.size(), expected.channels);
    EXPECT_EQ(audio.bitsPerSample, expected.bits);
    EXPECT_EQ(audio.integerSamples, expected.integerSamples);
    EXPECT_EQ(audio.lossyCodec, expected.lossyCodec);
    EXPECT_NEAR(audio.durationSeconds, expected.seconds, 0.03);
}

TEST_P(FormatDecodeTest, DecodesTheSameSamplesAsTheFfmpegTool)
{
    const orvel::DecodedAudio audio = decodePath(formatsAudio(GetParam().file));
    const std::vector<double> expected = ffmpegSamples(GetParam());
    expectSameSamples(audio, expected);
}

INSTANTIATE_TEST_SUITE_P(WavPack, FormatDecodeTest, testing::Values(
    Format{"ref/wavpack-16bit.wv", "WavPack", 44100, 2, 16, true, false},
    Format{"ref/wavpack-24bit.wv", "WavPack", 96000, 2, 24, true, false},
    Format{"ref/wavpack-24bit-high.wv", "WavPack", 96000, 2, 24, true, false},
    Format{"ref/wavpack-20bit.wv", "WavPack", 48000, 2, 20, true, false, 0.1},
    Format{"ref/wavpack-mono.wv", "WavPack", 48000, 1, 16, true, false},
    Format{"ref/wavpack-float.wv", "WavPack", 48000, 2, 32, false, false},
    // ffmpeg's encoder stores 24-bit input as 32-bit integers, and says so.
    Format{"ref/ffmpeg-wavpack-32bit.wv", "WavPack", 96000, 2, 32, true, false},
    // The correction file beside it is not read: what decodes is lossy.
    Format{"ref/wavpack-hybrid.wv", "WavPack", 44100, 2, 0, false, true},
    Format{"ref/wavpack-16bit.mka", "WavPack", 44100, 2, 16, true, false},
    Format{"ref/wavpack-hybrid.mka", "WavPack", 44100, 2, 0, false, true},
    Format{"ref/wavpack-20bit.mka", "WavPack", 48000, 2, 20, true, false, 0.1}),
    caseName);

INSTANTIATE_TEST_SUITE_P(Tta, FormatDecodeTest, testing::Values(
    Format{"ref/tta-16bit.tta", "TTA", 44100, 2, 16, true, false},
    Format{"ref/tta-24bit.tta", "TTA", 96000, 2, 24, true, false},
    Format{"ref/tta-16bit.mka", "TTA", 44100, 2, 16, true, false}),
    caseName);

INSTANTIATE_TEST_SUITE_P(FlacElsewhere, FormatDecodeTest, testing::Values(
    Format{"ref/flac-16bit.oga", "FLAC (Ogg)", 44100, 2, 16, true, false},
    Format{"ref/flac-24bit.ogg", "FLAC (Ogg)", 96000, 2, 24, true, false},
    Format{"ref/flac-24bit.mka", "FLAC (Matroska)", 96000, 2, 24, true, false}),
    caseName);

// Hand-made: no TAK encoder is packaged, so these hold PCM verbatim.
INSTANTIATE_TEST_SUITE_P(Tak, FormatDecodeTest, testing::Values(
    Format{"ref/tak-16bit.tak", "TAK", 44100, 2, 16, true, false},
    Format{"ref/tak-24bit.tak", "TAK", 96000, 2, 24, true, false},
    Format{"ref/tak-mono.tak", "TAK", 48000, 1, 16, true, false}),
    caseName);

// No Monkey's Audio encoder is packaged: tools/make-ape.py wrote these.
INSTANTIATE_TEST_SUITE_P(MonkeysAudio, FormatDecodeTest, testing::Values(
    Format{"ref/monkeys-16bit.ape", "Monkey's Audio", 44100, 2, 16, true, false},
    Format{"ref/monkeys-24bit.ape", "Monkey's Audio", 96000, 2, 24, true, false}),
    caseName);

INSTANTIATE_TEST_SUITE_P(Caf, FormatDecodeTest, testing::Values(
    Format{"ref/alac-16bit.caf", "ALAC", 44100, 2, 16, true, false},
    Format{"ref/alac-24bit.caf", "ALAC", 96000, 2, 24, true, false}),
    caseName);

INSTANTIATE_TEST_SUITE_P(Lossy, FormatDecodeTest, testing::Values(
    Format{"ref/vorbis.ogg", "Vorbis", 44100, 2, 0, false, true},
    Format{"ref/vorbis.mka", "Vorbis", 44100, 2, 0, false, true},
    Format{"ref/opus.opus", "Opus", 48000, 2, 0, false, true},
    Format{"ref/opus-in-ogg.ogg", "Opus", 48000, 2, 0, false, true},
    Format{"ref/wma2.wma", "WMA", 44100, 2, 0, false, true},
    Format{"ref/wma1.wma", "WMA", 44100, 2, 0, false, true}),
    caseName);

TEST(FormatDecodeValueTest, TheFrameLimitHoldsInTheNewContainers)
{
    for (const char* file : {"long/31s.wv", "long/31s.ogg", "long/31s.mka"}) {
        SCOPED_TRACE(file);
        const orvel::DecodedAudio audio = decodePath(formatsAudio(file));
        ASSERT_EQ(audio.channels.size(), 1u);
        EXPECT_EQ(audio.channels.front().size(), 30u * 8000u);
        EXPECT_NEAR(audio.durationSeconds, 31.0, 0.05);
    }
}

TEST(FormatDecodeValueTest, TwentyBitWavPackKeepsItsValuesLeftJustified)
{
    // kestrone-testgen's pattern: the largest value, the smallest, one half, zero.
    const orvel::DecodedAudio audio = decodePath(formatsAudio("ref/wavpack-20bit.wv"));
    ASSERT_GE(audio.channels.front().size(), 4u);
    const double step = std::ldexp(1.0, -19);
    EXPECT_EQ(audio.channels[0][0], 1.0 - step);
    EXPECT_EQ(audio.channels[0][1], -1.0);
    EXPECT_EQ(audio.channels[0][2], 0.5);
    EXPECT_EQ(audio.channels[0][3], 0.0);
    for (const auto& channel : audio.channels) {
        for (double value : channel) {
            ASSERT_EQ(std::fmod(value, step), 0.0) << value;
        }
    }
}

#endif

TEST(FormatWalkTest, FolderWalksFindEveryNewExtensionAndNothingElse)
{
    const ScratchFolder scratch;
    const std::vector<std::string> found = {"a.wv", "b.APE", "c.tta", "d.tak", "e.ogg", "f.oga",
                                            "g.Opus", "h.wma", "i.mka", "j.caf", "k.flac"};
    // A WavPack correction file is no input of its own; the rest are not supported.
    const std::vector<std::string> skipped = {"a.wvc", "l.mpc", "m.dsf", "n.webm", "o.spx", "p.ogv"};
    for (const auto* names : {&found, &skipped}) {
        for (const std::string& name : *names) {
            std::ofstream(scratch / name) << "x";
        }
    }
    std::vector<std::string> walked;
    orvel::walkAudioFolder(scratch.path(), [&](const std::filesystem::path& file) {
        walked.push_back(file.filename().string());
        return true;
    });
    EXPECT_EQ(walked, found);
    for (const std::string& name : skipped) {
        EXPECT_EQ(decodeFailure(scratch / name), kUnsupportedMessage) << name;
    }
}

} // namespace
