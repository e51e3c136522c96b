// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "report/report_format.h"

namespace orvel {

// One file type of the save dialog: its filter text and the extension a name
// typed without one takes.
struct ExportType {
    std::string_view filter;
    std::string_view suffix;
};

// The save dialog's file types in the order it lists them: the JSON report
// first (the default), then the text report, the CSV table, JSON Lines and the
// HTML page, each with the bytes kestrone-scan writes for it.
inline constexpr std::array<ExportType, 5> kExportTypes{{
    {"JSON report (*.json)", "json"},
    {"Text report (*.txt)", "txt"},
    {"CSV table (*.csv)", "csv"},
    {"JSON Lines (*.jsonl)", "jsonl"},
    {"HTML page (*.html)", "html"},
}};

// The report of a file type, 1-based as the dialog reports it; the typed
// extension plays no part. JSON Lines, a log of records rather than one
// document, has no ReportFormat: nullopt. Any other index is the text report.
[[nodiscard]] std::optional<ReportFormat> reportFormatForFilterIndex(int index);

} // namespace orvel
