// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace orvel {

// Text is UTF-8 in std::string everywhere; file names are std::filesystem::path,
// which on Linux are bytes and need not be UTF-8.

// The text with every invalid UTF-8 sequence replaced by one U+FFFD (the
// "maximal subpart" rule): what a message from a library becomes before it is
// shown or reported.
[[nodiscard]] std::string sanitizeUtf8(std::string_view text);

// A file name as the window, the terminal and the reports show it: valid
// UTF-8 stays as it is, and every byte that is not part of valid UTF-8 shows as
// one U+FFFD, so "caf\xE9.flac" reads "caf\uFFFD.flac". The file itself is still
// opened through its path.
[[nodiscard]] std::string displayName(const std::filesystem::path& path);
[[nodiscard]] std::string displayBytes(std::string_view bytes);

// A file name as bytes and back, for hashes, sorting, lists and reports: on
// Linux the name's own bytes; on Windows its UTF-16 as UTF-8 (an unpaired
// surrogate as its three-byte form, so that every name keeps its own bytes).
[[nodiscard]] std::string pathBytes(const std::filesystem::path& path);
[[nodiscard]] std::filesystem::path pathFromBytes(std::string_view bytes);

// Decodes the well-formed sequence at text[i] into cp and returns its length;
// 0 when the bytes there are not valid, shortest-form UTF-8.
[[nodiscard]] std::size_t decodeUtf8At(std::string_view text, std::size_t i, char32_t& cp);

// Appends the code point cp (at most U+10FFFF, not a surrogate) as UTF-8.
void appendUtf8(std::string& out, char32_t cp);

// True when text is well-formed, shortest-form UTF-8 without surrogates.
[[nodiscard]] bool isValidUtf8(std::string_view text);

} // namespace orvel
