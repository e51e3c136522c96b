// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "analysis/file_report.h"

namespace orvel {

// The complete JSON document (UTF-8, no BOM, no trailing line feed) for the
// records in order. Byte-exact and independent of the process locale.
[[nodiscard]] std::string buildJsonReport(const std::vector<FileReport>& records);

// A JSON string literal, quotes included, in UTF-8.
[[nodiscard]] std::string jsonQuote(std::wstring_view text);

} // namespace orvel
