// SPDX-License-Identifier: MIT
// kestrone-scan on a pseudo-terminal: colours, the progress line, and the
// table fitted to the terminal's width.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "scan/terminal_text.h"
#include "tests/support/files.h"
#include "tests/support/reports.h"
#include "tests/support/process.h"

namespace {

using namespace orvel::testing;

// The terminal's own palette: green for clean, magenta for findings (bold
// when likely), bold red for a file not analyzed.
const std::string kNoEvidence = "\x1b[32mNo evidence\x1b[0m";
const std::string kEvidence = "\x1b[35mEvidence found\x1b[0m";
const std::string kPadded = "\x1b[1;35mPadded from 16-bit\x1b[0m";
const std::string kError = "\x1b[1;31mNot analyzed: ";

std::vector<std::string> files()
{
    return {scanProgram(), (testAudio("scan") / "mixed/a-pink-2ch-44100Hz-16bit.flac").string(),
            (testAudio("scan") / "mixed/Album/c-pink-2ch-44100Hz-16in24.flac").string(),
            (testAudio("scan") / "mixed/f-truncated.flac").string()};
}

TEST(ScanTerminalTest, ConclusionsAndVerdictsTakeTheTerminalsOwnColours)
{
    for (const char* noColour : {static_cast<const char*>(nullptr), ""}) {
        EnvChanges env{{"NO_COLOR", noColour ? std::optional<std::string>(noColour) : std::nullopt}};
        std::vector<std::string> args = files();
        args.insert(args.begin() + 1, "--checks");
        const ProcessResult run = runProcess(args, {.env = env, .terminal = Terminal::Stdout});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.out.find(kNoEvidence), std::string::npos) << run.out;
        EXPECT_NE(run.out.find(kEvidence), std::string::npos) << run.out;
        EXPECT_NE(run.out.find(kPadded), std::string::npos) << run.out;
        EXPECT_NE(run.out.find(kError), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find("\x1b[38;2;"), std::string::npos) << "no fixed 24-bit colour";
        EXPECT_EQ(lines(run.err).size(), 1u) << "stderr is a pipe: no progress line, the failed file only";
    }
    // --color=always colours a pipe whatever NO_COLOR says.
    const ProcessResult always = runProcess({scanProgram(), "--color=always", "--checks", files()[2]},
                                            {.env = {{"NO_COLOR", "1"}, {"COLUMNS", "200"}}});
    EXPECT_NE(always.out.find(kPadded), std::string::npos) << always.out;
}

TEST(ScanTerminalTest, AFileNotAnalysedIsNamedOnStderrToo)
{
    const ProcessResult run = runProcess(files(), {.env = {{"NO_COLOR", "1"}}, .terminal = Terminal::Stdout});
    // One line on stderr: the path as given and the reason the table shows.
    const std::string prefix = "kestrone-scan: " + files()[3] + ": ";
    ASSERT_TRUE(run.err.starts_with(prefix)) << run.err;
    ASSERT_TRUE(run.err.ends_with(".\n")) << run.err;
    EXPECT_EQ(lines(run.err).size(), 1u) << run.err;
    const std::string reason = run.err.substr(prefix.size(), run.err.size() - prefix.size() - 1);
    EXPECT_NE(run.out.find("Not analyzed: " + reason), std::string::npos) << run.out;
}

TEST(ScanTerminalTest, NoColourWhenNoColorIsSetOrStdoutIsNotATerminal)
{
    const ProcessResult terminal = runProcess(files(), {.env = {{"NO_COLOR", "1"}}, .terminal = Terminal::Stdout});
    std::vector<std::string> wide = files();
    wide.insert(wide.begin() + 1, "--checks");
    const ProcessResult pipe = runProcess(wide, {.env = {{"NO_COLOR", std::nullopt}, {"COLUMNS", "200"}}});
    std::vector<std::string> never = files();
    never.insert(never.begin() + 1, "--color=never");
    const ProcessResult refused = runProcess(never, {.env = {{"NO_COLOR", std::nullopt}}, .terminal = Terminal::Stdout});
    for (const ProcessResult* run : {&terminal, &pipe, &refused}) {
        EXPECT_EQ(run->exitCode, 1);
        EXPECT_EQ(run->out.find('\x1b'), std::string::npos) << run->out;
        EXPECT_NE(run->out.find("Evidence found"), std::string::npos) << run->out;
    }
}

