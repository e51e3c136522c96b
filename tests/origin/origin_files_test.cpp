// SPDX-License-Identifier: MIT
// The ORIGIN check on real encoder and resampler output of music-like
// material (tools/test-audio/origin.sh) and on genuine material of the same
// kinds: every transcode class it is built to see is found by its trace, and
// no genuine file is accused.
#include <bit>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/aac_sin.h"
#include "analysis/analysis_options.h"
#include "analysis/averaged_spectrum.h"
#include "analysis/mp3_grid.h"
#include "analysis/origin.h"
#include "analysis/spectrum_db.h"
#include "decode/cancellation.h"
#include "decode/decode_audio.h"
#include "tests/support/files.h"

namespace orvel {
namespace {

const std::atomic<bool> noStop{false};

std::filesystem::path audioPath(const std::string& name)
{
    return std::filesystem::path(KESTRONE_TEST_AUDIO_DIR) / "origin" / name;
}

// What analyzeFile has when it reaches the checks: the decoded audio, the
// combined spectrum of the first two channels, the AAC-SIN verdict.
struct Analysed {
    DecodedAudio audio;
    std::vector<double> spectrum;
    bool aacSinFound = false;
};

const Analysed& analysed(const std::string& name)
{
    static std::map<std::string, Analysed> cache;
    auto found = cache.find(name);
    if (found != cache.end()) {
        return found->second;
    }
    Analysed a;
    a.audio = decodeAudio(audioPath(name), noStop);
    a.spectrum = averagedPowerSpectrum(a.audio.channels[0], noStop);
    if (a.audio.channels.size() >= 2) {
        keepLouderBins(a.spectrum, averagedPowerSpectrum(a.audio.channels[1], noStop));
    }
    const SpectrumLevels levels = spectrumLevels(a.spectrum);
    a.aacSinFound = checkAacSin(a.audio, a.spectrum, levels.strongBinCount, noStop, {}).status == Verdict::Possible;
    return cache.emplace(name, std::move(a)).first->second;
}

OriginResult origin(const std::string& name, unsigned threads = 0)
{
    const Analysed& a = analysed(name);
    OriginInput input = originInput(a.audio, a.spectrum, a.aacSinFound);
    input.options.threads = threads;
    return checkOrigin(input, noStop, {});
}

struct Expected {
    const char* file;
    const char* status;
    const char* trace;
};

// Test names and failure messages show the file, not the bytes of the struct.
void PrintTo(const Expected& e, std::ostream* os)
{
    *os << e.file;
}

class OriginTranscodes : public ::testing::TestWithParam<Expected> {};

TEST_P(OriginTranscodes, FoundByTheirTrace)
{
    const Expected& e = GetParam();
    const OriginResult r = origin(e.file);
    EXPECT_EQ(verdictText(r.status), e.status) << e.file << ": " << r.summary << "\n" << r.evidence;
    EXPECT_EQ(r.m.trace, e.trace) << e.file << ": " << r.summary;
    EXPECT_FALSE(r.summary.empty());
    // Every evidence text ends with the caveat.
    EXPECT_NE(r.evidence.find(kOriginCaveat), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Encoders, OriginTranscodes,
    ::testing::Values(Expected{"mp3-b128-band.flac", "Evidence found", "mp3-grid"},
                    Expected{"mp3-b192-band.flac", "Evidence found", "mp3-grid"},
                    Expected{"mp3-b320-band.flac", "Evidence found", "mp3-grid"},
                    Expected{"mp3-v0-band.flac", "Evidence found", "mp3-grid"},
                    Expected{"mp3-v2-band.flac", "Evidence found", "mp3-grid"},
                    Expected{"mp3-b128-acoustic.flac", "Evidence found", "mp3-grid"},
                    Expected{"mp3-b128-electronic48.flac", "Evidence found", "mp3-grid"},
                    Expected{"mp3-b64-band22.flac", "Evidence found", "mp3-grid"},
                    Expected{"aac-128k-band.flac", "Evidence found", "aac-kbd-grid"},
                    Expected{"aac-256k-band.flac", "Evidence found", "aac-kbd-grid"},
                    Expected{"aac24-128k-band.flac", "Evidence found", "aac-kbd-grid"},
                    Expected{"voaac-128k-band.flac", "Evidence found", "aac-kbd-grid"},
                    Expected{"vorbis-q3-band.flac", "Evidence found", "vorbis-grid"},
                    Expected{"vorbis-q6-band.flac", "Evidence found", "vorbis-grid"},
                    Expected{"vorbis-q9-acoustic.flac", "Evidence found", "vorbis-grid"},
                    Expected{"ffvorbis-q6-band.flac", "Evidence found", "vorbis-grid"},
                    Expected{"ac3-192k-band.flac", "Evidence found", "ac3-grid"},
                    Expected{"ac3-448k-acoustic.flac", "Evidence found", "ac3-grid"},
                    Expected{"eac3-256k-band.flac", "Evidence found", "ac3-grid"},
                    // opusdec's dither at 44.1 kHz hides most of the grid: found at
                    // 96 kb/s; at 160 kb/s the 20 kHz edge alone is no evidence.
                    Expected{"opus-96k-band.flac", "Evidence found", "opus-grid"},
                    Expected{"opus-160k-band.flac", "No evidence", ""},
                    // Decoded without dither, at 48 kHz and resampled to 44.1 kHz.
                    Expected{"ffopus-160k-electronic48.flac", "Evidence found", "opus-grid"},
                    Expected{"ffopus44-160k-band.flac", "Evidence found", "opus-grid"},
                    Expected{"sox-vhq-96000-band.flac", "Possible", "lower-rate"},
                    Expected{"swr-96000-band.flac", "Possible", "lower-rate"}),
    [](const ::testing::TestParamInfo<Expected>& param) {
        std::string name = param.param.file;
        name = name.substr(0, name.find('.'));
        for (char& c : name) {
            c = c == '-' ? '_' : c;
        }
        return name;
    });

// Gentle resamplers leave images of the content above the source Nyquist
// rather than a cliff below it; genuine high-rate material whose highs fade
// through the same frequencies is not accused. 0: genuine.
struct Resampled {
    const char* file;
    std::int32_t sourceRate;
};

void PrintTo(const Resampled& r, std::ostream* os)
{
    *os << r.file;
}

class OriginGentleResamplers : public ::testing::TestWithParam<Resampled> {};

TEST_P(OriginGentleResamplers, NameTheSourceRateByTheMirroredImages)
{
    const Resampled& e = GetParam();
    const OriginResult r = origin(e.file);
    if (e.sourceRate == 0) {
        EXPECT_EQ(r.status, Verdict::NoEvidence) << e.file << ": " << r.summary << "\n" << r.evidence;
        EXPECT_FALSE(r.m.lowerRateSourceHz.has_value()) << e.file;
        return;
    }
    EXPECT_EQ(r.status, Verdict::Possible) << e.file << ": " << r.summary << "\n" << r.evidence;
    EXPECT_EQ(r.m.trace, "lower-rate");
    EXPECT_EQ(r.m.lowerRateSourceHz, e.sourceRate);
    ASSERT_TRUE(r.m.lowerRateMirrorCorrelation.has_value()) << r.evidence;
    EXPECT_GE(*r.m.lowerRateMirrorCorrelation, 0.9);
    EXPECT_NE(r.evidence.find("mirrors the one below"), std::string::npos) << r.evidence;
}

INSTANTIATE_TEST_SUITE_P(Files, OriginGentleResamplers,
                         ::testing::Values(Resampled{"sox-quick-96000-band.flac", 44100},
                                           Resampled{"sox-quick-88200-electronic48.flac", 48000},
                                           Resampled{"swr-88200-band.flac", 44100},
                                           Resampled{"swr-96000-electronic48.flac", 48000},
                                           Resampled{"genuine-fade-acoustic-96000-24bit.flac", 0},
                                           Resampled{"genuine-pink-96000-24bit.flac", 0},
                                           Resampled{"genuine-band-96000-24bit.flac", 0}),
                         [](const ::testing::TestParamInfo<Resampled>& param) {
                             std::string name = param.param.file;
                             name = name.substr(0, name.find('.'));
                             for (char& c : name) {
                                 c = c == '-' ? '_' : c;
                             }
                             return name;
                         });

TEST(OriginFiles, GenuineMaterialIsNeverAccused)
{
    for (const char* file :
         {"genuine-band-44100.flac", "genuine-acoustic-44100.flac", "genuine-electronic-48000.flac", "genuine-band-22050.flac",
          "genuine-band-96000-24bit.flac", "genuine-acoustic-48000-24bit.flac",
          // Mastering lowpasses at 20 kHz, a steep one among them: an edge as high as MP3 320's.
          "brickwall-sinc-band.flac", "brickwall-lowpass-acoustic.flac"}) {
        const OriginResult r = origin(file);
        EXPECT_EQ(r.status, Verdict::NoEvidence) << file << ": " << r.summary << "\n" << r.evidence;
        EXPECT_TRUE(r.m.trace.empty()) << file;
    }
}

TEST(OriginFiles, OtherCodecsGiveNoCodecGrid)
{
    // Layer II shares the polyphase filterbank but has no 576-line granules,
    // and none of the MDCT grids.
    for (const char* file : {"mp2-192k-band.flac"}) {
        const OriginResult r = origin(file);
        EXPECT_NE(r.status, Verdict::EvidenceFound) << file << ": " << r.summary << "\n" << r.evidence;
    }
}

TEST(OriginFiles, AHighEdgeCountsOnlyWithACodecsGrid)
{
    // The steep mastering lowpass: the edge is reported, the verdict stays "No evidence".
    const OriginResult brickwall = origin("brickwall-sinc-band.flac");
    ASSERT_TRUE(brickwall.m.lowpassKhz.has_value()) << brickwall.evidence;
    EXPECT_GE(*brickwall.m.lowpassKhz, 19.5);
    EXPECT_EQ(brickwall.status, Verdict::NoEvidence) << brickwall.summary;
    EXPECT_NE(brickwall.evidence.find("Lowpass edge: "), std::string::npos);
    // MP3 320 has an edge as high, and its grid names it.
    const OriginResult mp3 = origin("mp3-b320-band.flac");
    ASSERT_TRUE(mp3.m.lowpassKhz.has_value());
    EXPECT_GE(*mp3.m.lowpassKhz, 19.5);
    EXPECT_EQ(mp3.m.trace, "mp3-grid");
}

TEST(OriginFiles, AVorbisGridIsFoundOnItsShortBlockPhase)
{
    const OriginResult r = origin("vorbis-q6-band.flac");
    ASSERT_EQ(r.m.codecGrids.size(), 4u);
    const OriginMeasurements::CodecGrid& vorbis = r.m.codecGrids[0];
    EXPECT_EQ(vorbis.key, "vorbis");
    // oggdec's decodes keep libvorbis's grid on 64 modulo 128.
    EXPECT_EQ(vorbis.offset, 64);
    EXPECT_GE(vorbis.nearZero - vorbis.baseline, 0.012);
    EXPECT_GE(vorbis.z, 6.0);
    EXPECT_NE(r.evidence.find("Vorbis frame grid: best offset 64 (modulo 128)"), std::string::npos) << r.evidence;
    const OriginFacts facts = originFacts(r.m);
    EXPECT_EQ(facts.likelySource, "Vorbis");
}

TEST(OriginFiles, MeasurementsOfAnMp3Transcode)
{
    const OriginResult r = origin("mp3-b128-band.flac");
    ASSERT_TRUE(r.m.mp3Offset.has_value());
    // LAME's own decoder leaves the encoder's grid at 528.
    EXPECT_EQ(*r.m.mp3Offset, 528);
    EXPECT_GT(*r.m.mp3NearZero, 0.3);
    EXPECT_LT(*r.m.mp3Baseline, 0.1);
    EXPECT_GE(*r.m.mp3Z, 10.0);
    // 128 kb/s: LAME's lowpass near 17 kHz, a hard edge, MP3-like rounding floor.
    ASSERT_TRUE(r.m.lowpassKhz.has_value());
    EXPECT_NEAR(*r.m.lowpassKhz, 16.9, 0.35);
    EXPECT_GE(*r.m.lowpassSteepness, 30.0);
    EXPECT_LE(*r.m.lowpassAboveShare, 0.05);
    EXPECT_LT(*r.m.lowpassFloorOverNoiseDb, 3.0);
    EXPECT_EQ(r.m.lowpassResembles, "like a lossy encoder at about 96\u2013160 kb/s");
    // The grid, not the edge, names the codec.
    EXPECT_EQ(originFacts(r.m).likelySource, "MP3");
    EXPECT_EQ(r.m.sampleGridBits, 16);
    EXPECT_NE(r.evidence.find("MP3 frame grid: best offset 528 / 576"), std::string::npos) << r.evidence;

    // One sample off the grid the zeros are gone.
    const Analysed& a = analysed("mp3-b128-band.flac");
    const Mp3GridInput input{a.audio.channels[0], a.audio.channels[1], std::ldexp(1.0, -15),
                             aacSinBandLimit(a.spectrum), -1.0};
    EXPECT_GT(mp3GridFraction(input, 528), 0.3);
    EXPECT_LT(mp3GridFraction(input, 529), 0.15);
    EXPECT_LT(mp3GridFraction(input, 527), 0.15);
}

TEST(OriginFiles, AacPaddedTo24BitsUsesTheMeasuredGrid)
{
    const OriginResult r = origin("aac24-128k-band.flac");
    EXPECT_EQ(r.m.trace, "aac-kbd-grid");
    ASSERT_TRUE(r.m.aacKbdNearZero.has_value());
    EXPECT_GT(*r.m.aacKbdNearZero - *r.m.aacKbdBaseline, 0.08);
    EXPECT_EQ(r.m.sampleGridBits, 24);
}

TEST(OriginFiles, MonoMp3TranscodeIsFound)
{
    const Analysed& a = analysed("mp3-b128-acoustic.flac");
    OriginInput input = originInput(a.audio, a.spectrum, false);
    input.channels.resize(1);
    const OriginResult r = checkOrigin(input, noStop, {});
    EXPECT_EQ(r.m.trace, "mp3-grid") << r.evidence;
}

TEST(OriginFiles, LossyInputAndShortClip)
{
    KESTRONE_SKIP_WITHOUT_FFMPEG();
    const OriginResult lossy = origin("lossy-input.mp3");
    EXPECT_EQ(lossy.status, Verdict::NotApplicable);
    EXPECT_NE(lossy.evidence.find("MP3"), std::string::npos);
    const OriginResult shortClip = origin("short-1.5s.flac");
    EXPECT_EQ(shortClip.status, Verdict::Inconclusive);
    EXPECT_EQ(shortClip.summary, "Clip is shorter than 2 seconds");
}

TEST(OriginFiles, SilenceIsInconclusive)
{
    const Analysed& a = analysed("genuine-band-44100.flac");
    const std::vector<double> silence(a.audio.channels[0].size(), 0.0);
    OriginInput input = originInput(a.audio, a.spectrum, false);
    input.channels = {silence, silence};
    const OriginResult r = checkOrigin(input, noStop, {});
    EXPECT_EQ(r.status, Verdict::Inconclusive);
    EXPECT_EQ(r.summary, "Signal level too low");
}

TEST(OriginFiles, SameResultForOneAndTwoThreads)
{
    // With two threads the searches run as tasks, the codec grids among them
    // even when an MP3 grid decides: every number must still be one thread's.
    for (const char* file : {"mp3-v2-band.flac", "aac-128k-band.flac", "genuine-acoustic-44100.flac",
                             "vorbis-q6-band.flac", "opus-96k-band.flac", "ac3-192k-band.flac"}) {
        OriginResult one;
        OriginResult two;
        one = origin(file, 1);
        two = origin(file, 2);
        EXPECT_EQ(one.status, two.status) << file;
        EXPECT_EQ(one.summary, two.summary) << file;
        EXPECT_EQ(one.evidence, two.evidence) << file;
        const OriginFacts oneFacts = originFacts(one.m);
        const OriginFacts twoFacts = originFacts(two.m);
        ASSERT_EQ(oneFacts.numbers.size(), twoFacts.numbers.size()) << file;
        for (std::size_t i = 0; i < oneFacts.numbers.size(); ++i) {
            const auto& [name, value] = oneFacts.numbers[i];
            EXPECT_EQ(name, twoFacts.numbers[i].first) << file;
            EXPECT_EQ(std::bit_cast<std::uint64_t>(value), std::bit_cast<std::uint64_t>(twoFacts.numbers[i].second))
                << file << " " << name;
        }
    }
}

TEST(OriginFiles, ProgressTextsAndStop)
{
    // One thread: every search reports progress on the calling thread.
    const Analysed& a = analysed("genuine-band-44100.flac");
    OriginInput input = originInput(a.audio, a.spectrum, false);
    input.options.threads = 1;
    std::vector<std::string> texts;
    (void)checkOrigin(input, noStop, [&](const std::string& text) { texts.push_back(text); });
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.front(), "Lowpass edge");
    EXPECT_NE(std::find(texts.begin(), texts.end(), "MP3 grid \u00B7 0%"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "AAC grid (KBD) \u00B7 50%"), texts.end());

    // A stop set at entry, and one set in the middle of each search.
    std::atomic<bool> stop{true};
    EXPECT_THROW((void)checkOrigin(input, stop, {}), Cancelled);
    for (const std::string marker : {"MP3 grid \u00B7 37%", "AAC grid (KBD) \u00B7 50%"}) {
        std::atomic<bool> later{false};
        std::size_t after = 0;
        EXPECT_THROW((void)checkOrigin(input, later,
                                       [&](const std::string& text) {
                                           after += later ? 1 : 0;
                                           later = later || text == marker;
                                       }),
                     Cancelled)
            << marker;
        EXPECT_TRUE(later.load()) << marker;
        // The next check comes before any further progress.
        EXPECT_EQ(after, 0u) << marker;
    }
}

TEST(OriginFiles, StopReachesBothSearchesSideBySide)
{
    const Analysed& a = analysed("genuine-band-44100.flac");
    OriginInput input = originInput(a.audio, a.spectrum, false);
    input.options.threads = 2;
    std::atomic<bool> stop{false};
    EXPECT_THROW((void)checkOrigin(input, stop,
                                   [&](const std::string& text) {
                                       stop = stop || text == "MP3 grid \u00B7 9%";
                                   }),
                 Cancelled);
    EXPECT_TRUE(stop.load());
}

} // namespace
} // namespace orvel
