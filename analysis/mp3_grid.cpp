// SPDX-License-Identifier: MIT
#include "analysis/mp3_grid.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <vector>

#include "analysis/mp3_filterbank.h"
#include "analysis/signal_level.h"
#include "decode/cancellation.h"

namespace orvel {

namespace {

constexpr std::int32_t kOffsets = 576;
constexpr std::int32_t kSearchSegments = 8;
constexpr std::int32_t kVerifySegments = 48;
constexpr std::int32_t kSegmentGranules = 2;
constexpr std::int32_t kFirstPassBands = 8;
constexpr std::int32_t kFinalists = 8;
constexpr std::int32_t kControls = 7;
constexpr std::int32_t kControlStep = 72;
constexpr std::int32_t kGaplessOffset = 528;
constexpr double kInverseSqrt2 = 0.7071067811865476;

struct GranuleCount {
    std::int32_t zeros = 0;
    std::int32_t total = 0;
    double energy = 0.0;
};

// Share of near-zero lines over granules, leaving out those whose band energy
// is below 1 % of the mean granule energy.
double shareOf(const std::vector<GranuleCount>& granules, std::int32_t* counted = nullptr)
{
    if (granules.empty()) {
        return 0.0;
    }
    double mean = 0.0;
    for (const GranuleCount& g : granules) {
        mean += g.energy;
    }
    mean /= static_cast<double>(granules.size());
    std::int64_t zeros = 0;
    std::int64_t total = 0;
    std::int32_t used = 0;
    for (const GranuleCount& g : granules) {
        if (g.energy < 0.01 * mean || g.energy <= 0.0) {
            continue;
        }
        zeros += g.zeros;
        total += g.total;
        ++used;
    }
    if (counted != nullptr) {
        *counted = used;
    }
    return total == 0 ? 0.0 : static_cast<double>(zeros) / static_cast<double>(total);
}

class GridMeter {
public:
    explicit GridMeter(const Mp3GridInput& input)
    {
        const auto n = static_cast<std::int64_t>(input.left.size());
        double rms = input.rms;
        if (rms < 0.0) {
            const double left = signalRms(input.left);
            const double right = signalRms(input.right);
            rms = input.right.empty() ? left : std::sqrt((left * left + right * right) / 2.0);
        }
        const double sigma = kMp3HybridGain * input.lsb / std::sqrt(12.0);
        m_threshold = std::max(2.0 * sigma, 1e-4 * kMp3HybridGain * rms);
        m_lastLine = std::clamp(input.bandLimit * kMp3GranuleLines / 1024, 8, kMp3GranuleLines);
        // The float filterbank works on groups of eight subbands.
        m_lastBand = std::min(kMp3Subbands, ((m_lastLine + 17) / 18 + 7) / 8 * 8);
        // Granule g of phase p and granule phase q reads subband blocks
        // q + 18 g .. q + 18 g + 35, block b ending at sample p + 32 b + 31.
        m_granules = static_cast<std::int32_t>(std::max<std::int64_t>(0, (n - 32 * 54) / kMp3GranuleLines));
        m_stereo = !input.right.empty();
        m_left = input.left;
        m_right = input.right;
    }

    [[nodiscard]] double threshold() const { return m_threshold; }
    [[nodiscard]] std::int32_t lastLine() const { return m_lastLine; }
    [[nodiscard]] std::int32_t lastBand() const { return m_lastBand; }
    [[nodiscard]] std::int32_t granules() const { return m_granules; }

    // First granules of the segments: spread evenly, the verification ones
    // between the search ones.
    [[nodiscard]] std::vector<std::int32_t> segments(std::int32_t count, double shift) const
    {
        std::vector<std::int32_t> starts;
        const std::int32_t usable = m_granules - kSegmentGranules;
        for (std::int32_t s = 0; s < count && usable > 0; ++s) {
            starts.push_back(static_cast<std::int32_t>((s + shift) * usable / count));
        }
        return starts;
    }

