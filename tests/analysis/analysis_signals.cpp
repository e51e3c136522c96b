// SPDX-License-Identifier: MIT
#include "tests/analysis/analysis_signals.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace orvel::test {

namespace {

constexpr std::size_t kHop = 1024;
constexpr std::size_t kBlock = 2048;

double uniform01(std::mt19937_64& engine)
{
    return (static_cast<double>(engine() >> 11) + 0.5) * 0x1.0p-53;
}

// cos(2 pi / 2048 (n + 512.5)(k + 0.5)) for n < 2048, k < 1024, made once.
const std::vector<double>& basisTable()
{
    static const std::vector<double> table = [] {
        std::vector<double> t(kBlock * kHop);
        for (std::size_t n = 0; n < kBlock; ++n) {
            for (std::size_t k = 0; k < kHop; ++k) {
                const double phase = 2.0 * std::numbers::pi / kBlock * (static_cast<double>(n) + 512.5) *
                                     (static_cast<double>(k) + 0.5);
                t[n * kHop + k] = std::cos(phase);
            }
        }
        return t;
    }();
    return table;
}

double sineWindow(std::size_t n)
{
    return std::sin((static_cast<double>(n) + 0.5) * std::numbers::pi / kBlock);
}

} // namespace

DecodedAudio integerAudio(const std::vector<std::vector<std::int64_t>>& channels, std::int32_t sampleRate,
                          std::uint32_t bits)
{
    DecodedAudio audio;
    audio.sampleRate = sampleRate;
    audio.bitsPerSample = bits;
    audio.codec = "FLAC";
    const double scale = std::ldexp(1.0, 1 - static_cast<int>(bits));
    for (const auto& values : channels) {
        ChannelSamples samples;
        samples.reserve(values.size());
        for (const std::int64_t v : values) {
            samples.push_back(static_cast<double>(v) * scale);
        }
        audio.channels.push_back(std::move(samples));
    }
    audio.durationSeconds = channels.empty() ? 0.0 : static_cast<double>(channels[0].size()) / sampleRate;
    return audio;
}

DecodedAudio losslessAudio(std::vector<std::vector<double>> channels, std::int32_t sampleRate, std::uint32_t bits)
{
    DecodedAudio audio;
    audio.sampleRate = sampleRate;
    audio.bitsPerSample = bits;
    audio.codec = "FLAC";
    for (const std::vector<double>& channel : channels) {
        audio.channels.emplace_back(channel.begin(), channel.end());
    }
    audio.durationSeconds = audio.channels.empty() ? 0.0 : static_cast<double>(audio.channels[0].size()) / sampleRate;
    return audio;
}

std::vector<double> whiteNoise(std::size_t length, std::uint64_t seed, double amplitude)
{
    std::mt19937_64 engine(seed);
    std::vector<double> samples(length);
    for (double& x : samples) {
        x = amplitude * (2.0 * uniform01(engine) - 1.0);
    }
    return samples;
}

std::vector<double> quantised(std::vector<double> samples, std::uint32_t bits)
{
    const double scale = std::ldexp(1.0, static_cast<int>(bits) - 1);
    for (double& x : samples) {
        x = std::clamp(std::round(x * scale), -scale, scale - 1.0) / scale;
    }
    return samples;
}

std::vector<double> sineGridSynthesis(std::size_t length, std::int32_t offset, double zeroShare, std::int32_t bandEnd,
                                      double level, std::uint64_t seed)
{
    const std::vector<double>& basis = basisTable();
    std::mt19937_64 engine(seed);
    std::vector<double> out(length, 0.0);
    std::vector<double> coefficients(kHop);
    const double step = -2.0 * std::log(1.0 - zeroShare); // Laplace dead zone: P(|x| < step / 2) = zeroShare
    const long long first = static_cast<long long>(offset % 1024) - 2 * static_cast<long long>(kHop);
    for (long long start = first; start < static_cast<long long>(length); start += kHop) {
        for (std::size_t k = 0; k < kHop; ++k) {
            const double u = uniform01(engine) - 0.5;
            const double laplace = u < 0 ? std::log(1.0 + 2.0 * u) : -std::log(1.0 - 2.0 * u);
            coefficients[k] = k < static_cast<std::size_t>(bandEnd) ? step * std::round(laplace / step) : 0.0;
        }
        for (std::size_t n = 0; n < kBlock; ++n) {
            const long long at = start + static_cast<long long>(n);
            if (at < 0 || at >= static_cast<long long>(length)) {
                continue;
            }
            double sum = 0.0;
            const double* row = &basis[n * kHop];
            for (std::size_t k = 0; k < static_cast<std::size_t>(bandEnd); ++k) {
                sum += coefficients[k] * row[k];
            }
            out[static_cast<std::size_t>(at)] += sineWindow(n) * sum;
        }
    }
    double energy = 0.0;
    for (const double x : out) {
        energy += x * x;
    }
    const double gain = level / std::sqrt(energy / static_cast<double>(length));
    for (double& x : out) {
        x *= gain;
    }
    return out;
}

std::vector<double> directMdct(std::span<const double> samples, std::size_t start)
{
    const std::vector<double>& basis = basisTable();
    std::vector<double> coefficients(kHop, 0.0);
    for (std::size_t n = 0; n < kBlock; ++n) {
        const double x = sineWindow(n) * samples[start + n];
        for (std::size_t k = 0; k < kHop; ++k) {
            coefficients[k] += x * basis[n * kHop + k];
        }
    }
    for (double& c : coefficients) {
        c /= 32.0;
    }
    return coefficients;
}

std::int32_t strongBins(std::span<const double> powerSpectrum)
{
    const double peak = *std::max_element(powerSpectrum.begin(), powerSpectrum.end());
    return static_cast<std::int32_t>(
        std::count_if(powerSpectrum.begin(), powerSpectrum.end(), [peak](double p) { return peak > 1e-20 && p > peak * 0.0001; }));
}

} // namespace orvel::test
