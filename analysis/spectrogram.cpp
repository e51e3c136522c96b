// SPDX-License-Identifier: MIT
#include "analysis/spectrogram.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <bit>
#include <span>
#include <stdexcept>
#include <string>

#include "analysis/analysis_options.h"
#include "analysis/fft.h"
#include "analysis/fft_kernels.h"
#include "analysis/fft_plan.h"
#include "platform/side_by_side.h"
#include "decode/cancellation.h"

namespace orvel {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr std::size_t kMaxColumns = 20000;

// Symmetric Hann, as the averaged spectrum uses: both ends exactly zero.
std::vector<double> hannWindow(std::size_t n)
{
    std::vector<double> window(n);
    const double divisor = static_cast<double>(n - 1);
    for (std::size_t i = 0; i < n; ++i) {
        window[i] = 0.5 - 0.5 * std::cos(static_cast<double>(i) * kTwoPi / divisor);
    }
    return window;
}

// 10 log10(power) without the library logarithm, which would take about as
// long as the transform itself: the exponent from the bits, log2 of the
// mantissa m in [1, 2) from the series of atanh((m - 1) / (m + 1)) (five
// terms, error below 1e-4 dB). The levels only colour pixels.
double decibels(double power)
{
    auto bits = std::bit_cast<std::uint64_t>(power);
    // The biased exponent as a double without an integer conversion (which
    // SSE2 cannot do on packed values): placed in the mantissa of 2^52.
    const double exponent =
        std::bit_cast<double>(((bits >> 52) & 0x7FF) | 0x4330000000000000ull) - (4503599627370496.0 + 1023.0);
    bits = (bits & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull;
    const auto mantissa = std::bit_cast<double>(bits);
    const double t = (mantissa - 1.0) / (mantissa + 1.0);
    const double t2 = t * t;
    const double series = t * (2.0 + t2 * (2.0 / 3.0 + t2 * (2.0 / 5.0 + t2 * (2.0 / 7.0 + t2 * (2.0 / 9.0)))));
    constexpr double kDbPerLn = 4.342944819032518;  // 10 / ln 10
    constexpr double kDbPerOctave = 3.010299956639812; // 10 log10 2
    return exponent * kDbPerOctave + series * kDbPerLn;
}

void validate(const DecodedAudio& audio, const SpectrogramOptions& options)
{
    const std::size_t n = options.frameLength;
    if (n != 2048 && n != 4096 && n != 8192) {
        throw std::invalid_argument("The spectrogram frame must be 2048, 4096 or 8192 samples.");
    }
    if (options.columns < 1 || options.columns > kMaxColumns) {
        throw std::invalid_argument("The spectrogram needs 1 to 20000 columns.");
    }
    if (!(options.rangeDb >= 20.0 && options.rangeDb <= 200.0)) {
        throw std::invalid_argument("The spectrogram range must be 20 to 200 dB.");
    }
    if (audio.channels.empty() || audio.channels.front().empty() || audio.sampleRate <= 0) {
        throw std::invalid_argument("The audio stream contains no samples.");
    }
    if (options.channel != SpectrogramOptions::kCombinedChannels &&
        (options.channel < 0 || static_cast<std::size_t>(options.channel) >= audio.channels.size())) {
        throw std::invalid_argument("The file has no channel " + std::to_string(options.channel + 1) + ".");
    }
}

// Computes columns from one or two channels with one complex transform per
// pair of real frames: frame a in the real part, frame b in the imaginary part,
// separated afterwards by the symmetry of real transforms.
class ColumnMaker {
public:
    ColumnMaker(const DecodedAudio& audio, const SpectrogramOptions& options, Spectrogram& out)
        : m_options(options)
        , m_out(out)
        , m_window(hannWindow(options.frameLength))
        , m_plan(FftPlan::get(options.frameLength, false))
        , m_kernels(fftKernels(bestSimdLevel()))
        , m_reversedWindow(options.frameLength)
    {
        const std::uint32_t* rev = m_plan.bitReversal();
        for (std::size_t r = 0; r < m_window.size(); ++r) {
            m_reversedWindow[r] = m_window[rev[r]];
        }
        double windowSum = 0.0;
        for (const double w : m_window) {
            windowSum += w;
        }
        // A sine of amplitude A at a bin centre gives |X| = A x sum(w) / 2.
        m_offsetDb = 20.0 * std::log10(2.0 / windowSum);
        m_floorDb = -options.rangeDb;
        if (options.channel == SpectrogramOptions::kCombinedChannels) {
            m_first = audio.channels[0];
            if (audio.channels.size() >= 2) {
                m_second = audio.channels[1];
            }
        } else {
            m_first = audio.channels[static_cast<std::size_t>(options.channel)];
        }
    }

    // Units of work: a column when two channels are combined, else a pair of columns.
    [[nodiscard]] std::size_t jobCount() const
    {
        return m_second.empty() ? (m_options.columns + 1) / 2 : m_options.columns;
    }

    void run(std::size_t firstJob, std::size_t endJob, const std::atomic<bool>& stopRequested) const
    {
        const std::size_t n = m_options.frameLength;
        std::vector<std::complex<double>> z(n);
        std::vector<double> a(n);
        std::vector<double> b(n);
        std::vector<double> power(n / 2 + 1);
        const bool pairOfChannels = !m_second.empty();
        for (std::size_t job = firstJob; job < endJob; ++job) {
            throwIfStopRequested(stopRequested);
            const std::size_t columnA = pairOfChannels ? job : 2 * job;
            const std::size_t columnB = pairOfChannels ? job : 2 * job + 1;
            const bool hasB = pairOfChannels || columnB < m_options.columns;
            const double* frameA = frame(m_first, columnA, a);
            const double* frameB = hasB ? frame(pairOfChannels ? m_second : m_first, columnB, b) : nullptr;
            transform(frameA, frameB, z);
            if (pairOfChannels) {
                store(z, columnA, Part::Louder, power);
            } else {
                store(z, columnA, Part::Real, power);
                if (hasB) {
                    store(z, columnB, Part::Imaginary, power);
                }
            }
        }
    }

private:
    enum class Part { Real, Imaginary, Louder };

    // The samples of column `column`: the frame centred on the column's
    // middle, moved inside the region where it would reach past an end. Only a
    // region shorter than a frame is copied, zero-padded, into spare.
    const double* frame(std::span<const double> samples, std::size_t column, std::vector<double>& spare) const
    {
        const std::uint64_t n = m_options.frameLength;
        const std::uint64_t length = samples.size();
        if (length < n) {
            std::fill(spare.begin(), spare.end(), 0.0);
            std::copy(samples.begin(), samples.end(), spare.begin());
            return spare.data();
        }
        const std::uint64_t centre = ((2 * column + 1) * length) / (2 * m_options.columns);
        const std::uint64_t start = std::min(centre > n / 2 ? centre - n / 2 : 0, length - n);
        return samples.data() + start;
    }

    // z <- FFT(w x a + i w x b), b absent read as zeros: the production
    // transform's butterflies after windowing straight into bit-reversed
    // order (no permutation pass), or the reference transform when the
    // process asks for it.
    void transform(const double* a, const double* b, std::vector<std::complex<double>>& z) const
    {
        const std::size_t n = z.size();
        if (m_options.analysis.transforms == Transforms::Reference) {
            for (std::size_t i = 0; i < n; ++i) {
                z[i] = {a[i] * m_window[i], b != nullptr ? b[i] * m_window[i] : 0.0};
            }
            fftReference(z.data(), n, false);
            return;
        }
        const std::uint32_t* rev = m_plan.bitReversal();
        const double* window = m_reversedWindow.data();
        if (b != nullptr) {
            for (std::size_t r = 0; r < n; ++r) {
                z[r] = {a[rev[r]] * window[r], b[rev[r]] * window[r]};
            }
        } else {
            for (std::size_t r = 0; r < n; ++r) {
                z[r] = {a[rev[r]] * window[r], 0.0};
            }
        }
        m_kernels.butterflies(z.data(), m_plan, 2, n);
    }

    // Levels of the transform of the real input (A), of the imaginary input
    // (B), or the louder of the two per bin, from the symmetry of real transforms:
    // 2 A[k] = Z[k] + conj Z[n-k], 2i B[k] = Z[k] - conj Z[n-k].
    void store(const std::vector<std::complex<double>>& z, std::size_t column, Part part,
               std::vector<double>& power) const
    {
        switch (part) {
        case Part::Real:
            fourTimesPower<Part::Real>(z, power);
            break;
        case Part::Imaginary:
            fourTimesPower<Part::Imaginary>(z, power);
            break;
        case Part::Louder:
            fourTimesPower<Part::Louder>(z, power);
            break;
        }
        // The logarithms in a pass of their own without comparisons, which the
        // compiler vectorises (it will not if-convert floating-point compares).
        // 10 log10(4) takes the factor 4 back out.
        const double offset = m_offsetDb - 6.020599913279624;
        const std::size_t bins = power.size();
        for (std::size_t k = 0; k < bins; ++k) {
            power[k] = decibels(power[k]) + offset;
        }
        float* out = m_out.levelsDb.data() + column * m_out.bins;
        for (std::size_t k = 0; k < bins; ++k) {
            out[k] = static_cast<float>(std::max(power[k], m_floorDb));
        }
    }

    // |2 A[k]|^2, |2 B[k]|^2 or the larger, at least 1e-30: far under any
    // range, and no subnormal ever reaches decibels().
    template <Part part>
    static void fourTimesPower(const std::vector<std::complex<double>>& z, std::vector<double>& power)
    {
        const std::size_t n = z.size();
        // Arrays of std::complex may be read as interleaved real and imaginary parts.
        const double* values = reinterpret_cast<const double*>(z.data());
        for (std::size_t k = 0; k <= n / 2; ++k) {
            const std::size_t mirror = (n - k) & (n - 1);
            const double xRe = values[2 * k];
            const double xIm = values[2 * k + 1];
            const double yRe = values[2 * mirror];
            const double yIm = values[2 * mirror + 1];
            double chosen = 0.0;
            if constexpr (part == Part::Real) {
                chosen = (xRe + yRe) * (xRe + yRe) + (xIm - yIm) * (xIm - yIm);
            } else if constexpr (part == Part::Imaginary) {
                chosen = (xIm + yIm) * (xIm + yIm) + (xRe - yRe) * (xRe - yRe);
            } else {
                chosen = std::max((xRe + yRe) * (xRe + yRe) + (xIm - yIm) * (xIm - yIm),
                                  (xIm + yIm) * (xIm + yIm) + (xRe - yRe) * (xRe - yRe));
            }
            power[k] = std::max(chosen, 1e-30);
        }
    }

    const SpectrogramOptions& m_options;
    Spectrogram& m_out;
    std::vector<double> m_window;
    const FftPlan& m_plan;
    const FftKernels& m_kernels;
    std::vector<double> m_reversedWindow; // m_window in bit-reversed order
    std::span<const double> m_first;
    std::span<const double> m_second;
    double m_offsetDb = 0.0;
    double m_floorDb = -120.0;
};

} // namespace

Spectrogram computeSpectrogram(const DecodedAudio& audio, SpectrogramOptions options,
                               const std::atomic<bool>& stopRequested)
{
    throwIfStopRequested(stopRequested);
    validate(audio, options);

    Spectrogram result;
    result.columns = options.columns;
    result.frameLength = options.frameLength;
    result.bins = options.frameLength / 2 + 1;
    result.sampleRate = audio.sampleRate;
    result.seconds = static_cast<double>(audio.channels.front().size()) / static_cast<double>(audio.sampleRate);
    result.rangeDb = options.rangeDb;
    result.levelsDb.assign(result.columns * result.bins, static_cast<float>(-options.rangeDb));

    // Each job writes only its own columns, so the halves can run side by side.
    const ColumnMaker maker(audio, options, result);
    const std::size_t jobs = maker.jobCount();
    const std::size_t half = jobs / 2;
    runSideBySide(
        options.analysis.threadCount() >= 2 && jobs >= 2, [&] { maker.run(0, half, stopRequested); },
        [&] { maker.run(half, jobs, stopRequested); });
    return result;
}

} // namespace orvel
