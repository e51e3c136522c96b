// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "analysis/file_report.h"

namespace orvel {

// The report documents: the JSON report, the text report and the CSV table
// (with a last column naming each file's picture when pictures are written).
enum class ReportFormat { Json, Text, Csv, CsvWithPictures };

// A document is its opening, each record's part in order, and its closing;
// written piece by piece it has the same bytes as built at once.
[[nodiscard]] std::string_view reportOpening(ReportFormat format);
// index: the record's place in the document, 0 for the first.
void appendReportRecord(std::string& out, ReportFormat format, const FileReport& record, std::size_t index);
[[nodiscard]] std::string_view reportClosing(ReportFormat format);

[[nodiscard]] std::string buildReport(ReportFormat format, const std::vector<FileReport>& records);

} // namespace orvel
