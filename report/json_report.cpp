// SPDX-License-Identifier: MIT
#include "report/json_report.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string_view>

#include "text/utf8.h"

namespace orvel {
namespace {

constexpr std::string_view kOpening =
    "{\"tool\":\"Kestrone 0.2\",\"scope\":\"First 30 seconds (24-million-sample cap); all channels "
    "for precision, first two for spectral/AAC checks.\",\"reports\":[";
constexpr std::string_view kClosing = "\n]}";

// %g with precision 6 in the "C" conventions. std::to_chars never consults a
// locale, so a comma-decimal LC_ALL cannot leak into the document.
void appendNumber(std::string& out, double value)
{
    if (!std::isfinite(value)) {
        // Not a number JSON can carry; keep the document parseable.
        out += "null";
        return;
    }
    std::array<char, 32> buffer{};
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::general, 6);
    out.append(buffer.data(), result.ptr);
}

void appendInteger(std::string& out, std::int32_t value)
{
    std::array<char, 16> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    out.append(buffer.data(), result.ptr);
}

void appendCheck(std::string& out, const CheckResult& check)
{
    out += '{';
    appendCheckMembers(out, check);
    out += '}';
}

} // namespace

void appendCheckMembers(std::string& out, const CheckResult& check)
{
    out += "\"Status\":";
    out += jsonQuote(verdictText(check.status));
    out += ",\"Summary\":";
    out += jsonQuote(check.summary);
    out += ",\"Evidence\":";
    out += jsonQuote(check.evidence);
}

void appendRecordFacts(std::string& out, const FileReport& record, void (*appendDouble)(std::string&, double))
{
    out += ",\"Codec\":";
    out += jsonQuote(record.codec);
    out += ",\"SampleRate\":";
    appendInteger(out, record.sampleRate);
    out += ",\"StoredBits\":";
    appendInteger(out, record.storedBits);
    out += ",\"Channels\":";
    appendInteger(out, record.channelCount);
    out += ",\"Duration\":";
    appendDouble(out, record.duration);
    out += ",\"AnalyzedSeconds\":";
    appendDouble(out, record.analyzedSeconds);
    out += ",\"Error\":";
    if (record.error.empty()) {
        out += "null";
    } else {
        out += jsonQuote(record.error);
    }
}

void appendJsonRecord(std::string& out, const FileReport& record)
{
    out += "{\"File\":";
    out += jsonQuote(displayName(record.file));
    appendRecordFacts(out, record, appendNumber);
    out += ",\"Upscaling\":";
    appendCheck(out, record.upscaling);
    out += ",\"Upsampling\":";
    appendCheck(out, record.upsampling);
    out += ",\"Aac\":";
    appendCheck(out, record.aacSin);
    out += ",\"SpectrumDb\":[";
    for (std::size_t i = 0; i < record.spectrumDb.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        appendNumber(out, record.spectrumDb[i]);
    }
    out += "]}";
}

std::string_view jsonReportOpening() { return kOpening; }

std::string_view jsonReportClosing() { return kClosing; }

std::string jsonQuote(std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    // Any invalid sequence becomes U+FFFD, so the document is always valid UTF-8.
    const std::string utf8 = sanitizeUtf8(text);
    std::string out;
    out.reserve(utf8.size() + 2);
    out += '"';
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (byte) {
        case 0x09: out += "\\t"; break;
        case 0x0A: out += "\\n"; break;
        case 0x0D: out += "\\r"; break;
        case 0x22: out += "\\\""; break;
        case 0x5C: out += "\\\\"; break;
        default:
            if (byte < 0x20) {
                out += "\\u00";
                out += kHex[byte >> 4];
                out += kHex[byte & 0x0F];
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

std::string buildJsonReport(const std::vector<FileReport>& records)
{
    std::string out;
    // Each analysed record carries 2049 spectrum numbers of up to 12 characters.
    out.reserve(kOpening.size() + 4 + records.size() * 26000);
    out += kOpening;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        out += '\n';
        appendJsonRecord(out, records[i]);
    }
    out += kClosing;
    return out;
}

} // namespace orvel
