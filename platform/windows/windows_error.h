// SPDX-License-Identifier: MIT
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace orvel {

// The errno value of a Windows error code, so that the messages read as they
// do on Linux ("No such file or directory", "Permission denied").
[[nodiscard]] int errnoOf(DWORD error);

// UTF-16 from Windows as UTF-8.
[[nodiscard]] std::string utf8Of(std::wstring_view wide);

} // namespace orvel
