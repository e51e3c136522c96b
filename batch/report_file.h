// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "analysis/file_report.h"
#include "report/report_format.h"

namespace orvel {

class ReplacingFileWriter;

// Writes one report while its records arrive, so no record has to wait in
// memory for the last one. The target is replaced only by the complete
// report (see ReplacingFileWriter); until then an existing file stays as it was.
class ReportFile {
public:
    ReportFile(const std::filesystem::path& target, ReportFormat format);
    ~ReportFile();
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    void add(const FileReport& record);

    // Puts the report in place. Empty on success, else the whole message, the
    // same in every front end: "Cannot create the report file PATH: REASON."
    // or "Writing the report file PATH failed: REASON.", REASON in the
    // system's words (see ReplacingFileWriter::failure).
    [[nodiscard]] std::string finish();

private:
    void flush(bool always);

    std::unique_ptr<ReplacingFileWriter> m_out;
    std::filesystem::path m_target;
    ReportDocument m_document;
    std::string m_pending;
};

// The whole report of records at once; the same result texts as ReportFile.
[[nodiscard]] std::string writeReportFile(const std::filesystem::path& target, ReportFormat format,
                                          const std::vector<FileReport>& records);

// The JSON Lines of records as a whole run of them writes them (one part of
// all the records, no spectrum), put in place as writeReportFile puts a report,
// with the same result texts.
[[nodiscard]] std::string writeJsonlReportFile(const std::filesystem::path& target,
                                               const std::vector<FileReport>& records, int analysisVersion);

} // namespace orvel
