// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/analyze_file.h"
#include "tests/ui/queue_test_support.h"
#include "tests/support/files.h"
#include "tests/support/messages.h"
#include "tests/support/reports.h"
#include "batch/report_file.h"
#include "ui/report_export.h"

namespace {

namespace fs = std::filesystem;
using orvel::ReportFormat;

using orvel::testing::readBytes;

std::vector<orvel::FileReport> analysedAndFailed()
{
    const std::atomic<bool> stop{false};
    std::vector<orvel::FileReport> records;
    records.push_back(orvel::analyzeFile(orvel::testing::testAudio("ui", "2ch-44100Hz-16bit-noise.flac"), stop, {}));
    records.push_back(orvel::testing::failedRecord("/music/broken.flac", "The FLAC stream is truncated or corrupt."));
    return records;
}

TEST(ReportExportTest, OnlyTheFirstFileTypeIsJson)
{
    EXPECT_EQ(orvel::reportFormatForFilterIndex(1), ReportFormat::Json);
    EXPECT_EQ(orvel::reportFormatForFilterIndex(2), ReportFormat::Text);
    EXPECT_EQ(orvel::reportFormatForFilterIndex(0), ReportFormat::Text);
    EXPECT_EQ(orvel::reportFormatForFilterIndex(4), std::nullopt) << "JSON Lines";
}

TEST(ReportExportTest, AFailedWriteIsExplainedInTheSystemsWords)
{
    using orvel::testing::cannotCreateReportMessage;
    orvel::testing::ScratchFolder temp;
    const fs::path missing = temp.path() / "missing" / "report.json";
    EXPECT_EQ(orvel::writeReportFile(missing, ReportFormat::Json, {}),
              cannotCreateReportMessage(missing.native(), "No such file or directory"));
    fs::create_directories(temp.path() / "taken.json");
    EXPECT_EQ(orvel::writeReportFile(temp.path() / "taken.json", ReportFormat::Json, {}),
              cannotCreateReportMessage((temp.path() / "taken.json").native(), "Is a directory"));
    const fs::path plain = temp.touch("plain");
    EXPECT_EQ(orvel::writeReportFile(plain / "report.json", ReportFormat::Json, {}),
              cannotCreateReportMessage((plain / "report.json").native(), "Not a directory"));
    EXPECT_EQ(orvel::writeReportFile(temp.path() / "fine.json", ReportFormat::Json, {}), "") << "nothing to tell";
}

TEST(ReportExportTest, JsonHasNoByteOrderMarkAndListsRecordsInOrder)
{
    orvel::testing::ScratchFolder temp;
    const fs::path target = temp.path() / "report.txt"; // the extension does not decide the format
    EXPECT_EQ(orvel::writeReportFile(target, ReportFormat::Json, analysedAndFailed()), "");

    const std::string bytes = readBytes(target);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.front(), '{');
    EXPECT_EQ(bytes.back(), '}');
    const auto first = bytes.find("2ch-44100Hz-16bit-noise.flac");
    const auto second = bytes.find("/music/broken.flac");
    ASSERT_NE(first, std::string::npos);
    ASSERT_NE(second, std::string::npos);
    EXPECT_LT(first, second);
    EXPECT_NE(bytes.find("The FLAC stream is truncated or corrupt."), std::string::npos);
    EXPECT_EQ(bytes.find('\r'), std::string::npos);
}

TEST(ReportExportTest, TextReportIsBomPrefixedWithCrLfSections)
{
    orvel::testing::ScratchFolder temp;
    const fs::path target = temp.path() / "report.json"; // the extension does not decide the format
    EXPECT_EQ(orvel::writeReportFile(target, ReportFormat::Text, analysedAndFailed()), "");

    const std::string bytes = readBytes(target);
    ASSERT_GE(bytes.size(), 3u);
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
    const std::string rule(40, '-');
    const std::string path = orvel::testing::testAudio("ui", "2ch-44100Hz-16bit-noise.flac").string();
    EXPECT_EQ(bytes.substr(3, path.size() + 2), path + "\r\n");
    const std::size_t conclusion = 3 + path.size() + 2;
    EXPECT_EQ(bytes.substr(conclusion, 13), "CONCLUSION / ");
    EXPECT_EQ(bytes.substr(bytes.find("\r\n", conclusion) + 2, 5), "FLAC ");
    // The analysed file's section ends with its last evidence line, two empty lines and the rule.
    const auto firstRule = bytes.find(rule + "\r\n");
    ASSERT_NE(firstRule, std::string::npos);
    EXPECT_EQ(bytes.substr(firstRule - 6, 6), "\r\n\r\n\r\n");
    EXPECT_NE(bytes.substr(firstRule - 8, 2), "\r\n");
    // The failed file's section has no empty line before its rule, and the file ends with it.
    const std::string failedSection = "/music/broken.flac\r\nAnalysis could not complete\r\n\r\n"
                                      "The FLAC stream is truncated or corrupt.\r\n" +
                                      rule + "\r\n";
    EXPECT_EQ(bytes.substr(firstRule + rule.size() + 2), failedSection);
    // No bare line feeds anywhere.
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            ASSERT_GT(i, 0u);
            EXPECT_EQ(bytes[i - 1], '\r') << "at byte " << i;
        }
    }
}

TEST(ReportExportTest, AnExistingReportIsReplacedWhole)
{
    orvel::testing::ScratchFolder temp;
    const fs::path target = temp.touch("report.json", std::string(100000, 'z'));
    EXPECT_EQ(orvel::writeReportFile(target, ReportFormat::Text, {}), "");
    EXPECT_EQ(readBytes(target), "\xEF\xBB\xBF");
}

TEST(ReportExportTest, AnUncreatableFileIsReportedWithTheCreateMessage)
{
    orvel::testing::ScratchFolder temp;
    const fs::path inMissingFolder = temp.path() / "missing" / "report.json";
    EXPECT_EQ(orvel::writeReportFile(inMissingFolder, ReportFormat::Json, {}),
              orvel::testing::cannotCreateReportMessage(inMissingFolder.native(), "No such file or directory"));
    EXPECT_FALSE(fs::exists(inMissingFolder));
    const fs::path folder = temp.path() / "a-folder";
    fs::create_directory(folder);
    EXPECT_NE(orvel::writeReportFile(folder, ReportFormat::Json, {}), "");
    EXPECT_TRUE(fs::is_directory(folder));
}

} // namespace
