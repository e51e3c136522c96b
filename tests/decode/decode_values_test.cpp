// SPDX-License-Identifier: MIT
// Decoded sample values: bit-identical to what the ffmpeg tool decodes from
// the same file (left-justified 32-bit integers x 2^-31, or 32-bit floats),
// and the exact values of hand-made sample patterns.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "tests/decode/decode_test_files.h"

namespace {

using namespace kestrone_test;

struct Reference {
    const char* file;
    bool floatSamples;                 // compared with NAME.f32le, else with NAME.s32le
    const char* sameSamplesAs = nullptr; // NAME of the reference, when not the file itself
};

std::ostream& operator<<(std::ostream& out, const Reference& reference) { return out << reference.file; }

std::string caseName(const testing::TestParamInfo<Reference>& info)
{
    std::string name = info.param.file;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            c = '_';
        }
    }
    return name;
}

// FFmpeg's interleaved output as the doubles the record must hold.
std::vector<double> ffmpegSamples(const Reference& reference)
{
    const std::string name = reference.sameSamplesAs != nullptr ? reference.sameSamplesAs : reference.file;
    return ffmpegSamplesIn(testAudio(name + (reference.floatSamples ? ".f32le" : ".s32le")), reference.floatSamples);
}

class DecodeFfmpegAgreementTest : public testing::TestWithParam<Reference> {};

TEST_P(DecodeFfmpegAgreementTest, DecodesTheSameSamplesAsTheFfmpegTool)
{
    const orvel::DecodedAudio audio = decodeTestFile(GetParam().file);
    const std::vector<double> expected = ffmpegSamples(GetParam());
    expectSameSamples(audio, expected);
}

INSTANTIATE_TEST_SUITE_P(Wav, DecodeFfmpegAgreementTest, testing::Values(
    Reference{"ref/2ch-44100Hz-16bit.wav", false},
    Reference{"ref/2ch-48000Hz-24bit.wav", false},
    Reference{"ref/2ch-48000Hz-32bit.wav", false},
    Reference{"ref/1ch-8000Hz-8bit.wav", false},
    Reference{"ref/6ch-48000Hz-16bit.wav", false},
    // ffmpeg reads this big-endian file's samples in the wrong byte order; sox
    // wrote it from the little-endian file, whose decoding is the reference.
    Reference{"ref/2ch-44100Hz-16bit-rifx.wav", false, "ref/2ch-44100Hz-16bit.wav"},
    Reference{"ref/2ch-48000Hz-float32.wav", true}),
    caseName);

INSTANTIATE_TEST_SUITE_P(Aiff, DecodeFfmpegAgreementTest, testing::Values(
    Reference{"ref/2ch-44100Hz-16bit.aiff", false},
    Reference{"ref/2ch-96000Hz-24bit.aiff", false},
    Reference{"ref/1ch-22050Hz-8bit.aiff", false},
    Reference{"ref/2ch-44100Hz-16bit-sowt.aifc", false}),
    caseName);

INSTANTIATE_TEST_SUITE_P(Flac, DecodeFfmpegAgreementTest, testing::Values(
    Reference{"ref/2ch-44100Hz-16bit.flac", false},
    Reference{"ref/2ch-48000Hz-24bit.flac", false},
    Reference{"ref/6ch-48000Hz-16bit.flac", false},
    // Junk between the metadata and the first frame costs no sample.
    Reference{"cut/junk-before-frames.flac", false, "ref/2ch-44100Hz-16bit.flac"}),
    caseName);

#if KESTRONE_HAVE_FFMPEG
INSTANTIATE_TEST_SUITE_P(Ffmpeg, DecodeFfmpegAgreementTest, testing::Values(
    Reference{"ref/2ch-44100Hz-16bit-alac.m4a", false},
    Reference{"ref/2ch-48000Hz-24bit-alac.m4a", false},
    Reference{"ref/2ch-44100Hz-aac.m4a", true},
    Reference{"ref/2ch-44100Hz-adts.aac", true},
    Reference{"ref/2ch-44100Hz-128k.mp3", true},
    // A damaged lossy stream: frames that do not decode are skipped, as
    // the ffmpeg tool skips them, and what decodes is kept.
    Reference{"hostile/garbage-after-header.mp3", true}),
    caseName);
#endif

