// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>

namespace orvel {

// A file name as the text and CSV reports show it: valid UTF-8 as it is,
// while each control character (a line break, ESC), each byte that is not
// UTF-8 and each U+FFFD already in the name becomes U+FFFD followed by its
// bytes as \xNN. Nothing in a name can break a line, a row or a terminal, and
// two different names never look the same ("caf\xE9" shows "caf\uFFFD\xE9",
// "caf\xE8" shows "caf\uFFFD\xE8").
[[nodiscard]] std::string reportName(const std::filesystem::path& path);

} // namespace orvel
