// SPDX-License-Identifier: MIT
#include "analysis/codec_grid.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "analysis/avx2_clones.h"
#include "analysis/grid_mdct.h"
#include "decode/cancellation.h"

namespace orvel {

namespace {

constexpr std::int32_t kSlots = 10; // even slots search, odd ones verify
constexpr std::int32_t kControls = 7;
// The first pass: one frame at every offset on the loudest search segments;
// the full score only at its best few residues, more of them when the pass
// was made with another window.
constexpr std::size_t kCandidates = 4;
constexpr std::size_t kSharedCandidates = 8;
constexpr std::size_t kFirstPassSegments = 3;
// A best candidate that does not lead the others by the excess a grid needs
// is not verified: no grid of the codecs leads by less than 0.04.
constexpr double kScreenLead = 0.012;
constexpr double kQuietSegment = 0.03;
// Local controls: the best offset's neighbours at +-1 .. +-4.
constexpr std::int32_t kNeighbours = 4;

// The near-zero count and the mid channel, compiled once more for AVX2: they
// are most of a score's work outside the transform.
KESTRONE_AVX2_CLONES std::int32_t countUnder(const double* limit, const double* values, std::size_t first,
                                             std::size_t last)
{
    std::int32_t small = 0;
    for (std::size_t k = first; k < last; ++k) {
        small += limit[k] > std::fabs(values[k]) ? 1 : 0;
    }
    return small;
}

KESTRONE_AVX2_CLONES void midOf(const double* l, const double* r, double* mid, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i) {
        mid[i] = 0.5 * (l[i] + r[i]);
    }
}

// The standard deviation of values about their mean (divided by their count).
double populationSpread(const std::vector<double>& values)
{
    double mean = 0.0;
    for (const double v : values) {
        mean += v;
    }
    mean /= static_cast<double>(values.size());
    double variance = 0.0;
    for (const double v : values) {
        variance += (v - mean) * (v - mean);
    }
    return std::sqrt(variance / static_cast<double>(values.size()));
}

// Scores frames of both channels: the larger near-zero share of (L, R) and of
// (M, S) = (L +- R) / 2 against half the threshold's power, as joint stereo
// codes either pair.
class FrameScorer {
public:
    FrameScorer(const CodecGridShape& shape, const CodecGridInput& input)
        : m_shape(shape), m_input(input), m_mdct(shape.window), m_left(static_cast<std::size_t>(m_mdct.hop())),
          m_right(static_cast<std::size_t>(m_mdct.hop()))
    {
        const double flat = codecGridThreshold(shape.window, input.lsb);
        m_flat = flat;
        m_limit.resize(static_cast<std::size_t>(m_mdct.hop()), flat);
        for (std::size_t k = 0; k < shape.binWeight.size() && k < m_limit.size(); ++k) {
            m_limit[k] = flat * shape.binWeight[k];
        }
        m_midLimit = m_limit;
        for (double& t : m_midLimit) {
            t /= std::sqrt(2.0);
        }
    }

    [[nodiscard]] std::int32_t hop() const { return m_mdct.hop(); }
    [[nodiscard]] double threshold() const { return m_flat; }

    // Near-zero share of one frame starting at `start`.
    double frame(std::int64_t start)
    {
        const auto first = static_cast<std::size_t>(m_shape.firstBin);
        const auto last = static_cast<std::size_t>(m_shape.lastBin);
        const double bins = static_cast<double>(last - first);
        m_mdct.forward(m_input.left.data() + start, m_left.data());
        std::int32_t small = countUnder(m_limit.data(), m_left.data(), first, last);
        if (m_input.right.empty()) {
            return small / bins;
        }
        m_mdct.forward(m_input.right.data() + start, m_right.data());
        std::int32_t smallMs = 0;
        for (std::size_t k = first; k < last; ++k) {
            const double l = m_left[k];
            const double r = m_right[k];
            small += m_limit[k] > std::fabs(r) ? 1 : 0;
            smallMs += m_midLimit[k] > std::fabs(0.5 * (l + r)) ? 1 : 0;
            smallMs += m_midLimit[k] > std::fabs(0.5 * (l - r)) ? 1 : 0;
        }
        return std::max(small, smallMs) / (2.0 * bins);
    }

