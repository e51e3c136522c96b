// SPDX-License-Identifier: MIT
// Attempts to make Kestrone destroy audio or fail silently: reports aimed at
// inputs through links and swapped arguments, folders it cannot read, headless
// switches without files, and signals while an output is being written.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "batch/output_target.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/reports.h"

namespace {

using namespace orvel::testing;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int kUsage = 64;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Temporaries a writer leaves behind: ".name.XXXXXX.tmp".
std::vector<std::string> temporariesIn(const fs::path& folder)
{
    std::vector<std::string> found;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().native();
        if (name.starts_with(".") && name.ends_with(".tmp")) {
            found.push_back(name);
        }
    }
    return found;
}

fs::path goodFlac(const ScratchFolder& scratch, const std::string& name)
{
    const fs::path copy = scratch / name;
    fs::copy_file(filesIn(testAudio("hostile", "good")).at(1), copy);
    return copy;
}

TEST(OutputTargetTest, AReportLinkedToAnInputIsRefusedAndTheAudioKept)
{
    const ScratchFolder scratch;
    const fs::path song = goodFlac(scratch, "x.flac");
    const std::string before = readBytes(song);
    fs::create_symlink(song, scratch / "out.json");

    const ProcessResult scan = runProcess({scanProgram(), "--json", (scratch / "out.json").native(), song.native()});
    EXPECT_EQ(scan.exitCode, kUsage) << scan.err;
    EXPECT_TRUE(contains(scan.err, "out.json") && contains(scan.err, "x.flac")) << scan.err;
    EXPECT_EQ(readBytes(song), before);
    EXPECT_TRUE(fs::is_symlink(scratch / "out.json"));

    // The same through a hard link, for text and CSV, and in the headless mode.
    fs::create_hard_link(song, scratch / "hard.csv");
    const ProcessResult csv = runProcess({scanProgram(), "--csv", (scratch / "hard.csv").native(), song.native()});
    EXPECT_EQ(csv.exitCode, kUsage) << csv.err;
    const ProcessResult analysis = runAnalysis({(scratch / "out.json").native(), song.native()});
    EXPECT_EQ(analysis.exitCode, kUsage);
    EXPECT_TRUE(contains(analysis.err, "x.flac")) << analysis.err;
    EXPECT_EQ(readBytes(song), before);
    EXPECT_TRUE(temporariesIn(scratch.path()).empty());
}

TEST(OutputTargetTest, SwappedHeadlessArgumentsNeverReplaceAudio)
{
    const ScratchFolder scratch;
    const fs::path song = goodFlac(scratch, "song.flac");
    const fs::path other = goodFlac(scratch, "other.flac");
    const std::string songBytes = readBytes(song);

    // "kestrone --analyze-test song.flac other.flac": the report would land on audio.
    const ProcessResult swapped = runAnalysis({song.native(), other.native()});
    EXPECT_EQ(swapped.exitCode, kUsage);
    EXPECT_TRUE(contains(swapped.err, "song.flac")) << swapped.err;
    EXPECT_EQ(readBytes(song), songBytes);

    const ProcessResult same = runKestrone({"--decode-test", song.native(), song.native()});
    EXPECT_EQ(same.exitCode, kUsage);
    EXPECT_EQ(readBytes(song), songBytes);

    // A link to audio that is not an input of the run is refused too.
    fs::create_symlink(other, scratch / "to-other.json");
    const ProcessResult scan = runProcess({scanProgram(), "--json", (scratch / "to-other.json").native(), song.native()});
    EXPECT_EQ(scan.exitCode, kUsage) << scan.err;
    EXPECT_TRUE(contains(scan.err, "other.flac")) << scan.err;
    EXPECT_EQ(readBytes(other), readBytes(song));
    EXPECT_TRUE(temporariesIn(scratch.path()).empty());
}

