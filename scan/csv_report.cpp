// SPDX-License-Identifier: MIT
#include "scan/csv_report.h"

#include "analysis/format_number.h"
#include "report/utf8.h"

namespace orvel {
namespace {

constexpr std::string_view kHeader =
    "File,Codec,SampleRate,StoredBits,Channels,Duration,AnalyzedSeconds,"
    "UpscalingStatus,UpscalingSummary,UpsamplingStatus,UpsamplingSummary,AacStatus,AacSummary,Error\r\n";

void appendField(std::string& row, std::string_view text, bool last = false)
{
    row += csvField(text);
    row += last ? "\r\n" : ",";
}

void appendWide(std::string& row, std::wstring_view text, bool last = false)
{
    appendField(row, toUtf8(text), last);
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

std::string buildCsvReport(const std::vector<FileReport>& records)
{
    std::string out(kHeader);
    for (const FileReport& record : records) {
        appendWide(out, record.file);
        if (!record.error.empty()) {
            // Zeros would read as measured facts in a spreadsheet; a failed file has none.
            out += ",,,,,,,,,,,,";
            appendWide(out, record.error, true);
            continue;
        }
        appendWide(out, record.codec);
        appendField(out, std::to_string(record.sampleRate));
        appendField(out, std::to_string(record.storedBits));
        appendField(out, std::to_string(record.channelCount));
        appendWide(out, formatNumber(record.duration, 3));
        appendWide(out, formatNumber(record.analyzedSeconds, 3));
        for (const CheckResult* check : {&record.upscaling, &record.upsampling, &record.aacSin}) {
            appendWide(out, check->status);
            appendWide(out, check->summary);
        }
        appendField(out, "", true);
    }
    return out;
}

} // namespace orvel
