// SPDX-License-Identifier: MIT
#include "analysis/aac_sin.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "analysis/averaged_spectrum.h"
#include "decode/cancellation.h"
#include "tests/analysis/analysis_signals.h"

namespace orvel {
namespace {

std::atomic<bool> noStop{false};

constexpr std::int32_t kRate = 8000;
constexpr std::size_t kLength = 3 * kRate;

const std::string kCaveat(kAacSinCaveat);

// A lossless record and the spectrum inputs the driver would give the check.
struct Input {
    DecodedAudio audio;
    std::vector<double> spectrum;
    std::int32_t strongBins = 0;
};

Input makeInput(std::vector<std::vector<double>> channels, std::uint32_t bits, std::int32_t rate = kRate)
{
    Input input;
    for (auto& channel : channels) {
        channel = test::quantised(std::move(channel), bits);
    }
    input.audio = test::losslessAudio(std::move(channels), rate, bits);
    input.spectrum = averagedPowerSpectrum(input.audio.channels[0], noStop);
    if (input.audio.channels.size() > 1) {
        const std::vector<double> second = averagedPowerSpectrum(input.audio.channels[1], noStop);
        for (std::size_t i = 0; i < second.size(); ++i) {
            input.spectrum[i] = std::max(input.spectrum[i], second[i]);
        }
    }
    input.strongBins = test::strongBins(input.spectrum);
    return input;
}

CheckResult run(const Input& input, const ProgressCallback& progress = {})
{
    return checkAacSin(input.audio, input.spectrum, input.strongBins, noStop, progress);
}

std::vector<double> grid(std::int32_t offset, std::uint64_t seed, std::size_t length = kLength)
{
    return test::sineGridSynthesis(length, offset, 0.4, 700, 0.1, seed);
}

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.rfind(prefix, 0) == 0;
}

TEST(AacSinTest, FindsTheFrameGridOfSineWindowSynthesis)
{
    const CheckResult result = run(makeInput({grid(517, 1)}, 16));
    EXPECT_EQ(result.status, orvel::Verdict::Possible);
    EXPECT_EQ(result.summary, "AAC sine-window fingerprint");
    EXPECT_TRUE(startsWith(result.evidence, "Channel 1; best frame offset 517 / 1024. Near-zero fraction (24 "
                                            "verification frames): "))
        << result.evidence;
    EXPECT_NE(result.evidence.find("%. Threshold: 2.44e-05. Bins 8\u2013"), std::string::npos) << result.evidence;
    EXPECT_TRUE(result.evidence.ends_with(".\r\n" + kCaveat));
}

TEST(AacSinTest, FindsGridOffsetZeroAndTheLastOffset)
{
    EXPECT_TRUE(startsWith(run(makeInput({grid(0, 2)}, 24)).evidence, "Channel 1; best frame offset 0 / 1024."));
    const CheckResult last = run(makeInput({grid(1023, 3)}, 16));
    EXPECT_EQ(last.status, orvel::Verdict::Possible);
    EXPECT_TRUE(startsWith(last.evidence, "Channel 1; best frame offset 1023 / 1024.")) << last.evidence;
}

TEST(AacSinTest, BroadbandNoiseIsNoEvidence)
{
    const CheckResult result = run(makeInput({test::whiteNoise(kLength, 4, 0.3)}, 16));
    EXPECT_EQ(result.status, orvel::Verdict::NoEvidence);
    EXPECT_EQ(result.summary, "No stable AAC-SIN fingerprint");
    EXPECT_TRUE(startsWith(result.evidence, "Channel 1; best frame offset ")) << result.evidence;
    EXPECT_TRUE(result.evidence.ends_with(".\r\n" + kCaveat));
}

TEST(AacSinTest, SilentFirstChannelReportsChannelTwo)
{
    const CheckResult result = run(makeInput({std::vector<double>(kLength, 0.0), grid(77, 5)}, 24));
    EXPECT_EQ(result.status, orvel::Verdict::Possible);
    EXPECT_TRUE(startsWith(result.evidence, "Channel 2; best frame offset 77 / 1024.")) << result.evidence;
}

TEST(AacSinTest, EqualChannelsReportChannelOne)
{
    const std::vector<double> same = grid(900, 6);
    const CheckResult result = run(makeInput({same, same}, 16));
    EXPECT_TRUE(startsWith(result.evidence, "Channel 1; best frame offset 900 / 1024.")) << result.evidence;
}

TEST(AacSinTest, OnlyTheFirstTwoChannelsAreExamined)
{
    std::vector<std::string> texts;
    const Input input =
        makeInput({test::whiteNoise(kLength, 7, 0.3), test::whiteNoise(kLength, 8, 0.3), grid(400, 9)}, 16);
    const CheckResult result = run(input, [&texts](const std::string& text) { texts.push_back(text); });
    EXPECT_EQ(result.status, orvel::Verdict::NoEvidence);
    ASSERT_EQ(texts.size(), 32u);
    EXPECT_EQ(texts.back(), "AAC alignment \u00B7 channel 2 \u00B7 93%");
}

TEST(AacSinTest, ProgressReportsSixteenStepsPerChannel)
{
    std::vector<std::string> texts;
    (void)run(makeInput({grid(10, 10), test::whiteNoise(kLength, 11, 0.3)}, 16),
              [&texts](const std::string& text) { texts.push_back(text); });
    const int percents[] = {0, 6, 12, 18, 25, 31, 37, 43, 50, 56, 62, 68, 75, 81, 87, 93};
    ASSERT_EQ(texts.size(), 32u);
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < 16; ++i) {
            EXPECT_EQ(texts[static_cast<std::size_t>(c * 16 + i)],
                      "AAC alignment \u00B7 channel " + std::to_string(c + 1) + " \u00B7 " +
                          std::to_string(percents[i]) + "%");
        }
    }
    EXPECT_EQ(texts[16 + 7], "AAC alignment \u00B7 channel 2 \u00B7 43%");
}

