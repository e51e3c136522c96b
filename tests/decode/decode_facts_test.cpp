// SPDX-License-Identifier: MIT
// File -> the facts decodeAudio must report, or the message it must fail
// with, for real files made by sox, flac, ffmpeg and lame and for the
// hand-made headers of kestrone-testgen (tools/test-audio/decode.sh).
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <string>

#include "tests/decode/decode_test_files.h"

namespace {

using namespace kestrone_test;

struct Facts {
    const char* file;
    const char* error; // nullptr: the file must decode
    const char* codec = "";
    std::int32_t sampleRate = 0;
    std::size_t channels = 0;
    std::size_t frames = 0; // 0: not checked here (lossy streams: see the value tests)
    std::uint32_t bits = 0;
    bool integerSamples = true;
    bool lossyCodec = false;
    double durationSeconds = 0.0;
    double durationTolerance = 1e-9;
};

Facts fails(const char* file, const char* error) { return Facts{file, error}; }

std::ostream& operator<<(std::ostream& out, const Facts& facts) { return out << facts.file; }

std::string caseName(const testing::TestParamInfo<Facts>& info)
{
    std::string name = info.param.file;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            c = '_';
        }
    }
    return name;
}

class DecodeFactsTest : public testing::TestWithParam<Facts> {};

TEST_P(DecodeFactsTest, ReportsWhatTheFileHolds)
{
    const Facts& expected = GetParam();
    if (expected.error != nullptr) {
        EXPECT_EQ(decodeFailure(testAudio(expected.file)), expected.error);
        return;
    }
    const orvel::DecodedAudio audio = decodeTestFile(expected.file);
    EXPECT_EQ(audio.codec, expected.codec);
    EXPECT_EQ(audio.sampleRate, expected.sampleRate);
    ASSERT_EQ(audio.channels.size(), expected.channels);
    for (const auto& channel : audio.channels) {
        EXPECT_EQ(channel.size(), audio.channels.front().size());
    }
    if (expected.frames != 0) {
        EXPECT_EQ(audio.channels.front().size(), expected.frames);
    }
    EXPECT_EQ(audio.bitsPerSample, expected.bits);
    EXPECT_EQ(audio.integerSamples, expected.integerSamples);
    EXPECT_EQ(audio.lossyCodec, expected.lossyCodec);
    EXPECT_NEAR(audio.durationSeconds, expected.durationSeconds, expected.durationTolerance);
}

