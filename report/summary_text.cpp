// SPDX-License-Identifier: MIT
#include "report/summary_text.h"

#include <string>

#include "analysis/conclusion.h"
#include "text/format_number.h"

namespace orvel {
namespace {

constexpr std::string_view kSeparator = "  \u00B7  ";
constexpr std::string_view kLineBreak = "\r\n";

void appendBlock(std::string& out, std::string_view title, const CheckResult& check)
{
    out += title;
    out += " / ";
    out += verdictText(check.status);
    out += kLineBreak;
    out += check.summary;
    out += kLineBreak;
    out += check.evidence;
    out += kLineBreak;
    out += kLineBreak;
}

} // namespace

std::string buildSummaryText(const FileReport& record, bool explained)
{
    std::string out;
    if (!record.error.empty()) {
        out += "Analysis could not complete";
        out += kLineBreak;
        out += kLineBreak;
        out += record.error;
        return out;
    }

    const std::string precision =
        record.storedBits != 0 ? std::to_string(record.storedBits) + " bit" : std::string("unknown precision");

    // The answer first; the window adds why and what it means.
    const Conclusion conclusion = concludeFile(record);
    out += "CONCLUSION / ";
    out += conclusionText(conclusion);
    out += kLineBreak;
    if (explained) {
        out += conclusionExplanation(conclusion);
        out += kLineBreak;
        out += kLineBreak;
    }
    out += record.codec;
    out += kSeparator;
    out += formatNumber(static_cast<double>(record.sampleRate) / 1000.0, 3);
    out += " kHz";
    out += kSeparator;
    out += precision;
    out += kSeparator;
    out += std::to_string(record.channelCount);
    out += " ch";
    out += kLineBreak;
    out += "Analyzed ";
    out += formatNumber(record.analyzedSeconds, 2);
    out += " s of ";
    out += formatNumber(record.duration, 2);
    out += " s";
    out += kLineBreak;
    out += kLineBreak;

    for (const ReportCheck& check : kReportChecks) {
        appendBlock(out, check.blockTitle, record.*(check.check));
    }
    return out;
}

} // namespace orvel
