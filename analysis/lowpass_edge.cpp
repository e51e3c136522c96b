// SPDX-License-Identifier: MIT
#include "analysis/lowpass_edge.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "analysis/fft.h"
#include "decode/cancellation.h"

namespace orvel {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTiny = 1e-30;
constexpr std::int64_t kMaxFrames = 240;

double toDb(double power)
{
    return 10.0 * std::log10(power + kTiny);
}

std::int32_t binAt(const LongTermSpectrum& lts, double hz)
{
    return std::clamp(static_cast<std::int32_t>(std::lround(hz / lts.binHz)), 0, lts.bins - 1);
}

// dB of the mean power of bins [a, b).
double bandDb(const float* power, std::int32_t a, std::int32_t b)
{
    if (b <= a) {
        return -300.0;
    }
    double sum = 0.0;
    for (std::int32_t i = a; i < b; ++i) {
        sum += power[i];
    }
    return toDb(sum / (b - a));
}

} // namespace

double meanBandDb(const std::vector<double>& db, std::int32_t a, std::int32_t b)
{
    if (b <= a) {
        return -300.0;
    }
    double sum = 0.0;
    for (std::int32_t i = a; i < b; ++i) {
        sum += std::pow(10.0, db[static_cast<std::size_t>(i)] / 10.0);
    }
    return toDb(sum / (b - a));
}

LongTermSpectrum longTermSpectrum(std::span<const double> left, std::span<const double> right,
                                  std::int32_t sampleRate, const std::atomic<bool>& stopRequested)
{
    LongTermSpectrum lts;
    std::int32_t length = 4096;
    for (std::int32_t rate = 48000; sampleRate > rate; rate *= 2) {
        length *= 2;
    }
    lts.frameLength = length;
    lts.bins = length / 2 + 1;
    lts.binHz = static_cast<double>(sampleRate) / length;
    const auto n = static_cast<std::int64_t>(left.size());
    // Frames side by side without overlap (at most 240, spread evenly over
    // the samples): half the transforms of frames overlapping by half.
    const std::int64_t fit = n < length ? 0 : n / length;
    lts.frames = static_cast<std::int32_t>(std::min<std::int64_t>(fit, kMaxFrames));
    lts.overlappedFrames = n < length ? 0 : static_cast<std::int32_t>((n - length) / (length / 2) + 1);
    lts.meanDb.assign(static_cast<std::size_t>(lts.bins), -300.0);
    if (lts.frames == 0) {
        return lts;
    }
    lts.framePower.resize(static_cast<std::size_t>(lts.frames) * static_cast<std::size_t>(lts.bins));

    std::vector<double> window(static_cast<std::size_t>(length));
    for (std::int32_t i = 0; i < length; ++i) {
        window[static_cast<std::size_t>(i)] = 0.5 - 0.5 * std::cos(2.0 * kPi * i / length);
    }
    // Boxcar of about 86 Hz, centred.
    const std::int32_t half = std::max<std::int32_t>(1, static_cast<std::int32_t>(std::lround(86.0 / lts.binHz))) / 2;
    const bool stereo = !right.empty();
    std::vector<std::complex<double>> z(static_cast<std::size_t>(length));
    const std::uint32_t* rev = fftBitReversal(z.size());
    std::vector<double> power(static_cast<std::size_t>(lts.bins));
    std::vector<double> sum(static_cast<std::size_t>(lts.bins), 0.0);
    for (std::int32_t f = 0; f < lts.frames; ++f) {
        if (f % 32 == 0) {
            throwIfStopRequested(stopRequested);
        }
        const std::int64_t start =
            lts.frames <= 1 ? 0 : (n - length) * std::int64_t{f} / (lts.frames - 1);
        // Both channels in one complex transform: left real, right imaginary,
        // written straight to the FFT's bit-reversed places where it has a
        // table for this length.
        for (std::int32_t i = 0; i < length; ++i) {
            const double w = window[static_cast<std::size_t>(i)];
            z[rev != nullptr ? rev[i] : static_cast<std::size_t>(i)] = {
                left[static_cast<std::size_t>(start + i)] * w,
                stereo ? right[static_cast<std::size_t>(start + i)] * w : 0.0};
        }
        if (rev != nullptr) {
            fftFromBitReversed(z.data(), z.size());
        } else {
            fft(z.data(), z.size(), false);
        }
        for (std::int32_t k = 0; k < lts.bins; ++k) {
            const std::complex<double> a = z[static_cast<std::size_t>(k)];
            const std::complex<double> b = z[static_cast<std::size_t>((length - k) % length)];
            // |L|^2 + |R|^2 = (|Z[k]|^2 + |Z[-k]|^2) / 2.
            power[static_cast<std::size_t>(k)] = 0.5 * (std::norm(a) + std::norm(b));
        }
        // Running sum for the boxcar, clipped at the ends.
        double running = 0.0;
        std::int32_t lo = 0;
        std::int32_t hi = 0;
        float* out = lts.framePower.data() + static_cast<std::size_t>(f) * static_cast<std::size_t>(lts.bins);
        for (std::int32_t k = 0; k < lts.bins; ++k) {
            const std::int32_t a = std::max(0, k - half);
            const std::int32_t b = std::min(lts.bins, k + half + 1);
            while (hi < b) {
                running += power[static_cast<std::size_t>(hi++)];
            }
            while (lo < a) {
                running -= power[static_cast<std::size_t>(lo++)];
            }
            const double smoothed = std::max(running, 0.0) / (b - a);
            out[k] = static_cast<float>(smoothed);
            sum[static_cast<std::size_t>(k)] += smoothed;
        }
    }
    for (std::int32_t k = 0; k < lts.bins; ++k) {
        lts.meanDb[static_cast<std::size_t>(k)] = toDb(sum[static_cast<std::size_t>(k)] / lts.frames);
    }
    return lts;
}

