// SPDX-License-Identifier: MIT
#include "analysis/conclusion.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "analysis/analyze_file.h"
#include "tests/support/files.h"

namespace orvel {
namespace {

// A clean analysed record: every check ran and found nothing.
FileReport cleanRecord()
{
    FileReport r;
    r.file = "/music/a.flac";
    r.codec = "FLAC";
    r.sampleRate = 44100;
    r.storedBits = 24;
    r.channelCount = 2;
    r.upscaling = {Verdict::NoEvidence, "No consistent bit-depth padding", ""};
    r.upsampling = {Verdict::NoEvidence, "No strong standard-rate boundary", ""};
    r.aacSin = {Verdict::NoEvidence, "No stable AAC-SIN fingerprint", ""};
    r.origin = {Verdict::NoEvidence, "No codec or resampler trace", ""};
    return r;
}

void originGrid(FileReport& r, std::string trace)
{
    r.origin = {Verdict::EvidenceFound, "frame grid", ""};
    r.originFacts.trace = std::move(trace);
}

void originLowpass(FileReport& r, double khz, std::string resembles)
{
    r.origin = {Verdict::Possible, "Lowpass", ""};
    r.originFacts.trace = "lowpass";
    r.originFacts.cutoffKhz = khz;
    r.originFacts.likelySource = std::move(resembles);
}

void padded(FileReport& r, double bits)
{
    r.upscaling = {Verdict::EvidenceFound, "24-bit storage / 16-bit grid", "", {{"max_grid_bits", bits}}};
}

struct Case {
    const char* name;
    std::function<void(FileReport&)> change;
    const char* text;
    ConclusionLevel level;
};

class ConclusionTest : public ::testing::TestWithParam<Case> {};

TEST_P(ConclusionTest, FileGetsItsOneLineAndLevel)
{
    FileReport record = cleanRecord();
    GetParam().change(record);
    const Conclusion conclusion = concludeFile(record);
    EXPECT_EQ(conclusionText(conclusion), GetParam().text);
    EXPECT_EQ(conclusionLevelName(conclusion.level), conclusionLevelName(GetParam().level));
    EXPECT_FALSE(conclusionExplanation(conclusion).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Records, ConclusionTest,
    ::testing::Values(
        Case{"Clean", [](FileReport&) {}, "No trace found", ConclusionLevel::None},
        Case{"Mp3Grid", [](FileReport& r) { originGrid(r, "mp3-grid"); }, "Likely MP3 source",
             ConclusionLevel::Likely},
        Case{"AacGridAndPadding",
             [](FileReport& r) {
                 originGrid(r, "aac-kbd-grid");
                 padded(r, 16);
             },
             "Likely AAC source, padded from 16-bit", ConclusionLevel::Likely},
        // The full-band codecs' grids name their codec too.
        Case{"VorbisGrid", [](FileReport& r) { originGrid(r, "vorbis-grid"); }, "Likely Vorbis source",
             ConclusionLevel::Likely},
        Case{"Ac3Grid", [](FileReport& r) { originGrid(r, "ac3-grid"); }, "Likely AC-3 source",
             ConclusionLevel::Likely},
        Case{"AacMidSideGrid", [](FileReport& r) { originGrid(r, "aac-ms-grid"); }, "Likely AAC source",
             ConclusionLevel::Likely},
        // A grid ORIGIN does not name a codec for stays a lossy source.
        Case{"UnnamedGrid", [](FileReport& r) { originGrid(r, "future-grid"); }, "Likely lossy source",
             ConclusionLevel::Likely},
        // A lowpass is only "Possible" in ORIGIN, so never "Likely" here.
        Case{"Lowpass", [](FileReport& r) { originLowpass(r, 16.9, "like MP3 128 kb/s"); },
             "Possible lossy source (lowpass at 16.9 kHz, like MP3 128 kb/s)", ConclusionLevel::Possible},
        Case{"LowpassLikeNothing", [](FileReport& r) { originLowpass(r, 14.0, ""); },
             "Possible lossy source (lowpass at 14.0 kHz)", ConclusionLevel::Possible},
        // The sure finding comes first and sets the level.
        Case{"LowpassAndPadding",
             [](FileReport& r) {
                 originLowpass(r, 19.0, "like MP3 192 kb/s or V2");
                 padded(r, 16);
             },
             "Padded from 16-bit, possible lossy source (lowpass at 19.0 kHz, like MP3 192 kb/s or V2)",
             ConclusionLevel::Likely},
        Case{"PaddedOnly", [](FileReport& r) { padded(r, 20); }, "Padded from 20-bit", ConclusionLevel::Likely},
        Case{"LowerRate",
             [](FileReport& r) {
                 r.origin = {Verdict::Possible, "Resampled from 44.1 kHz", ""};
                 r.originFacts.trace = "lower-rate";
                 r.originFacts.numbers = {{"lower_rate_source_hz", 44100.0}};
             },
             "Possibly resampled from 44.1 kHz", ConclusionLevel::Possible},
        Case{"UpsamplingBoundary",
             [](FileReport& r) {
                 r.upsampling = {Verdict::Possible, "Bandwidth compatible with 22.050 kHz source", "",
                                 {{"strongest_drop_source_rate_hz", 22050.0}}};
             },
             "Possibly resampled from 22.05 kHz", ConclusionLevel::Possible},
        Case{"AacSinAlone",
             [](FileReport& r) {
                 r.origin = {Verdict::Inconclusive, "Clip is shorter than 2 seconds", ""};
                 r.aacSin = {Verdict::Possible, "AAC sine-window fingerprint", ""};
             },
             "Possible AAC source", ConclusionLevel::Possible},
        Case{"LossyInput",
             [](FileReport& r) {
                 r.codec = "MP3";
                 r.aacSin = {Verdict::NotApplicable, "Input is already a lossy codec", ""};
                 r.origin = {Verdict::NotApplicable, "Input is already a lossy codec", ""};
             },
             "Lossy file (MP3)", ConclusionLevel::LossyInput},
        Case{"ShortClip", [](FileReport& r) { r.origin = {Verdict::Inconclusive, "Clip is shorter than 2 seconds", ""}; },
             "Too little content to judge", ConclusionLevel::Inconclusive},
        Case{"Failed",
             [](FileReport& r) {
                 originGrid(r, "mp3-grid"); // nothing of a failed record counts
                 r.error = "The FLAC stream is truncated or corrupt.";
             },
             "Not analyzed: The FLAC stream is truncated or corrupt.", ConclusionLevel::Failed}),
    [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

// Real encoders' output: lame and ffmpeg's AAC encoder, decoded and stored
// as FLAC; sox's resampler; lame's own file; a clip too short; a padded file.
struct RealFile {
    const char* suite;
    const char* file;
    const char* text;
    ConclusionLevel level;
};

class RealFileConclusionTest : public ::testing::TestWithParam<RealFile> {};

TEST_P(RealFileConclusionTest, EachKindOfFileGetsItsConclusion)
{
    if (std::string_view(GetParam().file).ends_with(".mp3")) {
        KESTRONE_SKIP_WITHOUT_FFMPEG();
    }
    const std::atomic<bool> noStop{false};
    const FileReport record = analyzeFile(testing::testAudio(GetParam().suite, GetParam().file), noStop, {});
    const Conclusion conclusion = concludeFile(record);
    EXPECT_EQ(conclusionText(conclusion), GetParam().text);
    EXPECT_EQ(conclusionLevelName(conclusion.level), conclusionLevelName(GetParam().level));
}

INSTANTIATE_TEST_SUITE_P(
    Files, RealFileConclusionTest,
    ::testing::Values(RealFile{"origin", "mp3-b128-band.flac", "Likely MP3 source", ConclusionLevel::Likely},
                      RealFile{"origin", "aac-128k-band.flac", "Likely AAC source", ConclusionLevel::Likely},
                      RealFile{"origin", "sox-vhq-96000-band.flac", "Possibly resampled from 44.1 kHz",
                               ConclusionLevel::Possible},
                      RealFile{"origin", "lossy-input.mp3", "Lossy file (MP3)", ConclusionLevel::LossyInput},
                      RealFile{"origin", "short-1.5s.flac", "Too little content to judge", ConclusionLevel::Inconclusive},
                      RealFile{"origin", "genuine-band-44100.flac", "No trace found", ConclusionLevel::None},
                      RealFile{"scan", "mixed/Album/c-pink-2ch-44100Hz-16in24.flac", "Padded from 16-bit",
                               ConclusionLevel::Likely}),
    [](const ::testing::TestParamInfo<RealFile>& param) { return "File" + std::to_string(param.index); });

TEST(ConclusionCountsTest, EachFileCountsOnceUnderItsFirstTraceWithCodecsInParentheses)
{
    ConclusionCounts counts;
    const auto add = [&counts](const std::function<void(FileReport&)>& change, int times) {
        for (int i = 0; i < times; ++i) {
            FileReport r = cleanRecord();
            change(r);
            counts.add(concludeFile(r));
        }
    };
    add([](FileReport& r) { r.error = "Unsupported format."; }, 1);
    add([](FileReport& r) { padded(r, 16); }, 2);
    add([](FileReport& r) { originGrid(r, "aac-kbd-grid"); }, 1);
    add([](FileReport&) {}, 3);
    add([](FileReport& r) { originGrid(r, "mp3-grid"); }, 2);
    add(
        [](FileReport& r) {
            originGrid(r, "aac-sin-grid");
            padded(r, 16);
        },
        1);
    EXPECT_EQ(counts.files(), 10u);
    EXPECT_EQ(counts.kinds(), (std::vector<std::string>{"3 no trace", "4 likely lossy (2 AAC, 2 MP3)",
                                                        "2 padded from 16-bit", "1 not analyzed"}));
    EXPECT_EQ(counts.line(), "10 files: 3 no trace \u00B7 4 likely lossy (2 AAC, 2 MP3) \u00B7 2 padded from 16-bit "
                             "\u00B7 1 not analyzed");
}

} // namespace
} // namespace orvel
