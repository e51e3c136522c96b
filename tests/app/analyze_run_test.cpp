// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "text/utf8.h"
#include "tests/support/json.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/locale_guard.h"
#include "tests/support/messages.h"

namespace orvel {
namespace {

using testing::JsonValue;
using testing::readBytes;
using testing::runKestrone;
using testing::ScratchFolder;
using testing::testAudio;
using testing::writeBytes;

const char* const kUnsupported = testing::kUnsupportedMessage;

JsonValue parseReport(const std::string& bytes)
{
    EXPECT_TRUE(isValidUtf8(bytes));
    EXPECT_NE(bytes.substr(0, 3), "\xEF\xBB\xBF") << "a JSON report has no byte-order mark";
    return testing::parseJson(bytes);
}

void expectVerdict(const JsonValue& check)
{
    static const std::vector<std::string> kWords = {"Evidence found", "Possible", "No evidence", "Inconclusive",
                                                    "Not applicable"};
    EXPECT_NE(std::find(kWords.begin(), kWords.end(), check["Status"].text), kWords.end()) << check["Status"].text;
    EXPECT_FALSE(check["Summary"].text.empty());
}

void expectAnalysedFlac(const JsonValue& record, const std::string& file)
{
    EXPECT_EQ(record["File"].text, file);
    EXPECT_TRUE(record["Error"].isNull());
    EXPECT_EQ(record["Codec"].text, "FLAC");
    EXPECT_EQ(record["SampleRate"].number, 44100);
    EXPECT_EQ(record["StoredBits"].number, 16);
    EXPECT_EQ(record["Channels"].number, 2);
    EXPECT_NEAR(record["Duration"].number, 3.0, 1e-9);
    EXPECT_NEAR(record["AnalyzedSeconds"].number, 3.0, 1e-9);
    expectVerdict(record["Upscaling"]);
    expectVerdict(record["Upsampling"]);
    expectVerdict(record["Aac"]);
    EXPECT_EQ(record["SpectrumDb"].items.size(), 2049U);
}

class AnalyzeRunTest : public ::testing::Test {
protected:
    ScratchFolder m_folder;
    const std::string m_flac = testAudio("app", "a.flac").native();
    const std::string m_text = testAudio("app", "b.txt").native();
};

TEST_F(AnalyzeRunTest, WritesOneRecordPerInputInOrderAndFailsForTheTextFile)
{
    const std::string report = (m_folder / "report.json").native();
    const auto run = runKestrone({"--analyze-test", report, m_flac, m_text});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");

    const JsonValue document = parseReport(readBytes(report));
    EXPECT_EQ(document.keys(), (std::vector<std::string>{"tool", "scope", "reports"}));
    ASSERT_EQ(document["reports"].items.size(), 2U);
    const JsonValue& flac = document["reports"].items[0];
    EXPECT_EQ(flac.keys(), (std::vector<std::string>{"File", "Codec", "SampleRate", "StoredBits", "Channels",
                                                     "Duration", "AnalyzedSeconds", "Error", "Upscaling",
                                                     "Upsampling", "Aac", "SpectrumDb"}));
    expectAnalysedFlac(flac, m_flac);

    const JsonValue& text = document["reports"].items[1];
    EXPECT_EQ(text["File"].text, m_text);
    EXPECT_EQ(text["Error"].text, kUnsupported);
    EXPECT_EQ(text["Codec"].text, "");
    EXPECT_EQ(text["SampleRate"].number, 0);
    EXPECT_EQ(text["Duration"].number, 0);
    EXPECT_EQ(text["Upscaling"]["Status"].text, "");
    EXPECT_TRUE(text["SpectrumDb"].items.empty());
    EXPECT_EQ(m_folder.entries(), std::vector<std::string>{"report.json"}) << "no temporary left behind";
}

TEST_F(AnalyzeRunTest, EveryFileAnalysedGivesZeroAndTheSameFileTwiceGivesTwoRecords)
{
    const std::string report = (m_folder / "report.json").native();
    const auto run = runKestrone({"--analyze-test", report, m_flac, m_flac});
    EXPECT_EQ(run.exitCode, 0);
    const JsonValue document = parseReport(readBytes(report));
    ASSERT_EQ(document["reports"].items.size(), 2U);
    expectAnalysedFlac(document["reports"].items[1], m_flac);
}

TEST_F(AnalyzeRunTest, AReportThatCannotBeWrittenGivesTwoWhateverTheInputs)
{
    const std::string missingFolder = (m_folder / "missing" / "report.json").native();
    EXPECT_EQ(runKestrone({"--analyze-test", missingFolder, m_flac}).exitCode, 2);
    EXPECT_EQ(runKestrone({"--analyze-test", missingFolder, m_flac, m_text}).exitCode, 2);
    const auto intoFolder = runKestrone({"--analyze-test", m_folder.path().native(), m_text});
    EXPECT_EQ(intoFolder.exitCode, 2);
    EXPECT_EQ(intoFolder.out + intoFolder.err, "");
    EXPECT_TRUE(m_folder.entries().empty());
}

TEST_F(AnalyzeRunTest, AFailedWriteLeavesTheOldReportWhole)
{
    const std::filesystem::path report = m_folder / "report.json";
    writeBytes(report, "{\"previous\":true}");
    // One analysed record is about 20 kB of spectrum; the limit stops it part-way.
    testing::ProcessOptions limited;
    limited.fileSizeLimit = 4096;
    const auto run = runKestrone({"--analyze-test", report.native(), m_flac}, limited);
    EXPECT_EQ(run.exitCode, 2) << "the file size limit must fail the write, not kill the program";
    EXPECT_EQ(readBytes(report), "{\"previous\":true}");
    EXPECT_EQ(m_folder.entries(), std::vector<std::string>{"report.json"});
}

TEST_F(AnalyzeRunTest, ARelativeOutputNameIsWrittenInTheWorkingFolder)
{
    testing::ProcessOptions here;
    here.workingFolder = m_folder.path();
    EXPECT_EQ(runKestrone({"--analyze-test", "report.json", m_text}, here).exitCode, 1);
    const JsonValue document = parseReport(readBytes(m_folder / "report.json"));
    EXPECT_EQ(document["reports"].items.at(0)["Error"].text, kUnsupported);
}

TEST_F(AnalyzeRunTest, ANameThatIsNotUtf8IsAnalysedAndShownWithAReplacementCharacter)
{
    const std::string latin1 = testAudio("app", "caf\xE9.flac").native();
    ASSERT_TRUE(std::filesystem::exists(latin1));
    const std::string report = (m_folder / "report.json").native();
    EXPECT_EQ(runKestrone({"--analyze-test", report, latin1}).exitCode, 0);
    const std::string bytes = readBytes(report);
    const JsonValue document = parseReport(bytes);
    const std::string shown = testAudio("app", "caf").native() + "\xEF\xBF\xBD.flac";
    expectAnalysedFlac(document["reports"].items.at(0), shown);
}

TEST_F(AnalyzeRunTest, TheReportIsByteIdenticalUnderACommaDecimalLocale)
{
    testing::LocaleGuard probe("de_DE.UTF-8");
    if (!probe.ok()) {
        GTEST_SKIP() << "locale de_DE.UTF-8 is not installed (package locales-all)";
    }
    const std::string classic = (m_folder / "c.json").native();
    const std::string german = (m_folder / "de.json").native();
    ASSERT_EQ(runKestrone({"--analyze-test", classic, m_flac, m_text}).exitCode, 1);
    testing::ProcessOptions comma;
    comma.env["LC_ALL"] = "de_DE.UTF-8";
    ASSERT_EQ(runKestrone({"--analyze-test", german, m_flac, m_text}, comma).exitCode, 1);
    const std::string bytes = readBytes(classic);
    EXPECT_EQ(readBytes(german), bytes);
    EXPECT_NE(bytes.find("\"Duration\":3,"), std::string::npos);
}

TEST(WindowRunTest, ASwitchWithTheWrongArgumentCountIsAUsageErrorAndWritesNothing)
{
    // Never the window: a usage message, 64, at once, and no report.
    ScratchFolder folder;
    testing::ProcessOptions quick;
    quick.timeoutSeconds = 30;
    const auto analyze = runKestrone({"--analyze-test", (folder / "report.json").native()}, quick);
    EXPECT_EQ(analyze.exitCode, 64);
    EXPECT_NE(analyze.err.find("Try 'kestrone --help'"), std::string::npos) << analyze.err;
    const auto decode = runKestrone({"--decode-test", testAudio("app", "2ch-48000Hz-16bit-1s.wav").native(),
                                    (folder / "a.f64").native(), (folder / "b.f64").native()},
                                   quick);
    EXPECT_EQ(decode.exitCode, 64);
    EXPECT_TRUE(folder.entries().empty());
}

TEST(MathRunTest, TheSelfTestPassesSilentlyWhateverFollowsTheSwitch)
{
    const auto plain = runKestrone({"--math-test"});
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_EQ(plain.out + plain.err, "");
    const auto extra = runKestrone({"--math-test", "--decode-test", "missing.wav", "out.bin"});
    EXPECT_EQ(extra.exitCode, 0);
    EXPECT_EQ(extra.out + extra.err, "");
}

} // namespace
} // namespace orvel