// Patterns written by kestrone-testgen craft-wav: channel 0 starts with the
// largest value, the smallest, one half and zero (integers), or with 0.5,
// -1.0, 1.5, -2.25, a tiny value and 0.1 (floats).
void expectIntegerPattern(const orvel::DecodedAudio& audio, unsigned bits)
{
    ASSERT_FALSE(audio.channels.empty());
    const auto& first = audio.channels.front();
    ASSERT_GE(first.size(), 4u);
    const double step = std::ldexp(1.0, 1 - static_cast<int>(bits)); // one unit of the meaningful bits
    EXPECT_EQ(first[0], 1.0 - step);
    EXPECT_EQ(first[1], -1.0);
    EXPECT_EQ(first[2], 0.5);
    EXPECT_EQ(first[3], 0.0);
    // Nothing below the meaningful bits, nothing at or beyond full scale.
    for (const auto& channel : audio.channels) {
        for (double value : channel) {
            ASSERT_EQ(std::fmod(value, step), 0.0) << value;
            ASSERT_GE(value, -1.0);
            ASSERT_LT(value, 1.0);
        }
    }
}

TEST(DecodeSampleValueTest, SixteenBitIntegersScaleToFullScaleInEveryDecoder)
{
    // 16384 -> 0.5, -32768 -> -1.0, 32767 -> 1 - 2^-15.
    for (const char* file : {"crafted/pcm16-values.wav", "crafted/pcm16-values.flac", "crafted/pcm16-values.aiff",
                             "crafted/rf64-values.wav"}) {
        SCOPED_TRACE(file);
        expectIntegerPattern(decodeTestFile(file), 16);
    }
}

TEST(DecodeSampleValueTest, TwentyFourBitIntegersAreLeftJustified)
{
    for (const char* file : {"crafted/pcm24-values.wav", "crafted/pcm24-values.flac"}) {
        SCOPED_TRACE(file);
        expectIntegerPattern(decodeTestFile(file), 24);
    }
}

TEST(DecodeSampleValueTest, OddWidthsAndValidBitsKeepTheirValues)
{
    expectIntegerPattern(decodeTestFile("crafted/12bit.wav"), 12);
    expectIntegerPattern(decodeTestFile("crafted/20bit.wav"), 20);
    expectIntegerPattern(decodeTestFile("crafted/ext-24in32.wav"), 24);
    expectIntegerPattern(decodeTestFile("crafted/ext-0in32.wav"), 32);
}

TEST(DecodeSampleValueTest, FloatWavKeepsValuesBeyondFullScaleUnscaled)
{
    const orvel::DecodedAudio single = decodeTestFile("crafted/float32-values.wav");
    const auto& s = single.channels.front();
    ASSERT_GE(s.size(), 6u);
    EXPECT_EQ(s[0], 0.5);
    EXPECT_EQ(s[1], -1.0);
    EXPECT_EQ(s[2], 1.5);
    EXPECT_EQ(s[3], -2.25);
    EXPECT_EQ(s[4], static_cast<double>(1e-30f));
    EXPECT_EQ(s[5], static_cast<double>(0.1f));

    const orvel::DecodedAudio wide = decodeTestFile("crafted/float64-values.wav");
    const auto& d = wide.channels.front();
    ASSERT_GE(d.size(), 6u);
    EXPECT_EQ(d[0], 0.5);
    EXPECT_EQ(d[1], -1.0);
    EXPECT_EQ(d[2], 1.5);
    EXPECT_EQ(d[3], -2.25);
    EXPECT_EQ(d[4], 1e-300); // would vanish through a 32-bit float
    EXPECT_EQ(d[5], 0.1);
    EXPECT_EQ(wide.bitsPerSample, 64u);
    EXPECT_FALSE(wide.integerSamples);
}

TEST(DecodeSampleValueTest, ChannelsStayInFileOrder)
{
    // Channel c of the pattern is channel 0 shifted by 7c frames.
    for (const char* file : {"crafted/pcm16-values.wav", "crafted/pcm16-values.flac", "crafted/float64-values.wav"}) {
        SCOPED_TRACE(file);
        const orvel::DecodedAudio audio = decodeTestFile(file);
        ASSERT_EQ(audio.channels.size(), 2u);
        for (std::size_t f = 0; f + 7 < 64; ++f) {
            ASSERT_EQ(audio.channels[1][f], audio.channels[0][f + 7]) << "frame " << f;
        }
    }
}

} // namespace