double roundingNoiseDb(const LongTermSpectrum& lts, double lsb)
{
    // Rounding noise has variance lsb^2 / 12 per sample; a periodic Hann frame
    // of L samples gathers 3 L / 8 of it per bin; two channels.
    const double perChannel = lsb * lsb / 12.0 * 3.0 * lts.frameLength / 8.0;
    return toDb(2.0 * perChannel);
}

EdgeMeasurement measureEdge(const LongTermSpectrum& lts, double nyquistHz, double storedLsb)
{
    EdgeMeasurement m;
    m.nyquistHz = nyquistHz;
    if (lts.frames == 0) {
        return m;
    }
    const std::vector<double>& s = lts.meanDb;
    const std::int32_t top = binAt(lts, nyquistHz - 172.0);
    const std::int32_t margin = binAt(lts, 500.0);
    const std::int32_t below300 = std::max<std::int32_t>(1, binAt(lts, 300.0));
    const double loud = roundingNoiseDb(lts, std::ldexp(1.0, -15)) + 20.0;
    // suffixMax[k] = max of s over k .. top.
    std::vector<double> suffixMax(static_cast<std::size_t>(top) + 2, -1e300);
    for (std::int32_t k = top; k >= 0; --k) {
        suffixMax[static_cast<std::size_t>(k)] =
            std::max(s[static_cast<std::size_t>(k)], suffixMax[static_cast<std::size_t>(k) + 1]);
    }
    const std::int32_t lowest = binAt(lts, 1000.0);
    std::int32_t edge = -1;
    for (std::int32_t k = top - margin; k >= lowest; --k) {
        if (s[static_cast<std::size_t>(k)] >= suffixMax[static_cast<std::size_t>(k + margin)] + 10.0 &&
            meanBandDb(s, k - below300, k) >= loud) {
            edge = k;
            break;
        }
    }
    if (edge < 0) {
        return m;
    }
    m.found = true;
    m.edgeHz = edge * lts.binHz;
    const double fc = m.edgeHz;

    std::vector<double> above(s.begin() + binAt(lts, fc + 200.0), s.begin() + top + 1);
    std::sort(above.begin(), above.end());
    const double floor = above.empty() ? -300.0 : above[above.size() / 2];
    m.floorOverNoise = floor - roundingNoiseDb(lts, storedLsb);

    const std::int32_t subA = binAt(lts, fc - 1500.0);
    const std::int32_t subB = binAt(lts, fc - 300.0);
    const std::int32_t over = binAt(lts, fc + 300.0);
    std::vector<double> activeSum(static_cast<std::size_t>(lts.bins), 0.0);
    std::int32_t reaching = 0;
    for (std::int32_t f = 0; f < lts.frames; ++f) {
        const float* power = lts.framePower.data() + static_cast<std::size_t>(f) * static_cast<std::size_t>(lts.bins);
        const double sub = bandDb(power, subA, subB);
        if (sub < floor + 20.0) {
            continue;
        }
        ++m.activeFrames;
        const double bound = std::pow(10.0, std::max(floor + 10.0, sub - 35.0) / 10.0);
        std::int32_t highest = 0;
        for (std::int32_t k = top; k > 0; --k) {
            if (power[k] > bound) {
                highest = k;
                break;
            }
        }
        reaching += highest > over ? 1 : 0;
        for (std::int32_t k = 0; k < lts.bins; ++k) {
            activeSum[static_cast<std::size_t>(k)] += power[k];
        }
    }
    // 20 active frames out of frames overlapping by half, in proportion to
    // the frames measured here, and never fewer than 10.
    if (lts.overlappedFrames > 0) {
        m.requiredActiveFrames = std::max<std::int32_t>(
            10, static_cast<std::int32_t>(std::ceil(20.0 * lts.frames / lts.overlappedFrames)));
    }
    if (m.activeFrames > 0) {
        std::vector<double> activeDb(activeSum.size());
        for (std::size_t k = 0; k < activeSum.size(); ++k) {
            activeDb[k] = toDb(activeSum[k] / m.activeFrames);
        }
        const double lower = meanBandDb(activeDb, binAt(lts, fc - 600.0), binAt(lts, fc - 200.0));
        const double upper = meanBandDb(activeDb, binAt(lts, fc + 200.0), binAt(lts, fc + 600.0));
        m.steepness = (lower - upper) / 0.8;
        m.aboveShare = static_cast<double>(reaching) / m.activeFrames;
    }
    return m;
}

