// SPDX-License-Identifier: MIT
// kestrone-scan on a real MP3 transcode stored as FLAC (lame, then its own
// decoder, then flac) and on the genuine material it was made from: the
// ORIGIN verdict in the table, the closing counts, the summaries, the text
// report and the CSV, and nothing of it in the JSON report.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/reports.h"

namespace {

namespace fs = std::filesystem;
using namespace orvel::testing;

const std::string kTranscode = "mp3-b128-band.flac";
const std::string kGenuine = "genuine-band-44100.flac";

std::string originFile(const std::string& name) { return testAudio("origin", name).string(); }

ProcessResult scan(std::vector<std::string> args)
{
    args.insert(args.begin(), scanProgram());
    return runProcess(args);
}

// The text between a block's title line and the next empty line.
std::string blockAfter(const std::string& text, const std::string& title)
{
    const std::size_t start = text.find(title);
    if (start == std::string::npos) {
        return {};
    }
    return text.substr(start, text.find("\r\n\r\n", start) - start);
}

TEST(ScanOriginTest, TableShowsTheOriginColumnAndTheClosingLineCountsIt)
{
    // Names as given, short enough for the name column to hold them whole; a
    // terminal this wide shows the check columns without --checks.
    const ProcessResult run = runProcess({scanProgram(), kTranscode, kGenuine},
                                         {.env = {{"COLUMNS", "200"}}, .workingFolder = testAudio("origin")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> out = lines(run.out);
    ASSERT_EQ(out.size(), 4u) << run.out;
    const std::size_t column = out[0].find("ORIGIN");
    ASSERT_NE(column, std::string::npos) << out[0];
    EXPECT_EQ(out[0].substr(column), "ORIGIN") << "the last column";
    EXPECT_EQ(out[1].substr(column), "Evidence found") << out[1];
    EXPECT_EQ(out[2].substr(column), "No evidence") << out[2];
    const std::size_t conclusion = out[0].find("CONCLUSION");
    EXPECT_EQ(out[1].substr(conclusion, 18), "Likely MP3 source ") << out[1];
    EXPECT_EQ(out[2].substr(conclusion, 15), "No trace found ") << out[2];
    EXPECT_EQ(out[3], "2 files: 1 no trace \xC2\xB7 1 likely lossy (1 MP3)");
}

TEST(ScanOriginTest, ReportsCarryTheVerdictCutoffAndSourceAndTheJsonReportNone)
{
    const ScratchFolder scratch;
    const fs::path dir = scratch.path();
    const ProcessResult run =
        scan({"--csv", (dir / "r.csv").string(), "--text", (dir / "r.txt").string(), "--json",
              (dir / "r.json").string(), originFile(kTranscode), originFile(kGenuine)});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const auto rows = csvRows(readBytes(dir / "r.csv"));
    ASSERT_EQ(rows.size(), 3u);
    ASSERT_EQ(rows[0].size(), 20u);
    EXPECT_EQ((std::vector<std::string>(rows[0].begin() + 13, rows[0].end())),
              (std::vector<std::string>{"Error", "OriginStatus", "OriginSummary", "OriginCutoffKhz",
                                        "OriginLikelySource", "Conclusion", "ConclusionLevel"}));
    const std::vector<std::string>& mp3 = rows[1];
    EXPECT_EQ(mp3[14], "Evidence found");
    EXPECT_EQ(mp3[15], "MP3 frame grid");
    // LAME's 128 kb/s lowpass lies near 17 kHz; one decimal.
    ASSERT_EQ(mp3[16].size(), 4u) << mp3[16];
    EXPECT_EQ(mp3[16][2], '.');
    EXPECT_NEAR(std::strtod(mp3[16].c_str(), nullptr), 16.9, 0.35);
    EXPECT_EQ(mp3[17], "MP3");
    EXPECT_EQ(mp3[18], "Likely MP3 source");
    EXPECT_EQ(mp3[19], "likely");
    EXPECT_EQ(rows[2][14], "No evidence");
    EXPECT_EQ(rows[2][18], "No trace found");

    const std::string text = readBytes(dir / "r.txt");
    const std::string transcodeSection = text.substr(0, text.find(std::string(40, '-')));
    EXPECT_NE(transcodeSection.find(".flac\r\nCONCLUSION / Likely MP3 source\r\nFLAC  "), std::string::npos)
        << "the answer first, before the facts and the four blocks";
    const std::string block = blockAfter(transcodeSection, "\r\nORIGIN / ");
    EXPECT_TRUE(block.starts_with("\r\nORIGIN / Evidence found\r\nMP3 frame grid\r\n")) << block;
    EXPECT_NE(block.find("Lowpass edge: " + mp3[16] + " kHz"), std::string::npos) << block;
    EXPECT_GT(transcodeSection.find("\r\nORIGIN / "), transcodeSection.find("\r\nAAC-SIN \xC2\xB7 EXPERIMENTAL / "))
        << "the fourth block follows AAC-SIN";
    const std::string genuineSection = text.substr(text.find(std::string(40, '-')));
    EXPECT_NE(genuineSection.find("\r\nORIGIN / No evidence\r\n"), std::string::npos) << genuineSection;

    const std::string json = readBytes(dir / "r.json");
    EXPECT_EQ(json.find("Origin"), std::string::npos);
    EXPECT_EQ(json.find("MP3 frame grid"), std::string::npos);
    for (const JsonValue& record : reportRecords(json)) {
        expectCompleteRecord(record, record["File"].optionalText().value_or(""));
    }
}

TEST(ScanOriginTest, SummaryEndsEachFileWithTheOriginBlock)
{
    const ProcessResult run = scan({"--summary", originFile(kTranscode)});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::size_t aac = run.out.find("\nAAC-SIN \xC2\xB7 EXPERIMENTAL / ");
    const std::size_t origin = run.out.find("\n\nORIGIN / Evidence found\nMP3 frame grid\n");
    ASSERT_NE(aac, std::string::npos) << run.out;
    ASSERT_NE(origin, std::string::npos) << run.out;
    EXPECT_LT(aac, origin);
    EXPECT_NE(run.out.find("\nExperimental: codec and resampler traces are clues", origin), std::string::npos)
        << "the block ends with its caveat";
}

} // namespace
