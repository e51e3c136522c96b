// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace orvel {

// Fixed-point text with exactly `decimals` digits after a "." separator, no
// grouping, no "+", whatever the process locale. A negative value that rounds
// to zero keeps its "-" ("-0.00"), as a classic-locale stream writes it.
[[nodiscard]] std::string formatNumber(double value, std::int32_t decimals);

// A duration as a clock shows it: "M:SS", from an hour on "H:MM:SS".
[[nodiscard]] std::string clockText(std::chrono::seconds total);

} // namespace orvel
