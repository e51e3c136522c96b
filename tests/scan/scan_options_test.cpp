// SPDX-License-Identifier: MIT
#include "scan/scan_options.h"

#include <gtest/gtest.h>

namespace {

using orvel::parseScanCommandLine;
using orvel::ScanCommand;
using orvel::UsageError;

TEST(ScanOptionsTest, OptionsAndPathsMayBeMixedInBothSpellings)
{
    const auto parsed = parseScanCommandLine({L"a.flac", L"--jobs=3", L"--json", L"r.json", L"--csv=-", L"--summary",
                                              L"-", L"--", L"--text", L"-j"});
    EXPECT_EQ(parsed.command, ScanCommand::Run);
    EXPECT_EQ(parsed.options.paths, (std::vector<std::wstring>{L"a.flac", L"-", L"--text", L"-j"}));
    EXPECT_EQ(parsed.options.jobs, 3u);
    EXPECT_EQ(parsed.options.jsonTarget, L"r.json");
    EXPECT_EQ(parsed.options.csvTarget, L"-");
    EXPECT_FALSE(parsed.options.textTarget.has_value());
    EXPECT_TRUE(parsed.options.summary);
    EXPECT_EQ(parseScanCommandLine({L"-j", L"1024", L"x"}).options.jobs, 1024u);
}

TEST(ScanOptionsTest, HelpAndVersionWinOverMistakesAfterThem)
{
    EXPECT_EQ(parseScanCommandLine({L"--help", L"--bogus"}).command, ScanCommand::Help);
    EXPECT_EQ(parseScanCommandLine({L"--version"}).command, ScanCommand::Version);
    EXPECT_EQ(parseScanCommandLine({L"--", L"--help"}).options.paths, (std::vector<std::wstring>{L"--help"}));
}

TEST(ScanOptionsTest, RejectsWhatCannotRunOrWouldDestroyAFile)
{
    const std::vector<std::vector<std::wstring>> bad = {
        {L"--jobs", L"1025", L"x"},     {L"--jobs=", L"x"},         {L"-j", L"-1", L"x"},
        {L"--json", L"a", L"--json", L"b", L"x"}, {L"--jobs", L"2", L"-j", L"2", L"x"},
        {L"--text", L"", L"x"},         {L"--csv", L"Track.MP3", L"x"}, {L"--json", L"dir/r", L"--csv", L"dir/../dir/r", L"x"},
        {L"--text", L"-", L"--json=-", L"x"}, {L"-x", L"x"},
    };
    for (const auto& args : bad) {
        EXPECT_THROW((void)parseScanCommandLine(args), UsageError) << args.size();
    }
}

} // namespace