namespace orvel {
namespace {

// Ids of the threads of a running process.
std::set<std::string> threadIds(pid_t pid)
{
    std::set<std::string> ids;
    std::error_code ec;
    for (std::filesystem::directory_iterator it("/proc/" + std::to_string(pid) + "/task", ec), end;
         !ec && it != end; it.increment(ec)) {
        ids.insert(it->path().filename().native());
    }
    return ids;
}

// The helpers inside each file's analysis (two channels' alignment searches,
// the grid search beside the MP3 one) run on threads kept from file to file:
// four files use the threads the first one started.
TEST(AnalyzeTestModeTest, TheFilesOfARunShareTheHelperThreads)
{
    if (std::thread::hardware_concurrency() < 2) {
        GTEST_SKIP() << "one core: the analysis has no helpers";
    }
    const ScratchFolder scratch;
    std::vector<std::string> argv{testing::kestroneProgram(), "--analyze-test", (scratch / "r.json").native()};
    for (const char* name : {"z-long-01.flac", "z-long-02.flac", "z-long-03.flac", "z-long-04.flac"}) {
        argv.push_back(testAudio("scan", std::string("interrupt/") + name).native());
    }
    testing::RunningProgram run(argv);
    std::set<std::string> seen;
    while (!run.outputClosed()) {
        (void)run.readLine(std::chrono::milliseconds(2));
        const std::set<std::string> now = threadIds(run.pid());
        seen.insert(now.begin(), now.end());
    }
    const testing::ProcessResult result = run.finish();
    ASSERT_EQ(result.exitCode, 0) << result.err;
    // The main thread, the batch's worker, and at most two helpers at a time.
    EXPECT_LE(seen.size(), 4u);
}

} // namespace
} // namespace orvel
