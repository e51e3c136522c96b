// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace scantest {

// The generated test audio of kestrone-scan and the two programs under test.
std::filesystem::path audioDir();
std::string scanProgram();
std::string kestroneProgram();

// The record lines of a JSON report (one record object per line).
std::vector<std::string> jsonRecords(const std::string& document);
// A string member of one record line ("File", "Codec", "Error"); nullopt for null or absent.
std::optional<std::string> jsonString(const std::string& record, const std::string& key);
// A number member as its text ("44100").
std::string jsonNumber(const std::string& record, const std::string& key);
// The "Status" of a check object ("Upscaling", "Upsampling", "Aac").
std::string jsonStatus(const std::string& record, const std::string& check);

// RFC 4180 rows; throws when a line does not end in CR LF.
std::vector<std::vector<std::string>> csvRows(const std::string& document);

std::vector<std::string> lines(const std::string& text);

} // namespace scantest
