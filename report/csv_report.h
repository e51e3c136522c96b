// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "analysis/file_report.h"

namespace orvel {

// One RFC 4180 row per record under a header row: CR LF line ends, fields
// with a comma, a double quote, CR or LF quoted and their quotes doubled,
// UTF-8 without a byte-order mark, numbers with "." whatever the locale.
// A failed record fills only File and Error.
[[nodiscard]] std::string buildCsvReport(const std::vector<FileReport>& records);

// The header row, and one record's row appended to out. withPicture adds a
// last column, Spectrogram: the name of the file's picture, empty when none.
[[nodiscard]] std::string_view csvHeader(bool withPicture = false);
void appendCsvRow(std::string& out, const FileReport& record, bool withPicture = false);

// One field as RFC 4180 wants it in a row.
[[nodiscard]] std::string csvField(std::string_view text);

} // namespace orvel