TEST(AacSinTest, ShortOrNarrowBandAudioIsInconclusive)
{
    const std::string evidence = "At least 2 seconds of broadband material is needed. " + kCaveat;
    Input shortClip = makeInput({grid(5, 12, 2 * kRate - 1)}, 16);
    const CheckResult tooShort = run(shortClip);
    EXPECT_EQ(tooShort.status, orvel::Verdict::Inconclusive);
    EXPECT_EQ(tooShort.summary, "Insufficient broadband audio");
    EXPECT_EQ(tooShort.evidence, evidence);

    // Two seconds exactly pass the gate.
    EXPECT_EQ(run(makeInput({grid(5, 12, 2 * kRate)}, 16)).status, orvel::Verdict::Possible);

    Input narrow = makeInput({grid(5, 13)}, 16);
    narrow.strongBins = 99;
    EXPECT_EQ(run(narrow).evidence, evidence);
    narrow.strongBins = 100;
    EXPECT_EQ(run(narrow).status, orvel::Verdict::Possible);
}

TEST(AacSinTest, LossyInputIsNotApplicableOnlyAfterTheBroadbandGate)
{
    Input lossy = makeInput({grid(5, 14)}, 16);
    lossy.audio.lossyCodec = true;
    lossy.audio.bitsPerSample = 0;
    lossy.audio.codec = "MP3";
    const CheckResult result = run(lossy);
    EXPECT_EQ(result.status, orvel::Verdict::NotApplicable);
    EXPECT_EQ(result.summary, "Input is already a lossy codec");
    EXPECT_EQ(result.evidence, "Transcoding analysis is intended for lossless containers. Input codec: MP3");

    lossy.strongBins = 10;
    EXPECT_EQ(run(lossy).summary, "Insufficient broadband audio");
}

TEST(AacSinTest, QuietChannelsGiveSignalLevelTooLow)
{
    Input quiet = makeInput({std::vector<double>(kLength, 0.0), std::vector<double>(kLength, 5e-8)}, 24);
    quiet.audio.integerSamples = false;
    quiet.audio.channels[1].assign(kLength, 5e-8);
    quiet.strongBins = 500;
    const CheckResult result = run(quiet);
    EXPECT_EQ(result.status, orvel::Verdict::Inconclusive);
    EXPECT_EQ(result.summary, "Signal level too low");
    EXPECT_EQ(result.evidence, kCaveat);
}

