// SPDX-License-Identifier: MIT
// kestrone-scan as a script runs it: stdout and stderr are pipes.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/messages.h"
#include "tests/support/reports.h"
#include "tests/support/process.h"

namespace {

namespace fs = std::filesystem;
using namespace orvel::testing;

// The walk order of mixed/: depth-first, names in byte order ("Album" < "a-..."
// and "Disc 2" < "c-..."), links and other extensions left out.
const std::vector<std::string> kMixedOrder = {
    "Album/Disc 2/e-pink-2ch-44100Hz-192k.mp3",
    "Album/c-pink-2ch-44100Hz-16in24.flac",
    "Album/d-pink-1ch-44100Hz-16bit-upper.FLAC",
    "a-pink-2ch-44100Hz-16bit.flac",
    "b-white-2ch-48000Hz-24bit.wav",
    "f-truncated.flac",
    "g-text-named.wav",
};

std::string mixed(const std::string& relative = {})
{
    return (testAudio("scan") / "mixed" / relative).lexically_normal().string();
}

std::vector<std::string> mixedPaths()
{
    std::vector<std::string> paths;
    for (const std::string& relative : kMixedOrder) {
        paths.push_back(mixed(relative));
    }
    return paths;
}

std::vector<std::string> recordFiles(const std::string& json)
{
    std::vector<std::string> files;
    for (const JsonValue& record : reportRecords(json)) {
        files.push_back(record["File"].optionalText().value_or("<null>"));
    }
    return files;
}

ProcessResult scan(std::vector<std::string> args, const fs::path& cwd = {})
{
    args.insert(args.begin(), scanProgram());
    return runProcess(args, {.workingFolder = cwd});
}

TEST(ScanOutputTest, OutputAndEveryReportAreTheSameForOneAndTwoJobs)
{
    const ScratchFolder scratch;
    const fs::path dir = scratch.path();
    std::vector<std::string> tables, summaries, jsons, texts, csvs;
    for (const std::string jobs : {"1", "2"}) {
        const ProcessResult run = scan({"--jobs", jobs, "--json", (dir / (jobs + ".json")).string(), "--text",
                                        (dir / (jobs + ".txt")).string(), "--csv", (dir / (jobs + ".csv")).string(),
                                        mixed(), (testAudio("scan") / "extra/readme.txt").string()});
        EXPECT_EQ(run.exitCode, 1) << run.err;
        // The failed files, named on stderr too, in input order (and the MP3
        // in a build without FFmpeg).
        EXPECT_EQ(lines(run.err).size(), kFfmpegBuilt ? 3u : 4u) << run.err;
        EXPECT_NE(run.err.find("kestrone-scan: " + (testAudio("scan") / "extra/readme.txt").string() + ": Unsupported format."),
                  std::string::npos) << run.err;
        tables.push_back(run.out);
        jsons.push_back(readBytes(dir / (jobs + ".json")));
        texts.push_back(readBytes(dir / (jobs + ".txt")));
        csvs.push_back(readBytes(dir / (jobs + ".csv")));
        summaries.push_back(scan({"--jobs", jobs, "--summary", mixed()}).out);
    }
    EXPECT_EQ(tables[0], tables[1]);
    EXPECT_EQ(summaries[0], summaries[1]);
    EXPECT_EQ(jsons[0], jsons[1]);
    EXPECT_EQ(texts[0], texts[1]);
    EXPECT_EQ(csvs[0], csvs[1]);

    std::vector<std::string> expected = mixedPaths();
    expected.push_back((testAudio("scan") / "extra/readme.txt").string());
    EXPECT_EQ(recordFiles(jsons[0]), expected);
    EXPECT_EQ(csvRows(csvs[0]).size(), expected.size() + 1);
    EXPECT_TRUE(texts[0].starts_with("\xEF\xBB\xBF" + expected[0] + "\r\n"));
}

TEST(ScanOutputTest, JsonReportIsByteIdenticalToTheAnalyzeTestMode)
{
    const ScratchFolder scratch;
    const fs::path dir = scratch.path();
    const ProcessResult run = scan({"--json", (dir / "scan.json").string(), mixed(), (testAudio("scan") / "extra/readme.txt").string()});
    ASSERT_EQ(run.exitCode, 1) << run.err;

    std::vector<std::string> reference = {kestroneProgram(), "--analyze-test", (dir / "reference.json").string()};
    for (const std::string& path : mixedPaths()) {
        reference.push_back(path);
    }
    reference.push_back((testAudio("scan") / "extra/readme.txt").string());
    ASSERT_EQ(runProcess(reference).exitCode, 1);

    const std::string json = readBytes(dir / "scan.json");
    EXPECT_EQ(json, readBytes(dir / "reference.json"));
    const std::vector<JsonValue> records = reportRecords(json);
    ASSERT_EQ(records.size(), 8u);
    EXPECT_EQ(records[3]["Codec"].optionalText(), "FLAC");
    EXPECT_EQ(records[3]["SampleRate"].number, 44100);
    EXPECT_EQ(records[3]["StoredBits"].number, 16);
    EXPECT_EQ(records[3]["Channels"].number, 2);
    EXPECT_EQ(records[3]["Error"].optionalText(), std::nullopt);
    EXPECT_FALSE(records[3]["SpectrumDb"].items.empty());
    EXPECT_TRUE(records[7]["Error"].optionalText().value_or("").starts_with("Unsupported format")) << records[7]["File"].text;
}

TEST(ScanOutputTest, JsonReportEqualsAnalyzeTestByTheRuleForRelativePaths)
{
    // kestrone-scan records the absolute path; --analyze-test the path as given.
    const ScratchFolder scratch;
    const fs::path dir = scratch.path();
    const std::string relative = "mixed/a-pink-2ch-44100Hz-16bit.flac";
    ASSERT_EQ(scan({"--json", (dir / "scan.json").string(), relative}, testAudio("scan")).exitCode, 0);
    ProcessOptions inScanFolder;
    inScanFolder.workingFolder = testAudio("scan");
    ASSERT_EQ(runAnalysis({(dir / "absolute.json").string(), mixed("a-pink-2ch-44100Hz-16bit.flac")}).exitCode, 0);
    ASSERT_EQ(runAnalysis({(dir / "relative.json").string(), relative}, inScanFolder).exitCode, 0);

    const std::string json = readBytes(dir / "scan.json");
    EXPECT_EQ(json, readBytes(dir / "absolute.json"));
    EXPECT_EQ(recordFiles(json), std::vector<std::string>{mixed("a-pink-2ch-44100Hz-16bit.flac")});
    EXPECT_EQ(recordFiles(readBytes(dir / "relative.json")), std::vector<std::string>{relative});
}

TEST(ScanOutputTest, TableShowsEachFileInInputOrderInAlignedColumnsAndClosingCounts)
{
    KESTRONE_SKIP_WITHOUT_FFMPEG();
    const ProcessResult run =
        runProcess({scanProgram(), "--checks", "mixed"}, {.env = {{"COLUMNS", "200"}}, .workingFolder = testAudio("scan")});
    ASSERT_EQ(run.exitCode, 1) << run.err;
    const std::vector<std::string> out = lines(run.out);
    ASSERT_EQ(out.size(), kMixedOrder.size() + 2) << run.out;

    const std::string& header = out.front();
    ASSERT_TRUE(header.starts_with("FILE "));
    const std::size_t conclusion = header.find("CONCLUSION");
    const std::size_t columns[] = {header.find("UPSCALING"), header.find("UPSAMPLING"), header.find("AAC-SIN"),
                                   header.find("ORIGIN")};
    EXPECT_LT(conclusion, columns[0]) << header;
    EXPECT_EQ(columns[3], columns[2] + 16) << header;
    const std::vector<std::string> verdicts = {"Evidence found", "Possible", "No evidence", "Inconclusive",
                                               "Not applicable"};
    for (std::size_t i = 0; i < kMixedOrder.size(); ++i) {
        const std::string& line = out[i + 1];
        const std::string name = "mixed/" + kMixedOrder[i];
        ASSERT_TRUE(line.starts_with(name + " ")) << line;
        if (kMixedOrder[i].starts_with("f-") || kMixedOrder[i].starts_with("g-")) {
            EXPECT_EQ(line.substr(conclusion, 14), "Not analyzed: ") << line;
            EXPECT_GT(line.size(), conclusion + 14);
            continue;
        }
        EXPECT_NE(line[conclusion], ' ') << line;
        for (std::size_t c = 0; c < 4; ++c) {
            const auto word = std::find_if(verdicts.begin(), verdicts.end(), [&](const std::string& v) {
                return line.compare(columns[c], v.size(), v) == 0;
            });
            ASSERT_NE(word, verdicts.end()) << "column " << c << " of: " << line;
        }
    }
    // The padded 16-in-24 file is the one whose low bits are unused.
    EXPECT_EQ(out[2].substr(columns[0], 14), "Evidence found");
    EXPECT_EQ(out[2].substr(conclusion, 18), "Padded from 16-bit");

    // Not a terminal: the conclusions counted on one line, each file once.
    const std::string& closing = out.back();
    ASSERT_TRUE(closing.starts_with("7 files: ")) << closing;
    std::size_t counted = 0;
    for (std::size_t start = 9; start < closing.size();) {
        const std::size_t end = std::min(closing.find(" \xC2\xB7 ", start), closing.size());
        counted += std::stoul(closing.substr(start, end - start));
        start = end + 4;
    }
    EXPECT_EQ(counted, 7u) << closing;
    EXPECT_NE(closing.find("2 not analyzed"), std::string::npos) << closing;
    EXPECT_NE(closing.find("1 padded from 16-bit"), std::string::npos) << closing;
}

TEST(ScanOutputTest, SummaryPrintsEachFilesTextSummaryWithUnixLineEnds)
{
    const ProcessResult run = scan({"--summary", "mixed/a-pink-2ch-44100Hz-16bit.flac", "mixed/f-truncated.flac"},
                                   testAudio("scan"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out.find('\r'), std::string::npos);
    EXPECT_TRUE(run.out.starts_with("mixed/a-pink-2ch-44100Hz-16bit.flac\n"
                                    "CONCLUSION / Too little content to judge\n"
                                    "FLAC  \xC2\xB7  44.100 kHz  \xC2\xB7  16 bit  \xC2\xB7  2 ch\n"
                                    "Analyzed 2.00 s of 2.00 s\n\nUPSCALING / No evidence\n"))
        << run.out;
    EXPECT_NE(run.out.find("\nAAC-SIN \xC2\xB7 EXPERIMENTAL / "), std::string::npos);
    EXPECT_NE(run.out.find("\n\nmixed/f-truncated.flac\nAnalysis could not complete\n\n"), std::string::npos) << run.out;
    EXPECT_EQ(lines(run.out).back(), "2 files: 1 too little content \xC2\xB7 1 not analyzed") << run.out;
}

TEST(ScanOutputTest, ReportOnStdoutReplacesTheTableAndMatchesTheFile)
{
    const ScratchFolder scratch;
    const fs::path dir = scratch.path();
    const std::string file = mixed("a-pink-2ch-44100Hz-16bit.flac");
    const std::string failed = mixed("g-text-named.wav");
    ASSERT_EQ(scan({"--text", (dir / "report.txt").string(), "--csv", (dir / "report.csv").string(), file, failed}).exitCode, 1);

    const ProcessResult text = scan({"--text", "-", file, failed});
    EXPECT_EQ(text.exitCode, 1);
    EXPECT_EQ(text.out, readBytes(dir / "report.txt"));
    EXPECT_TRUE(text.out.starts_with("\xEF\xBB\xBF" + file + "\r\n"));

    const ProcessResult csv = scan({"--csv=-", "--json", (dir / "report.json").string(), file, failed});
    EXPECT_EQ(csv.exitCode, 1);
    EXPECT_EQ(csv.out, readBytes(dir / "report.csv"));
    EXPECT_EQ(recordFiles(readBytes(dir / "report.json")), (std::vector<std::string>{file, failed}));
}

TEST(ScanWalkTest, ExplicitPathsFollowLinksAndKeepAnyExtension)
{
    const ProcessResult run = scan({"--json", "-", mixed("link-to-a.flac"), mixed("linked-album"),
                                    mixed("h-skipped-extension.mpc"), (testAudio("scan") / "extra/readme.txt").string()});
    EXPECT_EQ(run.exitCode, 1);
    const std::vector<JsonValue> records = reportRecords(run.out);
    EXPECT_EQ(recordFiles(run.out),
              (std::vector<std::string>{mixed("link-to-a.flac"), mixed("linked-album/Disc 2/e-pink-2ch-44100Hz-192k.mp3"),
                                        mixed("linked-album/c-pink-2ch-44100Hz-16in24.flac"),
                                        mixed("linked-album/d-pink-1ch-44100Hz-16bit-upper.FLAC"),
                                        mixed("h-skipped-extension.mpc"), (testAudio("scan") / "extra/readme.txt").string()}));
    ASSERT_EQ(records.size(), 6u);
    EXPECT_EQ(records[0]["Error"].optionalText(), std::nullopt) << records[0]["File"].text;
    EXPECT_EQ(records[0]["Codec"].optionalText(), "FLAC");
    // A FLAC named .mpc is recognised by its content; text stays unsupported.
    EXPECT_EQ(records[4]["Error"].optionalText(), std::nullopt);
    EXPECT_EQ(records[4]["Codec"].optionalText(), "FLAC");
    EXPECT_EQ(records[5]["Error"].optionalText(), kUnsupportedMessage);
}

TEST(ScanWalkTest, AFileNamedDirectlyIsReadByContentButAFolderWalkGoesByTheExtension)
{
    const ScratchFolder scratch;
    const fs::path dir = scratch.path();
    scratch.touch("album/take.dat", readBytes(mixed("a-pink-2ch-44100Hz-16bit.flac")));
    scratch.touch("album/noise.dat", std::string(4096, '\x55'));
    const ProcessResult walked = scan({"--json", "-", (dir / "album").string()});
    EXPECT_EQ(walked.exitCode, 1) << "a folder of no audio file is said so";
    EXPECT_TRUE(reportRecords(walked.out).empty());

    const ProcessResult named =
        scan({"--json", "-", (dir / "album/take.dat").string(), (dir / "album/noise.dat").string()});
    EXPECT_EQ(named.exitCode, 1);
    const std::vector<JsonValue> records = reportRecords(named.out);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]["Error"].optionalText(), std::nullopt);
    EXPECT_EQ(records[0]["Codec"].optionalText(), "FLAC");
    EXPECT_EQ(records[1]["Error"].optionalText(), kUnsupportedMessage);
}

