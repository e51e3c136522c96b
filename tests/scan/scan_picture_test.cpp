// SPDX-License-Identifier: MIT
// kestrone-scan --spectrogram: one PNG per analysed file, named in the CSV.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "batch/input_selection.h"
#include "report/csv_report.h"
#include "report/report_format.h"
#include "tests/support/files.h"
#include "tests/support/png.h"
#include "tests/support/process.h"
#include "tests/support/reports.h"

namespace {

namespace fs = std::filesystem;
using namespace orvel::testing;
using namespace std::chrono_literals;

std::map<std::string, std::string> contents(const fs::path& folder)
{
    std::map<std::string, std::string> files;
    for (const fs::path& file : filesIn(folder)) {
        files[file.filename().string()] = readBytes(file);
    }
    return files;
}

ProcessResult scan(std::vector<std::string> args)
{
    args.insert(args.begin(), scanProgram());
    return runProcess(args);
}

TEST(ScanPictureTest, OnePngPerFileOfTheAskedSizeNamedInTheCsvAndTheSameForOneAndTwoJobs)
{
    KESTRONE_SKIP_WITHOUT_FFMPEG();
    const ScratchFolder scratch;
    const std::string mixed = testAudio("scan", "mixed").string();
    std::vector<std::map<std::string, std::string>> folders;
    std::vector<std::string> csvs;
    for (const std::string jobs : {"1", "2"}) {
        const fs::path pictures = scratch / ("pictures" + jobs);
        const ProcessResult run = scan({"--jobs", jobs, "--spectrogram", pictures.string(), "--size", "640x400",
                                        "--csv", (scratch / (jobs + ".csv")).string(), mixed});
        EXPECT_EQ(run.exitCode, 1) << "two files fail to decode\n" << run.err;
        folders.push_back(contents(pictures));
        csvs.push_back(readBytes(scratch / (jobs + ".csv")));
    }
    EXPECT_EQ(folders[0], folders[1]);
    EXPECT_EQ(csvs[0], csvs[1]);

    const auto rows = csvRows(csvs[0]);
    ASSERT_EQ(rows.size(), 8u);
    ASSERT_EQ(rows[0].size(), 21u);
    EXPECT_EQ(rows[0][13], "Error");
    EXPECT_EQ(rows[0][14], "Spectrogram");
    EXPECT_EQ(rows[0][15], "OriginStatus");
    std::set<std::string> named;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 21u);
        const std::string& error = rows[i][13];
        const std::string& picture = rows[i][14];
        if (!error.empty()) {
            EXPECT_EQ(picture, "") << rows[i][0] << ": a failed file gets no picture";
            continue;
        }
        EXPECT_EQ(picture, fs::path(rows[i][0]).filename().string() + ".png");
        named.insert(picture);
        ASSERT_EQ(folders[0].count(picture), 1u) << picture;
        const auto header = readPngHeader(folders[0].at(picture));
        ASSERT_TRUE(header.has_value()) << picture;
        EXPECT_EQ(header->width, 640);
        EXPECT_EQ(header->height, 400);
    }
    EXPECT_EQ(named.size(), 5u);
    EXPECT_EQ(folders[0].size(), named.size()) << "nothing else in the folder";
}

// Shards writing into one shared folder: no picture overwrites another file's,
// and the CSVs of the shards name each picture for one file only.
TEST(ScanPictureTest, ShardsSharingAFolderNameEachFilesPictureUniquely)
{
    const ScratchFolder scratch;
    const std::string bytes = readBytes(testAudio("scan", "mixed/a-pink-2ch-44100Hz-16bit.flac"));
    // Two files of one name in folders that fall into different shards.
    std::map<bool, std::string> byShard;
    for (const char* folder : {"a", "b", "c", "d", "e", "f", "g", "h"}) {
        orvel::BatchInput input;
        input.shown = scratch.touch(fs::path("in") / folder / "Song.flac", bytes);
        byShard.emplace(orvel::inShard(input, {1, 2}), input.shown.string());
    }
    ASSERT_EQ(byShard.size(), 2u);
    std::vector<std::string> inputs = {byShard[false], byShard[true]};
    inputs.push_back(scratch.touch("in/Unique.flac", bytes).string());

    std::map<std::string, std::string> fileOfPicture;
    for (const char* k : {"1", "2"}) {
        std::vector<std::string> args = {"--shard", std::string(k) + "/2", "--spectrogram",
                                         (scratch / "pictures").string(), "--size", "400x240", "--csv", "-"};
        args.insert(args.end(), inputs.begin(), inputs.end());
        const ProcessResult run = scan(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const auto rows = csvRows(run.out);
        for (std::size_t i = 1; i < rows.size(); ++i) {
            EXPECT_TRUE(fileOfPicture.emplace(rows[i].at(14), rows[i].at(0)).second)
                << rows[i].at(14) << " names two files";
        }
    }
    EXPECT_EQ(fileOfPicture.size(), 3u);
    EXPECT_EQ(contents(scratch / "pictures").size(), 3u) << "one picture per file";
    EXPECT_EQ(fileOfPicture.count("Unique.flac.png"), 1u) << "a name no other file has stays readable";
}

TEST(ScanPictureTest, DefaultSizeIs1200x700AndReportsWithoutPicturesKeepTheirColumns)
{
    const ScratchFolder scratch;
    const std::string file = testAudio("scan", "mixed/a-pink-2ch-44100Hz-16bit.flac").string();
    const ProcessResult withPictures =
        scan({"--spectrogram", (scratch / "p").string(), "--json", (scratch / "p.json").string(), file});
    EXPECT_EQ(withPictures.exitCode, 0) << withPictures.err;
    const auto header = readPngHeader(readBytes(scratch / "p/a-pink-2ch-44100Hz-16bit.flac.png"));
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->width, 1200);
    EXPECT_EQ(header->height, 700);

    const ProcessResult plain = scan({"--json", (scratch / "plain.json").string(), "--csv",
                                      (scratch / "plain.csv").string(), file});
    EXPECT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_EQ(readBytes(scratch / "p.json"), readBytes(scratch / "plain.json")) << "the JSON report is unchanged";
    const auto plainHeader = csvRows(readBytes(scratch / "plain.csv"))[0];
    ASSERT_EQ(plainHeader.size(), 20u);
    EXPECT_EQ(plainHeader[13], "Error");
    EXPECT_EQ(plainHeader[14], "OriginStatus") << "no Spectrogram column without pictures";
    EXPECT_EQ(withPictures.out, plain.out);
}

