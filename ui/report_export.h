// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <vector>

#include "analysis/file_report.h"

namespace orvel {

enum class ReportFormat { Json, Text };

// The save dialog's file types, 1-based as the dialog reports them: 1 is the
// JSON report, every other index the text report. The typed extension plays no part.
[[nodiscard]] ReportFormat reportFormatForFilterIndex(int index);

// Writes the JSON report (no byte-order mark) or the text report (byte-order
// mark, CR LF sections) of records to target, replacing it only once complete.
// Throws std::runtime_error "Cannot create the report file." or
// "Writing the report failed.".
void writeReportFile(const std::filesystem::path& target, const std::vector<FileReport>& records,
                     ReportFormat format);

} // namespace orvel