EdgeMeasurement lossyLowpassEdge(const LongTermSpectrum& lts, std::int32_t sampleRate, double storedLsb)
{
    const double nyquist = sampleRate / 2.0;
    EdgeMeasurement m = measureEdge(lts, nyquist, storedLsb);
    if (sampleRate > 48000 && m.found) {
        for (const double lower : {22050.0, 24000.0}) {
            if (m.edgeHz >= 0.9 * lower && m.edgeHz <= lower) {
                return measureEdge(lts, 0.99 * lower, storedLsb);
            }
        }
    }
    return m;
}

EdgeVerdict judgeEdge(const EdgeMeasurement& m, double seconds)
{
    if (seconds < 3.0) {
        return EdgeVerdict::Inconclusive;
    }
    if (!m.found) {
        return EdgeVerdict::NoEvidence;
    }
    const double fc = m.edgeHz / 1000.0;
    if (fc >= std::min(0.93 * m.nyquistHz / 1000.0, 21.0)) {
        return EdgeVerdict::NoEvidence;
    }
    if (m.activeFrames < m.requiredActiveFrames) {
        return EdgeVerdict::Inconclusive;
    }
    const bool hard = m.steepness >= 30.0 && m.aboveShare <= 0.05;
    const bool soft = m.steepness >= 20.0 && m.aboveShare <= 0.10;
    if (fc < 15.0) {
        return hard ? EdgeVerdict::Possible : EdgeVerdict::Inconclusive;
    }
    if (fc < 19.5) {
        bool resampled = false;
        for (const double nyquist : {11.025, 12.0, 16.0}) {
            resampled = resampled || (fc >= 0.94 * nyquist && fc <= nyquist);
        }
        if (hard && !resampled) {
            return EdgeVerdict::Likely;
        }
        return soft ? EdgeVerdict::Possible : EdgeVerdict::NoEvidence;
    }
    return hard ? EdgeVerdict::Possible : EdgeVerdict::NoEvidence;
}

std::string lowpassResemblance(double edgeHz)
{
    // Each band holds the edges of several codecs at overlapping bitrates
    // (MP3 and MP2 near 16-17 kHz at 128 kb/s, AAC 17.1-17.6, Vorbis q3
    // 18.0-18.4, MP3 192 near 18.5-19, MP3 256-320, Opus and some AAC near
    // 20): an edge alone names a range, never one codec.
    const double k = std::round(edgeHz / 100.0) / 10.0;
    if (k >= 15.9 && k <= 17.6) {
        return "like a lossy encoder at about 96\u2013160 kb/s";
    }
    if (k >= 17.7 && k <= 19.4) {
        return "like a lossy encoder at about 128\u2013256 kb/s";
    }
    if (k >= 19.5 && k <= 20.5) {
        return "like a lossy encoder at 192\u2013320 kb/s, or a mastering lowpass";
    }
    return "";
}

} // namespace orvel