TEST(ScanPictureTest, BadPictureOptionsAreUsageErrors)
{
    const ScratchFolder scratch;
    const std::string file = testAudio("scan", "mixed/a-pink-2ch-44100Hz-16bit.flac").string();
    const fs::path taken = scratch.touch("taken");
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"--size", "800x600", file}, "--size goes with --spectrogram"},
        {{"--spectrogram", (scratch / "p").string(), "--size", "10x10", file}, "--size wants WIDTHxHEIGHT"},
        {{"--spectrogram", (scratch / "p").string(), "--size", "800x", file}, "--size wants WIDTHxHEIGHT"},
        {{"--spectrogram", taken.string(), file}, "not a folder"},
        {{"--spectrogram=", file}, "--spectrogram wants a folder name"},
        {{"--spectrogram", "a", "--spectrogram", "b", file}, "--spectrogram is given twice"},
    };
    for (const Case& c : cases) {
        const ProcessResult run = scan(c.args);
        EXPECT_EQ(run.exitCode, 64) << c.message;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_FALSE(fs::exists(scratch / "p" / "a-pink-2ch-44100Hz-16bit.flac.png"));
}

TEST(ScanPictureTest, APictureThatCannotBeWrittenFailsItsFileButNotTheRun)
{
    const ScratchFolder scratch;
    fs::create_directories(scratch / "p/a-pink-2ch-44100Hz-16bit.flac.png");
    const ProcessResult run = scan({"--spectrogram", (scratch / "p").string(), "--csv", (scratch / "r.csv").string(),
                                    testAudio("scan", "mixed/a-pink-2ch-44100Hz-16bit.flac").string(),
                                    testAudio("scan", "mixed/b-white-2ch-48000Hz-24bit.wav").string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("a-pink-2ch-44100Hz-16bit.flac: no picture: "), std::string::npos) << run.err;
    const auto rows = csvRows(readBytes(scratch / "r.csv"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1][14], "");
    EXPECT_EQ(rows[2][14], "b-white-2ch-48000Hz-24bit.wav.png");
    EXPECT_TRUE(readPngHeader(readBytes(scratch / "p/b-white-2ch-48000Hz-24bit.wav.png")).has_value());
}

// interrupt/ holds three 1 s files, then sixteen 30 s files.
TEST(ScanPictureTest, CtrlCLeavesOnlyWholePicturesOfTheCompleteRecords)
{
    const ScratchFolder scratch;
    const fs::path pictures = scratch / "pictures";
    RunningProgram run({scanProgram(), "--jobs", "2", "--spectrogram", pictures.string(), "--csv",
                        (scratch / "report.csv").string(), testAudio("scan", "interrupt").string()});
    ASSERT_TRUE(run.readLine(60s).value_or("").starts_with("FILE "));
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(run.readLine(60s).has_value());
    }
    run.signal(SIGINT);
    const ProcessResult result = run.finish();
    EXPECT_EQ(result.exitCode, 130) << result.err;

    std::set<std::string> named;
    const auto rows = csvRows(readBytes(scratch / "report.csv"));
    for (std::size_t i = 1; i < rows.size(); ++i) {
        named.insert(rows[i][14]);
    }
    EXPECT_GE(named.size(), 3u);
    EXPECT_LT(named.size(), 19u);
    const auto written = contents(pictures);
    std::set<std::string> names;
    for (const auto& [name, bytes] : written) {
        names.insert(name);
        EXPECT_TRUE(readPngHeader(bytes).has_value()) << name << " is cut";
    }
    EXPECT_EQ(names, named) << "every picture belongs to a complete record, no temporary file is left";
}

TEST(CsvPictureColumnTest, TheColumnComesOnlyWithPicturesAndIsEmptyForAFailedFile)
{
    orvel::FileReport good = analysedRecord("/music/a.flac");
    good.pictureName = "a.flac.png";
    const orvel::FileReport failed = failedRecord("/music/b.flac", "Truncated");
    const auto plain = csvRows(orvel::buildReport(orvel::ReportFormat::Csv, {good, failed}));
    const auto with = csvRows(orvel::buildReport(orvel::ReportFormat::CsvWithPictures, {good, failed}));
    ASSERT_EQ(plain.size(), 3u);
    ASSERT_EQ(with.size(), 3u);
    // The picture's column follows Error; the ORIGIN columns come after it.
    for (std::size_t i = 0; i < 3; ++i) {
        ASSERT_EQ(with[i].size(), plain[i].size() + 1);
        std::vector<std::string> without = with[i];
        without.erase(without.begin() + 14);
        EXPECT_EQ(without, plain[i]);
    }
    EXPECT_EQ(with[0][14], "Spectrogram");
    EXPECT_EQ(with[0][15], "OriginStatus");
    EXPECT_EQ(with[1][14], "a.flac.png");
    EXPECT_EQ(with[1][15], "Possible");
    EXPECT_EQ(with[2][14], "");
    EXPECT_EQ(with[2][13], "Truncated");
}

} // namespace
