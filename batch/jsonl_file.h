// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

#include "analysis/file_report.h"

namespace orvel {

class ReplacingFileWriter;

// A JSON Lines report written record by record: each line goes to the
// temporary file as soon as it is added, and the complete file replaces the
// target on finish() (a FIFO or device target receives each line at once).
class JsonlFile {
public:
    JsonlFile(const std::filesystem::path& target, bool withSpectrum);
    ~JsonlFile();
    JsonlFile(const JsonlFile&) = delete;
    JsonlFile& operator=(const JsonlFile&) = delete;

    // index: the record's place in the whole input list.
    void add(const FileReport& record, std::size_t index);

    // Empty on success, else the whole message naming the target and the
    // system's reason, as ReportFile::finish().
    [[nodiscard]] std::string finish();

private:
    std::unique_ptr<ReplacingFileWriter> m_out;
    std::filesystem::path m_target;
    bool m_withSpectrum;
    std::string m_line;
};

// One record's line as JsonlFile writes it, under this build's analysis version.
void appendJsonlLine(std::string& out, const FileReport& record, std::size_t index, bool withSpectrum);

} // namespace orvel
