// SPDX-License-Identifier: MIT
#include "analysis/sample_precision.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "decode/cancellation.h"
#include "tests/analysis/analysis_signals.h"

namespace orvel {
namespace {

std::atomic<bool> noStop{false};

const std::string kCaveat = "Measured over every decoded sample in the analyzed region. Sample alignment does not "
                             "prove recording history. Dither or later processing can hide padding.";

// count values from a seeded sequence, each a multiple of 2^shift within `bits`
// bits, with 2^shift itself among them so the lowest set bit is exactly `shift`.
std::vector<std::int64_t> gridValues(std::size_t count, std::uint32_t bits, std::uint32_t shift, std::uint64_t seed)
{
    const std::vector<double> noise = test::whiteNoise(count, seed, 1.0);
    const std::int64_t top = (std::int64_t{1} << (bits - 1)) - 1;
    const std::int64_t step = std::int64_t{1} << shift;
    std::vector<std::int64_t> values;
    for (const double x : noise) {
        std::int64_t v = static_cast<std::int64_t>(std::llround(x * static_cast<double>(top))) / step * step;
        values.push_back(v == 0 ? step : v);
    }
    values[0] = step;
    return values;
}

TEST(SamplePrecisionTest, RoundingHalvesAwayFromZeroAndUnrepresentableGiveZero)
{
    EXPECT_EQ(roundToInt64(2.5), 3);
    EXPECT_EQ(roundToInt64(-2.5), -3);
    EXPECT_EQ(roundToInt64(2.4999999), 2);
    EXPECT_EQ(roundToInt64(-0.5), -1);
    EXPECT_EQ(roundToInt64(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(roundToInt64(std::numeric_limits<double>::infinity()), 0);
    EXPECT_EQ(roundToInt64(-std::numeric_limits<double>::infinity()), 0);
    EXPECT_EQ(roundToInt64(9223372036854775808.0), 0);
    EXPECT_EQ(roundToInt64(-1e19), 0);
    EXPECT_EQ(roundToInt64(-9223372036854775808.0), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(roundToInt64(9223372036854774784.0), 9223372036854774784);
}

TEST(SamplePrecisionTest, SixteenBitAudioIn24BitStorageIsEvidence)
{
    const DecodedAudio audio = test::integerAudio({gridValues(5000, 24, 8, 1), gridValues(5000, 24, 8, 2)}, 44100, 24);
    const CheckResult result = checkSamplePrecision(audio, noStop);
    EXPECT_EQ(result.status, orvel::Verdict::EvidenceFound);
    EXPECT_EQ(result.summary, "24-bit storage / 16-bit grid");
    EXPECT_EQ(result.evidence, "Channel 1: 16-bit sample grid; 8 unused low bits; 5000 nonzero samples.\r\n"
                               "Channel 2: 16-bit sample grid; 8 unused low bits; 5000 nonzero samples.\r\n" +
                                   kCaveat);
}

TEST(SamplePrecisionTest, GenuineSixteenBitAudioIsNoEvidence)
{
    const DecodedAudio audio = test::integerAudio({gridValues(3000, 16, 0, 3), gridValues(3000, 16, 0, 4)}, 44100, 16);
    const CheckResult result = checkSamplePrecision(audio, noStop);
    EXPECT_EQ(result.status, orvel::Verdict::NoEvidence);
    EXPECT_EQ(result.summary, "No consistent bit-depth padding");
    EXPECT_NE(result.evidence.find("Channel 1: 16-bit sample grid; 0 unused low bits; 3000 nonzero samples.\r\n"),
              std::string::npos);
}

TEST(SamplePrecisionTest, OneUnusedLowBitIsNotPadding)
{
    const DecodedAudio audio = test::integerAudio({gridValues(1000, 16, 1, 5)}, 48000, 16);
    const CheckResult result = checkSamplePrecision(audio, noStop);
    EXPECT_EQ(result.status, orvel::Verdict::NoEvidence);
    EXPECT_EQ(result.evidence, "Channel 1: 15-bit sample grid; 1 unused low bits; 1000 nonzero samples.\r\n" + kCaveat);
}

TEST(SamplePrecisionTest, NegativeSamplesShowTheLowZeroBitsOfTheirMagnitude)
{
    std::vector<std::int64_t> values = gridValues(1000, 24, 4, 6);
    for (auto& v : values) {
        v = -std::abs(v);
    }
    const CheckResult result = checkSamplePrecision(test::integerAudio({values}, 44100, 24), noStop);
    EXPECT_EQ(result.status, orvel::Verdict::EvidenceFound);
    EXPECT_EQ(result.summary, "24-bit storage / 20-bit grid");
}

TEST(SamplePrecisionTest, SilentSecondChannelNeitherHelpsNorHurts)
{
    const DecodedAudio audio =
        test::integerAudio({gridValues(2000, 24, 8, 7), std::vector<std::int64_t>(2000, 0)}, 44100, 24);
    const CheckResult result = checkSamplePrecision(audio, noStop);
    EXPECT_EQ(result.status, orvel::Verdict::EvidenceFound);
    EXPECT_EQ(result.summary, "24-bit storage / 16-bit grid");
    EXPECT_NE(result.evidence.find("\r\nChannel 2: too few nonzero samples.\r\n" + kCaveat), std::string::npos);
}

TEST(SamplePrecisionTest, SilenceIsInconclusive)
{
    const DecodedAudio audio =
        test::integerAudio({std::vector<std::int64_t>(70000, 0), std::vector<std::int64_t>(70000, 0)}, 44100, 16);
    const CheckResult result = checkSamplePrecision(audio, noStop);
    EXPECT_EQ(result.status, orvel::Verdict::Inconclusive);
    EXPECT_EQ(result.summary, "Silence or too little signal");
    EXPECT_EQ(result.evidence,
              "Channel 1: too few nonzero samples.\r\nChannel 2: too few nonzero samples.\r\n" + kCaveat);
}

TEST(SamplePrecisionTest, ChannelNeeds256NonzeroSamplesToBeMeasured)
{
    // 255 nonzero samples on a 16-bit grid in 24-bit storage, the rest zeros.
    std::vector<std::int64_t> values(1000, 0);
    for (std::size_t i = 0; i < 255; ++i) {
        values[i * 3] = (static_cast<std::int64_t>(i) + 1) * 256;
    }
    const CheckResult few = checkSamplePrecision(test::integerAudio({values}, 44100, 24), noStop);
    EXPECT_EQ(few.status, orvel::Verdict::Inconclusive);
    EXPECT_EQ(few.evidence, "Channel 1: too few nonzero samples.\r\n" + kCaveat);

    values[999] = -512;
    const CheckResult enough = checkSamplePrecision(test::integerAudio({values}, 44100, 24), noStop);
    EXPECT_EQ(enough.status, orvel::Verdict::EvidenceFound);
    EXPECT_EQ(enough.evidence, "Channel 1: 16-bit sample grid; 8 unused low bits; 256 nonzero samples.\r\n" + kCaveat);
}

TEST(SamplePrecisionTest, UnmeasuredChannelDoesNotSpoilPadding)
{
    // Channel 2 has full 24-bit resolution but only 10 nonzero samples.
    std::vector<std::int64_t> sparse(2000, 0);
    for (std::size_t i = 0; i < 10; ++i) {
        sparse[i * 100] = 12345 + static_cast<std::int64_t>(i);
    }
    const CheckResult result =
        checkSamplePrecision(test::integerAudio({gridValues(2000, 24, 8, 8), sparse}, 44100, 24), noStop);
    EXPECT_EQ(result.status, orvel::Verdict::EvidenceFound);
}

TEST(SamplePrecisionTest, DifferentGridsReportTheLargest)
{
    const DecodedAudio audio = test::integerAudio({gridValues(3000, 24, 8, 9), gridValues(3000, 24, 4, 10)}, 96000, 24);
    const CheckResult result = checkSamplePrecision(audio, noStop);
    EXPECT_EQ(result.status, orvel::Verdict::EvidenceFound);
    EXPECT_EQ(result.summary, "24-bit storage / 20-bit grid");
    EXPECT_NE(result.evidence.find("Channel 2: 20-bit sample grid; 4 unused low bits;"), std::string::npos);
}

TEST(SamplePrecisionTest, ThirtyTwoBitStorageScalesBy2To31)
{
    // Only bit 31 of the mask: every sample is -1.0, i.e. -2^31.
    const DecodedAudio sign = test::losslessAudio({std::vector<double>(300, -1.0)}, 44100, 32);
    const CheckResult result = checkSamplePrecision(sign, noStop);
    EXPECT_EQ(result.status, orvel::Verdict::EvidenceFound);
    EXPECT_EQ(result.summary, "32-bit storage / 1-bit grid");
    EXPECT_EQ(result.evidence, "Channel 1: 1-bit sample grid; 31 unused low bits; 300 nonzero samples.\r\n" + kCaveat);

    // A genuine 32-bit integer source uses bit 0.
    const CheckResult full = checkSamplePrecision(test::integerAudio({gridValues(1000, 32, 0, 11)}, 44100, 32), noStop);
    EXPECT_EQ(full.status, orvel::Verdict::NoEvidence);
    EXPECT_NE(full.evidence.find("32-bit sample grid; 0 unused low bits"), std::string::npos);
}

TEST(SamplePrecisionTest, TopBitAloneGivesAOneBitGrid)
{
    // A 16-bit source whose samples are all +-0.5 (value +-16384): bits 0..13 unused, bit 14 set.
    std::vector<double> half(500);
    for (std::size_t i = 0; i < half.size(); ++i) {
        half[i] = i % 2 == 0 ? 0.5 : -0.5;
    }
    const CheckResult result = checkSamplePrecision(test::losslessAudio({half}, 44100, 16), noStop);
    EXPECT_EQ(result.summary, "16-bit storage / 2-bit grid");
    // Only -1.0 (bit 15 alone): bit B-1 is never tested, so the grid stops at 1.
    const CheckResult minimum = checkSamplePrecision(test::losslessAudio({std::vector<double>(500, -1.0)}, 44100, 16), noStop);
    EXPECT_EQ(minimum.summary, "16-bit storage / 1-bit grid");
    EXPECT_NE(minimum.evidence.find("1-bit sample grid; 15 unused low bits"), std::string::npos);
}

TEST(SamplePrecisionTest, NonIntegerValuesAreRoundedToTheStoredGrid)
{
    // Multiples of 256 units of a 24-bit source, 0.4 units off: rounding restores the grid.
    std::vector<double> exact;
    for (int i = 0; i < 400; ++i) {
        exact.push_back((256.0 * (i + 1) + (i % 2 == 0 ? 0.4 : -0.4)) / 8388608.0);
    }
    const CheckResult rounded = checkSamplePrecision(test::losslessAudio({exact}, 44100, 24), noStop);
    EXPECT_EQ(rounded.status, orvel::Verdict::EvidenceFound);
    EXPECT_EQ(rounded.summary, "24-bit storage / 16-bit grid");
}

TEST(SamplePrecisionTest, UnknownOrNonIntegerPrecisionIsInconclusive)
{
    const std::string text =
        "The source is floating point, lossy, or its stored precision is unknown. No padding verdict is made.";
    DecodedAudio floating = test::integerAudio({gridValues(1000, 24, 8, 12)}, 44100, 32);
    floating.integerSamples = false;
    DecodedAudio lossy = test::integerAudio({gridValues(1000, 24, 8, 12)}, 44100, 0);
    lossy.lossyCodec = true;
    lossy.codec = "MP3";
    const DecodedAudio oneBit = test::losslessAudio({std::vector<double>(1000, 0.5)}, 44100, 1);
    const DecodedAudio wide = test::losslessAudio({std::vector<double>(1000, 0.5)}, 44100, 33);
    for (const DecodedAudio* audio : std::initializer_list<const DecodedAudio*>{&floating, &lossy, &oneBit, &wide}) {
        const CheckResult result = checkSamplePrecision(*audio, noStop);
        EXPECT_EQ(result.status, orvel::Verdict::Inconclusive) << audio->bitsPerSample;
        EXPECT_EQ(result.summary, "Integer precision unavailable");
        EXPECT_EQ(result.evidence, text);
    }
    // Two bits is the narrowest width that is measured.
    // -0.5 x 2 = -1, whose bit 0 is set.
    const CheckResult twoBits = checkSamplePrecision(test::losslessAudio({std::vector<double>(300, -0.5)}, 44100, 2), noStop);
    EXPECT_EQ(twoBits.evidence, "Channel 1: 2-bit sample grid; 0 unused low bits; 300 nonzero samples.\r\n" + kCaveat);
}

TEST(SamplePrecisionTest, OneOddSampleAnywhereUsesBitZero)
{
    // Whole multiples of 256 units of a 24-bit source go through the check two
    // at a time; one sample half a unit off the grid, in either position of a
    // pair or in the odd last place, must still be rounded (away from zero) and
    // set bit 0. Signed zeros count as zero.
    for (const std::size_t odd : {std::size_t{100}, std::size_t{101}, std::size_t{512}}) {
        std::vector<double> samples;
        for (std::size_t i = 0; i < 513; ++i) {
            const double units = 256.0 * static_cast<double>(i % 50 + 1) * (i % 3 == 0 ? -1.0 : 1.0);
            samples.push_back((i == odd ? units + 128.5 : units) / 8388608.0);
        }
        samples[7] = -0.0;
        samples[8] = 0.0;
        const CheckResult result = checkSamplePrecision(test::losslessAudio({samples}, 44100, 24), noStop);
        EXPECT_EQ(result.evidence, "Channel 1: 24-bit sample grid; 0 unused low bits; 511 nonzero samples.\r\n" + kCaveat)
            << "odd sample at " << odd;
    }

    // A whole value at or above 2^51 units (possible only in a record built by
    // hand) is rounded like any other: 2^51 + 1 sets bit 0.
    std::vector<double> large(300, 256.0 / 2147483648.0);
    large[41] = (0x1p51 + 1.0) / 2147483648.0;
    const CheckResult beyond = checkSamplePrecision(test::losslessAudio({large}, 44100, 32), noStop);
    EXPECT_EQ(beyond.evidence, "Channel 1: 32-bit sample grid; 0 unused low bits; 300 nonzero samples.\r\n" + kCaveat);
    large[41] = 512.0 / 2147483648.0;
    const CheckResult grid = checkSamplePrecision(test::losslessAudio({large}, 44100, 32), noStop);
    EXPECT_EQ(grid.evidence, "Channel 1: 24-bit sample grid; 8 unused low bits; 300 nonzero samples.\r\n" + kCaveat);
}

TEST(SamplePrecisionTest, SetStopFlagThrowsCancelled)
{
    std::atomic<bool> stop{true};
    const DecodedAudio audio = test::integerAudio({gridValues(100, 16, 0, 13)}, 44100, 16);
    EXPECT_THROW((void)checkSamplePrecision(audio, stop), Cancelled);
}

} // namespace
} // namespace orvel
