// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace orvel {

// Whole-string conversions between the program's wide text and UTF-8.
// An unpaired surrogate or a value that is no Unicode scalar becomes U+FFFD;
// an invalid UTF-8 sequence read by fromUtf8 becomes U+FFFD as well.
[[nodiscard]] std::string toUtf8(std::wstring_view text);
[[nodiscard]] std::wstring fromUtf8(std::string_view text);

// File names on Linux are bytes, not text. A byte that is not part of valid
// UTF-8 is carried through the wide path as the lone surrogate U+DC80 + byte,
// so the file can still be opened; toUtf8 shows such a character as U+FFFD.
[[nodiscard]] std::wstring widePathFromNative(std::string_view nativeBytes);
[[nodiscard]] std::string nativePathFromWide(std::wstring_view widePath);
[[nodiscard]] std::filesystem::path toFsPath(std::wstring_view widePath);
[[nodiscard]] std::wstring fromFsPath(const std::filesystem::path& path);

} // namespace orvel
