// SPDX-License-Identifier: MIT
#include "analysis/opus_grid.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <optional>
#include <stdexcept>
#include <string>

namespace orvel {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr std::int32_t kHop = 960;
constexpr std::int32_t kOverlap = 120;
// The decoder's de-emphasis coefficient as its fixed-point value (27853 / 32768).
constexpr double kEmphasis = 0.8500061035;
// 44.1 kHz -> 48 kHz is 160 / 147: segment starts (multiples of 960) fall on
// whole input samples.
constexpr std::int64_t kIn = 147;
constexpr std::int64_t kOut = 160;
// Input samples of context on each side of a segment for the resampler's filter.
constexpr std::int64_t kMargin = 4 * kIn;

// One resampler for all segments of a file: its filter is designed once, and
// cleared between segments.
class Resampler {
public:
    explicit Resampler(std::size_t channels) : m_channels(channels)
    {
        // The high quality setting runs single precision: its error (about
        // -140 dB) is far under the stored word's rounding noise the search
        // measures against, and x86-64 always takes the same SSE code for it,
        // where the double-precision settings pick AVX code by the processor.
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
        const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
        soxr_error_t error = nullptr;
        m_soxr = soxr_create(44100.0, 48000.0, static_cast<unsigned>(channels), &error, &io, &quality, &runtime);
        if (error != nullptr) {
            throw std::runtime_error(std::string("resampler: ") + error);
        }
    }
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;
    ~Resampler() { soxr_delete(m_soxr); }

    // Resamples input[first .. first + count) (zeros outside the file) into
    // `out`, interleaved: output sample j is at input time first + j * 147 / 160.
    void chunk(std::span<const double> left, std::span<const double> right, std::int64_t first, std::int64_t count,
               std::vector<double>& out)
    {
        m_in.assign(static_cast<std::size_t>(count) * m_channels, 0.0);
        const auto length = static_cast<std::int64_t>(left.size());
        for (std::int64_t i = std::max<std::int64_t>(first, 0); i < std::min(first + count, length); ++i) {
            const auto at = static_cast<std::size_t>(i - first) * m_channels;
            m_in[at] = left[static_cast<std::size_t>(i)];
            if (m_channels == 2) {
                m_in[at + 1] = right[static_cast<std::size_t>(i)];
            }
        }
        const auto produced = static_cast<std::size_t>(count * kOut / kIn);
        out.assign(produced * m_channels, 0.0);
        std::size_t used = 0;
        std::size_t done = 0;
        soxr_error_t error = soxr_process(m_soxr, m_in.data(), static_cast<std::size_t>(count), &used, out.data(),
                                          produced, &done);
        // The end of the input, then what the filter still holds.
        while (error == nullptr && done < produced) {
            std::size_t more = 0;
            error = soxr_process(m_soxr, nullptr, 0, nullptr, out.data() + done * m_channels, produced - done, &more);
            if (more == 0) {
                break;
            }
            done += more;
        }
        soxr_clear(m_soxr);
        if (error != nullptr || done < produced) {
            throw std::runtime_error(std::string("resampler: ") + (error != nullptr ? error : "short output"));
        }
    }

private:
    std::size_t m_channels;
    soxr_t m_soxr = nullptr;
    std::vector<double> m_in;
};

} // namespace

std::vector<double> celtWindow()
{
    std::vector<double> w(2 * kHop, 0.0);
    const std::int32_t rise = (kHop - kOverlap) / 2; // 420 zeros first
    for (std::int32_t i = 0; i < kOverlap; ++i) {
        const double s = std::sin(kPi / 2.0 * (i + 0.5) / kOverlap);
        const double r = std::sin(kPi / 2.0 * s * s);
        w[static_cast<std::size_t>(rise + i)] = r;
        w[static_cast<std::size_t>(2 * kHop - 1 - rise - i)] = r;
    }
    for (std::int32_t i = rise + kOverlap; i < 2 * kHop - rise - kOverlap; ++i) {
        w[static_cast<std::size_t>(i)] = 1.0;
    }
    return w;
}

