// SPDX-License-Identifier: MIT
// The three front ends run one core: the window's JSON export, the headless
// `kestrone --analyze-test` and `kestrone-scan --json` give the same bytes for
// the same files (absolute paths), the failed file's record included.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/json.h"
#include "tests/support/process.h"
#include "tests/ui/window_test_support.h"
#include "ui/main_window.h"

namespace {

namespace fs = std::filesystem;
using orvel::testing::readBytes;
using orvel::testing::testAudio;

// Four files, the last of which fails, analysed in the window and exported as
// the save dialog's file type filterIndex.
const std::vector<fs::path>& frontEndFiles()
{
    static const std::vector<fs::path> files = {testAudio("ui", "2ch-44100Hz-16bit-noise.flac"),
                                                testAudio("ui", "2ch-48000Hz-16in24-padded.flac"),
                                                testAudio("ui", "2ch-44100Hz-128k.mp3"), testAudio("ui", "not-audio.txt")};
    return files;
}

void exportFromTheWindow(const fs::path& report, int filterIndex)
{
    orvel::MainWindow window;
    window.show();
    window.queue().addPaths(frontEndFiles());
    ASSERT_EQ(window.queue().entries().size(), frontEndFiles().size());
    window.queue().startAnalysis();
    ASSERT_TRUE(kestrone_test::waitFor([&] { return !window.queue().busy(); }));
    window.saveReport(report, filterIndex);
}

TEST(FrontEndsTest, WindowHeadlessAndScanWriteTheSameJsonReport)
{
    const orvel::testing::ScratchFolder scratch;
    const std::vector<fs::path>& files = frontEndFiles();
    ASSERT_NO_FATAL_FAILURE(exportFromTheWindow(scratch / "window.json", 1));

    std::vector<std::string> headlessArgs{(scratch / "headless.json").string()};
    std::vector<std::string> scanArgs{orvel::testing::scanProgram(), "--json", (scratch / "scan.json").string()};
    for (const fs::path& file : files) {
        headlessArgs.push_back(file.string());
        scanArgs.push_back(file.string());
    }
    EXPECT_EQ(orvel::testing::runAnalysis(headlessArgs).exitCode, 1) << "one file fails";
    EXPECT_EQ(orvel::testing::runProcess(scanArgs).exitCode, 1);

    const std::string headless = readBytes(scratch / "headless.json");
    ASSERT_TRUE(orvel::testing::isStrictJson(headless));
    EXPECT_TRUE(readBytes(scratch / "window.json") == headless) << "the window's export differs";
    EXPECT_TRUE(readBytes(scratch / "scan.json") == headless) << "kestrone-scan --json differs";

    // The failed file's record, the same in all three: only File and Error.
    const orvel::testing::JsonValue report = orvel::testing::parseJson(headless);
    ASSERT_EQ(report["reports"].items.size(), files.size());
    const orvel::testing::JsonValue& failed = report["reports"].items[3];
    EXPECT_EQ(failed["File"].text, files[3].string());
    EXPECT_FALSE(failed["Error"].isNull());
    EXPECT_EQ(failed["Codec"].text, "");
    EXPECT_TRUE(failed["SpectrumDb"].items.empty());
}

// Every other file type of the window's export: the export's index in the
// save dialog, kestrone-scan's option for the same report.
struct ExportCase {
    int filterIndex;
    const char* scanOption;
};

void PrintTo(const ExportCase& row, std::ostream* out) { *out << row.scanOption; }

class FrontEndsExportTest : public ::testing::TestWithParam<ExportCase> {};

TEST_P(FrontEndsExportTest, TheWindowExportsTheBytesKestroneScanWrites)
{
    const orvel::testing::ScratchFolder scratch;
    const std::vector<fs::path>& files = frontEndFiles();
    ASSERT_NO_FATAL_FAILURE(exportFromTheWindow(scratch / "window.report", GetParam().filterIndex));

    std::vector<std::string> scanArgs{orvel::testing::scanProgram(), GetParam().scanOption,
                                      (scratch / "scan.report").string()};
    for (const fs::path& file : files) {
        scanArgs.push_back(file.string());
    }
    EXPECT_EQ(orvel::testing::runProcess(scanArgs).exitCode, 1) << "one file fails";
    const std::string scan = readBytes(scratch / "scan.report");
    ASSERT_NE(scan.find("2ch-44100Hz-128k.mp3"), std::string::npos);
    EXPECT_TRUE(readBytes(scratch / "window.report") == scan) << "the window's export differs";
}

INSTANTIATE_TEST_SUITE_P(FileTypes, FrontEndsExportTest,
                         ::testing::Values(ExportCase{2, "--text"}, ExportCase{3, "--csv"}, ExportCase{4, "--jsonl"},
                                           ExportCase{5, "--html"}),
                         [](const ::testing::TestParamInfo<ExportCase>& param) { return std::string(param.param.scanOption + 2); });

} // namespace
