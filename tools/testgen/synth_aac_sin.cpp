// SPDX-License-Identifier: MIT
// synth-aac-sin: audio as a long-block sine-window AAC decoder would output
// it. Each 1024-sample frame of the grid gets broadband MDCT coefficients
// quantised with a dead zone (many exactly zero, as an encoder leaves them at a
// moderate bitrate); the inverse sine-window MDCT with overlap-add (TDAC) turns
// them into samples, which are rounded to the integer width without dither.
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <sndfile.h>

#include "analysis/fft.h"
#include "tools/testgen/testgen.h"

namespace {

constexpr std::size_t kHop = 1024;
constexpr std::size_t kBlock = 2048;
constexpr double kPi = 3.141592653589793;

struct Options {
    std::string path;
    int rate = 44100;
    int bits = 16;
    int channels = 2;
    double seconds = 10.0;
    int offset = 517;
    double zeros = 0.4;      // share of in-band coefficients quantised to zero
    double band = 0.75;      // share of the 1024 bins that carry content
    double level = 0.1;      // output rms
    int silentChannel = 0;   // one-based channel left all zero, 0 for none
    std::uint64_t seed = 1;
};

// Uniform in (0, 1) from the raw engine output: the standard distributions
// are implementation-defined, the engine is not.
double uniform(std::mt19937_64& engine)
{
    return (static_cast<double>(engine() >> 11) + 0.5) * 0x1.0p-53;
}

double laplace(std::mt19937_64& engine)
{
    const double u = uniform(engine) - 0.5;
    return u < 0 ? std::log(1.0 + 2.0 * u) : -std::log(1.0 - 2.0 * u);
}

class InverseSineMdct {
public:
    InverseSineMdct() : m_window(kBlock), m_shift(kHop), m_post(kBlock), m_work(kBlock)
    {
        for (std::size_t n = 0; n < kBlock; ++n) {
            m_window[n] = std::sin((static_cast<double>(n) + 0.5) * kPi / kBlock);
            m_post[n] = std::polar(1.0, kPi * (static_cast<double>(n) + 512.5) / kBlock);
        }
        for (std::size_t k = 0; k < kHop; ++k) {
            m_shift[k] = std::polar(1.0, 2.0 * kPi * 512.5 * static_cast<double>(k) / kBlock);
        }
    }

