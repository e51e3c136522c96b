// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "analysis/verdict.h"

namespace orvel {

// The ANSI sequence of a tone from the terminal's 16 colours or bold (empty
// for the default colour), and the reset.
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

// Columns of the terminal on fd (TIOCGWINSZ), else of COLUMNS, else 80.
[[nodiscard]] std::size_t terminalColumns(int fd);
// COLUMNS as a positive whole number, else 0.
[[nodiscard]] std::size_t environmentColumns();

// The text cut to the given columns, ending in "…" when it was cut.
[[nodiscard]] std::string fitWithEllipsis(std::string_view utf8, std::size_t columns);

// The text cut to the given columns by replacing its middle with "…";
// the end, which names the file, keeps two thirds.
[[nodiscard]] std::string shortenMiddle(std::string_view utf8, std::size_t columns);

} // namespace orvel