TEST(ScanWalkTest, DuplicatesAreListedOnceAtTheirFirstPlaceUnderTheirAbsolutePath)
{
    const ProcessResult run = scan({"--csv", "-", "mixed/a-pink-2ch-44100Hz-16bit.flac", "mixed/", "./mixed/Album/../a-pink-2ch-44100Hz-16bit.flac",
                                    "mixed//Album", mixed("Album/c-pink-2ch-44100Hz-16in24.flac")},
                                   testAudio("scan"));
    std::vector<std::string> expected = {mixed("a-pink-2ch-44100Hz-16bit.flac")};
    for (const std::string& path : mixedPaths()) {
        if (path != expected[0]) {
            expected.push_back(path);
        }
    }
    std::vector<std::string> files;
    for (const auto& row : csvRows(run.out)) {
        files.push_back(row.at(0));
    }
    ASSERT_FALSE(files.empty());
    files.erase(files.begin()); // header
    EXPECT_EQ(files, expected);
}

TEST(ScanWalkTest, MissingPathsAndSpecialFilesBecomeErrorRecordsWithoutBlocking)
{
    const ScratchFolder scratch;
    const fs::path dir = scratch.path();
    ASSERT_EQ(::mkfifo((dir / "pipe.flac").c_str(), 0600), 0);
    fs::create_directories(dir / "empty");
    const ProcessResult run = scan({"--json", "-", (dir / "missing.flac").string(), (dir / "pipe.flac").string(),
                                    (dir / "empty").string()});
    EXPECT_EQ(run.exitCode, 1);
    const std::vector<JsonValue> records = reportRecords(run.out);
    ASSERT_EQ(records.size(), 2u) << run.out;
    EXPECT_EQ(records[0]["File"].optionalText(), (dir / "missing.flac").string());
    EXPECT_EQ(records[0]["Error"].optionalText(), "Cannot read this path: No such file or directory.");
    EXPECT_EQ(records[1]["Error"].optionalText(), "This path is not a regular file.");

    const ProcessResult empty = scan({(dir / "empty").string()});
    EXPECT_EQ(empty.exitCode, 1) << "nothing found is not a clean library";
    EXPECT_EQ(empty.out, "0 files.\n");
    EXPECT_EQ(empty.err, "kestrone-scan: no audio files found in the paths given\n");
}

