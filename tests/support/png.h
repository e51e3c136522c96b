// SPDX-License-Identifier: MIT
#pragma once

// A structural reading of PNG bytes, independent of the encoder's code: the
// signature, then chunks whose lengths add up exactly, IHDR first and IEND last.
#include <optional>
#include <string_view>

namespace orvel::testing {

struct PngHeader {
    int width = 0;
    int height = 0;
    int bitDepth = 0;
    int colourType = 0;
};

// The header of a whole PNG; nothing for bytes that are not one (a cut file included).
[[nodiscard]] std::optional<PngHeader> readPngHeader(std::string_view bytes);

} // namespace orvel::testing
