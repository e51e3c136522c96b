// SPDX-License-Identifier: MIT
#include "report/text_report.h"

#include "report/summary_text.h"
#include "report/utf8.h"

namespace orvel {

std::string buildTextReport(const std::vector<FileReport>& records)
{
    std::string out = "\xEF\xBB\xBF";
    for (const FileReport& record : records) {
        std::wstring section = record.file;
        section += L"\r\n";
        section += buildSummaryText(record);
        section += L"\r\n";
        section.append(40, L'-');
        section += L"\r\n";
        out += toUtf8(section);
    }
    return out;
}

} // namespace orvel
