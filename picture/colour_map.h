// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>

namespace orvel {

// A perceptually ordered colour map of 256 opaque colours (0xFFRRGGBB), from
// near-black through violet, red and orange to pale yellow. CIE L* rises in
// equal steps from entry to entry, so brighter always means louder and equal
// level steps look like equal steps, also in grey print.
[[nodiscard]] const std::array<std::uint32_t, 256>& levelColours();

// The L* of an sRGB colour (0xRRGGBB), 0..100.
[[nodiscard]] double lightnessOf(std::uint32_t rgb);

} // namespace orvel
