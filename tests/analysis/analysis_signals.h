// SPDX-License-Identifier: MIT
#pragma once

// Signal builders for the analysis tests: DecodedAudio records made in memory,
// so that every threshold of the checks can be reached exactly.
#include <cstdint>
#include <span>
#include <vector>

#include "decode/decoded_audio.h"

namespace orvel::test {

// Integer samples as a decoder delivers them: value x 2^-(bits-1), full scale [-1, 1).
[[nodiscard]] DecodedAudio integerAudio(const std::vector<std::vector<std::int64_t>>& channels,
                                        std::int32_t sampleRate, std::uint32_t bits);

// Lossless integer record around already scaled samples.
[[nodiscard]] DecodedAudio losslessAudio(std::vector<std::vector<double>> channels, std::int32_t sampleRate,
                                         std::uint32_t bits);

// Uniform white noise in [-amplitude, amplitude], the same for a given seed on every machine.
[[nodiscard]] std::vector<double> whiteNoise(std::size_t length, std::uint64_t seed, double amplitude);

// Rounds every sample to the grid of a `bits`-bit integer source.
[[nodiscard]] std::vector<double> quantised(std::vector<double> samples, std::uint32_t bits);

// Audio as a long-block sine-window AAC decoder outputs it: every frame of
// the grid offset + m x 1024 gets random coefficients up to bin bandEnd, of
// which about zeroShare are exactly zero, and the direct-sum inverse MDCT
// with overlap-add turns them into samples (rms about `level`).
[[nodiscard]] std::vector<double> sineGridSynthesis(std::size_t length, std::int32_t offset, double zeroShare,
                                                    std::int32_t bandEnd, double level, std::uint64_t seed);

// The direct definition of the sine-window MDCT of samples[start .. start + 2047].
[[nodiscard]] std::vector<double> directMdct(std::span<const double> samples, std::size_t start);

// strongBinCount as the driver derives it: bins above peak x 0.0001.
[[nodiscard]] std::int32_t strongBins(std::span<const double> powerSpectrum);

} // namespace orvel::test
