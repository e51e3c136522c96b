// SPDX-License-Identifier: MIT
#include "analysis/bandwidth_boundary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "analysis/averaged_spectrum.h"
#include "analysis/fft.h"
#include "tests/analysis/analysis_signals.h"

namespace orvel {
namespace {

std::atomic<bool> noStop{false};

DecodedAudio audioOfLength(std::size_t samples, std::int32_t rate)
{
    return test::losslessAudio({std::vector<double>(samples, 0.0)}, rate, 16);
}

// A spectrum that is 1 below cutHz and `above` from cutHz up, at sample rate fs.
std::vector<double> stepSpectrum(double fs, double cutHz, double above)
{
    std::vector<double> spectrum(2049);
    for (std::size_t j = 0; j < spectrum.size(); ++j) {
        spectrum[j] = static_cast<double>(j) * fs / 4096.0 < cutHz ? 1.0 : above;
    }
    return spectrum;
}

// Sets the bins from lowHz up to (not including) highHz.
void setBand(std::vector<double>& spectrum, double fs, double lowHz, double highHz, double value)
{
    for (std::size_t j = 0; j < spectrum.size(); ++j) {
        const double hz = static_cast<double>(j) * fs / 4096.0;
        if (hz >= lowHz && hz < highHz) {
            spectrum[j] = value;
        }
    }
}

CheckResult check(std::int32_t rate, const std::vector<double>& spectrum)
{
    return checkBandwidthBoundary(audioOfLength(static_cast<std::size_t>(rate) * 3, rate), spectrum, 500);
}

TEST(BandwidthBoundaryTest, BandMeanSkipsBinZeroAndAlwaysHoldsOneBin)
{
    std::vector<double> spectrum(2049);
    for (std::size_t j = 0; j < spectrum.size(); ++j) {
        spectrum[j] = static_cast<double>(j);
    }
    EXPECT_DOUBLE_EQ(bandMean(spectrum, 10.0, 0.0, 40.0), (1.0 + 2.0 + 3.0) / 3.0);
    EXPECT_DOUBLE_EQ(bandMean(spectrum, 10.0, 55.0, 55.0), 5.0);
    EXPECT_DOUBLE_EQ(bandMean(spectrum, 10.0, 30000.0, 40000.0), 2048.0);
    EXPECT_DOUBLE_EQ(bandMean(spectrum, 10.0, 20400.0, 90000.0), (2040.0 + 2048.0) / 2.0);
}

TEST(BandwidthBoundaryTest, WhiteNoiseCutAt22050HzAt96kHzLooksLikeA44100Source)
{
    // Brick-wall filter in one long transform: nothing is left above 22.05 kHz.
    constexpr std::size_t length = 96000 * 3;
    constexpr std::size_t size = 1 << 19;
    const std::vector<double> noise = test::whiteNoise(length, 21, 0.5);
    std::vector<std::complex<double>> data(size);
    for (std::size_t i = 0; i < length; ++i) {
        data[i] = noise[i];
    }
    fft(data, false);
    for (std::size_t k = 1; k < size / 2; ++k) {
        if (static_cast<double>(k) * 96000.0 / size > 22050.0) {
            data[k] = 0.0;
            data[size - k] = 0.0;
        }
    }
    data[size / 2] = 0.0;
    fft(data, true);
    std::vector<double> filtered(length);
    for (std::size_t i = 0; i < length; ++i) {
        filtered[i] = data[i].real();
    }

    // Stored at 16 bits: the rounding noise fills the band above the cut, as
    // the dither of a CD source upsampled to a 16-bit file does.
    const DecodedAudio audio = test::losslessAudio({test::quantised(filtered, 16)}, 96000, 16);
    const std::vector<double> spectrum = averagedPowerSpectrum(audio.channels[0], noStop);
    const CheckResult result = checkBandwidthBoundary(audio, spectrum, test::strongBins(spectrum));
    EXPECT_EQ(result.status, orvel::Verdict::Possible);
    EXPECT_EQ(result.summary, "Bandwidth compatible with 44.100 kHz source");
    EXPECT_EQ(result.evidence.rfind("Measured ", 0), 0u) << result.evidence;
    EXPECT_NE(result.evidence.find(" dB decrease across 22.050 kHz. Upsampling, filtering, and naturally limited "
                                   "bandwidth can look alike. Uses up to 96 Hann-windowed 4096-sample frames per "
                                   "channel (first two channels)."),
              std::string::npos)
        << result.evidence;
}

TEST(BandwidthBoundaryTest, BroadbandNoiseIsNoEvidence)
{
    const DecodedAudio audio = test::losslessAudio({test::quantised(test::whiteNoise(96000 * 3, 22, 0.5), 24)}, 96000, 24);
    const std::vector<double> spectrum = averagedPowerSpectrum(audio.channels[0], noStop);
    const CheckResult result = checkBandwidthBoundary(audio, spectrum, test::strongBins(spectrum));
    EXPECT_EQ(result.status, orvel::Verdict::NoEvidence);
    EXPECT_EQ(result.summary, "No strong standard-rate boundary");
    EXPECT_EQ(result.evidence.rfind("Strongest tested boundary drop: ", 0), 0u);
    EXPECT_NE(result.evidence.find(" dB. Only standard source rates are tested. Other resampling or filtering is "
                                   "not ruled out."),
              std::string::npos);
}

TEST(BandwidthBoundaryTest, TwoSecondsPassOneSampleLessDoesNot)
{
    const std::vector<double> spectrum = stepSpectrum(44100, 16000, 1e-6);
    const CheckResult enough = checkBandwidthBoundary(audioOfLength(88200, 44100), spectrum, 500);
    EXPECT_EQ(enough.status, orvel::Verdict::Possible);
    const CheckResult shorter = checkBandwidthBoundary(audioOfLength(88199, 44100), spectrum, 500);
    EXPECT_EQ(shorter.status, orvel::Verdict::Inconclusive);
    EXPECT_EQ(shorter.summary, "Clip is shorter than 2 seconds");
    EXPECT_EQ(shorter.evidence, "Too little material for a meaningful bandwidth verdict. Sample precision is still "
                                "measured independently.");
}

TEST(BandwidthBoundaryTest, NeedsOneHundredStrongBins)
{
    const std::vector<double> spectrum = stepSpectrum(44100, 16000, 1e-6);
    EXPECT_EQ(checkBandwidthBoundary(audioOfLength(132300, 44100), spectrum, 100).status, orvel::Verdict::Possible);
    const CheckResult few = checkBandwidthBoundary(audioOfLength(132300, 44100), spectrum, 99);
    EXPECT_EQ(few.status, orvel::Verdict::Inconclusive);
    EXPECT_EQ(few.summary, "Silence or narrow-band signal");
    EXPECT_EQ(few.evidence, "Only 99 FFT bins are within 40 dB of the peak. Pure tones and sparse signals do not "
                            "establish resampling.");
}

TEST(BandwidthBoundaryTest, HighestTestedRateStaysBelow95PercentOfTheSampleRate)
{
    struct Case {
        std::int32_t fs;
        std::int32_t highestTested;
        const char* kHz;
        bool rateSkipped;
    };
    for (const Case& c : {Case{44100, 32000, "32.000", true}, Case{48000, 44100, "44.100", true},
                          Case{96000, 88200, "88.200", true}, Case{192000, 96000, "96.000", false}}) {
        // A step at the highest tested rate's boundary is found.
        const CheckResult found = check(c.fs, stepSpectrum(c.fs, c.highestTested / 2.0, 1e-6));
        EXPECT_EQ(found.status, orvel::Verdict::Possible) << c.fs;
        EXPECT_EQ(found.summary, std::string("Bandwidth compatible with ") + c.kHz + " kHz source")
            << c.fs;
        if (!c.rateSkipped) {
            continue;
        }
        // The skipped rate's boundary is at or near Nyquist, where its bands
        // end in the last bin: a drop only there must go unseen.
        std::vector<double> lastBin(2049, 1.0);
        lastBin[2048] = 1e-9;
        const CheckResult skipped = check(c.fs, lastBin);
        EXPECT_EQ(skipped.status, orvel::Verdict::NoEvidence) << c.fs;
        EXPECT_EQ(skipped.evidence.rfind("Strongest tested boundary drop: 0.0 dB.", 0), 0u) << c.fs;
    }
}

TEST(BandwidthBoundaryTest, EightKilohertzTestsNoRate)
{
    const CheckResult result = check(8000, stepSpectrum(8000, 3000, 1e-9));
    EXPECT_EQ(result.status, orvel::Verdict::NoEvidence);
    EXPECT_EQ(result.evidence.rfind("Strongest tested boundary drop: 0.0 dB.", 0), 0u);
}

TEST(BandwidthBoundaryTest, EqualDropsKeepTheEarlierRate)
{
    // The same dip above the 8 kHz and the 16 kHz boundaries, nothing else. A
    // power of two keeps both band means exact, so the two drops are equal.
    std::vector<double> spectrum(2049, 1.0);
    setBand(spectrum, 192000, 4000.0 * 1.02 - 50, 4000.0 * 1.15 + 50, 0x1p-14);
    setBand(spectrum, 192000, 8000.0 * 1.02 - 50, 8000.0 * 1.15 + 50, 0x1p-14);
    const CheckResult equal = check(192000, spectrum);
    EXPECT_EQ(equal.status, orvel::Verdict::Possible);
    EXPECT_EQ(equal.summary, "Bandwidth compatible with 8.000 kHz source");
    EXPECT_EQ(equal.evidence.rfind("Measured 42.1 dB decrease across 4.000 kHz.", 0), 0u) << equal.evidence;

    // A strictly steeper later drop replaces it.
    setBand(spectrum, 192000, 8000.0 * 1.02 - 50, 8000.0 * 1.15 + 50, 0x1p-15);
    EXPECT_EQ(check(192000, spectrum).summary, "Bandwidth compatible with 16.000 kHz source");
}

TEST(BandwidthBoundaryTest, LowerBandBelowTheLevelGateIsIgnored)
{
    // A 60 dB step at 16 kHz, but a peak 50 dB above the lower band.
    std::vector<double> spectrum = stepSpectrum(44100, 16000, 1e-6);
    spectrum[20] = 1e5;
    const CheckResult result = check(44100, spectrum);
    EXPECT_EQ(result.status, orvel::Verdict::NoEvidence);
    EXPECT_EQ(result.evidence.rfind("Strongest tested boundary drop: 0.0 dB.", 0), 0u);
}

TEST(BandwidthBoundaryTest, ThirtyFiveDecibelsIsTheThreshold)
{
    const CheckResult below = check(44100, stepSpectrum(44100, 16000, std::pow(10.0, -3.49)));
    EXPECT_EQ(below.status, orvel::Verdict::NoEvidence);
    EXPECT_EQ(below.evidence.rfind("Strongest tested boundary drop: 34.9 dB.", 0), 0u) << below.evidence;

    const CheckResult at = check(44100, stepSpectrum(44100, 16000, std::pow(10.0, -3.5) * 0.999999));
    EXPECT_EQ(at.status, orvel::Verdict::Possible);
    EXPECT_EQ(at.summary, "Bandwidth compatible with 32.000 kHz source");
    EXPECT_EQ(at.evidence.rfind("Measured 35.0 dB decrease across 16.000 kHz.", 0), 0u) << at.evidence;
}

TEST(BandwidthBoundaryTest, RatesAreWrittenInKilohertzWithThreeDecimals)
{
    const CheckResult result = check(48000, stepSpectrum(48000, 11025.0 / 2.0, 1e-7));
    EXPECT_EQ(result.summary, "Bandwidth compatible with 11.025 kHz source");
}

} // namespace
} // namespace orvel
