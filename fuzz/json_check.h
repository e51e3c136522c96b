// SPDX-License-Identifier: MIT
#pragma once

#include <string_view>

namespace orvel::fuzz {

// True when text is well-formed UTF-8: shortest forms only, no surrogates,
// nothing above U+10FFFF.
[[nodiscard]] bool isValidUtf8(std::string_view text);

// True when text is exactly one JSON value (RFC 8259) with optional white
// space around it: strict grammar, no trailing commas, no control characters
// inside strings, escapes checked (a \u surrogate must be a proper pair), and
// the text valid UTF-8. Nesting deeper than 64 levels is refused (reports
// nest four deep), so no input can exhaust the stack.
[[nodiscard]] bool isStrictJson(std::string_view text);

} // namespace orvel::fuzz
