// SPDX-License-Identifier: MIT
#include "analysis/averaged_spectrum.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "analysis/analysis_options.h"
#include "analysis/fft.h"
#include "analysis/fft_kernels.h"
#include "analysis/fft_plan.h"
#include "decode/cancellation.h"

namespace orvel {

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Symmetric Hann (divisor 4095): both ends are exactly zero.
double hann(std::size_t i)
{
    return 0.5 - 0.5 * std::cos(static_cast<double>(i) * kTwoPi / 4095.0);
}

// The window in bit-reversed order: value r is hann(rev r), so windowing and
// the FFT's bit reversal are one pass. The same cosine calls as the reference
// makes per frame, made once.
const std::vector<double>& reversedHann()
{
    static const std::vector<double> window = [] {
        const std::uint32_t* rev = FftPlan::get(kSpectrumFrameLength, false).bitReversal();
        std::vector<double> values(kSpectrumFrameLength);
        for (std::size_t r = 0; r < kSpectrumFrameLength; ++r) {
            values[r] = hann(rev[r]);
        }
        return values;
    }();
    return window;
}

// The straightforward estimate: the window computed per sample, the reference FFT.
std::vector<double> averagedPowerSpectrumReference(std::span<const double> samples,
                                                   const std::atomic<bool>& stopRequested)
{
    std::vector<double> result(kSpectrumBins, 0.0);
    const std::uint64_t sampleCount = samples.size();
    const std::uint64_t frames = spectrumFrameCount(sampleCount);
    if (frames == 0) {
        return result;
    }

    const double divisor = static_cast<double>(frames);
    std::vector<std::complex<double>> buffer(kSpectrumFrameLength);
    for (std::uint64_t k = 0; k < frames; ++k) {
        throwIfStopRequested(stopRequested);
        const std::uint64_t start = spectrumFrameStart(sampleCount, frames, k);
        for (std::size_t i = 0; i < kSpectrumFrameLength; ++i) {
            buffer[i] = {samples[start + i] * hann(i), 0.0};
        }
        fftReference(buffer, false);
        for (std::size_t j = 0; j < kSpectrumBins; ++j) {
            const double re = buffer[j].real();
            const double im = buffer[j].imag();
            result[j] = result[j] + (re * re + im * im) / divisor;
        }
    }
    return result;
}

} // namespace

std::uint64_t spectrumFrameCount(std::uint64_t sampleCount)
{
    if (sampleCount < kSpectrumFrameLength) {
        return 0;
    }
    return std::min<std::uint64_t>((sampleCount - kSpectrumFrameLength) / 2048 + 1, kSpectrumMaxFrames);
}

std::uint64_t spectrumFrameStart(std::uint64_t sampleCount, std::uint64_t frameCount, std::uint64_t frame)
{
    if (frameCount <= 1) {
        return 0;
    }
    return ((sampleCount - kSpectrumFrameLength) * frame) / (frameCount - 1);
}

std::vector<double> averagedPowerSpectrum(std::span<const double> samples, const std::atomic<bool>& stopRequested,
                                          Transforms transforms)
{
    if (transforms == Transforms::Reference) {
        return averagedPowerSpectrumReference(samples, stopRequested);
    }
    std::vector<double> result(kSpectrumBins, 0.0);
    const std::uint64_t sampleCount = samples.size();
    const std::uint64_t frames = spectrumFrameCount(sampleCount);
    if (frames == 0) {
        return result;
    }

    const FftPlan& plan = FftPlan::get(kSpectrumFrameLength, false);
    const FftKernels& kernels = fftKernels(bestSimdLevel());
    const std::uint32_t* rev = plan.bitReversal();
    const double* window = reversedHann().data();
    const double divisor = static_cast<double>(frames);
    std::vector<std::complex<double>> buffer(kSpectrumFrameLength);
    for (std::uint64_t k = 0; k < frames; ++k) {
        throwIfStopRequested(stopRequested);
        const double* frame = samples.data() + spectrumFrameStart(sampleCount, frames, k);
        for (std::size_t r = 0; r < kSpectrumFrameLength; ++r) {
            buffer[r] = {frame[rev[r]] * window[r], 0.0};
        }
        kernels.butterflies(buffer.data(), plan, 2, kSpectrumFrameLength);
        for (std::size_t j = 0; j < kSpectrumBins; ++j) {
            const double re = buffer[j].real();
            const double im = buffer[j].imag();
            result[j] = result[j] + (re * re + im * im) / divisor;
        }
    }
    return result;
}

} // namespace orvel
