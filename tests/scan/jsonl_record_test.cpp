// SPDX-License-Identifier: MIT
// JSON Lines records read back exactly, and the options that feed them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "analysis/analysis_version.h"
#include "analysis/averaged_spectrum.h"
#include "batch/input_selection.h"
#include "report/jsonl_record.h"
#include "report/report_format.h"
#include "scan/scan_options.h"

namespace {

using namespace orvel;

FileReport sampleRecord()
{
    FileReport record;
    record.file = std::filesystem::path(std::string("/music/caf\xE9\n\"quoted\"\\.flac"));
    record.codec = "FLAC";
    record.sampleRate = 44100;
    record.storedBits = 24;
    record.channelCount = 2;
    record.duration = 0.1 + 0.2; // not a short decimal
    record.analyzedSeconds = 29.999999999999996;
    record.upscaling = {Verdict::EvidenceFound, "24-bit storage / 16-bit grid", "Channel 1: \u00e9\r\nline\ttab",
                        {{"channel1_grid_bits", 16}, {"stored_bits", 24}}};
    record.upsampling = {Verdict::Possible, "Bandwidth", "x", {{"strongest_drop_db", 41.123456789012345}}};
    record.aacSin = {Verdict::Inconclusive, "Short", "\x01 control", {}};
    record.origin = {Verdict::EvidenceFound, "MP3 frame grid", "Grid contrast z 9.1\r\nLowpass at 16.0 kHz"};
    record.originFacts.cutoffKhz = 15.987654321098765;
    record.originFacts.likelySource = "like MP3 128 kb/s";
    record.originFacts.trace = "mp3-grid";
    record.originFacts.numbers = {{"lowpass_khz", 15.987654321098765}, {"mp3_z", 9.1000000000000014},
                                  {"mp3_offset", 576}, {"lowpass_above_share", 1e-7}};
    record.spectrumDb = {-120.0, 0.0, -0.0, 1e-300, 5e-324, -3.14159265358979, 123456.789012345678, -1.0 / 3.0};
    record.spectrumDb.resize(kSpectrumBins, -120.0); // a record's spectrum is whole
    return record;
}

TEST(JsonlRecordTest, ARecordReadBackRebuildsTheSameReportsAndNumbers)
{
    const FileReport record = sampleRecord();
    std::string line;
    appendJsonlRecord(line, record, 41, true, kAnalysisVersion);
    ASSERT_EQ(line.back(), '\n');
    ASSERT_EQ(line.find('\n'), line.size() - 1) << "one record, one line";
    EXPECT_NE(line.find("\"PathBase64\":"), std::string::npos) << "the name is not UTF-8";

    const JsonlRecord back = parseJsonlRecord(std::string_view(line).substr(0, line.size() - 1));
    EXPECT_EQ(back.index, 41u);
    EXPECT_EQ(back.analysisVersion, kAnalysisVersion);
    EXPECT_TRUE(back.hasSpectrum);
    EXPECT_EQ(back.record.file.native(), record.file.native());
    ASSERT_EQ(back.record.spectrumDb.size(), record.spectrumDb.size());
    for (std::size_t i = 0; i < record.spectrumDb.size(); ++i) {
        EXPECT_EQ(std::signbit(back.record.spectrumDb[i]), std::signbit(record.spectrumDb[i])) << i;
        EXPECT_EQ(back.record.spectrumDb[i], record.spectrumDb[i]) << i;
    }
    EXPECT_EQ(back.record.duration, record.duration);
    EXPECT_EQ(back.record.analyzedSeconds, record.analyzedSeconds);
    ASSERT_EQ(back.record.upsampling.measurements.size(), 1u);
    EXPECT_EQ(back.record.upsampling.measurements[0].value, 41.123456789012345);
    EXPECT_EQ(back.record.upscaling.measurements[1].key, "stored_bits");
    // The fourth check and every one of its facts, exactly.
    EXPECT_EQ(back.record.origin.status, record.origin.status);
    EXPECT_EQ(back.record.origin.summary, record.origin.summary);
    EXPECT_EQ(back.record.origin.evidence, record.origin.evidence);
    EXPECT_EQ(back.record.originFacts.cutoffKhz, record.originFacts.cutoffKhz);
    EXPECT_EQ(back.record.originFacts.likelySource, record.originFacts.likelySource);
    EXPECT_EQ(back.record.originFacts.trace, record.originFacts.trace);
    EXPECT_EQ(back.record.originFacts.numbers, record.originFacts.numbers);
    for (const ReportFormat format : {ReportFormat::Json, ReportFormat::Text, ReportFormat::Csv, ReportFormat::Html}) {
        EXPECT_EQ(buildReport(format, {back.record}), buildReport(format, {record}));
    }
    // And the line itself is stable.
    std::string again;
    appendJsonlRecord(again, back.record, 41, true, kAnalysisVersion);
    EXPECT_EQ(again, line);
}

TEST(JsonlRecordTest, FailedRecordsAndRecordsWithoutSpectrumKeepTheirShape)
{
    FileReport failed;
    failed.file = "/music/broken.flac";
    failed.error = "The stream is truncated.";
    std::string line;
    appendJsonlRecord(line, failed, 0, false, kAnalysisVersion);
    EXPECT_EQ(line.find("PathBase64"), std::string::npos);
    EXPECT_EQ(line.find("SpectrumDb"), std::string::npos);
    EXPECT_TRUE(line.ends_with(",\"Conclusion\":\"Not analyzed: The stream is truncated.\","
                               "\"ConclusionLevel\":\"failed\"}\n"))
        << "the conclusion's keys come last: " << line;
    const JsonlRecord back = parseJsonlRecord(line);
    EXPECT_FALSE(back.hasSpectrum);
    EXPECT_EQ(back.record.error, failed.error);
    EXPECT_EQ(back.record.upscaling.status, Verdict::None);
    EXPECT_EQ(back.record.origin.status, Verdict::None);
    EXPECT_FALSE(back.record.originFacts.cutoffKhz.has_value()) << "no cutoff stays no cutoff, not 0 kHz";
    EXPECT_TRUE(back.record.originFacts.numbers.empty());
    EXPECT_EQ(buildReport(ReportFormat::Csv, {back.record}), buildReport(ReportFormat::Csv, {failed}));
}

TEST(JsonlRecordTest, DamagedLinesAreRejectedWithAReason)
{
    std::string line;
    appendJsonlRecord(line, sampleRecord(), 3, false, kAnalysisVersion);
    line.pop_back();
    const std::size_t cutoff = line.find("\"CutoffKhz\":") + 12;
    for (const std::string& bad : {line.substr(0, line.size() / 2), std::string("[]"), std::string("{}"),
                                   line + "x", std::string("{\"version\":2}"),
                                   // Status text nobody writes.
                                   std::string(line).replace(line.find("Possible"), 8, "Perhaps!"),
                                   // No fourth check.
                                   std::string(line).replace(line.find("\"Origin\""), 8, "\"Orient\""),
                                   // A cutoff that is no number.
                                   std::string(line).replace(cutoff, line.find(',', cutoff) - cutoff, "\"16\""),
                                   // What a lenient parser lets through: a leading zero, a raw
                                   // control character in a string, a trailing comma.
                                   std::string(line).replace(line.find("\"index\":3"), 10, "\"index\":03"),
                                   std::string(line).replace(line.find("FLAC"), 4, "FL\tAC"),
                                   line.substr(0, line.size() - 1) + ",}",
                                   // Nesting that would otherwise exhaust the stack.
                                   std::string(1000000, '[')}) {
        EXPECT_THROW((void)parseJsonlRecord(bad), JsonlError) << bad.substr(0, 80);
    }
}

TEST(JsonlRecordTest, Base64CarriesEveryByte)
{
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    for (std::size_t length : {0u, 1u, 2u, 3u, 4u, 255u, 256u}) {
        const std::string bytes = all.substr(0, length);
        EXPECT_EQ(base64Decode(base64Encode(bytes)), bytes) << length;
    }
    EXPECT_EQ(base64Encode("\xFF\xFE"), "//4=");
    EXPECT_THROW((void)base64Decode("abc"), JsonlError);
    EXPECT_THROW((void)base64Decode("a=bc"), JsonlError);
}

TEST(InputSelectionTest, ShardsAreDisjointCoverEverythingAndDoNotDependOnTheRun)
{
    std::vector<std::size_t> sizes(3, 0);
    for (int i = 0; i < 3000; ++i) {
        BatchInput input;
        input.shown = "library/artist " + std::to_string(i % 37) + "/track " + std::to_string(i) + ".flac";
        int owners = 0;
        for (unsigned k = 1; k <= 3; ++k) {
            if (inShard(input, Shard{k, 3})) {
                ++owners;
                ++sizes[k - 1];
            }
        }
        EXPECT_EQ(owners, 1) << input.shown;
    }
    for (const std::size_t size : sizes) {
        EXPECT_GT(size, 800u) << "a shard far from a third of the files";
    }
    // The hash is fixed: the same name lands in the same shard on every machine.
    EXPECT_EQ(stableHash(""), 0xcbf29ce484222325ULL);
    EXPECT_EQ(stableHash("a"), 0xaf63dc4c8601ec8cULL);
}

TEST(ScanOptionsScaleTest, NewOptionsParseAndBadOnesAreRefused)
{
    const ScanCommandLine line = parseScanCommandLine(
        {"--jsonl", "-", "--with-spectrum", "--files-from", "list", "-0", "--shard", "2/5", "--cache",
         "--progress=jsonl", "dir"});
    EXPECT_EQ(line.options.jsonlTarget, "-");
    EXPECT_TRUE(line.options.withSpectrum);
    EXPECT_EQ(line.options.filesFrom, "list");
    EXPECT_TRUE(line.options.nulSeparated);
    EXPECT_EQ(line.options.shardIndex, 2u);
    EXPECT_EQ(line.options.shardCount, 5u);
    EXPECT_EQ(line.options.cache, "");
    EXPECT_EQ(line.options.progress, ProgressMode::Jsonl);
    EXPECT_EQ(parseScanCommandLine({"--cache=c.db", "x"}).options.cache, "c.db");
    const ScanOptions table = parseScanCommandLine({"--checks", "--only-findings", "--color=always", "x"}).options;
    EXPECT_TRUE(table.checks);
    EXPECT_TRUE(table.onlyFindings);
    EXPECT_EQ(table.colour, ColourMode::Always);
    EXPECT_EQ(parseScanCommandLine({"--color=never", "x"}).options.colour, ColourMode::Never);
    EXPECT_TRUE(parseScanCommandLine({"--files-from", "list"}).options.paths.empty());
    EXPECT_TRUE(parseScanCommandLine({"--merge", "a.jsonl", "b.jsonl", "--csv", "-"}).options.merge);

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--shard", "0/3", "x"},
             {"--shard", "4/3", "x"},
             {"--shard", "1/0", "x"},
             {"--shard", "1-3", "x"},
             {"--shard", "1/3", "--shard", "2/3", "x"},
             {"--progress=fancy", "x"},
             {"--color=sometimes", "x"},
             {"-0", "x"},
             {"--with-spectrum", "--json", "r.json", "x"},
             {"--cache=", "x"},
             {"--merge", "a.jsonl"},
             {"--merge", "--csv", "-"},
             {"--merge", "a.jsonl", "--csv", "-", "--cache"},
             {"--merge", "a.jsonl", "--csv", "-", "--spectrogram", "pictures"},
             {"--jsonl", "-", "--csv", "-", "x"},
             {"--jsonl", "r.jsonl", "--csv", "r.jsonl", "x"},
             {"--html-pictures", "x"},
             {"--merge", "a.jsonl", "--html", "r.html", "--html-pictures"},
             {"--html", "r.html", "--csv", "r.html", "x"},
         }) {
        EXPECT_THROW((void)parseScanCommandLine(bad), UsageError) << bad[0] << " " << bad[1];
    }
}

} // namespace
