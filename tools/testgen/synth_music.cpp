// SPDX-License-Identifier: MIT
// synth-music: music-like test material (drums, bass, chords, a plucked lead
// and a quiet passage) for the checks that look at codec traces. Broadband
// where real music is (cymbals, hi-hats, bright harmonics), quiet where it
// is quiet; deterministic for a seed.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tools/testgen/testgen.h"

namespace {

constexpr double kPi = 3.141592653589793;

struct Options {
    std::string path;
    int rate = 44100;
    int bits = 16;
    double seconds = 10.0;
    unsigned seed = 1;
    std::string style = "band"; // band, acoustic, electronic
};

double uniform(std::mt19937_64& engine)
{
    return std::uniform_real_distribution<double>(-1.0, 1.0)(engine);
}

double noteHz(int midi)
{
    return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

struct Stereo {
    std::vector<double> left;
    std::vector<double> right;
    void add(std::size_t at, const std::vector<double>& voice, double pan, double gain)
    {
        const double l = gain * std::cos((pan + 1.0) * kPi / 4.0);
        const double r = gain * std::sin((pan + 1.0) * kPi / 4.0);
        for (std::size_t i = 0; i < voice.size() && at + i < left.size(); ++i) {
            left[at + i] += l * voice[i];
            right[at + i] += r * voice[i];
        }
    }
};

// Decaying noise; `brightness` 0..1 mixes first differences in (hi-hat, cymbal).
std::vector<double> noiseHit(std::mt19937_64& engine, int rate, double seconds, double decay, double brightness)
{
    std::vector<double> v(static_cast<std::size_t>(seconds * rate));
    double previous = 0.0;
    for (std::size_t i = 0; i < v.size(); ++i) {
        const double n = uniform(engine);
        const double bright = (n - previous) * 0.5;
        previous = n;
        v[i] = ((1.0 - brightness) * n + brightness * bright) * std::exp(-static_cast<double>(i) / (decay * rate));
    }
    return v;
}

std::vector<double> kick(int rate)
{
    std::vector<double> v(static_cast<std::size_t>(0.35 * rate));
    double phase = 0.0;
    for (std::size_t i = 0; i < v.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        phase += 2.0 * kPi * (45.0 + 90.0 * std::exp(-t / 0.03)) / rate;
        v[i] = std::sin(phase) * std::exp(-t / 0.12);
    }
    return v;
}

// Additive tone: harmonics up to 0.45 x rate, each with its own decay.
std::vector<double> harmonicTone(double hz, int rate, double seconds, double rolloff, double decay)
{
    std::vector<double> v(static_cast<std::size_t>(seconds * rate), 0.0);
    for (int h = 1; h * hz < 0.45 * rate && h <= 60; ++h) {
        const double a = std::pow(static_cast<double>(h), -rolloff);
        const double d = decay / (1.0 + 0.15 * h);
        const double w = 2.0 * kPi * h * hz * (1.0 + 0.0004 * h * h) / rate;
        for (std::size_t i = 0; i < v.size(); ++i) {
            const double t = static_cast<double>(i) / rate;
            v[i] += a * std::sin(w * static_cast<double>(i) + h) * std::exp(-t / d);
        }
    }
    const std::size_t attack = static_cast<std::size_t>(0.004 * rate);
    for (std::size_t i = 0; i < attack && i < v.size(); ++i) {
        v[i] *= static_cast<double>(i) / static_cast<double>(attack);
    }
    return v;
}

// Karplus-Strong plucked string.
std::vector<double> pluck(std::mt19937_64& engine, double hz, int rate, double seconds)
{
    const auto period = std::max<std::size_t>(2, static_cast<std::size_t>(rate / hz));
    std::vector<double> line(period);
    for (double& x : line) {
        x = uniform(engine);
    }
    std::vector<double> v(static_cast<std::size_t>(seconds * rate));
    for (std::size_t i = 0; i < v.size(); ++i) {
        const std::size_t j = i % period;
        const double next = line[(j + 1) % period];
        v[i] = line[j];
        line[j] = 0.996 * 0.5 * (line[j] + next);
    }
    return v;
}

// Band-limited-ish sawtooth through a one-pole lowpass (synth pads, bass).
std::vector<double> saw(double hz, int rate, double seconds, double cutoff)
{
    std::vector<double> v(static_cast<std::size_t>(seconds * rate));
    const double a = std::exp(-2.0 * kPi * cutoff / rate);
    double phase = 0.0;
    double state = 0.0;
    for (std::size_t i = 0; i < v.size(); ++i) {
        phase += hz / rate;
        phase -= std::floor(phase);
        state = (1.0 - a) * (2.0 * phase - 1.0) + a * state;
        const double t = static_cast<double>(i) / rate;
        v[i] = state * std::min(1.0, t / 0.01) * std::min(1.0, (seconds - t) / 0.05);
    }
    return v;
}

Stereo compose(const Options& o)
{
    std::mt19937_64 engine(o.seed * 7919u + 17u);
    const std::size_t length = static_cast<std::size_t>(o.seconds * o.rate);
    Stereo mix{std::vector<double>(length, 0.0), std::vector<double>(length, 0.0)};
    const double bpm = 96.0 + static_cast<double>(engine() % 40);
    const double beat = 60.0 / bpm;
    const int root = 40 + static_cast<int>(engine() % 8);
    const int progression[4][3] = {{0, 4, 7}, {-3, 0, 4}, {5, 9, 12}, {7, 11, 14}};
    const bool drums = o.style != "acoustic";
    const bool electronic = o.style == "electronic";
    const auto beats = static_cast<int>(o.seconds / beat);
    // A quiet passage (piano only, -30 dB) in the second quarter.
    const int quietFrom = beats / 4;
    const int quietTo = beats / 4 + beats / 8;
    for (int b = 0; b < beats; ++b) {
        const auto at = static_cast<std::size_t>(b * beat * o.rate);
        const bool quiet = b >= quietFrom && b < quietTo;
        const int* chord = progression[(b / 4) % 4];
        if (b % 2 == 0) {
            for (int n = 0; n < 3; ++n) {
                const double hz = noteHz(root + 24 + chord[n]);
                const std::vector<double> tone = electronic ? saw(hz, o.rate, 2 * beat, 3000.0 + 2000.0 * n)
                                                            : harmonicTone(hz, o.rate, 2.2 * beat, 1.1, 0.9);
                mix.add(at, tone, -0.4 + 0.4 * n, quiet ? 0.004 : 0.10);
            }
        }
        if (quiet) {
            continue;
        }
        mix.add(at, saw(noteHz(root + chord[0]), o.rate, beat * 0.9, 400.0), 0.0, 0.25);
        if (o.style != "electronic" || b % 2 == 1) {
            for (int e = 0; e < 2; ++e) {
                const int degree = chord[engine() % 3] + 12 * static_cast<int>(engine() % 2);
                mix.add(at + static_cast<std::size_t>(e * beat * 0.5 * o.rate),
                        pluck(engine, noteHz(root + 36 + degree), o.rate, beat * 1.5), 0.5, 0.12);
            }
        }
        if (!drums) {
            continue;
        }
        if (b % 2 == 0) {
            mix.add(at, kick(o.rate), 0.0, 0.5);
        } else {
            mix.add(at, noiseHit(engine, o.rate, 0.25, 0.06, 0.3), 0.1, 0.25);
        }
        for (int e = 0; e < 2; ++e) {
            mix.add(at + static_cast<std::size_t>(e * beat * 0.5 * o.rate),
                    noiseHit(engine, o.rate, 0.08, 0.02, 0.9), -0.3, 0.12);
        }
        if (b % 16 == 0) {
            mix.add(at, noiseHit(engine, o.rate, 2.5, 0.8, 0.7), 0.3, 0.10);
        }
    }
    return mix;
}

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

int write(const Options& o, const Stereo& mix)
{
    double peak = 1e-9;
    for (std::size_t i = 0; i < mix.left.size(); ++i) {
        peak = std::max({peak, std::fabs(mix.left[i]), std::fabs(mix.right[i])});
    }
    const double gain = 0.89 / peak;
    SF_INFO info{};
    info.samplerate = o.rate;
    info.channels = 2;
    const bool wav = o.path.size() > 4 && o.path.compare(o.path.size() - 4, 4, ".wav") == 0;
    info.format = (wav ? SF_FORMAT_WAV : SF_FORMAT_FLAC) | (o.bits == 24 ? SF_FORMAT_PCM_24 : SF_FORMAT_PCM_16);
    std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open(o.path.c_str(), SFM_WRITE, &info));
    if (!file) {
        std::fprintf(stderr, "synth-music: cannot write %s: %s\n", o.path.c_str(), sf_strerror(nullptr));
        return 1;
    }
    // TPDF dither to the stored width, as a mastering chain would.
    std::mt19937_64 engine(o.seed + 99u);
    const double scale = std::ldexp(1.0, 31 - (o.bits == 24 ? 8 : 16));
    std::vector<int> interleaved(mix.left.size() * 2);
    for (std::size_t i = 0; i < mix.left.size(); ++i) {
        for (int c = 0; c < 2; ++c) {
            const double x = (c == 0 ? mix.left[i] : mix.right[i]) * gain * scale;
            const double d = 0.5 * (uniform(engine) + uniform(engine));
            const double q = std::clamp(std::nearbyint(x + d), -scale, scale - 1.0);
            interleaved[2 * i + static_cast<std::size_t>(c)] =
                static_cast<int>(q) * (o.bits == 24 ? 256 : 65536);
        }
    }
    const auto frames = static_cast<sf_count_t>(mix.left.size());
    return sf_writef_int(file.get(), interleaved.data(), frames) == frames ? 0 : 1;
}

int synthMusic(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: kestrone-testgen synth-music OUT.(wav|flac) [rate=N] [bits=16|24] [seconds=S] "
                     "[seed=N] [style=band|acoustic|electronic]\n");
        return 64;
    }
    Options o;
    o.path = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto eq = arg.find('=');
        const std::string key = arg.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : arg.substr(eq + 1);
        if (key == "rate") {
            o.rate = std::atoi(value.c_str());
        } else if (key == "bits") {
            o.bits = std::atoi(value.c_str());
        } else if (key == "seconds") {
            o.seconds = std::atof(value.c_str());
        } else if (key == "seed") {
            o.seed = static_cast<unsigned>(std::atoi(value.c_str()));
        } else if (key == "style") {
            o.style = value;
        } else {
            std::fprintf(stderr, "synth-music: unknown argument %s\n", arg.c_str());
            return 64;
        }
    }
    if (o.rate < 8000 || o.rate > 192000 || (o.bits != 16 && o.bits != 24) || o.seconds <= 0.0 ||
        o.seconds > 120.0) {
        std::fprintf(stderr, "synth-music: bad rate, bits or seconds\n");
        return 64;
    }
    return write(o, compose(o));
}

} // namespace

KESTRONE_TESTGEN_COMMAND("synth-music", synthMusic);
