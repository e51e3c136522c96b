// SPDX-License-Identifier: MIT
#include "analysis/lower_rate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

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
    return best;
}

} // namespace orvel
