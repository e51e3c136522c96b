// SPDX-License-Identifier: MIT
#include "report/report_format.h"

#include "report/csv_report.h"
#include "report/html_report.h"
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
    case ReportFormat::Html:
    case ReportFormat::HtmlWithPictures: {
        static const std::string html = htmlReportOpening(false);
        static const std::string htmlWithPictures = htmlReportOpening(true);
        return format == ReportFormat::Html ? html : htmlWithPictures;
    }
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
    case ReportFormat::Html: appendHtmlRow(out, record, index, false); break;
    case ReportFormat::HtmlWithPictures: appendHtmlRow(out, record, index, true); break;
    }
}

std::string_view reportClosing(ReportFormat format)
{
    return format == ReportFormat::Json ? jsonReportClosing() : std::string_view();
}

ReportDocument::ReportDocument(ReportFormat format) : m_format(format) {}

std::string ReportDocument::opening() const { return std::string(reportOpening(m_format)); }

void ReportDocument::append(std::string& out, const FileReport& record)
{
    appendReportRecord(out, m_format, record, m_count++);
    m_summary.add(record);
}

std::string ReportDocument::closing() const
{
    if (m_format == ReportFormat::Html || m_format == ReportFormat::HtmlWithPictures) {
        return htmlReportClosing(m_summary);
    }
    return std::string(reportClosing(m_format));
}

std::string buildReport(ReportFormat format, const std::vector<FileReport>& records)
{
    ReportDocument document(format);
    std::string out = document.opening();
    for (const FileReport& record : records) {
        document.append(out, record);
    }
    out += document.closing();
    return out;
}

} // namespace orvel
