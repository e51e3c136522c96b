// SPDX-License-Identifier: MIT
// What kestrone-scan says on stderr when it cannot go on: the system's reason,
// and with --progress=jsonl nothing but JSON events.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/json.h"
#include "tests/support/process.h"

namespace {

namespace fs = std::filesystem;
using namespace orvel::testing;
using namespace std::chrono_literals;

struct Refusal {
    const char* name;
    std::vector<std::string> args; // "DIR" stands for the scratch folder
    int exitCode;
    const char* message;
};

class ScanNoticeTest : public ::testing::TestWithParam<Refusal> {};

TEST_P(ScanNoticeTest, EveryNoticeIsAJsonEventWithTheSystemsReason)
{
    const Refusal& row = GetParam();
    const ScratchFolder scratch;
    scratch.touch("a-file", "not a folder");
    scratch.touch("list/entry", "");
    writeBytes(scratch / "part.jsonl", "{\"version\":1}\n");
    std::vector<std::string> args = {scanProgram(), "--progress=jsonl"};
    for (const std::string& arg : row.args) {
        args.push_back(arg.starts_with("DIR") ? scratch.path().string() + arg.substr(3) : arg);
    }
    const ProcessResult run = runProcess(args);
    EXPECT_EQ(run.exitCode, row.exitCode) << run.err;

    bool said = false;
    ASSERT_FALSE(run.err.empty());
    for (const std::string& line : lines(run.err)) {
        ASSERT_TRUE(isStrictJson(line)) << "plain text among the events: " << line;
        const JsonValue event = parseJson(line);
        ASSERT_TRUE(event.find("event") != nullptr) << line;
        if (event["event"].optionalText() == "notice") {
            said = said || event["message"].optionalText().value_or("").find(row.message) != std::string::npos;
        }
    }
    EXPECT_TRUE(said) << run.err;
}

const std::string kInput = testAudio("scan", "mixed/a-pink-2ch-44100Hz-16bit.flac").string();

INSTANTIATE_TEST_SUITE_P(
    Refusals, ScanNoticeTest,
    ::testing::Values(Refusal{"ListIsAFolder", {"--files-from", "DIR/list"}, 65, "/list: Is a directory"},
                      Refusal{"PictureFolderUnderAFile", {"--spectrogram", "DIR/a-file/pictures", kInput}, 64,
                              "a-file/pictures: Not a directory"},
                      Refusal{"ReportOverItsInput", {"--csv", kInput, kInput}, 64, kInput.c_str()},
                      Refusal{"UnreadableMergePart", {"--merge", "--csv", "-", "DIR/part.jsonl"}, 65,
                              "part.jsonl:1: "}),
    [](const ::testing::TestParamInfo<Refusal>& row) { return std::string(row.param.name); });

// A second Ctrl-C ends the run at once: it names the reports it leaves unwritten.
TEST(ScanInterruptTest, ASecondCtrlCSaysWhichReportsWereNotWritten)
{
    const ScratchFolder scratch;
    RunningProgram run({scanProgram(), "--jobs", "1", "--json", (scratch / "r.json").string(), "--csv",
                        (scratch / "r.csv").string(), testAudio("scan", "interrupt").string()});
    ASSERT_TRUE(run.readLine(60s).value_or("").starts_with("FILE "));
    ASSERT_TRUE(run.readLine(60s).has_value()) << "a file is done";
    // Two different signals: a second SIGINT sent before the first is handled would merge with it.
    run.signal(SIGINT);
    run.signal(SIGTERM);
    const ProcessResult result = run.finish();
    EXPECT_EQ(result.exitCode, 130);
    const std::size_t said = result.err.find("kestrone-scan: stopped at once; ");
    ASSERT_NE(said, std::string::npos) << result.err;
    const std::string line = result.err.substr(said, result.err.find('\n', said) - said);
    const std::size_t notWritten = line.find("not written: ");
    ASSERT_NE(notWritten, std::string::npos) << "the signals came before the reports were finished: " << line;
    for (const char* report : {"r.json", "r.csv"}) {
        // Usually both are unwritten; one finished between the signals is said to be written.
        const std::size_t named = line.find((scratch / report).string());
        ASSERT_NE(named, std::string::npos) << line;
        EXPECT_EQ(named > notWritten, !fs::exists(scratch / report)) << line;
    }
    for (const std::string& entry : scratch.entries()) {
        EXPECT_FALSE(entry.starts_with(".")) << "a temporary stayed: " << entry;
    }
}

} // namespace
