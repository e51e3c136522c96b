// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "analysis/file_report.h"

namespace orvel {

// The per-file text summary shown in the window: CR LF lines, ending in CR LF CR LF
// (or the three-line error form).
[[nodiscard]] std::string buildSummaryText(const FileReport& record);

} // namespace orvel
