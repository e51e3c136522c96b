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

// The document in pieces, for writing it while records arrive: the opening,
// then per record "," (all but the first), "\n" and appendJsonRecord, then
// the closing.
[[nodiscard]] std::string_view jsonReportOpening();
[[nodiscard]] std::string_view jsonReportClosing();
void appendJsonRecord(std::string& out, const FileReport& record);

// A check's "Status", "Summary" and "Evidence" members.
void appendCheckMembers(std::string& out, const CheckResult& check);

// The record's facts from "Codec" to "Error" as members that follow "File",
// with its doubles written by appendDouble: the JSON report's %g form, or the
// JSON Lines record's exact one.
void appendRecordFacts(std::string& out, const FileReport& record, void (*appendDouble)(std::string&, double));

// A JSON string literal, quotes included, in UTF-8.
[[nodiscard]] std::string jsonQuote(std::string_view text);

} // namespace orvel