    // The first pass's cheaper score of one frame: the near-zero share of the
    // mid channel (L + R) / 2 alone, one transform instead of two.
    double midFrame(std::int64_t start)
    {
        if (m_input.right.empty()) {
            return frame(start);
        }
        const auto first = static_cast<std::size_t>(m_shape.firstBin);
        const auto last = static_cast<std::size_t>(m_shape.lastBin);
        const std::size_t length = m_shape.window.size();
        const double* l = m_input.left.data() + start;
        const double* r = m_input.right.data() + start;
        midOf(l, r, m_mid.data(), length);
        m_mdct.forward(m_mid.data(), m_left.data());
        const std::int32_t small = countUnder(m_midLimit.data(), m_left.data(), first, last);
        return small / static_cast<double>(last - first);
    }

    // Two consecutive frames.
    double pair(std::int64_t start) { return 0.5 * (frame(start) + frame(start + hop())); }

private:
    const CodecGridShape& m_shape;
    const CodecGridInput& m_input;
    GridMdct m_mdct;
    std::vector<double> m_left;
    std::vector<double> m_right;
    std::vector<double> m_limit;
    std::vector<double> m_midLimit;
    double m_flat = 0.0;
    std::vector<double> m_mid = std::vector<double>(m_shape.window.size());
};

// Segment starts on multiples of the period, spread over the samples; the
// ones whose level is under 0.03 of the file's are left out. `levels` gets
// the rms of each.
std::int64_t segmentSpan(const CodecGridShape& shape)
{
    return shape.period + 3 * static_cast<std::int64_t>(shape.window.size() / 2);
}

std::int64_t slotStart(const CodecGridShape& shape, std::int64_t length, std::int32_t slot)
{
    const auto position =
        static_cast<std::int64_t>(static_cast<double>(length - segmentSpan(shape)) * (slot + 0.5) / kSlots);
    return position / shape.period * shape.period;
}

bool longEnough(const CodecGridShape& shape, std::int64_t length)
{
    return length >= segmentSpan(shape) + kSlots * std::int64_t{shape.period};
}

std::vector<std::int64_t> segmentStarts(const CodecGridShape& shape, const CodecGridInput& input, bool verification,
                                        std::vector<double>* levels = nullptr)
{
    const bool packed = input.packedLength > 0;
    const auto length = packed ? input.packedLength : static_cast<std::int64_t>(input.left.size());
    const std::int64_t span = segmentSpan(shape);
    std::vector<std::int64_t> starts;
    if (!longEnough(shape, length)) {
        return starts;
    }
    for (std::int32_t slot = verification ? 1 : 0; slot < kSlots; slot += 2) {
        const std::int64_t start = packed ? slot * span : slotStart(shape, length, slot);
        double energy = 0.0;
        for (std::int64_t i = start; i < start + span; ++i) {
            const double l = input.left[static_cast<std::size_t>(i)];
            const double r = input.right.empty() ? l : input.right[static_cast<std::size_t>(i)];
            energy += l * l + r * r;
        }
        const double rms = std::sqrt(energy / (2.0 * static_cast<double>(span)));
        if (rms >= kQuietSegment * input.rms) {
            if (levels != nullptr) {
                levels->push_back(rms);
            }
            starts.push_back(start);
        }
    }
    return starts;
}

// Mean over the segments of the best pair score among offset + fold j.
double foldedScore(FrameScorer& scorer, const CodecGridShape& shape, const std::vector<std::int64_t>& starts,
                   std::int32_t residue)
{
    double sum = 0.0;
    for (const std::int64_t start : starts) {
        double best = 0.0;
        for (std::int32_t o = residue; o < shape.period; o += shape.fold) {
            best = std::max(best, scorer.pair(start + o));
        }
        sum += best;
    }
    return starts.empty() ? 0.0 : sum / static_cast<double>(starts.size());
}

// The residue that stands out most from its eight neighbours (the lower one of equals).
std::int32_t sharpestResidue(const std::vector<double>& coarse)
{
    const auto fold = static_cast<std::int32_t>(coarse.size());
    std::int32_t best = 0;
    double bestPeak = 0.0;
    for (std::int32_t r = 0; r < fold; ++r) {
        double around = 0.0;
        for (std::int32_t d = 1; d <= kNeighbours; ++d) {
            around += coarse[static_cast<std::size_t>((r + d) % fold)] +
                      coarse[static_cast<std::size_t>((r - d + fold) % fold)];
        }
        const double peak = coarse[static_cast<std::size_t>(r)] - around / (2.0 * kNeighbours);
        if (r == 0 || peak > bestPeak) {
            bestPeak = peak;
            best = r;
        }
    }
    return best;
}

// The verification segments' score at the offset against its eight neighbours.
CodecGridMeasurement verifyLocally(FrameScorer& scorer, const CodecGridShape& shape,
                                   const std::vector<std::int64_t>& verify, std::int32_t offset,
                                   const std::atomic<bool>& stopRequested)
{
    CodecGridMeasurement m;
    m.threshold = scorer.threshold();
    m.offset = offset;
    m.verified = foldedScore(scorer, shape, verify, offset);
    std::vector<double> controls;
    for (std::int32_t d = 1; d <= kNeighbours; ++d) {
        throwIfStopRequested(stopRequested);
        controls.push_back(foldedScore(scorer, shape, verify, (offset + d) % shape.fold));
        controls.push_back(foldedScore(scorer, shape, verify, (offset - d + shape.fold) % shape.fold));
    }
    m.spread = populationSpread(controls);
    std::sort(controls.begin(), controls.end());
    const std::size_t middle = controls.size() / 2;
    m.baseline = 0.5 * (controls[middle - 1] + controls[middle]);
    m.segments = static_cast<std::int32_t>(verify.size());
    m.measured = true;
    return m;
}

} // namespace