// Writing through a link to an unrelated report keeps the link and replaces
// the file it names, completely, in one rename.
TEST(OutputTargetTest, ALinkToAnUnrelatedReportIsFollowedAndKept)
{
    const ScratchFolder scratch;
    const fs::path song = goodFlac(scratch, "song.flac");
    fs::create_directory(scratch / "reports");
    writeBytes(scratch / "reports" / "old.json", "old");
    fs::create_symlink("reports/old.json", scratch / "latest.json");

    const ProcessResult scan = runProcess({scanProgram(), "--json", (scratch / "latest.json").native(), song.native()});
    EXPECT_EQ(scan.exitCode, 0) << scan.err;
    ASSERT_TRUE(fs::is_symlink(scratch / "latest.json"));
    EXPECT_EQ(fs::read_symlink(scratch / "latest.json"), "reports/old.json");
    const std::vector<JsonValue> records = reportFileRecords(scratch / "reports" / "old.json");
    ASSERT_EQ(records.size(), 1u);
    expectCompleteRecord(records[0], song.native());
    EXPECT_TRUE(temporariesIn(scratch / "reports").empty());
    EXPECT_TRUE(temporariesIn(scratch.path()).empty());

    EXPECT_EQ(orvel::refusedOutputReason(scratch / "latest.json", {song}), "");
    EXPECT_EQ(orvel::refusedOutputReason(scratch / "new.json", {song}), "");
    EXPECT_NE(orvel::refusedOutputReason(scratch / "latest.json", {scratch / "reports" / "old.json"}), "");
}

TEST(HeadlessUsageTest, AnEmptyGlobIsAUsageErrorNotAnInvisibleWindow)
{
    const ScratchFolder scratch;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--analyze-test", (scratch / "out.json").native()},
          std::vector<std::string>{"--analyze-test"}, std::vector<std::string>{"--decode-test", "in.flac"}}) {
        const ProcessResult run =
            runKestrone(args, ProcessOptions{.env = {{"QT_QPA_PLATFORM", "offscreen"}}, .timeoutSeconds = 20});
        EXPECT_FALSE(run.timedOut) << args.front();
        EXPECT_EQ(run.exitCode, kUsage) << args.front();
        EXPECT_TRUE(contains(run.err, args.front()) && contains(run.err, "--help")) << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_TRUE(scratch.entries().empty());
}

TEST(WalkFailureTest, UnreadableAndUnsearchableFoldersBecomeRecordsAndFailTheRun)
{
    // Root opens anything; the child then runs as nobody.
    const ScratchFolder scratch;
    ::chmod(scratch.path().c_str(), 0777);
    const fs::path music = scratch / "music";
    fs::create_directories(music / "locked");
    fs::create_directories(music / "nosearch" / "inner");
    goodFlac(scratch, "music/a.flac");
    goodFlac(scratch, "music/locked/b.flac");
    goodFlac(scratch, "music/nosearch/inner/c.flac");
    for (const fs::path& folder : {music, music / "locked", music / "nosearch", music / "nosearch" / "inner"}) {
        ::chmod(folder.c_str(), 0777);
    }
    ::chmod((music / "locked").c_str(), 0333);   // no listing
    ::chmod((music / "nosearch").c_str(), 0666); // listing, but no way in

    const ProcessResult run = runProcess({scanProgram(), "--json", (scratch / "r.json").native(), music.native()},
                                         ProcessOptions{.dropRoot = true});
    ::chmod((music / "locked").c_str(), 0777);
    ::chmod((music / "nosearch").c_str(), 0777);
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    const std::vector<JsonValue> records = reportFileRecords(scratch / "r.json");
    ASSERT_EQ(records.size(), 3u) << run.out;
    expectCompleteRecord(records[0], (music / "a.flac").native());
    EXPECT_EQ(records[1]["File"].text, (music / "locked").native());
    EXPECT_TRUE(contains(records[1]["Error"].text, "Permission denied")) << records[1]["Error"].text;
    EXPECT_EQ(records[2]["File"].text, (music / "nosearch" / "inner").native());
    EXPECT_TRUE(contains(records[2]["Error"].text, "Permission denied")) << records[2]["Error"].text;
}

