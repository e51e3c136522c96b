// SPDX-License-Identifier: MIT
#pragma once

// The tests' and the fuzz targets' side of the strict JSON reader in
// report/json_reader.h, with its own independent UTF-8 checker.
#include <string_view>

#include "report/json_reader.h"

namespace orvel::testing {

using JsonValue = orvel::JsonValue;

// Throws std::runtime_error (with the byte offset) on anything that is not
// strict JSON in valid UTF-8.
[[nodiscard]] JsonValue parseJson(std::string_view document);

// True when text is well-formed UTF-8: shortest forms only, no surrogates,
// nothing above U+10FFFF.
[[nodiscard]] bool isValidUtf8(std::string_view text);

// True when parseJson accepts text.
[[nodiscard]] bool isStrictJson(std::string_view text);

} // namespace orvel::testing
