// SPDX-License-Identifier: MIT
#include "report/csv_report.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/files.h"
#include "tests/support/reports.h"
#include "tests/support/process.h"

namespace {

using namespace orvel::testing;

TEST(CsvReportTest, FieldsAreQuotedOnlyWhenRfc4180NeedsIt)
{
    EXPECT_EQ(orvel::csvField("plain text"), "plain text");
    EXPECT_EQ(orvel::csvField(""), "");
    EXPECT_EQ(orvel::csvField("a,b"), "\"a,b\"");
    EXPECT_EQ(orvel::csvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(orvel::csvField("two\r\nlines"), "\"two\r\nlines\"");
    EXPECT_EQ(orvel::csvField("lf\nonly"), "\"lf\nonly\"");
    EXPECT_EQ(orvel::csvField("caf\xC3\xA9 \xC2\xB7 x"), "caf\xC3\xA9 \xC2\xB7 x");
}

TEST(CsvReportTest, RowsCarryTheFactsAndChecksAndAFailedRowOnlyFileAndError)
{
    orvel::FileReport good;
    good.file = "/music/a, \"b\".flac";
    good.codec = "FLAC";
    good.sampleRate = 44100;
    good.storedBits = 24;
    good.channelCount = 2;
    good.duration = 183.4567;
    good.analyzedSeconds = 30.0;
    good.upscaling = {orvel::Verdict::EvidenceFound, "16 of 24 bits used", "ignored\r\nevidence", {{"max_grid_bits", 16}}};
    good.upsampling = {orvel::Verdict::NoEvidence, "Full bandwidth", ""};
    good.aacSin = {orvel::Verdict::NotApplicable, "Lossless source \u00B7 not tested", ""};
    good.origin = {orvel::Verdict::EvidenceFound, "MP3 frame grid", "ignored"};
    good.originFacts.cutoffKhz = 16.66; // one decimal, as the check reports it
    good.originFacts.likelySource = "like MP3 128 kb/s";
    good.originFacts.trace = "mp3-grid";
    orvel::FileReport noEdge = good;
    noEdge.file = "/music/c.flac";
    noEdge.origin = {orvel::Verdict::NoEvidence, "No codec or resampler trace", ""};
    noEdge.originFacts = {};
    orvel::FileReport failed;
    failed.file = "/music/broken.flac";
    failed.error = "Truncated, or corrupt";

    const std::string csv = orvel::buildCsvReport({good, failed, noEdge});
    const auto rows = csvRows(csv);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"File", "Codec", "SampleRate", "StoredBits", "Channels", "Duration",
                                                 "AnalyzedSeconds", "UpscalingStatus", "UpscalingSummary",
                                                 "UpsamplingStatus", "UpsamplingSummary", "AacStatus", "AacSummary",
                                                 "Error", "OriginStatus", "OriginSummary", "OriginCutoffKhz",
                                                 "OriginLikelySource", "Conclusion", "ConclusionLevel"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"/music/a, \"b\".flac", "FLAC", "44100", "24", "2", "183.457", "30.000",
                                                 "Evidence found", "16 of 24 bits used", "No evidence",
                                                 "Full bandwidth", "Not applicable",
                                                 "Lossless source \xC2\xB7 not tested", "", "Evidence found",
                                                 "MP3 frame grid", "16.7", "like MP3 128 kb/s",
                                                 "Likely MP3 source, padded from 16-bit", "likely"}));
    EXPECT_EQ(rows[2], (std::vector<std::string>{"/music/broken.flac", "", "", "", "", "", "", "", "", "", "", "", "",
                                                 "Truncated, or corrupt", "", "", "", "",
                                                 "Not analyzed: Truncated, or corrupt", "failed"}));
    EXPECT_EQ((std::vector<std::string>(rows[3].begin() + 14, rows[3].end())),
              (std::vector<std::string>{"No evidence", "No codec or resampler trace", "", "",
                                        "Padded from 16-bit", "likely"}))
        << "no edge measured: empty cutoff, not 0";
    EXPECT_EQ(orvel::buildCsvReport({}), csv.substr(0, csv.find("\r\n") + 2));
}

// A picture is named after its audio file, so its name holds whatever the
// file's name holds: a line feed, a control byte, bytes that are not UTF-8.
TEST(CsvReportTest, ThePictureColumnShowsANameAsTheFileColumnDoes)
{
    for (const std::string& name : {std::string("line\nfeed.flac"), std::string("bell\x07.flac"),
                                   std::string("caf\xE9.flac")}) {
        orvel::FileReport record;
        record.file = "/music/" + name;
        record.pictureName = name + ".png";
        std::string row;
        orvel::appendCsvRow(row, record, true);
        const auto rows = csvRows(std::string(orvel::csvHeader(true)) + row);
        ASSERT_EQ(rows.size(), 2u) << row;
        EXPECT_EQ(rows[1][14], rows[1][0].substr(7) + ".png");
        EXPECT_EQ(row.find_first_of("\n\x07\xE9"), row.size() - 1) << "only the row's own line feed is raw";
    }
}

TEST(CsvReportTest, ScanWritesTheRowOfARealFileWhoseNameNeedsQuoting)
{
    const ScratchFolder scratch;
    const std::filesystem::path dir = scratch.path();
    const std::filesystem::path file = dir / "with,comma \"quoted\".flac";
    std::filesystem::copy_file(testAudio("scan") / "mixed/b-white-2ch-48000Hz-24bit.wav", dir / "b,white.wav");
    std::filesystem::copy_file(testAudio("scan") / "mixed/Album/d-pink-1ch-44100Hz-16bit-upper.FLAC", file);
    const ProcessResult run = runProcess({scanProgram(), "--csv", "-", dir.string()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const auto rows = csvRows(run.out);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1][0], (dir / "b,white.wav").string());
    EXPECT_EQ((std::vector<std::string>(rows[1].begin() + 1, rows[1].begin() + 7)),
              (std::vector<std::string>{"WAV", "48000", "24", "2", "2.000", "2.000"}));
    EXPECT_EQ(rows[2][0], file.string());
    EXPECT_EQ((std::vector<std::string>(rows[2].begin() + 1, rows[2].begin() + 7)),
              (std::vector<std::string>{"FLAC", "44100", "16", "1", "2.000", "2.000"}));
    EXPECT_EQ(rows[2][13], "");
}

} // namespace