std::vector<std::int64_t> codecGridSegments(const CodecGridShape& shape, std::int64_t length)
{
    std::vector<std::int64_t> starts;
    if (longEnough(shape, length)) {
        for (std::int32_t slot = 0; slot < kSlots; ++slot) {
            starts.push_back(slotStart(shape, length, slot));
        }
    }
    return starts;
}

std::int64_t codecGridSegmentSpan(const CodecGridShape& shape)
{
    return segmentSpan(shape);
}

double codecGridThreshold(std::span<const double> window, double lsb)
{
    double energy = 0.0;
    for (const double w : window) {
        energy += w * w;
    }
    return 2.0 * lsb / std::sqrt(12.0) * std::sqrt(energy / 2.0);
}

double codecGridScore(const CodecGridShape& shape, const CodecGridInput& input, std::int32_t offset)
{
    FrameScorer scorer(shape, input);
    return foldedScore(scorer, shape, segmentStarts(shape, input, true), offset % shape.fold);
}

CodecGridFirstPass codecGridFirstPass(const CodecGridShape& shape, const CodecGridInput& input,
                                      const std::atomic<bool>& stopRequested,
                                      const std::function<void(const std::string&)>& progress,
                                      const std::string& label)
{
    CodecGridFirstPass pass;
    pass.period = shape.period;
    pass.hop = static_cast<std::int32_t>(shape.window.size() / 2);
    pass.window = shape.window;
    std::vector<double> levels;
    std::vector<std::int64_t> starts = segmentStarts(shape, input, false, &levels);
    // The loudest segments, in the order of the samples: there the codec's
    // zeros stand out most against the stored word's rounding noise.
    std::vector<std::size_t> order(starts.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    const std::size_t kept = std::min(shape.firstPassSegments > 0 ? shape.firstPassSegments : kFirstPassSegments,
                                      order.size());
    std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(kept), order.end(),
                      [&levels](std::size_t a, std::size_t b) {
                          return levels[a] != levels[b] ? levels[a] > levels[b] : a < b;
                      });
    order.resize(kept);
    std::sort(order.begin(), order.end());
    FrameScorer scorer(shape, input);
    for (std::size_t i = 0; i < order.size(); ++i) {
        const std::int64_t start = starts[order[i]];
        throwIfStopRequested(stopRequested);
        if (progress) {
            progress(label + " \u00B7 " + std::to_string(i * 100 / order.size()) + "%");
        }
        std::vector<double>& frames = pass.frames.emplace_back(static_cast<std::size_t>(shape.period));
        for (std::int32_t o = 0; o < shape.period; ++o) {
            if (o % 128 == 0) {
                throwIfStopRequested(stopRequested);
            }
            frames[static_cast<std::size_t>(o)] = shape.firstPassStereo ? scorer.frame(start + o)
                                                                        : scorer.midFrame(start + o);
        }
    }
    return pass;
}

