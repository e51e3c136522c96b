// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>

namespace kestrone_test {

// decode_tests replaces the global operator new to remember the largest
// single request since the last reset: a decoder that sized a buffer from a
// hostile header instead of the frame limit shows up here (or as bad_alloc).
void resetLargestAllocation();
[[nodiscard]] std::size_t largestAllocation();

} // namespace kestrone_test
