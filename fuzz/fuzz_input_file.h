// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvel::fuzz {

// The path of this process's own input file "input<ext>" in a private folder
// under $TMPDIR (or /dev/shm, a tmpfs, when unset), made on first use and
// removed at exit. Two fuzzers running side by side never share a file.
[[nodiscard]] const std::string& inputPath(const char* extension);

// Replaces the input file's content with the fuzzer's bytes.
void writeInput(const std::string& path, const std::uint8_t* data, std::size_t size);

} // namespace orvel::fuzz
