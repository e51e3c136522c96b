// SPDX-License-Identifier: MIT
#include "analysis/spectrogram.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <span>
#include <stdexcept>
#include <string>

#include "analysis/analysis_settings.h"
#include "analysis/fft.h"
#include "analysis/side_by_side.h"
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
    {
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
        std::vector<double> powerA(n / 2 + 1);
        std::vector<double> powerB(n / 2 + 1);
        for (std::size_t job = firstJob; job < endJob; ++job) {
            throwIfStopRequested(stopRequested);
            if (!m_second.empty()) {
                windowedFrame(m_first, job, a);
                windowedFrame(m_second, job, b);
            } else {
                windowedFrame(m_first, 2 * job, a);
                if (2 * job + 1 < m_options.columns) {
                    windowedFrame(m_first, 2 * job + 1, b);
                } else {
                    std::fill(b.begin(), b.end(), 0.0);
                }
            }
            for (std::size_t i = 0; i < n; ++i) {
                z[i] = {a[i], b[i]};
            }
            fft(z.data(), n, false);
            separatePowers(z, powerA, powerB);
            if (!m_second.empty()) {
                for (std::size_t k = 0; k < powerA.size(); ++k) {
                    powerA[k] = std::max(powerA[k], powerB[k]);
                }
                store(job, powerA);
            } else {
                store(2 * job, powerA);
                if (2 * job + 1 < m_options.columns) {
                    store(2 * job + 1, powerB);
                }
            }
        }
    }

private:
    // The Hann-windowed frame of column `column`: centred on the column's middle,
    // moved inside the region where it would reach past an end, and zero-padded
    // only when the whole region is shorter than a frame.
    void windowedFrame(std::span<const double> samples, std::size_t column, std::vector<double>& out) const
    {
        const std::uint64_t n = m_options.frameLength;
        const std::uint64_t length = samples.size();
        std::uint64_t start = 0;
        if (length > n) {
            const std::uint64_t centre = ((2 * column + 1) * length) / (2 * m_options.columns);
            start = centre > n / 2 ? centre - n / 2 : 0;
            start = std::min(start, length - n);
        }
        for (std::uint64_t i = 0; i < n; ++i) {
            const double value = start + i < length ? samples[start + i] : 0.0;
            out[i] = value * m_window[i];
        }
    }

    // Powers of the transforms of the real and the imaginary input:
    // A[k] = (Z[k] + conj Z[n-k]) / 2, B[k] = (Z[k] - conj Z[n-k]) / 2i.
    static void separatePowers(const std::vector<std::complex<double>>& z, std::vector<double>& powerA,
                               std::vector<double>& powerB)
    {
        const std::size_t n = z.size();
        for (std::size_t k = 0; k <= n / 2; ++k) {
            const std::complex<double> x = z[k];
            const std::complex<double> y = z[(n - k) % n];
            const double aRe = (x.real() + y.real()) * 0.5;
            const double aIm = (x.imag() - y.imag()) * 0.5;
            const double bRe = (x.imag() + y.imag()) * 0.5;
            const double bIm = (x.real() - y.real()) * 0.5;
            powerA[k] = aRe * aRe + aIm * aIm;
            powerB[k] = bRe * bRe + bIm * bIm;
        }
    }

    void store(std::size_t column, const std::vector<double>& power) const
    {
        float* out = m_out.levelsDb.data() + column * m_out.bins;
        for (std::size_t k = 0; k < power.size(); ++k) {
            const double db = power[k] > 0.0 ? 10.0 * std::log10(power[k]) + m_offsetDb : m_floorDb;
            out[k] = static_cast<float>(std::max(db, m_floorDb));
        }
    }

    const SpectrogramOptions& m_options;
    Spectrogram& m_out;
    std::vector<double> m_window;
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
        analysisThreads() >= 2 && jobs >= 2, [&] { maker.run(0, half, stopRequested); },
        [&] { maker.run(half, jobs, stopRequested); });
    return result;
}

} // namespace orvel
