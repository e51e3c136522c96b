// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/reports.h"
#include "tests/support/process.h"

namespace {

namespace fs = std::filesystem;
using namespace orvel::testing;
using namespace std::chrono_literals;

// interrupt/ holds three 1 s files, then sixteen 30 s files: once the short ones
// are printed, the run is busy with long files for a good while.
TEST(ScanInterruptTest, CtrlCWritesTheCompletedRecordsInInputOrderAndExits130)
{
    const ScratchFolder scratch;
    const fs::path dir = scratch.path();
    const fs::path input = testAudio("scan") / "interrupt";
    std::vector<std::string> order;
    for (const char* name : {"a-short-1", "a-short-2", "a-short-3"}) {
        order.push_back((input / (std::string(name) + ".flac")).string());
    }
    for (int n = 1; n <= 16; ++n) {
        order.push_back((input / ("z-long-" + std::string(n < 10 ? "0" : "") + std::to_string(n) + ".flac")).string());
    }
    RunningProgram run({scanProgram(), "--jobs", "2", "--json", (dir / "report.json").string(), "--csv",
                        (dir / "report.csv").string(), input.string()});
    ASSERT_TRUE(run.readLine(60s).value_or("").starts_with("FILE "));
    std::vector<std::string> printed;
    for (int i = 0; i < 3; ++i) {
        const auto line = run.readLine(60s);
        ASSERT_TRUE(line.has_value());
        printed.push_back(line->substr(0, line->find(' ')));
    }
    run.signal(SIGINT);
    const ProcessResult result = run.finish();
    EXPECT_EQ(result.exitCode, 130) << result.err;
    EXPECT_NE(result.err.find("interrupted"), std::string::npos) << result.err;
    EXPECT_EQ(printed, (std::vector<std::string>{order[0], order[1], order[2]}));

    std::vector<std::string> files;
    for (const JsonValue& record : reportRecords(readBytes(dir / "report.json"))) {
        files.push_back(record["File"].optionalText().value_or(""));
        EXPECT_EQ(record["Error"].optionalText(), std::nullopt) << "a stopped file must not be a failure";
    }
    ASSERT_GE(files.size(), 3u);
    EXPECT_LT(files.size(), order.size());
    EXPECT_EQ(std::vector<std::string>(files.begin(), files.begin() + 3), printed);
    // Only complete records, each once, in input order.
    std::size_t last = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto at = std::find(order.begin(), order.end(), files[i]);
        ASSERT_NE(at, order.end()) << files[i];
        const auto index = static_cast<std::size_t>(at - order.begin());
        EXPECT_TRUE(i == 0 || index > last) << files[i];
        last = index;
    }
    EXPECT_EQ(csvRows(readBytes(dir / "report.csv")).size(), files.size() + 1);
    // What stdout shows after the signal is exactly the rest of the complete records.
    EXPECT_TRUE(lines(result.out).back().starts_with(std::to_string(files.size()) + " files: ")) << result.out;
}

// A list that never ends: a pipe whose writer stays but writes nothing more,
// and an endless stream of empty NUL-separated entries.
enum class EndlessList { StalledPipe, ZerosWithNulSeparators };

class ScanListInterruptTest : public ::testing::TestWithParam<std::tuple<EndlessList, int>> {};

TEST_P(ScanListInterruptTest, TheFirstStopEndsTheReadingOfAListThatNeverEnds)
{
    const auto [list, number] = GetParam();
    const ScratchFolder scratch;
    std::vector<std::string> argv{scanProgram(), "--jsonl", (scratch / "r.jsonl").native(), "--files-from"};
    int writer = -1;
    if (list == EndlessList::StalledPipe) {
        const fs::path fifo = scratch / "list";
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        writer = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC); // held open, so the reader never sees the end
        ASSERT_GE(writer, 0);
        const std::string first = (scratch / "missing.flac").native() + "\n";
        ASSERT_EQ(::write(writer, first.data(), first.size()), static_cast<ssize_t>(first.size()));
        argv.push_back(fifo.native());
    } else {
        argv.insert(argv.end(), {"/dev/zero", "-0"});
    }
    RunningProgram run(argv);
    std::this_thread::sleep_for(500ms); // past start-up, into the reading of the list
    run.signal(number);
    const ProcessResult result = run.finish();
    if (writer >= 0) {
        ::close(writer);
    }
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 130) << result.err;
    EXPECT_NE(result.err.find("interrupted"), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(scratch / "r.jsonl"));
}

INSTANTIATE_TEST_SUITE_P(Lists, ScanListInterruptTest,
                         ::testing::Combine(::testing::Values(EndlessList::StalledPipe,
                                                              EndlessList::ZerosWithNulSeparators),
                                            ::testing::Values(SIGINT, SIGTERM)));

std::size_t threadCount(pid_t pid)
{
    std::error_code ec;
    std::size_t count = 0;
    for (fs::directory_iterator it("/proc/" + std::to_string(pid) + "/task", ec), end; !ec && it != end; it.increment(ec)) {
        ++count;
    }
    return count;
}

// At most N files are decoded at a time, and --jobs N is the thread budget of
// the analysis: the main thread waits while N workers analyse.
TEST(ScanJobsTest, AnalysisUsesNoMoreThreadsThanJobsAllow)
{
    for (const int jobs : {1, 2}) {
        RunningProgram run({scanProgram(), "--jobs", std::to_string(jobs), (testAudio("scan") / "interrupt").string()});
        std::size_t most = 0;
        while (!run.outputClosed()) {
            (void)run.readLine(2ms);
            most = std::max(most, threadCount(run.pid()));
        }
        const ProcessResult result = run.finish();
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_GE(most, 2u);
        EXPECT_LE(most, static_cast<std::size_t>(jobs) + 1) << jobs << " jobs";
    }
}

} // namespace