TEST(ScanTerminalTest, ProgressLineOnATerminalStderrNeverMixesWithTheOutput)
{
    const ProcessResult run = runProcess(files(), {.env = {{"NO_COLOR", "1"}}, .terminal = Terminal::StdoutAndStderr});
    EXPECT_EQ(run.exitCode, 1);
    const ProcessResult plain = runProcess(files(), {.env = {{"NO_COLOR", "1"}, {"COLUMNS", "200"}}});

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
    // The same rows as through a pipe of the same width; the failed file also
    // named on stderr, and the counts a line per kind on a terminal.
    std::vector<std::string> shown;
    for (const std::string& line : lines(text)) {
        if (!line.starts_with("kestrone-scan: ")) {
            shown.push_back(line);
        }
    }
    const std::vector<std::string> piped = lines(plain.out);
    ASSERT_GT(shown.size(), piped.size()) << text;
    EXPECT_EQ(std::vector<std::string>(shown.begin(), shown.begin() + static_cast<std::ptrdiff_t>(piped.size()) - 1),
              std::vector<std::string>(piped.begin(), piped.end() - 1));
    EXPECT_EQ(shown[piped.size() - 1], "3 files:");
    ASSERT_FALSE(progress.empty());
    EXPECT_NE(progress.find("/3 files \xC2\xB7 "), std::string::npos) << progress;
    EXPECT_NE(progress.find(" elapsed \xC2\xB7 "), std::string::npos) << progress;
    EXPECT_NE(progress.find(" left"), std::string::npos) << progress;
}

} // namespace

