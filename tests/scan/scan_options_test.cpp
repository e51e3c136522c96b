// SPDX-License-Identifier: MIT
#include "scan/scan_options.h"

#include <gtest/gtest.h>

namespace {

using orvel::parseScanCommandLine;
using orvel::ScanCommand;
using orvel::UsageError;

TEST(ScanOptionsTest, OptionsAndPathsMayBeMixedInBothSpellings)
{
    const auto parsed = parseScanCommandLine({"a.flac", "--jobs=3", "--json", "r.json", "--csv=-", "--summary",
                                              "-", "--", "--text", "-j"});
    EXPECT_EQ(parsed.command, ScanCommand::Run);
    EXPECT_EQ(parsed.options.paths, (std::vector<std::string>{"a.flac", "-", "--text", "-j"}));
    EXPECT_EQ(parsed.options.jobs, 3u);
    EXPECT_EQ(parsed.options.jsonTarget, "r.json");
    EXPECT_EQ(parsed.options.csvTarget, "-");
    EXPECT_FALSE(parsed.options.textTarget.has_value());
    EXPECT_TRUE(parsed.options.summary);
    EXPECT_EQ(parseScanCommandLine({"-j", "1024", "x"}).options.jobs, 1024u);
}

TEST(ScanOptionsTest, HelpAndVersionWinOverMistakesAfterThem)
{
    EXPECT_EQ(parseScanCommandLine({"--help", "--bogus"}).command, ScanCommand::Help);
    EXPECT_EQ(parseScanCommandLine({"--version"}).command, ScanCommand::Version);
    EXPECT_EQ(parseScanCommandLine({"--", "--help"}).options.paths, (std::vector<std::string>{"--help"}));
}

TEST(ScanOptionsTest, RejectsWhatCannotRunOrWouldDestroyAFile)
{
    const std::vector<std::vector<std::string>> bad = {
        {"--jobs", "1025", "x"},     {"--jobs=", "x"},         {"-j", "-1", "x"},
        {"--json", "a", "--json", "b", "x"}, {"--jobs", "2", "-j", "2", "x"},
        {"--text", "", "x"},         {"--csv", "Track.MP3", "x"}, {"--json", "dir/r", "--csv", "dir/../dir/r", "x"},
        {"--text", "-", "--json=-", "x"}, {"-x", "x"},
    };
    for (const auto& args : bad) {
        EXPECT_THROW((void)parseScanCommandLine(args), UsageError) << args.size();
    }
}

} // namespace
