// SPDX-License-Identifier: MIT
#pragma once

#include <vector>

#include "platform/large_buffer.h"

namespace orvel {

// Buffers written in full before they are read: resize leaves new elements
// default-initialised, so their pages are touched once, by the writer, instead
// of first by a zero-fill (and large ones sit on whole 2 MB pages).
template <typename T>
using UninitializedVector = std::vector<T, LargeBufferAllocator<T>>;

} // namespace orvel