TEST(AacSinTest, AllQuietFramesGiveZeroFractionsAtOffsetZero)
{
    // A constant signal has no energy in the examined bins: every frame is left
    // out, every fraction is 0, and the lowest offset wins the tie.
    Input dc;
    dc.audio = test::losslessAudio({std::vector<double>(kLength, 0.5)}, kRate, 16);
    dc.spectrum.assign(2049, 0.0);
    dc.strongBins = 100;
    const CheckResult result = run(dc);
    EXPECT_EQ(result.status, orvel::Verdict::NoEvidence);
    EXPECT_EQ(result.evidence, "Channel 1; best frame offset 0 / 1024. Near-zero fraction (24 verification frames): "
                               "0.00%; median search baseline: 0.00%. Threshold: 2.44e-05. Bins 8\u201363.\r\n" +
                                   kCaveat);
}

TEST(AacSinTest, StopFlagIsReadBeforeEachProgressReport)
{
    const Input input = makeInput({grid(5, 15)}, 16);
    std::atomic<bool> stop{true};
    int reports = 0;
    EXPECT_THROW((void)checkAacSin(input.audio, input.spectrum, input.strongBins, stop,
                                   [&reports](const std::string&) { ++reports; }),
                 Cancelled);
    EXPECT_EQ(reports, 0);

    // A stop requested during the search ends it at the next 64-offset mark.
    stop = false;
    EXPECT_THROW((void)checkAacSin(input.audio, input.spectrum, input.strongBins, stop,
                                   [&](const std::string&) {
                                       if (++reports == 3) {
                                           stop = true;
                                       }
                                   }),
                 Cancelled);
    EXPECT_EQ(reports, 3);

    // The gates do not look at the flag.
    Input shortClip = makeInput({grid(5, 16, kRate)}, 16);
    stop = true;
    EXPECT_EQ(checkAacSin(shortClip.audio, shortClip.spectrum, shortClip.strongBins, stop, {}).status, orvel::Verdict::Inconclusive);
}

TEST(AacSinTest, BandLimitFollowsTheHighestBinWithin50Decibels)
{
    EXPECT_EQ(aacSinBandLimit(std::vector<double>(2049, 0.0)), 64);
    EXPECT_EQ(aacSinBandLimit(std::vector<double>(2049, 1.0)), 819);

    std::vector<double> spectrum(2049, 0.0);
    spectrum[3] = 1.0;
    for (std::size_t i = 4; i <= 1857; ++i) {
        spectrum[i] = 2e-5;
    }
    EXPECT_EQ(aacSinBandLimit(spectrum), 742);
    // A bin exactly at the cutoff does not count.
    for (std::size_t i = 1000; i <= 1857; ++i) {
        spectrum[i] = 1e-5;
    }
    EXPECT_EQ(aacSinBandLimit(spectrum), 399);
    EXPECT_EQ(aacSinBandLimit(std::vector<double>(3000, 1.0)), 900);
}

TEST(AacSinTest, ThresholdFloorFollowsTheSourcePrecision)
{
    DecodedAudio audio;
    audio.bitsPerSample = 16;
    EXPECT_EQ(aacSinNearZeroThreshold(audio, 0.9), 2.44140625e-05);
    audio.bitsPerSample = 24;
    EXPECT_EQ(aacSinNearZeroThreshold(audio, 0.05), 9.5367431640625e-08);
    EXPECT_EQ(aacSinNearZeroThreshold(audio, 0.2), 0.2 * 1e-6);
    audio.bitsPerSample = 0;
    EXPECT_EQ(aacSinNearZeroThreshold(audio, 1e-4), 1e-9);
    audio.bitsPerSample = 32;
    audio.integerSamples = false;
    EXPECT_EQ(aacSinNearZeroThreshold(audio, 1e-4), 1e-9);
    EXPECT_EQ(aacSinNearZeroThreshold(audio, 0.5), 0.5 * 1e-6);
}

