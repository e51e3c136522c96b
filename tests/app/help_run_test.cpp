// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "tests/support/process.h"

namespace orvel {
namespace {

using testing::runKestrone;

TEST(HelpRunTest, HelpAndVersionPrintOnStandardOutputWithoutADisplay)
{
    const auto help = runKestrone({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: kestrone [PATH...]\n")) << help.out;
    EXPECT_NE(help.out.find("--decode-test INPUT OUTPUT"), std::string::npos);
    EXPECT_EQ(help.err, "");

    // help2man reads the program name and version from this one line.
    const auto version = runKestrone({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(std::regex_match(version.out, std::regex("kestrone [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << version.out;
    EXPECT_EQ(version.err, "");
}

TEST(HelpRunTest, HelpWithAnotherArgumentIsTheWindowAndPrintsNoHelp)
{
    // Without a display the window cannot open: 1, and no help text.
    testing::ProcessOptions quick;
    quick.timeoutSeconds = 30;
    const auto run = runKestrone({"--help", "a.flac"}, quick);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out.find("Usage:"), std::string::npos);
    // Says why (no display, or a build without the window) and where to go instead.
    EXPECT_TRUE(run.err.starts_with("kestrone: ")) << run.err;
    EXPECT_NE(run.err.find("kestrone-scan analyses files on a terminal\n"), std::string::npos) << run.err;
}

} // namespace
} // namespace orvel
