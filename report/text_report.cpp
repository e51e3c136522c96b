// SPDX-License-Identifier: MIT
#include "report/text_report.h"

#include "report/report_name.h"
#include "report/summary_text.h"
#include "text/utf8.h"

namespace orvel {

std::string_view textReportOpening() { return "\xEF\xBB\xBF"; }

void appendTextSection(std::string& out, const FileReport& record)
{
    out += reportName(record.file);
    out += "\r\n";
    out += buildSummaryText(record);
    out += "\r\n";
    out.append(40, '-');
    out += "\r\n";
}

std::string buildTextReport(const std::vector<FileReport>& records)
{
    std::string out(textReportOpening());
    for (const FileReport& record : records) {
        appendTextSection(out, record);
    }
    return out;
}

} // namespace orvel
