// SPDX-License-Identifier: MIT
// kestrone-scan on a pseudo-terminal: colours and the progress line.
#include <gtest/gtest.h>

#include <string>

#include "scan/terminal_text.h"
#include "tests/support/files.h"
#include "tests/support/reports.h"
#include "tests/support/process.h"

namespace {

using namespace orvel::testing;

// The window's colours as 24-bit foreground sequences.
const std::string kNoEvidence = "\x1b[38;2;93;224;187mNo evidence\x1b[0m";
const std::string kEvidence = "\x1b[38;2;255;197;112mEvidence found\x1b[0m";
const std::string kError = "\x1b[38;2;255;140;130mError: ";

std::vector<std::string> files()
{
    return {scanProgram(), (testAudio("scan") / "mixed/a-pink-2ch-44100Hz-16bit.flac").string(),
            (testAudio("scan") / "mixed/Album/c-pink-2ch-44100Hz-16in24.flac").string(),
            (testAudio("scan") / "mixed/f-truncated.flac").string()};
}

TEST(ScanTerminalTest, VerdictsTakeTheWindowColoursOnATerminal)
{
    for (const char* noColour : {static_cast<const char*>(nullptr), ""}) {
        EnvChanges env{{"NO_COLOR", noColour ? std::optional<std::string>(noColour) : std::nullopt}};
        const ProcessResult run = runProcess(files(), {.env = env, .terminal = Terminal::Stdout});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.out.find(kNoEvidence), std::string::npos) << run.out;
        EXPECT_NE(run.out.find(kEvidence), std::string::npos) << run.out;
        EXPECT_NE(run.out.find(kError), std::string::npos) << run.out;
        EXPECT_EQ(run.err, "") << "stderr is a pipe: no progress line";
    }
}

TEST(ScanTerminalTest, NoColourWhenNoColorIsSetOrStdoutIsNotATerminal)
{
    const ProcessResult terminal = runProcess(files(), {.env = {{"NO_COLOR", "1"}}, .terminal = Terminal::Stdout});
    const ProcessResult pipe = runProcess(files(), {.env = {{"NO_COLOR", std::nullopt}}});
    for (const ProcessResult* run : {&terminal, &pipe}) {
        EXPECT_EQ(run->exitCode, 1);
        EXPECT_EQ(run->out.find('\x1b'), std::string::npos) << run->out;
        EXPECT_NE(run->out.find("Evidence found"), std::string::npos) << run->out;
    }
}

TEST(ScanTerminalTest, ProgressLineOnATerminalStderrNeverMixesWithTheOutput)
{
    const ProcessResult run = runProcess(files(), {.env = {{"NO_COLOR", "1"}}, .terminal = Terminal::StdoutAndStderr});
    EXPECT_EQ(run.exitCode, 1);
    const ProcessResult plain = runProcess(files(), {.env = {{"NO_COLOR", "1"}}});

    // Tokens on the terminal: "\r...\x1b[K" draws the progress line, "\r\x1b[K"
    // clears it, "\r\n" is a newline (the terminal's own translation). After a
    // draw, only another draw or a clear may come.
    std::string text;
    std::string progress;
    bool drawn = false;
    const std::string& out = run.out;
    for (std::size_t i = 0; i < out.size();) {
        if (out.compare(i, 4, "\r\x1b[K") == 0) {
            drawn = false;
            i += 4;
        } else if (out.compare(i, 2, "\r\n") == 0) {
            ASSERT_FALSE(drawn) << "output after a progress line at byte " << i;
            text += '\n';
            i += 2;
        } else if (out[i] == '\r') {
            const std::size_t end = out.find("\x1b[K", i);
            ASSERT_NE(end, std::string::npos);
            progress = out.substr(i + 1, end - i - 1);
            ASSERT_EQ(progress.find('\n'), std::string::npos);
            drawn = true;
            i = end + 3;
        } else {
            ASSERT_FALSE(drawn) << "output after a progress line at byte " << i;
            text += out[i++];
        }
    }
    EXPECT_FALSE(drawn) << "the progress line is left on the terminal";
    EXPECT_EQ(text, plain.out);
    ASSERT_FALSE(progress.empty());
    EXPECT_NE(progress.find("/3 files \xC2\xB7 "), std::string::npos) << progress;
    EXPECT_NE(progress.find(" elapsed \xC2\xB7 "), std::string::npos) << progress;
    EXPECT_NE(progress.find(" left"), std::string::npos) << progress;
}

} // namespace
