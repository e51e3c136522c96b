// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orvel {

// The window's verdict colours as 24-bit ANSI foreground sequences.
inline constexpr std::string_view kColourEvidence = "\x1b[38;2;255;197;112m"; // #FFC570
inline constexpr std::string_view kColourAccent = "\x1b[38;2;93;224;187m";    // #5DE0BB
inline constexpr std::string_view kColourSecondary = "\x1b[38;2;148;164;184m"; // #94A4B8
inline constexpr std::string_view kColourError = "\x1b[38;2;255;140;130m";    // #FF8C82
inline constexpr std::string_view kColourReset = "\x1b[0m";

// The colour the window's list gives a verdict word.
[[nodiscard]] std::string_view verdictColour(std::wstring_view status);

// Text that is safe to print on a terminal, as UTF-8: control characters
// (a file name may hold ESC or a line break) become U+FFFD, so nothing in a
// name can move the cursor or change colours. CR LF pairs become "\n" when
// keepLineBreaks is set, else one space.
[[nodiscard]] std::string terminalText(std::wstring_view text, bool keepLineBreaks = false);

// Columns the UTF-8 text takes on a terminal: wide East Asian characters
// count two, combining marks none. ANSI sequences are not expected here.
[[nodiscard]] std::size_t displayWidth(std::string_view utf8);

// The longest prefix of utf8 that fits in the given number of columns.
[[nodiscard]] std::string fitToWidth(std::string_view utf8, std::size_t columns);

} // namespace orvel