TEST(ScanWalkTest, NamesThatAreNotUtf8OrHoldControlCharactersAreAnalysedAndShownSafely)
{
    const ScratchFolder scratch;
    const fs::path dir = scratch.path();
    fs::copy_file(mixed("a-pink-2ch-44100Hz-16bit.flac"), dir / "bytes-\xFF.flac");
    fs::copy_file(mixed("a-pink-2ch-44100Hz-16bit.flac"), dir / "esc-\x1b[31m-red.flac");
    const ProcessResult run = scan({"--json", (dir / "report.json").string(), dir.string()});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("bytes-\xEF\xBF\xBD.flac"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("esc-\xEF\xBF\xBD[31m-red.flac"), std::string::npos) << run.out;

    const std::vector<JsonValue> records = reportRecords(readBytes(dir / "report.json"));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]["File"].optionalText(), (dir / "bytes-\xEF\xBF\xBD.flac").string());
    EXPECT_EQ(records[0]["Error"].optionalText(), std::nullopt);
    EXPECT_EQ(records[1]["Error"].optionalText(), std::nullopt);
}

TEST(ScanExitCodeTest, ZeroWhenEveryFileIsAnalysedAndNothingOnStderr)
{
    KESTRONE_SKIP_WITHOUT_FFMPEG();
    const ProcessResult run = scan({mixed("a-pink-2ch-44100Hz-16bit.flac"), mixed("Album")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(lines(run.out).back().starts_with("4 files: ")) << run.out;
    EXPECT_EQ(lines(run.out).back().find("not analyzed"), std::string::npos) << run.out;
}

TEST(ScanExitCodeTest, TwoWhenAReportCannotBeWrittenWhileTheOthersAreStillWritten)
{
    const ScratchFolder scratch;
    const fs::path dir = scratch.path();
    const std::string file = mixed("a-pink-2ch-44100Hz-16bit.flac");
    const ProcessResult run =
        scan({"--json", (dir / "no-such-folder/report.json").string(), "--csv", (dir / "report.csv").string(), file});
    EXPECT_EQ(run.exitCode, 2);
    // The path and the system's reason, once.
    EXPECT_EQ(run.err, "kestrone-scan: " +
                           cannotCreateReportMessage((dir / "no-such-folder/report.json").string(),
                                                     "No such file or directory") +
                           "\n");
    EXPECT_EQ(csvRows(readBytes(dir / "report.csv")).size(), 2u);

    // A failed file does not hide that the report is missing.
    EXPECT_EQ(scan({"--text", (dir / "no-such-folder/r.txt").string(), mixed("f-truncated.flac")}).exitCode, 2);

    const ProcessResult full = runProcess({"/bin/sh", "-c", "exec \"$0\" \"$@\" >/dev/full", scanProgram(), file});
    EXPECT_EQ(full.exitCode, 2);
    EXPECT_NE(full.err.find("cannot write to standard output"), std::string::npos) << full.err;
}

TEST(ScanExitCodeTest, AReadOnlyReportIsNotReplacedAndTheMessageSaysSo)
{
    // The tests run as root, whom access() lets write anything: the permission bits decide.
    const ScratchFolder scratch;
    const fs::path report = scratch / "report.json";
    writeBytes(report, "kept");
    fs::permissions(report, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const ProcessResult run = scan({"--json", report.string(), mixed("a-pink-2ch-44100Hz-16bit.flac")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "kestrone-scan: " + cannotCreateReportMessage(report.string(), "the file is read-only") + "\n");
    EXPECT_EQ(readBytes(report), "kept");
    EXPECT_EQ(scratch.entries(), std::vector<std::string>{"report.json"});
}

TEST(ScanExitCodeTest, ReportFilesAreStillWrittenWhenTheReaderOfStdoutLeaves)
{
    const ScratchFolder scratch;
    const fs::path dir = scratch.path();
    const ProcessResult run = runProcess({"/bin/sh", "-c", "\"$0\" --jobs 1 --json \"$1\" \"$2\" | head -n 1",
                                          scanProgram(), (dir / "report.json").string(), (testAudio("scan") / "interrupt").string()});
    EXPECT_TRUE(run.out.starts_with("FILE ")) << run.out;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(reportRecords(readBytes(dir / "report.json")).size(), 19u);
}

TEST(ScanExitCodeTest, SixtyFourForUsageErrorsWithNothingAnalysedOrWritten)
{
    const ScratchFolder scratch;
    const fs::path dir = scratch.path();
    const std::string file = mixed("a-pink-2ch-44100Hz-16bit.flac");
    const std::string audioTarget = (dir / "report.flac").string();
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus", file},
        {file, "--json"},
        {},
        {"--summary"},
        {"--jobs", "0", file},
        {"--jobs", "two", file},
        {"-j", "99999999999", file},
        {"--json", "-", "--csv", "-", file},
        {"--json", (dir / "same").string(), "--text", (dir / "./same").string(), file},
        {"--csv", audioTarget, file},
        {"--html", audioTarget, file},
        {"--html", (testAudio("scan") / "extra/readme.txt").string(), (testAudio("scan") / "extra/readme.txt").string()},
        {"--text", (testAudio("scan") / "extra/readme.txt").string(), (testAudio("scan") / "extra/readme.txt").string()},
    };
    for (const auto& args : cases) {
        const ProcessResult run = scan(args);
        std::string shown;
        for (const auto& arg : args) {
            shown += arg + " ";
        }
        EXPECT_EQ(run.exitCode, 64) << shown;
        EXPECT_EQ(run.out, "") << shown;
        EXPECT_TRUE(run.err.starts_with("kestrone-scan: ")) << shown << run.err;
    }
    EXPECT_FALSE(fs::exists(audioTarget));
    EXPECT_FALSE(fs::exists(dir / "same"));
    EXPECT_EQ(readBytes(testAudio("scan") / "extra/readme.txt"), "not audio\n");
}

TEST(ScanExitCodeTest, HelpAndVersionPrintOnStdoutAndSucceed)
{
    const ProcessResult help = scan({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: kestrone-scan [options] PATH...\n"));
    EXPECT_EQ(help.err, "");
    const ProcessResult version = scan({mixed(), "--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "kestrone-scan 0.2.0\n");
}

} // namespace
