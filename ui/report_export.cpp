// SPDX-License-Identifier: MIT
#include "ui/report_export.h"

#include <stdexcept>
#include <string>

#include "report/json_report.h"
#include "report/replacing_file_writer.h"
#include "report/text_report.h"

namespace orvel {

ReportFormat reportFormatForFilterIndex(int index) { return index == 1 ? ReportFormat::Json : ReportFormat::Text; }

void writeReportFile(const std::filesystem::path& target, const std::vector<FileReport>& records,
                     ReportFormat format)
{
    ReplacingFileWriter out(target);
    if (!out.isOpen()) {
        throw std::runtime_error("Cannot create the report file.");
    }
    const std::string bytes = format == ReportFormat::Json ? buildJsonReport(records) : buildTextReport(records);
    out.write(bytes);
    if (!out.commit()) {
        throw std::runtime_error("Writing the report failed.");
    }
}

} // namespace orvel
