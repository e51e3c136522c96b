// SPDX-License-Identifier: MIT
// The Opus (CELT) grid search: a decoder's output in miniature, with its
// de-emphasis, found at its offset; noise of the same level is not.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>
#include <vector>

#include "analysis/codec_grid.h"
#include "analysis/grid_mdct.h"
#include "analysis/opus_grid.h"

namespace orvel {
namespace {

// Frames synthesised on the grid at `offset` from sparse coefficients (two in
// three zero below 20 kHz, none above), de-emphasised as the decoder does,
// rounded to 16 bits; or, for `noise`, Gaussian noise of about the same level.
std::vector<double> channel(std::int32_t offset, std::size_t length, bool noise, std::mt19937_64& engine)
{
    const CodecGridShape shape = celtShape();
    GridMdct mdct(shape.window);
    const auto n = static_cast<std::size_t>(mdct.hop());
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> x(length + 2 * n, 0.0);
    std::vector<double> c(n);
    std::vector<double> y(2 * n);
    for (std::size_t start = static_cast<std::size_t>(offset); start + 2 * n <= x.size(); start += n) {
        for (std::size_t k = 0; k < n; ++k) {
            const double scale = 0.02 / (1.0 + static_cast<double>(k) / 64.0);
            c[k] = k < 800 && uniform(engine) < -0.33 ? uniform(engine) * scale * static_cast<double>(n) : 0.0;
        }
        mdct.inverse(c.data(), y.data());
        for (std::size_t i = 0; i < 2 * n; ++i) {
            x[start + i] += y[i];
        }
    }
    x.resize(length);
    double energy = 0.0;
    for (const double v : x) {
        energy += v * v;
    }
    std::normal_distribution<double> normal(0.0, std::sqrt(energy / static_cast<double>(length)));
    double previous = 0.0;
    for (double& v : x) {
        previous = noise ? normal(engine) : v + 0.8500061035 * previous;
        v = std::nearbyint(previous * 32768.0) / 32768.0;
    }
    return x;
}

class OpusGrid : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(OpusGrid, IsFoundAtItsOffsetAndNoiseIsNot)
{
    const std::int32_t offset = GetParam();
    const CodecGridShape shape = celtShape();
    const std::atomic<bool> noStop{false};
    std::mt19937_64 engine(5);
    const std::size_t length = 48000 * 3;
    for (const bool noise : {false, true}) {
        const std::vector<double> left = channel(offset, length, noise, engine);
        const std::vector<double> right = channel(offset, length, noise, engine);
        const CeltSamples celt = celtSamples(shape, left, right, 48000);
        ASSERT_TRUE(celt.made);
        const CodecGridInput input{celt.left, celt.right, std::ldexp(1.0, -15), celt.rms, celt.length};
        const CodecGridMeasurement m = searchCodecGrid(shape, input, noStop);
        ASSERT_TRUE(m.measured);
        if (noise) {
            EXPECT_FALSE(codecGridFound(m, shape)) << "excess " << m.excess() << ", z " << m.z();
        } else {
            EXPECT_EQ(m.offset, offset % 960);
            EXPECT_TRUE(codecGridFound(m, shape)) << "excess " << m.excess() << ", z " << m.z();
        }
    }
    // Only the rates an Opus decode comes at are searched.
    const std::vector<double> some(length, 0.0);
    EXPECT_FALSE(celtSamples(shape, some, {}, 96000).made);
}

INSTANTIATE_TEST_SUITE_P(Offsets, OpusGrid, ::testing::Values(0, 311, 959));

} // namespace
} // namespace orvel
