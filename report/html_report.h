// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "analysis/conclusion.h"
#include "analysis/file_report.h"

namespace orvel {

// The HTML report: one self-contained HTML5 document (inline style and a
// small inline script, nothing fetched) that reads without the script. A
// table of every file, one row per record in order: the path (its folder
// dimmer), the format, the conclusion, each check's verdict and ORIGIN's cutoff in kHz, and
// under the path, opened by a click, each check's summary, evidence and
// measurements. The library summary is written after the table, when every
// record is counted, and the page's style shows it at the top. The script
// sorts by a click on a header and filters by verdict, by
// conclusion and by text.
//
// With pictures, a column holds each record's thumbnailPng as a data URI,
// small in the row and at its full size on a click.
//
// Every text from a file (its name, a tag in a message) is escaped, its
// control characters and invalid bytes shown as reportName and
// sanitizeUtf8 show them, so no name can add markup or script to the page.

// What the summary counts, gathered record by record.
struct HtmlSummary {
    std::size_t files = 0;
    std::size_t failed = 0;
    std::size_t withEvidence = 0; // some check found evidence
    std::size_t onlyPossible = 0; // some check says possible, none found evidence
    // Per check of kReportChecks, the count of each verdict of kVerdicts.
    std::array<std::array<std::size_t, kVerdicts.size()>, kReportChecks.size()> verdicts{};
    ConclusionCounts conclusions;

    void add(const FileReport& record);
};

[[nodiscard]] std::string htmlReportOpening(bool withPictures);
// index: the record's place in the report, 0 for the first.
void appendHtmlRow(std::string& out, const FileReport& record, std::size_t index, bool withPictures);
[[nodiscard]] std::string htmlReportClosing(const HtmlSummary& summary);

// Text as HTML character data or a double-quoted attribute value: & < > " '
// as references, invalid UTF-8 and control characters other than tab and
// line feed as U+FFFD, CR LF and a lone CR as a line feed.
void appendHtmlText(std::string& out, std::string_view text);

} // namespace orvel