    // Counts of granule phases qs (sorted) of phase p over the segments, on
    // subbands firstBand .. lastBand - 1 (whole groups of eight), lines
    // countFrom .. countTo - 1; out[i][*] for qs[i], appended. In float: its
    // rounding (about 1e-7 of the level) stays far below the threshold.
    void measure(std::int32_t p, const std::vector<std::int32_t>& qs, const std::vector<std::int32_t>& starts,
                 std::int32_t firstBand, std::int32_t lastBand, std::int32_t countFrom, std::int32_t countTo,
                 std::vector<std::vector<GranuleCount>>& out)
    {
        using T = float;
        out.resize(qs.size());
        const std::int32_t qLow = qs.front();
        const std::int32_t blocks = qs.back() - qLow + 18 * kSegmentGranules + 18;
        m_blocksLeft.assign(static_cast<std::size_t>(blocks) * 32, T(0));
        m_blocksRight.assign(m_blocksLeft.size(), T(0));
        std::array<T, kMp3GranuleLines> left{};
        std::array<T, kMp3GranuleLines> right{};
        for (const std::int32_t g0 : starts) {
            const std::int64_t firstBlock = qLow + 18 * std::int64_t{g0};
            const std::int64_t firstSample = p + 32 * firstBlock;
            // Only the samples these blocks read, in float: samples
            // firstSample - 480 .. firstSample + 32 blocks - 1, those outside
            // the signal being zeros to the filterbank either way.
            const auto analyse = [&](std::span<const double> samples, std::vector<float>& window, float* blocksOut) {
                const auto n = static_cast<std::int64_t>(samples.size());
                const std::int64_t from = std::clamp<std::int64_t>(firstSample - 480, 0, n);
                const std::int64_t to = std::clamp<std::int64_t>(firstSample + 32 * std::int64_t{blocks}, from, n);
                window.assign(samples.begin() + from, samples.begin() + to);
                m_polyphase.analyse(window, firstSample - from, blocks, blocksOut, firstBand, lastBand);
            };
            analyse(m_left, m_windowLeft, m_blocksLeft.data());
            if (m_stereo) {
                analyse(m_right, m_windowRight, m_blocksRight.data());
            }
            for (std::size_t i = 0; i < qs.size(); ++i) {
                for (std::int32_t g = 0; g < kSegmentGranules; ++g) {
                    const std::size_t row = static_cast<std::size_t>(qs[i] - qLow + 18 * g) * 32;
                    m_hybrid.granule(m_blocksLeft.data() + row, left.data(), firstBand, lastBand);
                    if (m_stereo) {
                        m_hybrid.granule(m_blocksRight.data() + row, right.data(), firstBand, lastBand);
                    }
                    out[i].push_back(count(left.data(), right.data(), countFrom, countTo));
                }
            }
        }
    }

private:
    [[nodiscard]] GranuleCount count(const float* left, const float* right, std::int32_t from,
                                     std::int32_t to) const
    {
        using T = float;
        GranuleCount c;
        const T t = static_cast<T>(m_threshold);
        const T half = static_cast<T>(kInverseSqrt2);
        if (!m_stereo) {
            for (std::int32_t k = from; k < to; ++k) {
                c.zeros += std::fabs(left[k]) < t ? 1 : 0;
                c.energy += static_cast<double>(left[k]) * static_cast<double>(left[k]);
            }
            c.total = std::max(to - from, 0);
            return c;
        }
        std::int32_t separate = 0;
        std::int32_t joint = 0;
        for (std::int32_t k = from; k < to; ++k) {
            const T l = left[k];
            const T r = right[k];
            const T m = (l + r) * half;
            const T s = (l - r) * half;
            separate += (std::fabs(l) < t ? 1 : 0) + (std::fabs(r) < t ? 1 : 0);
            joint += (std::fabs(m) < t ? 1 : 0) + (std::fabs(s) < t ? 1 : 0);
            c.energy += static_cast<double>(l) * static_cast<double>(l) + static_cast<double>(r) * static_cast<double>(r);
        }
        c.zeros = std::max(separate, joint);
        c.total = 2 * std::max(to - from, 0);
        return c;
    }

