// SPDX-License-Identifier: MIT
#include "analysis/lower_rate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "analysis/uninitialized_vector.h"

namespace orvel {

namespace {

constexpr std::array<std::int32_t, 5> kSourceRates{32000, 44100, 48000, 88200, 96000};

// The first bin from highest down to lowest that stands 10 dB over every bin
// from margin above it up to reach; -1 when there is none.
std::int32_t edgeBelow(const std::vector<double>& s, std::int32_t highest, std::int32_t lowest, std::int32_t margin,
                       std::int32_t reach)
{
    for (std::int32_t k = highest; k >= lowest; --k) {
        const std::int32_t from = std::min(k + margin, reach);
        const double above = *std::max_element(s.begin() + from, s.begin() + reach + 1);
        if (s[static_cast<std::size_t>(k)] >= above + 10.0) {
            return k;
        }
    }
    return -1;
}

// The mirror search: pairs of bins d = 0.3 .. 2 kHz either side of the
// axis. From 0.3 kHz, a pair's bins lie far enough apart (0.6 kHz) that the
// spectrum's 86 Hz smoothing and each bin's +-0.3 kHz neighbourhood share
// nothing; to 2 kHz, gentle resamplers' images still stand well over the
// floor (ffmpeg's default resampler from 44.1 to 96 kHz: 49 dB over 16-bit
// rounding at 24 kHz, 6 dB at 26 kHz).
constexpr double kMirrorFromHz = 300.0;
constexpr double kMirrorToHz = 2000.0;
constexpr double kMirrorNeighbourhoodHz = 300.0;
// Under 20 frames the correlation's spread on unrelated noise grows past
// 0.05 (about 20 independent pairs per frame).
constexpr std::int32_t kMirrorFrames = 20;
// Resampled with images, at the source's Nyquist: 0.964 .. 1.000 (96 files:
// sox rate -q and ffmpeg's default resampler, 16 and 24 bits, from 32, 44.1
// and 48 kHz to 88.2, 96 and 192 kHz); an axis half a bin off costs about
// 0.06. Genuine material at every candidate axis: -0.30 .. 0.51 (58 files, 37
// of them at 88.2 .. 192 kHz: music with its own highs, noise and music
// through gentle lowpasses), the highest where plucks of whole-sample periods
// mirror exactly about a quarter of the file's rate; lossy codecs and steep
// resamplers: up to 0.20.
constexpr double kMirrorCorrelation = 0.8;

struct MirrorMeasurement {
    double correlation = 0.0;
    double contentDb = -300.0; // mean level of the pairs' lower bins
    double imagesDb = -300.0;  // and of their upper ones
};

// How the spectrum's fine structure at axis + d follows that at axis - d from
// frame to frame, for the bins of d = 0.3 .. 2 kHz; top is the highest bin
// the search may read.
MirrorMeasurement measureMirror(const LongTermSpectrum& lts, double axisHz, std::int32_t top)
{
    MirrorMeasurement m;
    const auto bins = [&](double hz) { return static_cast<std::int32_t>(std::lround(hz / lts.binHz)); };
    // Bin b mirrors to twice - b: the axis to the nearest half bin.
    const std::int32_t twice = bins(2.0 * axisHz);
    const std::int32_t from = bins(kMirrorFromHz);
    const std::int32_t to = bins(kMirrorToHz);
    const std::int32_t half = bins(kMirrorNeighbourhoodHz);
    const std::int32_t lo = twice / 2 - to - half;
    const std::int32_t hi = twice - (twice / 2 - to) + half + 1; // one past the last bin read
    if (lts.frames < kMirrorFrames || lo < 1 || hi > top + 1) {
        return m;
    }
    const auto width = static_cast<std::size_t>(hi - lo);
    const auto count = static_cast<std::size_t>(to - from + 1);
    // Per frame, each bin's dB less the mean dB of the bins within +-0.3 kHz
    // of it: the fine structure, without the frame's level and tilt.
    UninitializedVector<double> fine(static_cast<std::size_t>(lts.frames) * count * 2);
    std::vector<double> running(width + 1, 0.0);
    for (std::int32_t f = 0; f < lts.frames; ++f) {
        const float* power = lts.framePower.data() + static_cast<std::size_t>(f) * static_cast<std::size_t>(lts.bins);
        for (std::size_t i = 0; i < width; ++i) {
            running[i + 1] =
                running[i] + 10.0 * std::log10(static_cast<double>(power[lo + static_cast<std::int32_t>(i)]) + 1e-30);
        }
        const auto residual = [&](std::int32_t k) {
            const auto i = static_cast<std::size_t>(k - lo);
            const double own = running[i + 1] - running[i];
            const double around =
                running[i + static_cast<std::size_t>(half) + 1] - running[i - static_cast<std::size_t>(half)];
            return own - around / (2 * half + 1);
        };
        double* row = fine.data() + static_cast<std::size_t>(f) * count * 2;
        for (std::int32_t d = from; d <= to; ++d) {
            const std::int32_t below = twice / 2 - d;
            row[2 * (d - from)] = residual(below);
            row[2 * (d - from) + 1] = residual(twice - below);
        }
    }
    // Less each bin's mean over the frames: what every frame shares (the
    // resampler's response, steady tones) says nothing about mirroring.
    for (std::size_t c = 0; c < count * 2; ++c) {
        double sum = 0.0;
        for (std::int32_t f = 0; f < lts.frames; ++f) {
            sum += fine[static_cast<std::size_t>(f) * count * 2 + c];
        }
        const double mean = sum / lts.frames;
        for (std::int32_t f = 0; f < lts.frames; ++f) {
            fine[static_cast<std::size_t>(f) * count * 2 + c] -= mean;
        }
    }
    double xy = 0.0;
    double xx = 0.0;
    double yy = 0.0;
    for (std::size_t i = 0; i < fine.size(); i += 2) {
        xy += fine[i] * fine[i + 1];
        xx += fine[i] * fine[i];
        yy += fine[i + 1] * fine[i + 1];
    }
    m.correlation = xx > 0.0 && yy > 0.0 ? xy / std::sqrt(xx * yy) : 0.0;
    m.contentDb = meanBandDb(lts.meanDb, twice / 2 - to, twice / 2 - from + 1);
    m.imagesDb = meanBandDb(lts.meanDb, twice - (twice / 2 - from), twice - (twice / 2 - to) + 1);
    return m;
}

} // namespace

LowerRateMeasurement measureLowerRate(const LongTermSpectrum& lts, std::int32_t sampleRate)
{
    LowerRateMeasurement best;
    if (lts.frames == 0) {
        return best;
    }
    const std::vector<double>& s = lts.meanDb;
    auto bin = [&](double hz) {
        return std::clamp(static_cast<std::int32_t>(std::lround(hz / lts.binHz)), 1, lts.bins - 1);
    };
    // dB per kHz across an edge at fc.
    auto steepness = [&](double fc) {
        return (meanBandDb(s, bin(fc - 600.0), bin(fc - 200.0)) - meanBandDb(s, bin(fc + 200.0), bin(fc + 600.0))) /
               0.8;
    };
    const double nyquist = sampleRate / 2.0;
    const std::int32_t top = bin(nyquist - 172.0);
    const double loud = roundingNoiseDb(lts, std::ldexp(1.0, -15)) + 20.0;
    for (const std::int32_t rate : kSourceRates) {
        if (rate >= 0.95 * sampleRate) {
            continue;
        }
        const double boundary = rate / 2.0;
        const double lowestShare = nyquist < 1.1 * boundary ? 0.95 : 0.90;
        const std::int32_t reach = std::min(top, bin(1.25 * boundary));
        const std::int32_t floorFrom = bin(1.02 * boundary);
        if (reach - floorFrom < 4) {
            continue;
        }
        const std::int32_t edge = edgeBelow(s, bin(boundary), bin(lowestShare * boundary), bin(500.0), reach);
        if (edge < 0) {
            continue;
        }
        const double fc = edge * lts.binHz;
        std::vector<double> floorBand(s.begin() + floorFrom, s.begin() + reach + 1);
        std::sort(floorBand.begin(), floorBand.end());
        const double floor = floorBand[floorBand.size() / 2];
        const double below = meanBandDb(s, bin(fc - 1500.0), bin(fc - 300.0));
        LowerRateMeasurement m;
        m.sourceRate = rate;
        m.edgeHz = fc;
        m.dropDb = below - floor;
        m.steepness = steepness(fc);
        m.belowOverLoud = below - loud;
        m.found = m.dropDb >= 30.0 && m.steepness >= 25.0 && m.belowOverLoud >= 0.0;
        if (m.found) {
            return m;
        }
        if (!best.found && m.dropDb > best.dropDb) {
            best = m;
        }
    }

    // An imaging resampler: above the source Nyquist only weak images of the
    // content remain, up to a steep edge a little higher.
    for (const std::int32_t rate : {44100, 48000}) {
        const double boundary = rate / 2.0;
        if (nyquist < 1.4 * boundary) {
            continue;
        }
        const std::int32_t edge = edgeBelow(s, bin(1.25 * boundary), bin(1.1 * boundary), bin(500.0), top);
        if (edge < 0) {
            continue;
        }
        const double fc = edge * lts.binHz;
        const double content = meanBandDb(s, bin(0.85 * boundary), bin(0.95 * boundary));
        const double images = meanBandDb(s, bin(1.03 * boundary), bin(fc - 500.0));
        LowerRateMeasurement m;
        m.sourceRate = rate;
        m.edgeHz = boundary;
        m.dropDb = content - images;
        m.steepness = steepness(fc);
        m.belowOverLoud = content - loud;
        m.imaging = true;
        m.found = m.dropDb >= 15.0 && m.steepness >= 25.0 && m.belowOverLoud >= 0.0;
        if (m.found) {
            return m;
        }
    }

    // A gentle resampler: images of the content mirrored about the source
    // Nyquist, frame by frame.
    for (const std::int32_t rate : kSourceRates) {
        if (rate >= 0.95 * sampleRate) {
            continue;
        }
        const double boundary = rate / 2.0;
        const MirrorMeasurement mirror = measureMirror(lts, boundary, top);
        LowerRateMeasurement m;
        m.sourceRate = rate;
        m.edgeHz = boundary;
        m.dropDb = mirror.contentDb - mirror.imagesDb;
        m.steepness = steepness(boundary);
        m.belowOverLoud = mirror.contentDb - loud;
        m.mirror = true;
        m.mirrorCorrelation = mirror.correlation;
        m.found = mirror.correlation >= kMirrorCorrelation && m.belowOverLoud >= 0.0;
        if (m.found) {
            return m;
        }
    }
    return best;
}

} // namespace orvel
