// SPDX-License-Identifier: MIT
// The full-band codecs' MDCTs and the common grid search: each window's
// values and perfect reconstruction, and a grid planted by synthesis at a
// known offset found there.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>
#include <vector>

#include "analysis/codec_grid.h"
#include "analysis/grid_mdct.h"
#include "analysis/kbd_window.h"
#include "analysis/opus_grid.h"

namespace orvel {
namespace {

struct WindowCase {
    const char* name;
    std::vector<double> (*make)();
    std::vector<std::pair<std::size_t, double>> values; // published values
};

std::vector<double> vorbis()
{
    return powerSineWindow(2048);
}

std::vector<double> ac3()
{
    return kbdWindow(512, 5.0);
}

std::vector<double> aac()
{
    return kbdWindow(2048, 4.0);
}

void PrintTo(const WindowCase& c, std::ostream* os)
{
    *os << c.name;
}

class CodecWindows : public ::testing::TestWithParam<WindowCase> {};

TEST_P(CodecWindows, HoldTheirValuesAndReconstructTheSignal)
{
    const std::vector<double> w = GetParam().make();
    for (const auto& [i, value] : GetParam().values) {
        EXPECT_NEAR(w[i], value, 1e-11) << "w[" << i << "]";
    }
    // Forward and inverse of consecutive frames, overlap-added: the middle hops
    // come back (time-domain alias cancellation).
    GridMdct mdct(w);
    const auto n = static_cast<std::size_t>(mdct.hop());
    std::mt19937_64 engine(7);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> x(4 * n);
    for (double& v : x) {
        v = uniform(engine);
    }
    // The fast transform against its definition on a few bins.
    std::vector<double> c(n);
    mdct.forward(x.data(), c.data());
    for (const std::size_t k : {std::size_t{0}, std::size_t{1}, n / 3, n - 1}) {
        double direct = 0.0;
        for (std::size_t i = 0; i < 2 * n; ++i) {
            direct += w[i] * x[i] *
                      std::cos(3.141592653589793 / static_cast<double>(n) *
                               (static_cast<double>(i) + 0.5 + static_cast<double>(n) / 2.0) * (static_cast<double>(k) + 0.5));
        }
        EXPECT_NEAR(c[k], direct, 1e-10) << "X[" << k << "]";
    }
    std::vector<double> sum(4 * n, 0.0);
    std::vector<double> y(2 * n);
    for (std::size_t frame = 0; frame < 3; ++frame) {
        mdct.forward(x.data() + frame * n, c.data());
        mdct.inverse(c.data(), y.data());
        for (std::size_t i = 0; i < 2 * n; ++i) {
            sum[frame * n + i] += y[i];
        }
    }
    double worst = 0.0;
    for (std::size_t i = n; i < 3 * n; ++i) {
        worst = std::max(worst, std::fabs(sum[i] - x[i]));
    }
    EXPECT_LT(worst, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, CodecWindows,
    ::testing::Values(WindowCase{"Vorbis", vorbis,
                                 {{0, 9.24058872468e-07}, {255, 0.227185407324}, {511, 0.706254356408}, {1023, 1.0}}},
                      WindowCase{"Ac3", ac3,
                                 {{0, 0.000135992220706}, {63, 0.135626272905}, {127, 0.702689573727},
                                  {255, 0.999999990753}}},
                      WindowCase{"Aac", aac, {{0, 0.000292561534838}, {255, 0.177255594176}, {511, 0.706119339106}}},
                      // CELT's hop of 960 takes the 15 x 2^m transform.
                      WindowCase{"Celt", celtWindow,
                                 {{419, 0.0},
                                  {420, 6.72869659779e-05},
                                  {479, 0.699800100048},
                                  {539, 0.999999997736},
                                  {540, 1.0},
                                  {1439, 0.714338729156},
                                  {1500, 0.0}}}),
    [](const ::testing::TestParamInfo<WindowCase>& param) { return std::string(param.param.name); });

TEST(CodecGridSearch, VorbisThresholdIsTwiceTheRoundingNoise)
{
    EXPECT_NEAR(codecGridThreshold(powerSineWindow(2048), std::ldexp(1.0, -15)), 0.000398679971156, 1e-14);
}

struct PlantedCase {
    const char* name;
    std::vector<double> (*make)();
    std::int32_t period;
    std::int32_t fold;
    std::int32_t offset;
    std::vector<double> (*neighbour)(); // another window of the same hop, or null
};

void PrintTo(const PlantedCase& c, std::ostream* os)
{
    *os << c.name;
}

class PlantedGrids : public ::testing::TestWithParam<PlantedCase> {};

// A codec's output in miniature: frames synthesised on the grid from sparse
// coefficients (two in three zero), rounded to 16 bits, in two channels.
TEST_P(PlantedGrids, AreFoundAtTheirOffset)
{
    const PlantedCase& p = GetParam();
    const std::vector<double> window = p.make();
    GridMdct mdct(window);
    const auto n = static_cast<std::size_t>(mdct.hop());
    const std::size_t length = 40 * n + static_cast<std::size_t>(12 * p.period);
    std::mt19937_64 engine(11);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<std::vector<double>> channels(2, std::vector<double>(length + 2 * n, 0.0));
    std::vector<double> c(n);
    std::vector<double> y(2 * n);
    for (auto& channel : channels) {
        for (std::size_t start = static_cast<std::size_t>(p.offset); start + 2 * n <= channel.size(); start += n) {
            for (std::size_t k = 0; k < n; ++k) {
                const double scale = 0.02 / (1.0 + static_cast<double>(k) / 64.0);
                c[k] = uniform(engine) < -0.33 ? uniform(engine) * scale * static_cast<double>(n) : 0.0;
            }
            mdct.inverse(c.data(), y.data());
            for (std::size_t i = 0; i < 2 * n; ++i) {
                channel[start + i] += y[i];
            }
        }
        channel.resize(length);
        for (double& v : channel) {
            v = std::nearbyint(v * 32768.0) / 32768.0;
        }
    }
    CodecGridShape shape{window, p.period, p.fold, 4, static_cast<std::int32_t>(n), {}};
    double energy = 0.0;
    for (const double v : channels[0]) {
        energy += v * v;
    }
    const CodecGridInput input{channels[0], channels[1], std::ldexp(1.0, -15),
                               std::sqrt(energy / static_cast<double>(length))};
    const std::atomic<bool> noStop{false};
    const CodecGridMeasurement m = searchCodecGrid(shape, input, noStop);
    EXPECT_EQ(m.offset, p.offset % p.fold);
    EXPECT_TRUE(codecGridFound(m)) << "excess " << m.excess() << ", z " << m.z();
    if (p.neighbour != nullptr) {
        // The first pass of a neighbouring window of the same hop finds the candidates too.
        CodecGridShape other = shape;
        other.window = p.neighbour();
        const CodecGridFirstPass pass = codecGridFirstPass(other, input, noStop);
        const CodecGridMeasurement shared = searchCodecGrid(shape, input, noStop, {}, {}, &pass);
        EXPECT_EQ(shared.offset, p.offset % p.fold);
        EXPECT_TRUE(codecGridFound(shared)) << "excess " << shared.excess() << ", z " << shared.z();
    }

    // Noise with the same level has no grid.
    std::normal_distribution<double> normal(0.0, input.rms);
    std::vector<double> noise(length);
    for (double& v : noise) {
        v = std::nearbyint(normal(engine) * 32768.0) / 32768.0;
    }
    const CodecGridInput genuine{noise, {}, std::ldexp(1.0, -15), input.rms};
    const CodecGridMeasurement none = searchCodecGrid(shape, genuine, noStop);
    EXPECT_FALSE(codecGridFound(none));
    // No candidate leads: the verification is left out.
    EXPECT_TRUE(none.screened) << "lead " << none.excess();
}

INSTANTIATE_TEST_SUITE_P(Codecs, PlantedGrids,
                         ::testing::Values(PlantedCase{"Vorbis", vorbis, 1024, 128, 700, aac},
                                           PlantedCase{"Ac3", ac3, 256, 256, 77, nullptr},
                                           PlantedCase{"Aac", aac, 1024, 1024, 515, vorbis}),
                         [](const ::testing::TestParamInfo<PlantedCase>& param) {
                             return std::string(param.param.name);
                         });

} // namespace
} // namespace orvel