// A folder chain deeper than PATH_MAX, made and removed relative to open
// folders since no single path can name its end.
class DeepFolders {
public:
    explicit DeepFolders(const fs::path& top)
    {
        m_fds.push_back(::open(top.c_str(), O_RDONLY | O_DIRECTORY));
        while (m_length <= PATH_MAX + 300) {
            ::mkdirat(m_fds.back(), kName.c_str(), 0755);
            m_fds.push_back(::openat(m_fds.back(), kName.c_str(), O_RDONLY | O_DIRECTORY));
            m_length += kName.size() + 1;
        }
        const int file = ::openat(m_fds.back(), "deep.flac", O_WRONLY | O_CREAT, 0644);
        const std::string bytes = readBytes(filesIn(testAudio("hostile", "good")).at(1));
        EXPECT_EQ(::write(file, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        ::close(file);
    }
    ~DeepFolders()
    {
        ::unlinkat(m_fds.back(), "deep.flac", 0);
        for (std::size_t i = m_fds.size() - 1; i > 0; --i) {
            ::close(m_fds[i]);
            ::unlinkat(m_fds[i - 1], kName.c_str(), AT_REMOVEDIR);
        }
        ::close(m_fds.front());
    }
    DeepFolders(const DeepFolders&) = delete;
    DeepFolders& operator=(const DeepFolders&) = delete;

private:
    const std::string kName = std::string(200, 'd');
    std::vector<int> m_fds;
    std::size_t m_length = 0;
};

TEST(WalkFailureTest, APathLongerThanPathMaxBecomesARecordAndFailsTheRun)
{
    const ScratchFolder scratch;
    fs::create_directory(scratch / "music");
    const DeepFolders deep(scratch / "music");
    const ProcessResult run =
        runProcess({scanProgram(), "--json", (scratch / "r.json").native(), (scratch / "music").native()});
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_FALSE(contains(run.out, "0 files")) << run.out;
    const std::vector<JsonValue> records = reportFileRecords(scratch / "r.json");
    ASSERT_EQ(records.size(), 1u) << run.out;
    EXPECT_TRUE(contains(records[0]["Error"].text, "too long")) << records[0]["Error"].text;
}

// Polls until the folder holds a writer's temporary: the output is being written.
bool waitForTemporary(const fs::path& folder)
{
    for (int i = 0; i < 2000; ++i) {
        if (!temporariesIn(folder).empty()) {
            return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

std::vector<std::string> longFiles()
{
    std::vector<std::string> files;
    for (const fs::path& file : filesIn(testAudio("scan") / "interrupt")) {
        if (file.filename().native().starts_with("z-long")) {
            files.push_back(file.native());
        }
    }
    return files;
}

TEST(SignalCleanupTest, InterruptedHeadlessAnalysisLeavesNoTemporaryAndNoReport)
{
    for (const int signals : {1, 2}) {
        for (const int number : {SIGINT, SIGTERM}) {
            const ScratchFolder scratch;
            std::vector<std::string> argv{kestroneProgram(), "--analyze-test", (scratch / "out.json").native()};
            const std::vector<std::string> files = longFiles();
            argv.insert(argv.end(), files.begin(), files.end());
            RunningProgram run(argv);
            ASSERT_TRUE(waitForTemporary(scratch.path()));
            for (int i = 0; i < signals; ++i) {
                run.signal(number);
            }
            const ProcessResult result = run.finish();
            EXPECT_EQ(result.exitCode, 130) << signals << " signal(s) " << number;
            EXPECT_TRUE(scratch.entries().empty()) << signals << " signal(s) " << number << ": " << scratch.entries().front();
        }
    }
}

TEST(SignalCleanupTest, ASecondCtrlCInTheScanLeavesNoTemporary)
{
    const ScratchFolder scratch;
    std::vector<std::string> argv{scanProgram(), "--jobs", "1", "--json", (scratch / "r.json").native(),
                                  "--csv", (scratch / "r.csv").native()};
    const std::vector<std::string> files = longFiles();
    argv.insert(argv.end(), files.begin(), files.end());
    RunningProgram run(argv);
    ASSERT_TRUE(waitForTemporary(scratch.path()));
    run.signal(SIGINT);
    run.signal(SIGINT);
    const ProcessResult result = run.finish();
    EXPECT_EQ(result.exitCode, 130);
    EXPECT_TRUE(temporariesIn(scratch.path()).empty());
}

} // namespace
