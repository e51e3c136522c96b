// SPDX-License-Identifier: MIT
#pragma once

// Reading the reports the hostile runs write: strict JSON, valid UTF-8, and
// the shape of a failed record.
#include <gtest/gtest.h>

#include <string>

#include "fuzz/json_check.h"
#include "tests/app/json_value.h"
#include "tests/report/scratch_folder.h"

namespace kestrone_hostile {

using orvel::testing::JsonValue;

inline constexpr const char* kNotRegularFile = "This path is not a regular file.";
inline constexpr const char* kOutOfRange = "Supported range: 8–384 kHz, 1–32 channels.";
inline constexpr const char* kUnsupported =
    "Unsupported format in the compact edition. Use FLAC, WAV, AIFF, or Windows-supported M4A/ALAC/AAC/MP3. "
    "APE, WavPack, Ogg and Opus are not included.";

// The records of a report file; fails the test when the bytes are not strict
// JSON in valid UTF-8.
inline std::vector<JsonValue> reportRecords(const std::filesystem::path& report)
{
    const std::string bytes = orvel::testing::readBytes(report);
    EXPECT_TRUE(orvel::fuzz::isStrictJson(bytes)) << report;
    if (!orvel::fuzz::isStrictJson(bytes)) {
        return {};
    }
    return orvel::testing::JsonReader::parse(bytes)["reports"].items;
}

// A record that failed carries its message and nothing of an analysis.
inline void expectFailedRecord(const JsonValue& record, const std::string& file)
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

// A record that was analysed: no message, three verdicts, the whole spectrum.
inline void expectCompleteRecord(const JsonValue& record, const std::string& file)
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

} // namespace kestrone_hostile