// --- Frame limit: 30 s, or 24,000,000 samples over all channels ------------
INSTANTIATE_TEST_SUITE_P(FrameLimit, DecodeFactsTest, testing::Values(
    Facts{"facts/2ch-44100Hz-180s.flac", nullptr, "FLAC", 44100, 2, 1'323'000, 16, true, false, 180.0},
    Facts{"facts/6ch-48000Hz-31s.flac", nullptr, "FLAC", 48000, 6, 1'440'000, 16, true, false, 31.0},
    Facts{"facts/32ch-384000Hz-2s-u8.wav", nullptr, "WAV", 384000, 32, 750'000, 8, true, false, 2.0}),
    caseName);

// --- Supported range ---------------------------------------------------------
INSTANTIATE_TEST_SUITE_P(Range, DecodeFactsTest, testing::Values(
    Facts{"range/1ch-8000Hz.flac", nullptr, "FLAC", 8000, 1, 4000, 16, true, false, 0.5},
    Facts{"range/1ch-8000Hz.wav", nullptr, "WAV", 8000, 1, 4000, 16, true, false, 0.5},
    Facts{"range/1ch-384000Hz.flac", nullptr, "FLAC", 384000, 1, 192000, 16, true, false, 0.5},
    Facts{"range/1ch-384000Hz.wav", nullptr, "WAV", 384000, 1, 192000, 16, true, false, 0.5},
    Facts{"range/32ch-8000Hz.wav", nullptr, "WAV", 8000, 32, 800, 16, true, false, 0.1},
    fails("range/1ch-7999Hz.flac", kRangeMessage),
    fails("range/1ch-7999Hz.wav", kRangeMessage),
    fails("range/1ch-384001Hz.flac", kRangeMessage),
    fails("range/1ch-384001Hz.wav", kRangeMessage),
    fails("range/33ch-8000Hz.wav", kRangeMessage)),
    caseName);

// --- Truncation, corruption and undeclared length ---------------------------
INSTANTIATE_TEST_SUITE_P(Truncation, DecodeFactsTest, testing::Values(
    fails("cut/300s-cut-at-10s.flac", kFlacTruncatedMessage),
    fails("cut/300s-cut-at-10s.wav", kWavTruncatedMessage),
    // Cut after 40 s of 5 minutes: the 30 s limit is reached first.
    Facts{"cut/300s-cut-at-40s.flac", nullptr, "FLAC", 8000, 1, 240'000, 16, true, false, 300.0},
    Facts{"cut/300s-cut-at-40s.wav", nullptr, "WAV", 8000, 1, 240'000, 16, true, false, 300.0},
    // No total in STREAMINFO: decoded to its end, duration from the frames.
    Facts{"cut/undeclared-3s.flac", nullptr, "FLAC", 8000, 1, 24'000, 16, true, false, 3.0},
    fails("cut/corrupt-frame.flac", kFlacTruncatedMessage),
    fails("cut/corrupt-frame-undeclared.flac", kFlacTruncatedMessage),
    fails("cut/lost-first-frame.flac", kFlacTruncatedMessage),
    fails("cut/lost-first-frame-undeclared.flac", kFlacTruncatedMessage),
    Facts{"cut/undeclared-3s-trailing-junk.flac", nullptr, "FLAC", 8000, 1, 24'000, 16, true, false, 3.0},
    fails("cut/declares-2pow36-frames.flac", kFlacTruncatedMessage),
    fails("cut/declares-rate-0.flac", kRangeMessage),
    fails("crafted/empty-data.wav", kNoSamplesMessage), // a valid header over no data: no audio, nothing cut
    fails("crafted/data-past-end.wav", kWavTruncatedMessage),
    fails("crafted/2pow32-frames.wav", kWavTruncatedMessage),
    fails("crafted/rf64-2pow40-bytes.wav", kWavTruncatedMessage)),
    caseName);

// --- WAV headers: declared widths, float, absurd fields ---------------------
INSTANTIATE_TEST_SUITE_P(WavHeaders, DecodeFactsTest, testing::Values(
    Facts{"crafted/12bit.wav", nullptr, "WAV", 48000, 2, 64, 12, true, false, 64.0 / 48000},
    Facts{"crafted/20bit.wav", nullptr, "WAV", 48000, 2, 64, 20, true, false, 64.0 / 48000},
    Facts{"crafted/ext-24in32.wav", nullptr, "WAV", 48000, 2, 64, 24, true, false, 64.0 / 48000},
    Facts{"crafted/ext-0in32.wav", nullptr, "WAV", 48000, 2, 64, 32, true, false, 64.0 / 48000},
    Facts{"crafted/ext-33in32.wav", nullptr, "WAV", 48000, 2, 64, 32, true, false, 64.0 / 48000},
    Facts{"crafted/ext-16in16.wav", nullptr, "WAV", 48000, 2, 64, 16, true, false, 64.0 / 48000},
    Facts{"crafted/float32-values.wav", nullptr, "WAV", 48000, 2, 64, 32, false, false, 64.0 / 48000},
    Facts{"crafted/float64-values.wav", nullptr, "WAV", 48000, 2, 64, 64, false, false, 64.0 / 48000},
    Facts{"crafted/rf64-values.wav", nullptr, "WAV", 48000, 2, 4800, 16, true, false, 0.1},
    fails("crafted/float32-nan.wav", kNonFiniteMessage),
    fails("crafted/float24.wav", kWavPrecisionMessage),
    fails("crafted/4bit.wav", kWavPrecisionMessage),
    fails("crafted/mp3-tag.wav", kWavCompressedMessage),
    fails("crafted/rate-0.wav", kRangeMessage),
    fails("crafted/rate-2pow31.wav", kRangeMessage),
    fails("crafted/65535ch.wav", kRangeMessage)),
    caseName);

// --- Containers and compressed data ------------------------------------------
INSTANTIATE_TEST_SUITE_P(Containers, DecodeFactsTest, testing::Values(
    Facts{"facts/rf64.wav", nullptr, "WAV", 44100, 2, 44100, 16, true, false, 1.0},
    Facts{"facts/wave64.wav", nullptr, "WAV", 44100, 2, 44100, 16, true, false, 1.0},
    Facts{"facts/2ch-44100Hz-16bit.aifc", nullptr, "AIFF", 44100, 2, 44100, 16, true, false, 1.0},
    Facts{"ref/2ch-44100Hz-16bit-sowt.aifc", nullptr, "AIFF", 44100, 2, 44100, 16, true, false, 1.0},
    Facts{"ref/2ch-44100Hz-16bit-rifx.wav", nullptr, "WAV", 44100, 2, 44100, 16, true, false, 1.0},
    Facts{"ref/1ch-22050Hz-8bit.aiff", nullptr, "AIFF", 22050, 1, 22050, 8, true, false, 1.0},
    Facts{"ref/2ch-48000Hz-float32.wav", nullptr, "WAV", 48000, 2, 48000, 32, false, false, 1.0},
    // The content decides the container, the name only the decoder.
    Facts{"facts/aiff-data.wav", nullptr, "AIFF", 44100, 2, 44100, 16, true, false, 1.0},
    fails("facts/flac-data.wav", kWavHeaderMessage),
    fails("facts/mulaw.wav", kWavCompressedMessage),
    fails("facts/alaw.wav", kWavCompressedMessage),
    fails("facts/ima-adpcm.wav", kWavCompressedMessage),
    fails("facts/ms-adpcm.wav", kWavCompressedMessage),
    fails("facts/mulaw.aifc", kWavCompressedMessage)),
    caseName);

// --- FFmpeg: codec classification ---------------------------------------------
#if KESTRONE_HAVE_FFMPEG
INSTANTIATE_TEST_SUITE_P(Ffmpeg, DecodeFactsTest, testing::Values(
    Facts{"ref/2ch-48000Hz-24bit-alac.m4a", nullptr, "ALAC", 48000, 2, 48000, 24, true, false, 1.0, 1e-3},
    Facts{"ref/2ch-44100Hz-16bit-alac.m4a", nullptr, "ALAC", 44100, 2, 44100, 16, true, false, 1.0, 1e-3},
    Facts{"facts/24bit.alac", nullptr, "ALAC", 48000, 2, 48000, 24, true, false, 1.0, 1e-3},
    // CAF declares whole 4096-frame packets (1.024 s); what decoded is the length.
    Facts{"facts/24bit-caf.alac", nullptr, "ALAC", 48000, 2, 48000, 24, true, false, 1.0},
    Facts{"ref/2ch-44100Hz-aac.m4a", nullptr, "AAC", 44100, 2, 0, 0, false, true, 1.0, 0.05},
    Facts{"ref/2ch-44100Hz-adts.aac", nullptr, "AAC", 44100, 2, 0, 0, false, true, 1.0, 0.1},
    Facts{"ref/2ch-44100Hz-128k.mp3", nullptr, "MP3", 44100, 2, 0, 0, false, true, 1.0, 0.1},
    Facts{"facts/flac-in-mp4.m4a", nullptr, "FFmpeg audio", 44100, 2, 44100, 16, true, false, 1.0, 1e-3},
    Facts{"facts/pcm16-in-mov.m4a", nullptr, "FFmpeg audio", 44100, 2, 44100, 16, true, false, 1.0, 1e-3},
    // Another lossy codec: float samples, not marked lossy, bits as declared (none).
    Facts{"facts/mp2-named.mp3", nullptr, "FFmpeg audio", 44100, 2, 0, 0, false, false, 1.0, 0.1},
    // Ogg FLAC under a FLAC name: its content decides.
    Facts{"cut/ogg-flac.flac", nullptr, "FLAC (Ogg)", 44100, 2, 44100, 16, true, false, 1.0},
    fails("facts/video-only.m4a", kNoAudioStreamMessage),
    fails("hostile/rate-change.aac", "Audio format changed midstream."),
    fails("hostile/channel-change.aac", "Audio format changed midstream."),
    // A damaged frame of a lossless stream is an error, not a gap.
    fails("hostile/flac-in-mp4-bad-frame.m4a", "FFmpeg audio decoding failed (Invalid data found when processing input)")),
    caseName);
#else
constexpr const char* kNeedsFfmpeg =
    "This format requires FFmpeg support, which this build does not include. FLAC/WAV/AIFF work without it.";
INSTANTIATE_TEST_SUITE_P(WithoutFfmpeg, DecodeFactsTest, testing::Values(
    fails("ref/2ch-48000Hz-24bit-alac.m4a", kNeedsFfmpeg),
    fails("facts/24bit.alac", kNeedsFfmpeg),
    fails("ref/2ch-44100Hz-adts.aac", kNeedsFfmpeg),
    fails("ref/2ch-44100Hz-128k.mp3", kNeedsFfmpeg)),
    caseName);
#endif

// --- Extension rules -----------------------------------------------------------
INSTANTIATE_TEST_SUITE_P(Extensions, DecodeFactsTest, testing::Values(
    Facts{"ext/upper.FLAC", nullptr, "FLAC", 44100, 2, 44100, 16, true, false, 1.0},
    fails("ext/x.flac.bak", kUnsupportedMessage),
    fails("ext/noextension", kUnsupportedMessage),
    fails("ext/.flac", kUnsupportedMessage)),
    caseName);

} // namespace
