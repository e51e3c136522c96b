// SPDX-License-Identifier: MIT
// analyzeFile end to end on real files from tools/test-audio/analysis.sh.
#include "analysis/analyze_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "decode/cancellation.h"
#include "tests/support/files.h"
#include "text/utf8.h"

namespace orvel {
namespace {

std::atomic<bool> noStop{false};

std::filesystem::path audioPath(const char* name)
{
    return orvel::testing::testAudio("analysis", name);
}

// Each file is analysed once and shared by the tests that look at it.
const FileReport& analysed(const char* name)
{
    static std::map<std::string, FileReport> cache;
    auto found = cache.find(name);
    if (found == cache.end()) {
        found = cache.emplace(name, analyzeFile(audioPath(name), noStop, {})).first;
    }
    return found->second;
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

void expectSpectrumShape(const FileReport& report)
{
    ASSERT_EQ(report.spectrumDb.size(), 2049u);
    EXPECT_EQ(*std::max_element(report.spectrumDb.begin(), report.spectrumDb.end()), 0.0);
    EXPECT_GE(*std::min_element(report.spectrumDb.begin(), report.spectrumDb.end()), -120.0);
}

TEST(AnalyzeFileTest, SixteenBitAudioPaddedInto24BitFlacIsEvidence)
{
    const FileReport& report = analysed("padded-16in24-44100Hz-2ch-5s.flac");
    EXPECT_EQ(report.file, audioPath("padded-16in24-44100Hz-2ch-5s.flac"));
    EXPECT_EQ(report.codec, "FLAC");
    EXPECT_TRUE(report.error.empty());
    EXPECT_EQ(report.sampleRate, 44100);
    EXPECT_EQ(report.storedBits, 24);
    EXPECT_EQ(report.channelCount, 2);
    EXPECT_DOUBLE_EQ(report.duration, 5.0);
    EXPECT_EQ(report.analyzedSeconds, 5.0);
    EXPECT_EQ(report.upscaling.status, orvel::Verdict::EvidenceFound);
    EXPECT_EQ(report.upscaling.summary, "24-bit storage / 16-bit grid");
    EXPECT_TRUE(report.upscaling.evidence.starts_with("Channel 1: 16-bit sample grid; 8 unused low bits; "));
    EXPECT_TRUE(contains(report.upscaling.evidence, "\r\nChannel 2: 16-bit sample grid; 8 unused low bits; "));
    EXPECT_EQ(report.upsampling.status, orvel::Verdict::NoEvidence);
    EXPECT_EQ(report.aacSin.status, orvel::Verdict::NoEvidence);
    expectSpectrumShape(report);
}

TEST(AnalyzeFileTest, GenuineMaterialShowsNoEvidenceAnywhere)
{
    for (const char* name : {"genuine-24bit-96000Hz-2ch-5s.flac", "genuine-16bit-44100Hz-2ch-5s.flac"}) {
        const FileReport& report = analysed(name);
        EXPECT_EQ(report.upscaling.status, orvel::Verdict::NoEvidence) << name;
        EXPECT_EQ(report.upscaling.summary, "No consistent bit-depth padding") << name;
        EXPECT_EQ(report.upsampling.status, orvel::Verdict::NoEvidence) << name;
        EXPECT_EQ(report.aacSin.status, orvel::Verdict::NoEvidence) << name;
        expectSpectrumShape(report);
    }
    const FileReport& hires = analysed("genuine-24bit-96000Hz-2ch-5s.flac");
    EXPECT_EQ(hires.sampleRate, 96000);
    EXPECT_EQ(hires.storedBits, 24);
    EXPECT_TRUE(hires.upscaling.evidence.starts_with("Channel 1: 24-bit sample grid; 0 unused low bits; "));
}

TEST(AnalyzeFileTest, UpsampledFrom44100HzIsPossible)
{
    const FileReport& report = analysed("upsampled-44100to96000Hz-16bit-2ch-5s.flac");
    EXPECT_EQ(report.sampleRate, 96000);
    EXPECT_EQ(report.upsampling.status, orvel::Verdict::Possible);
    EXPECT_EQ(report.upsampling.summary, "Bandwidth compatible with 44.100 kHz source");
    EXPECT_TRUE(report.upsampling.evidence.starts_with("Measured "));
    EXPECT_TRUE(contains(report.upsampling.evidence, " dB decrease across 22.050 kHz. "));
    EXPECT_EQ(report.upscaling.status, orvel::Verdict::NoEvidence);
}

TEST(AnalyzeFileTest, SineWindowSynthesisIsFoundOnItsFrameGrid)
{
    const FileReport& stereo = analysed("aac-sin-synth-44100Hz-16bit-2ch-offset517.flac");
    EXPECT_EQ(stereo.aacSin.status, orvel::Verdict::Possible);
    EXPECT_EQ(stereo.aacSin.summary, "AAC sine-window fingerprint");
    EXPECT_TRUE(contains(stereo.aacSin.evidence, "; best frame offset 517 / 1024. "));
    EXPECT_TRUE(contains(stereo.aacSin.evidence, "Threshold: 2.44e-05. Bins 8\u2013"));

    const FileReport& wav = analysed("aac-sin-synth-48000Hz-24bit-1ch-offset3.wav");
    EXPECT_EQ(wav.codec, "WAV");
    EXPECT_EQ(wav.channelCount, 1);
    EXPECT_EQ(wav.aacSin.status, orvel::Verdict::Possible);
    EXPECT_TRUE(wav.aacSin.evidence.starts_with("Channel 1; best frame offset 3 / 1024. "));
    // rms 0.05 x 1e-6 stays below the 24-bit floor.
    EXPECT_TRUE(contains(wav.aacSin.evidence, "Threshold: 9.54e-08."));

    const FileReport& silentLeft = analysed("aac-sin-synth-silent-left-44100Hz-2ch-offset200.flac");
    EXPECT_EQ(silentLeft.aacSin.status, orvel::Verdict::Possible);
    EXPECT_TRUE(silentLeft.aacSin.evidence.starts_with("Channel 2; best frame offset 200 / 1024. "));
    EXPECT_TRUE(contains(silentLeft.upscaling.evidence, "Channel 1: too few nonzero samples.\r\n"));
}

TEST(AnalyzeFileTest, RealAacTranscodeIsFoundOnlyWithTheSineWindow)
{
    // ffmpeg's encoder uses the KBD window, which the check does not model;
    // the same stream decoded with the sine window carries the fingerprint.
    const FileReport& sine = analysed("aac-sine-window-transcode-44100Hz-2ch-10s.flac");
    EXPECT_EQ(sine.aacSin.status, orvel::Verdict::Possible) << sine.aacSin.evidence;
    const FileReport& kbd = analysed("aac-kbd-transcode-44100Hz-2ch-10s.flac");
    EXPECT_EQ(kbd.aacSin.status, orvel::Verdict::NoEvidence) << kbd.aacSin.evidence;
}

TEST(AnalyzeFileTest, LossyInputsAreNotApplicable)
{
    KESTRONE_SKIP_WITHOUT_FFMPEG();
    const FileReport& mp3 = analysed("lossy-mp3-44100Hz-2ch-5s.mp3");
    EXPECT_EQ(mp3.codec, "MP3");
    EXPECT_EQ(mp3.storedBits, 0);
    EXPECT_EQ(mp3.upscaling.status, orvel::Verdict::Inconclusive);
    EXPECT_EQ(mp3.upscaling.summary, "Integer precision unavailable");
    EXPECT_EQ(mp3.aacSin.status, orvel::Verdict::NotApplicable);
    EXPECT_EQ(mp3.aacSin.evidence, "Transcoding analysis is intended for lossless containers. Input codec: MP3");

    const FileReport& aac = analysed("lossy-aac-44100Hz-2ch-5s.m4a");
    EXPECT_EQ(aac.codec, "AAC");
    EXPECT_EQ(aac.aacSin.status, orvel::Verdict::NotApplicable);
    EXPECT_TRUE(aac.aacSin.evidence.ends_with("Input codec: AAC"));
}

TEST(AnalyzeFileTest, SilenceIsInconclusiveWithAFlatSpectrum)
{
    const FileReport& report = analysed("silence-44100Hz-2ch-5s.flac");
    EXPECT_EQ(report.upscaling.status, orvel::Verdict::Inconclusive);
    EXPECT_EQ(report.upscaling.summary, "Silence or too little signal");
    EXPECT_TRUE(report.upscaling.evidence.starts_with(
        "Channel 1: too few nonzero samples.\r\nChannel 2: too few nonzero samples.\r\nMeasured over"));
    EXPECT_EQ(report.upsampling.summary, "Silence or narrow-band signal");
    EXPECT_TRUE(report.upsampling.evidence.starts_with("Only 0 FFT bins are within 40 dB of the peak."));
    EXPECT_EQ(report.aacSin.summary, "Insufficient broadband audio");
    EXPECT_EQ(report.spectrumDb, std::vector<double>(2049, 0.0));
}

TEST(AnalyzeFileTest, ClipShorterThanTwoSecondsIsInconclusiveForTheSpectralChecks)
{
    const FileReport& report = analysed("short-44100Hz-2ch-1.9s.flac");
    EXPECT_EQ(report.analyzedSeconds, 1.9);
    EXPECT_EQ(report.upsampling.summary, "Clip is shorter than 2 seconds");
    EXPECT_EQ(report.aacSin.summary, "Insufficient broadband audio");
    EXPECT_EQ(report.upscaling.status, orvel::Verdict::NoEvidence);
}

TEST(AnalyzeFileTest, PureToneIsNarrowBand)
{
    const FileReport& report = analysed("tone-1000Hz-44100Hz-1ch-5s.flac");
    EXPECT_EQ(report.channelCount, 1);
    EXPECT_EQ(report.upsampling.summary, "Silence or narrow-band signal");
    EXPECT_EQ(report.aacSin.summary, "Insufficient broadband audio");
}

TEST(AnalyzeFileTest, MultichannelFileIsMeasuredOnEveryChannelAndSearchedOnTwo)
{
    std::vector<std::string> stages;
    const FileReport report = analyzeFile(audioPath("multichannel-48000Hz-6ch-3s.flac"), noStop,
                                          [&stages](const std::string& stage) { stages.push_back(stage); });
    EXPECT_EQ(report.channelCount, 6);
    EXPECT_TRUE(contains(report.upscaling.evidence, "\r\nChannel 6: 16-bit sample grid; "));
    ASSERT_GT(stages.size(), 3u + 32u);
    EXPECT_EQ(stages[3 + 31], "AAC alignment \u00B7 channel 2 \u00B7 93%");
    EXPECT_EQ(stages[3 + 32], "Lowpass edge") << "ORIGIN follows on the first two channels";
}

TEST(AnalyzeFileTest, LongFileIsCutToThirtySeconds)
{
    const FileReport& report = analysed("long-48000Hz-2ch-35s.flac");
    EXPECT_EQ(report.analyzedSeconds, 30.0);
    EXPECT_DOUBLE_EQ(report.duration, 35.0);
}

TEST(AnalyzeFileTest, ProgressStagesComeInOrder)
{
    std::vector<std::string> stages;
    (void)analyzeFile(audioPath("genuine-16bit-44100Hz-2ch-5s.flac"), noStop,
                      [&stages](const std::string& stage) { stages.push_back(stage); });
    ASSERT_GT(stages.size(), 3u + 32u + 1u);
    EXPECT_EQ(stages[0], "Decoding audio");
    EXPECT_EQ(stages[1], "Measuring sample precision");
    EXPECT_EQ(stages[2], "Measuring frequency content");
    EXPECT_EQ(stages[3], "AAC alignment \u00B7 channel 1 \u00B7 0%");
    EXPECT_EQ(stages[19], "AAC alignment \u00B7 channel 2 \u00B7 0%");
    EXPECT_EQ(stages[35], "Lowpass edge");

    // Then the grid searches, each counting up on its own.
    std::map<std::string, int> last;
    for (std::size_t i = 36; i < stages.size(); ++i) {
        const std::size_t dot = stages[i].find(" \u00B7 ");
        ASSERT_NE(dot, std::string::npos) << stages[i];
        const std::string search = stages[i].substr(0, dot);
        ASSERT_TRUE(search == "MP3 grid" || search == "AAC grid (KBD)" || search == "Vorbis grid" ||
                    search == "AAC grid (mid/side)" || search == "AC-3 grid" || search == "Opus grid")
            << stages[i];
        ASSERT_EQ(stages[i].back(), '%') << stages[i];
        const int percent = std::stoi(stages[i].substr(dot + std::string(" \u00B7 ").size()));
        EXPECT_GE(percent, last.contains(search) ? last[search] : 0) << stages[i];
        EXPECT_LT(percent, 100) << stages[i];
        last[search] = percent;
    }
    EXPECT_FALSE(last.empty()) << "the grid searches report";
}

// The JSON report has no ORIGIN: a run for it leaves the check out, and
// every other result is the same.
TEST(AnalyzeFileTest, WithoutOriginTheCheckIsLeftOutAndTheOthersAreTheSame)
{
    const char* name = "genuine-16bit-44100Hz-2ch-5s.flac";
    std::vector<std::string> stages;
    AnalysisOptions options;
    options.origin = false;
    const FileReport without = analyzeFile(
        audioPath(name), noStop, [&stages](const std::string& stage) { stages.push_back(stage); }, options);
    const FileReport& with = analysed(name);
    EXPECT_EQ(std::find(stages.begin(), stages.end(), "Lowpass edge"), stages.end());
    EXPECT_TRUE(stages.back().starts_with("AAC alignment")) << stages.back();
    EXPECT_EQ(without.origin.status, CheckResult{}.status);
    EXPECT_TRUE(without.origin.evidence.empty());
    EXPECT_TRUE(without.originFacts.numbers.empty());
    EXPECT_FALSE(with.origin.evidence.empty());
    for (const auto check : {&FileReport::upscaling, &FileReport::upsampling, &FileReport::aacSin}) {
        EXPECT_EQ((without.*check).status, (with.*check).status);
        EXPECT_EQ((without.*check).summary, (with.*check).summary);
        EXPECT_EQ((without.*check).evidence, (with.*check).evidence);
    }
    EXPECT_EQ(without.spectrumDb, with.spectrumDb);
}

TEST(AnalyzeFileTest, StopRequestAtAnyStageThrowsCancelled)
{
    const std::filesystem::path path = audioPath("genuine-16bit-44100Hz-2ch-5s.flac");
    std::atomic<bool> stop{true};
    int calls = 0;
    EXPECT_THROW((void)analyzeFile(path, stop, [&calls](const std::string&) { ++calls; }), Cancelled);
    EXPECT_EQ(calls, 0);

    for (const std::string stage : {"Decoding audio", "Measuring sample precision", "Measuring frequency content",
                                     "AAC alignment \u00B7 channel 1 \u00B7 50%"}) {
        stop = false;
        std::string last;
        EXPECT_THROW((void)analyzeFile(path, stop,
                                       [&](const std::string& text) {
                                           last = text;
                                           if (text == stage) {
                                               stop = true;
                                           }
                                       }),
                     Cancelled)
            << stage;
        // Nothing after the stop point reports progress.
        EXPECT_EQ(last, stage) << stage;
    }
}

TEST(AnalyzeFileTest, DecodingErrorsPassUnchanged)
{
    try {
        (void)analyzeFile(audioPath("does-not-exist.flac"), noStop, {});
        FAIL() << "a missing file must throw";
    } catch (const Cancelled&) {
        FAIL() << "a missing file is an error, not a stop";
    } catch (const std::runtime_error& error) {
        // The system's reason, not a corrupt header.
        EXPECT_STREQ(error.what(), "Cannot open this file: No such file or directory.");
    }
}

} // namespace
} // namespace orvel
