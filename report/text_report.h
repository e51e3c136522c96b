// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

#include "analysis/file_report.h"

namespace orvel {

// The text report: UTF-8 byte-order mark, then per record its path, CR LF, its
// summary text, CR LF, 40 hyphens and CR LF.
[[nodiscard]] std::string buildTextReport(const std::vector<FileReport>& records);

} // namespace orvel
