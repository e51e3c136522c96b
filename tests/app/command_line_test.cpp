// SPDX-License-Identifier: MIT
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace orvel {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLineTest, MathTestNeedsOnlyItsSwitchAndIgnoresTheRest)
{
    EXPECT_EQ(parseCommandLine(Args{"kestrone", "--math-test"}).mode, RunMode::MathTest);
    const CommandLine extra = parseCommandLine(Args{"kestrone", "--math-test", "a.flac", "--decode-test"});
    EXPECT_EQ(extra.mode, RunMode::MathTest);
    EXPECT_TRUE(extra.inputs.empty());
}

TEST(CommandLineTest, AnalyzeTestTakesTheOutputAndEveryFileInOrder)
{
    const CommandLine one = parseCommandLine(Args{"kestrone", "--analyze-test", "report.json", "a.flac"});
    EXPECT_EQ(one.mode, RunMode::AnalyzeTest);
    EXPECT_EQ(one.outputPath, "report.json");
    EXPECT_EQ(one.inputs, (Args{"a.flac"}));

    const CommandLine many =
        parseCommandLine(Args{"kestrone", "--analyze-test", "out.json", "b.txt", "a.flac", "--math-test"});
    EXPECT_EQ(many.mode, RunMode::AnalyzeTest);
    EXPECT_EQ(many.inputs, (Args{"b.txt", "a.flac", "--math-test"}));
}

TEST(CommandLineTest, DecodeTestTakesExactlyAnInputAndAnOutput)
{
    const CommandLine decode = parseCommandLine(Args{"kestrone", "--decode-test", "in.wav", "out.f64"});
    EXPECT_EQ(decode.mode, RunMode::DecodeTest);
    EXPECT_EQ(decode.inputs, (Args{"in.wav"}));
    EXPECT_EQ(decode.outputPath, "out.f64");
}

TEST(CommandLineTest, AHeadlessSwitchWithTheWrongArgumentCountIsAUsageErrorNeverTheWindow)
{
    // An empty glob (kestrone --analyze-test OUT) must not open an invisible window.
    const CommandLine analyzeShort = parseCommandLine(Args{"kestrone", "--analyze-test", "report.json"});
    EXPECT_EQ(analyzeShort.mode, RunMode::Usage);
    EXPECT_NE(analyzeShort.usageError.find("--analyze-test"), std::string::npos);
    EXPECT_TRUE(analyzeShort.outputPath.empty());

    const CommandLine decodeLong = parseCommandLine(Args{"kestrone", "--decode-test", "a", "b", "c"});
    EXPECT_EQ(decodeLong.mode, RunMode::Usage);
    EXPECT_NE(decodeLong.usageError.find("--decode-test"), std::string::npos);

    EXPECT_EQ(parseCommandLine(Args{"kestrone", "--decode-test", "a"}).mode, RunMode::Usage);
    EXPECT_EQ(parseCommandLine(Args{"kestrone", "--decode-test"}).mode, RunMode::Usage);
    EXPECT_EQ(parseCommandLine(Args{"kestrone", "--analyze-test"}).mode, RunMode::Usage);
    // Elsewhere a switch is still just a path for the window.
    EXPECT_EQ(parseCommandLine(Args{"kestrone", "a.flac", "--analyze-test"}).mode, RunMode::Window);
}

TEST(CommandLineTest, SwitchesAreExactCaseSensitiveAndOnlyCountAsTheFirstArgument)
{
    for (const char* lookalike : {"--Math-Test", "--math-test ", "-math-test", "--math", "—math-test"}) {
        const CommandLine parsed = parseCommandLine(Args{"kestrone", lookalike});
        EXPECT_EQ(parsed.mode, RunMode::Window) << "switch text: " << parsed.inputs.front().size();
        EXPECT_EQ(parsed.inputs, (Args{lookalike}));
    }
    const CommandLine later = parseCommandLine(Args{"kestrone", "a.flac", "--math-test"});
    EXPECT_EQ(later.mode, RunMode::Window);
    EXPECT_EQ(later.inputs, (Args{"a.flac", "--math-test"}));
}

