// SPDX-License-Identifier: MIT
#include "analysis/averaged_spectrum.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "analysis/fft.h"
#include "decode/cancellation.h"

namespace orvel {

namespace {

constexpr double kTwoPi = 6.283185307179586;

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

std::vector<double> averagedPowerSpectrum(std::span<const double> samples, const std::atomic<bool>& stopRequested)
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
            // Symmetric Hann (divisor 4095): both ends are exactly zero.
            const double window = 0.5 - 0.5 * std::cos(static_cast<double>(i) * kTwoPi / 4095.0);
            buffer[i] = {samples[start + i] * window, 0.0};
        }
        fft(buffer, false);
        for (std::size_t j = 0; j < kSpectrumBins; ++j) {
            const double re = buffer[j].real();
            const double im = buffer[j].imag();
            result[j] = result[j] + (re * re + im * im) / divisor;
        }
    }
    return result;
}

} // namespace orvel
