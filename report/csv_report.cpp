// SPDX-License-Identifier: MIT
#include "report/csv_report.h"

#include "analysis/conclusion.h"
#include "report/report_name.h"
#include "text/format_number.h"
#include "text/utf8.h"

namespace orvel {
namespace {

// The seed's columns come first in their order, then the picture's name when
// asked for, then the fourth check's columns and the conclusion.
constexpr std::string_view kHeader =
    "File,Codec,SampleRate,StoredBits,Channels,Duration,AnalyzedSeconds,"
    "UpscalingStatus,UpscalingSummary,UpsamplingStatus,UpsamplingSummary,AacStatus,AacSummary,Error,"
    "OriginStatus,OriginSummary,OriginCutoffKhz,OriginLikelySource,Conclusion,ConclusionLevel\r\n";
constexpr std::string_view kHeaderWithPicture =
    "File,Codec,SampleRate,StoredBits,Channels,Duration,AnalyzedSeconds,"
    "UpscalingStatus,UpscalingSummary,UpsamplingStatus,UpsamplingSummary,AacStatus,AacSummary,Error,"
    "Spectrogram,OriginStatus,OriginSummary,OriginCutoffKhz,OriginLikelySource,Conclusion,ConclusionLevel\r\n";

void appendField(std::string& row, std::string_view text, bool last = false)
{
    row += csvField(text);
    row += last ? "\r\n" : ",";
}

void appendConclusion(std::string& row, const FileReport& record)
{
    const Conclusion conclusion = concludeFile(record);
    appendField(row, conclusionText(conclusion));
    appendField(row, conclusionLevelName(conclusion.level), true);
}

} // namespace

std::string csvField(std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(text);
    }
    std::string quoted = "\"";
    for (const char ch : text) {
        if (ch == '"') {
            quoted += '"';
        }
        quoted += ch;
    }
    quoted += '"';
    return quoted;
}

std::string_view csvHeader(bool withPicture) { return withPicture ? kHeaderWithPicture : kHeader; }

void appendCsvRow(std::string& out, const FileReport& record, bool withPicture)
{
    appendField(out, reportName(record.file));
    if (!record.error.empty()) {
        // Zeros would read as measured facts in a spreadsheet; a failed file has none.
        out += ",,,,,,,,,,,,";
        appendField(out, record.error);
        out += withPicture ? ",,,,," : ",,,,";
        appendConclusion(out, record);
        return;
    }
    appendField(out, record.codec);
    appendField(out, std::to_string(record.sampleRate));
    appendField(out, std::to_string(record.storedBits));
    appendField(out, std::to_string(record.channelCount));
    appendField(out, formatNumber(record.duration, 3));
    appendField(out, formatNumber(record.analyzedSeconds, 3));
    for (const CheckResult* check : {&record.upscaling, &record.upsampling, &record.aacSin}) {
        appendField(out, verdictText(check->status));
        appendField(out, check->summary);
    }
    appendField(out, "");
    if (withPicture) {
        appendField(out, reportName(record.pictureName));
    }
    appendField(out, verdictText(record.origin.status));
    appendField(out, record.origin.summary);
    appendField(out, record.originFacts.cutoffKhz ? formatNumber(*record.originFacts.cutoffKhz, 1) : std::string());
    appendField(out, record.originFacts.likelySource);
    appendConclusion(out, record);
}

std::string buildCsvReport(const std::vector<FileReport>& records)
{
    std::string out(kHeader);
    for (const FileReport& record : records) {
        appendCsvRow(out, record);
    }
    return out;
}

} // namespace orvel