CodecGridShape celtShape()
{
    CodecGridShape shape{celtWindow(), kHop, kHop, 8, kHop, {}};
    // Undoing the de-emphasis raises the stored word's rounding noise by
    // |1 - 0.85 e^(-i w)| at each bin's centre frequency.
    shape.binWeight.resize(kHop);
    for (std::int32_t k = 0; k < kHop; ++k) {
        const double w = kPi * (k + 0.5) / kHop;
        shape.binWeight[static_cast<std::size_t>(k)] = std::abs(1.0 - kEmphasis * std::polar(1.0, -w));
    }
    shape.localControls = true;
    // Every offset of the loudest search segment, mid channel only: what the
    // time a search may take allows (both channels or more segments find more
    // of the dithered decodes at twice the cost).
    shape.firstPassSegments = 1;
    // Against its neighbours a genuine file's best offset stays under z 2.5
    // (its excess reached 0.007 where the neighbours spread widely, so z
    // decides); a decode whose first pass missed the grid, under z 4.
    shape.minExcess = 0.006;
    shape.minZ = 6.0;
    return shape;
}

CeltSamples celtSamples(const CodecGridShape& shape, std::span<const double> left, std::span<const double> right,
                        std::int32_t rate)
{
    CeltSamples s;
    if (rate != 48000 && rate != 44100) {
        return s;
    }
    const bool resample = rate == 44100;
    const auto length = static_cast<std::int64_t>(left.size());
    s.length = resample ? length * kOut / kIn : length;
    const std::int64_t span = codecGridSegmentSpan(shape);
    const std::vector<std::int64_t> starts = codecGridSegments(shape, s.length);
    const std::size_t channels = right.empty() ? 1 : 2;
    s.left.resize(starts.size() * static_cast<std::size_t>(span));
    if (channels == 2) {
        s.right.resize(s.left.size());
    }
    std::vector<double> in;
    std::vector<double> out;
    std::optional<Resampler> resampler;
    if (resample && !starts.empty()) {
        resampler.emplace(channels);
    }
    for (std::size_t segment = 0; segment < starts.size(); ++segment) {
        const std::int64_t start = starts[segment];
        const std::size_t packed = segment * static_cast<std::size_t>(span);
        // Interleaved samples from one before the segment (the de-emphasis' x[n - 1]) to its end.
        const double* from = nullptr;
        if (resample) {
            // Output sample j of the chunk is 48 kHz sample (inFirst * 160 / 147) + j.
            const std::int64_t inFirst = start / kOut * kIn - kMargin;
            const std::int64_t inCount = (span / kOut + 1) * kIn + 2 * kMargin;
            resampler->chunk(left, right, inFirst, inCount, out);
            from = out.data() + static_cast<std::size_t>(start - 1 - inFirst * kOut / kIn) * channels;
        } else {
            in.resize(static_cast<std::size_t>(span + 1) * channels);
            for (std::int64_t i = 0; i <= span; ++i) {
                const std::int64_t at = start - 1 + i;
                for (std::size_t c = 0; c < channels; ++c) {
                    in[static_cast<std::size_t>(i) * channels + c] =
                        at >= 0 ? (c == 0 ? left : right)[static_cast<std::size_t>(at)] : 0.0;
                }
            }
            from = in.data();
        }
        for (std::size_t c = 0; c < channels; ++c) {
            double* into = (c == 0 ? s.left : s.right).data() + packed;
            double previous = from[c];
            for (std::int64_t i = 0; i < span; ++i) {
                const double x = from[static_cast<std::size_t>(i + 1) * channels + c];
                into[i] = x - kEmphasis * previous;
                previous = x;
            }
        }
    }
    // The level the quiet segments are judged against: that of the samples as
    // searched (the undone de-emphasis lowers the bass), over all ten segments.
    double energy = 0.0;
    for (std::size_t i = 0; i < s.left.size(); ++i) {
        const double l = s.left[i];
        const double r = channels == 2 ? s.right[i] : l;
        energy += l * l + r * r;
    }
    s.rms = s.left.empty() ? 0.0 : std::sqrt(energy / (2.0 * static_cast<double>(s.left.size())));
    s.made = true;
    return s;
}

} // namespace orvel