TEST(CommandLineTest, PlainPathsAndAnEmptyCommandLineOpenTheWindow)
{
    const CommandLine paths = parseCommandLine(Args{"kestrone", "/music/a.flac", "/music"});
    EXPECT_EQ(paths.mode, RunMode::Window);
    EXPECT_EQ(paths.inputs, (Args{"/music/a.flac", "/music"}));
    EXPECT_TRUE(parseCommandLine(Args{"kestrone"}).inputs.empty());
    EXPECT_EQ(parseCommandLine(Args{}).mode, RunMode::Window);
}

TEST(CommandLineTest, HelpAndVersionCountOnlyAsTheSoleArgument)
{
    EXPECT_EQ(parseCommandLine(Args{"kestrone", "--help"}).mode, RunMode::Help);
    EXPECT_EQ(parseCommandLine(Args{"kestrone", "--version"}).mode, RunMode::Version);
    // Anything more is a list of paths for the window, as with the other switches.
    for (const Args& args : {Args{"kestrone", "--help", "a.flac"}, Args{"kestrone", "a.flac", "--help"},
                             Args{"kestrone", "--version", "--help"}, Args{"kestrone", "-h"},
                             Args{"kestrone", "--Help"}, Args{"kestrone", "-version"}}) {
        const CommandLine parsed = parseCommandLine(args);
        EXPECT_EQ(parsed.mode, RunMode::Window) << args.size();
        EXPECT_EQ(parsed.inputs, Args(args.begin() + 1, args.end()));
    }
}

TEST(CommandLineTest, TheHelpNamesEveryFormThatTheParserAccepts)
{
    // The manual page is made from this text, so a form missing here is missing there.
    const std::string help = usageText();
    EXPECT_TRUE(help.starts_with("Usage: kestrone [PATH...]\n"));
    const struct {
        const char* shown;
        Args args;
        RunMode mode;
    } forms[] = {
        {"kestrone --math-test\n", {"kestrone", "--math-test"}, RunMode::MathTest},
        {"kestrone --analyze-test OUTPUT FILE...\n", {"kestrone", "--analyze-test", "o", "f"}, RunMode::AnalyzeTest},
        {"kestrone --decode-test INPUT OUTPUT\n", {"kestrone", "--decode-test", "i", "o"}, RunMode::DecodeTest},
        {"  --help ", {"kestrone", "--help"}, RunMode::Help},
        {"  --version ", {"kestrone", "--version"}, RunMode::Version},
    };
    for (const auto& form : forms) {
        EXPECT_NE(help.find(form.shown), std::string::npos) << form.shown;
        EXPECT_EQ(parseCommandLine(form.args).mode, form.mode) << form.shown;
    }
    for (const char* status : {"0 passed, 1 failed", "0 every file\n                  analysed, 1 some file failed, 2",
                               "0 written, 1 decoding\n                  failed"}) {
        EXPECT_NE(help.find(status), std::string::npos) << status;
    }
    // Lines fit an 80-column terminal and help2man's layout, which reads no tabs.
    std::size_t start = 0;
    while (start < help.size()) {
        const std::size_t end = help.find('\n', start);
        ASSERT_NE(end, std::string::npos) << "the text ends with a newline";
        EXPECT_LE(end - start, 80U) << help.substr(start, end - start);
        start = end + 1;
    }
    EXPECT_EQ(help.find('\t'), std::string::npos);
}

TEST(CommandLineTest, NativeArgumentsKeepBytesThatAreNotUtf8)
{
    const char* argv[] = {"kestrone", "--analyze-test", "r\xC3\xA9port.json", "caf\xE9.flac", nullptr};
    const CommandLine parsed = parseCommandLine(4, argv);
    EXPECT_EQ(parsed.mode, RunMode::AnalyzeTest);
    EXPECT_EQ(parsed.outputPath, "r\u00e9port.json");
    ASSERT_EQ(parsed.inputs.size(), 1U);
    EXPECT_EQ(parsed.inputs[0], std::string("caf") + static_cast<char>(0xDCE9) + ".flac");

    const char* none[] = {nullptr};
    EXPECT_EQ(parseCommandLine(0, none).mode, RunMode::Window);
}

} // namespace
} // namespace orvel