namespace orvel::testing {
namespace {

namespace fs = std::filesystem;

// A terminal's output split into the progress lines drawn ("\r...\x1b[K")
// and the lines written, without the clears.
struct TerminalOutput {
    std::vector<std::string> progress;
    std::vector<std::string> lines;
};

TerminalOutput splitTerminal(const std::string& out)
{
    TerminalOutput result;
    std::string line;
    for (std::size_t i = 0; i < out.size();) {
        if (out.compare(i, 4, "\r\x1b[K") == 0) {
            i += 4;
        } else if (out.compare(i, 2, "\r\n") == 0) {
            result.lines.push_back(line);
            line.clear();
            i += 2;
        } else if (out[i] == '\r') {
            const std::size_t end = out.find("\x1b[K", i);
            result.progress.push_back(out.substr(i + 1, end - i - 1));
            i = end == std::string::npos ? out.size() : end + 3;
        } else {
            line += out[i++];
        }
    }
    return result;
}

class ScanTableWidthTest : public ::testing::TestWithParam<unsigned short> {};

TEST_P(ScanTableWidthTest, NoLineIsWiderThanTheTerminalAndLongNamesLoseTheirMiddle)
{
    const unsigned short columns = GetParam();
    const ScratchFolder scratch;
    // 86 columns as given: wide enough at 200 for the check columns too.
    const std::string given = "Aufnahmen 2024 \u2014 Jahr";
    const fs::path folder = scratch.path() / given;
    fs::create_directories(folder);
    const fs::path mp3 = folder / "\u00DCn\u00EFc\u00F6d\u00E9 \u65E5\u672C\u8A9E\u306E\u9577\u3044\u540D\u524D - Live "
                                  "(Remastered Deluxe Edition).flac";
    fs::copy_file(testAudio("origin", "mp3-b128-band.flac"), mp3);
    fs::copy_file(testAudio("ui", "2ch-44100Hz-16bit-noise.flac"), folder / "a.flac");
    fs::copy_file(testAudio("scan", "mixed/Album/c-pink-2ch-44100Hz-16in24.flac"),
                  folder / "c padded.flac");
    fs::copy_file(testAudio("scan", "mixed/f-truncated.flac"), folder / "f.flac");

    const ProcessResult run = runProcess({scanProgram(), "--jobs", "2", given},
                                         {.env = {{"NO_COLOR", "1"}},
                                          .workingFolder = scratch.path(),
                                          .terminal = Terminal::StdoutAndStderr,
                                          .terminalColumns = columns});
    EXPECT_EQ(run.exitCode, 1);
    const TerminalOutput out = splitTerminal(run.out);
    std::vector<std::string> table;
    for (const std::string& line : out.lines) {
        if (!line.starts_with("kestrone-scan: ")) { // a failed file's full path, on stderr
            table.push_back(line);
        }
    }
    ASSERT_EQ(table.size(), 1u + 4u + 5u) << run.out;
    for (const std::string& line : table) {
        EXPECT_LE(displayWidth(line), columns) << line;
    }
    for (const std::string& line : out.progress) {
        EXPECT_LT(displayWidth(line), columns) << line;
    }
    EXPECT_EQ(table[0].find("UPSCALING") != std::string::npos, columns >= 200) << table[0];
    EXPECT_TRUE(table[0].starts_with("FILE ")) << table[0];
    EXPECT_NE(table[0].find(" CONCLUSION"), std::string::npos) << table[0];

    // Name order: a, c, f, then the name that starts with a letter outside ASCII.
    const std::string& mp3Row = table[4];
    EXPECT_NE(mp3Row.find("Likely MP3 source"), std::string::npos) << mp3Row;
    EXPECT_EQ(mp3Row.find("\u2026") != std::string::npos, columns < 200) << mp3Row;
    EXPECT_NE(mp3Row.find("Edition).flac"), std::string::npos) << "the end of the name stays: " << mp3Row;
    EXPECT_NE(table[2].find("Padded from 16-bit"), std::string::npos) << table[2];
    EXPECT_NE(table[3].find("Not analyzed: "), std::string::npos) << table[3];

    EXPECT_EQ(std::vector<std::string>(table.begin() + 5, table.end()),
              (std::vector<std::string>{"4 files:", "  1 no trace", "  1 likely lossy (1 MP3)",
                                        "  1 padded from 16-bit", "  1 not analyzed"}));
}

INSTANTIATE_TEST_SUITE_P(Columns, ScanTableWidthTest, ::testing::Values(60, 80, 200),
                         [](const ::testing::TestParamInfo<unsigned short>& param) {
                             return "Columns" + std::to_string(param.param);
                         });

TEST(ScanTableTest, OnlyFindingsLeavesCleanFilesOutOfTheTableButNotOutOfTheCountsOrReports)
{
    const ScratchFolder scratch;
    const std::string csv = (scratch.path() / "r.csv").string();
    const ProcessResult run = runProcess({scanProgram(), "--only-findings", "--csv", csv,
                                          testAudio("ui", "2ch-44100Hz-16bit-noise.flac").string(),
                                          testAudio("scan", "mixed/Album/c-pink-2ch-44100Hz-16in24.flac").string()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> out = lines(run.out);
    ASSERT_EQ(out.size(), 3u) << run.out;
    EXPECT_NE(out[1].find("c-pink-2ch-44100Hz-16in24.flac"), std::string::npos) << out[1];
    EXPECT_EQ(out[2], "2 files: 1 no trace \u00B7 1 padded from 16-bit");
    const auto rows = csvRows(readBytes(csv));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ((std::vector<std::string>(rows[1].end() - 2, rows[1].end())),
              (std::vector<std::string>{"No trace found", "none"}));
    EXPECT_EQ((std::vector<std::string>(rows[2].end() - 2, rows[2].end())),
              (std::vector<std::string>{"Padded from 16-bit", "likely"}));
}

} // namespace
} // namespace orvel::testing