TEST(AacSinTest, ScientificThresholdIgnoresTheLocale)
{
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    }
    EXPECT_EQ(formatScientific2(2.44140625e-05), "2.44e-05");
    EXPECT_EQ(formatScientific2(9.5367431640625e-08), "9.54e-08");
    EXPECT_EQ(formatScientific2(1e-9), "1.00e-09");
    EXPECT_EQ(formatScientific2(2.5e-7), "2.50e-07");
    EXPECT_EQ(formatScientific2(1.5e-100), "1.50e-100");
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(AacSinTest, VerdictBoundsAreStrict)
{
    auto met = [](double verified, double baseline) { return aacSinBoundsMet({verified, baseline, 0.0, 0, 0}); };
    EXPECT_FALSE(met(0.12, 0.0));
    EXPECT_TRUE(met(0.1201, 0.0));
    // Baseline 3.1 %: (0.031 + 0.001) x 5 = 0.16 decides.
    EXPECT_FALSE(met(0.16, 0.031));
    EXPECT_TRUE(met(0.1601, 0.031));
    // Baseline 2.2 %: baseline + 0.1 decides.
    EXPECT_FALSE(met(0.1219, 0.022));
    EXPECT_TRUE(met(0.1221, 0.022));
    EXPECT_FALSE(met(std::numeric_limits<double>::quiet_NaN(), 0.0));
    EXPECT_FALSE(met(0.5, std::numeric_limits<double>::quiet_NaN()));
}

TEST(AacSinTest, SearchPicksTheLowestBestOffsetAndTheUpperMiddleAsBaseline)
{
    std::vector<double> fractions(1024);
    for (std::size_t i = 0; i < fractions.size(); ++i) {
        fractions[i] = static_cast<double>((i * 389) % 1024) / 1024.0; // a permutation of 0 .. 1023/1024
    }
    EXPECT_EQ(medianBaseline(fractions), 512.0 / 1024.0);
    fractions[700] = 2.0;
    fractions[300] = 2.0;
    fractions[900] = 2.0;
    EXPECT_EQ(bestFrameOffset(fractions), 300);
}

TEST(AacSinTest, CandidateWithTheGreatestGainWinsEarlierOnTies)
{
    // Dyadic values, so both differences are exactly 0.25.
    const std::vector<AacSinCandidate> tie{{0.375, 0.125, 1.0, 0, 11}, {0.3125, 0.0625, 1.0, 1, 22}};
    EXPECT_EQ(chooseAacSinCandidate(tie).channel, 0);
    const std::vector<AacSinCandidate> second{{0.375, 0.125, 1.0, 0, 11}, {0.3126, 0.0625, 1.0, 1, 22}};
    EXPECT_EQ(chooseAacSinCandidate(second).channel, 1);
}

TEST(AacSinTest, EvidenceTextHasItsExactShape)
{
    EXPECT_EQ(kAacSinCaveat.size(), 229u);
    const AacSinCandidate candidate{0.4125, 0.031, 2.44140625e-05, 0, 517};
    EXPECT_EQ(aacSinEvidence(candidate, 742),
              "Channel 1; best frame offset 517 / 1024. Near-zero fraction (24 verification frames): 41.25%; median "
              "search baseline: 3.10%. Threshold: 2.44e-05. Bins 8\u2013741.\r\n" +
                  kCaveat);
}

TEST(AacSinTest, NearZeroFractionDependsOnlyOnItsInputs)
{
    const std::vector<double> samples = test::quantised(grid(600, 17), 16);
    const NearZeroBand band{600, 0.1, 2.44140625e-05};
    SineMdct first;
    std::vector<double> scratch(1024);
    const double onGrid = nearZeroFraction(samples, 600, 24, band, first, scratch.data());
    const double offGrid = nearZeroFraction(samples, 601, 24, band, first, scratch.data());
    SineMdct second;
    std::vector<double> other(1024, 7.0);
    EXPECT_EQ(nearZeroFraction(samples, 600, 24, band, second, other.data()), onGrid);
    EXPECT_GT(onGrid, 0.3);
    EXPECT_LT(offGrid, 0.01);

    // No frame fits: 0, not a division by zero.
    const std::vector<double> tiny(3000, 0.1);
    EXPECT_EQ(nearZeroFraction(tiny, 0, 4, band, first, scratch.data()), 0.0);
}

} // namespace
} // namespace orvel