    // out[n] = w[n] * sum_k X[k] cos(2 pi / 2048 (n + 512.5)(k + 0.5)), n = 0..2047.
    void transform(const std::vector<double>& coefficients, std::vector<double>& out)
    {
        for (std::size_t k = 0; k < kBlock; ++k) {
            m_work[k] = k < kHop ? coefficients[k] * m_shift[k] : 0.0;
        }
        orvel::fft(m_work, true);
        for (std::size_t n = 0; n < kBlock; ++n) {
            out[n] = m_window[n] * (m_post[n] * m_work[n]).real() * static_cast<double>(kBlock);
        }
    }

private:
    std::vector<double> m_window;
    std::vector<std::complex<double>> m_shift;
    std::vector<std::complex<double>> m_post;
    std::vector<std::complex<double>> m_work;
};

std::vector<double> synthesiseChannel(const Options& options, std::size_t length, std::mt19937_64& engine)
{
    std::vector<double> out(length, 0.0);
    const auto bandEnd = static_cast<std::size_t>(options.band * kHop);
    // Dead zone of a Laplace source: P(|x| < step / 2) = zeros.
    const double step = -2.0 * std::log(1.0 - options.zeros);
    InverseSineMdct inverse;
    std::vector<double> coefficients(kHop);
    std::vector<double> block(kBlock);
    // Frames start on the grid offset + m x 1024; the first ones begin before
    // sample 0 so that every sample has both overlapping frames.
    const long long first = static_cast<long long>(options.offset % static_cast<int>(kHop)) - 2 * static_cast<long long>(kHop);
    for (long long start = first; start < static_cast<long long>(length); start += kHop) {
        const double gain = 0.6 + 0.8 * uniform(engine);
        for (std::size_t k = 0; k < kHop; ++k) {
            const double value = laplace(engine);
            const double quantised = step * std::round(value / step);
            const double envelope = gain / (1.0 + static_cast<double>(k) / 128.0);
            coefficients[k] = k < bandEnd ? envelope * quantised : 0.0;
        }
        inverse.transform(coefficients, block);
        for (std::size_t n = 0; n < kBlock; ++n) {
            const long long at = start + static_cast<long long>(n);
            if (at >= 0 && at < static_cast<long long>(length)) {
                out[static_cast<std::size_t>(at)] += block[n];
            }
        }
    }
    return out;
}

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

bool endsWith(const std::string& text, const char* suffix)
{
    const std::size_t n = std::strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

int write(const Options& options, const std::vector<std::vector<double>>& channels)
{
    SF_INFO info{};
    info.samplerate = options.rate;
    info.channels = options.channels;
    info.format = (endsWith(options.path, ".wav") ? SF_FORMAT_WAV : SF_FORMAT_FLAC) |
                  (options.bits == 24 ? SF_FORMAT_PCM_24 : SF_FORMAT_PCM_16);
    std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open(options.path.c_str(), SFM_WRITE, &info));
    if (!file) {
        std::fprintf(stderr, "synth-aac-sin: cannot write %s: %s\n", options.path.c_str(), sf_strerror(nullptr));
        return 1;
    }
    // Plain rounding to the integer grid, handed over left-justified so that
    // libsndfile only shifts (no scaling of its own).
    const std::size_t length = channels.front().size();
    const double scale = std::ldexp(1.0, options.bits - 1);
    const long long top = (1LL << (options.bits - 1)) - 1;
    std::vector<int> interleaved(length * channels.size());
    for (std::size_t i = 0; i < length; ++i) {
        for (std::size_t c = 0; c < channels.size(); ++c) {
            long long v = std::llround(channels[c][i] * scale);
            v = v > top ? top : (v < -top - 1 ? -top - 1 : v);
            interleaved[i * channels.size() + c] = static_cast<int>(static_cast<std::uint32_t>(v) << (32 - options.bits));
        }
    }
    if (sf_writef_int(file.get(), interleaved.data(), static_cast<sf_count_t>(length)) != static_cast<sf_count_t>(length)) {
        std::fprintf(stderr, "synth-aac-sin: short write to %s\n", options.path.c_str());
        return 1;
    }
    return 0;
}

int synthAacSin(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: synth-aac-sin OUT.flac|OUT.wav [rate=44100] [bits=16|24] [channels=2] [seconds=10]\n"
                     "       [offset=517] [zeros=0.4] [band=0.75] [level=0.1] [silent=CHANNEL] [seed=1]\n");
        return 64;
    }
    Options options;
    options.path = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const std::size_t eq = arg.find('=');
        const std::string key = arg.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : arg.substr(eq + 1);
        if (key == "rate") options.rate = std::stoi(value);
        else if (key == "bits") options.bits = std::stoi(value);
        else if (key == "channels") options.channels = std::stoi(value);
        else if (key == "seconds") options.seconds = std::stod(value);
        else if (key == "offset") options.offset = std::stoi(value);
        else if (key == "zeros") options.zeros = std::stod(value);
        else if (key == "band") options.band = std::stod(value);
        else if (key == "level") options.level = std::stod(value);
        else if (key == "silent") options.silentChannel = std::stoi(value);
        else if (key == "seed") options.seed = std::stoull(value);
        else {
            std::fprintf(stderr, "synth-aac-sin: unknown option %s\n", arg.c_str());
            return 64;
        }
    }
    if ((options.bits != 16 && options.bits != 24) || options.channels < 1 || options.offset < 0 ||
        options.zeros < 0.0 || options.zeros >= 1.0 || options.band <= 0.0 || options.band > 1.0) {
        std::fprintf(stderr, "synth-aac-sin: option out of range\n");
        return 64;
    }

    const auto length = static_cast<std::size_t>(std::llround(options.seconds * options.rate));
    std::mt19937_64 engine(options.seed);
    std::vector<std::vector<double>> channels;
    double sum = 0.0;
    double peak = 0.0;
    for (int c = 1; c <= options.channels; ++c) {
        channels.push_back(synthesiseChannel(options, length, engine));
        if (c == options.silentChannel) {
            channels.back().assign(length, 0.0);
        }
        for (const double x : channels.back()) {
            sum += x * x;
            peak = std::max(peak, std::fabs(x));
        }
    }
    // One gain for the whole file keeps the zero coefficients exactly zero.
    const double rms = std::sqrt(sum / static_cast<double>(length * channels.size()));
    double gain = rms > 0 ? options.level / rms : 0.0;
    if (peak * gain > 0.99) {
        gain = 0.99 / peak;
    }
    for (auto& channel : channels) {
        for (double& x : channel) {
            x *= gain;
        }
    }
    return write(options, channels);
}

} // namespace

KESTRONE_TESTGEN_COMMAND("synth-aac-sin", synthAacSin);
