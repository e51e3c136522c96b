// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "analysis/file_report.h"
#include "report/html_report.h"

namespace orvel {

// The report documents: the JSON report, the text report, the CSV table
// (with a last column naming each file's picture when pictures are written)
// and the HTML page (with a column of small spectrograms, from each record's
// thumbnailPng).
enum class ReportFormat { Json, Text, Csv, CsvWithPictures, Html, HtmlWithPictures };

// A document is its opening, each record's part in order, and its closing;
// written piece by piece it has the same bytes as built at once.
[[nodiscard]] std::string_view reportOpening(ReportFormat format);
// index: the record's place in the document, 0 for the first.
void appendReportRecord(std::string& out, ReportFormat format, const FileReport& record, std::size_t index);
// Empty for the HTML page, whose closing holds its summary: see ReportDocument.
[[nodiscard]] std::string_view reportClosing(ReportFormat format);

// One document written piece by piece: opening(), append() per record in
// order, then closing(), which for the HTML page carries the summary of the
// records appended.
class ReportDocument {
public:
    explicit ReportDocument(ReportFormat format);
    [[nodiscard]] std::string opening() const;
    void append(std::string& out, const FileReport& record);
    [[nodiscard]] std::string closing() const;

private:
    ReportFormat m_format;
    std::size_t m_count = 0;
    HtmlSummary m_summary;
};

[[nodiscard]] std::string buildReport(ReportFormat format, const std::vector<FileReport>& records);

} // namespace orvel
