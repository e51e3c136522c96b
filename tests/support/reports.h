// SPDX-License-Identifier: MIT
#pragma once

// Records to feed the report writers, and reading the reports the programs
// write: strict JSON in valid UTF-8, RFC 4180 CSV, the shape of a record.
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/file_report.h"
#include "tests/support/json.h"

namespace orvel::testing {

// An analysed FLAC record with every field set and a three-bin spectrum.
[[nodiscard]] FileReport analysedRecord(const std::filesystem::path& file = "/music/a.flac");
// A record whose analysis failed: only the file and the message.
[[nodiscard]] FileReport failedRecord(const std::filesystem::path& file, const std::string& error);

// The records of a JSON report; fails the test when it is not strict JSON in
// valid UTF-8 or has no "reports" array.
[[nodiscard]] std::vector<JsonValue> reportRecords(const std::string& document);
[[nodiscard]] std::vector<JsonValue> reportFileRecords(const std::filesystem::path& report);

// A record that failed carries its message and nothing of an analysis.
void expectFailedRecord(const JsonValue& record, const std::string& file);
// A record that was analysed: no message, three verdicts, the whole spectrum.
void expectCompleteRecord(const JsonValue& record, const std::string& file);

// RFC 4180 rows; throws when a line does not end in CR LF.
[[nodiscard]] std::vector<std::vector<std::string>> csvRows(const std::string& document);

} // namespace orvel::testing
