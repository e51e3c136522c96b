// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "analysis/verdict.h"

namespace orvel {

// The ANSI foreground sequence of a tone's colour, and the reset.
[[nodiscard]] std::string toneSequence(Tone tone);
inline constexpr std::string_view kColourReset = "\x1b[0m";

// Text that is safe to print on a terminal, as UTF-8: control characters
// (a file name may hold ESC or a line break) become U+FFFD, so nothing in a
// name can move the cursor or change colours. CR LF pairs become "\n" when
// keepLineBreaks is set, else one space.
[[nodiscard]] std::string terminalText(std::string_view text, bool keepLineBreaks = false);

// Columns the UTF-8 text takes on a terminal: wide East Asian characters
// count two, combining marks none. ANSI sequences are not expected here.
[[nodiscard]] std::size_t displayWidth(std::string_view utf8);

// The longest prefix of utf8 that fits in the given number of columns.
[[nodiscard]] std::string fitToWidth(std::string_view utf8, std::size_t columns);

} // namespace orvel
