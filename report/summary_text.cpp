// SPDX-License-Identifier: MIT
#include "report/summary_text.h"

#include <string>

#include "analysis/format_number.h"

namespace orvel {
namespace {

constexpr std::wstring_view kSeparator = L"  \u00B7  ";
constexpr std::wstring_view kLineBreak = L"\r\n";

void appendBlock(std::wstring& out, std::wstring_view title, const CheckResult& check)
{
    out += title;
    out += L" / ";
    out += check.status;
    out += kLineBreak;
    out += check.summary;
    out += kLineBreak;
    out += check.evidence;
    out += kLineBreak;
    out += kLineBreak;
}

} // namespace

std::wstring buildSummaryText(const FileReport& record)
{
    std::wstring out;
    if (!record.error.empty()) {
        out += L"Analysis could not complete";
        out += kLineBreak;
        out += kLineBreak;
        out += record.error;
        return out;
    }

    const std::wstring precision =
        record.storedBits != 0 ? std::to_wstring(record.storedBits) + L" bit" : std::wstring(L"unknown precision");

    out += record.codec;
    out += kSeparator;
    out += formatNumber(static_cast<double>(record.sampleRate) / 1000.0, 3);
    out += L" kHz";
    out += kSeparator;
    out += precision;
    out += kSeparator;
    out += std::to_wstring(record.channelCount);
    out += L" ch";
    out += kLineBreak;
    out += L"Analyzed ";
    out += formatNumber(record.analyzedSeconds, 2);
    out += L" s of ";
    out += formatNumber(record.duration, 2);
    out += L" s";
    out += kLineBreak;
    out += kLineBreak;

    appendBlock(out, L"UPSCALING", record.upscaling);
    appendBlock(out, L"UPSAMPLING", record.upsampling);
    appendBlock(out, L"AAC-SIN \u00B7 EXPERIMENTAL", record.aacSin);
    return out;
}

} // namespace orvel