CodecGridMeasurement searchCodecGrid(const CodecGridShape& shape, const CodecGridInput& input,
                                     const std::atomic<bool>& stopRequested,
                                     const std::function<void(const std::string&)>& progress, const std::string& label,
                                     const CodecGridFirstPass* shared)
{
    CodecGridMeasurement m;
    m.threshold = codecGridThreshold(shape.window, input.lsb);
    const std::vector<std::int64_t> search = segmentStarts(shape, input, false);
    const std::vector<std::int64_t> verify = segmentStarts(shape, input, true);
    if (search.empty() || verify.empty()) {
        return m;
    }
    FrameScorer scorer(shape, input);
    // First pass: every offset, one frame, on the loudest search segments
    // (each on its own: within one segment a run of short blocks can move the
    // grid), or another window's pass of the same hop, whose grid shows
    // through a neighbouring window too, if less: then more candidates.
    const bool reuse = shared != nullptr && shared->period == shape.period &&
                       shared->hop == static_cast<std::int32_t>(shape.window.size() / 2);
    const CodecGridFirstPass own = reuse ? CodecGridFirstPass{}
                                         : codecGridFirstPass(shape, input, stopRequested, progress, label);
    const CodecGridFirstPass& pass = reuse ? *shared : own;
    std::vector<double> coarse(static_cast<std::size_t>(shape.fold), 0.0);
    for (const std::vector<double>& frames : pass.frames) {
        for (std::int32_t r = 0; r < shape.fold; ++r) {
            double best = 0.0;
            for (std::int32_t o = r; o < shape.period; o += shape.fold) {
                best = std::max(best, frames[static_cast<std::size_t>(o)]);
            }
            coarse[static_cast<std::size_t>(r)] += best;
        }
    }
    if (shape.localControls) {
        return verifyLocally(scorer, shape, verify, sharpestResidue(coarse), stopRequested);
    }
    // The best few residues (the lower one of equals first), scored in full on every search segment.
    std::vector<std::int32_t> residues(static_cast<std::size_t>(shape.fold));
    for (std::int32_t r = 0; r < shape.fold; ++r) {
        residues[static_cast<std::size_t>(r)] = r;
    }
    const bool ownWindow = !reuse || shared->window == shape.window;
    const std::size_t candidates = std::min(ownWindow ? kCandidates : kSharedCandidates, residues.size());
    std::partial_sort(residues.begin(), residues.begin() + static_cast<std::ptrdiff_t>(candidates), residues.end(),
                      [&coarse](std::int32_t a, std::int32_t b) {
                          const double ca = coarse[static_cast<std::size_t>(a)];
                          const double cb = coarse[static_cast<std::size_t>(b)];
                          return ca != cb ? ca > cb : a < b;
                      });
    residues.resize(candidates);
    std::sort(residues.begin(), residues.end());
    double bestScore = -1.0;
    std::vector<double> scores;
    for (const std::int32_t r : residues) {
        throwIfStopRequested(stopRequested);
        const double score = foldedScore(scorer, shape, search, r);
        scores.push_back(score);
        if (score > bestScore) {
            bestScore = score;
            m.offset = r;
        }
    }
    throwIfStopRequested(stopRequested);
    if (scores.size() >= 3) {
        std::vector<double> others = scores;
        std::sort(others.begin(), others.end());
        others.pop_back();
        const double median = others[others.size() / 2];
        if (bestScore - median < kScreenLead) {
            m.verified = bestScore;
            m.baseline = median;
            m.spread = populationSpread(others);
            m.segments = static_cast<std::int32_t>(search.size());
            m.screened = true;
            m.measured = true;
            return m;
        }
    }

    m.verified = foldedScore(scorer, shape, verify, m.offset);
    std::vector<double> controls;
    for (std::int32_t j = 1; j <= kControls; ++j) {
        controls.push_back(foldedScore(scorer, shape, verify, (m.offset + shape.fold * j / 8) % shape.fold));
    }
    m.spread = populationSpread(controls);
    std::sort(controls.begin(), controls.end());
    m.baseline = controls[kControls / 2];
    m.segments = static_cast<std::int32_t>(verify.size());
    m.measured = true;
    return m;
}

bool codecGridFound(const CodecGridMeasurement& m)
{
    return m.measured && !m.screened && m.excess() >= 0.012 && m.z() >= 6.0;
}

bool codecGridFound(const CodecGridMeasurement& m, const CodecGridShape& shape)
{
    return m.measured && !m.screened && m.excess() >= shape.minExcess && m.z() >= shape.minZ;
}

} // namespace orvel
