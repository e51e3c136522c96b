// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace orvel {

// The MPEG-1 Layer III encoder's hybrid analysis filterbank, as the MP3 grid
// trace re-applies it to decoded audio: a 32-band polyphase filterbank, an
// 18-point long-block MDCT per subband and granule of 576 samples, and the
// encoder's alias-reduction butterflies. Everything in double.

inline constexpr std::int32_t kMp3Subbands = 32;
inline constexpr std::int32_t kMp3GranuleLines = 576;

// Coefficient rms per unit-variance white noise through this filterbank.
inline constexpr double kMp3HybridGain = 0.5339;

// The standard's synthesis window D[0..511] (exact multiples of 2^-16).
[[nodiscard]] const std::array<double, 512>& mp3SynthesisWindow();

// Polyphase analysis, in T = double or, for the grid search, float (samples
// given in T as well). Both are compiled for AVX2 too and chosen at run time:
// without fused multiply-adds every lane does the same IEEE operations, so
// the bits are the same on every machine. Block m of a run takes samples[first + 32 m .. first +
// 32 m + 31] as the newest 32 of a 512-sample window (samples before index 0
// count as zero), reverses it, multiplies by D / 32, folds it to 64 sums and
// matrixes them: S[k] = sum_i cos((2k+1)(i-16) pi / 64) Y[i]. Only subbands
// firstBand .. lastBand - 1 are computed; out holds blocks x 32 values (the
// others are left untouched).
template <typename T>
class Mp3PolyphaseT {
public:
    Mp3PolyphaseT();
    void analyse(std::span<const T> samples, std::int64_t first, std::int32_t blocks, T* out,
                 std::int32_t firstBand = 0, std::int32_t lastBand = kMp3Subbands) const;

private:
    std::array<T, 512> m_window{};     // D / 32 in time order: m_window[t] weighs sample newest - 511 + t
    std::array<T, 32 * 32> m_matrix{}; // cos((2k+1) j pi / 64) at j * 32 + k, on the folded sums
};
using Mp3Polyphase = Mp3PolyphaseT<double>;

// One granule from 36 consecutive subband blocks (previous + current granule,
// rows of 32 values, stride 32): per subband the sine-windowed 36-point MDCT,
// every odd sample negated in odd subbands, X[k] = sum_i w z cos(pi/72 (2i+19)(2k+1)),
// then the encoder's butterflies (bu cs + bd ca, bd cs - bu ca) between
// adjacent subbands of firstBand .. lastBand - 1. lines[18 sb + k] for those
// subbands; the others are left untouched. In float, lastBand - firstBand
// must be a multiple of 8, as in the float polyphase.
template <typename T>
class Mp3HybridT {
public:
    Mp3HybridT();
    void granule(const T* subbandBlocks, T* lines, std::int32_t firstBand = 0,
                 std::int32_t lastBand = kMp3Subbands) const;

private:
    std::array<T, 18 * 18> m_dct{}; // DCT-IV of the folded 36 samples, row k
    std::array<T, 36> m_window{};
    std::array<T, 8> m_cs{};
    std::array<T, 8> m_ca{};
};
using Mp3Hybrid = Mp3HybridT<double>;

} // namespace orvel