    Mp3PolyphaseT<float> m_polyphase;
    Mp3HybridT<float> m_hybrid;
    std::vector<float> m_blocksLeft;
    std::vector<float> m_blocksRight;
    std::span<const double> m_left;
    std::span<const double> m_right;
    std::vector<float> m_windowLeft;
    std::vector<float> m_windowRight;
    double m_threshold = 0.0;
    std::int32_t m_lastLine = 8;
    std::int32_t m_lastBand = 1;
    std::int32_t m_granules = 0;
    bool m_stereo = false;
};

// Verification shares of offsets, each measured on every subband.
std::vector<double> verifyOffsets(GridMeter& meter, const std::vector<std::int32_t>& offsets,
                                  std::int32_t segments, std::int32_t* counted = nullptr)
{
    const std::vector<std::int32_t> starts =
        meter.segments(segments, segments == kVerifySegments ? 0.75 : 0.25);
    std::vector<double> shares(offsets.size(), 0.0);
    // Offsets of one polyphase phase share their subband blocks.
    for (std::int32_t p = 0; p < 32; ++p) {
        std::vector<std::int32_t> qs;
        for (const std::int32_t o : offsets) {
            if (o % 32 == p) {
                qs.push_back(o / 32);
            }
        }
        if (qs.empty()) {
            continue;
        }
        std::sort(qs.begin(), qs.end());
        qs.erase(std::unique(qs.begin(), qs.end()), qs.end());
        std::vector<std::vector<GranuleCount>> counts;
        meter.measure(p, qs, starts, 0, meter.lastBand(), 4, meter.lastLine(), counts);
        for (std::size_t i = 0; i < offsets.size(); ++i) {
            if (offsets[i] % 32 != p) {
                continue;
            }
            const auto at = std::find(qs.begin(), qs.end(), offsets[i] / 32) - qs.begin();
            shares[i] = shareOf(counts[static_cast<std::size_t>(at)], i == 0 ? counted : nullptr);
        }
    }
    return shares;
}

Mp3GridMeasurement verifyAround(GridMeter& meter, std::int32_t best, std::int32_t segments = kVerifySegments)
{
    std::vector<std::int32_t> offsets{best};
    for (std::int32_t j = 1; j <= kControls; ++j) {
        offsets.push_back((best + kControlStep * j) % kOffsets);
    }
    Mp3GridMeasurement m;
    const std::vector<double> shares = verifyOffsets(meter, offsets, segments, &m.granules);
    std::vector<double> controls(shares.begin() + 1, shares.end());
    std::sort(controls.begin(), controls.end());
    const double mean = std::accumulate(controls.begin(), controls.end(), 0.0) / kControls;
    double variance = 0.0;
    for (const double c : controls) {
        variance += (c - mean) * (c - mean);
    }
    m.verified = shares[0];
    m.samePhase = shares[4]; // best + 288: the same polyphase phase, another granule phase
    m.baseline = controls[kControls / 2];
    m.spread = std::sqrt(variance / kControls);
    m.threshold = meter.threshold();
    m.offset = best;
    m.firstLine = 4;
    m.lastLine = meter.lastLine();
    return m;
}

} // namespace

bool mp3GridFound(const Mp3GridMeasurement& m)
{
    return m.excess() >= 0.03 && m.z() >= 10.0 && m.verified - m.samePhase >= 0.5 * m.excess();
}


double mp3GridFraction(const Mp3GridInput& input, std::int32_t offset)
{
    GridMeter meter(input);
    return verifyOffsets(meter, {offset}, kVerifySegments)[0];
}

Mp3GridMeasurement searchMp3Grid(const Mp3GridInput& input, const std::atomic<bool>& stopRequested,
                                 const std::function<void(const std::string&)>& progress)
{
    GridMeter meter(input);
    throwIfStopRequested(stopRequested);
    // Common decoders leave the grid at 528; when it passes there on its own
    // (first on the search granules, then on the verification ones), the
    // search is not needed.
    if (mp3GridFound(verifyAround(meter, kGaplessOffset, kSearchSegments))) {
        const Mp3GridMeasurement gapless = verifyAround(meter, kGaplessOffset);
        if (mp3GridFound(gapless)) {
            return gapless;
        }
    }

    // First pass: the eight subbands just below the band limit, every offset,
    // only the lines the butterflies inside those subbands complete.
    const std::int32_t lastBand = std::clamp((meter.lastLine() + 17) / 18, kFirstPassBands, kMp3Subbands);
    const std::int32_t firstBand = lastBand - kFirstPassBands;
    const std::int32_t countFrom = std::max(4, 18 * firstBand + (firstBand > 0 ? 8 : 0));
    const std::int32_t countTo = std::min(meter.lastLine(), 18 * lastBand - (lastBand < kMp3Subbands ? 8 : 0));
    const std::vector<std::int32_t> starts = meter.segments(kSearchSegments, 0.25);
    std::vector<std::int32_t> allQ(18);
    std::iota(allQ.begin(), allQ.end(), 0);
    std::vector<double> shares(kOffsets, 0.0);
    for (std::int32_t p = 0; p < 32; ++p) {
        throwIfStopRequested(stopRequested);
        if (progress) {
            progress("MP3 grid \u00B7 " + std::to_string(p * 100 / 32 * 3 / 4) + "%");
        }
        std::vector<std::vector<GranuleCount>> counts;
        meter.measure(p, allQ, starts, firstBand, lastBand, countFrom, countTo, counts);
        for (std::int32_t q = 0; q < 18; ++q) {
            shares[static_cast<std::size_t>(p + 32 * q)] = shareOf(counts[static_cast<std::size_t>(q)]);
        }
    }

    // Second pass: every subband for the best eight (lower offset first on ties).
    std::vector<std::int32_t> order(kOffsets);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::int32_t a, std::int32_t b) {
        return shares[static_cast<std::size_t>(a)] > shares[static_cast<std::size_t>(b)];
    });
    std::int32_t best = order[0];
    double bestShare = -1.0;
    for (std::int32_t i = 0; i < kFinalists; ++i) {
        throwIfStopRequested(stopRequested);
        const std::int32_t o = order[static_cast<std::size_t>(i)];
        std::vector<std::vector<GranuleCount>> counts;
        meter.measure(o % 32, {o / 32}, starts, 0, meter.lastBand(), 4, meter.lastLine(), counts);
        const double share = shareOf(counts[0]);
        if (share > bestShare || (share == bestShare && o < best)) {
            bestShare = share;
            best = o;
        }
    }
    if (progress) {
        progress("MP3 grid \u00B7 80%");
    }
    throwIfStopRequested(stopRequested);
    return verifyAround(meter, best);
}

} // namespace orvel
