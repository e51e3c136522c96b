// SPDX-License-Identifier: MIT
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace orvel {
namespace {

using Args = std::vector<std::wstring>;

TEST(CommandLineTest, MathTestNeedsOnlyItsSwitchAndIgnoresTheRest)
{
    EXPECT_EQ(parseCommandLine(Args{L"kestrone", L"--math-test"}).mode, RunMode::MathTest);
    const CommandLine extra = parseCommandLine(Args{L"kestrone", L"--math-test", L"a.flac", L"--decode-test"});
    EXPECT_EQ(extra.mode, RunMode::MathTest);
    EXPECT_TRUE(extra.inputs.empty());
}

TEST(CommandLineTest, AnalyzeTestTakesTheOutputAndEveryFileInOrder)
{
    const CommandLine one = parseCommandLine(Args{L"kestrone", L"--analyze-test", L"report.json", L"a.flac"});
    EXPECT_EQ(one.mode, RunMode::AnalyzeTest);
    EXPECT_EQ(one.outputPath, L"report.json");
    EXPECT_EQ(one.inputs, (Args{L"a.flac"}));

    const CommandLine many =
        parseCommandLine(Args{L"kestrone", L"--analyze-test", L"out.json", L"b.txt", L"a.flac", L"--math-test"});
    EXPECT_EQ(many.mode, RunMode::AnalyzeTest);
    EXPECT_EQ(many.inputs, (Args{L"b.txt", L"a.flac", L"--math-test"}));
}

TEST(CommandLineTest, DecodeTestTakesExactlyAnInputAndAnOutput)
{
    const CommandLine decode = parseCommandLine(Args{L"kestrone", L"--decode-test", L"in.wav", L"out.f64"});
    EXPECT_EQ(decode.mode, RunMode::DecodeTest);
    EXPECT_EQ(decode.inputs, (Args{L"in.wav"}));
    EXPECT_EQ(decode.outputPath, L"out.f64");
}

TEST(CommandLineTest, ASwitchWithTheWrongArgumentCountOpensTheWindowWithEveryArgument)
{
    const CommandLine analyzeShort = parseCommandLine(Args{L"kestrone", L"--analyze-test", L"report.json"});
    EXPECT_EQ(analyzeShort.mode, RunMode::Window);
    EXPECT_EQ(analyzeShort.inputs, (Args{L"--analyze-test", L"report.json"}));
    EXPECT_TRUE(analyzeShort.outputPath.empty());

    const CommandLine decodeLong = parseCommandLine(Args{L"kestrone", L"--decode-test", L"a", L"b", L"c"});
    EXPECT_EQ(decodeLong.mode, RunMode::Window);
    EXPECT_EQ(decodeLong.inputs, (Args{L"--decode-test", L"a", L"b", L"c"}));

    EXPECT_EQ(parseCommandLine(Args{L"kestrone", L"--decode-test", L"a"}).mode, RunMode::Window);
    EXPECT_EQ(parseCommandLine(Args{L"kestrone", L"--analyze-test"}).mode, RunMode::Window);
}

TEST(CommandLineTest, SwitchesAreExactCaseSensitiveAndOnlyCountAsTheFirstArgument)
{
    for (const wchar_t* lookalike : {L"--Math-Test", L"--math-test ", L"-math-test", L"--math", L"—math-test"}) {
        const CommandLine parsed = parseCommandLine(Args{L"kestrone", lookalike});
        EXPECT_EQ(parsed.mode, RunMode::Window) << "switch text: " << parsed.inputs.front().size();
        EXPECT_EQ(parsed.inputs, (Args{lookalike}));
    }
    const CommandLine later = parseCommandLine(Args{L"kestrone", L"a.flac", L"--math-test"});
    EXPECT_EQ(later.mode, RunMode::Window);
    EXPECT_EQ(later.inputs, (Args{L"a.flac", L"--math-test"}));
}

TEST(CommandLineTest, PlainPathsAndAnEmptyCommandLineOpenTheWindow)
{
    const CommandLine paths = parseCommandLine(Args{L"kestrone", L"/music/a.flac", L"/music"});
    EXPECT_EQ(paths.mode, RunMode::Window);
    EXPECT_EQ(paths.inputs, (Args{L"/music/a.flac", L"/music"}));
    EXPECT_TRUE(parseCommandLine(Args{L"kestrone"}).inputs.empty());
    EXPECT_EQ(parseCommandLine(Args{}).mode, RunMode::Window);
}

TEST(CommandLineTest, HelpAndVersionCountOnlyAsTheSoleArgument)
{
    EXPECT_EQ(parseCommandLine(Args{L"kestrone", L"--help"}).mode, RunMode::Help);
    EXPECT_EQ(parseCommandLine(Args{L"kestrone", L"--version"}).mode, RunMode::Version);
    // Anything more is a list of paths for the window, as with the other switches.
    for (const Args& args : {Args{L"kestrone", L"--help", L"a.flac"}, Args{L"kestrone", L"a.flac", L"--help"},
                             Args{L"kestrone", L"--version", L"--help"}, Args{L"kestrone", L"-h"},
                             Args{L"kestrone", L"--Help"}, Args{L"kestrone", L"-version"}}) {
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
        {"kestrone --math-test\n", {L"kestrone", L"--math-test"}, RunMode::MathTest},
        {"kestrone --analyze-test OUTPUT FILE...\n", {L"kestrone", L"--analyze-test", L"o", L"f"}, RunMode::AnalyzeTest},
        {"kestrone --decode-test INPUT OUTPUT\n", {L"kestrone", L"--decode-test", L"i", L"o"}, RunMode::DecodeTest},
        {"  --help ", {L"kestrone", L"--help"}, RunMode::Help},
        {"  --version ", {L"kestrone", L"--version"}, RunMode::Version},
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
    EXPECT_EQ(parsed.outputPath, L"r\u00e9port.json");
    ASSERT_EQ(parsed.inputs.size(), 1U);
    EXPECT_EQ(parsed.inputs[0], std::wstring(L"caf") + static_cast<wchar_t>(0xDCE9) + L".flac");

    const char* none[] = {nullptr};
    EXPECT_EQ(parseCommandLine(0, none).mode, RunMode::Window);
}

} // namespace
} // namespace orvel
