// SPDX-License-Identifier: MIT
// The filterbanks and windows of the ORIGIN check against the reference
// values of the prototypes (1e-9 absolute).
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "analysis/kbd_window.h"
#include "analysis/mp3_filterbank.h"
#include "analysis/mp3_grid.h"

namespace orvel {
namespace {

constexpr double kTolerance = 1e-9;
constexpr double kPi = 3.141592653589793;

// The self-test's LCG signal, 2048 values, repeated to `length`.
std::vector<double> lcgSignal(std::size_t length)
{
    std::vector<double> base(2048);
    std::uint32_t state = 42;
    for (double& v : base) {
        state = state * 1664525u + 1013904223u;
        v = 2.0 * state / 4294967295.0 - 1.0;
    }
    std::vector<double> x(length);
    for (std::size_t i = 0; i < length; ++i) {
        x[i] = base[i % 2048];
    }
    return x;
}

TEST(OriginVectors, SynthesisWindow)
{
    const auto& d = mp3SynthesisWindow();
    EXPECT_EQ(d[0], 0.0);
    EXPECT_NEAR(d[1], -0.000015259, 5e-10);
    EXPECT_NEAR(d[3], -0.000015259, 5e-10);
    EXPECT_NEAR(d[64], 0.003250122, 5e-10);
    EXPECT_NEAR(d[256], 1.144989014, 5e-10);
    EXPECT_NEAR(d[511], 0.000015259, 5e-10);
    // Mirror symmetry with the sign flip of every odd group of 64.
    EXPECT_EQ(d[300], -d[212]);
    EXPECT_EQ(d[400], -d[112]);
}

TEST(OriginVectors, PolyphaseAndHybrid)
{
    const std::vector<double> x = lcgSignal(4096);
    const Mp3Polyphase polyphase;
    std::vector<double> s(128 * 32);
    polyphase.analyse(x, 0, 128, s.data());
    const double* s20 = s.data() + 20 * 32;
    EXPECT_NEAR(s20[0], 0.050469454802, kTolerance);
    EXPECT_NEAR(s20[1], -0.081953855692, kTolerance);
    EXPECT_NEAR(s20[2], -0.118816740107, kTolerance);
    EXPECT_NEAR(s20[3], -0.062633206823, kTolerance);
    EXPECT_NEAR(s20[31], 0.028608791625, kTolerance);

    // A run that starts later gives the same blocks, and a band subset the same values.
    std::vector<double> later(4 * 32, 0.0);
    polyphase.analyse(x, 20 * 32, 4, later.data(), 2, 7);
    for (std::int32_t k = 2; k < 7; ++k) {
        EXPECT_EQ(later[static_cast<std::size_t>(k)], s20[k]);
    }

    const Mp3Hybrid hybrid;
    std::vector<double> lines(576);
    hybrid.granule(s.data() + 18 * 32, lines.data());
    EXPECT_NEAR(lines[0], -0.134895651443, kTolerance);
    EXPECT_NEAR(lines[1], -0.263185558076, kTolerance);
    EXPECT_NEAR(lines[2], 0.094202942223, kTolerance);
    EXPECT_NEAR(lines[3], 0.252896505369, kTolerance);
    EXPECT_NEAR(lines[17], 0.017013949196, kTolerance);
    EXPECT_NEAR(lines[18], -0.107109940098, kTolerance);
    EXPECT_NEAR(lines[300], -0.014500145681, kTolerance);
    EXPECT_NEAR(lines[575], -0.131404655721, kTolerance);
}

TEST(OriginVectors, HybridGainOnWhiteNoise)
{
    std::mt19937_64 engine(5);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<double> x(576 * 120);
    for (double& v : x) {
        v = normal(engine);
    }
    const Mp3Polyphase polyphase;
    const Mp3Hybrid hybrid;
    std::vector<double> s(18 * 120 * 32);
    polyphase.analyse(x, 0, 18 * 120, s.data());
    std::vector<double> lines(576);
    double sum = 0.0;
    std::int64_t count = 0;
    for (std::int32_t g = 20; g + 2 < 120; ++g) {
        hybrid.granule(s.data() + static_cast<std::size_t>(g) * 18 * 32, lines.data());
        for (const double v : lines) {
            sum += v * v;
            ++count;
        }
    }
    EXPECT_NEAR(std::sqrt(sum / static_cast<double>(count)), kMp3HybridGain, 0.01);
}

// The standard's synthesis filterbank (a decoder's last stage), for the
// round-trip invariants: 32 subband samples in, 32 PCM samples out.
class Synthesis {
public:
    Synthesis() : m_v(1024, 0.0) {}
    void block(const double* subbands, double* out)
    {
        for (std::size_t i = 1023; i >= 64; --i) {
            m_v[i] = m_v[i - 64];
        }
        for (std::int32_t i = 0; i < 64; ++i) {
            double sum = 0.0;
            for (std::int32_t k = 0; k < 32; ++k) {
                sum += std::cos((16 + i) * (2 * k + 1) * kPi / 64.0) * subbands[k];
            }
            m_v[static_cast<std::size_t>(i)] = sum;
        }
        const auto& d = mp3SynthesisWindow();
        for (std::size_t j = 0; j < 32; ++j) {
            double sum = 0.0;
            for (std::size_t i = 0; i < 8; ++i) {
                sum += m_v[128 * i + j] * d[64 * i + j] + m_v[128 * i + 96 + j] * d[64 * i + 32 + j];
            }
            out[j] = sum;
        }
    }

private:
    std::vector<double> m_v;
};

TEST(OriginVectors, AnalysisThenSynthesisDelaysBy481)
{
    const std::vector<double> x = lcgSignal(32 * 400);
    const Mp3Polyphase polyphase;
    std::vector<double> s(400 * 32);
    polyphase.analyse(x, 0, 400, s.data());
    Synthesis synthesis;
    std::vector<double> y(x.size());
    for (std::size_t m = 0; m < 400; ++m) {
        synthesis.block(s.data() + 32 * m, y.data() + 32 * m);
    }
    double error = 0.0;
    double power = 0.0;
    for (std::size_t t = 2000; t < y.size(); ++t) {
        error += (y[t] - x[t - 481]) * (y[t] - x[t - 481]);
        power += x[t - 481] * x[t - 481];
    }
    EXPECT_LT(10.0 * std::log10(error / power), -80.0);
}

TEST(OriginVectors, GridPlantedBySynthesisIsFoundAtLeadPlus481)
{
    // Sparse granules (70 % exact zeros below line 450) through the decoder's
    // hybrid synthesis: alias butterflies, inverse MDCT with overlap-add,
    // frequency inversion, then the polyphase synthesis; the PCM is delayed by
    // a lead of L samples.
    constexpr std::int32_t kGranules = 130;
    std::mt19937_64 engine(9);
    std::uniform_real_distribution<double> uniform(-0.01, 0.01);
    std::uniform_real_distribution<double> coin(0.0, 1.0);
    constexpr std::array<double, 8> c{-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
    std::vector<double> subbands(static_cast<std::size_t>(kGranules) * 18 * 32, 0.0);
    std::vector<double> overlap(32 * 18, 0.0);
    for (std::int32_t g = 0; g < kGranules; ++g) {
        std::array<double, 576> lines{};
        for (std::size_t k = 0; k < 576; ++k) {
            lines[k] = k >= 450 || coin(engine) < 0.3 ? uniform(engine) : 0.0;
        }
        for (std::int32_t sb = 1; sb < 32; ++sb) {
            for (std::int32_t i = 0; i < 8; ++i) {
                const double root = std::sqrt(1.0 + c[static_cast<std::size_t>(i)] * c[static_cast<std::size_t>(i)]);
                const double cs = 1.0 / root;
                const double ca = c[static_cast<std::size_t>(i)] / root;
                const double bu = lines[static_cast<std::size_t>(18 * sb - 1 - i)];
                const double bd = lines[static_cast<std::size_t>(18 * sb + i)];
                lines[static_cast<std::size_t>(18 * sb - 1 - i)] = bu * cs - bd * ca;
                lines[static_cast<std::size_t>(18 * sb + i)] = bd * cs + bu * ca;
            }
        }
        for (std::int32_t sb = 0; sb < 32; ++sb) {
            std::array<double, 36> y{};
            for (std::int32_t i = 0; i < 36; ++i) {
                double sum = 0.0;
                for (std::int32_t k = 0; k < 18; ++k) {
                    sum += lines[static_cast<std::size_t>(18 * sb + k)] *
                           std::cos(kPi / 72.0 * (2 * i + 19) * (2 * k + 1));
                }
                y[static_cast<std::size_t>(i)] = sum * std::sin(kPi / 36.0 * (i + 0.5)) / 9.0;
            }
            for (std::int32_t n = 0; n < 18; ++n) {
                double v = y[static_cast<std::size_t>(n)] + overlap[static_cast<std::size_t>(sb * 18 + n)];
                overlap[static_cast<std::size_t>(sb * 18 + n)] = y[static_cast<std::size_t>(n + 18)];
                if ((sb & 1) != 0 && (n & 1) != 0) {
                    v = -v;
                }
                subbands[(static_cast<std::size_t>(g) * 18 + static_cast<std::size_t>(n)) * 32 +
                         static_cast<std::size_t>(sb)] = v;
            }
        }
    }
    Synthesis synthesis;
    std::vector<double> pcm(static_cast<std::size_t>(kGranules) * 576);
    for (std::size_t m = 0; m < pcm.size() / 32; ++m) {
        synthesis.block(subbands.data() + 32 * m, pcm.data() + 32 * m);
    }
    for (const std::int32_t lead : {0, 100, 333}) {
        std::vector<double> x(static_cast<std::size_t>(lead), 0.0);
        x.insert(x.end(), pcm.begin(), pcm.end());
        const Mp3GridInput input{x, {}, std::ldexp(1.0, -15), 820, -1.0};
        const std::atomic<bool> noStop{false};
        const Mp3GridMeasurement m = searchMp3Grid(input, noStop, {});
        EXPECT_EQ(m.offset, (lead + 481) % 576) << "lead " << lead;
        EXPECT_TRUE(mp3GridFound(m)) << "lead " << lead << ": " << m.verified << " vs " << m.baseline;
        EXPECT_GT(m.verified, 0.5) << "lead " << lead;
    }
}

TEST(OriginVectors, KbdWindows)
{
    const std::vector<double> w = kbdWindow(2048, 4.0);
    EXPECT_NEAR(w[0], 2.925615348376e-04, kTolerance);
    EXPECT_NEAR(w[1], 4.299856712255e-04, kTolerance);
    EXPECT_NEAR(w[511], 0.706119339106, kTolerance);
    EXPECT_NEAR(w[1023], 0.999999957203873, kTolerance);
    EXPECT_EQ(w[2047], w[0]);
    // Princen-Bradley: w[n]^2 + w[n + N/2]^2 = 1, which TDAC needs.
    for (std::size_t n = 0; n < 1024; n += 37) {
        EXPECT_NEAR(w[n] * w[n] + w[n + 1024] * w[n + 1024], 1.0, 1e-12);
    }
    const std::vector<double> s = kbdWindow(256, 6.0);
    EXPECT_NEAR(s[0], 4.379570409413e-05, kTolerance);
    EXPECT_NEAR(s[64], 0.716675812875, kTolerance);
    EXPECT_NEAR(s[127], 0.999999999040968, kTolerance);
}

TEST(OriginVectors, KbdLongMdctAndReconstruction)
{
    const std::vector<double> x = lcgSignal(2048);
    const std::vector<double> w = kbdWindow(2048, 4.0);
    WindowedMdct mdct(w);
    std::vector<double> c(1024);
    mdct.forward(x.data(), 0, c.data());
    EXPECT_NEAR(c[0], -0.259387384602, kTolerance);
    EXPECT_NEAR(c[1], -0.071734285085, kTolerance);
    EXPECT_NEAR(c[2], 0.189961681059, kTolerance);
    EXPECT_NEAR(c[3], 0.086248671111, kTolerance);
    EXPECT_NEAR(c[100], 0.155957734343, kTolerance);
    EXPECT_NEAR(c[1023], -0.050129678746, kTolerance);

    // Inverse MDCT of two overlapping frames with the same window, overlap-added,
    // gives back the shared middle 1024 samples.
    const std::vector<double> y = lcgSignal(4096);
    std::vector<double> a(1024);
    std::vector<double> b(1024);
    mdct.forward(y.data(), 0, a.data());
    mdct.forward(y.data(), 1024, b.data());
    for (std::int32_t n = 0; n < 1024; n += 101) {
        double sum = 0.0;
        for (std::int32_t k = 0; k < 1024; ++k) {
            const double first = a[static_cast<std::size_t>(k)] *
                                 std::cos(2.0 * kPi / 2048.0 * (n + 1024 + 512.5) * (k + 0.5));
            const double second =
                b[static_cast<std::size_t>(k)] * std::cos(2.0 * kPi / 2048.0 * (n + 512.5) * (k + 0.5));
            sum += w[static_cast<std::size_t>(n + 1024)] * first + w[static_cast<std::size_t>(n)] * second;
        }
        // 1/32 forward scale and 2/N inverse scale: 32 x 2 / 2048 x ... = 2 / 64.
        EXPECT_NEAR(sum * 2.0 * 32.0 / 1024.0, y[static_cast<std::size_t>(n + 1024)], 1e-9);
    }
}

} // namespace
} // namespace orvel
