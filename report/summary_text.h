// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "analysis/file_report.h"

namespace orvel {

// The per-file text summary: CR LF lines, the conclusion first, then the
// facts and one block per check, ending in CR LF CR LF (or the three-line
// error form). With explained (the window's panel) two or three sentences of
// why and what it means follow the conclusion.
[[nodiscard]] std::string buildSummaryText(const FileReport& record, bool explained = false);

} // namespace orvel
