// SPDX-License-Identifier: MIT
#include "tests/support/reports.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/support/files.h"

namespace orvel::testing {

FileReport analysedRecord(const std::filesystem::path& file)
{
    FileReport r;
    r.file = file;
    r.codec = "FLAC";
    r.sampleRate = 44100;
    r.storedBits = 16;
    r.channelCount = 2;
    r.duration = 183.456789;
    r.analyzedSeconds = 30.0;
    r.upscaling = {Verdict::NoEvidence, "Uses the full 16-bit grid", "Lowest used bit: 0"};
    r.upsampling = {Verdict::Possible, "Drop near 22.050 kHz", "Line one\r\nLine two"};
    r.aacSin = {Verdict::Inconclusive, "Too short", ""};
    r.spectrumDb = {0.0, -3.5, -120.0};
    return r;
}

FileReport failedRecord(const std::filesystem::path& file, const std::string& error)
{
    FileReport r;
    r.file = file;
    r.error = error;
    return r;
}

std::vector<JsonValue> reportRecords(const std::string& document)
{
    try {
        const JsonValue root = parseJson(document);
        const JsonValue& reports = root["reports"];
        EXPECT_EQ(reports.kind, JsonValue::Kind::Array);
        return reports.items;
    } catch (const std::runtime_error& error) {
        ADD_FAILURE() << error.what() << "\n" << document;
        return {};
    }
}

std::vector<JsonValue> reportFileRecords(const std::filesystem::path& report)
{
    SCOPED_TRACE(report.string());
    return reportRecords(readBytes(report));
}

void expectFailedRecord(const JsonValue& record, const std::string& file)
{
    SCOPED_TRACE(file);
    EXPECT_EQ(record["File"].text, file);
    ASSERT_EQ(record["Error"].kind, JsonValue::Kind::String);
    EXPECT_FALSE(record["Error"].text.empty());
    EXPECT_EQ(record["Codec"].text, "");
    EXPECT_EQ(record["SampleRate"].number, 0);
    EXPECT_EQ(record["Channels"].number, 0);
    EXPECT_EQ(record["AnalyzedSeconds"].number, 0);
    EXPECT_EQ(record["Upscaling"]["Status"].text, "");
    EXPECT_TRUE(record["SpectrumDb"].items.empty());
}

void expectCompleteRecord(const JsonValue& record, const std::string& file)
{
    SCOPED_TRACE(file);
    EXPECT_EQ(record["File"].text, file);
    EXPECT_TRUE(record["Error"].isNull()) << record["Error"].text;
    EXPECT_FALSE(record["Codec"].text.empty());
    EXPECT_GT(record["AnalyzedSeconds"].number, 0);
    for (const char* check : {"Upscaling", "Upsampling", "Aac"}) {
        EXPECT_FALSE(record[check]["Status"].text.empty()) << check;
    }
    EXPECT_EQ(record["SpectrumDb"].items.size(), 2049U);
}

std::vector<std::vector<std::string>> csvRows(const std::string& document)
{
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < document.size(); ++i) {
        const char c = document[i];
        if (quoted) {
            if (c == '"' && i + 1 < document.size() && document[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"' && field.empty()) {
            quoted = true;
        } else if (c == ',') {
            row.push_back(field);
            field.clear();
        } else if (c == '\r' && i + 1 < document.size() && document[i + 1] == '\n') {
            row.push_back(field);
            field.clear();
            rows.push_back(row);
            row.clear();
            ++i;
        } else if (c == '\r' || c == '\n' || c == '"') {
            throw std::runtime_error("bare CR, LF or quote outside a quoted CSV field");
        } else {
            field += c;
        }
    }
    if (!field.empty() || !row.empty() || quoted) {
        throw std::runtime_error("CSV does not end with CR LF");
    }
    return rows;
}

} // namespace orvel::testing
