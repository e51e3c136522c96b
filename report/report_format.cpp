// SPDX-License-Identifier: MIT
#include "report/report_format.h"

#include "report/csv_report.h"
#include "report/json_report.h"
#include "report/text_report.h"

namespace orvel {

std::string_view reportOpening(ReportFormat format)
{
    switch (format) {
    case ReportFormat::Json: return jsonReportOpening();
    case ReportFormat::Text: return textReportOpening();
    case ReportFormat::Csv: return csvHeader();
    case ReportFormat::CsvWithPictures: return csvHeader(true);
    }
    return {};
}

void appendReportRecord(std::string& out, ReportFormat format, const FileReport& record, std::size_t index)
{
    switch (format) {
    case ReportFormat::Json:
        if (index > 0) {
            out += ',';
        }
        out += '\n';
        appendJsonRecord(out, record);
        break;
    case ReportFormat::Text: appendTextSection(out, record); break;
    case ReportFormat::Csv: appendCsvRow(out, record); break;
    case ReportFormat::CsvWithPictures: appendCsvRow(out, record, true); break;
    }
}

std::string_view reportClosing(ReportFormat format)
{
    return format == ReportFormat::Json ? jsonReportClosing() : std::string_view();
}

std::string buildReport(ReportFormat format, const std::vector<FileReport>& records)
{
    std::string out(reportOpening(format));
    for (std::size_t i = 0; i < records.size(); ++i) {
        appendReportRecord(out, format, records[i], i);
    }
    out += reportClosing(format);
    return out;
}

} // namespace orvel
