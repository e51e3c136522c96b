// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "analysis/file_report.h"

namespace orvel {

// The text report: UTF-8 byte-order mark, then per record its path, CR LF, its
// summary text, CR LF, 40 hyphens and CR LF.
[[nodiscard]] std::string buildTextReport(const std::vector<FileReport>& records);

// The same in pieces: the byte-order mark, then one section per record.
[[nodiscard]] std::string_view textReportOpening();
void appendTextSection(std::string& out, const FileReport& record);

} // namespace orvel
